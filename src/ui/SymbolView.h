#pragma once

#include "ui/Theme.h"

#include <QString>
#include <QWidget>

namespace quaverly {

/// One symbol image, sized like a line of `style` text and tinted with a theme colour that is
/// resolved at paint time, so it follows the palette.
class SymbolView : public QWidget
{
    Q_OBJECT

public:
    SymbolView(const QString &symbolName, Theme::Tint tint, Theme::TextStyle style, QWidget *parent = nullptr);

    void setSymbol(const QString &symbolName, Theme::Tint tint);

    [[nodiscard]] const QString &symbolName() const { return m_symbolName; }
    [[nodiscard]] Theme::Tint tint() const { return m_tint; }
    /// The colour the symbol is drawn in with the current palette.
    [[nodiscard]] QColor color() const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbolName;
    Theme::Tint m_tint;
    int m_size;
};

} // namespace quaverly
