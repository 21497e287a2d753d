#include "ui/PanelFrame.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace quaverly {

PanelFrame::PanelFrame(QWidget *parent)
    : QWidget(parent)
{
}

void PanelFrame::paintPanel(QPainter &painter, const QRectF &rect, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Half a point in, so that the 1-point outline lies on whole pixels and inside the widget.
    const QRectF outline = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(outline, Theme::cornerRadius, Theme::cornerRadius);
    painter.fillPath(path, Theme::controlBackground(palette));
    QPen pen(Theme::separator(palette), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10.0);
    painter.strokePath(path, pen);
    painter.restore();
}

void PanelFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintPanel(painter, rect(), palette());
}

} // namespace quaverly
