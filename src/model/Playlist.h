#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace quaverly {

/// One entry of a library file's playlist list. A plain value: fields in their documented
/// order, which equality, hashing and the serialised form follow.
struct Playlist
{
    enum class PlaylistKind { standard, smart, folder, genius };

    QString persistentID{};
    QString name{};
    PlaylistKind kind = PlaylistKind::standard;
    /// Persistent IDs of the member tracks, in the playlist's order; repeats allowed.
    QList<QString> trackIDs{};
    std::optional<QString> parentID{};
    std::optional<QDateTime> dateModified{};

    [[nodiscard]] const QString &id() const noexcept { return persistentID; }

    /// The kind for its raw text ("standard", "smart", "folder", "genius"), case-sensitive.
    [[nodiscard]] static std::optional<PlaylistKind> kindFromRawValue(QStringView raw);
    [[nodiscard]] static QString rawValue(PlaylistKind kind);

    [[nodiscard]] QJsonObject toJson() const;
    /// Throws DecodingError (keyNotFound, typeMismatch, dataCorrupted) naming the key.
    [[nodiscard]] static Playlist fromJson(const QJsonObject &object);
};

[[nodiscard]] bool operator==(const Playlist &a, const Playlist &b);
[[nodiscard]] size_t qHash(const Playlist &playlist, size_t seed = 0);
/// By case, so kinds can key a QHash or QSet.
[[nodiscard]] size_t qHash(Playlist::PlaylistKind kind, size_t seed = 0) noexcept;

} // namespace quaverly
