#include "fixtures/LibraryFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly::fixtures;

namespace {

// The generated files are read back with Qt's own XML reader, never with Quaverly's, so a
// fault shared by the generator and the reader cannot hide.
QVariant readValue(QXmlStreamReader &xml)
{
    const QString tag = xml.name().toString();
    if (tag == u"dict") {
        QVariantMap map;
        while (xml.readNextStartElement()) {
            if (xml.name() != u"key") {
                xml.raiseError(u"Expected a key."_s);
                return {};
            }
            const QString key = xml.readElementText();
            if (map.contains(key))
                xml.raiseError(u"Repeated key \"%1\"."_s.arg(key));
            if (!xml.readNextStartElement())
                xml.raiseError(u"Key \"%1\" has no value."_s.arg(key));
            if (xml.hasError())
                return {};
            map.insert(key, readValue(xml));
        }
        return map;
    }
    if (tag == u"array") {
        QVariantList list;
        while (xml.readNextStartElement())
            list.append(readValue(xml));
        return list;
    }
    if (tag == u"true" || tag == u"false") {
        xml.skipCurrentElement();
        return tag == u"true";
    }
    const QString text = xml.readElementText();
    if (tag == u"integer")
        return text.toLongLong();
    if (tag == u"data")
        return QByteArray::fromBase64(text.simplified().remove(u' ').toLatin1());
    return text;
}

struct Library
{
    QVariantMap root;
    QHash<QString, QVariantMap> tracks; // by persistent ID
    QHash<qint64, QString> persistentIDOf;  // by Track ID
    QVariantList playlists;
};

void readLibrary(const QByteArray &bytes, Library &library)
{
    ASSERT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC"));
    QXmlStreamReader xml(bytes);
    ASSERT_TRUE(xml.readNextStartElement());
    ASSERT_EQ(xml.name(), u"plist");
    ASSERT_TRUE(xml.readNextStartElement());
    library.root = readValue(xml).toMap();
    while (!xml.atEnd())
        xml.readNext();
    ASSERT_FALSE(xml.hasError()) << qPrintable(xml.errorString()) << " at line " << xml.lineNumber();

    const QVariantMap tracks = library.root.value(u"Tracks"_s).toMap();
    for (auto it = tracks.cbegin(); it != tracks.cend(); ++it) {
        const QVariantMap track = it.value().toMap();
        const QString id = track.value(u"Persistent ID"_s).toString();
        ASSERT_EQ(it.key(), track.value(u"Track ID"_s).toString());
        ASSERT_FALSE(library.tracks.contains(id)) << qPrintable(id);
        library.tracks.insert(id, track);
        library.persistentIDOf.insert(track.value(u"Track ID"_s).toLongLong(), id);
    }
    library.playlists = library.root.value(u"Playlists"_s).toList();
}

QStringList itemsOf(const QVariantMap &playlist, const Library &library)
{
    QStringList items;
    for (const QVariant &item : playlist.value(u"Playlist Items"_s).toList())
        items.append(library.persistentIDOf.value(item.toMap().value(u"Track ID"_s).toLongLong(), u"?"_s));
    return items;
}

// The four lists of a one-way sync, worked out from the two files alone.
struct Changeset
{
    QStringList add, remove, update, playlists;
};

Changeset changesetOf(const Library &source, const Library &destination)
{
    Changeset changes;
    for (auto it = source.tracks.cbegin(); it != source.tracks.cend(); ++it) {
        if (!destination.tracks.contains(it.key())) {
            changes.add.append(it.key());
            continue;
        }
        const QVariantMap &other = destination.tracks[it.key()];
        for (const QString &key : {u"Rating"_s, u"Play Count"_s, u"Loved"_s, u"Disliked"_s}) {
            if (it->value(key).toLongLong() != other.value(key).toLongLong()) {
                changes.update.append(it.key());
                break;
            }
        }
    }
    for (auto it = destination.tracks.cbegin(); it != destination.tracks.cend(); ++it) {
        if (!source.tracks.contains(it.key()))
            changes.remove.append(it.key());
    }
    for (const QVariant &entry : source.playlists) {
        const QVariantMap playlist = entry.toMap();
        const QString id = playlist.value(u"Playlist Persistent ID"_s).toString();
        const auto match = std::find_if(destination.playlists.cbegin(), destination.playlists.cend(),
                                        [&](const QVariant &other) {
                                            return other.toMap().value(u"Playlist Persistent ID"_s) == id;
                                        });
        if (match == destination.playlists.cend()
            || itemsOf(match->toMap(), destination) != itemsOf(playlist, source))
            changes.playlists.append(id);
    }
    return changes;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(LibraryFixtureTest, SameOptionsGiveSameBytes)
{
    LibraryOptions options;
    options.trackCount = 120;
    options.variation = LibraryVariation{.removedTracks = 5, .addedTracks = 5, .changedTracks = 5};
    const QByteArray first = libraryXml(options);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(libraryXml(options), first);

    options.seed = 2;
    EXPECT_NE(libraryXml(options), first);
}

TEST(LibraryFixtureTest, WritesRequestedCountsAsWellFormedPropertyList)
{
    struct Case { int tracks; int playlists; };
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{37, 9}, Case{400, 40}}) {
        SCOPED_TRACE(testing::Message() << c.tracks << " tracks, " << c.playlists << " playlists");
        LibraryOptions options;
        options.trackCount = c.tracks;
        options.playlistCount = c.playlists;
        QByteArray xml;
        const GeneratedLibrary generated = describeLibrary(options, &xml);
        Library library;
        ASSERT_NO_FATAL_FAILURE(readLibrary(xml, library));

        for (const QString &key : {u"Major Version"_s, u"Minor Version"_s, u"Date"_s, u"Application Version"_s,
                                  u"Features"_s, u"Show Content Ratings"_s, u"Library Persistent ID"_s})
            EXPECT_TRUE(library.root.contains(key)) << qPrintable(key);
        EXPECT_TRUE(library.root.value(u"Music Folder"_s).toString().endsWith(u".localized/"));
        EXPECT_EQ(library.tracks.size(), c.tracks);
        EXPECT_EQ(library.playlists.size(), c.playlists);
        EXPECT_EQ(QSet<QString>(generated.persistentIDs.cbegin(), generated.persistentIDs.cend()),
                  QSet<QString>(library.tracks.keyBegin(), library.tracks.keyEnd()));
        const QRegularExpression hexID(u"^[0-9A-F]{16}$"_s);
        for (const QString &id : generated.persistentIDs + generated.playlistIDs)
            EXPECT_TRUE(hexID.match(id).hasMatch()) << qPrintable(id);

        QSet<QString> folders;
        QSet<QString> kinds;
        for (qsizetype i = 0; i < library.playlists.size(); ++i) {
            const QVariantMap playlist = library.playlists.at(i).toMap();
            const QStringList items = itemsOf(playlist, library);
            EXPECT_FALSE(items.contains(u"?"_s)) << "a member names no track";
            if (playlist.value(u"Folder"_s).toBool()) {
                folders.insert(playlist.value(u"Playlist Persistent ID"_s).toString());
                kinds.insert(u"folder"_s);
            } else if (!playlist.value(u"Smart Info"_s).toByteArray().isEmpty()
                       && !playlist.value(u"Smart Criteria"_s).toByteArray().isEmpty()) {
                kinds.insert(u"smart"_s);
            } else if (playlist.contains(u"Genius Track ID"_s)) {
                kinds.insert(u"genius"_s);
            }
            if (playlist.contains(u"Parent Persistent ID"_s)) {
                EXPECT_TRUE(folders.contains(playlist.value(u"Parent Persistent ID"_s).toString()));
            }
            if (i == 0) {
                EXPECT_EQ(playlist.value(u"Name"_s), u"Library"_s);
                EXPECT_EQ(playlist.value(u"Master"_s), true);
                EXPECT_EQ(playlist.value(u"Visible"_s), false);
                EXPECT_EQ(playlist.value(u"All Items"_s), true);
                EXPECT_EQ(QSet<QString>(items.cbegin(), items.cend()),
                          QSet<QString>(library.tracks.keyBegin(), library.tracks.keyEnd()));
                EXPECT_EQ(items.size(), c.tracks);
            }
        }
        if (c.playlists >= 7) {
            EXPECT_EQ(kinds, (QSet<QString>{u"folder"_s, u"smart"_s, u"genius"_s}));
        }
    }
}

