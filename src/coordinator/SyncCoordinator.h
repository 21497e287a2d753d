#pragma once

#include "engine/SyncEngine.h"
#include "engine/SyncJob.h"
#include "engine/SyncPlan.h"
#include "model/MusicLibrary.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

namespace quaverly {

/// The state behind one window: the two chosen library files, the two scanned libraries,
/// the current job and the phase of the flow. Every assignment of a published property
/// first emits objectWillChange(), also when the value does not change, then stores it.
/// Main thread only. Made through create(): a running scan or sync holds a reference and
/// keeps the coordinator alive until it ends, and the last release, from any thread,
/// destroys it on the main thread.
class SyncCoordinator : public QObject, public std::enable_shared_from_this<SyncCoordinator>
{
    Q_OBJECT

public:
    /// One of the two chosen library files.
    enum class Library { source, destination };

    struct Phase
    {
        enum class Kind { setup, scanning, readyToSync, syncing, completed, failed };

        Kind kind = Kind::setup;
        /// The failure's sentence; empty for every other kind.
        QString message;
        /// The library file a failure is about, when it is about one.
        std::optional<Library> library;
        /// One sentence on what to try, when there is something to try.
        QString advice;

        [[nodiscard]] static Phase of(Kind kind)
        {
            Phase phase;
            phase.kind = kind;
            return phase;
        }
        [[nodiscard]] static Phase failed(QString message, std::optional<Library> library = {}, QString advice = {})
        {
            Phase phase = of(Kind::failed);
            phase.message = std::move(message);
            phase.library = library;
            phase.advice = std::move(advice);
            return phase;
        }
        [[nodiscard]] bool is(Kind other) const noexcept { return kind == other; }
        /// Same kind and, for failed, the same failure.
        [[nodiscard]] friend bool operator==(const Phase &a, const Phase &b)
        {
            return a.kind == b.kind
                && (a.kind != Kind::failed || (a.message == b.message && a.library == b.library && a.advice == b.advice));
        }
    };

    /// The shortest time between two published progress snapshots of a sync.
    static constexpr qint64 snapshotIntervalMs = 33;

    /// How far the reads of a scan got: bytes read of each library file and the time so far.
    struct ScanProgress
    {
        struct File
        {
            qint64 bytesRead = 0;
            /// 0 until the file is opened.
            qint64 size = 0;
        };
        File source;
        File destination;
        qint64 elapsedMs = 0;
    };

    [[nodiscard]] static std::shared_ptr<SyncCoordinator> create();
    ~SyncCoordinator() override;

    // Published properties, in declaration order.
    [[nodiscard]] const std::optional<QUrl> &sourceLibraryURL() const { return m_sourceLibraryURL; }
    void setSourceLibraryURL(std::optional<QUrl> url);
    [[nodiscard]] const std::optional<QUrl> &destinationLibraryURL() const { return m_destinationLibraryURL; }
    void setDestinationLibraryURL(std::optional<QUrl> url);
    [[nodiscard]] const std::optional<MusicLibrary> &sourceLibrary() const { return m_sourceLibrary; }
    [[nodiscard]] const std::optional<MusicLibrary> &destinationLibrary() const { return m_destinationLibrary; }
    /// During a sync, the newest snapshot the run has reported, taken at most every
    /// snapshotIntervalMs: the ones that came in between are passed over, never applied out of
    /// order, and the last one is published before the run's end.
    [[nodiscard]] const std::optional<SyncJob> &currentJob() const { return m_currentJob; }
    [[nodiscard]] const Phase &phase() const { return m_phase; }
    /// Where the user said the source library's recorded media folder is; cleared when another
    /// source library is chosen.
    [[nodiscard]] const std::optional<QString> &sourceMediaFolder() const { return m_sourceMediaFolder; }
    void setSourceMediaFolder(std::optional<QString> folder);
    /// What the scanned job's run will do on this computer; its job is the job as planned,
    /// while currentJob follows the run.
    [[nodiscard]] const std::optional<SyncPlan> &currentPlan() const { return m_currentPlan; }
    /// How far the copies of the running (or last) sync got, a few times a second; nothing
    /// before its first file.
    [[nodiscard]] const std::optional<TransferProgress> &currentTransfer() const { return m_currentTransfer; }
    /// How far the running (or last) scan's reads got, a few times a second.
    [[nodiscard]] const std::optional<ScanProgress> &currentScan() const { return m_currentScan; }

    /// Both library files are chosen, and they are two different files.
    [[nodiscard]] bool canScan() const;
    /// Both choices name one and the same file (also through a link); the phase then says so.
    [[nodiscard]] bool sameLibraryChosen() const { return m_sameLibraryChosen; }
    /// The phase is readyToSync and the current job has at least one change.
    [[nodiscard]] bool canSync() const;

    /// Reads both chosen files and builds the job; a silent no-op unless both are chosen.
    /// Returns at once; the outcome arrives through the published properties. A scan started
    /// again, or a reset, supersedes one still going: nothing of the earlier one is published.
    void scanLibraries();
    /// Runs the current plan; a silent no-op without one. A plan that removes most of the
    /// destination, or deletes files for good, runs only with that consent and fails with the
    /// reason otherwise. Returns at once.
    void startSync(SyncPlan::Consent consent = {});
    /// Asks the running sync to stop before its next file; a silent no-op when none runs. The
    /// run then ends as completed would, its job cancelled.
    void cancelSync();
    /// Back to setup, keeping the chosen files.
    void reset();

Q_SIGNALS:
    /// Emitted before every assignment of a published property.
    void objectWillChange();

private:
    SyncCoordinator();

    template<typename T>
    void assign(T &property, T value);
    void checkSameLibrary();
    /// assign() that lets go of the old value off the main thread.
    template<typename T>
    void replace(T &property, T value);
    void deliverSnapshot();
    /// Publishes the run's newest snapshot, when one is waiting.
    void applySnapshot();

    struct Snapshots;
    struct Reads;

    std::optional<QUrl> m_sourceLibraryURL;
    std::optional<QUrl> m_destinationLibraryURL;
    std::optional<MusicLibrary> m_sourceLibrary;
    std::optional<MusicLibrary> m_destinationLibrary;
    std::optional<SyncJob> m_currentJob;
    Phase m_phase;
    std::optional<QString> m_sourceMediaFolder;
    std::optional<SyncPlan> m_currentPlan;
    std::optional<TransferProgress> m_currentTransfer;
    std::optional<ScanProgress> m_currentScan;
    /// Counts the scans started and the resets; a scan's results are applied only while it is the
    /// latest.
    quint64 m_scan = 0;
    /// The running sync's stop request, shared with the engine.
    std::shared_ptr<std::atomic<bool>> m_cancellation;
    bool m_sameLibraryChosen = false;
    /// The running sync's newest snapshot on its way from the engine, and its pacing.
    std::shared_ptr<Snapshots> m_snapshots;
    QTimer m_snapshotPacing;
    QElapsedTimer m_sinceSnapshot;
};

} // namespace quaverly
