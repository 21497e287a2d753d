#pragma once

#include "engine/SyncJob.h"
#include "model/MusicLibrary.h"
#include "platform/SerialExecutor.h"

#include <QFuture>
#include <QUrl>

#include <functional>

namespace quaverly {

/// Turns two scanned libraries into a SyncJob and carries a job out on the file system.
/// An actor: its operations return futures and run one at a time, in order, on its own
/// executor, off the caller's thread. It keeps nothing between calls. The synchronous
/// cores are static functions that tests and the cli call directly.
class SyncEngine
{
public:
    /// Receives a copy of the job at each report; called on the engine's executor and must
    /// return promptly.
    using Progress = std::function<void(const SyncJob &)>;

    /// The changeset from `source` towards `destination`; never fails.
    [[nodiscard]] QFuture<SyncJob> createJob(MusicLibrary source, MusicLibrary destination);

    /// Runs `job` and yields it as the run left it (status completed, completedAt set).
    /// The future fails with the FileSystemError of the first file operation that failed.
    [[nodiscard]] QFuture<SyncJob> performSync(SyncJob job, Progress progress);

    // Synchronous cores.
    [[nodiscard]] static SyncJob makeJob(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Track> findTracksToAdd(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Track> findTracksToRemove(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Track> findTracksToUpdate(const MusicLibrary &source, const MusicLibrary &destination);
    [[nodiscard]] static QList<Playlist> findPlaylistsToSync(const MusicLibrary &source, const MusicLibrary &destination);

    /// Updates `job` in place: status, completedItemCount, completedAt. Throws
    /// FileSystemError at the first failing file operation, leaving the job transferring.
    static void runSync(SyncJob &job, const Progress &progress);
    static void copyNewTracks(SyncJob &job, const Progress &progress);
    static void removeOldTracks(SyncJob &job, const Progress &progress);
    /// Mirrors the source "Album Artwork" folder into the destination by modification date.
    static void syncArtwork(const SyncJob &job);
    static void syncDirectory(const QString &sourceFolder, const QString &targetFolder);
    /// True when `target` is missing, either date is unavailable, or `source` is newer.
    [[nodiscard]] static bool needsCopy(const QString &source, const QString &target);

private:
    SerialExecutor m_executor;
};

} // namespace quaverly
