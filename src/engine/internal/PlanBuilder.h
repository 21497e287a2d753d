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

    void planCopies();
    void planRemovals();

private:
    [[nodiscard]] bool isLibraryFile(const std::optional<FileSystem::FileIdentity> &identity) const;
    [[nodiscard]] SyncPlan::Copy planCopy(const LocationResolver::Resolution &where) const;
    /// The first of `target`, "name 2.ext", "name 3.ext", … that no other file keeps; claims it.
    [[nodiscard]] QString claimTarget(const QString &target, const QString &source);
    [[nodiscard]] bool isSourceFile(const QString &key);

    SyncPlan &m_plan;
    const MusicLibrary &m_source;
    const MusicLibrary &m_destination;
    std::vector<FileSystem::FileIdentity> m_libraryFiles;
    /// The files of the destination tracks that stay, by spelling key, with their IDs.
    QHash<QString, QString> m_stayingFiles;
    /// Targets of this run by spelling key, with the spelling key of the file copied there.
    QHash<QString, QString> m_claimedTargets;
    /// Where the tracks to add land, found or not.
    QSet<QString> m_placedTargets;
    /// The files of every source track, by spelling key; made when a removal first asks.
    std::optional<QSet<QString>> m_sourceFiles;
};

} // namespace quaverly::internal
