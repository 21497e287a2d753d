#include "engine/internal/PlanBuilder.h"

#include "engine/Placement.h"
#include "engine/internal/FileQuestions.h"
#include "platform/LocalFile.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace quaverly::internal {

namespace {

using Kind = LocationResolver::Resolution::Kind;
using CopyKind = SyncPlan::Copy::Kind;
using RemovalKind = SyncPlan::Removal::Kind;

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

// One key for a file however either library spells its name.
QString spellingKey(const QString &path)
{
    return path.normalized(QString::NormalizationForm_C);
}

size_t nameHash(QStringView name)
{
    return qHash(name);
}

// The hash of the name of the file at a path in spelling-key form.
size_t nameHashOfKey(const QString &key)
{
    return nameHash(QStringView(key).mid(key.lastIndexOf(u'/') + 1));
}

// The hash of the name a location's file has, read from the URL without resolving it; nothing
// when that name may not be the last component of the path it resolves to (empty, "." or "..",
// or holding an encoded separator), so that such a location is always read.
std::optional<size_t> nameHashOf(const QUrl &location)
{
    const QString path = location.path(QUrl::PrettyDecoded);
    QStringView name = QStringView(path).mid(path.lastIndexOf(u'/') + 1);
    QString decoded;
    if (name.contains(u'%') || std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() >= 0x80; })) {
        decoded = QUrl::fromPercentEncoding(name.toUtf8()).normalized(QString::NormalizationForm_C);
        name = decoded;
    }
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/'))
        return std::nullopt;
    return nameHash(name);
}

// "x.m4a" becomes "x 2.m4a": the number goes before the extension, as file managers name copies.
QString numberedPath(const QString &path, int number)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype at = dot > slash + 1 ? dot : path.size();
    return path.left(at) + u' ' + QString::number(number) + path.mid(at);
}

} // namespace

PlanBuilder::PlanBuilder(SyncPlan &plan, const MusicLibrary &source, const MusicLibrary &destination)
    : m_plan(plan)
    , m_source(source)
    , m_destination(destination)
{
    for (const MusicLibrary *library : {&source, &destination}) {
        const std::optional<QString> path = localFilePath(library->xmlURL);
        if (const auto identity = path ? FileSystem::identity(*path) : std::nullopt)
            m_libraryFiles.push_back(*identity);
    }
    m_removedIDs.reserve(plan.job.tracksToRemove.size());
    for (const Track &track : std::as_const(plan.job.tracksToRemove))
        m_removedIDs.insert(track.persistentID);
}

