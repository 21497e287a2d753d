#pragma once

#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QFileDialog;
class QLabel;
class QPushButton;

namespace quaverly {

class ElidedLabel;

/// A labelled row for choosing one library file: the chosen file's full path (or "No library
/// selected") and a "Choose…" button that opens a file dialog; a file dropped on it is chosen
/// too. It stores nothing: its owner hands it the current choice through setSelectedURL() and
/// stores what libraryChosen() reports.
class LibraryPickerView : public QWidget
{
    Q_OBJECT

public:
    /// What the file dialog shows and accepts.
    struct DialogRequest
    {
        QString title;
        QString message;
        QStringList nameFilters;
        /// Where the dialog opens.
        QString folder;
    };

    /// Runs a modal file dialog; the chosen file, or nothing when the user cancelled.
    using FileDialog = std::function<std::optional<QUrl>(QWidget *parent, const DialogRequest &request)>;

    explicit LibraryPickerView(const QString &label, QWidget *parent = nullptr);

    /// Shows `url`'s full local path, or the no-selection text when there is none.
    void setSelectedURL(const std::optional<QUrl> &url);
    /// Disables only the button and dropping; the label and the path stay as they are.
    void setChoosingDisabled(bool disabled);
    /// Where the file dialog opens; the user's Music folder when empty.
    void setStartFolder(const QString &folder);
    /// Replaces the platform file dialog, for tests.
    void setFileDialog(FileDialog dialog);

    [[nodiscard]] DialogRequest dialogRequest() const;

    /// The platform file dialog: one existing file, no folders.
    [[nodiscard]] static std::optional<QUrl> runFileDialog(QWidget *parent, const DialogRequest &request);
    static void configureFileDialog(QFileDialog &dialog, const DialogRequest &request);

Q_SIGNALS:
    /// The user confirmed `url` in the dialog or dropped it on the row.
    void libraryChosen(const QUrl &url);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void choose();

    QString m_label;
    QString m_startFolder;
    FileDialog m_fileDialog;
    ElidedLabel *m_pathLabel;
    QLabel *m_placeholderLabel;
    QPushButton *m_chooseButton;
};

} // namespace quaverly