TEST(LibraryFixtureTest, TextsCarryUnicodeXmlSpecialsAndEncodedLocations)
{
    LibraryOptions options;
    options.trackCount = 200;
    options.libraryFolder = u"/Volumes/My Disk/Music #1"_s;
    const QByteArray xml = libraryXml(options);
    Library library;
    ASSERT_NO_FATAL_FAILURE(readLibrary(xml, library));
    EXPECT_TRUE(xml.contains("&#38;") && xml.contains("&#60;"));

    QString names;
    QString locations;
    for (const QVariantMap &track : std::as_const(library.tracks)) {
        for (const QString &key : {u"Name"_s, u"Artist"_s, u"Album"_s})
            names += track.value(key).toString() + u'\n';
        if (!track.contains(u"Location"_s))
            continue;
        const QString location = track.value(u"Location"_s).toString();
        locations += location + u'\n';
        const QUrl url(location, QUrl::StrictMode);
        ASSERT_TRUE(url.isValid() && url.isLocalFile()) << qPrintable(location);
        EXPECT_TRUE(url.toLocalFile().startsWith(u"/Volumes/My Disk/Music #1/Media.localized/Music/"))
            << qPrintable(url.toLocalFile());
    }
    EXPECT_NE(names.normalized(QString::NormalizationForm_C), names) << "no decomposed text";
    for (const QString &needle : {u"&"_s, u"<"_s, u"\""_s, u"'"_s, u"é"_s, u"夜"_s, u"🎸"_s})
        EXPECT_TRUE(names.contains(needle)) << qPrintable(needle);
    for (const QString &needle : {u"file:///Volumes/My%20Disk/Music%20%231/"_s, u"%25"_s, u"%23"_s, u"%3F"_s,
                                 u"%2B"_s, u"%C3%"_s, u"%2520"_s})
        EXPECT_TRUE(locations.contains(needle)) << qPrintable(needle);

    options.localhostUrls = true;
    QByteArray withHost = libraryXml(options);
    EXPECT_EQ(withHost.count("file://localhost/"), xml.count("file:///"));
    EXPECT_EQ(withHost.replace("file://localhost/", "file:///"), xml);
}

