#include "ui/SummaryCard.h"

#include "ui/SymbolView.h"

#include <QBoxLayout>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace quaverly {

SummaryCard::SummaryCard(const QString &symbolName, Theme::Tint accent, const QString &title, QWidget *parent)
    : PanelFrame(parent)
    , m_accent(accent)
    , m_symbol(new SymbolView(symbolName, Theme::Tint::secondary, Theme::TextStyle::title2))
    , m_count(new QLabel)
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
    setCount(0);
}

void SummaryCard::setCount(qint64 count)
{
    const bool active = count >= 1;
    m_symbol->setSymbol(m_symbol->symbolName(), active ? m_accent : Theme::Tint::secondary);
    m_count->setText(QString::number(count));
    m_count->setForegroundRole(Theme::textRole(active ? Theme::Tint::primary : Theme::Tint::secondary));
    m_count->update();
}

} // namespace quaverly
