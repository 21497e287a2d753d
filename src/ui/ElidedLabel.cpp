#include "ui/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace quaverly {

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setFullText(const QString &text)
{
    if (text == m_fullText)
        return;
    m_fullText = text;
    setToolTip(text);
    updateGeometry();
    elide();
}

QSize ElidedLabel::sizeHint() const
{
    // Rounded up, with a point to spare: eliding measures in fractions and must not find the
    // whole text a hair too wide for the width it asked for.
    const QFontMetricsF metrics(font());
    const QMargins m = contentsMargins();
    return {qCeil(metrics.horizontalAdvance(m_fullText)) + 1 + m.left() + m.right() + 2 * margin(),
            qCeil(metrics.height()) + m.top() + m.bottom() + 2 * margin()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    const QMargins m = contentsMargins();
    return {metrics.horizontalAdvance(u"\u2026"_s) + m.left() + m.right() + 2 * margin(),
            metrics.height() + m.top() + m.bottom() + 2 * margin()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void ElidedLabel::elide()
{
    const int available = contentsRect().width() - 2 * margin();
    QLabel::setText(QFontMetrics(font()).elidedText(m_fullText, Qt::ElideMiddle, qMax(0, available)));
}

} // namespace quaverly
