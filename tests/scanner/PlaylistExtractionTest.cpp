#include "scanner/PlaylistExtraction.h"

#include "support/PlistText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using quaverly::Playlist;
using quaverly::PlaylistExtraction;
using quaverly::PropertyList;
using Kind = quaverly::Playlist::PlaylistKind;

namespace {

QList<Playlist> extract(const QByteArray &playlistsBody)
{
    const PropertyList document = PropertyList::parse(
        quaverly::test::plistDocument("<dict><key>Playlists</key><array>" + playlistsBody + "</array></dict>"));
    return PlaylistExtraction(document).parsePlaylists(document.root(), {{5, u"FIVE"_s}, {6, u"SIX"_s}});
}

QByteArray entry(const QByteArray &id, const QByteArray &extraKeys = {})
{
    return "<dict><key>Playlist Persistent ID</key><string>" + id
        + "</string><key>Name</key><string>" + id + " name</string>" + extraKeys + "</dict>";
}

QStringList ids(const QList<Playlist> &playlists)
{
    QStringList result;
    for (const Playlist &playlist : playlists)
        result.append(playlist.persistentID);
    return result;
}

} // namespace

TEST(PlaylistExtractionTest, ListIsTakenWholeOrNotAtAllAndSkipsEntriesWithoutTextIDOrName)
{
    EXPECT_TRUE(extract(entry("A") + entry("B") + "<string>C</string>" + entry("D")).isEmpty());
    const auto playlists = extract(
        entry("A")
        + "<dict><key>Playlist Persistent ID</key><string>NONAME</string></dict>"
        + "<dict><key>Name</key><string>no id</string></dict>"
        + "<dict><key>Playlist Persistent ID</key><integer>1</integer><key>Name</key><string>x</string></dict>"
        + entry("B"));
    EXPECT_EQ(ids(playlists), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_EQ(playlists.first(), (Playlist{.persistentID = u"A"_s, .name = u"A name"_s}));
}

TEST(PlaylistExtractionTest, KindFollowsMarkerKeysInOrder)
{
    const std::pair<QByteArray, Kind> cases[] = {
        {"<key>Folder</key><true/><key>Smart Info</key><data>AAE=</data>", Kind::folder},
        {"<key>Folder</key><false/><key>Smart Info</key><data>AAE=</data>", Kind::smart},
        {"<key>Folder</key><integer>1</integer>", Kind::standard},
        {"<key>Smart Info</key><string>anything</string><key>Genius Track ID</key><integer>5</integer>", Kind::smart},
        {"<key>Genius Track ID</key><integer>5</integer>", Kind::genius},
        {"<key>Master</key><true/>", Kind::standard},
    };
    for (const auto &[keys, kind] : cases) {
        SCOPED_TRACE(keys.toStdString());
        const auto playlists = extract(entry("P", keys));
        ASSERT_EQ(playlists.size(), 1);
        EXPECT_EQ(playlists.first().kind, kind);
    }
}

TEST(PlaylistExtractionTest, TranslatesMembersDroppingUnknownOnes)
{
    const auto playlists = extract(entry("P", R"(<key>Playlist Items</key><array>
        <dict><key>Track ID</key><integer>5</integer></dict>
        <dict><key>Track ID</key><integer>9</integer></dict>
        <dict><key>Track ID</key><string>6</string></dict>
        <dict/>
        <dict><key>Track ID</key><integer>5</integer></dict>
        <dict><key>Track ID</key><integer>6</integer></dict>
    </array>)") + entry("Q", R"(<key>Playlist Items</key><array>
        <dict><key>Track ID</key><integer>5</integer></dict>
        <integer>6</integer>
    </array>)"));
    ASSERT_EQ(playlists.size(), 2);
    EXPECT_EQ(playlists[0].trackIDs, (QList<QString>{u"FIVE"_s, u"FIVE"_s, u"SIX"_s}));
    // One item that is no dictionary voids the whole member list, not the playlist.
    EXPECT_TRUE(playlists[1].trackIDs.isEmpty());
}

TEST(PlaylistExtractionTest, KeepsParentAndDateAsStored)
{
    const auto playlists = extract(
        entry("P", "<key>Parent Persistent ID</key><string>NOSUCHFOLDER</string>"
                   "<key>Date Modified</key><date>2023-12-31T23:59:59Z</date>")
        + entry("Q", "<key>Parent Persistent ID</key><integer>3</integer>"
                     "<key>Date Modified</key><string>yesterday</string>"));
    ASSERT_EQ(playlists.size(), 2);
    EXPECT_EQ(playlists[0].parentID, u"NOSUCHFOLDER"_s);
    EXPECT_EQ(playlists[0].dateModified, QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59), Qt::UTC));
    EXPECT_FALSE(playlists[1].parentID || playlists[1].dateModified);
}
