#include "engine/SyncEngine.h"

#include "engine/Placement.h"
#include "platform/FileSystem.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

const QString artworkFolderName = u"Album Artwork"_s;

// The folder that holds the item at `url`. A trailing separator would otherwise make the item
// itself count as that folder; a query or fragment has no place in a folder's location.
QUrl containingFolder(const QUrl &url)
{
    return url.adjusted(QUrl::StripTrailingSlash)
        .adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash | QUrl::RemoveQuery
                  | QUrl::RemoveFragment);
}

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

// A library file is never media: whatever a library lists, a run neither writes nor deletes one.
bool isLibraryFile(const QString &path)
{
    return path.endsWith(u".xml"_s, Qt::CaseInsensitive) || path.endsWith(u".plist"_s, Qt::CaseInsensitive);
}

std::optional<QString> trackPath(const Track &track)
{
    std::optional<QString> path = track.location ? Placement::localPath(*track.location) : std::nullopt;
    return path && !isLibraryFile(*path) ? path : std::nullopt;
}

// Names here are bytes, so a location in one Unicode normalisation form does not open a file
// stored in the other; the other spelling, when it exists, is that file.
std::optional<QString> otherSpelling(const QString &path)
{
    for (const auto form : {QString::NormalizationForm_C, QString::NormalizationForm_D}) {
        QString other = path.normalized(form);
        if (other != path && FileSystem::itemExists(other))
            return other;
    }
    return std::nullopt;
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

QFuture<SyncJob> SyncEngine::createJob(MusicLibrary source, MusicLibrary destination)
{
    return m_executor.run([source = std::move(source), destination = std::move(destination)] {
        return makeJob(source, destination);
    });
}

QFuture<SyncJob> SyncEngine::performSync(SyncJob job, Progress progress)
{
    return m_executor.run([job = std::move(job), progress = std::move(progress)]() mutable {
        runSync(job, progress);
        return job;
    });
}

SyncJob SyncEngine::makeJob(const MusicLibrary &source, const MusicLibrary &destination)
{
    SyncJob job;
    job.sourceLibraryPath = containingFolder(source.xmlURL);
    job.destinationLibraryPath = containingFolder(destination.xmlURL);
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

void SyncEngine::runSync(SyncJob &job, const Progress &progress)
{
    job.status = SyncJob::SyncStatus::transferring;
    copyNewTracks(job, progress);
    removeOldTracks(job, progress);
    for (qsizetype i = 0; i < job.tracksToUpdate.size(); ++i) {
        ++job.completedItemCount;
        report(job, progress);
    }
    if (job.syncArtwork)
        syncArtwork(job);
    job.status = SyncJob::SyncStatus::completed;
    job.completedAt = QDateTime::currentDateTimeUtc();
    report(job, progress);
}

void SyncEngine::copyNewTracks(SyncJob &job, const Progress &progress)
{
    const QString sourceFolder = Placement::localPath(job.sourceLibraryPath).value_or(QString());
    const std::optional<QString> destinationFolder = Placement::localPath(job.destinationLibraryPath);
    QSet<QString> preparedFolders;
    const auto copy = [&](const QString &source) {
        const QString target = Placement::targetPath(source, sourceFolder, *destinationFolder);
        // Only the root has no file name, and a folder is no track to copy.
        if (target.isEmpty()) {
            throw FileSystemError(
                u"Couldn't copy \"%1\": %2."_s.arg(source, QString::fromLocal8Bit(std::strerror(EISDIR))), EISDIR);
        }
        prepareFolder(parentFolder(target), preparedFolders);
        FileSystem::replaceItem(source, target);
    };

    for (const Track &track : std::as_const(job.tracksToAdd)) {
        // A stream or a remote share is no media file of ours: like a track without a location.
        const std::optional<QString> source = trackPath(track);
        if (!source) {
            ++job.completedItemCount;
            continue;
        }
        if (!destinationFolder)
            throw notLocalDestination(*source, job);
        try {
            copy(*source);
        } catch (const FileSystemError &error) {
            // Only a missing source is looked for under its other spelling, which then also names
            // the target: two spellings of one location land on one file.
            const std::optional<QString> other = error.errorCode() == ENOENT && !FileSystem::itemExists(*source)
                ? otherSpelling(*source)
                : std::nullopt;
            if (!other)
                throw;
            copy(*other);
        }
        ++job.completedItemCount;
        report(job, progress);
    }
}

void SyncEngine::removeOldTracks(SyncJob &job, const Progress &progress)
{
    const std::optional<QString> destinationFolder = Placement::localPath(job.destinationLibraryPath);
    if (!destinationFolder) {
        job.completedItemCount += job.tracksToRemove.size();
        return;
    }

    // A track the source re-imported gets a new ID but keeps its place: the old entry's file is
    // then the one just copied for the new entry, and must stay.
    QSet<QString> copiedTargets;
    const QString sourceFolder = Placement::localPath(job.sourceLibraryPath).value_or(QString());
    for (const Track &track : std::as_const(job.tracksToAdd)) {
        if (const std::optional<QString> source = trackPath(track))
            copiedTargets.insert(spellingKey(Placement::targetPath(*source, sourceFolder, *destinationFolder)));
    }

    for (const Track &track : std::as_const(job.tracksToRemove)) {
        // Only a file inside the destination library folder may go: whatever the library file
        // says, nothing else of the user's is ever deleted, and no folder is.
        const std::optional<QString> path = trackPath(track);
        const bool removable = path && Placement::isInside(*path, *destinationFolder)
            && !copiedTargets.contains(spellingKey(*path)) && FileSystem::itemExists(*path)
            && !FileSystem::resourceValues(*path).isDirectory.value_or(true);
        if (removable)
            FileSystem::removeItem(*path);
        ++job.completedItemCount;
        if (removable)
            report(job, progress);
    }
}

void SyncEngine::syncArtwork(const SyncJob &job)
{
    const std::optional<QString> sourceFolder = Placement::localPath(job.sourceLibraryPath);
    if (!sourceFolder)
        return;
    const QString source = Placement::appendedPath(*sourceFolder, artworkFolderName);
    if (!FileSystem::itemExists(source))
        return;
    const std::optional<QString> destinationFolder = Placement::localPath(job.destinationLibraryPath);
    if (!destinationFolder)
        throw notLocalDestination(source, job);
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
