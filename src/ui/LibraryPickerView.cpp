#include "ui/LibraryPickerView.h"

#include "platform/LocalFile.h"
#include "ui/ElidedLabel.h"
#include "ui/PanelFrame.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

// One local file, not a folder: what a drop may choose.
std::optional<QUrl> droppedFile(const QMimeData *data)
{
    if (!data->hasUrls() || data->urls().size() != 1)
        return std::nullopt;
    const QUrl url = data->urls().constFirst();
    const std::optional<QString> path = localFilePath(url);
    if (!path || QFileInfo(*path).isDir())
        return std::nullopt;
    return url;
}

} // namespace

LibraryPickerView::LibraryPickerView(const QString &label, QWidget *parent)
    : QWidget(parent)
    , m_label(label)
    , m_fileDialog(&LibraryPickerView::runFileDialog)
    , m_pathLabel(new ElidedLabel)
    , m_placeholderLabel(new QLabel(u"No library selected"_s))
    , m_chooseButton(new QPushButton(u"Choose\u2026"_s))
{
    auto *title = new QLabel(label);
    title->setObjectName(u"pickerLabel"_s);
    title->setTextFormat(Qt::PlainText);
    Theme::styleText(title, Theme::TextStyle::headline);

    m_pathLabel->setObjectName(u"pathLabel"_s);
    Theme::styleText(m_pathLabel, Theme::TextStyle::monospacedCaption);
    m_placeholderLabel->setObjectName(u"placeholderLabel"_s);
    Theme::styleText(m_placeholderLabel, Theme::TextStyle::caption, Theme::Tint::secondary);
    m_chooseButton->setObjectName(u"chooseButton"_s);
    // Two buttons read "Choose…"; a screen reader tells them apart by their names.
    m_chooseButton->setAccessibleName(u"Choose "_s + label + u"\u2026"_s);
    setAccessibleName(label);
    setAcceptDrops(true);

    auto *row = new PanelFrame;
    row->setObjectName(u"selectionRow"_s);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(10, 10, 10, 10);
    rowLayout->setSpacing(8);
    rowLayout->addWidget(m_pathLabel);
    rowLayout->addWidget(m_placeholderLabel);
    rowLayout->addStretch();
    rowLayout->addWidget(m_chooseButton);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(title);
    column->addWidget(row);

    connect(m_chooseButton, &QPushButton::clicked, this, &LibraryPickerView::choose);
    setSelectedURL(std::nullopt);
}

void LibraryPickerView::setSelectedURL(const std::optional<QUrl> &url)
{
    if (url) {
        m_pathLabel->setFullText(localFilePath(*url).value_or(url->toDisplayString()));
        m_placeholderLabel->hide();
        m_pathLabel->show();
        m_chooseButton->setAccessibleDescription(m_label + u": "_s + m_pathLabel->fullText());
    } else {
        m_pathLabel->setFullText(QString());
        m_pathLabel->hide();
        m_placeholderLabel->show();
        m_chooseButton->setAccessibleDescription(m_label + u": "_s + m_placeholderLabel->text());
    }
}

void LibraryPickerView::setChoosingDisabled(bool disabled)
{
    m_chooseButton->setDisabled(disabled);
    setAcceptDrops(!disabled);
}

void LibraryPickerView::setStartFolder(const QString &folder)
{
    m_startFolder = folder;
}

void LibraryPickerView::setFileDialog(FileDialog dialog)
{
    m_fileDialog = std::move(dialog);
}

LibraryPickerView::DialogRequest LibraryPickerView::dialogRequest() const
{
    return {u"Select Music Library XML"_s,
            u"Choose the 'Music Library.xml' file for "_s + m_label,
            {u"XML files (*.xml)"_s, u"Property lists (*.plist)"_s, u"All files (*)"_s},
            m_startFolder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::MusicLocation) : m_startFolder};
}

void LibraryPickerView::configureFileDialog(QFileDialog &dialog, const DialogRequest &request)
{
    dialog.setWindowTitle(request.title);
    // The dialog has no message line of its own; the file-name caption carries it.
    dialog.setLabelText(QFileDialog::FileName, request.message);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setNameFilters(request.nameFilters);
    dialog.setDirectory(request.folder);
}

std::optional<QUrl> LibraryPickerView::runFileDialog(QWidget *parent, const DialogRequest &request)
{
    QFileDialog dialog(parent);
    configureFileDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QList<QUrl> urls = dialog.selectedUrls();
    if (urls.isEmpty())
        return std::nullopt;
    return urls.first();
}

void LibraryPickerView::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void LibraryPickerView::dropEvent(QDropEvent *event)
{
    if (const std::optional<QUrl> url = droppedFile(event->mimeData())) {
        event->acceptProposedAction();
        Q_EMIT libraryChosen(*url);
    }
}

void LibraryPickerView::choose()
{
    if (const std::optional<QUrl> url = m_fileDialog(this, dialogRequest()))
        Q_EMIT libraryChosen(*url);
}

} // namespace quaverly
