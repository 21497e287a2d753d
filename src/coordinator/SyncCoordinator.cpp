#include "coordinator/SyncCoordinator.h"

#include "engine/SyncEngine.h"
#include "platform/FileSystem.h"
#include "platform/LocalFile.h"
#include "platform/PropertyList.h"
#include "platform/BackgroundRelease.h"
#include "scanner/MusicLibraryScanner.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <cerrno>
#include <array>
#include <atomic>
#include <exception>
#include <mutex>
#include <utility>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

using Phase = SyncCoordinator::Phase;

// Calls `apply(coordinator, future)` on the coordinator's thread once `future` has ended.
// The call is queued to the coordinator itself from the thread that ended the future, so it
// comes after every call queued to the coordinator before that moment: the progress deliveries
// of a run all come before its end. `self` keeps the coordinator alive until the queued
// call has run; Qt drops the call's captures only after the delivery has returned, so a last
// release there can destroy the coordinator on the spot without pulling it from under itself.
// The future may hold the only copy of a result that `apply` did not keep (a library read when
// the other read failed), so it is let go of in the background.
template<typename T, typename Apply>
void whenEnded(std::shared_ptr<SyncCoordinator> self, QFuture<T> future, Apply apply)
{
    future.then(QtFuture::Launch::Sync,
                [self = std::move(self), apply = std::move(apply)](const QFuture<T> &ended) mutable {
                    SyncCoordinator *receiver = self.get();
                    QMetaObject::invokeMethod(
                        receiver,
                        [self = std::move(self), apply = std::move(apply), ended]() mutable {
                            apply(*self, ended);
                            releaseInBackground(std::move(ended));
                        },
                        Qt::QueuedConnection);
                });
}

// What a person can do about a library file that could not be read: the sentence of the error
// itself says what went wrong, this one what to try.
QString readingAdvice(const std::exception_ptr &failure)
{
    const QString exportAgain = u"Export the library file again from the music application, then choose it again."_s;
    const QString checkVolume = u"Check that the volume holding it is mounted, or choose the file again."_s;
    try {
        std::rethrow_exception(failure);
    } catch (const PropertyListError &) {
        return exportAgain;
    } catch (const MusicLibraryScanner::ScanError &error) {
        return error.kind() == MusicLibraryScanner::ScanError::Kind::invalidFormat ? exportAgain : checkVolume;
    } catch (const FileSystemError &error) {
        switch (error.errorCode()) {
        case EACCES:
        case EPERM:
            return u"Check that you may read the file, or choose a different file."_s;
        case EISDIR:
            return u"Choose a different file: the library file, not a folder."_s;
        default:
            return checkVolume;
        }
    } catch (...) {
        return {};
    }
}

Phase readingFailure(const std::exception_ptr &failure, SyncCoordinator::Library library)
{
    return Phase::failed(failureSentence(failure), library, readingAdvice(failure));
}

} // namespace

std::shared_ptr<SyncCoordinator> SyncCoordinator::create()
{
    // An operation's continuation may hold the last reference and let go of it on a worker
    // thread; a QObject has to die on its own thread.
    return std::shared_ptr<SyncCoordinator>(new SyncCoordinator, [](SyncCoordinator *coordinator) {
        if (QThread::currentThread() == coordinator->thread()) {
            delete coordinator;
        } else {
            coordinator->deleteLater();
        }
    });
}

// Carries the newest progress snapshot of a run from the engine's thread to the coordinator's,
// with at most one delivery queued at a time. A run reports a snapshot for every update it
// counts, tens of thousands in a burst; applying each would keep the main thread busy for a
// second, while a person sees only the newest. Nothing newer than what was delivered is left
// behind: a snapshot put after a delivery took the last one queues the next delivery.
struct SyncCoordinator::Snapshots
{
    /// Stores `snapshot`; true when the caller must queue a delivery, which then calls take().
    bool put(const SyncJob &snapshot)
    {
        std::lock_guard lock(mutex);
        newest = snapshot;
        return !std::exchange(deliveryQueued, true);
    }

