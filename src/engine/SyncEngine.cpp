#include "engine/SyncEngine.h"

#include "engine/Placement.h"
#include "engine/SyncError.h"
#include "platform/FileSystem.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

const QString artworkFolderName = u"Album Artwork"_s;

QString parentFolder(const QString &path)
{
    const qsizetype separator = path.lastIndexOf(u'/');
    return separator <= 0 ? u"/"_s : path.left(separator);
}

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

void report(const SyncJob &job, const SyncEngine::Progress &progress)
{
    if (progress)
        progress(job);
}

// Names here are bytes, so a location in one Unicode normalisation form does not open a file
// stored in the other; the other spelling, when it exists, is that file.
std::optional<QString::NormalizationForm> otherSpelling(const QString &path)
{
    for (const auto form : {QString::NormalizationForm_C, QString::NormalizationForm_D}) {
        const QString other = path.normalized(form);
        if (other != path && FileSystem::itemExists(other))
            return form;
    }
    return std::nullopt;
}

// A file to add: the file found under the location (or its other spelling) and where it lands.
SyncPlan::Copy planCopy(const LocationResolver::Resolution &where, const std::optional<QString> &destinationFolder)
{
    QString path = where.path;
    QString placed = where.placedPath;
    std::optional<qint64> size = FileSystem::fileSize(path);
    if (!size) {
        // The other spelling also names the target: two spellings of one location land on one file.
        if (const std::optional<QString::NormalizationForm> form = otherSpelling(path)) {
            path = path.normalized(*form);
            placed = placed.normalized(*form);
            size = FileSystem::fileSize(path);
        }
    }
    const QString target =
        destinationFolder ? Placement::targetPath(placed, where.placedAgainst, *destinationFolder) : QString();
    return SyncPlan::Copy{size ? SyncPlan::Copy::Kind::copy : SyncPlan::Copy::Kind::missing, std::move(path),
                          target, size.value_or(0)};
}

// A removal must spare a just-copied target however either library spells it.
QString spellingKey(const QString &path)
{
    return path.normalized(QString::NormalizationForm_C);
}

// Makes a folder that receives copies, once per run, and clears it of the temporaries a killed
// run left there: nothing else would ever remove them.
void prepareFolder(const QString &folder, QSet<QString> &prepared)
{
    if (prepared.contains(folder))
        return;
    FileSystem::createFolder(folder);
    FileSystem::removeTemporaries(folder);
    prepared.insert(folder);
}

// A job decoded from elsewhere may name a destination that no path of this machine reaches.
FileSystemError notLocalDestination(const QString &path, const SyncJob &job)
{
    return FileSystemError(u"Couldn't copy \"%1\": the destination library folder \"%2\" is not on this computer."_s
                               .arg(path, job.destinationLibraryPath.toDisplayString()),
                           0);
}

} // namespace

QFuture<SyncPlan> SyncEngine::createPlan(MusicLibrary source, MusicLibrary destination, MediaFolders mediaFolders)
{
    return m_executor.run([source = std::move(source), destination = std::move(destination),
                           mediaFolders = std::move(mediaFolders)] {
        return makePlan(source, destination, mediaFolders);
    });
}

QFuture<SyncJob> SyncEngine::performSync(SyncPlan plan, Progress progress)
{
    return m_executor.run([plan = std::move(plan), progress = std::move(progress)]() mutable {
        runSync(plan, progress);
        return plan.job;
    });
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
    return planJob(makeJob(source, destination), LocationResolver::forLibrary(source, mediaFolders.source),
                   LocationResolver::forLibrary(destination, mediaFolders.destination));
}

