#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace quaverly {

struct SyncPlan;

/// What the user should know about a plan before the sync, its notice lines as plain wrapped
/// text on a faint blue band with an information symbol, and "Locate…" beside them when files
/// to copy were not found: it asks for the folder that holds the source library's media on this
/// computer and reports it through mediaFolderChosen(). Shows the plan given last and nothing else.
class PlanNoticeView : public QWidget
{
    Q_OBJECT

public:
    /// Runs a modal folder dialog titled `title` that opens in `startFolder`; the chosen folder,
    /// or nothing when the user cancelled.
    using FolderDialog =
        std::function<std::optional<QString>(QWidget *parent, const QString &title, const QString &startFolder)>;

    explicit PlanNoticeView(QWidget *parent = nullptr);

    /// Shows the plan's notice; "Locate…" only when `locating` is allowed and files to copy are
    /// missing.
    void setPlan(const SyncPlan &plan, bool locating);
    /// The plan given last has nothing to say.
    [[nodiscard]] bool isEmpty() const;
    /// Replaces the platform folder dialog, for tests and tools.
    void setFolderDialog(FolderDialog dialog);

    /// The platform folder dialog: existing folders only.
    [[nodiscard]] static std::optional<QString> runFolderDialog(QWidget *parent, const QString &title,
                                                                const QString &startFolder);

Q_SIGNALS:
    /// The user chose `folder` as the source library's media folder.
    void mediaFolderChosen(const QString &folder);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void locate();

    FolderDialog m_folderDialog;
    /// Where the folder dialog opens: the source library's folder, when it is on this computer.
    QString m_startFolder;
    QLabel *m_text;
    QPushButton *m_locateButton;
};

} // namespace quaverly
