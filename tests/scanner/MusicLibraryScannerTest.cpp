#include "scanner/MusicLibraryScanner.h"

#include "platform/FileSystem.h"
#include "platform/PropertyList.h"
#include "support/PlistText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using quaverly::FileSystemError;
using quaverly::MusicLibrary;
using quaverly::MusicLibraryScanner;
using quaverly::PropertyListError;
using quaverly::test::plistDocument;

namespace {

class MusicLibraryScannerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QString path(const QString &name) const { return m_folder.filePath(name); }

    QUrl writeLibrary(const QByteArray &bytes, const QString &name = u"Music Library.xml"_s)
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return QUrl::fromLocalFile(path(name));
    }

    QTemporaryDir m_folder;
};

const QByteArray smallLibrary = plistDocument(R"(<dict>
    <key>Tracks</key><dict>
        <key>1</key><dict><key>Track ID</key><integer>1</integer><key>Persistent ID</key><string>A</string></dict>
        <key>2</key><dict><key>Track ID</key><integer>2</integer><key>Persistent ID</key><string>B</string></dict>
    </dict>
    <key>Playlists</key><array>
        <dict><key>Playlist Persistent ID</key><string>P</string><key>Name</key><string>Mix</string>
            <key>Playlist Items</key><array><dict><key>Track ID</key><integer>2</integer></dict></array></dict>
    </array>
</dict>)");

} // namespace

TEST_F(MusicLibraryScannerTest, NonDictionaryRootFailsWithItsOwnSentence)
{
    const QUrl url = writeLibrary(plistDocument("<array><string>x</string></array>"));
    try {
        (void)MusicLibraryScanner::scanLibrarySync(url);
        FAIL() << "an array root must not scan";
    } catch (const MusicLibraryScanner::ScanError &error) {
        EXPECT_EQ(error.kind(), MusicLibraryScanner::ScanError::Kind::invalidFormat);
        EXPECT_EQ(error.description(),
                  u"Library XML has an unexpected format: Root object is not a dictionary"_s);
    }
}

TEST_F(MusicLibraryScannerTest, EmptyRootYieldsEmptyLibrary)
{
    const QUrl url = writeLibrary(plistDocument("<dict/>"));
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(url);
    EXPECT_EQ(library.xmlURL, url);
    EXPECT_TRUE(library.tracks.isEmpty());
    EXPECT_TRUE(library.playlists.isEmpty());
    EXPECT_FALSE(library.artworkCacheURL);
    EXPECT_GE(library.scannedAt, before);
}

TEST_F(MusicLibraryScannerTest, ReadsTracksAndPlaylists)
{
    const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(writeLibrary(smallLibrary));
    EXPECT_EQ(library.tracks.size(), 2);
    ASSERT_EQ(library.playlists.size(), 1);
    EXPECT_EQ(library.playlists.first().trackIDs, QList<QString>{u"B"_s});

    const MusicLibrary again = MusicLibraryScanner::scanLibrarySync(library.xmlURL);
    EXPECT_EQ(again.tracks, library.tracks);
    EXPECT_EQ(again.playlists, library.playlists);
}

TEST_F(MusicLibraryScannerTest, UnreadableFilesFailWithTheFileSystemsError)
{
    ASSERT_TRUE(QDir(m_folder.path()).mkdir(u"Folder.xml"_s));
    const struct
    {
        QString name;
        QString reason;
    } cases[] = {
        {u"Missing.xml"_s, u"No such file or directory"_s},
        {u"Folder.xml"_s, u"Is a directory"_s},
    };
    for (const auto &[name, reason] : cases) {
        SCOPED_TRACE(name.toStdString());
        try {
            (void)MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(path(name)));
            FAIL() << "must not scan";
        } catch (const FileSystemError &error) {
            EXPECT_TRUE(error.description().contains(path(name))) << error.what();
            EXPECT_TRUE(error.description().contains(reason)) << error.what();
        }
    }
    EXPECT_THROW((void)MusicLibraryScanner::scanLibrarySync(writeLibrary("this is not XML at all")),
                 PropertyListError);
}

TEST_F(MusicLibraryScannerTest, DetectsAlbumArtworkByExistence)
{
    const QUrl url = writeLibrary(plistDocument("<dict/>"));
    const QUrl artwork = QUrl::fromLocalFile(path(u"Album Artwork"_s));
    EXPECT_FALSE(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL);

    QFile plainFile(path(u"Album Artwork"_s));
    ASSERT_TRUE(plainFile.open(QIODevice::WriteOnly));
    plainFile.close();
    EXPECT_EQ(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL, artwork);

    ASSERT_TRUE(plainFile.remove());
    ASSERT_TRUE(QDir(m_folder.path()).mkdir(u"Album Artwork"_s));
    EXPECT_EQ(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL, artwork);
}

TEST_F(MusicLibraryScannerTest, ReadsTheRecordedMediaFolderOnlyAsALocalFileUrl)
{
    const struct {
        QByteArray entry;
        std::optional<QString> path;
    } cases[] = {
        {"<key>Music Folder</key><string>file:///Users/u/Music/iTunes/iTunes%20Media/</string>",
         u"/Users/u/Music/iTunes/iTunes Media/"_s},
        {"<key>Music Folder</key><string>file://localhost/Users/u/Music/Music/Media/</string>",
         u"/Users/u/Music/Music/Media/"_s},
        {"<key>Music Folder</key><string>file://server/Music/Media/</string>", std::nullopt},
        {"<key>Music Folder</key><string>http://example.com/Media/</string>", std::nullopt},
        {"<key>Music Folder</key><string>file:///Users/u/%FF/</string>", std::nullopt},
        {"<key>Music Folder</key><integer>1</integer>", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        const MusicLibrary library =
            MusicLibraryScanner::scanLibrarySync(writeLibrary(plistDocument("<dict>" + c.entry + "</dict>")));
        EXPECT_EQ(library.musicFolderURL ? std::optional(library.musicFolderURL->path()) : std::nullopt, c.path);
    }
}

TEST_F(MusicLibraryScannerTest, LocalhostUrlReadsTheSameFile)
{
    const QUrl plain = writeLibrary(smallLibrary, u"Library 100% #1.xml"_s);
    QUrl localhost = plain;
    localhost.setHost(u"localhost"_s);
    const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(localhost);
    EXPECT_EQ(library.xmlURL, localhost);
    EXPECT_EQ(library.tracks.size(), 2);

    QUrl remote = plain;
    remote.setHost(u"fileserver"_s);
    EXPECT_THROW((void)MusicLibraryScanner::scanLibrarySync(remote), FileSystemError);
}

TEST_F(MusicLibraryScannerTest, FutureDeliversResultAndFailure)
{
    MusicLibraryScanner scanner;
    QFuture<MusicLibrary> good = scanner.scanLibrary(writeLibrary(smallLibrary));
    QFuture<MusicLibrary> bad = scanner.scanLibrary(QUrl::fromLocalFile(path(u"Missing.xml"_s)));
    EXPECT_EQ(good.result().tracks.size(), 2);
    EXPECT_THROW((void)bad.result(), FileSystemError);
}
