#include "engine/SyncEngine.h"

#include "engine/EngineTestSupport.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::testing;

namespace {

using SyncRunTest = LibraryFoldersTest;

using Status = SyncJob::SyncStatus;

} // namespace

TEST_F(SyncRunTest, ReportsEachCopyRemovalAndUpdateThenTheEnd)
{
    ASSERT_TRUE(writeFile(sourcePath(u"Media/a.m4a"_s), "A"));
    ASSERT_TRUE(writeFile(sourcePath(u"Media/b.m4a"_s), "B"));
    ASSERT_TRUE(writeFile(destinationPath(u"Media/old.m4a"_s), "old"));
    SyncJob run = job({track(u"A"_s, fileUrl(sourcePath(u"Media/a.m4a"_s))),
                       track(u"B"_s, fileUrl(sourcePath(u"Media/b.m4a"_s)))},
                      {track(u"O"_s, fileUrl(destinationPath(u"Media/old.m4a"_s)))},
                      {track(u"U1"_s), track(u"U2"_s), track(u"U3"_s)});

    SyncEngine::runSync(run, record);

    EXPECT_EQ(reportedCounts(), (std::vector<qint64>{1, 2, 3, 4, 5, 6, 6}));
    ASSERT_EQ(reports.size(), 7u);
    for (size_t i = 0; i + 1 < reports.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reports[i].status, Status::transferring);
        EXPECT_FALSE(reports[i].completedAt.has_value());
    }
    EXPECT_EQ(reports.back().status, Status::completed);
    EXPECT_TRUE(reports.back().completedAt.has_value());
    EXPECT_EQ(run.status, Status::completed);
    EXPECT_TRUE(run.completedAt.has_value());
    EXPECT_EQ(run.completedItemCount, 6);
    EXPECT_EQ(run.totalItemCount, 6);
    EXPECT_EQ(contentsOf(destinationPath(u"Media/a.m4a"_s)), QByteArray("A"));
    EXPECT_EQ(contentsOf(destinationPath(u"Media/b.m4a"_s)), QByteArray("B"));
    EXPECT_FALSE(QFileInfo::exists(destinationPath(u"Media/old.m4a"_s)));
    EXPECT_EQ(contentsOf(sourcePath(u"Media/a.m4a"_s)), QByteArray("A"));
}

