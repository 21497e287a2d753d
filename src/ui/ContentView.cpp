#include "ui/ContentView.h"

#include "coordinator/SyncCoordinator.h"
#include "platform/LocalFile.h"
#include "ui/AccentButton.h"
#include "ui/ChangesetSummaryView.h"
#include "ui/ErrorBanner.h"
#include "ui/PlanListDialog.h"
#include "ui/ScanProgressView.h"
#include "ui/SkippedFilesView.h"
#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "ui/SyncProgressView.h"
#include "ui/Theme.h"

#include <QAccessible>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

using Kind = SyncCoordinator::Phase::Kind;

QFrame *makeDivider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

// A section that appears and disappears as a whole: a divider above its content, then what
// belongs with that content, closer to it.
QWidget *makeSection(QWidget *content, std::initializer_list<QWidget *> companions, const QString &name)
{
    auto *section = new QWidget;
    section->setObjectName(name);
    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);
    column->addWidget(makeDivider());
    auto *group = new QVBoxLayout;
    group->setSpacing(12);
    group->addWidget(content);
    for (QWidget *companion : companions)
        group->addWidget(companion);
    column->addLayout(group);
    return section;
}

QString tagline()
{
#ifdef Q_OS_MACOS
    return u"Sync your Music library between Macs"_s;
#else
    return u"Sync your Music library between computers"_s;
#endif
}

// The folder of a chosen library file: where the other picker's dialog opens.
QString folderOf(const std::optional<QUrl> &url)
{
    const std::optional<QString> path = url ? localFilePath(*url) : std::nullopt;
    return path ? QFileInfo(*path).absolutePath() : QString();
}

// What a screen reader says when the window enters a phase.
QString phaseAnnouncement(const SyncCoordinator &coordinator)
{
    const SyncCoordinator::Phase &phase = coordinator.phase();
    switch (phase.kind) {
    case Kind::setup:
        return u"Choose the source and the destination library"_s;
    case Kind::scanning:
        return u"Scanning libraries"_s;
    case Kind::readyToSync:
        return coordinator.canSync() ? u"Changes found; ready to sync"_s : u"Libraries are already in sync"_s;
    case Kind::syncing:
        return u"Syncing"_s;
    case Kind::completed:
        return coordinator.currentJob() && coordinator.currentJob()->status == SyncJob::SyncStatus::cancelled
            ? u"Sync cancelled"_s
            : u"Sync complete"_s;
    case Kind::failed:
        return u"Error: "_s + phase.message;
    }
    return {};
}

} // namespace

