#pragma once

#include "ui/PanelFrame.h"
#include "ui/Theme.h"

class QLabel;

namespace quaverly {

class SymbolView;

/// One counter of the changeset summary: symbol, count and title on a panel. Active (symbol in
/// its accent, count in the primary colour) from a count of 1, otherwise all secondary.
class SummaryCard : public PanelFrame
{
    Q_OBJECT

public:
    SummaryCard(const QString &symbolName, Theme::Tint accent, const QString &title, QWidget *parent = nullptr);

    void setCount(qint64 count);

private:
    Theme::Tint m_accent;
    SymbolView *m_symbol;
    QLabel *m_count;
};

} // namespace quaverly
