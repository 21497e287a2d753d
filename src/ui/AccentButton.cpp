#include "ui/AccentButton.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace quaverly {

AccentButton::AccentButton(Kind kind, const QString &text, QWidget *parent)
    : QPushButton(text, parent)
    , m_kind(kind)
{
    setFlat(kind == Kind::borderless);
    setDefault(kind == Kind::prominent);
}

std::pair<QColor, QColor> AccentButton::colors(const QPalette &palette) const
{
    if (m_kind == Kind::prominent)
        return {palette.color(QPalette::HighlightedText), Theme::accentFill(palette)};
    return {Theme::accentText(palette), palette.color(QPalette::Window)};
}

void AccentButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (isEnabled()) {
        const auto [text, background] = colors(palette());
        option.palette.setColor(QPalette::ButtonText, text);
        if (m_kind == Kind::prominent)
            option.palette.setColor(QPalette::Button, background);
    }
    option.state &= ~QStyle::State_HasFocus;
    painter.drawControl(QStyle::CE_PushButton, option);

    if (!hasFocus())
        return;
    // Inside the button, in the label's colour: visible on the accent fill and on no fill alike.
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath ring;
    ring.addRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), 4.0, 4.0);
    painter.strokePath(ring, QPen(option.palette.color(QPalette::ButtonText), 1.5));
}

} // namespace quaverly
