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

// The plain style blends its own highlight into a default button's fill and lightens it, which
// would undo the contrast the fill was chosen for; an enabled prominent button is drawn here.
void AccentButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    const auto [text, background] = colors(palette());
    if (!isEnabled()) {
        painter.drawControl(QStyle::CE_PushButton, option);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_kind == Kind::prominent) {
        QPainterPath fill;
        fill.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4.0, 4.0);
        painter.fillPath(fill, isDown() ? background.darker(115) : background);
        painter.setPen(text);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, this->text());
    } else {
        option.palette.setColor(QPalette::ButtonText, text);
        painter.drawControl(QStyle::CE_PushButton, option);
    }
    if (!hasFocus())
        return;
    // Inside the button, in the label's colour: visible on the accent fill and on no fill alike.
    QPainterPath ring;
    ring.addRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), 3.0, 3.0);
    painter.strokePath(ring, QPen(text, 1.5));
}

} // namespace quaverly
