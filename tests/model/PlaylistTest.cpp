#include "model/Playlist.h"

#include "model/DecodingError.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace Qt::StringLiterals;
using quaverly::DecodingError;
using quaverly::Playlist;
using Kind = Playlist::PlaylistKind;

namespace {

Playlist fullPlaylist()
{
    return Playlist{.persistentID = u"P1"_s, .name = u"Road Trip"_s, .kind = Kind::smart,
                    .trackIDs = {u"T1"_s, u"T2"_s, u"T1"_s}, .parentID = u"F1"_s,
                    .dateModified = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10), Qt::UTC)};
}

// The error that decoding the full playlist with `key` set to `value` throws.
std::tuple<DecodingError::Kind, QString, QString> failureWith(const char *key, const QJsonValue &value)
{
    QJsonObject object = fullPlaylist().toJson();
    object.insert(QLatin1StringView(key), value);
    try {
        (void)Playlist::fromJson(object);
    } catch (const DecodingError &error) {
        return {error.kind(), error.key(), error.description()};
    }
    return {};
}

} // namespace

TEST(PlaylistTest, EqualityComparesEveryFieldAndListOrder)
{
    const Playlist base = fullPlaylist();
    const std::pair<const char *, std::function<void(Playlist &)>> changes[] = {
        {"kind", [](Playlist &p) { p.kind = Kind::standard; }},
        {"track order", [](Playlist &p) { p.trackIDs = {u"T2"_s, u"T1"_s, u"T1"_s}; }},
        {"repeat dropped", [](Playlist &p) { p.trackIDs = {u"T1"_s, u"T2"_s}; }},
        {"parentID empty vs absent", [](Playlist &p) { p.parentID.reset(); }},
        {"dateModified", [](Playlist &p) { p.dateModified = p.dateModified->addSecs(1); }},
    };
    for (const auto &[name, change] : changes) {
        Playlist other = base;
        change(other);
        EXPECT_NE(other, base) << name;
    }
    const Playlist decomposed{.name = u"Cafe\u0301"_s, .trackIDs = {u"Cafe\u0301"_s}};
    const Playlist composed{.name = u"Caf\u00E9"_s, .trackIDs = {u"Caf\u00E9"_s}};
    EXPECT_TRUE(decomposed == composed && qHash(decomposed) == qHash(composed));
}

TEST(PlaylistTest, RoundTripsThroughJsonTextAndNamesTheKeyOfAFailure)
{
    for (const Playlist &playlist : {fullPlaylist(), Playlist{.persistentID = u"P2"_s, .kind = Kind::folder},
                                     Playlist{.persistentID = u"P3"_s, .kind = Kind::genius}, Playlist{}}) {
        SCOPED_TRACE(playlist.persistentID.toStdString());
        const QByteArray text = QJsonDocument(playlist.toJson()).toJson();
        EXPECT_EQ(Playlist::fromJson(QJsonDocument::fromJson(text).object()), playlist);
    }

    // Kinds are spelled exactly.
    EXPECT_EQ(failureWith("kind", u"Folder"_s),
              std::tuple(DecodingError::Kind::dataCorrupted, u"kind"_s,
                         u"The value for the key \"kind\" is not valid: \"Folder\" is not a playlist kind."_s));
    EXPECT_EQ(failureWith("trackIDs", QJsonArray{u"T1"_s, QJsonValue::Null}),
              std::tuple(DecodingError::Kind::typeMismatch, u"trackIDs[1]"_s,
                         u"The value for the key \"trackIDs[1]\" is not a text."_s));
}
