#include "model/Playlist.h"

#include "model/DecodingError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using quaverly::DecodingError;
using quaverly::Playlist;
using Kind = Playlist::PlaylistKind;

namespace {

Playlist fullPlaylist()
{
    return Playlist{
        .persistentID = u"P1"_s,
        .name = u"Road Trip"_s,
        .kind = Kind::smart,
        .trackIDs = {u"T1"_s, u"T2"_s, u"T1"_s},
        .parentID = u"F1"_s,
        .dateModified = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10), Qt::UTC),
    };
}

} // namespace

TEST(PlaylistTest, KindRawValuesAreExactAndCaseSensitive)
{
    for (const Kind kind : {Kind::standard, Kind::smart, Kind::folder, Kind::genius}) {
        SCOPED_TRACE(Playlist::rawValue(kind).toStdString());
        EXPECT_EQ(Playlist::kindFromRawValue(Playlist::rawValue(kind)), kind);
    }
    EXPECT_EQ(Playlist::rawValue(Kind::genius), u"genius"_s);
    EXPECT_EQ(Playlist::kindFromRawValue(u"folder"), Kind::folder);
    for (const QString &text : {u"Folder"_s, u""_s, u"master"_s, u"smart "_s}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(Playlist::kindFromRawValue(text), std::nullopt);
    }
    const QSet<Kind> kinds{Kind::standard, Kind::smart, Kind::standard};
    EXPECT_EQ(kinds.size(), 2);
}

TEST(PlaylistTest, EqualityComparesEveryFieldAndListOrder)
{
    const Playlist base = fullPlaylist();
    const std::pair<const char *, Playlist> others[] = {
        {"kind", [&] { Playlist p = base; p.kind = Kind::standard; return p; }()},
        {"track order", [&] { Playlist p = base; p.trackIDs = {u"T2"_s, u"T1"_s, u"T1"_s}; return p; }()},
        {"repeat dropped", [&] { Playlist p = base; p.trackIDs = {u"T1"_s, u"T2"_s}; return p; }()},
        {"parentID empty vs absent", [&] { Playlist p = base; p.parentID.reset(); return p; }()},
        {"dateModified", [&] { Playlist p = base; p.dateModified = p.dateModified->addSecs(1); return p; }()},
    };
    for (const auto &[name, other] : others) {
        SCOPED_TRACE(name);
        EXPECT_NE(other, base);
    }
    Playlist decomposed = base;
    decomposed.name = u"Cafe\u0301"_s;
    decomposed.trackIDs.append(u"Cafe\u0301"_s);
    Playlist composed = base;
    composed.name = u"Caf\u00E9"_s;
    composed.trackIDs.append(u"Caf\u00E9"_s);
    EXPECT_EQ(decomposed, composed);
    EXPECT_EQ(qHash(decomposed), qHash(composed));
}

TEST(PlaylistTest, RoundTripsThroughJsonText)
{
    const Playlist playlists[] = {
        fullPlaylist(),
        Playlist{.persistentID = u"P2"_s, .kind = Kind::genius},
        Playlist{.persistentID = u"P3"_s, .name = u"Empty folder"_s, .kind = Kind::folder},
    };
    for (const Playlist &playlist : playlists) {
        SCOPED_TRACE(playlist.persistentID.toStdString());
        const QJsonObject object = playlist.toJson();
        EXPECT_EQ(object.size(), 4 + int(playlist.parentID.has_value()) + int(playlist.dateModified.has_value()));
        EXPECT_EQ(object.value("kind"_L1).toString(), Playlist::rawValue(playlist.kind));
        const QByteArray text = QJsonDocument(object).toJson();
        EXPECT_EQ(Playlist::fromJson(QJsonDocument::fromJson(text).object()), playlist);
    }
}

TEST(PlaylistTest, DecodingFailuresNameTheKey)
{
    using ErrorKind = DecodingError::Kind;
    const struct
    {
        const char *key;
        QJsonValue value;
        ErrorKind kind;
        QString errorKey;
        QString description;
    } cases[] = {
        {"kind", u"other"_s, ErrorKind::dataCorrupted, u"kind"_s,
         u"The value for the key \"kind\" is not valid: \"other\" is not a playlist kind."_s},
        {"trackIDs", QJsonValue::Undefined, ErrorKind::keyNotFound, u"trackIDs"_s,
         u"The value for the key \"trackIDs\" is missing."_s},
        {"trackIDs", u"T1"_s, ErrorKind::typeMismatch, u"trackIDs"_s,
         u"The value for the key \"trackIDs\" is not a list."_s},
        {"trackIDs", QJsonArray{u"T1"_s, QJsonValue::Null}, ErrorKind::typeMismatch, u"trackIDs[1]"_s,
         u"The value for the key \"trackIDs[1]\" is not a text."_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.errorKey.toStdString());
        QJsonObject object = fullPlaylist().toJson();
        if (c.value.isUndefined())
            object.remove(QLatin1StringView(c.key));
        else
            object.insert(QLatin1StringView(c.key), c.value);
        try {
            (void)Playlist::fromJson(object);
            ADD_FAILURE() << "decoding succeeded";
        } catch (const DecodingError &error) {
            EXPECT_EQ(error.kind(), c.kind);
            EXPECT_EQ(error.key(), c.errorKey);
            if (!c.description.isEmpty()) {
                EXPECT_EQ(error.description(), c.description);
            }
        }
    }
}
