#pragma once

#include "model/Playlist.h"
#include "model/Track.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace quaverly {

/// The changeset between a source and a destination library and, once run, the account
/// of that run. A plain value; its lists are implicitly shared, so a copy (every progress
/// snapshot is one) costs a few reference counts, not O(tracks).
struct SyncJob
{
    enum class SyncStatus { pending, scanning, transferring, completed, failed, cancelled };

    QUuid id{};
    QDateTime createdAt{};
    /// The folder that holds the source library file.
    QUrl sourceLibraryPath{};
    /// The folder that holds the destination library file.
    QUrl destinationLibraryPath{};
    QList<Track> tracksToAdd{};
    QList<Track> tracksToRemove{};
    QList<Track> tracksToUpdate{};
    QList<Playlist> playlistsToSync{};
    bool syncArtwork = true;
    SyncStatus status = SyncStatus::pending;
    std::optional<QDateTime> completedAt{};
    qint64 completedItemCount = 0;
    qint64 totalItemCount = 0;

    /// True when at least one of the four lists is non-empty.
    [[nodiscard]] bool hasChanges() const noexcept;
    /// completedItemCount × 100 / totalItemCount in whole percent, truncated; a job with nothing
    /// to do is complete: 100. More done than planned reads above 100.
    [[nodiscard]] qint64 percentDone() const noexcept;

    /// The status for its raw text ("pending", "scanning", …), case-sensitive.
    [[nodiscard]] static std::optional<SyncStatus> statusFromRawValue(QStringView raw);
    [[nodiscard]] static QString rawValue(SyncStatus status);

    /// One key per field, in field order; "completedAt" only when present.
    [[nodiscard]] QJsonObject toJson() const;
    /// Throws DecodingError naming the key; unknown keys are ignored.
    [[nodiscard]] static SyncJob fromJson(const QJsonObject &object);
};

/// By case, so statuses can key a QHash or QSet.
[[nodiscard]] size_t qHash(SyncJob::SyncStatus status, size_t seed = 0) noexcept;

} // namespace quaverly
