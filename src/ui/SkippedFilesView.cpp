#include "ui/SkippedFilesView.h"

#include "ui/SymbolView.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace quaverly {

SkippedFilesView::SkippedFilesView(QWidget *parent)
    : QWidget(parent)
    , m_text(new QLabel)
    , m_showFilesButton(new QPushButton(u"Show Files\u2026"_s))
{
    auto *symbol =
        new SymbolView(u"exclamationmark.triangle.fill"_s, Theme::Tint::orange, Theme::TextStyle::subheadline);
    symbol->setObjectName(u"skippedSymbol"_s);
    m_text->setObjectName(u"skippedText"_s);
    m_text->setWordWrap(true);
    m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    Theme::styleText(m_text, Theme::TextStyle::subheadline);
    m_showFilesButton->setObjectName(u"showFilesButton"_s);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(symbol);
    row->addWidget(m_text, 1);
    row->addWidget(m_showFilesButton);

    connect(m_showFilesButton, &QPushButton::clicked, this, &SkippedFilesView::showFiles);
}

QString SkippedFilesView::sentence(qsizetype count)
{
    return count == 1 ? u"1 file not found in the source library was skipped."_s
                      : u"%1 files not found in the source library were skipped."_s.arg(count);
}

void SkippedFilesView::setMissingFiles(const QStringList &paths)
{
    m_paths = paths;
    m_text->setText(sentence(paths.size()));
}

// Window-modal but opened without an event loop of its own, so no caller waits on it; as the
// view's child it goes when the window goes.
void SkippedFilesView::showFiles()
{
    auto *dialog = new QDialog(this);
    dialog->setObjectName(u"missingFilesDialog"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(u"Files Not Found"_s);

    auto *heading = new QLabel(m_text->text());
    heading->setWordWrap(true);
    auto *list = new QPlainTextEdit;
    list->setObjectName(u"missingFilesList"_s);
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setFont(Theme::font(Theme::TextStyle::monospacedCaption));
    list->setPlainText(m_paths.join(u'\n'));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);

    auto *column = new QVBoxLayout(dialog);
    column->addWidget(heading);
    column->addWidget(list, 1);
    column->addWidget(buttons);
    dialog->resize(560, 320);
    dialog->open();
}

} // namespace quaverly
