#pragma once

#include "engine/SyncPlan.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace quaverly {

/// After a sync, what it did, one line each ("Copied 12 files (48.2 MB)", "Moved 3 files to the
/// Trash", "Kept 2 files (…)", "Copied 4 artwork files"), "Show All Files…" listing each of those
/// files with what was done to it, and "Save Import List…" when it copied
/// tracks: it asks where and writes the playlist of the copied files there, for adding them to
/// the music application in one step. Shows the plan given last and nothing else.
class RunSummaryView : public QWidget
{
    Q_OBJECT

public:
    /// Runs a modal save dialog titled `title` that proposes `suggestedPath`; the chosen path, or
    /// nothing when the user cancelled.
    using SaveDialog =
        std::function<std::optional<QString>(QWidget *parent, const QString &title, const QString &suggestedPath)>;

    explicit RunSummaryView(QWidget *parent = nullptr);

    /// `plan` as its run left it. Reads its removals once, here.
    void setPlan(const SyncPlan &plan);
    /// Replaces the platform save dialog, for tests and tools.
    void setSaveDialog(SaveDialog dialog);
    /// Something to say: the run did at least one thing.
    [[nodiscard]] bool isEmpty() const { return m_lines.isEmpty(); }

    /// The platform save dialog for a playlist file.
    [[nodiscard]] static std::optional<QString> runSaveDialog(QWidget *parent, const QString &title,
                                                              const QString &suggestedPath);

private:
    void saveImportList();
    void showOperations();

    SyncPlan m_plan;
    QStringList m_lines;
    SaveDialog m_saveDialog;
    QLabel *m_text;
    QPushButton *m_saveButton;
    QPushButton *m_showButton;
};

} // namespace quaverly
