#pragma once

#include <QProgressBar>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

namespace quaverly {

/// A progress bar for a panel. The plain bar draws its empty groove in Base, the very colour of
/// the panel behind it; the window colour keeps it visible in light and dark palettes alike.
class PanelProgressBar : public QProgressBar
{
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionProgressBar option;
        initStyleOption(&option);
        option.palette.setColor(QPalette::Base, palette().color(QPalette::Window));
        painter.drawControl(QStyle::CE_ProgressBar, option);
    }
};

} // namespace quaverly