ContentView::ContentView(QWidget *parent)
    : QWidget(parent)
    , m_coordinator(SyncCoordinator::create())
    , m_consent(&ContentView::askConsent)
    , m_stopQuestion(&ContentView::askToStop)
    , m_sourcePicker(new LibraryPickerView(u"Source Library"_s))
    , m_destinationPicker(new LibraryPickerView(u"Destination Library"_s))
    , m_summary(new ChangesetSummaryView)
    , m_notice(new PlanNoticeView)
    , m_errorBanner(new ErrorBanner)
    , m_progress(new SyncProgressView)
    , m_runSummary(new RunSummaryView)
    , m_skipped(new SkippedFilesView)
    , m_scanProgress(new ScanProgressView)
    , m_scroll(new QScrollArea)
    , m_startOverButton(new AccentButton(AccentButton::Kind::borderless, u"Start Over"_s))
    , m_showFolderButton(new QPushButton(u"Show in Folder"_s))
    , m_cancelButton(new QPushButton)
    , m_scanButton(new QPushButton)
    , m_scanSpinner(new Spinner(0.7))
    , m_scanBusyLabel(new QLabel(u"Scanning\u2026"_s))
    , m_syncButton(new AccentButton(AccentButton::Kind::prominent))
{
    setAccessibleName(u"Quaverly"_s);
    Theme::applyWindowPalette(this);

    // Header.
    auto *houseSymbol = new SymbolView(u"music.note.house.fill"_s, Theme::Tint::accent, Theme::TextStyle::title);
    houseSymbol->setObjectName(u"headerSymbol"_s);
    auto *appName = new QLabel(u"Quaverly"_s);
    appName->setObjectName(u"appName"_s);
    Theme::styleText(appName, Theme::TextStyle::title2Bold);
    auto *taglineLabel = new QLabel(tagline());
    taglineLabel->setObjectName(u"tagline"_s);
    Theme::styleText(taglineLabel, Theme::TextStyle::caption, Theme::Tint::secondary);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(appName);
    titles->addWidget(taglineLabel);
    auto *header = new QHBoxLayout;
    header->addWidget(houseSymbol, 0, Qt::AlignVCenter);
    header->addLayout(titles, 1);

    // Library choice.
    m_sourcePicker->setObjectName(u"sourcePicker"_s);
    m_destinationPicker->setObjectName(u"destinationPicker"_s);
    auto *arrow = new SymbolView(u"arrow.down"_s, Theme::Tint::secondary, Theme::TextStyle::headline);
    arrow->setObjectName(u"arrowSymbol"_s);
    auto *pickers = new QVBoxLayout;
    pickers->setSpacing(14);
    pickers->addWidget(m_sourcePicker);
    pickers->addWidget(arrow, 0, Qt::AlignHCenter);
    pickers->addWidget(m_destinationPicker);

    m_summary->setObjectName(u"summaryView"_s);
    m_notice->setObjectName(u"planNotice"_s);
    m_summarySection = makeSection(m_summary, {m_notice}, u"summarySection"_s);
    m_errorBanner->setObjectName(u"errorBanner"_s);
    m_progress->setObjectName(u"progressView"_s);
    m_runSummary->setObjectName(u"runSummary"_s);
    m_skipped->setObjectName(u"skippedFiles"_s);
    m_progressSection = makeSection(m_progress, {m_runSummary, m_skipped}, u"progressSection"_s);

    // Button row.
    m_startOverButton->setObjectName(u"startOverButton"_s);
    m_startOverButton->setAccessibleDescription(u"Clears the results and keeps both libraries chosen"_s);
    m_showFolderButton->setObjectName(u"showFolderButton"_s);
    m_showFolderButton->setAccessibleDescription(u"Opens the destination library's folder"_s);
    m_cancelButton->setObjectName(u"cancelButton"_s);
    // Wide enough for either label, so the row does not shift when it changes.
    m_cancelButton->setText(u"Cancelling\u2026"_s);
    m_cancelButton->setMinimumWidth(m_cancelButton->sizeHint().width());
    m_scanButton->setObjectName(u"scanButton"_s);
    m_scanSpinner->setObjectName(u"scanSpinner"_s);
    m_scanBusyLabel->setObjectName(u"scanBusyLabel"_s);
    // While scanning, the button's label is a spinner beside the text, laid out inside it.
    m_scanBusyLabel->setForegroundRole(QPalette::ButtonText);
    m_scanSpinner->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_scanBusyLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *busyLabel = new QHBoxLayout(m_scanButton);
    busyLabel->setContentsMargins(0, 0, 0, 0);
    busyLabel->setSpacing(6);
    busyLabel->setAlignment(Qt::AlignCenter);
    busyLabel->addWidget(m_scanSpinner);
    busyLabel->addWidget(m_scanBusyLabel);
    m_scanButton->setMinimumWidth(busyLabel->sizeHint().width()
                                  + 2 * style()->pixelMetric(QStyle::PM_ButtonMargin));
    m_scanButton->setAccessibleName(u"Scan Libraries"_s);
    m_syncButton->setObjectName(u"syncButton"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_startOverButton);
    buttons->addWidget(m_showFolderButton);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch();
    buttons->addWidget(m_scanButton);
    buttons->addWidget(m_syncButton);

    // Header and buttons stay put; what lies between scrolls when the screen is too small for it.
    m_content = new QWidget;
    m_content->setObjectName(u"content"_s);
    auto *middle = new QVBoxLayout(m_content);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(20);
    middle->addLayout(pickers);
    m_scanProgress->setObjectName(u"scanProgress"_s);
    middle->addWidget(m_scanProgress);
    middle->addWidget(m_summarySection);
    middle->addWidget(m_errorBanner);
    middle->addWidget(m_progressSection);
    middle->addStretch(1);
    m_scroll->setObjectName(u"contentScroll"_s);
    m_scroll->setWidget(m_content);
    m_content->installEventFilter(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_content->setAutoFillBackground(false);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);
    column->addLayout(header);
    column->addWidget(makeDivider());
    column->addWidget(m_scroll, 1);
    column->addWidget(makeDivider());
    column->addLayout(buttons);

    connect(m_sourcePicker, &LibraryPickerView::libraryChosen, this,
            [this](const QUrl &url) { m_coordinator->setSourceLibraryURL(url); });
    connect(m_destinationPicker, &LibraryPickerView::libraryChosen, this,
            [this](const QUrl &url) { m_coordinator->setDestinationLibraryURL(url); });
    connect(m_notice, &PlanNoticeView::mediaFolderChosen, this, [this](const QString &folder) {
        m_coordinator->setSourceMediaFolder(folder);
        m_coordinator->scanLibraries();
    });
    connect(m_errorBanner, &ErrorBanner::dismissed, this, [this] { m_coordinator->reset(); });
    connect(m_summary, &ChangesetSummaryView::listRequested, this, &ContentView::openList);
    connect(m_startOverButton, &QPushButton::clicked, this, [this] { m_coordinator->reset(); });
    connect(m_showFolderButton, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folderOf(m_coordinator->destinationLibraryURL())));
    });
    connect(m_cancelButton, &QPushButton::clicked, this, &ContentView::cancelSync);
    connect(m_scanButton, &QPushButton::clicked, this, [this] { m_coordinator->scanLibraries(); });
    connect(m_syncButton, &QPushButton::clicked, this, &ContentView::startSync);
    connect(m_coordinator.get(), &SyncCoordinator::objectWillChange, this, &ContentView::scheduleRefresh);

    refresh();
    resize(defaultSize);
}

