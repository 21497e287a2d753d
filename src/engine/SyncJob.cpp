#include "engine/SyncJob.h"

#include "model/Equivalence.h"
#include "model/JsonCoding.h"

using namespace Qt::StringLiterals;

namespace quaverly {

bool SyncJob::hasChanges() const noexcept
{
    return !tracksToAdd.isEmpty() || !tracksToRemove.isEmpty() || !tracksToUpdate.isEmpty()
        || !playlistsToSync.isEmpty();
}

qint64 SyncJob::percentDone() const noexcept
{
    // Integer arithmetic: floating point would read 29 of 100 as 28 %.
    return totalItemCount > 0 ? completedItemCount * 100 / totalItemCount : 100;
}

std::optional<SyncJob::SyncStatus> SyncJob::statusFromRawValue(QStringView raw)
{
    for (const SyncStatus status : {SyncStatus::pending, SyncStatus::scanning, SyncStatus::transferring,
                                    SyncStatus::completed, SyncStatus::failed, SyncStatus::cancelled}) {
        if (raw == rawValue(status))
            return status;
    }
    return std::nullopt;
}

QString SyncJob::rawValue(SyncStatus status)
{
    switch (status) {
    case SyncStatus::pending:
        return u"pending"_s;
    case SyncStatus::scanning:
        return u"scanning"_s;
    case SyncStatus::transferring:
        return u"transferring"_s;
    case SyncStatus::completed:
        return u"completed"_s;
    case SyncStatus::failed:
        return u"failed"_s;
    case SyncStatus::cancelled:
        return u"cancelled"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QJsonObject SyncJob::toJson() const
{
    using JsonCoding::write;
    QJsonObject object;
    write(object, "id"_L1, id);
    write(object, "createdAt"_L1, createdAt);
    write(object, "sourceLibraryPath"_L1, sourceLibraryPath);
    write(object, "destinationLibraryPath"_L1, destinationLibraryPath);
    write(object, "tracksToAdd"_L1, tracksToAdd);
    write(object, "tracksToRemove"_L1, tracksToRemove);
    write(object, "tracksToUpdate"_L1, tracksToUpdate);
    write(object, "playlistsToSync"_L1, playlistsToSync);
    write(object, "syncArtwork"_L1, syncArtwork);
    write(object, "status"_L1, rawValue(status));
    write(object, "completedAt"_L1, completedAt);
    write(object, "completedItemCount"_L1, completedItemCount);
    write(object, "totalItemCount"_L1, totalItemCount);
    return object;
}

SyncJob SyncJob::fromJson(const QJsonObject &object)
{
    using JsonCoding::read;
    return SyncJob{
        .id = read<QUuid>(object, "id"_L1),
        .createdAt = read<QDateTime>(object, "createdAt"_L1),
        .sourceLibraryPath = read<QUrl>(object, "sourceLibraryPath"_L1),
        .destinationLibraryPath = read<QUrl>(object, "destinationLibraryPath"_L1),
        .tracksToAdd = read<QList<Track>>(object, "tracksToAdd"_L1),
        .tracksToRemove = read<QList<Track>>(object, "tracksToRemove"_L1),
        .tracksToUpdate = read<QList<Track>>(object, "tracksToUpdate"_L1),
        .playlistsToSync = read<QList<Playlist>>(object, "playlistsToSync"_L1),
        .syncArtwork = read<bool>(object, "syncArtwork"_L1),
        .status = JsonCoding::readRawValue(object, "status"_L1, &statusFromRawValue, u"a sync status"),
        .completedAt = JsonCoding::readOptional<QDateTime>(object, "completedAt"_L1),
        .completedItemCount = read<qint64>(object, "completedItemCount"_L1),
        .totalItemCount = read<qint64>(object, "totalItemCount"_L1),
    };
}

size_t qHash(SyncJob::SyncStatus status, size_t seed) noexcept
{
    return Equivalence::hash(status, seed);
}

} // namespace quaverly