TEST(LibraryFixtureTest, WritesEveryLocationsMediaAndArtworkWithHiddenItems)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    LibraryOptions options;
    options.trackCount = 80;
    options.libraryFolder = folder.filePath(u"Lib ü"_s);
    options.writeMedia = true;
    options.mediaBytes = 300;
    options.writeArtwork = true;
    const GeneratedLibrary generated = generateLibrary(options);

    Library library;
    ASSERT_NO_FATAL_FAILURE(readLibrary(readFile(generated.xmlPath), library));
    QStringList located;
    for (const QVariantMap &track : std::as_const(library.tracks)) {
        if (!track.contains(u"Location"_s)) {
            EXPECT_EQ(track.value(u"Track Type"_s), u"Remote"_s);
            continue;
        }
        const QString path = QUrl(track.value(u"Location"_s).toString(), QUrl::StrictMode).toLocalFile();
        located.append(path);
        ASSERT_TRUE(QFileInfo(path).isFile()) << qPrintable(path);
        EXPECT_EQ(QFileInfo(path).size(), track.value(u"Size"_s).toLongLong());
    }
    EXPECT_EQ(sorted(located), sorted(generated.mediaPaths));
    EXPECT_GT(located.size(), 0);

    ASSERT_EQ(generated.artworkPaths.size(), options.artworkFiles);
    for (const QString &path : generated.artworkPaths)
        EXPECT_TRUE(QFileInfo(path).isFile()) << qPrintable(path);
    const QDir artwork(generated.libraryFolder + u"/Album Artwork"_s);
    EXPECT_TRUE(artwork.exists(u".DS_Store"_s));
    EXPECT_TRUE(QFileInfo(artwork.filePath(u".Previews"_s)).isDir());
}

