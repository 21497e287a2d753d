#include "engine/internal/PlanBuilder.h"

#include "engine/Placement.h"
#include "platform/LocalFile.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace quaverly::internal {

namespace {

using Kind = LocationResolver::Resolution::Kind;

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
    if (plan.job.tracksToAdd.isEmpty() && plan.job.tracksToRemove.isEmpty())
        return;
    QSet<QString> removed;
    removed.reserve(plan.job.tracksToRemove.size());
    for (const Track &track : std::as_const(plan.job.tracksToRemove))
        removed.insert(track.persistentID);
    m_stayingFiles.reserve(destination.tracks.size() - removed.size());
    for (auto it = destination.tracks.cbegin(), end = destination.tracks.cend(); it != end; ++it) {
        if (removed.contains(it.key()))
            continue;
        const LocationResolver::Resolution where = plan.destination.resolve(it->location);
        if (where.kind == Kind::file)
            m_stayingFiles.insert(spellingKey(where.path), it.key());
    }
}

bool PlanBuilder::isLibraryFile(const std::optional<FileSystem::FileIdentity> &identity) const
{
    return identity && std::find(m_libraryFiles.cbegin(), m_libraryFiles.cend(), *identity) != m_libraryFiles.cend();
}

SyncPlan::Copy PlanBuilder::planCopy(const LocationResolver::Resolution &where) const
{
    QString path = where.path;
    QString placed = where.placedPath;
    std::optional<FileSystem::FileStatus> status = FileSystem::fileStatus(path);
    if (!status) {
        // The other spelling also names the target: two spellings of one location land on one file.
        if (const std::optional<QString::NormalizationForm> form = otherSpelling(path)) {
            path = path.normalized(*form);
            placed = placed.normalized(*form);
            status = FileSystem::fileStatus(path);
        }
    }
    const std::optional<QString> &destinationFolder = m_plan.destination.libraryFolder();
    const QString target =
        destinationFolder ? Placement::targetPath(placed, where.placedAgainst, *destinationFolder) : QString();
    using CopyKind = SyncPlan::Copy::Kind;
    const CopyKind kind = !status ? CopyKind::missing
        : isLibraryFile(status->identity) ? CopyKind::libraryFile
                                          : CopyKind::copy;
    return SyncPlan::Copy{kind, std::move(path), target, status ? status->size : 0, {}};
}

QString PlanBuilder::claimTarget(const QString &target, const QString &source)
{
    const QString sourceKey = spellingKey(source);
    for (int number = 1;; ++number) {
        const QString candidate = number == 1 ? target : numberedPath(target, number);
        const QString key = spellingKey(candidate);
        if (const auto claimed = m_claimedTargets.constFind(key); claimed != m_claimedTargets.cend()) {
            // One file listed twice lands once.
            if (*claimed == sourceKey)
                return candidate;
            continue;
        }
        if (const auto staying = m_stayingFiles.constFind(key); staying != m_stayingFiles.cend()) {
            // The track that stays there may have this very file as its source, listed again under
            // a new ID: then the copy is the same file, and there is nothing to keep apart.
            const LocationResolver::Resolution theirs = m_plan.source.resolve(m_source.tracks.value(*staying).location);
            if (theirs.kind != Kind::file || spellingKey(theirs.path) != sourceKey)
                continue;
        } else if (isLibraryFile(FileSystem::identity(candidate))) {
            continue;
        }
        m_claimedTargets.insert(key, sourceKey);
        return candidate;
    }
}

bool PlanBuilder::isSourceFile(const QString &key)
{
    if (!m_sourceFiles) {
        m_sourceFiles.emplace();
        m_sourceFiles->reserve(m_source.tracks.size());
        for (const Track &track : m_source.tracks) {
            const LocationResolver::Resolution where = m_plan.source.resolve(track.location);
            if (where.kind == Kind::file)
                m_sourceFiles->insert(spellingKey(where.path));
        }
    }
    return m_sourceFiles->contains(key);
}

void PlanBuilder::planCopies()
{
    using CopyKind = SyncPlan::Copy::Kind;
    QList<Track> &tracks = m_plan.job.tracksToAdd;
    // Settled in a fixed order, so that a rerun gives every track the same place.
    std::sort(tracks.begin(), tracks.end(),
              [](const Track &a, const Track &b) { return a.persistentID < b.persistentID; });
    m_plan.copies.reserve(tracks.size());
    for (const Track &track : std::as_const(tracks)) {
        const LocationResolver::Resolution where = m_plan.source.resolve(track.location);
        if (where.kind != Kind::file) {
            const bool elsewhere = where.kind == Kind::notOnThisComputer;
            m_plan.copies.append(SyncPlan::Copy{.kind = elsewhere ? CopyKind::notOnThisComputer : CopyKind::noFile});
            m_plan.notOnThisComputer += elsewhere ? 1 : 0;
            continue;
        }
        SyncPlan::Copy copy = planCopy(where);
        if (copy.kind == CopyKind::copy && !copy.target.isEmpty()) {
            QString claimed = claimTarget(copy.target, copy.source);
            if (claimed != copy.target) {
                copy.renamedFrom = std::exchange(copy.target, std::move(claimed));
                ++m_plan.renamedCopies;
            }
        }
        if (!copy.target.isEmpty())
            m_placedTargets.insert(spellingKey(copy.target));
        if (copy.kind == CopyKind::copy) {
            ++m_plan.filesToCopy;
            m_plan.bytesToCopy += copy.size;
        } else if (copy.kind == CopyKind::missing) {
            ++m_plan.filesMissing;
        }
        m_plan.copies.append(std::move(copy));
    }
}

void PlanBuilder::planRemovals()
{
    using Removal = SyncPlan::Removal;
    const std::optional<QString> &destinationFolder = m_plan.destination.libraryFolder();
    m_plan.removals.reserve(m_plan.job.tracksToRemove.size());
    for (const Track &track : std::as_const(m_plan.job.tracksToRemove)) {
        LocationResolver::Resolution where = m_plan.destination.resolve(track.location);
        if (where.kind == Kind::noFile) {
            m_plan.removals.append(Removal{});
            continue;
        }
        if (where.kind == Kind::notOnThisComputer) {
            m_plan.removals.append(Removal{.kind = Removal::Kind::notOnThisComputer});
            ++m_plan.notOnThisComputer;
            continue;
        }
        // Whatever the library file says, nothing of the user's outside it is ever deleted.
        if (!destinationFolder || !Placement::isInside(where.path, *destinationFolder)) {
            m_plan.removals.append(Removal{Removal::Kind::outsideDestination, std::move(where.path)});
            ++m_plan.keptOutsideDestination;
            continue;
        }
        // A file that a copy of this run lands on (the source re-imported the track under a new
        // ID), or that a track still lists, is not the removed track's alone.
        const QString key = spellingKey(where.path);
        Removal::Kind kind = Removal::Kind::remove;
        if (m_placedTargets.contains(key))
            kind = Removal::Kind::placedAgain;
        else if (m_stayingFiles.contains(key) || isSourceFile(key))
            kind = Removal::Kind::stillListed;
        else if (isLibraryFile(FileSystem::identity(where.path)))
            kind = Removal::Kind::libraryFile;
        if (kind == Removal::Kind::placedAgain || kind == Removal::Kind::stillListed)
            ++m_plan.keptStillListed;
        if (kind == Removal::Kind::remove)
            ++m_plan.filesToRemove;
        m_plan.removals.append(Removal{kind, std::move(where.path)});
    }
}

} // namespace quaverly::internal