// A running scan or sync holds its own reference to the coordinator and finishes without us.
ContentView::~ContentView() = default;

void ContentView::setFileDialog(const LibraryPickerView::FileDialog &dialog)
{
    m_sourcePicker->setFileDialog(dialog);
    m_destinationPicker->setFileDialog(dialog);
}

void ContentView::setFolderDialog(const PlanNoticeView::FolderDialog &dialog)
{
    m_notice->setFolderDialog(dialog);
}

void ContentView::setConsent(Consent consent)
{
    m_consent = std::move(consent);
}

void ContentView::setStopQuestion(StopQuestion question)
{
    m_stopQuestion = std::move(question);
}

void ContentView::setSaveDialog(const RunSummaryView::SaveDialog &dialog)
{
    m_runSummary->setSaveDialog(dialog);
}

bool ContentView::askToStop(QWidget *parent)
{
    QMessageBox box(QMessageBox::Warning, u"Stop the Sync?"_s, u"Stop the sync?"_s, QMessageBox::NoButton, parent);
    box.setInformativeText(u"The file being copied is finished first; what the sync has done so far stays done."_s);
    QPushButton *stop = box.addButton(u"Stop Sync"_s, QMessageBox::DestructiveRole);
    QPushButton *keep = box.addButton(u"Keep Running"_s, QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == stop;
}

bool ContentView::askConsent(QWidget *parent, const SyncPlan &plan, Question question)
{
    const bool mass = question == Question::massRemoval;
    QMessageBox box(QMessageBox::Warning,
                    mass ? u"Remove Most of the Destination?"_s : u"Delete Files for Good?"_s,
                    mass ? u"This sync would remove %1 of the %2 tracks of the destination library."_s
                               .arg(plan.job.tracksToRemove.size())
                               .arg(plan.destinationTrackCount)
                         : u"The destination volume has no Trash: %1 removed files could not be restored."_s
                               .arg(plan.filesToRemove),
                    QMessageBox::Cancel, parent);
    box.setInformativeText(mass ? u"Check that the source library is the one you meant."_s
                                : u"Only go on if you have another copy of these files."_s);
    QStringList files;
    for (const SyncPlan::Removal &removal : plan.removals) {
        if (removal.kind == SyncPlan::Removal::Kind::remove)
            files.append(removal.path);
    }
    box.setDetailedText(files.join(u'\n'));
    QPushButton *agree = box.addButton(mass ? u"Remove"_s : u"Delete"_s, QMessageBox::DestructiveRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == agree;
}

// A sync that would empty most of the destination or delete files for good asks first; Cancel
// leaves everything as it is.
void ContentView::startSync()
{
    const std::optional<SyncPlan> &plan = m_coordinator->currentPlan();
    if (!plan)
        return;
    SyncPlan::Consent consent;
    if (plan->removalNeedsConsent) {
        if (!m_consent(this, *plan, Question::massRemoval))
            return;
        consent.massRemoval = true;
    }
    if (plan->deletionNeedsConsent()) {
        if (!m_consent(this, *plan, Question::permanentDeletion))
            return;
        consent.permanentDeletion = true;
    }
    m_coordinator->startSync(consent);
}

void ContentView::cancelSync()
{
    m_cancelRequested = true;
    m_coordinator->cancelSync();
    refresh();
}

// A window closed during a sync would leave the run going unseen; the user decides whether it
// stops or keeps the window, and with it the run, in view. Once stopping, it may close.
void ContentView::closeEvent(QCloseEvent *event)
{
    if (m_coordinator->phase().is(Kind::syncing) && !m_cancelRequested) {
        if (!m_stopQuestion(this)) {
            event->ignore();
            return;
        }
        cancelSync();
    }
    QWidget::closeEvent(event);
}

// One window per list: asking again brings the open one forward.
void ContentView::openList(PlanListModel::List list)
{
    const std::optional<SyncPlan> &plan = m_coordinator->currentPlan();
    if (!plan)
        return;
    QPointer<PlanListDialog> &dialog = m_lists.at(size_t(list));
    if (!dialog)
        dialog = new PlanListDialog(*plan, list, this);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

// Everything else takes its colours from the palette as it paints; the secondary text colour is
// the window's own and follows a new palette (light to dark) here.
void ContentView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        Theme::applyWindowPalette(this);
}

// The scroll area learns of the new size after this filter, so the scroll range is only right
// once the event has gone through.
bool ContentView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content && event->type() == QEvent::Resize && m_revealed) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_revealed)
                    m_scroll->ensureWidgetVisible(m_revealed, 0, 0);
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

