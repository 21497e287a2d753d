#pragma once

#include <QWidget>

class QPainter;

namespace quaverly {

/// A container drawn with the one bordered-panel decoration shared by the picker row, the
/// summary cards and the progress view: control-background fill, rounded rectangle of the
/// theme's corner radius, 1-point separator outline. Its layout's margins are the inset.
class PanelFrame : public QWidget
{
    Q_OBJECT

public:
    explicit PanelFrame(QWidget *parent = nullptr);

    /// Draws the decoration into `rect` with the colours of `palette`.
    static void paintPanel(QPainter &painter, const QRectF &rect, const QPalette &palette);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace quaverly
