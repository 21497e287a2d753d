#include "engine/SyncEngine.h"
#include "hardening/HardeningSupport.h"
#include "platform/FileSystem.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <numeric>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::hardening;

namespace {

constexpr int copiesAtOnce = 4;

// Source S holds `count` tracks, "Media/0000/t.m4a" on, each in a folder of its own and of a size
// of its own, so that copies end out of order; the plan copies them in that order. D holds an
// older file at every third target, and `removals` files "Old/0.m4a" on that only it lists.
class ConcurrentCopyTest : public test::TemporaryFolderTest
{
protected:
    [[nodiscard]] static QString media(int i) { return u"Media/%1/t.m4a"_s.arg(i, 4, 10, QChar(u'0')); }

    [[nodiscard]] SyncPlan makeTree(int count, int artworkFiles = 0, int removals = 0)
    {
        MusicLibrary sourceLibrary{.xmlURL = QUrl::fromLocalFile(source + u"/Music Library.xml"_s)};
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(writeFile(source + u'/' + media(i), QByteArray(1 + (i * 7919) % 50'000, char('a' + i % 26))));
            if (i % 3 == 0) {
                EXPECT_TRUE(writeFile(destination + u'/' + media(i), "old " + media(i).toUtf8()));
            }
            sourceLibrary.tracks.insert(media(i), Track{.persistentID = media(i),
                                                        .location = QUrl::fromLocalFile(source + u'/' + media(i))});
        }
        for (int i = 0; i < artworkFiles; ++i)
            EXPECT_TRUE(writeFile(source + u"/Album Artwork/%1.itc"_s.arg(i), QByteArray(100 * (i + 1), 'x')));
        MusicLibrary destinationLibrary{.xmlURL = QUrl::fromLocalFile(destination + u"/Music Library.xml"_s)};
        for (int i = 0; i < removals; ++i) {
            const QString old = destination + u"/Old/%1.m4a"_s.arg(i);
            EXPECT_TRUE(writeFile(old, "old"));
            destinationLibrary.tracks.insert(old, Track{.persistentID = old, .location = QUrl::fromLocalFile(old)});
        }
        return SyncEngine::makePlan(sourceLibrary, destinationLibrary);
    }

    // The files below D that changed since `before`, sorted; each must be a whole copy, and no
    // temporary may be left.
    [[nodiscard]] QStringList wholeCopiesSince(const QMap<QString, QByteArray> &before) const
    {
        const auto now = treeDigest(destination);
        const auto copies = treeDigest(source);
        EXPECT_EQ(temporaries(now), QStringList());
        QStringList changed;
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            if (before.value(it.key()) != it.value()) {
                EXPECT_EQ(it.value(), copies.value(it.key())) << it.key().toStdString();
                changed.append(destination + u'/' + it.key());
            }
        }
        changed.sort();
        return changed;
    }

    const QString source = at(u"S"_s);
    const QString destination = at(u"D"_s);
};

using RunControlTest = ConcurrentCopyTest;

} // namespace

TEST_F(ConcurrentCopyTest, CopiesAtOnceLeaveWhatOneAtATimeLeavesAndCountTheSame)
{
    std::optional<std::vector<qint64>> serialCounts;
    for (const int atOnce : {1, copiesAtOnce}) {
        SCOPED_TRACE(atOnce);
        ASSERT_TRUE(QDir(destination).removeRecursively() && QDir(source).removeRecursively());
        SyncPlan plan = makeTree(40, 6);
        // A track whose file is gone is counted without a copy, in its place.
        plan.copies[7].kind = SyncPlan::Copy::Kind::missing;
        std::vector<qint64> counts;
        SyncEngine::runSync(
            plan, [&](const SyncJob &job) { counts.push_back(job.completedItemCount); },
            RunControl{.copiesAtOnce = atOnce});

        EXPECT_EQ(plan.job.status, SyncJob::SyncStatus::completed);
        EXPECT_EQ(plan.job.completedItemCount, 40);
        EXPECT_EQ(plan.outcome.copied, 39);
        EXPECT_EQ(plan.outcome.bytesCopied, plan.bytesToCopy - plan.copies[7].size - 6 * 350);
        EXPECT_EQ(plan.outcome.artworkCopied, 6);
        auto expected = treeDigest(source);
        expected.remove(media(7));
        EXPECT_EQ(treeDigest(destination), expected);
        if (!serialCounts)
            serialCounts = counts;
        EXPECT_EQ(counts, *serialCounts) << "one report per copied file, each counting one more";
    }
}

TEST_F(ConcurrentCopyTest, AFailureInTheMiddleOfABatchStopsTheRunAndLeavesNothingPartial)
{
    constexpr int failing = 10;
    struct Row
    {
        const char *what;
        /// Breaks the copy of `failing`, given S and D.
        std::function<bool(const QString &, const QString &)> inject;
    };
    const Row rows[] = {
        {"its source vanished", [](const QString &from, const QString &) { return QFile::remove(from + u'/' + media(failing)); }},
        {"a file where its folder goes",
         [](const QString &, const QString &to) {
             return writeFile(to + u'/' + media(failing).section(u'/', 0, 1), "in the way");
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(QDir(destination).removeRecursively() && QDir(source).removeRecursively());
        SyncPlan plan = makeTree(failing + 20);
        ASSERT_TRUE(row.inject(source, destination));
        const auto before = treeDigest(destination);
        std::vector<qint64> counts;
        qsizetype startsAfterFailing = -1;
        const RunControl control{
            .transfer =
                [&](const TransferProgress &transfer) {
                    if (transfer.currentFile == source + u'/' + media(failing + 1))
                        // Time for the failing copy to end before the run decides on the next.
                        QThread::msleep(100);
                    if (startsAfterFailing >= 0 && !transfer.currentFile.isEmpty())
                        ++startsAfterFailing;
                    if (transfer.currentFile == source + u'/' + media(failing))
                        startsAfterFailing = 0;
                },
            .copiesAtOnce = copiesAtOnce};

        const QString sentence = test::errorOf<FileSystemError>([&] {
            SyncEngine::runSync(plan, [&](const SyncJob &job) { counts.push_back(job.completedItemCount); }, control);
        });

        EXPECT_TRUE(sentence.contains(media(failing).section(u'/', 0, 1))) << sentence.toStdString();
        std::vector<qint64> prefix(failing);
        std::iota(prefix.begin(), prefix.end(), 1);
        EXPECT_EQ(counts, prefix) << "every file before the failing one, counted once each";
        EXPECT_LT(startsAfterFailing, copiesAtOnce) << "at most the copies under way beside it";
        // Copies under way beside the failing one may finish: whole, and never counted.
        const QStringList changed = wholeCopiesSince(before);
        for (const QString &target : plan.copiedTargets())
            EXPECT_TRUE(changed.contains(target)) << target.toStdString();
        EXPECT_LE(changed.size() - plan.copiedTargets().size(), std::max<qsizetype>(startsAfterFailing, 0));
    }
}

TEST_F(ConcurrentCopyTest, ACancelInTheMiddleOfABatchStartsNothingMoreAndCountsExactlyWhatWasCopied)
{
    SyncPlan plan = makeTree(30);
    const auto before = treeDigest(destination);
    auto cancellation = std::make_shared<std::atomic<bool>>(false);
    qsizetype starts = 0;
    qsizetype startsWhenCancelled = -1;
    std::vector<qint64> counts;
    SyncEngine::runSync(
        plan,
        [&](const SyncJob &job) {
            counts.push_back(job.completedItemCount);
            if (job.completedItemCount == 5 && startsWhenCancelled < 0) {
                cancellation->store(true);
                startsWhenCancelled = starts;
            }
        },
        RunControl{.cancellation = cancellation,
                   .transfer = [&](const TransferProgress &t) { starts += t.currentFile.isEmpty() ? 0 : 1; },
                   .copiesAtOnce = copiesAtOnce});

    EXPECT_EQ(plan.job.status, SyncJob::SyncStatus::cancelled);
    EXPECT_EQ(starts, startsWhenCancelled) << "no copy starts once the run is asked to stop";
    EXPECT_EQ(plan.outcome.copied, starts) << "the copies under way finish and count";
    std::vector<qint64> oneByOne(size_t(counts.size() - 1));
    std::iota(oneByOne.begin(), oneByOne.end(), 1);
    oneByOne.push_back(starts);
    EXPECT_EQ(counts, oneByOne) << "each file counted once, then the cancelled job once more";
    QStringList counted = plan.copiedTargets();
    counted.sort();
    EXPECT_EQ(wholeCopiesSince(before), counted);
}

TEST_F(RunControlTest, ACancelledRunStopsBeforeItsNextFileLeavingNothingPartial)
{
    // Cancelled after the first removal, and after the last one, before the artwork; cancelling
    // among the copies is ACancelInTheMiddleOfABatch's.
    for (const qint64 stopAt : {5, 6}) {
        SCOPED_TRACE(stopAt);
        ASSERT_TRUE(QDir(destination).removeRecursively() && QDir(source).removeRecursively());
        SyncPlan plan = makeTree(4, 1, 2);
        auto cancellation = std::make_shared<std::atomic<bool>>(false);
        SyncJob lastReported;
        const auto report = [&](const SyncJob &job) {
            lastReported = job;
            if (job.completedItemCount == stopAt)
                cancellation->store(true);
        };
        SyncEngine::runSync(plan, report, RunControl{.cancellation = cancellation});

        EXPECT_EQ(plan.job.status, SyncJob::SyncStatus::cancelled);
        EXPECT_TRUE(lastReported.status == SyncJob::SyncStatus::cancelled && lastReported.completedItemCount == stopAt)
            << "the cancelled job is reported once more";
        auto expected = treeDigest(source);
        expected.remove(u"Album Artwork/0.itc"_s);
        if (stopAt == 5)
            expected.insert(u"Old/1.m4a"_s, QCryptographicHash::hash("old", QCryptographicHash::Md5));
        EXPECT_EQ(treeDigest(destination), expected) << "no temporary, no artwork, no lock file";
    }
}

TEST_F(RunControlTest, ACompletedRunReportsItsBytesBeforeEachFile)
{
    SyncPlan plan = makeTree(3, 1);
    std::vector<qint64> done;
    SyncEngine::runSync(plan, {}, RunControl{.transfer = [&](const TransferProgress &t) { done.push_back(t.bytesDone); }});
    // Tracks of 1, 7,920 and 15,839 bytes, then artwork of 100.
    EXPECT_EQ(done, (std::vector<qint64>{0, 1, 7921, 23760, 23860}));
}

TEST_F(RunControlTest, TheSummaryCountsOnlyTheRemovalsTheRunReachedAndKeptByReason)
{
    using Removal = SyncPlan::Removal::Kind;
    const struct { SyncPlan::Outcome outcome; qint64 completed; QStringList lines; } cases[] = {
        {{2, 2'500'000, 0, 3, 4}, 9,
         {u"Copied 2 files (2.5 MB)"_s, u"Deleted 3 files for good"_s,
          u"Kept 3 files (1 outside the destination library folder, 2 still used by another track)"_s,
          u"Copied 4 artwork files"_s}},
        // Cancelled after the fourth removal: the removals it never reached kept nothing.
        {{2, 2048, 0, 2, 0}, 6,
         {u"Copied 2 files (2.0 KB)"_s, u"Deleted 2 files for good"_s, u"Kept 1 file (still used by another track)"_s}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.completed);
        SyncPlan plan;
        plan.outcome = c.outcome;
        plan.copies.resize(2);
        for (const Removal kind : {Removal::remove, Removal::stillListed, Removal::noFile, Removal::remove,
                                   Removal::outsideDestination, Removal::stillListed, Removal::remove})
            plan.removals.append({kind, u"/Music/x.m4a"_s});
        plan.job.completedItemCount = c.completed;
        EXPECT_EQ(plan.outcomeSummary(), c.lines);
    }
}