// Return does what the phase is about, as the default button of a dialog would; a focused
// button takes it for itself first.
void ContentView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    auto *focused = qobject_cast<QPushButton *>(focusWidget());
    QPushButton *target = focused && focused->isEnabled() ? focused : defaultButton();
    if (target && target->isVisible() && target->isEnabled())
        target->click();
    else
        QWidget::keyPressEvent(event);
}

QPushButton *ContentView::defaultButton() const
{
    const SyncCoordinator::Phase &phase = m_coordinator->phase();
    if (phase.is(Kind::completed))
        return m_startOverButton;
    if (phase.is(Kind::failed))
        return m_errorBanner->findChild<QPushButton *>(u"dismissButton"_s);
    if (m_coordinator->canSync())
        return m_syncButton;
    if (phase.is(Kind::syncing))
        return nullptr;
    return m_scanButton;
}

// Where the focus goes when a phase begins: its main action, or the first Choose… while there is
// nothing to act on yet. The button that had it may just have been disabled or hidden.
QWidget *ContentView::focusTarget() const
{
    if (m_coordinator->phase().is(Kind::syncing))
        return m_cancelButton;
    if (QPushButton *button = defaultButton(); button && button->isEnabled())
        return button;
    return m_sourcePicker->findChild<QPushButton *>(u"chooseButton"_s);
}