void PlanBuilder::build()
{
    QList<Track> &tracks = m_plan.job.tracksToAdd;
    // Settled in a fixed order, so that a rerun gives every track the same place and lists the
    // operations alike.
    const auto byID = [](const Track &a, const Track &b) { return a.persistentID < b.persistentID; };
    std::sort(tracks.begin(), tracks.end(), byID);
    std::sort(m_plan.job.tracksToRemove.begin(), m_plan.job.tracksToRemove.end(), byID);

    // Where each file is and would land first: the names asked about tell which tracks of the
    // two libraries need their locations read at all.
    std::vector<LocationResolver::Resolution> places;
    places.reserve(size_t(tracks.size()));
    QList<QString> sources;
    sources.reserve(tracks.size());
    for (const Track &track : std::as_const(tracks)) {
        places.push_back(m_plan.source.resolve(track.location));
        sources.append(places.back().kind == Kind::file ? places.back().path : QString());
    }
    const std::vector<std::optional<FileSystem::FileStatus>> sourceStatuses = fileStatuses(sources);
    m_plan.copies.reserve(tracks.size());
    for (size_t i = 0; i < places.size(); ++i) {
        m_plan.copies.append(planCopy(std::move(places[i]), sourceStatuses[i]));
        if (!m_plan.copies.constLast().target.isEmpty())
            m_askedNames.insert(nameHashOfKey(spellingKey(m_plan.copies.constLast().target)));
    }
    m_plan.removals.reserve(m_plan.job.tracksToRemove.size());
    for (const Track &track : std::as_const(m_plan.job.tracksToRemove)) {
        m_plan.removals.append(planRemoval(track));
        if (m_plan.removals.constLast().kind == RemovalKind::remove)
            m_askedNames.insert(nameHashOfKey(spellingKey(m_plan.removals.constLast().path)));
    }

    // What lies where each copy would land first, and each file to remove.
    QList<QString> asked;
    asked.reserve(m_plan.copies.size() + m_plan.removals.size());
    for (const SyncPlan::Copy &copy : std::as_const(m_plan.copies))
        asked.append(copy.kind == CopyKind::copy ? copy.target : QString());
    for (const SyncPlan::Removal &removal : std::as_const(m_plan.removals))
        asked.append(removal.kind == RemovalKind::remove ? removal.path : QString());
    const std::vector<std::optional<FileSystem::FileStatus>> found = fileStatuses(asked);
    const auto identityAt = [&found](qsizetype i) { return found[size_t(i)] ? found[size_t(i)]->identity : std::nullopt; };

    for (qsizetype i = 0; i < m_plan.copies.size(); ++i) {
        SyncPlan::Copy &copy = m_plan.copies[i];
        if (copy.kind == CopyKind::copy && !copy.target.isEmpty()) {
            QString claimed = claimTarget(copy.target, copy.source, identityAt(i));
            if (claimed != copy.target) {
                copy.renamedFrom = std::exchange(copy.target, std::move(claimed));
                ++m_plan.renamedCopies;
            }
        }
        if (!copy.target.isEmpty())
            m_placedTargets.insert(spellingKey(copy.target));
    }
    for (qsizetype i = 0; i < m_plan.removals.size(); ++i)
        settle(m_plan.removals[i], identityAt(m_plan.copies.size() + i));
}

bool PlanBuilder::isLibraryFile(const std::optional<FileSystem::FileIdentity> &identity) const
{
    return identity && std::find(m_libraryFiles.cbegin(), m_libraryFiles.cend(), *identity) != m_libraryFiles.cend();
}

SyncPlan::Copy PlanBuilder::planCopy(LocationResolver::Resolution where, std::optional<FileSystem::FileStatus> status)
{
    if (where.kind != Kind::file) {
        const bool elsewhere = where.kind == Kind::notOnThisComputer;
        m_plan.notOnThisComputer += elsewhere ? 1 : 0;
        return SyncPlan::Copy{.kind = elsewhere ? CopyKind::notOnThisComputer : CopyKind::noFile};
    }
    QString path = std::move(where.path);
    QString placed = std::move(where.placedPath);
    if (!status) {
        // The other spelling also names the target: two spellings of one location land on one file.
        if (const std::optional<QString::NormalizationForm> form = otherSpelling(path)) {
            path = path.normalized(*form);
            placed = placed.normalized(*form);
            status = FileSystem::fileStatus(path);
        }
    }
    const std::optional<QString> &destinationFolder = m_plan.destination.libraryFolder();
    QString target =
        destinationFolder ? Placement::targetPath(placed, where.placedAgainst, *destinationFolder) : QString();
    const CopyKind kind = !status ? CopyKind::missing
        : isLibraryFile(status->identity) ? CopyKind::libraryFile
                                          : CopyKind::copy;
    if (kind == CopyKind::copy) {
        ++m_plan.filesToCopy;
        m_plan.bytesToCopy += status->size;
    } else if (kind == CopyKind::missing) {
        ++m_plan.filesMissing;
    }
    return SyncPlan::Copy{kind, std::move(path), std::move(target), status ? status->size : 0, {}};
}

SyncPlan::Removal PlanBuilder::planRemoval(const Track &track)
{
    LocationResolver::Resolution where = m_plan.destination.resolve(track.location);
    if (where.kind == Kind::noFile)
        return {};
    if (where.kind == Kind::notOnThisComputer) {
        ++m_plan.notOnThisComputer;
        return SyncPlan::Removal{.kind = RemovalKind::notOnThisComputer};
    }
    // Whatever the library file says, nothing of the user's outside it is ever deleted.
    const std::optional<QString> &destinationFolder = m_plan.destination.libraryFolder();
    if (!destinationFolder || !Placement::isInside(where.path, *destinationFolder)) {
        ++m_plan.keptOutsideDestination;
        return SyncPlan::Removal{RemovalKind::outsideDestination, std::move(where.path)};
    }
    return SyncPlan::Removal{RemovalKind::remove, std::move(where.path)};
}

