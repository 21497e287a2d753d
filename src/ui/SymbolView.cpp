#include "ui/SymbolView.h"

#include "ui/Icons.h"

#include <QFontMetrics>
#include <QPainter>

namespace quaverly {

SymbolView::SymbolView(const QString &symbolName, Theme::Tint tint, Theme::TextStyle style, QWidget *parent)
    : QWidget(parent)
    , m_symbolName(symbolName)
    , m_tint(tint)
    , m_size(QFontMetrics(Theme::font(style)).height())
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setSymbol(const QString &symbolName, Theme::Tint tint)
{
    if (symbolName == m_symbolName && tint == m_tint)
        return;
    m_symbolName = symbolName;
    m_tint = tint;
    update();
}

QColor SymbolView::color() const
{
    return Theme::color(m_tint, palette());
}

QSize SymbolView::sizeHint() const
{
    return {m_size, m_size};
}

QSize SymbolView::minimumSizeHint() const
{
    return sizeHint();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    const QPixmap pixmap = Icons::tinted(m_symbolName, color(), m_size, devicePixelRatioF());
    QPainter painter(this);
    const QPoint topLeft((width() - m_size) / 2, (height() - m_size) / 2);
    painter.drawPixmap(topLeft, pixmap);
}

} // namespace quaverly
