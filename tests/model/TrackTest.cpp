#include "model/Track.h"

#include "model/DecodingError.h"

#include <QJsonDocument>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <tuple>

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
    return Track{.persistentID = u"0123456789ABCDEF"_s, .title = u"Caf\u00E9"_s, .artist = u"Artist"_s,
                 .albumArtist = u"Album Artist"_s, .album = u"Album"_s, .genre = u"Jazz"_s, .year = 1999,
                 .discNumber = 2, .trackNumber = 11, .duration = 1.234, .rating = 80, .playCount = 5,
                 .skipCount = 3, .loved = true, .disliked = true, .dateAdded = utc(2024, 1, 2, 3, 4, 5),
                 .dateModified = utc(2024, 2, 3, 4, 5, 6, 789), .lastPlayedDate = utc(2024, 3, 4, 5, 6, 7),
                 .location = QUrl(u"file:///Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s),
                 .fileSize = 9876543210, .hasArtwork = true};
}

} // namespace

TEST(TrackTest, AnyFieldDifferenceMakesTracksUnequal)
{
    const std::pair<const char *, std::function<void(Track &)>> changes[] = {
        {"persistentID", [](Track &t) { t.persistentID = u"X"_s; }}, {"title", [](Track &t) { t.title = u"Cafe"_s; }},
        {"artist", [](Track &t) { t.artist.clear(); }}, {"album", [](Track &t) { t.album += u' '; }},
        {"albumArtist", [](Track &t) { t.albumArtist = u"album artist"_s; }},
        {"genre", [](Track &t) { t.genre.clear(); }},
        {"year", [](Track &t) { t.year.reset(); }}, {"discNumber", [](Track &t) { t.discNumber = 1; }},
        {"trackNumber", [](Track &t) { t.trackNumber.reset(); }}, {"duration", [](Track &t) { t.duration = 1.235; }},
        {"rating", [](Track &t) { t.rating = 100; }}, {"playCount", [](Track &t) { t.playCount = 6; }},
        {"skipCount", [](Track &t) { t.skipCount = 0; }}, {"loved", [](Track &t) { t.loved = false; }},
        {"disliked", [](Track &t) { t.disliked = false; }}, {"dateModified", [](Track &t) { t.dateModified.reset(); }},
        {"dateAdded", [](Track &t) { t.dateAdded = t.dateAdded->addMSecs(1); }},
        {"lastPlayedDate", [](Track &t) { t.lastPlayedDate = t.dateAdded; }},
        {"location", [](Track &t) { t.location = QUrl(u"file:///Users/u/Music/other.m4a"_s); }},
        {"fileSize", [](Track &t) { t.fileSize = 0; }}, {"hasArtwork", [](Track &t) { t.hasArtwork = false; }},
    };
    const Track base = fullTrack();
    for (const auto &[name, change] : changes) {
        Track changed = base;
        change(changed);
        // Equal hashes would be a possible but unlikely collision.
        EXPECT_TRUE(changed != base && qHash(changed) != qHash(base)) << name;
    }
    EXPECT_NE(Track{.year = 0}, Track{}) << "an absent year is not year 0";
}

TEST(TrackTest, EquivalentValuesAreEqualAndHashAlike)
{
    // Decomposed letters and the KELVIN SIGN are canonically equivalent to the composed ones and "K".
    Track nfc = fullTrack(), other = fullTrack();
    nfc.artist = u"\u00C5ngstr\u00F6m K"_s;
    other.artist = u"A\u030Angstro\u0308m \u212A"_s;
    nfc.duration = -0.0;
    other.duration = 0.0;
    // The same instant, seen from another time zone.
    other.dateAdded = nfc.dateAdded->toTimeZone(QTimeZone("Asia/Kolkata"));
    ASSERT_NE(other.dateAdded->offsetFromUtc(), 0);
    other.location = QUrl(u"file:/Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s);
    EXPECT_EQ(nfc, other);
    EXPECT_EQ(qHash(nfc, 3), qHash(other, 3));

    const Track nan{.duration = std::numeric_limits<double>::quiet_NaN()};
    EXPECT_TRUE(nan == nan && nan != Track{}) << "equality stays reflexive";
}

TEST(TrackTest, RoundTripsThroughJsonTextWritingLocationsEncoded)
{
    EXPECT_EQ(fullTrack().toJson().value("location"_L1).toString(),
              u"file:///Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s);
    // 2^53 + 1 is not representable as a double.
    const Track extreme{.persistentID = u"E"_s, .duration = 0.1 + 0.2, .rating = (qint64(1) << 53) + 1,
                        .playCount = std::numeric_limits<qint64>::min(), .dateAdded = utc(1, 1, 1, 0, 0, 0),
                        .location = QUrl(u"http://user@xn--caf-dma.example:8080/a%2Fb?q=%C3%A9&x#frag"_s),
                        .fileSize = std::numeric_limits<qint64>::max()};
    for (const Track &track : {fullTrack(), Track{.persistentID = u"A"_s}, extreme}) {
        SCOPED_TRACE(track.persistentID.toStdString());
        // Through JSON text, so whatever QJsonDocument does to numbers is part of the trip.
        const QByteArray text = QJsonDocument(track.toJson()).toJson(QJsonDocument::Compact);
        EXPECT_EQ(Track::fromJson(QJsonDocument::fromJson(text).object()), track);
    }
}

TEST(TrackTest, DecodingFailuresNameTheKey)
{
    using Kind = DecodingError::Kind;
    const std::tuple<const char *, QJsonValue, Kind, QString> cases[] = { // an undefined value removes the key
        {"title", QJsonValue::Undefined, Kind::keyNotFound, u"is missing."_s},
        {"year", 3.5, Kind::typeMismatch, u"is not a whole number."_s},
        {"fileSize", 1e300, Kind::dataCorrupted, u"is not valid: 1e+300 is outside the 64-bit integer range."_s},
        {"location", u"http://[::1"_s, Kind::dataCorrupted, u"is not valid: \"http://[::1\" is not a URL."_s},
    };
    for (const auto &[key, value, kind, problem] : cases) {
        const QString description = u"The value for the key \"%1\" %2"_s.arg(QLatin1StringView(key), problem);
        SCOPED_TRACE(description.toStdString());
        QJsonObject object = fullTrack().toJson();
        object.remove(QLatin1StringView(key));
        if (!value.isUndefined())
            object.insert(QLatin1StringView(key), value);
        try {
            (void)Track::fromJson(object);
            ADD_FAILURE() << "decoding succeeded";
        } catch (const DecodingError &error) {
            EXPECT_EQ(std::pair(error.kind(), error.key()), std::pair(kind, QString::fromLatin1(key)));
            EXPECT_EQ(error.description(), description);
        }
    }
    // Whole numbers written as reals are whole numbers.
    QJsonObject reals = fullTrack().toJson();
    reals.insert("year"_L1, 2001.0);
    EXPECT_EQ(Track::fromJson(reals).year, 2001);
}