// A file that a copy of this run lands on (the source re-imported the track under a new ID), or
// that a track still lists, is not the removed track's alone.
void PlanBuilder::settle(SyncPlan::Removal &removal, const std::optional<FileSystem::FileIdentity> &identity)
{
    if (removal.kind != RemovalKind::remove)
        return;
    const QString key = spellingKey(removal.path);
    if (m_placedTargets.contains(key))
        removal.kind = RemovalKind::placedAgain;
    else if (stayingTrackAt(key) || isSourceFile(key))
        removal.kind = RemovalKind::stillListed;
    else if (isLibraryFile(identity))
        removal.kind = RemovalKind::libraryFile;
    if (removal.kind == RemovalKind::placedAgain || removal.kind == RemovalKind::stillListed)
        ++m_plan.keptStillListed;
    else if (removal.kind == RemovalKind::remove)
        ++m_plan.filesToRemove;
}

QString PlanBuilder::claimTarget(const QString &target, const QString &source,
                                 const std::optional<FileSystem::FileIdentity> &identity)
{
    const QString sourceKey = spellingKey(source);
    for (int number = 1;; ++number) {
        const QString candidate = number == 1 ? target : numberedPath(target, number);
        const QString key = spellingKey(candidate);
        if (number == 2 && !m_allStayingFiles) {
            // A new name was asked about by nobody: every file of the tracks that stay may matter.
            m_stayingFiles = filesOf(m_destination.tracks, &m_removedIDs, m_plan.destination, nullptr);
            m_allStayingFiles = true;
        }
        if (const auto claimed = m_claimedTargets.constFind(key); claimed != m_claimedTargets.cend()) {
            // One file listed twice lands once.
            if (*claimed == sourceKey)
                return candidate;
            continue;
        }
        if (const std::optional<QString> staying = stayingTrackAt(key)) {
            // The track that stays there may have this very file as its source, listed again under
            // a new ID: then the copy is the same file, and there is nothing to keep apart.
            const LocationResolver::Resolution theirs = m_plan.source.resolve(m_source.tracks.value(*staying).location);
            if (theirs.kind != Kind::file || spellingKey(theirs.path) != sourceKey)
                continue;
        } else if (isLibraryFile(number == 1 ? identity : FileSystem::identity(candidate))) {
            continue;
        }
        m_claimedTargets.insert(key, sourceKey);
        return candidate;
    }
}

std::optional<QString> PlanBuilder::stayingTrackAt(const QString &key)
{
    if (!m_stayingFiles)
        m_stayingFiles = filesOf(m_destination.tracks, &m_removedIDs, m_plan.destination, &m_askedNames);
    const auto found = m_stayingFiles->constFind(key);
    return found == m_stayingFiles->cend() ? std::nullopt : std::optional(*found);
}

bool PlanBuilder::isSourceFile(const QString &key)
{
    if (!m_sourceFiles)
        m_sourceFiles = filesOf(m_source.tracks, nullptr, m_plan.source, &m_askedNames);
    return m_sourceFiles->contains(key);
}

PlanBuilder::TrackFiles PlanBuilder::filesOf(const QHash<QString, Track> &tracks, const QSet<QString> *skipped,
                                             const LocationResolver &resolver, const QSet<size_t> *names)
{
    TrackFiles files;
    for (const Track &track : tracks) {
        if (!track.location)
            continue;
        if (names) {
            const std::optional<size_t> name = nameHashOf(*track.location);
            if (name && !names->contains(*name))
                continue;
        }
        if (skipped && skipped->contains(track.persistentID))
            continue;
        const LocationResolver::Resolution where = resolver.resolve(track.location);
        if (where.kind == Kind::file)
            files.insert(spellingKey(where.path), track.persistentID);
    }
    return files;
}

} // namespace quaverly::internal