TEST_F(SyncRunTest, PlacesTracksByPathComponentsReplacingWhatIsThere)
{
    const QString withDots = sourceFolder + u"/../../Escape/03 T.m4a"_s;
    ASSERT_TRUE(fileUrl(withDots).path().contains(u"/../"_s));
    QUrl localhost = fileUrl(sourcePath(u"Media/04 T.m4a"_s));
    localhost.setHost(u"localhost"_s);
    const struct {
        QString file;
        QUrl location;
        QString target;
    } cases[] = {
        {sourcePath(u"Media/Music/A/X/01 T.m4a"_s), fileUrl(sourcePath(u"Media/Music/A/X/01 T.m4a"_s)),
         destinationPath(u"Media/Music/A/X/01 T.m4a"_s)},
        {sourceFolder + u"2/02 T.m4a"_s, fileUrl(sourceFolder + u"2/02 T.m4a"_s), destinationPath(u"02 T.m4a"_s)},
        {rootPath(u"Escape/03 T.m4a"_s), fileUrl(withDots), destinationPath(u"03 T.m4a"_s)},
        {sourcePath(u"Media/04 T.m4a"_s), localhost, destinationPath(u"Media/04 T.m4a"_s)},
        // Two files of one name from outside B: the second replaces the first.
        {rootPath(u"One/05 T.m4a"_s), fileUrl(rootPath(u"One/05 T.m4a"_s)), QString()},
        {rootPath(u"Two/05 T.m4a"_s), fileUrl(rootPath(u"Two/05 T.m4a"_s)), destinationPath(u"05 T.m4a"_s)},
    };
    ASSERT_TRUE(writeFile(destinationPath(u"Media/04 T.m4a"_s), "an older and longer copy"));
    QList<Track> toAdd;
    for (const auto &c : cases) {
        ASSERT_TRUE(writeFile(c.file, c.file.toUtf8()));
        toAdd.append(track(c.file, c.location));
    }
    SyncJob run = job(toAdd);

    SyncEngine::runSync(run, record);

    EXPECT_EQ(run.status, Status::completed);
    EXPECT_EQ(reportedCounts(), (std::vector<qint64>{1, 2, 3, 4, 5, 6, 6}));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.location.toString().toStdString());
        if (!c.target.isEmpty()) {
            EXPECT_EQ(contentsOf(c.target), c.file.toUtf8());
        }
    }
    EXPECT_FALSE(QFileInfo::exists(destinationPath(u"2"_s)));
    EXPECT_EQ(QDir(rootPath(u"Destination"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{u"Music"_s});
    EXPECT_EQ(QDir(destinationPath(u"Media"_s)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{u"04 T.m4a"_s, u"Music"_s}));
}

TEST_F(SyncRunTest, KeepsOldTargetWhenCopyFails)
{
    ASSERT_TRUE(writeFile(destinationPath(u"Media/a.m4a"_s), "old"));
    SyncJob run = job({track(u"A"_s, fileUrl(sourcePath(u"Media/a.m4a"_s)))}, {}, {track(u"U"_s)});

    EXPECT_THROW(SyncEngine::runSync(run, record), FileSystemError);

    EXPECT_EQ(contentsOf(destinationPath(u"Media/a.m4a"_s)), QByteArray("old"));
    EXPECT_EQ(QDir(destinationPath(u"Media"_s)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"a.m4a"_s});
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(run.status, Status::transferring);
    EXPECT_EQ(run.completedItemCount, 0);
    EXPECT_FALSE(run.completedAt.has_value());
}

TEST_F(SyncRunTest, FailsOnATargetThatIsAFolderAndKeepsIt)
{
    ASSERT_TRUE(writeFile(sourcePath(u"Media/a.m4a"_s), "A"));
    ASSERT_TRUE(writeFile(sourcePath(u"Media/b.m4a"_s), "B"));
    ASSERT_TRUE(writeFile(destinationPath(u"Media/b.m4a/inside.txt"_s), "keep"));
    SyncJob run = job({track(u"A"_s, fileUrl(sourcePath(u"Media/a.m4a"_s))),
                       track(u"B"_s, fileUrl(sourcePath(u"Media/b.m4a"_s)))});

    try {
        SyncEngine::runSync(run, record);
        FAIL() << "the run went through a folder in the way";
    } catch (const FileSystemError &error) {
        EXPECT_TRUE(error.description().contains(destinationPath(u"Media/b.m4a"_s))) << error.what();
    }
    EXPECT_EQ(contentsOf(destinationPath(u"Media/b.m4a/inside.txt"_s)), QByteArray("keep"));
    EXPECT_EQ(reportedCounts(), std::vector<qint64>{1});
    EXPECT_EQ(run.completedItemCount, 1);
    EXPECT_EQ(run.status, Status::transferring);
}

TEST_F(SyncRunTest, CopyOntoItselfLeavesTheFileIntact)
{
    ASSERT_TRUE(writeFile(sourcePath(u"Media/a.m4a"_s), "precious"));
    SyncJob run = job({track(u"A"_s, fileUrl(sourcePath(u"Media/a.m4a"_s)))});
    run.destinationLibraryPath = run.sourceLibraryPath;

    SyncEngine::runSync(run, record);

    EXPECT_EQ(run.status, Status::completed);
    EXPECT_EQ(contentsOf(sourcePath(u"Media/a.m4a"_s)), QByteArray("precious"));
    EXPECT_EQ(QDir(sourcePath(u"Media"_s)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{u"a.m4a"_s});
}

TEST_F(SyncRunTest, CountsTracksWithoutLocalMediaSilently)
{
    ASSERT_TRUE(writeFile(sourcePath(u"Media/a.m4a"_s), "A"));
    ASSERT_TRUE(writeFile(rootPath(u"share/x.m4a"_s), "remote"));
    QUrl remote = fileUrl(rootPath(u"share/x.m4a"_s));
    remote.setHost(u"server"_s);
    const QList<std::optional<QUrl>> locations = {
        std::nullopt,
        std::optional(QUrl(u"http://example.com/stream.mp3"_s)),
        std::optional(remote),
        std::optional(QUrl(u"file://"_s + QString::fromUtf8(QUrl::toPercentEncoding(rootPath(u"share/x.m4a"_s), "/")) + u"%00.txt"_s)),
    };
    QList<Track> toAdd;
    QList<Track> toRemove;
    for (const std::optional<QUrl> &location : locations) {
        toAdd.append(track(u"add"_s, location));
        toRemove.append(track(u"remove"_s, location));
    }
    toAdd.append(track(u"A"_s, fileUrl(sourcePath(u"Media/a.m4a"_s))));
    SyncJob run = job(toAdd, toRemove);

    SyncEngine::runSync(run, record);

    EXPECT_EQ(reportedCounts(), (std::vector<qint64>{5, 9}));
    EXPECT_EQ(run.status, Status::completed);
    EXPECT_EQ(contentsOf(rootPath(u"share/x.m4a"_s)), QByteArray("remote"));
    EXPECT_EQ(QDir(destinationFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"Media"_s});
}

TEST_F(SyncRunTest, RemovesOnlyFilesInsideTheDestinationFolder)
{
    ASSERT_TRUE(writeFile(rootPath(u"Elsewhere/keep.m4a"_s), "keep"));
    ASSERT_TRUE(writeFile(rootPath(u"Elsewhere/linked.m4a"_s), "linked"));
    ASSERT_TRUE(writeFile(destinationPath(u"Media/Folder/inside.m4a"_s), "inside"));
    ASSERT_TRUE(writeFile(destinationPath(u"Media/real.m4a"_s), "real"));
    ASSERT_TRUE(QFile::link(rootPath(u"Elsewhere/linked.m4a"_s), destinationPath(u"Media/link.m4a"_s)));
    const QList<Track> toRemove = {
        track(u"missing"_s, fileUrl(destinationPath(u"Media/gone.m4a"_s))),
        track(u"outside"_s, fileUrl(rootPath(u"Elsewhere/keep.m4a"_s))),
        track(u"dots"_s, fileUrl(destinationFolder + u"/../../Elsewhere/keep.m4a"_s)),
        track(u"folder"_s, fileUrl(destinationPath(u"Media/Folder"_s))),
        track(u"library folder"_s, fileUrl(destinationFolder)),
        track(u"link"_s, fileUrl(destinationPath(u"Media/link.m4a"_s))),
        track(u"real"_s, fileUrl(destinationPath(u"Media/real.m4a"_s))),
    };
    SyncJob run = job({}, toRemove);

    SyncEngine::runSync(run, record);

    EXPECT_EQ(reportedCounts(), (std::vector<qint64>{6, 7, 7}));
    EXPECT_EQ(run.status, Status::completed);
    EXPECT_EQ(contentsOf(rootPath(u"Elsewhere/keep.m4a"_s)), QByteArray("keep"));
    EXPECT_EQ(contentsOf(rootPath(u"Elsewhere/linked.m4a"_s)), QByteArray("linked"));
    EXPECT_EQ(contentsOf(destinationPath(u"Media/Folder/inside.m4a"_s)), QByteArray("inside"));
    EXPECT_FALSE(QFileInfo(destinationPath(u"Media/link.m4a"_s)).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(destinationPath(u"Media/real.m4a"_s)));
}

TEST_F(SyncRunTest, KeepsTheFileOfAReimportedTrack)
{
    // The source re-imported the track under a new ID: the old entry goes, its file stays as the new one's.
    ASSERT_TRUE(writeFile(sourcePath(u"Media/a.m4a"_s), "new"));
    ASSERT_TRUE(writeFile(destinationPath(u"Media/a.m4a"_s), "old"));
    SyncJob run = job({track(u"NEW"_s, fileUrl(sourcePath(u"Media/a.m4a"_s)))},
                      {track(u"OLD"_s, fileUrl(destinationPath(u"Media/./a.m4a"_s)))});

    SyncEngine::runSync(run, record);

    EXPECT_EQ(contentsOf(destinationPath(u"Media/a.m4a"_s)), QByteArray("new"));
    EXPECT_EQ(reportedCounts(), (std::vector<qint64>{1, 2}));
}

TEST_F(SyncRunTest, StopsWhereATargetFolderCannotBeMade)
{
    ASSERT_TRUE(writeFile(sourcePath(u"a.m4a"_s), "A"));
    ASSERT_TRUE(writeFile(sourcePath(u"Media/b.m4a"_s), "B"));
    ASSERT_TRUE(writeFile(sourcePath(u"c.m4a"_s), "C"));
    ASSERT_TRUE(writeFile(destinationPath(u"Media"_s), "a file in the way"));
    SyncJob run = job({track(u"A"_s, fileUrl(sourcePath(u"a.m4a"_s))),
                       track(u"B"_s, fileUrl(sourcePath(u"Media/b.m4a"_s))),
                       track(u"C"_s, fileUrl(sourcePath(u"c.m4a"_s)))});

    try {
        SyncEngine::runSync(run, record);
        FAIL() << "the run made a folder where a file is";
    } catch (const FileSystemError &error) {
        EXPECT_TRUE(error.description().contains(destinationPath(u"Media"_s))) << error.what();
    }
    EXPECT_EQ(contentsOf(destinationPath(u"Media"_s)), QByteArray("a file in the way"));
    EXPECT_FALSE(QFileInfo::exists(destinationPath(u"c.m4a"_s)));
    EXPECT_EQ(reportedCounts(), std::vector<qint64>{1});
    EXPECT_EQ(run.status, Status::transferring);
}

TEST_F(SyncRunTest, ReadOnlyTargetFolderFailsWithTheSystemsReason)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    ASSERT_TRUE(writeFile(sourcePath(u"a.m4a"_s), "A"));
    ASSERT_TRUE(writeFile(sourcePath(u"Locked/b.m4a"_s), "B"));
    ASSERT_TRUE(QDir().mkpath(destinationPath(u"Locked"_s)));
    QFile locked(destinationPath(u"Locked"_s));
    ASSERT_TRUE(locked.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    SyncJob run = job({track(u"A"_s, fileUrl(sourcePath(u"a.m4a"_s))),
                       track(u"B"_s, fileUrl(sourcePath(u"Locked/b.m4a"_s)))});

    try {
        SyncEngine::runSync(run, record);
        ADD_FAILURE() << "the run wrote into a read-only folder";
    } catch (const FileSystemError &error) {
        EXPECT_TRUE(error.description().contains(u"Permission denied"_s)) << error.what();
    }
    ASSERT_TRUE(locked.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    EXPECT_EQ(reportedCounts(), std::vector<qint64>{1});
    EXPECT_EQ(run.completedItemCount, 1);
    EXPECT_EQ(run.status, Status::transferring);
    EXPECT_FALSE(QFileInfo::exists(destinationPath(u"Locked/b.m4a"_s)));
}

TEST_F(SyncRunTest, PlaylistOnlyJobCompletesShortOfItsTotal)
{
    Playlist playlist;
    playlist.persistentID = u"P"_s;
    SyncJob run = job({}, {}, {}, {playlist});

    SyncEngine::runSync(run, record);

    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.front().status, Status::completed);
    EXPECT_EQ(run.completedItemCount, 0);
    EXPECT_EQ(run.totalItemCount, 1);
}

TEST_F(SyncRunTest, PerformSyncYieldsTheJobAsTheRunLeftIt)
{
    ASSERT_TRUE(writeFile(sourcePath(u"a.m4a"_s), "A"));
    SyncEngine engine;
    const SyncJob finished = engine.performSync(job({track(u"A"_s, fileUrl(sourcePath(u"a.m4a"_s)))}), record).result();
    EXPECT_EQ(finished.status, Status::completed);
    EXPECT_EQ(finished.completedItemCount, 1);
    EXPECT_EQ(reportedCounts(), (std::vector<qint64>{1, 1}));
    EXPECT_EQ(contentsOf(destinationPath(u"a.m4a"_s)), QByteArray("A"));

    QFuture<SyncJob> failing = engine.performSync(job({track(u"B"_s, fileUrl(sourcePath(u"missing.m4a"_s)))}), {});
    EXPECT_THROW(failing.waitForFinished(), FileSystemError);
}
