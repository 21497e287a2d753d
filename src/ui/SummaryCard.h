#pragma once

#include "ui/PanelFrame.h"
#include "ui/Theme.h"

class QLabel;

namespace quaverly {

class SymbolView;

/// One counter of the changeset summary: symbol, count and title on a panel. Active (symbol in
/// its accent, count in the primary colour) from a count of 1, otherwise all secondary. It acts
/// as a button: a click, or Enter or Space while it has the focus, emits activated().
class SummaryCard : public PanelFrame
{
    Q_OBJECT

public:
    /// `action` names what activating the card does, for assistive technology and the tooltip.
    SummaryCard(const QString &symbolName, Theme::Tint accent, const QString &title, const QString &action,
                QWidget *parent = nullptr);

    void setCount(qint64 count);

Q_SIGNALS:
    void activated();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    Theme::Tint m_accent;
    SymbolView *m_symbol;
    QLabel *m_count;
    QString m_title;
    bool m_pressed = false;
};

} // namespace quaverly
