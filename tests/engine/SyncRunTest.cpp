#include "engine/SyncEngine.h"
#include "platform/FileSystem.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

/// A track with nothing but an ID and a location.
Track track(const QString &persistentID, std::optional<QUrl> location = std::nullopt)
{
    return Track{.persistentID = persistentID, .location = std::move(location)};
}

QUrl fileUrl(const QString &path) { return QUrl::fromLocalFile(path); }

/// Sets the modification time of the item at `path`, a folder too; false when that fails.
[[nodiscard]] bool setModified(const QString &path, const QDateTime &when)
{
    const qint64 ms = when.toMSecsSinceEpoch();
    const timespec time{time_t(ms / 1000), long(ms % 1000) * 1000000};
    const timespec times[2] = {time, time};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

/// A temporary folder holding a source library folder B and a destination library folder D.
class SyncRunTest : public TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(sourceFolder) && QDir().mkpath(destinationFolder));
    }

    [[nodiscard]] QString sourcePath(const QString &relative) const { return sourceFolder + u'/' + relative; }
    [[nodiscard]] QString destinationPath(const QString &relative) const { return destinationFolder + u'/' + relative; }
    /// A track whose media is B/`path`.
    [[nodiscard]] Track sourceTrack(const QString &path) const { return track(path, fileUrl(sourcePath(path))); }

    /// The plan of a pending job from B to D holding the given lists, its locations read as recorded.
    [[nodiscard]] SyncPlan plan(QList<Track> toAdd = {}, QList<Track> toRemove = {}, QList<Track> toUpdate = {},
                                QList<Playlist> playlists = {}) const
    {
        const qint64 total = toAdd.size() + toRemove.size() + toUpdate.size() + playlists.size();
        const QUrl from = fileUrl(sourceFolder);
        const QUrl to = fileUrl(destinationFolder);
        return SyncEngine::planJob(SyncJob{.sourceLibraryPath = from, .destinationLibraryPath = to, .tracksToAdd = toAdd,
                                           .tracksToRemove = toRemove, .tracksToUpdate = toUpdate,
                                           .playlistsToSync = playlists, .totalItemCount = total},
                                   LocationResolver(from), LocationResolver(to));
    }

    const QString sourceFolder = at(u"Source/Music"_s);
    const QString destinationFolder = at(u"Destination/Music"_s);
    /// The completedItemCount of every snapshot reported, in order.
    std::vector<qint64> counts;
    const std::function<void(const SyncJob &)> record = [this](const SyncJob &snapshot) {
        counts.push_back(snapshot.completedItemCount);
    };
};

} // namespace

TEST_F(SyncRunTest, TouchesOnlyLocalMediaAndRemovesOnlyFilesInsideTheDestination)
{
    const QString elsewhere = QDir::cleanPath(destinationFolder + u"/../Elsewhere"_s);
    ASSERT_TRUE(writeFile(elsewhere + u"/keep.m4a"_s, "keep") && writeFile(elsewhere + u"/linked.m4a"_s, "linked"));
    ASSERT_TRUE(writeFile(destinationPath(u"Folder/inside.m4a"_s), "inside"));
    ASSERT_TRUE(writeFile(destinationPath(u"real.m4a"_s), "real") && writeFile(destinationFolder + u"2/x.m4a"_s, "x"));
    ASSERT_TRUE(writeFile(sourcePath(u"a.m4a"_s), "new") && writeFile(destinationPath(u"a.m4a"_s), "old"));
    ASSERT_TRUE(QFile::link(elsewhere + u"/linked.m4a"_s, destinationPath(u"link.m4a"_s)));
    QUrl remote = fileUrl(elsewhere + u"/keep.m4a"_s);
    remote.setHost(u"server"_s);
    // The source re-imported a.m4a under a new ID: the old entry goes, its file stays as the new one's.
    const QList<Track> toAdd{track(u"add"_s), track(u"add"_s, remote), sourceTrack(u"a.m4a"_s)};
    QList<Track> toRemove{track(u"remove"_s), track(u"remove"_s, remote)};
    for (const QString &path : {destinationPath(u"gone.m4a"_s), elsewhere + u"/keep.m4a"_s,
                                destinationFolder + u"2/x.m4a"_s, destinationFolder + u"/../Elsewhere/keep.m4a"_s,
                                destinationPath(u"Folder"_s), destinationFolder, destinationPath(u"./a.m4a"_s),
                                destinationPath(u"link.m4a"_s), destinationPath(u"real.m4a"_s)}) {
        toRemove.append(track(path, fileUrl(path)));
    }
    SyncPlan run = plan(toAdd, toRemove, {track(u"U"_s)}, {Playlist{.persistentID = u"P"_s}});

    SyncEngine::runSync(run, record);

    // By ID: the copy first, two adds without local media counted silently; of the eleven removals
    // (the link and the real file 7th and 8th) two made, nine kept silently; the update and the
    // playlist, listed and never written, each count as done, so the end reads 100 %.
    EXPECT_EQ(counts, (std::vector<qint64>{1, 10, 11, 15, 16, 16}));
    EXPECT_EQ(namesIn(elsewhere), "keep.m4a|linked.m4a");
    EXPECT_EQ(namesIn(destinationFolder + u"2"_s), "x.m4a");
    EXPECT_EQ(namesIn(destinationPath(u"Folder"_s)), "inside.m4a");
    EXPECT_EQ(namesIn(destinationFolder), "Folder|a.m4a");
    EXPECT_EQ(contentsOf(destinationPath(u"a.m4a"_s)), QByteArray("new"));
}

