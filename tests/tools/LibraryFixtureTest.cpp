#include "fixtures/LibraryFixture.h"

#include "support/TestFiles.h"

#include <QVariant>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::fixtures;

namespace {

// Files are read back with Qt's own XML reader, never with Quaverly's, so that a fault the
// generator and the reader share cannot hide. Every other value stays text, true as "1".
QVariant readValue(QXmlStreamReader &xml)
{
    const QString tag = xml.name().toString();
    if (tag != u"dict" && tag != u"array")
        return xml.readElementText() + (tag == u"true" ? u"1"_s : QString());
    QVariantMap map;
    QVariantList list;
    while (xml.readNextStartElement()) {
        if (tag == u"array")
            list.append(readValue(xml));
        else if (const QString key = xml.readElementText(); xml.readNextStartElement())
            map.insert(key, readValue(xml));
    }
    return tag == u"dict" ? QVariant(map) : QVariant(list);
}

struct Library
{
    QHash<QString, QVariantMap> tracks;        // by persistent ID
    QHash<QString, QStringList> playlistItems; // persistent IDs of the tracks, by playlist

    [[nodiscard]] QSet<QString> trackIDs() const { return {tracks.keyBegin(), tracks.keyEnd()}; }
};

void readLibrary(const QByteArray &bytes, Library &library)
{
    QXmlStreamReader xml(bytes);
    ASSERT_TRUE(xml.readNextStartElement() && xml.name() == u"plist" && xml.readNextStartElement());
    const QVariantMap root = readValue(xml).toMap();
    while (!xml.atEnd())
        xml.readNext();
    ASSERT_FALSE(xml.hasError()) << qPrintable(xml.errorString()) << " at line " << xml.lineNumber();

    QHash<QString, QString> persistentIDOf; // by Track ID
    const QVariantMap tracks = root.value(u"Tracks"_s).toMap();
    for (const QVariant &entry : tracks) {
        const QVariantMap track = entry.toMap();
        library.tracks.insert(track.value(u"Persistent ID"_s).toString(), track);
        persistentIDOf.insert(track.value(u"Track ID"_s).toString(), track.value(u"Persistent ID"_s).toString());
    }
    ASSERT_EQ(library.tracks.size(), tracks.size()) << "persistent IDs repeat";
    for (const QVariant &entry : root.value(u"Playlists"_s).toList()) {
        const QString id = entry.toMap().value(u"Playlist Persistent ID"_s).toString();
        for (const QVariant &item : entry.toMap().value(u"Playlist Items"_s).toList())
            library.playlistItems[id].append(persistentIDOf.value(item.toMap().value(u"Track ID"_s).toString()));
        ASSERT_FALSE(library.playlistItems[id].contains(QString())) << "playlist " << qPrintable(id) << " names no track";
    }
}

using LibraryFixtureTest = test::TemporaryFolderTest;

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

TEST_F(LibraryFixtureTest, WritesRequestedCountsAsWellFormedPropertyListTheSameEachTime)
{
    for (const auto &[tracks, playlists] : {std::pair{0, 0}, {400, 40}}) {
        SCOPED_TRACE(testing::Message() << tracks << " tracks, " << playlists << " playlists");
        LibraryOptions options;
        options.trackCount = tracks;
        options.playlistCount = playlists;
        QByteArray xml;
        const GeneratedLibrary generated = describeLibrary(options, &xml);
        EXPECT_EQ(libraryXml(options), xml);
        Library library;
        ASSERT_NO_FATAL_FAILURE(readLibrary(xml, library));
        EXPECT_EQ(sorted(library.tracks.keys()), sorted(generated.persistentIDs));
        EXPECT_EQ(sorted(library.playlistItems.keys()), sorted(generated.playlistIDs));
        EXPECT_TRUE(generated.persistentIDs.size() == tracks && generated.playlistIDs.size() == playlists);
    }
}

// What the window tests, the screenshots and the end-to-end tests rely on: a pair that differs in
// every way the summary counts, exactly as the generator reports.
TEST_F(LibraryFixtureTest, DemoPairDiffersExactlyAsReported)
{
    const LibraryPair pair = generateDemoPair(m_root.path());
    Library source, destination;
    ASSERT_NO_FATAL_FAILURE(readLibrary(test::contentsOf(pair.source.xmlPath).value_or(""), source));
    ASSERT_NO_FATAL_FAILURE(readLibrary(test::contentsOf(pair.destination.xmlPath).value_or(""), destination));

    // The four lists of a one-way sync, worked out from the files alone.
    const QStringList synced{u"Rating"_s, u"Play Count"_s, u"Loved"_s, u"Disliked"_s}; // absent when 0 or false
    QStringList update, playlists;
    for (const QString &id : source.trackIDs() & destination.trackIDs()) {
        const QVariantMap &a = source.tracks[id], &b = destination.tracks[id];
        if (std::ranges::any_of(synced, [&](const QString &key) { return a.value(key) != b.value(key); }))
            update.append(id);
    }
    for (auto it = source.playlistItems.cbegin(); it != source.playlistItems.cend(); ++it) {
        if (destination.playlistItems.value(it.key()) != *it)
            playlists.append(it.key());
    }
    const LibraryDifference &reported = pair.destination.difference;
    EXPECT_EQ(sorted((source.trackIDs() - destination.trackIDs()).values()), sorted(reported.tracksOnlyInBase));
    EXPECT_EQ(sorted((destination.trackIDs() - source.trackIDs()).values()), sorted(reported.tracksOnlyInVariant));
    EXPECT_EQ(sorted(update), sorted(reported.tracksChanged));
    EXPECT_EQ(sorted(playlists), sorted(reported.playlistsChanged));
    EXPECT_TRUE(!update.isEmpty() && !playlists.isEmpty() && !reported.tracksOnlyInBase.isEmpty()
                && !reported.tracksOnlyInVariant.isEmpty());
}
