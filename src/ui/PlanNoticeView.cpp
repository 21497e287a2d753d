#include "ui/PlanNoticeView.h"

#include "engine/SyncPlan.h"
#include "ui/SymbolView.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace quaverly {

PlanNoticeView::PlanNoticeView(QWidget *parent)
    : QWidget(parent)
    , m_folderDialog(&PlanNoticeView::runFolderDialog)
    , m_text(new QLabel)
    , m_locateButton(new QPushButton(u"Locate\u2026"_s))
{
    auto *symbol = new SymbolView(u"info.circle"_s, Theme::Tint::blue, Theme::TextStyle::headline);
    symbol->setObjectName(u"noticeSymbol"_s);

    m_text->setObjectName(u"noticeText"_s);
    // The lines carry paths of the user's, which may hold anything; never read them as markup.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    Theme::styleText(m_text, Theme::TextStyle::caption);

    m_locateButton->setObjectName(u"locateButton"_s);
    const QString purpose = u"Choose where the source library's media folder is on this computer"_s;
    m_locateButton->setToolTip(purpose);
    m_locateButton->setAccessibleDescription(purpose);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    row->addWidget(symbol, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
    row->addWidget(m_locateButton, 0, Qt::AlignVCenter);

    connect(m_locateButton, &QPushButton::clicked, this, &PlanNoticeView::locate);
}

void PlanNoticeView::setPlan(const SyncPlan &plan, bool locating)
{
    m_text->setText(plan.notice().join(u'\n'));
    m_startFolder = plan.source.libraryFolder().value_or(QString());
    m_locateButton->setVisible(locating && plan.filesMissing > 0);
}

bool PlanNoticeView::isEmpty() const
{
    return m_text->text().isEmpty();
}

void PlanNoticeView::setFolderDialog(FolderDialog dialog)
{
    m_folderDialog = std::move(dialog);
}

std::optional<QString> PlanNoticeView::runFolderDialog(QWidget *parent, const QString &title,
                                                       const QString &startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, title, startFolder);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

void PlanNoticeView::locate()
{
    if (const std::optional<QString> folder = m_folderDialog(this, u"Locate the Source Media Folder"_s, m_startFolder))
        Q_EMIT mediaFolderChosen(*folder);
}

void PlanNoticeView::paintEvent(QPaintEvent *)
{
    Theme::paintBand(this, Theme::Tint::blue);
}

} // namespace quaverly