TEST(LibraryFixtureTest, DerivedLibrariesDifferExactlyAsReported)
{
    struct Case { const char *name; int tracks; int playlists; LibraryVariation variation; };
    const Case cases[] = {
        {"small", 60, 10, {.removedTracks = 6, .addedTracks = 4, .changedTracks = 5, .cosmeticTracks = 3,
                           .editedPlaylists = 2, .renamedPlaylists = 1}},
        {"no changes", 50, 8, {}},
        {"larger", 1500, 60, {.removedTracks = 150, .addedTracks = 150, .changedTracks = 100,
                              .editedPlaylists = 12, .seed = 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LibraryOptions options;
        options.trackCount = c.tracks;
        options.playlistCount = c.playlists;
        QByteArray sourceXml;
        QByteArray destinationXml;
        (void)describeLibrary(options, &sourceXml);
        options.variation = c.variation;
        const LibraryDifference difference = describeLibrary(options, &destinationXml).difference;
        Library source;
        Library destination;
        ASSERT_NO_FATAL_FAILURE(readLibrary(sourceXml, source));
        ASSERT_NO_FATAL_FAILURE(readLibrary(destinationXml, destination));

        const Changeset changes = changesetOf(source, destination);
        EXPECT_EQ(sorted(changes.add), sorted(difference.tracksOnlyInBase));
        EXPECT_EQ(sorted(changes.remove), sorted(difference.tracksOnlyInVariant));
        EXPECT_EQ(sorted(changes.update), sorted(difference.tracksChanged));
        EXPECT_EQ(sorted(changes.playlists), sorted(difference.playlistsChanged));
        EXPECT_EQ(changes.add.size(), c.variation.removedTracks);
        EXPECT_EQ(changes.remove.size(), c.variation.addedTracks);
        EXPECT_EQ(changes.update.size(), c.variation.changedTracks);
        EXPECT_EQ(difference.tracksChangedCosmetically.size(), c.variation.cosmeticTracks);
        EXPECT_GE(changes.playlists.size(), c.variation.editedPlaylists);
        EXPECT_NE(source.persistentIDOf, destination.persistentIDOf) << "Track IDs are the library's own";
    }
}

TEST(LibraryFixtureTest, DemoPairDiffersInAllFourWaysWithItsFilesInPlace)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const LibraryPair pair = generateDemoPair(folder.path());
    Library source;
    Library destination;
    ASSERT_NO_FATAL_FAILURE(readLibrary(readFile(folder.filePath(u"Source/Music Library.xml"_s)), source));
    ASSERT_NO_FATAL_FAILURE(readLibrary(readFile(folder.filePath(u"Destination/Music Library.xml"_s)), destination));

    const Changeset changes = changesetOf(source, destination);
    EXPECT_GT(changes.add.size(), 0);
    EXPECT_GT(changes.remove.size(), 0);
    EXPECT_GT(changes.update.size(), 0);
    EXPECT_GT(changes.playlists.size(), 0);
    EXPECT_EQ(sorted(changes.playlists), sorted(pair.destination.difference.playlistsChanged));
    auto fileOf = [](const QVariantMap &track) {
        return QUrl(track.value(u"Location"_s).toString(), QUrl::StrictMode).toLocalFile();
    };
    for (const QString &id : changes.add) {
        if (source.tracks[id].contains(u"Location"_s)) {
            EXPECT_TRUE(QFileInfo::exists(fileOf(source.tracks[id]))) << qPrintable(id);
        }
    }
    for (const QString &id : changes.remove) {
        ASSERT_TRUE(destination.tracks[id].contains(u"Location"_s));
        EXPECT_TRUE(QFileInfo::exists(fileOf(destination.tracks[id]))) << qPrintable(id);
    }
    EXPECT_TRUE(QFileInfo(folder.filePath(u"Source/Album Artwork"_s)).isDir());
    EXPECT_TRUE(QFileInfo(folder.filePath(u"Destination/Album Artwork"_s)).isDir());
}
