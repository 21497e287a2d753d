#pragma once

#include "engine/SyncJob.h"
#include "engine/SyncPlan.h"
#include "model/MusicLibrary.h"
#include "platform/SerialExecutor.h"

#include <QFuture>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quaverly {

/// Local folders the user named for the two libraries' recorded media folders.
struct MediaFolders
{
    std::optional<QString> source{};
    std::optional<QString> destination{};
};

/// How far a run's copies have got, reported before each file is copied and once after the last.
struct TransferProgress
{
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    /// The file being copied; empty once the copies are done.
    QString currentFile{};
    /// Since the run started.
    qint64 elapsedMs = 0;

    /// Nothing until there is something to measure.
    [[nodiscard]] std::optional<double> bytesPerSecond() const;
    [[nodiscard]] std::optional<qint64> secondsLeft() const;
};

/// What a caller may do with a run while it goes. Safe to use from any thread.
struct RunControl
{
    /// Set to stop the run before the next file: it ends with status cancelled.
    std::shared_ptr<std::atomic<bool>> cancellation{};
    /// Receives the transfer's progress; called on the engine's executor, must return promptly.
    std::function<void(const TransferProgress &)> transfer{};
    /// How many files the run copies at once at most (at least one, at most 32; large files go
    /// fewer at a time); nothing leaves it to SyncEngine::copiesAtOnce.
    std::optional<int> copiesAtOnce{};
};

/// Turns two scanned libraries into a SyncPlan and carries a plan out on the file system.
/// An actor: its operations return futures and run one at a time, in order, on its own
/// executor, off the caller's thread. It keeps nothing between calls. The synchronous
/// cores are static functions that tests and the cli call directly.
class SyncEngine
{
public:
    /// Receives a copy of the job at each report; called on the engine's executor and must
    /// return promptly.
    using Progress = std::function<void(const SyncJob &)>;

    /// The changeset from `source` towards `destination` and the file checks of its run. The
    /// future fails with SyncError when a named media folder cannot be used.
    [[nodiscard]] QFuture<SyncPlan> createPlan(MusicLibrary source, MusicLibrary destination,
                                               MediaFolders mediaFolders = {});

    /// Runs `plan` and yields it as the run left it: its job completed (or cancelled) and its
    /// outcome filled in. The future fails with SyncError when the plan refuses to start, and
    /// with the FileSystemError of the first file operation that failed.
    [[nodiscard]] QFuture<SyncPlan> performSync(SyncPlan plan, Progress progress, RunControl control = {});

    // Synchronous cores.
    [[nodiscard]] static SyncPlan makePlan(const MusicLibrary &source, const MusicLibrary &destination,
                                           const MediaFolders &mediaFolders = {});
    /// The file checks of `job`'s run, reading the two libraries' locations with the resolvers.
    /// `source` and `destination` are the libraries the job was made from, when there are any:
    /// the files of their tracks that stay are never removed or overwritten.
    [[nodiscard]] static SyncPlan planJob(SyncJob job, LocationResolver sourceResolver,
                                          LocationResolver destinationResolver, const MusicLibrary &source = {},
                                          const MusicLibrary &destination = {});
    /// The changeset alone: no file is looked at.
    [[nodiscard]] static SyncJob makeJob(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Track> findTracksToAdd(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Track> findTracksToRemove(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Track> findTracksToUpdate(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Playlist> findPlaylistsToSync(const MusicLibrary &source, const MusicLibrary &destination);

    /// Updates `plan.job` in place: status, completedItemCount, completedAt. Holds a lock in the
    /// destination library folder while it runs. Throws SyncError, before anything is written,
    /// when the plan refuses to start or another run holds that lock, and FileSystemError at
    /// the first failing file operation, leaving the job transferring.
    /// A cancelled run starts no further file, with status cancelled and no completedAt;
    /// what it did stays done.
    /// Copies may run a few at once (RunControl::copiesAtOnce), on threads of the run's own that
    /// end before it returns; the callbacks are still called on the calling thread. Each target
    /// only ever holds its old file or a whole copy. The job and the outcome count the copies in
    /// list order, each once it and all before it are done: copies under way when the run is
    /// cancelled finish and are counted, and after a failure the ones still under way finish, but
    /// those behind the failed one are not counted.
    static void runSync(SyncPlan &plan, const Progress &progress, const RunControl &control = {});
    /// How many files a run of `plan` copies at once when its caller leaves it to the run: 16
    /// when a volume its copies read or write is reached over a network (Volume::isLocalDisk),
    /// one otherwise, where copies at once gain nothing.
    [[nodiscard]] static int copiesAtOnce(const SyncPlan &plan);
    /// Removes each of `folders` (folders a removal of this run emptied) and then its parents,
    /// as long as they hold nothing at all and lie strictly inside `destinationFolder`.
    static void removeEmptiedFolders(std::vector<QString> folders, const QString &destinationFolder);
    /// The files of `sourceFolder` (an artwork folder) that `targetFolder` lacks or holds older,
    /// visible ones only. Throws FileSystemError naming what cannot be read.
    [[nodiscard]] static QList<SyncPlan::ArtworkCopy> planArtwork(const QString &sourceFolder,
                                                                  const QString &targetFolder);
    /// True when `target` is missing, either date is unavailable, or `source` is newer.
    [[nodiscard]] static bool needsCopy(const QString &source, const QString &target);

private:
    SerialExecutor m_executor;
};

} // namespace quaverly
