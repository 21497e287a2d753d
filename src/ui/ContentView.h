#pragma once

#include "coordinator/SyncCoordinator.h"
#include "ui/LibraryPickerView.h"
#include "ui/PlanListModel.h"
#include "ui/PlanNoticeView.h"
#include "ui/RunSummaryView.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <tuple>

class QLabel;
class QPushButton;
class QScrollArea;

namespace quaverly {

struct SyncPlan;
class AccentButton;
class ChangesetSummaryView;
class ErrorBanner;
class PlanListDialog;
class ScanProgressView;
class SkippedFilesView;
class Spinner;
class SyncProgressView;

/// The main window: header, the two library pickers, the planned changes (each card opens its
/// list) and what to know about them, the error banner, the progress of a sync with what it did
/// and the files it skipped, and the button row. It owns its own coordinator, shows exactly what
/// the coordinator holds, and redraws once per event-loop turn after the coordinator announces a
/// change. Closing it during a sync asks whether to stop the sync. Main thread only.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize defaultSize{680, 560};
    static constexpr QSize minimumContentSize{600, 300};
    /// The least of the scrolling content the window keeps in view.
    static constexpr int minimumScrollHeight = 120;

    /// What a sync may only do with the user's consent.
    enum class Question {
        /// Remove most of the destination's tracks (or all: the source has none).
        massRemoval,
        /// Delete files for good, where the destination volume has no Trash.
        permanentDeletion,
    };
    /// Asks the question about `plan`; true only when the user agreed.
    using Consent = std::function<bool(QWidget *parent, const SyncPlan &plan, Question question)>;
    /// Asks whether to stop the running sync as the window closes; true to stop it.
    using StopQuestion = std::function<bool(QWidget *parent)>;

    explicit ContentView(QWidget *parent = nullptr);
    ~ContentView() override;

    [[nodiscard]] const std::shared_ptr<SyncCoordinator> &coordinator() const { return m_coordinator; }

    /// Replaces both pickers' file dialog, for tests and tools.
    void setFileDialog(const LibraryPickerView::FileDialog &dialog);
    /// Replaces the folder dialog of "Locate…", for tests and tools.
    void setFolderDialog(const PlanNoticeView::FolderDialog &dialog);
    /// Replaces the questions asked before a mass removal or a deletion for good, for tests and tools.
    void setConsent(Consent consent);
    /// Replaces the question asked when the window closes during a sync, for tests and tools.
    void setStopQuestion(StopQuestion question);
    /// Replaces the save dialog of "Save Import List…", for tests and tools.
    void setSaveDialog(const RunSummaryView::SaveDialog &dialog);

    /// The platform's question: names the number, lists the files on request, Cancel by default.
    [[nodiscard]] static bool askConsent(QWidget *parent, const SyncPlan &plan, Question question);
    /// The platform's question: "Stop Sync" or "Keep Running", Keep Running by default.
    [[nodiscard]] static bool askToStop(QWidget *parent);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void scheduleRefresh();
    void refresh();
    void updateMinimumSize();
    void fitToContent();
    void enterPhase(bool runEnded);
    [[nodiscard]] QPushButton *defaultButton() const;
    [[nodiscard]] QWidget *focusTarget() const;
    void startSync();
    void cancelSync();
    void openList(PlanListModel::List list);

    std::shared_ptr<SyncCoordinator> m_coordinator;
    bool m_refreshPending = false;
    Consent m_consent;
    StopQuestion m_stopQuestion;
    /// The user asked the running sync to stop; it has not ended yet.
    bool m_cancelRequested = false;
    /// The run whose summary and skipped files are shown: its job, status and items done.
    std::optional<std::tuple<QUuid, int, qint64>> m_summarisedRun;
    /// The open lists, one per card at most.
    std::array<QPointer<PlanListDialog>, 4> m_lists;
    /// The phase the window shows, to notice when the next one begins.
    std::optional<SyncCoordinator::Phase::Kind> m_shownPhase;
    /// The section the current phase is about, kept in view while the content settles.
    QPointer<QWidget> m_revealed;
    /// Scan Libraries was enabled at the last refresh.
    bool m_couldScan = false;
    /// The window height last fitted to the content.
    int m_fittedContentHeight = -1;

    LibraryPickerView *m_sourcePicker;
    LibraryPickerView *m_destinationPicker;
    QWidget *m_summarySection;
    ChangesetSummaryView *m_summary;
    PlanNoticeView *m_notice;
    ErrorBanner *m_errorBanner;
    QWidget *m_progressSection;
    SyncProgressView *m_progress;
    RunSummaryView *m_runSummary;
    SkippedFilesView *m_skipped;
    ScanProgressView *m_scanProgress;
    QScrollArea *m_scroll;
    QWidget *m_content = nullptr;
    AccentButton *m_startOverButton;
    QPushButton *m_showFolderButton;
    QPushButton *m_cancelButton;
    QPushButton *m_scanButton;
    Spinner *m_scanSpinner;
    QLabel *m_scanBusyLabel;
    AccentButton *m_syncButton;
};

} // namespace quaverly