// The coordinator announces each change before making it, often several in a row; one queued
// refresh reads them all once they are made.
void ContentView::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_refreshPending = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void ContentView::refresh()
{
    const SyncCoordinator &coordinator = *m_coordinator;
    const SyncCoordinator::Phase &phase = coordinator.phase();
    const bool scanning = phase.is(Kind::scanning);
    const bool busy = scanning || phase.is(Kind::syncing);
    const std::optional<SyncJob> &job = coordinator.currentJob();
    const std::optional<SyncPlan> &plan = coordinator.currentPlan();

    m_sourcePicker->setSelectedURL(coordinator.sourceLibraryURL());
    m_sourcePicker->setChoosingDisabled(busy);
    m_destinationPicker->setSelectedURL(coordinator.destinationLibraryURL());
    m_destinationPicker->setChoosingDisabled(busy);
    // A dialog opens where its own file is, else beside the other one.
    const QString sourceFolder = folderOf(coordinator.sourceLibraryURL());
    const QString destinationFolder = folderOf(coordinator.destinationLibraryURL());
    m_sourcePicker->setStartFolder(sourceFolder.isEmpty() ? destinationFolder : sourceFolder);
    m_destinationPicker->setStartFolder(destinationFolder.isEmpty() ? sourceFolder : destinationFolder);

    // While reading, the main area says how far each file got: a scan of a big library takes
    // seconds, and a blank window would look stuck.
    if (scanning) {
        const std::optional<SyncCoordinator::ScanProgress> &reads = coordinator.currentScan();
        const SyncCoordinator::ScanProgress progress = reads.value_or(SyncCoordinator::ScanProgress{});
        m_scanProgress->setProgress({progress.source.bytesRead, progress.source.size},
                                    {progress.destination.bytesRead, progress.destination.size}, progress.elapsedMs);
    }
    m_scanProgress->setVisible(scanning);

    if (job)
        m_summary->setJob(*job);
    m_summarySection->setVisible(job.has_value());
    // A sync refused for want of any file to copy sends the user to Locate…, so it stays there.
    if (plan)
        m_notice->setPlan(*plan, phase.is(Kind::readyToSync) || phase.is(Kind::failed));
    m_notice->setVisible(plan && !m_notice->isEmpty());

    if (phase.is(Kind::failed)) {
        const QString subject = !phase.library                                    ? QString()
            : *phase.library == SyncCoordinator::Library::source ? u"Source library"_s
                                                                 : u"Destination library"_s;
        m_errorBanner->setFailure(subject, phase.advice, phase.message);
    }
    m_errorBanner->setVisible(phase.is(Kind::failed));

    // A list shows the plan it was opened from; once that plan is gone, so is the list.
    for (QPointer<PlanListDialog> &list : m_lists) {
        if (list && (!plan || plan->job.id != list->jobId()))
            list->close();
    }

    const bool syncing = phase.is(Kind::syncing);
    const bool completed = phase.is(Kind::completed);
    if (!syncing)
        m_cancelRequested = false;
    const bool showProgress = job && (syncing || completed);
    if (showProgress) {
        m_progress->setJob(*job);
        // Until the first file is reported, the bytes to copy are known from the plan.
        std::optional<TransferProgress> transfer = coordinator.currentTransfer();
        if (!transfer && plan)
            transfer = TransferProgress{0, plan->bytesToCopy};
        m_progress->setTransfer(syncing ? transfer : std::nullopt);
    }
    m_progressSection->setVisible(showProgress);
    // The plan outlives its run, so what the run did and the files it could not find are still
    // known at the end. Reading them goes through every track, so it is done once per run, not
    // at every refresh.
    if (completed && plan) {
        const auto run = std::tuple(plan->job.id, int(plan->job.status), plan->job.completedItemCount);
        if (m_summarisedRun != run) {
            m_summarisedRun = run;
            m_runSummary->setPlan(*plan);
            m_skipped->setMissingFiles(plan->filesMissing > 0 ? plan->missingFiles() : QStringList());
        }
    } else {
        m_summarisedRun.reset();
    }
    m_runSummary->setVisible(completed && plan && !m_runSummary->isEmpty());
    m_skipped->setVisible(completed && plan && plan->filesMissing > 0);

    m_startOverButton->setVisible(completed);
    m_showFolderButton->setVisible(completed);
    m_cancelButton->setVisible(syncing);
    m_cancelButton->setEnabled(!m_cancelRequested);
    m_cancelButton->setText(m_cancelRequested ? u"Cancelling\u2026"_s : u"Cancel"_s);
    m_scanButton->setText(scanning ? QString() : u"Scan Libraries"_s);
    m_scanSpinner->setVisible(scanning);
    m_scanBusyLabel->setVisible(scanning);
    m_scanButton->setEnabled(coordinator.canScan() && !busy);
    m_syncButton->setText(phase.is(Kind::syncing) ? u"Syncing\u2026"_s : u"Start Sync"_s);
    m_syncButton->setEnabled(coordinator.canSync());

    updateMinimumSize();
    fitToContent();
    if (m_shownPhase != phase.kind) {
        const bool ended = m_shownPhase == Kind::syncing;
        m_shownPhase = phase.kind;
        enterPhase(ended);
    } else if (m_scanButton->isEnabled() && !m_couldScan) {
        // The second library is chosen: scanning is the next step.
        m_scanButton->setFocus(Qt::OtherFocusReason);
    }
    m_couldScan = m_scanButton->isEnabled();
}

