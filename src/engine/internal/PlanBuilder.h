#pragma once

#include "engine/SyncPlan.h"
#include "model/MusicLibrary.h"
#include "platform/FileSystem.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace quaverly::internal {

/// Fills a plan's copies and removals from its job and resolvers, looking at each file once.
/// `source` and `destination` are the libraries the job was made from (empty ones when there
/// are none): the files of their tracks that stay are never removed or overwritten, and the two
/// library files themselves are never media.
class PlanBuilder
{
public:
    PlanBuilder(SyncPlan &plan, const MusicLibrary &source, const MusicLibrary &destination);

    /// Settles every copy (in persistent-ID order) and every removal.
    void build();

private:
    /// Paths by spelling key, with the ID of the track whose file each is.
    using TrackFiles = QHash<QString, QString>;

    [[nodiscard]] bool isLibraryFile(const std::optional<FileSystem::FileIdentity> &identity) const;
    /// The copy of the file at `where`, of status `status` (asked beforehand).
    [[nodiscard]] SyncPlan::Copy planCopy(LocationResolver::Resolution where,
                                          std::optional<FileSystem::FileStatus> status);
    [[nodiscard]] SyncPlan::Removal planRemoval(const Track &track);
    /// `identity` is that of the item at the removal's path.
    void settle(SyncPlan::Removal &removal, const std::optional<FileSystem::FileIdentity> &identity);
    /// The first of `target`, "name 2.ext", "name 3.ext", … that no other file keeps; claims it.
    /// `identity` is that of the item now at `target`.
    [[nodiscard]] QString claimTarget(const QString &target, const QString &source,
                                      const std::optional<FileSystem::FileIdentity> &identity);
    /// The destination track that stays and has the file with spelling key `key`.
    [[nodiscard]] std::optional<QString> stayingTrackAt(const QString &key);
    [[nodiscard]] bool isSourceFile(const QString &key);
    /// The files of those of `tracks` (read with `resolver`) whose names are among `names`; all of
    /// them without `names`.
    [[nodiscard]] static TrackFiles filesOf(const QHash<QString, Track> &tracks, const QSet<QString> *skipped,
                                            const LocationResolver &resolver, const QSet<size_t> *names);

    SyncPlan &m_plan;
    const MusicLibrary &m_source;
    const MusicLibrary &m_destination;
    std::vector<FileSystem::FileIdentity> m_libraryFiles;
    /// The IDs of the tracks to remove: the destination tracks that stay are the others.
    QSet<QString> m_removedIDs;
    /// Hashes of the names of the files this plan asks about (targets, files to remove): only
    /// tracks of those names need their locations read.
    QSet<size_t> m_askedNames;
    /// The files of the destination tracks that stay, those of asked names first, every one
    /// once a new name is made for a copy.
    std::optional<TrackFiles> m_stayingFiles;
    bool m_allStayingFiles = false;
    /// The files of the source tracks of asked names; made when a removal first asks.
    std::optional<TrackFiles> m_sourceFiles;
    /// Targets of this run by spelling key, with the spelling key of the file copied there.
    QHash<QString, QString> m_claimedTargets;
    /// Where the tracks to add land, found or not.
    QSet<QString> m_placedTargets;
};

} // namespace quaverly::internal
