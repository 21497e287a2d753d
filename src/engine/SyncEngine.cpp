#include "engine/SyncEngine.h"

#include "engine/Placement.h"
#include "engine/SyncError.h"
#include "engine/internal/ConcurrentCopies.h"
#include "engine/internal/FileQuestions.h"
#include "engine/internal/PlanBuilder.h"
#include "platform/FileSystem.h"
#include "platform/LocalFile.h"
#include "platform/Volume.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <deque>
#include <set>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

const QString artworkFolderName = u"Album Artwork"_s;

// Tracks of `visited` whose persistentID `other` lacks, and, when `changed` is given, those
// it holds with other play statistics: one lookup per visited track. When `matched` is given,
// it receives the track of `other` that each found one met.
void compareTracks(const QHash<QString, Track> &visited, const QHash<QString, Track> &other,
                   std::vector<const Track *> &missing, std::vector<const Track *> *changed,
                   std::vector<const Track *> *matched = nullptr)
{
    missing.reserve(size_t(visited.size()));
    if (changed)
        changed->reserve(size_t(visited.size()));
    if (matched)
        matched->reserve(size_t(std::min(visited.size(), other.size())));
    for (auto it = visited.cbegin(), end = visited.cend(); it != end; ++it) {
        const Track &track = it.value();
        const auto match = other.isEmpty() ? other.cend() : other.constFind(track.persistentID);
        if (match == other.cend()) {
            missing.push_back(&track);
            continue;
        }
        const Track &theirs = match.value();
        if (matched)
            matched->push_back(&theirs);
        if (changed
            && (track.rating != theirs.rating || track.playCount != theirs.playCount
                || track.loved != theirs.loved || track.disliked != theirs.disliked)) {
            changed->push_back(&track);
        }
    }
}

// The tracks of `tracks` that are not in `matched`. Telling them apart by address spares a
// second round of key lookups, whose scattered reads of key texts dominate the changeset's time.
std::vector<const Track *> unmatchedTracks(const QHash<QString, Track> &tracks,
                                           std::vector<const Track *> &matched)
{
    std::vector<const Track *> unmatched;
    if (qsizetype(matched.size()) == tracks.size())
        return unmatched;
    std::sort(matched.begin(), matched.end(), std::less<>());
    unmatched.reserve(size_t(tracks.size()) - matched.size());
    for (const Track &track : tracks) {
        if (!std::binary_search(matched.cbegin(), matched.cend(), &track, std::less<>()))
            unmatched.push_back(&track);
    }
    return unmatched;
}

QList<Track> toList(const std::vector<const Track *> &tracks)
{
    QList<Track> list;
    list.reserve(qsizetype(tracks.size()));
    for (const Track *track : tracks)
        list.append(*track);
    return list;
}

// Makes a folder that receives copies, once per run, and clears it of the temporaries a killed
// run left there: nothing else would ever remove them. Two spellings of one folder (a case-blind
// volume, another normalisation) are swept once: a sweep under another name would take the
// temporary of a copy under way there.
class FolderPreparation
{
public:
    void prepare(const QString &folder)
    {
        if (m_names.contains(folder))
            return;
        FileSystem::createFolder(folder);
        const std::optional<FileSystem::FileIdentity> identity = FileSystem::identity(folder);
        if (identity && m_folders.insert({identity->device, identity->inode}).second)
            FileSystem::removeTemporaries(folder);
        m_names.insert(folder);
    }

private:
    QSet<QString> m_names;
    std::set<std::pair<quint64, quint64>> m_folders;
};

// Each new file costs a network volume a dozen round trips or more (lookups, create, owner,
// mode, times, flush, rename); as many copies at once as requests hide most of them. Large
// files go fewer at a time (ConcurrentCopies::bytesAtOnce).
constexpr int copiesOverNetwork = Volume::requestsAtOnce;

// A job decoded from elsewhere may name a destination that no path of this machine reaches.
FileSystemError notLocalDestination(const QString &path, const SyncJob &job)
{
    return FileSystemError::failed(u"copy \"%1\""_s.arg(path), 0,
                                   u"the destination library folder \"%1\" is not on this computer"_s.arg(
                                       job.destinationLibraryPath.toDisplayString()));
}

} // namespace