    /// The newest snapshot; nothing when none is waiting.
    std::optional<SyncJob> take()
    {
        std::lock_guard lock(mutex);
        deliveryQueued = false;
        return std::exchange(newest, std::nullopt);
    }

    std::mutex mutex;
    std::optional<SyncJob> newest;
    bool deliveryQueued = false;
};

SyncCoordinator::SyncCoordinator()
{
    m_snapshotPacing.setSingleShot(true);
    connect(&m_snapshotPacing, &QTimer::timeout, this, &SyncCoordinator::applySnapshot);
}

SyncCoordinator::~SyncCoordinator() = default;

template<typename T>
void SyncCoordinator::assign(T &property, T value)
{
    Q_EMIT objectWillChange();
    property = std::move(value);
}

// For a library, job or plan that may be the last copy of 100,000 tracks.
template<typename T>
void SyncCoordinator::replace(T &property, T value)
{
    Q_EMIT objectWillChange();
    releaseInBackground(std::exchange(property, std::move(value)));
}

void SyncCoordinator::setSourceLibraryURL(std::optional<QUrl> url)
{
    // A media folder named for one library says nothing about another.
    if (url != m_sourceLibraryURL)
        assign(m_sourceMediaFolder, {});
    assign(m_sourceLibraryURL, std::move(url));
    checkSameLibrary();
}

void SyncCoordinator::setSourceMediaFolder(std::optional<QString> folder)
{
    assign(m_sourceMediaFolder, std::move(folder));
}

void SyncCoordinator::setDestinationLibraryURL(std::optional<QUrl> url)
{
    assign(m_destinationLibraryURL, std::move(url));
    checkSameLibrary();
}

// Said as soon as the second file is chosen: scanning one file against itself would only ever
// find it in sync with itself, which reads as success.
void SyncCoordinator::checkSameLibrary()
{
    const std::optional<QString> source = m_sourceLibraryURL ? localFilePath(*m_sourceLibraryURL) : std::nullopt;
    const std::optional<QString> destination =
        m_destinationLibraryURL ? localFilePath(*m_destinationLibraryURL) : std::nullopt;
    bool same = false;
    if (source && destination) {
        const std::optional<FileSystem::FileIdentity> a = FileSystem::identity(*source);
        same = a ? a == FileSystem::identity(*destination) : *source == *destination;
    }
    if (same) {
        m_sameLibraryChosen = true;
        assign(m_phase, Phase::failed(u"The source and the destination are the same file: \"%1\"."_s.arg(*source),
                                      std::nullopt, u"Choose a different library file for the source or the destination."_s));
    } else if (std::exchange(m_sameLibraryChosen, false) && m_phase.is(Phase::Kind::failed)) {
        assign(m_phase, Phase{});
    }
}

bool SyncCoordinator::canScan() const
{
    return m_sourceLibraryURL && m_destinationLibraryURL && !m_sameLibraryChosen;
}

bool SyncCoordinator::canSync() const
{
    return m_phase.is(Phase::Kind::readyToSync) && m_currentPlan && m_currentPlan->job.hasChanges();
}

// The byte counts of a scan's two reads, written by the scanning threads after each chunk and
// read on the main thread; a report is queued at most every reportIntervalMs, and only while none
// waits, so a fast read costs the window a few refreshes a second.
struct SyncCoordinator::Reads
{
    static constexpr qint64 reportIntervalMs = 100;

    QElapsedTimer clock;
    std::array<std::atomic<qint64>, 2> bytesRead{};
    std::array<std::atomic<qint64>, 2> size{};
    std::atomic<qint64> lastReportMs{-reportIntervalMs};

    [[nodiscard]] ScanProgress snapshot() const
    {
        return {{bytesRead[0].load(), size[0].load()}, {bytesRead[1].load(), size[1].load()}, clock.elapsed()};
    }
};

