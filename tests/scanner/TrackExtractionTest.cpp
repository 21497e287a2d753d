#include "scanner/TrackExtraction.h"

#include "support/PlistText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using quaverly::PropertyList;
using quaverly::Track;
using quaverly::TrackExtraction;
using quaverly::TrackIDMap;

namespace {

TrackExtraction::Result extract(const QByteArray &rootBody)
{
    const PropertyList document = PropertyList::parse(quaverly::test::plistDocument(rootBody));
    return TrackExtraction(document).parseTracks(document.root());
}

TrackExtraction::Result extractTracks(const QByteArray &entries)
{
    return extract("<dict><key>Tracks</key><dict>" + entries + "</dict></dict>");
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC); }

} // namespace

TEST(TrackExtractionTest, ReadsEveryField)
{
    const auto result = extractTracks(R"(<key>7</key><dict>
        <key>Track ID</key><integer>42</integer><key>Persistent ID</key><string>0123456789ABCDEF</string>
        <key>Name</key><string>Caf&#xE9; &amp; Bar</string><key>Artist</key><string>Artist</string>
        <key>Album Artist</key><string>Album Artist</string><key>Album</key><string>Album</string>
        <key>Genre</key><string>Jazz</string><key>Year</key><integer>1999</integer>
        <key>Disc Number</key><integer>2</integer><key>Track Number</key><integer>11</integer>
        <key>Total Time</key><integer>1234</integer><key>Rating</key><integer>80</integer>
        <key>Play Count</key><integer>5</integer><key>Skip Count</key><integer>3</integer>
        <key>Loved</key><true/><key>Disliked</key><true/><key>Date Added</key><date>2024-01-02T03:04:05Z</date>
        <key>Date Modified</key><date>2024-02-03T04:05:06Z</date><key>Play Date UTC</key><date>2024-03-04T05:06:07Z</date>
        <key>Location</key><string>file:///Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a</string>
        <key>Size</key><integer>9876543210</integer><key>Artwork Count</key><integer>1</integer></dict>)");
    const Track expected{
        .persistentID = u"0123456789ABCDEF"_s, .title = u"Café & Bar"_s, .artist = u"Artist"_s,
        .albumArtist = u"Album Artist"_s, .album = u"Album"_s, .genre = u"Jazz"_s, .year = 1999, .discNumber = 2,
        .trackNumber = 11, .duration = 1.234, .rating = 80, .playCount = 5, .skipCount = 3, .loved = true,
        .disliked = true, .dateAdded = utc(2024, 1, 2, 3, 4, 5), .dateModified = utc(2024, 2, 3, 4, 5, 6),
        .lastPlayedDate = utc(2024, 3, 4, 5, 6, 7),
        .location = QUrl(u"file:///Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s), .fileSize = 9876543210,
        .hasArtwork = true};
    ASSERT_EQ(result.tracks.size(), 1);
    const Track track = result.tracks.value(u"0123456789ABCDEF"_s);
    EXPECT_EQ(track, expected);
    // The stored URL is the file's text, neither decoded nor re-encoded.
    EXPECT_EQ(track.location.value_or(QUrl()).toString(QUrl::FullyEncoded),
              u"file:///Users/u/Music/Caf%C3%A9/01%20Song%2523.m4a"_s);
    // The table key (7) plays no part: only the entry's own "Track ID" is mapped.
    EXPECT_EQ(result.trackIDMap, (TrackIDMap{{42, u"0123456789ABCDEF"_s}}));
}

TEST(TrackExtractionTest, SkipsWhatIsNoTrackAndCountsMistypedFieldsAsMissing)
{
    EXPECT_TRUE(extract("<dict><key>Tracks</key><array><dict><key>Persistent ID</key><string>A</string></dict>"
                        "</array></dict>").tracks.isEmpty());
    // The first entry's only usable key is its persistent ID, the others are no tracks.
    const auto result = extractTracks(R"(
        <key>1</key><dict>
            <key>Persistent ID</key><string>A</string>
            <key>Track ID</key><string>1</string>
            <key>Year</key><string>1999</string>
            <key>Rating</key><real>80</real>
            <key>Loved</key><integer>1</integer>
            <key>Date Added</key><string>2024-01-02T03:04:05Z</string>
            <key>Location</key><string>not a url: %zz</string>
            <key>Artwork Count</key><integer>-2</integer>
        </dict>
        <key>2</key><dict><key>Track ID</key><integer>2</integer><key>Persistent ID</key><integer>2</integer></dict>
        <key>3</key><string>not a dictionary</string>
        <key>4</key><dict><key>Track ID</key><integer>4</integer><key>Persistent ID</key><string>D</string></dict>)");
    EXPECT_TRUE(result.tracks.size() == 2 && result.tracks.contains(u"D"_s));
    EXPECT_EQ(result.tracks.value(u"A"_s), Track{.persistentID = u"A"_s});
    EXPECT_EQ(result.trackIDMap, (TrackIDMap{{4, u"D"_s}})) << "a text Track ID adds no mapping";
}

TEST(TrackExtractionTest, LaterDuplicatesReplaceEarlierOnes)
{
    const auto result = extractTracks(R"(
        <key>1</key><dict><key>Track ID</key><integer>1</integer><key>Persistent ID</key><string>A</string><key>Play Count</key><integer>1</integer></dict>
        <key>2</key><dict><key>Track ID</key><integer>2</integer><key>Persistent ID</key><string>A</string><key>Play Count</key><integer>2</integer></dict>
        <key>3</key><dict><key>Track ID</key><integer>2</integer><key>Persistent ID</key><string>B</string></dict>)");
    // Entries are visited in file order, so the later one wins both tables.
    ASSERT_EQ(result.tracks.size(), 2);
    EXPECT_EQ(result.tracks.value(u"A"_s).playCount, 2);
    EXPECT_EQ(result.trackIDMap, (TrackIDMap{{1, u"A"_s}, {2, u"B"_s}}));
}