QFuture<SyncPlan> SyncEngine::createPlan(MusicLibrary source, MusicLibrary destination, MediaFolders mediaFolders)
{
    return m_executor.run([source = std::move(source), destination = std::move(destination),
                           mediaFolders = std::move(mediaFolders)] {
        return makePlan(source, destination, mediaFolders);
    });
}

QFuture<SyncPlan> SyncEngine::performSync(SyncPlan plan, Progress progress, RunControl control)
{
    return m_executor.run(
        [plan = std::move(plan), progress = std::move(progress), control = std::move(control)]() mutable {
            runSync(plan, progress, control);
            return plan;
        });
}

std::optional<double> TransferProgress::bytesPerSecond() const
{
    // The first half second says more about the disk's caches than about the transfer.
    if (elapsedMs < 500 || bytesDone <= 0)
        return std::nullopt;
    return double(bytesDone) * 1000.0 / double(elapsedMs);
}

std::optional<qint64> TransferProgress::secondsLeft() const
{
    const std::optional<double> speed = bytesPerSecond();
    if (!speed)
        return std::nullopt;
    return qint64(double(std::max<qint64>(bytesTotal - bytesDone, 0)) / *speed + 0.5);
}

SyncPlan SyncEngine::makePlan(const MusicLibrary &source, const MusicLibrary &destination,
                              const MediaFolders &mediaFolders)
{
    const auto check = [](const MusicLibrary &library, const std::optional<QString> &folder, const QString &side) {
        if (!folder)
            return;
        if (!library.musicFolderURL) {
            throw SyncError(u"The %1 library file records no media folder, so its media cannot be looked for in "
                            "\"%2\"."_s.arg(side, *folder));
        }
        if (!FileSystem::isFolder(*folder, true))
            throw SyncError(u"The %1 media folder \"%2\" is not a folder on this computer."_s.arg(side, *folder));
    };
    check(source, mediaFolders.source, u"source"_s);
    check(destination, mediaFolders.destination, u"destination"_s);
    // A library file chosen through a link lies where the link leads, and so do its folder and
    // the media beside it.
    const auto whereItIs = [](const MusicLibrary &library) {
        MusicLibrary resolved = library;
        const std::optional<QString> path = localFilePath(library.xmlURL);
        if (const std::optional<QString> real = path ? FileSystem::canonicalPath(*path) : std::nullopt)
            resolved.xmlURL = QUrl::fromLocalFile(*real);
        return resolved;
    };
    const MusicLibrary realSource = whereItIs(source);
    const MusicLibrary realDestination = whereItIs(destination);
    SyncPlan plan = planJob(makeJob(realSource, realDestination),
                            LocationResolver::forLibrary(realSource, mediaFolders.source),
                            LocationResolver::forLibrary(realDestination, mediaFolders.destination), realSource,
                            realDestination);

    // The wrong file picked as the source reads as a library without tracks, and would empty
    // the destination.
    const qsizetype removing = plan.job.tracksToRemove.size();
    plan.destinationTrackCount = destination.tracks.size();
    plan.removalNeedsConsent =
        removing > 0 && (source.tracks.isEmpty() || (removing > 10 && removing * 2 > plan.destinationTrackCount));
    return plan;
}

SyncPlan SyncEngine::planJob(SyncJob job, LocationResolver sourceResolver, LocationResolver destinationResolver,
                             const MusicLibrary &source, const MusicLibrary &destination)
{
    SyncPlan plan{.job = std::move(job), .source = std::move(sourceResolver),
                  .destination = std::move(destinationResolver)};
    internal::PlanBuilder(plan, source, destination).build();
    const std::optional<QString> &destinationFolder = plan.destination.libraryFolder();
    const std::optional<QString> &sourceFolder = plan.source.libraryFolder();
    if (plan.job.syncArtwork && sourceFolder) {
        const QString artwork = Placement::appendedPath(*sourceFolder, artworkFolderName);
        if (FileSystem::itemExists(artwork)) {
            if (!destinationFolder)
                throw notLocalDestination(artwork, plan.job);
            plan.artworkFolder = Placement::appendedPath(*destinationFolder, artworkFolderName);
            plan.artwork = planArtwork(artwork, *plan.artworkFolder);
            for (const SyncPlan::ArtworkCopy &copy : std::as_const(plan.artwork))
                plan.bytesToCopy += copy.size;
        }
    }
    if ((plan.filesToCopy > 0 || !plan.artwork.isEmpty()) && destinationFolder)
        plan.availableSpace = FileSystem::availableSpace(*destinationFolder);
    if (plan.filesToRemove > 0)
        plan.trashAvailable = destinationFolder && FileSystem::hasTrash(*destinationFolder);
    return plan;
}

