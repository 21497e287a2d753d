#pragma once

#include "ui/LibraryPickerView.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

namespace quaverly {

class ChangesetSummaryView;
class ErrorBanner;
class Spinner;
class SyncCoordinator;
class SyncProgressView;

/// The main window: header, the two library pickers, the planned changes, the error banner,
/// the progress of a sync and the button row. It owns its own coordinator, shows exactly what
/// the coordinator holds, and redraws once per event-loop turn after the coordinator announces
/// a change. Main thread only.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize defaultSize{680, 560};
    static constexpr QSize minimumContentSize{600, 480};

    explicit ContentView(QWidget *parent = nullptr);
    ~ContentView() override;

    [[nodiscard]] const std::shared_ptr<SyncCoordinator> &coordinator() const { return m_coordinator; }

    /// Replaces both pickers' file dialog, for tests and tools.
    void setFileDialog(const LibraryPickerView::FileDialog &dialog);

protected:
    void changeEvent(QEvent *event) override;

private:
    void scheduleRefresh();
    void refresh();

    std::shared_ptr<SyncCoordinator> m_coordinator;
    bool m_refreshPending = false;

    LibraryPickerView *m_sourcePicker;
    LibraryPickerView *m_destinationPicker;
    QWidget *m_summarySection;
    ChangesetSummaryView *m_summary;
    ErrorBanner *m_errorBanner;
    QWidget *m_progressSection;
    SyncProgressView *m_progress;
    QPushButton *m_startOverButton;
    QPushButton *m_scanButton;
    Spinner *m_scanSpinner;
    QLabel *m_scanBusyLabel;
    QPushButton *m_syncButton;
};

} // namespace quaverly
