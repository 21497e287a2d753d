#include "scanner/MusicLibraryScanner.h"

#include "platform/FileSystem.h"
#include "platform/PropertyList.h"
#include "support/PlistText.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using quaverly::test::plistDocument;

namespace {

class MusicLibraryScannerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QString path(const QString &name) const { return m_folder.filePath(name); }

    QUrl writeLibrary(const QByteArray &bytes, const QString &name = u"Music Library.xml"_s)
    {
        EXPECT_TRUE(test::writeFile(path(name), bytes));
        return QUrl::fromLocalFile(path(name));
    }

    QTemporaryDir m_folder;
};

const QByteArray smallLibrary = plistDocument(R"(<dict><key>Tracks</key><dict>
    <key>1</key><dict><key>Track ID</key><integer>1</integer><key>Persistent ID</key><string>A</string></dict>
    <key>2</key><dict><key>Track ID</key><integer>2</integer><key>Persistent ID</key><string>B</string></dict>
</dict></dict>)");

} // namespace

TEST_F(MusicLibraryScannerTest, NonDictionaryRootFailsWithItsOwnSentence)
{
    try {
        (void)MusicLibraryScanner::scanLibrarySync(writeLibrary(plistDocument("<array/>")));
        FAIL() << "an array root must not scan";
    } catch (const MusicLibraryScanner::ScanError &error) {
        EXPECT_EQ(error.kind(), MusicLibraryScanner::ScanError::Kind::invalidFormat);
        EXPECT_EQ(error.description(), u"Library XML has an unexpected format: Root object is not a dictionary"_s);
    }
}

TEST_F(MusicLibraryScannerTest, DetectsAlbumArtworkByExistence)
{
    const QUrl url = writeLibrary(plistDocument("<dict/>"));
    const QUrl artwork = QUrl::fromLocalFile(path(u"Album Artwork"_s));
    EXPECT_FALSE(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL);
    ASSERT_TRUE(test::writeFile(path(u"Album Artwork"_s), {}));
    EXPECT_EQ(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL, artwork);
    ASSERT_TRUE(QFile::remove(path(u"Album Artwork"_s)) && QDir(m_folder.path()).mkdir(u"Album Artwork"_s));
    EXPECT_EQ(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL, artwork);
}

TEST_F(MusicLibraryScannerTest, ReadsTheRecordedMediaFolderOnlyAsALocalFileUrl)
{
    const std::pair<QByteArray, std::optional<QString>> cases[] = {
        {"file:///Users/u/Music/iTunes/iTunes%20Media/", u"/Users/u/Music/iTunes/iTunes Media/"_s},
        {"file://localhost/Users/u/Music/Music/Media/", u"/Users/u/Music/Music/Media/"_s},
        {"file://server/Music/Media/", std::nullopt},
        {"http://example.com/Media/", std::nullopt},
        {"file:///Users/u/%FF/", std::nullopt},
    };
    for (const auto &[folder, expected] : cases) {
        SCOPED_TRACE(folder.toStdString());
        const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(
            writeLibrary(plistDocument("<dict><key>Music Folder</key><string>" + folder + "</string></dict>")));
        EXPECT_EQ(library.musicFolderURL ? std::optional(library.musicFolderURL->path()) : std::nullopt, expected);
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
    QFuture<MusicLibrary> missing = scanner.scanLibrary(QUrl::fromLocalFile(path(u"Missing.xml"_s)));
    QFuture<MusicLibrary> notXml = scanner.scanLibrary(writeLibrary("this is not XML at all", u"x.xml"_s));
    EXPECT_EQ(good.result().tracks.size(), 2);
    EXPECT_THROW((void)missing.result(), FileSystemError);
    EXPECT_THROW((void)notXml.result(), PropertyListError);
}
