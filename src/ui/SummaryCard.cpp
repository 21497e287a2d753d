#include "ui/SummaryCard.h"

#include "ui/SymbolView.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace quaverly {

SummaryCard::SummaryCard(const QString &symbolName, Theme::Tint accent, const QString &title, const QString &action,
                         QWidget *parent)
    : PanelFrame(parent)
    , m_accent(accent)
    , m_symbol(new SymbolView(symbolName, Theme::Tint::secondary, Theme::TextStyle::title2))
    , m_count(new QLabel)
    , m_title(title)
{
    m_symbol->setObjectName(u"cardSymbol"_s);
    m_count->setObjectName(u"cardCount"_s);
    m_count->setAlignment(Qt::AlignCenter);
    Theme::styleText(m_count, Theme::TextStyle::title2Bold, Theme::Tint::secondary);

    auto *titleLabel = new QLabel(title);
    titleLabel->setObjectName(u"cardTitle"_s);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setWordWrap(true);
    Theme::styleText(titleLabel, Theme::TextStyle::caption, Theme::Tint::secondary);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(6);
    column->addWidget(m_symbol, 0, Qt::AlignHCenter);
    column->addWidget(m_count);
    column->addWidget(titleLabel);

    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // Reached with Tab; a click opens the list without leaving a focus ring behind.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleDescription(action);
    setToolTip(action);
    setCount(0);
}

void SummaryCard::setCount(qint64 count)
{
    const bool active = count >= 1;
    m_symbol->setSymbol(m_symbol->symbolName(), active ? m_accent : Theme::Tint::secondary);
    m_count->setText(QString::number(count));
    setAccessibleName(m_title + u": "_s + m_count->text());
    m_count->setForegroundRole(Theme::textRole(active ? Theme::Tint::primary : Theme::Tint::secondary));
    m_count->update();
}

void SummaryCard::paintEvent(QPaintEvent *event)
{
    PanelFrame::paintEvent(event);
    if (!hasFocus())
        return;
    // The focus ring follows the panel's rounded outline, inside the widget so no neighbour
    // paints over it.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), Theme::cornerRadius, Theme::cornerRadius);
    painter.strokePath(path, QPen(Theme::color(Theme::Tint::accent, palette()), 2.0));
}

// A click counts when the press and the release both land on the card, as for a push button.
void SummaryCard::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void SummaryCard::mouseReleaseEvent(QMouseEvent *event)
{
    const bool clicked = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (clicked)
        Q_EMIT activated();
}

void SummaryCard::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            Q_EMIT activated();
        event->accept();
        return;
    default:
        PanelFrame::keyPressEvent(event);
    }
}

void SummaryCard::focusInEvent(QFocusEvent *event)
{
    PanelFrame::focusInEvent(event);
    update();
}

void SummaryCard::focusOutEvent(QFocusEvent *event)
{
    PanelFrame::focusOutEvent(event);
    update();
}

} // namespace quaverly