SyncJob SyncEngine::makeJob(const MusicLibrary &source, const MusicLibrary &destination)
{
    SyncJob job;
    job.sourceLibraryPath = LocationResolver::libraryFolderURL(source.xmlURL);
    job.destinationLibraryPath = LocationResolver::libraryFolderURL(destination.xmlURL);
    job.id = QUuid::createUuid();
    job.createdAt = QDateTime::currentDateTimeUtc();
    job.completedAt.reset();
    job.syncArtwork = true;
    job.status = SyncJob::SyncStatus::pending;
    job.completedItemCount = 0;

    // One walk of the source, one lookup per source track, finds the adds and the updates; the
    // destination tracks it did not meet are the removals.
    std::vector<const Track *> added;
    std::vector<const Track *> updated;
    std::vector<const Track *> matched;
    compareTracks(source.tracks, destination.tracks, added, &updated, &matched);
    const std::vector<const Track *> removed = unmatchedTracks(destination.tracks, matched);

    job.tracksToAdd = toList(added);
    job.tracksToRemove = toList(removed);
    // The libraries' tables iterate in an order that changes from process to process; two plans
    // of the same pair list the updates alike.
    std::sort(updated.begin(), updated.end(),
              [](const Track *a, const Track *b) { return a->persistentID < b->persistentID; });
    job.tracksToUpdate = toList(updated);
    job.playlistsToSync = findPlaylistsToSync(source, destination);
    job.totalItemCount = job.tracksToAdd.size() + job.tracksToRemove.size()
        + job.tracksToUpdate.size() + job.playlistsToSync.size();
    return job;
}

QList<Track> SyncEngine::findTracksToAdd(const MusicLibrary &source, const MusicLibrary &destination)
{
    std::vector<const Track *> added;
    compareTracks(source.tracks, destination.tracks, added, nullptr);
    return toList(added);
}

QList<Track> SyncEngine::findTracksToRemove(const MusicLibrary &source, const MusicLibrary &destination)
{
    std::vector<const Track *> removed;
    compareTracks(destination.tracks, source.tracks, removed, nullptr);
    return toList(removed);
}

QList<Track> SyncEngine::findTracksToUpdate(const MusicLibrary &source, const MusicLibrary &destination)
{
    std::vector<const Track *> added;
    std::vector<const Track *> updated;
    compareTracks(source.tracks, destination.tracks, added, &updated);
    return toList(updated);
}

QList<Playlist> SyncEngine::findPlaylistsToSync(const MusicLibrary &source, const MusicLibrary &destination)
{
    // The first destination playlist with an ID is the one compared; indexing those first
    // occurrences keeps the plan linear where a scan per source playlist would let a file
    // with many playlists stall it for minutes.
    QHash<QString, const Playlist *> firstByID;
    firstByID.reserve(destination.playlists.size());
    for (const Playlist &playlist : destination.playlists) {
        if (!firstByID.contains(playlist.persistentID))
            firstByID.insert(playlist.persistentID, &playlist);
    }

    QList<Playlist> result;
    for (const Playlist &playlist : source.playlists) {
        const Playlist *match = firstByID.value(playlist.persistentID);
        if (!match || match->trackIDs != playlist.trackIDs)
            result.append(playlist);
    }
    return result;
}

namespace {

// Carries out a plan, one stage after the other, counting and reporting as it goes.
class Run
{
public:
    Run(SyncPlan &plan, const SyncEngine::Progress &progress, const RunControl &control)
        : m_plan(plan)
        , m_job(plan.job)
        , m_progress(progress)
        , m_control(control)
        , m_copies(control.copiesAtOnce.value_or(SyncEngine::copiesAtOnce(plan)))
    {
        m_clock.start();
    }

