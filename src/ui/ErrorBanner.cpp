#include "ui/ErrorBanner.h"

#include "ui/AccentButton.h"
#include "ui/SymbolView.h"
#include "ui/Theme.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBoxLayout>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

// Screen readers read an alert's text out when it appears; a plain widget would stay silent.
QAccessibleInterface *alertFactory(const QString &className, QObject *object)
{
    if (className == "quaverly::ErrorBanner"_L1 && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::AlertMessage);
    return nullptr;
}

QLabel *makeLine(const char *name, Theme::TextStyle style)
{
    auto *label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    // Messages carry paths and other text of the user's; never read them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    Theme::styleText(label, style);
    return label;
}

} // namespace

ErrorBanner::ErrorBanner(QWidget *parent)
    : QWidget(parent)
    , m_subject(makeLine("errorSubject", Theme::TextStyle::headline))
    , m_advice(makeLine("errorAdvice", Theme::TextStyle::caption))
    , m_message(makeLine("errorMessage", Theme::TextStyle::caption))
    , m_dismissButton(new AccentButton(AccentButton::Kind::borderless, u"Dismiss"_s))
{
    [[maybe_unused]] static const bool alertInstalled = [] {
        QAccessible::installFactory(&alertFactory);
        return true;
    }();

    auto *symbol = new SymbolView(u"exclamationmark.triangle.fill"_s, Theme::Tint::red, Theme::TextStyle::headline);
    symbol->setObjectName(u"errorSymbol"_s);
    m_dismissButton->setObjectName(u"dismissButton"_s);
    m_dismissButton->setFont(Theme::font(Theme::TextStyle::caption));
    m_dismissButton->setAccessibleDescription(u"Hides the message and goes back to choosing libraries"_s);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(4);
    lines->addWidget(m_subject);
    lines->addWidget(m_advice);
    lines->addWidget(m_message);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    row->addWidget(symbol, 0, Qt::AlignTop);
    row->addLayout(lines, 1);
    row->addWidget(m_dismissButton, 0, Qt::AlignTop);

    connect(m_dismissButton, &QPushButton::clicked, this, &ErrorBanner::dismissed);
}

void ErrorBanner::setFailure(const QString &subject, const QString &advice, const QString &message)
{
    const bool changed = subject != m_subject->text() || advice != m_advice->text() || message != m_message->text();
    m_subject->setText(subject);
    m_subject->setVisible(!subject.isEmpty());
    m_advice->setText(advice);
    m_advice->setVisible(!advice.isEmpty());
    m_message->setText(message);
    setAccessibleName(subject.isEmpty() ? u"Error"_s : subject);
    setAccessibleDescription(QStringList{advice, message}.join(u' ').trimmed());
    if (changed && isVisible())
        announce();
}

QString ErrorBanner::message() const
{
    return m_message->text();
}

void ErrorBanner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    announce();
}

void ErrorBanner::announce()
{
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void ErrorBanner::paintEvent(QPaintEvent *)
{
    Theme::paintBand(this, Theme::Tint::red);
}

} // namespace quaverly
