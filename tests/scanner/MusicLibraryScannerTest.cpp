#include "scanner/MusicLibraryScanner.h"

#include "support/PlistText.h"
#include "support/TestFiles.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using quaverly::test::plistDocument;

namespace {

class MusicLibraryScannerTest : public test::TemporaryFolderTest
{
protected:
    QUrl writeLibrary(const QByteArray &bytes)
    {
        EXPECT_TRUE(test::writeFile(at(u"Music Library.xml"_s), bytes));
        return QUrl::fromLocalFile(at(u"Music Library.xml"_s));
    }
};

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
    const QUrl artwork = QUrl::fromLocalFile(at(u"Album Artwork"_s));
    EXPECT_FALSE(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL);
    ASSERT_TRUE(test::writeFile(at(u"Album Artwork"_s), {}));
    EXPECT_EQ(MusicLibraryScanner::scanLibrarySync(url).artworkCacheURL, artwork);
    ASSERT_TRUE(QFile::remove(at(u"Album Artwork"_s)) && QDir(m_root.path()).mkdir(u"Album Artwork"_s));
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