    // Thrown between two files once the caller asked the run to stop.
    struct Cancelled
    {
    };

    void copyTracks()
    {
        // Files the plan found nowhere are skipped like tracks without a file; one that vanished
        // since then fails its copy.
        const auto copyAt = [this](qsizetype i) -> const SyncPlan::Copy * {
            const SyncPlan::Copy &copy = m_plan.copies.at(i);
            return copy.kind == SyncPlan::Copy::Kind::copy ? &copy : nullptr;
        };
        copyInOrder(m_plan.copies.size(), copyAt, [this](qsizetype i) {
            const SyncPlan::Copy &copy = m_plan.copies.at(i);
            const bool copied = copy.kind == SyncPlan::Copy::Kind::copy;
            if (copied) {
                ++m_plan.outcome.copied;
                m_plan.outcome.bytesCopied += copy.size;
            }
            ++m_job.completedItemCount;
            if (copied)
                report();
        });
    }

    void removeTracks()
    {
        std::vector<QString> emptiedFolders;
        for (const SyncPlan::Removal &removal : std::as_const(m_plan.removals)) {
            // No folder is ever removed, and a file already gone is done.
            const bool removable = removal.kind == SyncPlan::Removal::Kind::remove
                && FileSystem::itemExists(removal.path)
                && !FileSystem::resourceValues(removal.path).isDirectory.value_or(true);
            if (removable) {
                stopIfAsked();
                // What goes to the Trash can be brought back; only with the user's consent is a
                // file deleted for good.
                if (m_plan.trashAvailable) {
                    FileSystem::trashItem(removal.path);
                    ++m_plan.outcome.trashed;
                } else {
                    FileSystem::removeItem(removal.path);
                    ++m_plan.outcome.deleted;
                }
                emptiedFolders.push_back(Placement::parentPath(removal.path));
            }
            ++m_job.completedItemCount;
            if (removable)
                report();
        }
        SyncEngine::removeEmptiedFolders(emptiedFolders, m_plan.destination.libraryFolder().value_or(QString()));
    }

    // Updates and playlists are listed, never written: each counts as done, so a finished run
    // reads 100 %.
    void countUnwritten()
    {
        for (qsizetype i = 0; i < m_job.tracksToUpdate.size() + m_job.playlistsToSync.size(); ++i) {
            ++m_job.completedItemCount;
            report();
        }
    }

    void mirrorArtwork()
    {
        if (!m_job.syncArtwork || !m_plan.artworkFolder)
            return;
        FileSystem::createFolder(*m_plan.artworkFolder);
        copyInOrder(
            m_plan.artwork.size(), [this](qsizetype i) { return &m_plan.artwork.at(i); },
            [this](qsizetype) { ++m_plan.outcome.artworkCopied; });
    }

    void finishTransfer()
    {
        if (m_control.transfer)
            m_control.transfer(transfer({}));
    }

    void report()
    {
        if (m_progress)
            m_progress(m_job);
    }

    void stopIfAsked() const
    {
        if (stopAsked())
            throw Cancelled{};
    }

private:
    // One entry of a list that copyInOrder goes through, from its start to where it is done.
    struct Entry
    {
        qint64 size = 0;
        bool ended = false;
        std::exception_ptr error{};
    };

    [[nodiscard]] bool stopAsked() const { return m_control.cancellation && m_control.cancellation->load(); }