SyncPlan SyncEngine::planJob(SyncJob job, LocationResolver source, LocationResolver destination)
{
    SyncPlan plan{.job = std::move(job), .source = std::move(source), .destination = std::move(destination)};
    const std::optional<QString> &destinationFolder = plan.destination.libraryFolder();
    using Kind = LocationResolver::Resolution::Kind;

    // Where tracks to add land, whichever Unicode form either library spells them in.
    QSet<QString> placedTargets;
    plan.copies.reserve(plan.job.tracksToAdd.size());
    for (const Track &track : std::as_const(plan.job.tracksToAdd)) {
        const LocationResolver::Resolution where = plan.source.resolve(track.location);
        if (where.kind == Kind::noFile) {
            plan.copies.append(SyncPlan::Copy{});
            continue;
        }
        if (where.kind == Kind::notOnThisComputer) {
            plan.copies.append(SyncPlan::Copy{.kind = SyncPlan::Copy::Kind::notOnThisComputer});
            ++plan.notOnThisComputer;
            continue;
        }
        SyncPlan::Copy copy = planCopy(where, destinationFolder);
        if (!copy.target.isEmpty())
            placedTargets.insert(spellingKey(copy.target));
        if (copy.kind == SyncPlan::Copy::Kind::copy) {
            ++plan.filesToCopy;
            plan.bytesToCopy += copy.size;
        } else {
            ++plan.filesMissing;
        }
        plan.copies.append(std::move(copy));
    }

    plan.removals.reserve(plan.job.tracksToRemove.size());
    for (const Track &track : std::as_const(plan.job.tracksToRemove)) {
        LocationResolver::Resolution where = plan.destination.resolve(track.location);
        using Removal = SyncPlan::Removal;
        if (where.kind == Kind::noFile) {
            plan.removals.append(Removal{});
        } else if (where.kind == Kind::notOnThisComputer) {
            plan.removals.append(Removal{.kind = Removal::Kind::notOnThisComputer});
            ++plan.notOnThisComputer;
        } else if (!destinationFolder || !Placement::isInside(where.path, *destinationFolder)) {
            // Whatever the library file says, nothing of the user's outside it is ever deleted.
            plan.removals.append(Removal{Removal::Kind::outsideDestination, std::move(where.path)});
            ++plan.keptOutsideDestination;
        } else if (placedTargets.contains(spellingKey(where.path))) {
            // The source re-imported the track under a new ID; its file is the new entry's.
            plan.removals.append(Removal{Removal::Kind::placedAgain, std::move(where.path)});
        } else {
            plan.removals.append(Removal{Removal::Kind::remove, std::move(where.path)});
        }
    }

    if (plan.filesToCopy > 0 && destinationFolder)
        plan.availableSpace = FileSystem::availableSpace(*destinationFolder);
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

void SyncEngine::runSync(SyncPlan &plan, const Progress &progress)
{
    if (const std::optional<QString> refusal = plan.refusal())
        throw SyncError(*refusal);
    SyncJob &job = plan.job;
    job.status = SyncJob::SyncStatus::transferring;
    copyNewTracks(plan, progress);
    removeOldTracks(plan, progress);
    for (qsizetype i = 0; i < job.tracksToUpdate.size(); ++i) {
        ++job.completedItemCount;
        report(job, progress);
    }
    if (job.syncArtwork)
        syncArtwork(plan);
    job.status = SyncJob::SyncStatus::completed;
    job.completedAt = QDateTime::currentDateTimeUtc();
    report(job, progress);
}

void SyncEngine::copyNewTracks(SyncPlan &plan, const Progress &progress)
{
    SyncJob &job = plan.job;
    QSet<QString> preparedFolders;
    for (const SyncPlan::Copy &copy : std::as_const(plan.copies)) {
        // Files the plan found nowhere are skipped like tracks without a file; one that vanished
        // since then fails the copy below.
        if (copy.kind != SyncPlan::Copy::Kind::copy) {
            ++job.completedItemCount;
            continue;
        }
        if (copy.target.isEmpty())
            throw notLocalDestination(copy.source, job);
        prepareFolder(parentFolder(copy.target), preparedFolders);
        FileSystem::replaceItem(copy.source, copy.target);
        ++job.completedItemCount;
        report(job, progress);
    }
}

void SyncEngine::removeOldTracks(SyncPlan &plan, const Progress &progress)
{
    SyncJob &job = plan.job;
    for (const SyncPlan::Removal &removal : std::as_const(plan.removals)) {
        // No folder is ever removed, and a file already gone is done.
        const bool removable = removal.kind == SyncPlan::Removal::Kind::remove && FileSystem::itemExists(removal.path)
            && !FileSystem::resourceValues(removal.path).isDirectory.value_or(true);
        if (removable)
            FileSystem::removeItem(removal.path);
        ++job.completedItemCount;
        if (removable)
            report(job, progress);
    }
}

void SyncEngine::syncArtwork(const SyncPlan &plan)
{
    const std::optional<QString> &sourceFolder = plan.source.libraryFolder();
    if (!sourceFolder)
        return;
    const QString source = Placement::appendedPath(*sourceFolder, artworkFolderName);
    if (!FileSystem::itemExists(source))
        return;
    const std::optional<QString> &destinationFolder = plan.destination.libraryFolder();
    if (!destinationFolder)
        throw notLocalDestination(source, plan.job);
    syncDirectory(source, Placement::appendedPath(*destinationFolder, artworkFolderName));
}

void SyncEngine::syncDirectory(const QString &sourceFolder, const QString &targetFolder)
{
    const QString source = Placement::normalisedPath(sourceFolder);
    const QString target = Placement::normalisedPath(targetFolder);
    FileSystem::createFolder(target);

    FileSystem::DeepWalk walk(source);
    if (!walk.isValid())
        return;
    QSet<QString> preparedFolders;
    while (const std::optional<FileSystem::DeepWalk::Item> item = walk.next()) {
        const bool isFolder = item->values.isDirectory
            ? *item->values.isDirectory
            : FileSystem::resourceValues(item->path).isDirectory.value_or(false);
        if (isFolder)
            continue;
        // A target folder inside the source would otherwise feed the walk its own copies.
        const QString path = Placement::normalisedPath(item->path);
        if (!Placement::isInside(path, source) || Placement::isInside(path, target))
            continue;
        const QString destination = Placement::targetPath(path, source, target);
        if (!needsCopy(path, destination))
            continue;
        prepareFolder(parentFolder(destination), preparedFolders);
        FileSystem::replaceItem(path, destination);
    }
}

bool SyncEngine::needsCopy(const QString &source, const QString &target)
{
    if (!FileSystem::itemExists(target))
        return true;
    const auto modificationDate = [](const QString &path) -> std::optional<QDateTime> {
        try {
            return FileSystem::resourceValues(path).contentModificationDate;
        } catch (const FileSystemError &) {
            return std::nullopt;
        }
    };
    const std::optional<QDateTime> sourceDate = modificationDate(source);
    const std::optional<QDateTime> targetDate = modificationDate(target);
    if (!sourceDate || !targetDate || !sourceDate->isValid() || !targetDate->isValid())
        return true;
    return *sourceDate > *targetDate;
}

} // namespace quaverly
