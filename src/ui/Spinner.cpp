#include "ui/Spinner.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTimerEvent>

#include <cmath>
#include <numbers>

namespace quaverly {

namespace {

constexpr int spokeCount = 8;
constexpr int stepMilliseconds = 90;

// The natural size follows the body text, like the platform's regular control size.
int naturalSide()
{
    return qRound(QFontMetrics(QApplication::font()).height() * 1.6);
}

} // namespace

Spinner::Spinner(qreal scale, QWidget *parent)
    : QWidget(parent)
    , m_side(qMax(8, qRound(naturalSide() * scale)))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize Spinner::sizeHint() const
{
    return {m_side, m_side};
}

QSize Spinner::minimumSizeHint() const
{
    return sizeHint();
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor base = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    const qreal side = qMin(width(), height());
    const qreal outer = side / 2.0;
    const qreal inner = outer * 0.45;
    const qreal thickness = qMax(1.5, side / 10.0);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < spokeCount; ++i) {
        // The spoke at the current step is darkest; the others fade behind it.
        const int age = (m_step - i + spokeCount) % spokeCount;
        QColor color = base;
        color.setAlphaF(base.alphaF() * (1.0 - 0.8 * age / spokeCount));
        painter.setPen(QPen(color, thickness, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = 2.0 * std::numbers::pi * i / spokeCount;
        const QPointF direction(std::sin(angle), -std::cos(angle));
        const qreal margin = thickness / 2.0;
        painter.drawLine(direction * inner, direction * (outer - margin));
    }
}

void Spinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer.start(stepMilliseconds, this);
}

void Spinner::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

void Spinner::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_step = (m_step + 1) % spokeCount;
    update();
}

} // namespace quaverly
