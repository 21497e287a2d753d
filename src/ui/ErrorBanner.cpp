#include "ui/ErrorBanner.h"

#include "ui/SymbolView.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace quaverly {

ErrorBanner::ErrorBanner(QWidget *parent)
    : QWidget(parent)
    , m_message(new QLabel)
    , m_dismissButton(new QPushButton(u"Dismiss"_s))
{
    auto *symbol = new SymbolView(u"exclamationmark.triangle.fill"_s, Theme::Tint::red, Theme::TextStyle::headline);
    symbol->setObjectName(u"errorSymbol"_s);

    m_message->setObjectName(u"errorMessage"_s);
    // Messages carry paths and other text of the user's; never read them as markup.
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    Theme::styleText(m_message, Theme::TextStyle::caption);

    m_dismissButton->setObjectName(u"dismissButton"_s);
    Theme::styleBorderless(m_dismissButton, palette());
    m_dismissButton->setFont(Theme::font(Theme::TextStyle::caption));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    row->addWidget(symbol);
    row->addWidget(m_message, 1);
    row->addWidget(m_dismissButton);

    connect(m_dismissButton, &QPushButton::clicked, this, &ErrorBanner::dismissed);
}

void ErrorBanner::setMessage(const QString &message)
{
    m_message->setText(message);
}

QString ErrorBanner::message() const
{
    return m_message->text();
}

void ErrorBanner::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The button's accent colour was taken from the old palette.
    if (event->type() == QEvent::PaletteChange)
        Theme::styleBorderless(m_dismissButton, palette());
}

void ErrorBanner::paintEvent(QPaintEvent *)
{
    Theme::paintBand(this, Theme::Tint::red);
}

} // namespace quaverly
