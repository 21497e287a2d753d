#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;

namespace quaverly {

/// After a sync, the files to copy that were not found in the source library: how many were
/// skipped, and "Show Files…", which opens a window-modal list of their paths without blocking.
/// Shows the paths given last and nothing else.
class SkippedFilesView : public QWidget
{
    Q_OBJECT

public:
    explicit SkippedFilesView(QWidget *parent = nullptr);

    void setMissingFiles(const QStringList &paths);

    /// "N files not found in the source library were skipped.", in the singular for one.
    [[nodiscard]] static QString sentence(qsizetype count);

private:
    void showFiles();

    QStringList m_paths;
    QLabel *m_text;
    QPushButton *m_showFilesButton;
};

} // namespace quaverly