void SyncCoordinator::scanLibraries()
{
    if (!canScan()) {
        return;
    }
    assign(m_phase, Phase::of(Phase::Kind::scanning));
    replace(m_currentJob, {});
    replace(m_currentPlan, {});
    assign(m_currentScan, std::optional(ScanProgress{}));

    const quint64 scan = ++m_scan;
    auto reads = std::make_shared<Reads>();
    reads->clock.start();
    const auto progressOf = [weak = QPointer<SyncCoordinator>(this), reads, scan](size_t file) {
        return [weak, reads, scan, file](qint64 bytesRead, qint64 size) {
            reads->bytesRead[file].store(bytesRead);
            reads->size[file].store(size);
            const qint64 now = reads->clock.elapsed();
            qint64 last = reads->lastReportMs.load();
            if (now - last < Reads::reportIntervalMs || !reads->lastReportMs.compare_exchange_strong(last, now))
                return;
            // A queued call is dropped with its receiver, so this never reaches a dead coordinator.
            if (SyncCoordinator *coordinator = weak.data()) {
                QMetaObject::invokeMethod(
                    coordinator,
                    [coordinator, reads, scan] {
                        if (scan == coordinator->m_scan && coordinator->m_phase.is(Phase::Kind::scanning))
                            coordinator->assign(coordinator->m_currentScan, std::optional(reads->snapshot()));
                    },
                    Qt::QueuedConnection);
            }
        };
    };

    // A scanner keeps nothing between reads, so one for each file reads both at once; waiting
    // for both before looking at either means a quick failure of one read is published only
    // once the other has ended.
    MusicLibraryScanner sourceScanner;
    MusicLibraryScanner destinationScanner;
    QList<QFuture<MusicLibrary>> libraryReads{sourceScanner.scanLibrary(*m_sourceLibraryURL, progressOf(0)),
                                              destinationScanner.scanLibrary(*m_destinationLibraryURL, progressOf(1))};
    whenEnded(shared_from_this(), QtFuture::whenAll(libraryReads.begin(), libraryReads.end()),
              [scan, reads, mediaFolders = MediaFolders{m_sourceMediaFolder, std::nullopt}](
                  SyncCoordinator &self, const QFuture<QList<QFuture<MusicLibrary>>> &ended) {
                  // A later scan, or a reset, has made this one's files and libraries old news.
                  if (scan != self.m_scan)
                      return;
                  const QList<QFuture<MusicLibrary>> libraries = ended.result();
                  std::optional<MusicLibrary> source;
                  std::optional<MusicLibrary> destination;
                  // The source first: when both reads failed, its error is the one shown.
                  try {
                      source = libraries.at(0).result();
                  } catch (...) {
                      self.assign(self.m_phase, readingFailure(std::current_exception(), Library::source));
                      return;
                  }
                  try {
                      destination = libraries.at(1).result();
                  } catch (...) {
                      self.assign(self.m_phase, readingFailure(std::current_exception(), Library::destination));
                      return;
                  }
                  // Both files are read whole; the plan is what is left of the scan.
                  self.assign(self.m_currentScan, std::optional(reads->snapshot()));
                  self.replace(self.m_sourceLibrary, source);
                  self.replace(self.m_destinationLibrary, destination);

                  SyncEngine engine;
                  whenEnded(self.shared_from_this(),
                            engine.createPlan(*std::move(source), *std::move(destination), mediaFolders),
                            [scan](SyncCoordinator &coordinator, const QFuture<SyncPlan> &built) {
                                if (scan != coordinator.m_scan)
                                    return;
                                std::optional<SyncPlan> plan;
                                try {
                                    plan = built.result();
                                } catch (...) {
                                    coordinator.assign(coordinator.m_phase,
                                                       Phase::failed(failureSentence(std::current_exception())));
                                    return;
                                }
                                coordinator.assign(coordinator.m_currentJob, std::optional(plan->job));
                                coordinator.assign(coordinator.m_currentPlan, std::move(plan));
                                coordinator.assign(coordinator.m_phase, Phase::of(Phase::Kind::readyToSync));
                            });
              });
}