// A phase change moves the focus to where the next step is, tells a screen reader what happened,
// and, when a run ends while the window is in the background, asks for the user's attention.
void ContentView::enterPhase(bool runEnded)
{
    if (QWidget *target = focusTarget())
        target->setFocus(Qt::OtherFocusReason);
    // On a small screen the new section may lie below the fold: it is brought into view now and
    // again as the content settles its size (see eventFilter).
    m_revealed = nullptr;
    for (QWidget *section :
         std::initializer_list<QWidget *>{m_errorBanner, m_progressSection, m_summarySection, m_scanProgress}) {
        if (section->isVisible()) {
            m_revealed = section;
            m_scroll->ensureWidgetVisible(section, 0, 0);
            break;
        }
    }
    setAccessibleDescription(phaseAnnouncement(*m_coordinator));
    QAccessibleEvent announcement(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&announcement);
    if (runEnded && !isActiveWindow())
        QApplication::alert(this);
}

// Never narrower than the content needs; in height, never smaller than the header, the buttons
// and a little of the scrolling content between them, so that every control stays on a small
// screen.
void ContentView::updateMinimumSize()
{
    layout()->activate();
    const int chrome = layout()->totalMinimumSize().height() - m_scroll->minimumSizeHint().height();
    const int width = qMax(layout()->totalMinimumSize().width(), m_content->minimumSizeHint().width()
                                                                  + m_scroll->verticalScrollBar()->sizeHint().width());
    setMinimumSize(qMax(width, minimumContentSize.width()), chrome + minimumScrollHeight);
}

// The window grows with its content up to what the screen holds and shrinks back as sections go
// away, but only when the content changed: a size the user chose stays until then.
void ContentView::fitToContent()
{
    const int viewportWidth = m_scroll->viewport()->width();
    const int content = m_content->hasHeightForWidth() ? m_content->heightForWidth(viewportWidth)
                                                        : m_content->sizeHint().height();
    const int wanted = height() - m_scroll->viewport()->height() + content;
    if (wanted == m_fittedContentHeight)
        return;
    m_fittedContentHeight = wanted;
    int available = QWIDGETSIZE_MAX;
    if (const QScreen *screen = this->screen())
        available = screen->availableGeometry().height() - (frameGeometry().height() - height());
    resize(width(), qBound(minimumHeight(), qMax(wanted, defaultSize.height()), qMax(available, minimumHeight())));
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateMinimumSize();
}

} // namespace quaverly
