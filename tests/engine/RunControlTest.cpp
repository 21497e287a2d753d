#include "engine/SyncEngine.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

// Four tracks to copy (3, 5, 7 and 9 bytes), two files to remove, and an artwork file.
class RunControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_root.emplace();
        ASSERT_TRUE(m_root->isValid());
        MusicLibrary source{.xmlURL = QUrl::fromLocalFile(at(u"S/Music Library.xml"_s))};
        MusicLibrary destination{.xmlURL = QUrl::fromLocalFile(at(u"D/Music Library.xml"_s))};
        for (int i = 0; i < 4; ++i) {
            const QString name = u"Media/%1.m4a"_s.arg(i);
            ASSERT_TRUE(writeFile(at(u"S/"_s + name), QByteArray(3 + 2 * i, 'a' + char(i))));
            source.tracks.insert(name, Track{.persistentID = name, .location = QUrl::fromLocalFile(at(u"S/"_s + name))});
        }
        for (const QString &name : {u"Media/old1.m4a"_s, u"Media/old2.m4a"_s, u"Media/kept.m4a"_s}) {
            ASSERT_TRUE(writeFile(at(u"D/"_s + name), "old"));
            destination.tracks.insert(name, Track{.persistentID = name, .location = QUrl::fromLocalFile(at(u"D/"_s + name))});
        }
        source.tracks.insert(u"Media/kept.m4a"_s, destination.tracks.value(u"Media/kept.m4a"_s));
        ASSERT_TRUE(writeFile(at(u"S/Album Artwork/a.itc"_s), "art"));
        ASSERT_TRUE(writeFile(at(u"S/Music Library.xml"_s), "s") && writeFile(at(u"D/Music Library.xml"_s), "d"));
        plan = SyncEngine::makePlan(source, destination);
        ASSERT_EQ(plan.bytesToCopy, 3 + 5 + 7 + 9 + 3);
    }

    [[nodiscard]] QString at(const QString &relative) const { return m_root->filePath(relative); }
    /// Every name below D, hidden ones too, sorted.
    [[nodiscard]] QStringList tree() const
    {
        QStringList names;
        QDirIterator it(at(u"D"_s), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            names.append(QDir(at(u"D"_s)).relativeFilePath(it.next()));
        names.sort();
        return names;
    }

    SyncPlan plan;

private:
    std::optional<QTemporaryDir> m_root;
};

} // namespace

TEST_F(RunControlTest, ACancelledRunStopsBeforeItsNextFileLeavingNothingPartial)
{
    // Cancelled before anything, after two copies, after the copies, after a removal.
    for (const qint64 stopAt : {0, 2, 4, 5}) {
        SCOPED_TRACE(stopAt);
        ASSERT_NO_FATAL_FAILURE(SetUp());
        auto cancellation = std::make_shared<std::atomic<bool>>(stopAt == 0);
        std::vector<qint64> counts;
        SyncEngine::runSync(
            plan,
            [&](const SyncJob &job) {
                counts.push_back(job.completedItemCount);
                if (job.completedItemCount == stopAt)
                    cancellation->store(true);
            },
            RunControl{.cancellation = cancellation});

        EXPECT_EQ(plan.job.status, SyncJob::SyncStatus::cancelled);
        EXPECT_FALSE(plan.job.completedAt);
        EXPECT_EQ(plan.job.completedItemCount, stopAt);
        EXPECT_EQ(counts.back(), stopAt) << "the cancelled job is reported once more";
        EXPECT_EQ(plan.outcome.copied, std::min<qint64>(stopAt, 4));
        EXPECT_EQ(plan.outcome.trashed, std::max<qint64>(stopAt - 4, 0));
        EXPECT_EQ(plan.outcome.artworkCopied, 0);
        QStringList expected{u"Media/kept.m4a"_s, u"Music Library.xml"_s};
        for (qint64 i = 0; i < std::min<qint64>(stopAt, 4); ++i)
            expected.append(u"Media/%1.m4a"_s.arg(i));
        expected.sort();
        QStringList files = tree();
        const qsizetype old = files.removeIf([](const QString &name) { return name.startsWith(u"Media/old"_s); });
        EXPECT_EQ(files, expected) << "no temporary, no lock file, nothing beyond what was done";
        EXPECT_EQ(old, stopAt < 5 ? 2 : 1);
    }
}

TEST_F(RunControlTest, ACompletedRunReportsItsBytesAndListsWhatItCopied)
{
    std::vector<TransferProgress> transfers;
    SyncEngine::runSync(plan, {}, RunControl{.transfer = [&](const TransferProgress &t) { transfers.push_back(t); }});

    ASSERT_EQ(transfers.size(), 6u) << "before each of five files, and once at the end";
    std::vector<qint64> done;
    for (const TransferProgress &transfer : transfers) {
        EXPECT_EQ(transfer.bytesTotal, 27);
        done.push_back(transfer.bytesDone);
    }
    EXPECT_EQ(done, (std::vector<qint64>{0, 3, 8, 15, 24, 27}));
    EXPECT_EQ(transfers.front().currentFile, plan.copies.front().source);
    EXPECT_TRUE(transfers.back().currentFile.isEmpty());
    EXPECT_EQ(plan.job.completedItemCount, plan.job.totalItemCount);
    EXPECT_EQ(plan.outcome.bytesCopied, 24);
    EXPECT_EQ(plan.outcome.artworkCopied, 1);

    QByteArray expected = "#EXTM3U\n";
    for (int i = 0; i < 4; ++i)
        expected += at(u"D/Media/%1.m4a"_s.arg(i)).toUtf8() + '\n';
    EXPECT_EQ(plan.importList(), expected);

    // Speed and time left wait for half a second of measurement.
    EXPECT_FALSE((TransferProgress{.bytesDone = 10, .bytesTotal = 30, .elapsedMs = 499}.bytesPerSecond()));
    const TransferProgress measured{.bytesDone = 1000, .bytesTotal = 4000, .elapsedMs = 2000};
    EXPECT_EQ(measured.bytesPerSecond(), 500.0);
    EXPECT_EQ(measured.secondsLeft(), 6);
}