    // Goes through the `count` entries of a list, copying those `copyAt` gives a copy for, as many
    // at once as the run may. `done` counts each entry, in list order, once it and every one
    // before it are done: what is counted is always a beginning of the list, as a run that
    // copies one at a time leaves it. Returns once no copy is under way; throws the error of the
    // first entry in list order that failed, or Cancelled when asked to stop.
    template <typename CopyAt, typename Done>
    void copyInOrder(qsizetype count, const CopyAt &copyAt, const Done &done)
    {
        // The entries from the first not yet counted to the last started.
        std::deque<Entry> window;
        qsizetype first = 0;
        qsizetype next = 0;
        bool stopping = false;
        bool cancelled = false;
        const auto countDone = [&] {
            while (!window.empty() && window.front().ended && !window.front().error) {
                window.pop_front();
                done(first++);
            }
        };
        for (;;) {
            countDone();
            while (!stopping && next < count) {
                const auto *copy = copyAt(next);
                if (copy && !m_copies.hasRoomFor(copy->size))
                    break;
                Entry entry{.size = copy ? copy->size : 0, .ended = !copy};
                if (copy && stopAsked()) {
                    stopping = cancelled = true;
                    break;
                }
                if (copy) {
                    try {
                        startCopy(next, *copy);
                    } catch (...) {
                        entry = {.size = 0, .ended = true, .error = std::current_exception()};
                        stopping = true;
                    }
                }
                window.push_back(std::move(entry));
                ++next;
                // Entries without a copy count as soon as those before them do, as when copying
                // one at a time.
                countDone();
            }
            if (m_copies.idle())
                break;
            // Every copy that ended is taken in before another starts, so that none starts
            // after a failure the run could have known of.
            for (const internal::ConcurrentCopies::Ended &ended : m_copies.waitForEnds()) {
                Entry &entry = window.at(size_t(ended.index - first));
                entry.ended = true;
                entry.error = ended.error;
                if (ended.error)
                    stopping = true;
                else
                    m_bytesDone += entry.size;
            }
        }
        for (const Entry &entry : window) {
            if (entry.error)
                std::rethrow_exception(entry.error);
        }
        if (cancelled)
            throw Cancelled{};
    }

    template <typename Copy>
    void startCopy(qsizetype index, const Copy &copy)
    {
        if (copy.target.isEmpty())
            throw notLocalDestination(copy.source, m_job);
        if (m_control.transfer)
            m_control.transfer(transfer(copy.source));
        m_preparation.prepare(Placement::parentPath(copy.target));
        m_copies.start(index, copy.source, copy.target, copy.size);
    }

    [[nodiscard]] TransferProgress transfer(const QString &currentFile) const
    {
        return TransferProgress{m_bytesDone, m_plan.bytesToCopy, currentFile, m_clock.elapsed()};
    }

    SyncPlan &m_plan;
    SyncJob &m_job;
    const SyncEngine::Progress &m_progress;
    const RunControl &m_control;
    QElapsedTimer m_clock;
    qint64 m_bytesDone = 0;
    FolderPreparation m_preparation;
    internal::ConcurrentCopies m_copies;
};

} // namespace

int SyncEngine::copiesAtOnce(const SyncPlan &plan)
{
    // Each folder is asked once; one remote volume settles it. Asking a local disk costs
    // microseconds, so only a run that stays local asks about every folder.
    QSet<QString> asked;
    const auto remote = [&asked](const QString &folder) {
        if (folder.isEmpty() || asked.contains(folder))
            return false;
        asked.insert(folder);
        return !Volume::isLocalDisk(folder);
    };
    if (remote(plan.destination.libraryFolder().value_or(QString())))
        return copiesOverNetwork;
    for (const SyncPlan::Copy &copy : plan.copies) {
        if (copy.kind == SyncPlan::Copy::Kind::copy
            && (remote(Placement::parentPath(copy.source)) || remote(Placement::parentPath(copy.target)))) {
            return copiesOverNetwork;
        }
    }
    for (const SyncPlan::ArtworkCopy &copy : plan.artwork) {
        if (remote(Placement::parentPath(copy.source)) || remote(Placement::parentPath(copy.target)))
            return copiesOverNetwork;
    }
    return 1;
}

void SyncEngine::runSync(SyncPlan &plan, const Progress &progress, const RunControl &control)
{
    if (const std::optional<QString> refusal = plan.refusal())
        throw SyncError(*refusal);
    // Two runs into one folder would take each other's places and temporaries.
    std::unique_ptr<FileSystem::FileLock> lock;
    const std::optional<QString> &folder = plan.destination.libraryFolder();
    if (folder && FileSystem::isFolder(*folder, true)) {
        lock = FileSystem::FileLock::tryAcquire(Placement::appendedPath(*folder, u".quaverly.lock"));
        if (!lock) {
            throw SyncError(u"Another sync is using the library folder \"%1\". Wait for it to finish, then try again."_s
                                .arg(*folder));
        }
    }
    SyncJob &job = plan.job;
    job.status = SyncJob::SyncStatus::transferring;
    Run run(plan, progress, control);
    try {
        run.copyTracks();
        run.removeTracks();
        run.stopIfAsked();
        run.countUnwritten();
        run.mirrorArtwork();
        run.finishTransfer();
    } catch (const Run::Cancelled &) {
        run.finishTransfer();
        job.status = SyncJob::SyncStatus::cancelled;
        run.report();
        return;
    }
    job.status = SyncJob::SyncStatus::completed;
    job.completedAt = QDateTime::currentDateTimeUtc();
    run.report();
}

