#include "ui/RunSummaryView.h"

#include "platform/BackgroundRelease.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListView>
#include <QStringListModel>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace quaverly {

RunSummaryView::RunSummaryView(QWidget *parent)
    : QWidget(parent)
    , m_saveDialog(&RunSummaryView::runSaveDialog)
    , m_text(new QLabel)
    , m_saveButton(new QPushButton(u"Save Import List\u2026"_s))
    , m_showButton(new QPushButton(u"Show All Files\u2026"_s))
{
    m_text->setObjectName(u"summaryText"_s);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    Theme::styleText(m_text, Theme::TextStyle::subheadline);
    m_saveButton->setObjectName(u"saveImportListButton"_s);
    m_showButton->setObjectName(u"showOperationsButton"_s);
    const QString listing = u"List every file this sync copied, removed, kept or skipped"_s;
    m_showButton->setToolTip(listing);
    m_showButton->setAccessibleDescription(listing);
    const QString purpose = u"Save a playlist of the copied files, to add them to your music application"_s;
    m_saveButton->setToolTip(purpose);
    m_saveButton->setAccessibleDescription(purpose);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_text, 1);
    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(m_showButton);
    buttons->addWidget(m_saveButton);
    buttons->addStretch();
    row->addLayout(buttons);

    connect(m_saveButton, &QPushButton::clicked, this, &RunSummaryView::saveImportList);
    connect(m_showButton, &QPushButton::clicked, this, &RunSummaryView::showOperations);
}

void RunSummaryView::setPlan(const SyncPlan &plan)
{
    // The run before may have left this the last copy of its plan, and of every track in it.
    releaseInBackground(std::exchange(m_plan, plan));
    m_lines = plan.outcomeSummary();
    m_text->setText(m_lines.join(u'\n'));
    m_saveButton->setVisible(plan.outcome.copied > 0);
    m_showButton->setVisible(!m_lines.isEmpty());
}

// Every operation the run carried out, a line each, as `quaverly-cli sync --files` prints them.
// A list view with rows of one height shows 100,000 of them at once; the dialog goes with the
// window, or when closed.
void RunSummaryView::showOperations()
{
    QStringList lines;
    for (const SyncPlan::Operation &operation : m_plan.operations(true))
        lines.append(operation.line());
    auto *dialog = new QDialog(this);
    dialog->setObjectName(u"operationsDialog"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(u"What the Sync Did"_s);
    auto *list = new QListView;
    list->setObjectName(u"operationsList"_s);
    list->setUniformItemSizes(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setModel(new QStringListModel(lines, list));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto *column = new QVBoxLayout(dialog);
    column->addWidget(list, 1);
    column->addWidget(buttons);
    dialog->resize(720, 400);
    dialog->open();
}

void RunSummaryView::setSaveDialog(SaveDialog dialog)
{
    m_saveDialog = std::move(dialog);
}

std::optional<QString> RunSummaryView::runSaveDialog(QWidget *parent, const QString &title,
                                                     const QString &suggestedPath)
{
    const QString path = QFileDialog::getSaveFileName(parent, title, suggestedPath, u"Playlists (*.m3u8)"_s);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

void RunSummaryView::saveImportList()
{
    const std::optional<QString> path =
        m_saveDialog(this, u"Save Import List"_s, QDir::home().filePath(u"Quaverly Import.m3u8"_s));
    if (!path)
        return;
    // Written whole or not at all: a list cut short would add only some of the files.
    const QByteArray list = m_plan.importList();
    QSaveFile file(*path);
    if (file.open(QIODevice::WriteOnly) && file.write(list) == list.size() && file.commit())
        return;
    // Opened without an event loop of its own, like the other dialogs of the window.
    auto *box = new QMessageBox(QMessageBox::Warning, u"Import List Not Saved"_s,
                                u"Couldn't write \"%1\": %2."_s.arg(*path, file.errorString()), QMessageBox::Ok,
                                this);
    box->setObjectName(u"saveFailedBox"_s);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace quaverly
