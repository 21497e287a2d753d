#include "scanner/MusicLibraryScanner.h"

#include "fixtures/LibraryFixture.h"
#include "platform/PropertyList.h"
#include "scanner/PlaylistExtraction.h"
#include "scanner/TrackExtraction.h"
#include "support/PlistText.h"
#include "support/TestFiles.h"


#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

using StreamedScanTest = test::TemporaryFolderTest;

// The file's contents as the whole tree gives them, without slices or a second thread.
MusicLibrary fromWholeTree(const QByteArray &bytes)
{
    const PropertyList document = PropertyList::parse(bytes);
    const PropertyList::Value root = document.root();
    TrackExtraction::Result tracks = TrackExtraction(document).parseTracks(root);
    MusicLibrary library;
    library.playlists = PlaylistExtraction(document).parsePlaylists(root, tracks.trackIDMap);
    library.tracks = std::move(tracks.tracks);
    library.musicFolderURL = MusicLibraryScanner::musicFolderURL(root);
    return library;
}

QByteArray generated(const QString &folder, int tracks, int playlists)
{
    fixtures::LibraryOptions options;
    options.trackCount = tracks;
    options.playlistCount = playlists;
    options.libraryFolder = folder;
    return test::contentsOf(fixtures::generateLibrary(options).xmlPath).value_or(QByteArray());
}

// A last entry of the track table under the key of its first: the tree keeps only this one.
QByteArray withFirstTrackKeyRepeatedAtTheEnd(QByteArray bytes)
{
    const qsizetype table = bytes.indexOf("<key>Tracks</key>");
    const qsizetype firstKey = bytes.indexOf("<key>", table + 1);
    const QByteArray key = bytes.mid(firstKey, bytes.indexOf("</key>", firstKey) + 6 - firstKey);
    const qsizetype end = bytes.lastIndexOf("</dict>", bytes.indexOf("<key>Playlists</key>"));
    return bytes.insert(end, key + "<dict><key>Track ID</key><integer>1</integer>"
                                   "<key>Persistent ID</key><string>0000000000000001</string></dict>\n");
}

const QByteArray twoTracks = R"(<dict>
    <key>1</key><dict><key>Track ID</key><integer>1</integer><key>Persistent ID</key><string>A</string></dict>
    <key>2</key><dict><key>Track ID</key><integer>2</integer><key>Persistent ID</key><string>B</string></dict>
</dict>)";
const QByteArray onePlaylist = R"(<array>
    <dict><key>Playlist Persistent ID</key><string>P</string><key>Name</key><string>Mix</string>
        <key>Playlist Items</key><array><dict><key>Track ID</key><integer>2</integer></dict></array></dict>
</array>)";

} // namespace

TEST_F(StreamedScanTest, GivesTheLibrariesTheWholeTreeGives)
{
    // Several megabytes, so that the track table and the playlists span several slices.
    const QByteArray large = generated(at(u"large"_s), 4'000, 60);
    ASSERT_GT(large.size(), 4 << 20);
    const auto document = [](const QByteArray &tracks, const QByteArray &playlists, const QByteArray &more = {}) {
        return test::plistDocument("<dict><key>Tracks</key>" + tracks + "<key>Playlists</key>" + playlists + more
                                   + "</dict>");
    };
    const std::tuple<const char *, QByteArray, qsizetype> rows[] = {
        {"generated library", large, 4'000},
        {"a track key repeated slices apart", withFirstTrackKeyRepeatedAtTheEnd(large), 4'000},
        {"playlists before tracks",
         test::plistDocument("<dict><key>Playlists</key>" + onePlaylist + "<key>Tracks</key>" + twoTracks + "</dict>"), 2},
        {"tracks named twice, the last empty", document(twoTracks, onePlaylist, "<key>Tracks</key><dict/>"), 0},
        {"a playlist list holding a text",
         document(twoTracks, QByteArray(onePlaylist).replace("</array>", "<string>x</string></array>")), 2},
        {"a track table that is an array, playlists a dictionary",
         document("<array>" + twoTracks + "</array>", "<dict><key>a</key><dict/></dict>"), 0},
    };
    for (const auto &[name, bytes, expectedTracks] : rows) {
        SCOPED_TRACE(name);
        const QString path = at(u"Music Library.xml"_s);
        ASSERT_TRUE(test::writeFile(path, bytes));
        const MusicLibrary expected = fromWholeTree(bytes);
        ASSERT_EQ(expected.tracks.size(), expectedTracks);

        const MusicLibrary scanned = MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(path));
        EXPECT_TRUE(scanned.tracks == expected.tracks);
        EXPECT_TRUE(scanned.playlists == expected.playlists);
        EXPECT_EQ(scanned.musicFolderURL, expected.musicFolderURL);
    }
}

TEST_F(StreamedScanTest, ReportsGrowingByteCountsEndingAtTheFileSize)
{
    const QByteArray bytes = generated(m_root.path(), 3'000, 20);
    ASSERT_GT(bytes.size(), 2 << 20);

    std::vector<std::pair<qint64, qint64>> reports;
    (void)MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(at(u"Music Library.xml"_s)),
                                               [&](qint64 read, qint64 size) { reports.emplace_back(read, size); });
    ASSERT_GE(reports.size(), 2u);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reports[i].second, bytes.size());
        EXPECT_TRUE(i == 0 || reports[i].first > reports[i - 1].first);
    }
    EXPECT_EQ(reports.back().first, bytes.size());
}
