#pragma once

#include <QBasicTimer>
#include <QWidget>

namespace quaverly {

/// The indeterminate activity indicator: rotating spokes, drawn at `scale` of their natural
/// size. It animates only while visible.
class Spinner : public QWidget
{
    Q_OBJECT

public:
    explicit Spinner(qreal scale, QWidget *parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] bool isAnimating() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QBasicTimer m_timer;
    int m_side;
    int m_step = 0;
};

} // namespace quaverly
