#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace quaverly {

/// One entry of a library file's track table. A plain value: fields in their documented
/// order, which equality, hashing and the serialised form follow.
struct Track
{
    // Every field has an initialiser, so a designated initialiser may name only some of them.
    QString persistentID{};
    QString title{};
    QString artist{};
    QString albumArtist{};
    QString album{};
    QString genre{};
    std::optional<qint64> year{};
    std::optional<qint64> discNumber{};
    std::optional<qint64> trackNumber{};
    double duration = 0;
    qint64 rating = 0;
    qint64 playCount = 0;
    qint64 skipCount = 0;
    bool loved = false;
    bool disliked = false;
    std::optional<QDateTime> dateAdded{};
    std::optional<QDateTime> dateModified{};
    std::optional<QDateTime> lastPlayedDate{};
    std::optional<QUrl> location{};
    std::optional<qint64> fileSize{};
    bool hasArtwork = false;

    [[nodiscard]] const QString &id() const noexcept { return persistentID; }

    /// One key per field, in field order; optionals only when present.
    [[nodiscard]] QJsonObject toJson() const;
    /// Throws DecodingError (keyNotFound, typeMismatch, dataCorrupted) naming the key.
    [[nodiscard]] static Track fromJson(const QJsonObject &object);
};

/// Texts by Unicode canonical equivalence, duration as a number, dates as points in time,
/// URLs as URLs.
[[nodiscard]] bool operator==(const Track &a, const Track &b);
[[nodiscard]] size_t qHash(const Track &track, size_t seed = 0);

} // namespace quaverly
