#include "scanner/TrackExtraction.h"

using namespace Qt::StringLiterals;

namespace quaverly {

enum class TrackExtraction::Field : std::uint8_t {
    ignored,
    persistentID,
    trackID,
    title,
    artist,
    albumArtist,
    album,
    genre,
    year,
    discNumber,
    trackNumber,
    totalTime,
    rating,
    playCount,
    skipCount,
    loved,
    disliked,
    dateAdded,
    dateModified,
    playDateUTC,
    location,
    size,
    artworkCount,
};

namespace {

std::optional<QUrl> parseLocation(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    QUrl url(*text, QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return url;
}

} // namespace

TrackExtraction::TrackExtraction(const PropertyList &document)
{
    useDocument(document);
}

void TrackExtraction::useDocument(const PropertyList &document)
{
    m_fieldOfKey.assign(document.keyCount(), Field::ignored);
    using F = Field;
    static constexpr std::pair<QStringView, F> keys[] = {
        {u"Persistent ID", F::persistentID}, {u"Track ID", F::trackID},
        {u"Name", F::title}, {u"Artist", F::artist}, {u"Album Artist", F::albumArtist},
        {u"Album", F::album}, {u"Genre", F::genre}, {u"Year", F::year},
        {u"Disc Number", F::discNumber}, {u"Track Number", F::trackNumber},
        {u"Total Time", F::totalTime}, {u"Rating", F::rating}, {u"Play Count", F::playCount},
        {u"Skip Count", F::skipCount}, {u"Loved", F::loved}, {u"Disliked", F::disliked},
        {u"Date Added", F::dateAdded}, {u"Date Modified", F::dateModified},
        {u"Play Date UTC", F::playDateUTC}, {u"Location", F::location}, {u"Size", F::size},
        {u"Artwork Count", F::artworkCount},
    };
    for (const auto &[key, field] : keys) {
        if (const auto id = document.keyId(key))
            m_fieldOfKey[*id] = field;
    }
}

TrackExtraction::Result TrackExtraction::parseTracks(PropertyList::Value root) const
{
    Result result;
    const auto table = root.value(u"Tracks"_s);
    if (!table || !table->isDictionary())
        return result;
    result.tracks.reserve(qsizetype(table->size()));
    result.trackIDMap.reserve(qsizetype(table->size()));
    addTracks(*table, result);
    return result;
}

void TrackExtraction::addTracks(PropertyList::Value table, Result &result) const
{
    for (std::size_t i = 0; i < table.size(); ++i) {
        const PropertyList::Value entry = table.entryAt(i).value();
        if (!entry.isDictionary())
            continue;
        std::optional<qint64> trackID;
        std::optional<Track> track = readTrack(entry, &trackID);
        if (!track)
            continue;
        if (trackID)
            result.trackIDMap.insert(*trackID, track->persistentID);
        const QString key = track->persistentID;
        result.tracks.insert(key, std::move(*track));
    }
}

std::optional<Track> TrackExtraction::parseTrack(PropertyList::Value entry) const
{
    if (!entry.isDictionary())
        return std::nullopt;
    return readTrack(entry, nullptr);
}

// One pass over the entry's keys: each key is looked at once, whatever the entry holds.
std::optional<Track> TrackExtraction::readTrack(PropertyList::Value entry,
                                                std::optional<qint64> *trackID) const
{
    Track track;
    bool hasPersistentID = false;
    const auto text = [](const PropertyList::Value &value) {
        return value.toString().value_or(QString());
    };
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const PropertyList::Entry item = entry.entryAt(i);
        const PropertyList::Value value = item.value();
        switch (m_fieldOfKey[item.keyId()]) {
        case Field::ignored:
            break;
        case Field::persistentID:
            if (auto id = value.toString()) {
                track.persistentID = std::move(*id);
                hasPersistentID = true;
            }
            break;
        case Field::trackID:
            if (trackID)
                *trackID = value.toInteger();
            break;
        case Field::title:
            track.title = text(value);
            break;
        case Field::artist:
            track.artist = sharedText(value.toUtf8().value_or(QByteArrayView()));
            break;
        case Field::albumArtist:
            track.albumArtist = sharedText(value.toUtf8().value_or(QByteArrayView()));
            break;
        case Field::album:
            track.album = sharedText(value.toUtf8().value_or(QByteArrayView()));
            break;
        case Field::genre:
            track.genre = sharedText(value.toUtf8().value_or(QByteArrayView()));
            break;
        case Field::year:
            track.year = value.toInteger();
            break;
        case Field::discNumber:
            track.discNumber = value.toInteger();
            break;
        case Field::trackNumber:
            track.trackNumber = value.toInteger();
            break;
        case Field::totalTime:
            track.duration = double(value.toInteger().value_or(0)) / 1000.0;
            break;
        case Field::rating:
            track.rating = value.toInteger().value_or(0);
            break;
        case Field::playCount:
            track.playCount = value.toInteger().value_or(0);
            break;
        case Field::skipCount:
            track.skipCount = value.toInteger().value_or(0);
            break;
        case Field::loved:
            track.loved = value.toBoolean().value_or(false);
            break;
        case Field::disliked:
            track.disliked = value.toBoolean().value_or(false);
            break;
        case Field::dateAdded:
            track.dateAdded = value.toDate();
            break;
        case Field::dateModified:
            track.dateModified = value.toDate();
            break;
        case Field::playDateUTC:
            track.lastPlayedDate = value.toDate();
            break;
        case Field::location:
            track.location = parseLocation(value.toString());
            break;
        case Field::size:
            track.fileSize = value.toInteger();
            break;
        case Field::artworkCount:
            track.hasArtwork = value.toInteger().value_or(0) > 0;
            break;
        }
    }
    if (!hasPersistentID)
        return std::nullopt;
    return track;
}

QString TrackExtraction::sharedText(QByteArrayView utf8) const
{
    if (utf8.isEmpty())
        return QString();
    const QByteArray key = QByteArray::fromRawData(utf8.data(), utf8.size());
    if (const auto found = m_sharedTexts.constFind(key); found != m_sharedTexts.cend())
        return *found;
    const QString value = QString::fromUtf8(utf8);
    m_sharedTexts.insert(QByteArray(utf8.data(), utf8.size()), value);
    return value;
}

} // namespace quaverly
