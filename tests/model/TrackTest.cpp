#include "model/Track.h"

#include "model/DecodingError.h"

#include <QJsonDocument>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace Qt::StringLiterals;
using quaverly::DecodingError;
using quaverly::Track;

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int msec = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), Qt::UTC);
}

Track fullTrack()
{
    return Track{
        .persistentID = u"0123456789ABCDEF"_s,
        .title = u"Caf\u00E9"_s,
        .artist = u"Artist"_s,
        .albumArtist = u"Album Artist"_s,
        .album = u"Album"_s,
        .genre = u"Jazz"_s,
        .year = 1999,
        .discNumber = 2,
        .trackNumber = 11,
        .duration = 1.234,
        .rating = 80,
        .playCount = 5,
        .skipCount = 3,
        .loved = true,
        .disliked = true,
        .dateAdded = utc(2024, 1, 2, 3, 4, 5),
        .dateModified = utc(2024, 2, 3, 4, 5, 6, 789),
        .lastPlayedDate = utc(2024, 3, 4, 5, 6, 7),
        .location = QUrl(u"file:///Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s),
        .fileSize = 9876543210,
        .hasArtwork = true,
    };
}

// Through JSON text, so whatever QJsonDocument does to numbers is part of the trip.
Track throughText(const Track &track)
{
    const QByteArray text = QJsonDocument(track.toJson()).toJson(QJsonDocument::Compact);
    return Track::fromJson(QJsonDocument::fromJson(text).object());
}

DecodingError decodingError(const QJsonObject &object)
{
    try {
        (void)Track::fromJson(object);
    } catch (const DecodingError &error) {
        return error;
    }
    ADD_FAILURE() << "decoding succeeded";
    return DecodingError(DecodingError::Kind::keyNotFound, QString(), QString());
}

} // namespace

TEST(TrackTest, AnyFieldDifferenceMakesTracksUnequal)
{
    const std::pair<const char *, std::function<void(Track &)>> changes[] = {
        {"persistentID", [](Track &t) { t.persistentID = u"X"_s; }},
        {"title", [](Track &t) { t.title = u"Cafe"_s; }},
        {"artist", [](Track &t) { t.artist.clear(); }},
        {"albumArtist", [](Track &t) { t.albumArtist = u"album artist"_s; }},
        {"album", [](Track &t) { t.album += u' '; }},
        {"genre", [](Track &t) { t.genre = u"Rock"_s; }},
        {"year absent vs 1999", [](Track &t) { t.year.reset(); }},
        {"discNumber", [](Track &t) { t.discNumber = 1; }},
        {"trackNumber", [](Track &t) { t.trackNumber.reset(); }},
        {"duration", [](Track &t) { t.duration = 1.235; }},
        {"rating", [](Track &t) { t.rating = 100; }},
        {"playCount", [](Track &t) { t.playCount = 6; }},
        {"skipCount", [](Track &t) { t.skipCount = 0; }},
        {"loved", [](Track &t) { t.loved = false; }},
        {"disliked", [](Track &t) { t.disliked = false; }},
        {"dateAdded", [](Track &t) { t.dateAdded = t.dateAdded->addMSecs(1); }},
        {"dateModified", [](Track &t) { t.dateModified.reset(); }},
        {"lastPlayedDate", [](Track &t) { t.lastPlayedDate = t.dateAdded; }},
        {"location", [](Track &t) { t.location = QUrl(u"file:///Users/u/Music/other.m4a"_s); }},
        {"fileSize", [](Track &t) { t.fileSize = 0; }},
        {"hasArtwork", [](Track &t) { t.hasArtwork = false; }},
    };
    const Track base = fullTrack();
    ASSERT_EQ(base, fullTrack());
    ASSERT_EQ(qHash(base, 7), qHash(fullTrack(), 7));
    for (const auto &[name, change] : changes) {
        SCOPED_TRACE(name);
        Track changed = base;
        change(changed);
        EXPECT_NE(changed, base);
        EXPECT_NE(qHash(changed), qHash(base)) << "a collision here is possible but unlikely";
    }
    EXPECT_NE(Track{.year = 0}, Track{}) << "an absent year is not year 0";
}

