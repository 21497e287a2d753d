#include "engine/SyncEngine.h"

#include "engine/EngineTestSupport.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::testing;

namespace {

class ArtworkTest : public LibraryFoldersTest
{
protected:
    [[nodiscard]] QString artwork(const QString &relative) const { return sourcePath(u"Album Artwork/"_s + relative); }
    [[nodiscard]] QString mirror(const QString &relative) const { return destinationPath(u"Album Artwork/"_s + relative); }

    const QDateTime stamp = QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
};

} // namespace

TEST_F(ArtworkTest, NoSourceArtworkFolderCreatesNothing)
{
    SyncJob run = job();
    SyncEngine::runSync(run, record);

    EXPECT_EQ(run.status, SyncJob::SyncStatus::completed);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(destinationPath(u"Album Artwork"_s)));
}

TEST_F(ArtworkTest, MirrorsVisibleFilesWithoutReporting)
{
    ASSERT_TRUE(writeFile(artwork(u"top.itc"_s), "top"));
    ASSERT_TRUE(writeFile(artwork(u"Cache/0A/1B/deep.itc"_s), "deep"));
    ASSERT_TRUE(writeFile(artwork(u".hidden.itc"_s), "hidden"));
    ASSERT_TRUE(writeFile(artwork(u"Cache/.DS_Store"_s), "hidden"));
    ASSERT_TRUE(writeFile(artwork(u".Hidden/inner.itc"_s), "hidden"));
    ASSERT_TRUE(QDir().mkpath(artwork(u"Empty/Nested"_s)));
    ASSERT_TRUE(writeFile(mirror(u"only-here.itc"_s), "mine"));
    SyncJob run = job();

    SyncEngine::runSync(run, record);

    EXPECT_EQ(run.status, SyncJob::SyncStatus::completed);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(run.completedItemCount, 0);
    EXPECT_EQ(contentsOf(mirror(u"top.itc"_s)), QByteArray("top"));
    EXPECT_EQ(contentsOf(mirror(u"Cache/0A/1B/deep.itc"_s)), QByteArray("deep"));
    EXPECT_EQ(contentsOf(mirror(u"only-here.itc"_s)), QByteArray("mine"));
    for (const QString &absent : {u".hidden.itc"_s, u"Cache/.DS_Store"_s, u".Hidden"_s, u"Empty"_s}) {
        SCOPED_TRACE(absent.toStdString());
        EXPECT_FALSE(QFileInfo::exists(mirror(absent)));
    }
}

TEST_F(ArtworkTest, CopiesOnlyWhatIsMissingOrOlder)
{
    const struct {
        QString name;
        std::optional<qint64> targetOffsetMs; // the target's date relative to the source's
        bool replaced;
    } cases[] = {
        {u"missing.itc"_s, std::nullopt, true},
        {u"older.itc"_s, -3600 * 1000, true},
        {u"older-by-a-millisecond.itc"_s, -1, true},
        {u"same.itc"_s, 0, false},
        {u"newer.itc"_s, 3600 * 1000, false},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(writeFile(artwork(c.name), "new"));
        ASSERT_TRUE(setModified(artwork(c.name), stamp));
        if (c.targetOffsetMs) {
            ASSERT_TRUE(writeFile(mirror(c.name), "old"));
            ASSERT_TRUE(setModified(mirror(c.name), stamp.addMSecs(*c.targetOffsetMs)));
        }
    }

    SyncEngine::syncArtwork(job());

    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(contentsOf(mirror(c.name)), QByteArray(c.replaced ? "new" : "old"));
    }
    // A copy keeps the source's date, so a second pass leaves every target alone.
    ASSERT_TRUE(writeFile(mirror(u"missing.itc"_s), "edited"));
    ASSERT_TRUE(setModified(mirror(u"missing.itc"_s), stamp));
    SyncEngine::syncArtwork(job());
    EXPECT_EQ(contentsOf(mirror(u"missing.itc"_s)), QByteArray("edited"));
    // A date that cannot be read forces the copy.
    EXPECT_TRUE(SyncEngine::needsCopy(artwork(u"gone.itc"_s), mirror(u"same.itc"_s)));
}

TEST_F(ArtworkTest, EmptySourceFolderStillCreatesTheTarget)
{
    ASSERT_TRUE(QDir().mkpath(artwork(QString())));
    SyncEngine::syncArtwork(job());
    EXPECT_TRUE(QFileInfo(mirror(QString())).isDir());
}

TEST_F(ArtworkTest, TargetThatIsAFolderFailsTheRunAndStays)
{
    ASSERT_TRUE(writeFile(artwork(u"x.itc"_s), "x"));
    ASSERT_TRUE(writeFile(mirror(u"x.itc/keep.txt"_s), "keep"));
    ASSERT_TRUE(setModified(mirror(u"x.itc"_s), stamp));
    SyncJob run = job();

    try {
        SyncEngine::runSync(run, record);
        FAIL() << "the mirror went through a folder in the way";
    } catch (const FileSystemError &error) {
        EXPECT_TRUE(error.description().contains(mirror(u"x.itc"_s))) << error.what();
    }
    EXPECT_EQ(contentsOf(mirror(u"x.itc/keep.txt"_s)), QByteArray("keep"));
    EXPECT_EQ(run.status, SyncJob::SyncStatus::transferring);
    EXPECT_TRUE(reports.empty());
}

TEST_F(ArtworkTest, TargetInsideTheSourceIsNotWalkedIntoItself)
{
    ASSERT_TRUE(writeFile(artwork(u"a.itc"_s), "a"));
    SyncEngine::syncDirectory(artwork(QString()), artwork(u"Mirror"_s));
    EXPECT_EQ(contentsOf(artwork(u"Mirror/a.itc"_s)), QByteArray("a"));
    EXPECT_FALSE(QFileInfo::exists(artwork(u"Mirror/Mirror"_s)));
}
