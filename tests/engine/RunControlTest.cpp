#include "engine/SyncEngine.h"
#include "hardening/HardeningSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::hardening;

namespace {

// Four tracks to copy (3, 5, 7 and 9 bytes) from S to D, two files to remove, and an artwork file.
SyncPlan planIn(const QTemporaryDir &root)
{
    const auto library = [&](const QString &folder, const QStringList &names) {
        MusicLibrary result{.xmlURL = QUrl::fromLocalFile(root.filePath(folder + u"/Music Library.xml"_s))};
        for (const QString &name : names) {
            const QString path = root.filePath(folder + u"/Media/"_s + name);
            EXPECT_TRUE(writeFile(path, QByteArray(3 + 2 * result.tracks.size(), 'a')));
            result.tracks.insert(name, Track{.persistentID = name, .location = QUrl::fromLocalFile(path)});
        }
        EXPECT_TRUE(writeFile(result.xmlURL.toLocalFile(), "library"));
        return result;
    };
    EXPECT_TRUE(writeFile(root.filePath(u"S/Album Artwork/a.itc"_s), "art"));
    MusicLibrary source = library(u"S"_s, {u"0.m4a"_s, u"1.m4a"_s, u"2.m4a"_s, u"3.m4a"_s});
    const MusicLibrary destination = library(u"D"_s, {u"old1.m4a"_s, u"old2.m4a"_s, u"kept.m4a"_s});
    source.tracks.insert(u"kept.m4a"_s, destination.tracks.value(u"kept.m4a"_s));
    return SyncEngine::makePlan(source, destination);
}

} // namespace

TEST(RunControlTest, ACancelledRunStopsBeforeItsNextFileLeavingNothingPartial)
{
    // Cancelled after the first removal, and after the last one, before the artwork; cancelling
    // among the copies is ConcurrentCopyTest's.
    for (const qint64 stopAt : {5, 6}) {
        SCOPED_TRACE(stopAt);
        const QTemporaryDir root;
        SyncPlan plan = planIn(root);
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
        QStringList expected{u"Media/0.m4a"_s, u"Media/1.m4a"_s,    u"Media/2.m4a"_s,
                             u"Media/3.m4a"_s, u"Media/kept.m4a"_s, u"Music Library.xml"_s};
        if (stopAt == 5)
            expected.insert(5, u"Media/old2.m4a"_s);
        EXPECT_EQ(QStringList(treeDigest(root.filePath(u"D"_s)).keys()), expected) << "no temporary, no artwork, no lock file";
    }
}

TEST(RunControlTest, ACompletedRunReportsItsBytesBeforeEachFile)
{
    const QTemporaryDir root;
    SyncPlan plan = planIn(root);
    std::vector<qint64> done;
    SyncEngine::runSync(plan, {}, RunControl{.transfer = [&](const TransferProgress &t) { done.push_back(t.bytesDone); }});
    EXPECT_EQ(done, (std::vector<qint64>{0, 3, 8, 15, 24, 27}));
}

TEST(RunControlTest, TheSummaryCountsOnlyTheRemovalsTheRunReachedAndKeptByReason)
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