TEST(TrackTest, EquivalentValuesAreEqualAndHashAlike)
{
    Track nfc = fullTrack();
    nfc.artist = u"\u00C5ngstr\u00F6m"_s;
    nfc.genre = u"K"_s;
    Track other = fullTrack();
    other.artist = u"A\u030Angstro\u0308m"_s; // decomposed
    other.genre = u"\u212A"_s;                // KELVIN SIGN, canonically "K"
    other.duration = 0.0;
    nfc.duration = -0.0;
    // The same instants, seen from another time zone.
    other.dateAdded = nfc.dateAdded->toTimeZone(QTimeZone("Asia/Kolkata"));
    ASSERT_NE(other.dateAdded->offsetFromUtc(), 0);
    other.location = QUrl(u"file:/Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s);

    ASSERT_NE(nfc.artist, other.artist) << "the code units must differ for this test";
    EXPECT_EQ(nfc, other);
    EXPECT_EQ(qHash(nfc, 3), qHash(other, 3));

    Track nan = fullTrack();
    nan.duration = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(nan, nan) << "equality stays reflexive";
    EXPECT_NE(nan, fullTrack());
}

TEST(TrackTest, SerialisedFormHasOneKeyPerPresentField)
{
    const QJsonObject full = fullTrack().toJson();
    EXPECT_EQ(full.size(), 21);
    EXPECT_EQ(full.value("dateAdded"_L1).toString(), u"2024-01-02T03:04:05Z"_s);
    EXPECT_EQ(full.value("dateModified"_L1).toString(), u"2024-02-03T04:05:06.789Z"_s);
    EXPECT_EQ(full.value("location"_L1).toString(),
              u"file:///Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s);
    EXPECT_EQ(full.value("fileSize"_L1).toInteger(), 9876543210);

    const QJsonObject minimal = Track{.persistentID = u"A"_s}.toJson();
    EXPECT_EQ(minimal.size(), 13) << "optionals are written only when present";
    EXPECT_FALSE(minimal.contains("year"_L1));
    EXPECT_TRUE(minimal.contains("duration"_L1));
}

TEST(TrackTest, RoundTripsThroughJsonText)
{
    Track extreme = fullTrack();
    extreme.fileSize = std::numeric_limits<qint64>::max();
    extreme.playCount = std::numeric_limits<qint64>::min();
    extreme.rating = (qint64(1) << 53) + 1; // not representable as a double
    extreme.duration = 0.1 + 0.2;
    extreme.dateAdded = utc(1, 1, 1, 0, 0, 0);
    extreme.location = QUrl(u"http://user@xn--caf-dma.example:8080/a%2Fb?q=%C3%A9&x#frag"_s);
    const Track tracks[] = {fullTrack(), Track{.persistentID = u"A"_s}, extreme};
    for (const Track &track : tracks) {
        SCOPED_TRACE(track.persistentID.toStdString());
        const Track back = throughText(track);
        EXPECT_EQ(back, track);
        EXPECT_EQ(back.fileSize, track.fileSize);
        EXPECT_EQ(back.rating, track.rating);
    }
}

TEST(TrackTest, DecodingFailuresNameTheKey)
{
    struct Case
    {
        const char *key;
        QJsonValue value; // undefined removes the key
        DecodingError::Kind kind;
        QString description;
    };
    using Kind = DecodingError::Kind;
    const Case cases[] = {
        {"title", QJsonValue::Undefined, Kind::keyNotFound, u"The value for the key \"title\" is missing."_s},
        {"year", u"1999"_s, Kind::typeMismatch, u"The value for the key \"year\" is not a whole number."_s},
        {"year", 3.5, Kind::typeMismatch, u"The value for the key \"year\" is not a whole number."_s},
        {"year", QJsonValue::Null, Kind::typeMismatch, u"The value for the key \"year\" is not a whole number."_s},
        {"fileSize", 1e300, Kind::dataCorrupted, u"The value for the key \"fileSize\" is not valid: 1e+300 is outside the 64-bit integer range."_s},
        {"duration", true, Kind::typeMismatch, u"The value for the key \"duration\" is not a number."_s},
        {"loved", 1, Kind::typeMismatch, u"The value for the key \"loved\" is not true or false."_s},
        {"artist", 5, Kind::typeMismatch, u"The value for the key \"artist\" is not a text."_s},
        {"dateAdded", u"2024-02-30T00:00:00Z"_s, Kind::dataCorrupted, u"The value for the key \"dateAdded\" is not valid: \"2024-02-30T00:00:00Z\" is not an ISO 8601 UTC date."_s},
        {"location", u"http://[::1"_s, Kind::dataCorrupted, u"The value for the key \"location\" is not valid: \"http://[::1\" is not a URL."_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description.toStdString());
        QJsonObject object = fullTrack().toJson();
        if (c.value.isUndefined())
            object.remove(QLatin1StringView(c.key));
        else
            object.insert(QLatin1StringView(c.key), c.value);
        const DecodingError error = decodingError(object);
        EXPECT_EQ(error.kind(), c.kind);
        EXPECT_EQ(error.key(), QLatin1StringView(c.key));
        EXPECT_EQ(error.description(), c.description);
    }
}

TEST(TrackTest, DecodingAcceptsWholeNumbersWrittenAsReals)
{
    QJsonObject object = fullTrack().toJson();
    object.insert("year"_L1, 2001.0);
    object.insert("fileSize"_L1, 1e18);
    object.remove("trackNumber"_L1);
    const Track track = Track::fromJson(object);
    EXPECT_EQ(track.year, 2001);
    EXPECT_EQ(track.fileSize, 1'000'000'000'000'000'000);
    EXPECT_EQ(track.trackNumber, std::nullopt);
}
