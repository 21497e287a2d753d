#include "engine/SyncEngine.h"
#include "fixtures/LibraryFixture.h"
#include "hardening/HardeningSupport.h"
#include "scanner/MusicLibraryScanner.h"
#include "support/PlistText.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::fixtures;
using namespace quaverly::hardening;

namespace {

SyncPlan plan(const QString &source, const QString &destination)
{
    return SyncEngine::makePlan(MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(source)),
                               MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(destination)));
}

// The visible files of a tree, as the destination mirrors them: no library file, nothing hidden.
QMap<QString, QByteArray> mirrored(QMap<QString, QByteArray> tree)
{
    tree.removeIf([](const auto &entry) {
        return entry.key() == u"Music Library.xml" || entry.key().startsWith(u'.') || entry.key().contains(u"/."_s);
    });
    return tree;
}

} // namespace

TEST(SoakTest, TwentyThousandTracksSyncIntoAnEmptyLibraryAndThenPlanNothing)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    // A tmpfs spares the disk's journal twenty thousand small files; the ordinary disk serves otherwise.
    const ScratchMount mount(scratch.filePath(u"fs"_s), "size=1g");
    const QDir root(mount.skipReason() ? scratch.path() : scratch.filePath(u"fs"_s));
    LibraryOptions options;
    options.trackCount = 20'000;
    options.playlistCount = 40;
    options.libraryFolder = root.filePath(u"Source"_s);
    options.mediaBytes = 64;
    options.writeMedia = options.writeArtwork = true;
    options.artworkFiles = 200;
    const GeneratedLibrary source = generateLibrary(options);
    const QString destination = root.filePath(u"Destination/Music Library.xml"_s);
    ASSERT_TRUE(writeFile(destination, test::plistDocument("<dict><key>Tracks</key><dict/></dict>")));

    SyncPlan first = plan(source.xmlPath, destination);
    ASSERT_EQ(first.job.tracksToAdd.size(), 20'000);
    SyncEngine::runSync(first, {});
    const auto afterFirst = treeDigest(root.filePath(u"Destination"_s));
    EXPECT_EQ(mirrored(afterFirst), mirrored(treeDigest(source.libraryFolder)));
    EXPECT_EQ(temporaries(afterFirst), std::vector<std::string>());
    ASSERT_EQ(mirrored(afterFirst).size(), source.mediaPaths.size() + source.artworkPaths.size());

    // The destination's own library file now lists every track, at its own place.
    options.libraryFolder = root.filePath(u"Destination"_s);
    ASSERT_TRUE(writeFile(destination, libraryXml(options)));
    SyncPlan second = plan(source.xmlPath, destination);
    EXPECT_EQ(second.job.tracksToAdd.size(), 0);
    EXPECT_EQ(second.job.tracksToRemove.size(), 0);
    SyncEngine::runSync(second, {});
    const auto afterSecond = treeDigest(root.filePath(u"Destination"_s));
    EXPECT_EQ(mirrored(afterSecond), mirrored(afterFirst));
    EXPECT_EQ(afterSecond.size(), afterFirst.size());
}
