#include "model/Track.h"

#include "model/Equivalence.h"
#include "model/JsonCoding.h"

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

auto fields(const Track &t)
{
    return std::tie(t.persistentID, t.title, t.artist, t.albumArtist, t.album, t.genre, t.year,
                    t.discNumber, t.trackNumber, t.duration, t.rating, t.playCount, t.skipCount,
                    t.loved, t.disliked, t.dateAdded, t.dateModified, t.lastPlayedDate, t.location,
                    t.fileSize, t.hasArtwork);
}

} // namespace

QJsonObject Track::toJson() const
{
    using JsonCoding::write;
    QJsonObject object;
    write(object, "persistentID"_L1, persistentID);
    write(object, "title"_L1, title);
    write(object, "artist"_L1, artist);
    write(object, "albumArtist"_L1, albumArtist);
    write(object, "album"_L1, album);
    write(object, "genre"_L1, genre);
    write(object, "year"_L1, year);
    write(object, "discNumber"_L1, discNumber);
    write(object, "trackNumber"_L1, trackNumber);
    write(object, "duration"_L1, duration);
    write(object, "rating"_L1, rating);
    write(object, "playCount"_L1, playCount);
    write(object, "skipCount"_L1, skipCount);
    write(object, "loved"_L1, loved);
    write(object, "disliked"_L1, disliked);
    write(object, "dateAdded"_L1, dateAdded);
    write(object, "dateModified"_L1, dateModified);
    write(object, "lastPlayedDate"_L1, lastPlayedDate);
    write(object, "location"_L1, location);
    write(object, "fileSize"_L1, fileSize);
    write(object, "hasArtwork"_L1, hasArtwork);
    return object;
}

Track Track::fromJson(const QJsonObject &object)
{
    using JsonCoding::read;
    using JsonCoding::readOptional;
    return Track{
        .persistentID = read<QString>(object, "persistentID"_L1),
        .title = read<QString>(object, "title"_L1),
        .artist = read<QString>(object, "artist"_L1),
        .albumArtist = read<QString>(object, "albumArtist"_L1),
        .album = read<QString>(object, "album"_L1),
        .genre = read<QString>(object, "genre"_L1),
        .year = readOptional<qint64>(object, "year"_L1),
        .discNumber = readOptional<qint64>(object, "discNumber"_L1),
        .trackNumber = readOptional<qint64>(object, "trackNumber"_L1),
        .duration = read<double>(object, "duration"_L1),
        .rating = read<qint64>(object, "rating"_L1),
        .playCount = read<qint64>(object, "playCount"_L1),
        .skipCount = read<qint64>(object, "skipCount"_L1),
        .loved = read<bool>(object, "loved"_L1),
        .disliked = read<bool>(object, "disliked"_L1),
        .dateAdded = readOptional<QDateTime>(object, "dateAdded"_L1),
        .dateModified = readOptional<QDateTime>(object, "dateModified"_L1),
        .lastPlayedDate = readOptional<QDateTime>(object, "lastPlayedDate"_L1),
        .location = readOptional<QUrl>(object, "location"_L1),
        .fileSize = readOptional<qint64>(object, "fileSize"_L1),
        .hasArtwork = read<bool>(object, "hasArtwork"_L1),
    };
}

bool operator==(const Track &a, const Track &b)
{
    return Equivalence::equalFields(fields(a), fields(b));
}

size_t qHash(const Track &track, size_t seed)
{
    return Equivalence::hashFields(fields(track), seed);
}

} // namespace quaverly