void SyncEngine::removeEmptiedFolders(std::vector<QString> folders, const QString &destinationFolder)
{
    // Deepest first, so that a folder whose only content was an emptied folder goes too. Each held
    // a removed file, so none was empty before the run; one that holds anything now stays.
    std::sort(folders.begin(), folders.end(),
              [](const QString &a, const QString &b) { return a.size() != b.size() ? a.size() > b.size() : a < b; });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (QString folder : folders) {
        while (Placement::isInside(folder, destinationFolder) && FileSystem::removeEmptyFolder(folder))
            folder = Placement::parentPath(folder);
    }
}

QList<SyncPlan::ArtworkCopy> SyncEngine::planArtwork(const QString &sourceFolder, const QString &targetFolder)
{
    const QString source = Placement::normalisedPath(sourceFolder);
    const QString target = Placement::normalisedPath(targetFolder);
    // A folder or file that cannot be read fails the plan: a mirror that silently lacks files
    // would pass for a complete one.
    QList<SyncPlan::ArtworkCopy> files;
    FileSystem::DeepWalk walk(source);
    while (const std::optional<FileSystem::DeepWalk::Item> item = walk.next()) {
        if (item->values.isDirectory.value_or(false))
            continue;
        // A target folder inside the source would otherwise feed the mirror its own copies.
        const QString path = Placement::normalisedPath(item->path);
        if (!Placement::isInside(path, source) || Placement::isInside(path, target))
            continue;
        files.append(SyncPlan::ArtworkCopy{path, Placement::targetPath(path, source, target), 0});
    }

    // Each file costs a few questions on either side; an unchanged mirror still asks them all.
    struct Verdict
    {
        bool copy = false;
        std::exception_ptr error{};
    };
    std::vector<Verdict> verdicts(size_t(files.size()));
    SyncPlan::ArtworkCopy *const asked = files.data();
    internal::askAtOnce(files.size(), [&](qsizetype i) {
        SyncPlan::ArtworkCopy &file = asked[i];
        try {
            // A folder in the way is never replaced, and the copy says so, whatever the dates. A
            // file that is not copied because its mirror is as new must still be readable:
            // otherwise the mirror only looks complete.
            if (!FileSystem::isFolder(file.target, false) && !needsCopy(file.source, file.target)) {
                FileSystem::checkReadable(file.source);
                return;
            }
            file.size = FileSystem::fileStatus(file.source).value_or(FileSystem::FileStatus{}).size;
            verdicts[size_t(i)].copy = true;
        } catch (...) {
            verdicts[size_t(i)].error = std::current_exception();
        }
    });
    QList<SyncPlan::ArtworkCopy> copies;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (verdicts[size_t(i)].error)
            std::rethrow_exception(verdicts[size_t(i)].error);
        if (verdicts[size_t(i)].copy)
            copies.append(std::move(files[i]));
    }
    return copies;
}

bool SyncEngine::needsCopy(const QString &source, const QString &target)
{
    if (!FileSystem::itemExists(target))
        return true;
    // A linked source file is as new as the file it leads to; the target is always our own copy.
    const auto modificationDate = [](const QString &path, bool followLinks) -> std::optional<QDateTime> {
        try {
            return FileSystem::resourceValues(path, followLinks).contentModificationDate;
        } catch (const FileSystemError &) {
            return std::nullopt;
        }
    };
    const std::optional<QDateTime> sourceDate = modificationDate(source, true);
    const std::optional<QDateTime> targetDate = modificationDate(target, false);
    if (!sourceDate || !targetDate || !sourceDate->isValid() || !targetDate->isValid())
        return true;
    return *sourceDate > *targetDate;
}

} // namespace quaverly