void SyncCoordinator::startSync(SyncPlan::Consent consent)
{
    if (!m_currentPlan) {
        return;
    }
    SyncPlan plan = *m_currentPlan;
    plan.consent = consent;
    assign(m_currentTransfer, {});
    assign(m_phase, Phase::of(Phase::Kind::syncing));
    m_cancellation = std::make_shared<std::atomic<bool>>(false);

    // The callback must not keep the coordinator alive; the run's own continuation does that.
    // Each delivery is queued to the coordinator like the run's end, so they come in order and
    // before it.
    m_snapshots = std::make_shared<Snapshots>();
    m_sinceSnapshot.invalidate();
    SyncEngine::Progress progress = [weak = QPointer<SyncCoordinator>(this), snapshots = m_snapshots](
                                        const SyncJob &snapshot) {
        SyncCoordinator *coordinator = weak.data();
        if (!coordinator || !snapshots->put(snapshot)) {
            return;
        }
        // A queued call is dropped with its receiver, so this never reaches a dead coordinator.
        QMetaObject::invokeMethod(coordinator, [coordinator] { coordinator->deliverSnapshot(); },
                                  Qt::QueuedConnection);
    };

    // The transfer is reported before every file; a few updates a second are all a person reads.
    RunControl control{.cancellation = m_cancellation};
    control.transfer = [weak = QPointer<SyncCoordinator>(this), sinceLast = std::optional<QElapsedTimer>()](
                           const TransferProgress &transfer) mutable {
        const bool last = transfer.currentFile.isEmpty();
        if (sinceLast && sinceLast->elapsed() < 200 && !last)
            return;
        sinceLast.emplace();
        sinceLast->start();
        SyncCoordinator *coordinator = weak.data();
        if (!coordinator)
            return;
        QMetaObject::invokeMethod(
            coordinator,
            [coordinator, transfer] {
                coordinator->assign(coordinator->m_currentTransfer, std::optional(transfer));
            },
            Qt::QueuedConnection);
    };

    SyncEngine engine;
    whenEnded(shared_from_this(), engine.performSync(std::move(plan), std::move(progress), std::move(control)),
              [](SyncCoordinator &self, const QFuture<SyncPlan> &run) {
                  self.m_cancellation.reset();
                  // A snapshot held back for pacing still comes first: a failed run keeps it.
                  self.applySnapshot();
                  self.m_snapshots.reset();
                  std::optional<SyncPlan> finished;
                  try {
                      finished = run.result();
                  } catch (...) {
                      // Nothing is undone; currentJob keeps the last snapshot of how far the run got.
                      self.assign(self.m_phase, Phase::failed(failureSentence(std::current_exception())));
                      return;
                  }
                  // A cancelled run ends here too: its job says how far it got.
                  self.assign(self.m_currentJob, std::optional(finished->job));
                  self.replace(self.m_currentPlan, std::move(finished));
                  self.assign(self.m_phase, Phase::of(Phase::Kind::completed));
              });
}

// The newest snapshot at once, unless one was published less than a pacing interval ago: a
// person reads no more than a few dozen updates a second, and every one is drawn.
void SyncCoordinator::deliverSnapshot()
{
    const qint64 wait = m_sinceSnapshot.isValid() ? snapshotIntervalMs - m_sinceSnapshot.elapsed() : 0;
    if (wait > 0) {
        if (!m_snapshotPacing.isActive())
            m_snapshotPacing.start(int(wait));
        return;
    }
    applySnapshot();
}

void SyncCoordinator::applySnapshot()
{
    m_snapshotPacing.stop();
    if (!m_snapshots)
        return;
    if (std::optional<SyncJob> newest = m_snapshots->take()) {
        m_sinceSnapshot.start();
        assign(m_currentJob, std::move(newest));
    }
}

void SyncCoordinator::cancelSync()
{
    if (m_cancellation)
        m_cancellation->store(true);
}

void SyncCoordinator::reset()
{
    ++m_scan;
    replace(m_sourceLibrary, {});
    replace(m_destinationLibrary, {});
    replace(m_currentJob, {});
    replace(m_currentPlan, {});
    assign(m_currentTransfer, {});
    assign(m_currentScan, {});
    assign(m_phase, Phase{});
}

} // namespace quaverly