TEST_F(SyncRunTest, MirrorsVisibleArtworkThatIsMissingOrOlderWithoutReporting)
{
    const auto artwork = [this](const QString &path) { return sourcePath(u"Album Artwork/"_s + path); };
    const auto mirror = [this](const QString &path) { return destinationPath(u"Album Artwork/"_s + path); };
    const QDateTime stamp(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    // The target's date against the source's (nothing: no target), and whether the target is replaced.
    const struct { QString name; std::optional<qint64> offsetMs; bool replaced; } cases[] = {
        {u"Cache/0A/missing.itc"_s, std::nullopt, true},
        {u"older.itc"_s, -1, true},
        {u"same.itc"_s, 0, false},
        {u"newer.itc"_s, 3600 * 1000, false},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(writeFile(artwork(c.name), "new") && setModified(artwork(c.name), stamp));
        if (c.offsetMs) {
            ASSERT_TRUE(writeFile(mirror(c.name), "old") && setModified(mirror(c.name), stamp.addMSecs(*c.offsetMs)));
        }
    }
    for (const QString &hidden : {u".hidden.itc"_s, u".Hidden/inner.itc"_s})
        ASSERT_TRUE(writeFile(artwork(hidden), "hidden"));
    ASSERT_TRUE(writeFile(mirror(u"only-here.itc"_s), "mine"));
    SyncPlan run = plan();

    SyncEngine::runSync(run, record);

    EXPECT_EQ(counts, std::vector<qint64>{0});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(contentsOf(mirror(c.name)), QByteArray(c.replaced ? "new" : "old"));
    }
    // A copy keeps the source's date, so the next pass finds the pair alike and copies nothing.
    EXPECT_EQ(QFileInfo(mirror(u"older.itc"_s)).lastModified(), stamp);
    EXPECT_EQ(namesIn(mirror(QString())), "Cache|newer.itc|older.itc|only-here.itc|same.itc");
    // A date that cannot be read forces the copy.
    EXPECT_TRUE(SyncEngine::needsCopy(artwork(u"gone.itc"_s), mirror(u"same.itc"_s)));
    // A mirror inside its own source must not feed the walk its own copies.
    const QList<SyncPlan::ArtworkCopy> inside = SyncEngine::planArtwork(sourcePath(u"Album Artwork"_s), artwork(u"Cache"_s));
    ASSERT_EQ(inside.size(), 3);
}

// A track copy failing midway is ConcurrentCopyTest's; the artwork stage must stop the run alike.
TEST_F(SyncRunTest, AFailingArtworkCopyStopsTheRunKeepingWhatIsInTheWay)
{
    ASSERT_TRUE(writeFile(sourcePath(u"0.m4a"_s), "A") && writeFile(sourcePath(u"Album Artwork/x.itc"_s), "x"));
    const QString inTheWay = destinationPath(u"Album Artwork/x.itc"_s);
    ASSERT_TRUE(writeFile(inTheWay + u"/keep"_s, "keep"));
    SyncPlan run = plan({sourceTrack(u"0.m4a"_s)});
    EXPECT_TRUE(errorOf<FileSystemError>([&] { SyncEngine::runSync(run, record); }).contains(u'"' + inTheWay + u'"'));
    EXPECT_EQ(contentsOf(inTheWay + u"/keep"_s), QByteArray("keep"));
    EXPECT_TRUE(run.job.status == SyncJob::SyncStatus::transferring && run.job.completedItemCount == 1);
}
