#include "coordinator/SyncCoordinator.h"
#include "platform/WorkerPool.h"

#include "support/PlistText.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

using Kind = SyncCoordinator::Phase::Kind;
using States = std::vector<std::string>;

// Generous: the suite also runs under ThreadSanitizer.
constexpr int waitLimit = 30000;

// Everything an observer can see, in one line so that a failed comparison reads well:
// "phase urls=<chosen> src=<tracks> dst=<tracks> job=<status>/<completed>", "-" for absent,
// and " +plan" while a plan is published.
std::string stateOf(const SyncCoordinator &coordinator)
{
    static const char *const phases[] = {"setup", "scanning", "readyToSync", "syncing", "completed", "failed"};
    const auto tracks = [](const std::optional<MusicLibrary> &library) {
        return library ? std::to_string(library->tracks.size()) : std::string("-");
    };
    const std::optional<SyncJob> &job = coordinator.currentJob();
    const int urls = int(coordinator.sourceLibraryURL().has_value())
        + int(coordinator.destinationLibraryURL().has_value());
    return std::string(phases[int(coordinator.phase().kind)]) + " urls=" + std::to_string(urls)
        + " src=" + tracks(coordinator.sourceLibrary()) + " dst=" + tracks(coordinator.destinationLibrary()) + " job="
        + (job ? SyncJob::rawValue(job->status).toStdString() + '/' + std::to_string(job->completedItemCount) : "-")
        + (coordinator.currentPlan() ? " +plan" : "");
}

// Each state seen at an announcement, once: the value about to be replaced is still in place,
// so the next state shows what an announcement stored. How many announcements lead from one
// state to the next (a run's transfer updates come as often as the clock allows) does not
// count. An announcement made off the main thread is marked, so it can never match an expected
// sequence.
std::shared_ptr<States> record(SyncCoordinator &coordinator)
{
    auto seen = std::make_shared<States>();
    QObject::connect(&coordinator, &SyncCoordinator::objectWillChange, [seen, &coordinator] {
        const bool onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        const std::string state = stateOf(coordinator) + (onMainThread ? "" : " OFF THE MAIN THREAD");
        if (seen->empty() || seen->back() != state)
            seen->push_back(state);
    });
    return seen;
}

// Reads the whole state at every turn, as a window does, so that the sanitizer sees any write
// from another thread.
bool settles(const SyncCoordinator &coordinator)
{
    return QTest::qWaitFor([&] {
        return stateOf(coordinator).rfind("scanning", 0) != 0 && stateOf(coordinator).rfind("syncing", 0) != 0;
    }, waitLimit);
}

class SyncCoordinatorTest : public test::TemporaryFolderTest
{
protected:
    /// `folder`/Music Library.xml with one track per persistent ID, its media at
    /// `folder`/Media/<id>.m4a, which exists only when `withMedia`.
    QUrl writeLibrary(const QString &folder, const QStringList &ids, bool withMedia = false) const
    {
        QByteArray tracks;
        for (qsizetype i = 0; i < ids.size(); ++i) {
            const QString media = at(folder + u"/Media/"_s + ids[i] + u".m4a"_s);
            EXPECT_TRUE(!withMedia || test::writeFile(media, ids[i].toUtf8()));
            const QByteArray trackID = QByteArray::number(i + 1);
            tracks += "<key>" + trackID + "</key><dict><key>Track ID</key><integer>" + trackID
                + "</integer><key>Persistent ID</key><string>" + ids[i].toUtf8()
                + "</string><key>Location</key><string>" + QUrl::fromLocalFile(media).toEncoded() + "</string></dict>";
        }
        const QString library = at(folder + u"/Music Library.xml"_s);
        EXPECT_TRUE(test::writeFile(library, test::plistDocument("<dict><key>Tracks</key><dict>" + tracks
                                                                 + "</dict><key>Playlists</key><array/></dict>")));
        return QUrl::fromLocalFile(library);
    }

    /// A coordinator that has chosen `source` and `destination` and, unless told not to, scanned them.
    std::shared_ptr<SyncCoordinator> chosen(const QUrl &source, const QUrl &destination, bool scan = true) const
    {
        auto coordinator = SyncCoordinator::create();
        coordinator->setSourceLibraryURL(source);
        coordinator->setDestinationLibraryURL(destination);
        if (scan) {
            coordinator->scanLibraries();
            EXPECT_TRUE(settles(*coordinator));
            EXPECT_TRUE(coordinator->phase().is(Kind::readyToSync)) << coordinator->phase().message.toStdString();
        }
        return coordinator;
    }

    /// Two tracks to copy and nothing else.
    std::shared_ptr<SyncCoordinator> twoTrackJob() const
    {
        return chosen(writeLibrary(u"Source"_s, {u"A"_s, u"B"_s}, true), writeLibrary(u"Destination"_s, {}));
    }
};

} // namespace

TEST(SyncCoordinatorLifetimeTest, ALastReleaseOnAWorkerDestroysItOnTheMainThread)
{
    auto coordinator = SyncCoordinator::create();
    const QPointer<SyncCoordinator> watch(coordinator.get());
    QThread *destroyedOn = nullptr;
    QObject::connect(coordinator.get(), &QObject::destroyed, [&] { destroyedOn = QThread::currentThread(); });

    std::thread([owner = std::move(coordinator)]() mutable { owner.reset(); }).join();
    EXPECT_FALSE(watch.isNull()) << "a QObject must not be deleted on a foreign thread";
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, waitLimit));
    EXPECT_EQ(destroyedOn, QCoreApplication::instance()->thread());
}

TEST_F(SyncCoordinatorTest, ScanPublishesLibrariesThenTheJobThenReadyToSync)
{
    const auto coordinator = chosen(writeLibrary(u"Source"_s, {u"A"_s, u"B"_s}),
                                    writeLibrary(u"Destination"_s, {u"B"_s, u"C"_s, u"D"_s}), false);
    const auto seen = record(*coordinator);

    coordinator->scanLibraries();
    ASSERT_TRUE(settles(*coordinator));

    EXPECT_EQ(*seen, (States{"setup urls=2 src=- dst=- job=-", "scanning urls=2 src=- dst=- job=-",
                             "scanning urls=2 src=2 dst=- job=-", "scanning urls=2 src=2 dst=3 job=-",
                             "scanning urls=2 src=2 dst=3 job=pending/0",
                             "scanning urls=2 src=2 dst=3 job=pending/0 +plan"}));
    EXPECT_EQ(stateOf(*coordinator), "readyToSync urls=2 src=2 dst=3 job=pending/0 +plan");
    // The file was read to its end.
    EXPECT_EQ(coordinator->currentScan().value().source.bytesRead,
              QFileInfo(coordinator->sourceLibraryURL()->toLocalFile()).size());
}

TEST_F(SyncCoordinatorTest, FailedReadsNameTheirLibraryWithAdviceAndLeaveNothingToStart)
{
    const auto coordinator = chosen(writeLibrary(u"Good"_s, {u"A"_s}), writeLibrary(u"Other"_s, {u"A"_s}));
    coordinator->setSourceLibraryURL(QUrl::fromLocalFile(at(u"Nowhere/Source.xml"_s)));
    coordinator->setDestinationLibraryURL(QUrl::fromLocalFile(at(u"Nowhere/Destination.xml"_s)));
    const auto seen = record(*coordinator);

    coordinator->scanLibraries();
    ASSERT_TRUE(settles(*coordinator));
    coordinator->startSync();
    QTest::qWait(50);

    EXPECT_EQ(*seen, (States{"readyToSync urls=2 src=1 dst=1 job=pending/0 +plan",
                             "scanning urls=2 src=1 dst=1 job=pending/0 +plan",
                             "scanning urls=2 src=1 dst=1 job=- +plan", "scanning urls=2 src=1 dst=1 job=-"}))
        << "a failed scan drops the job, then the plan; startSync without a plan does nothing";
    const QString message = coordinator->phase().message;
    EXPECT_TRUE(message.contains(u"Source.xml"_s) && !message.contains(u"Destination.xml"_s)) << message.toStdString();
    EXPECT_EQ(coordinator->phase().library, SyncCoordinator::Library::source);
    EXPECT_TRUE(coordinator->phase().advice.startsWith(u"Check that the volume holding it is mounted"_s));

    ASSERT_TRUE(test::writeFile(at(u"Broken/Music Library.xml"_s), "<plist version=\"1.0\"><dict>"));
    coordinator->setSourceLibraryURL(writeLibrary(u"Good"_s, {u"A"_s}));
    coordinator->setDestinationLibraryURL(QUrl::fromLocalFile(at(u"Broken/Music Library.xml"_s)));
    coordinator->scanLibraries();
    ASSERT_TRUE(settles(*coordinator));
    EXPECT_EQ(coordinator->phase().library, SyncCoordinator::Library::destination);
    EXPECT_TRUE(coordinator->phase().advice.startsWith(u"Export the library file again"_s));
}

// Nothing starts without two different libraries and something to do. The same file on both
// sides, even through a link, is said at once; a different choice clears it.
TEST_F(SyncCoordinatorTest, OffersToStartOnlyWhatCanBeDone)
{
    const QUrl library = writeLibrary(u"Source"_s, {u"A"_s});
    const auto unchosen = SyncCoordinator::create();
    unchosen->setDestinationLibraryURL(library);
    ASSERT_FALSE(unchosen->canScan());
    const auto seen = record(*unchosen);
    unchosen->scanLibraries();
    QTest::qWait(100);
    EXPECT_EQ(*seen, States{}) << "a scan with one file unchosen is silent";
    EXPECT_FALSE(chosen(library, writeLibrary(u"Destination"_s, {u"A"_s}))->canSync()) << "identical libraries";

    ASSERT_TRUE(QFile::link(at(u"Source/Music Library.xml"_s), at(u"Link.xml"_s)));
    for (const QUrl &destination : {library, QUrl::fromLocalFile(at(u"Link.xml"_s))}) {
        const auto coordinator = chosen(library, destination, false);
        EXPECT_TRUE(coordinator->phase().message.startsWith(u"The source and the destination are the same file"_s));
        EXPECT_FALSE(coordinator->canScan());
        coordinator->setDestinationLibraryURL(writeLibrary(u"Destination"_s, {}));
        EXPECT_TRUE(coordinator->phase().is(Kind::setup) && coordinator->canScan());
    }
}

TEST_F(SyncCoordinatorTest, ARescanOrResetDropsWhatAnEarlierScanStillDelivers)
{
    const QUrl source = writeLibrary(u"Source"_s, {u"A"_s});
    const QUrl older = writeLibrary(u"Older"_s, {u"A"_s, u"B"_s, u"C"_s});
    const QUrl newer = writeLibrary(u"Newer"_s, {u"B"_s});
    const auto rescan = [&](SyncCoordinator &coordinator) {
        coordinator.setDestinationLibraryURL(newer);
        coordinator.scanLibraries();
    };
    const auto reset = [](SyncCoordinator &coordinator) { coordinator.reset(); };
    struct Row
    {
        const char *name;
        std::function<void(SyncCoordinator &)> interrupt;
        /// Interrupts once the earlier scan's libraries are in and its plan is being built.
        bool whilePlanning;
        std::string settled;
    };
    const Row rows[] = {
        {"rescan while reading", rescan, false, "readyToSync urls=2 src=1 dst=1 job=pending/0 +plan"},
        {"rescan while planning", rescan, true, "readyToSync urls=2 src=1 dst=1 job=pending/0 +plan"},
        {"reset while reading", reset, false, "setup urls=2 src=- dst=- job=-"},
        {"reset while planning", reset, true, "setup urls=2 src=- dst=- job=-"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto coordinator = chosen(source, older, false);
        const auto seen = record(*coordinator);
        if (row.whilePlanning) {
            // Queued while the libraries are handed over, so it runs before the plan can arrive.
            QObject::connect(coordinator.get(), &SyncCoordinator::objectWillChange, coordinator.get(),
                             [&row, &coordinator, queued = false]() mutable {
                                 if (queued || !coordinator->sourceLibrary())
                                     return;
                                 queued = true;
                                 QMetaObject::invokeMethod(
                                     coordinator.get(), [&] { row.interrupt(*coordinator); }, Qt::QueuedConnection);
                             });
        }

        coordinator->scanLibraries();
        if (!row.whilePlanning)
            row.interrupt(*coordinator);
        // The reads, the plan, and with the rescan the reads and the plan again.
        for (int stage = 0; stage < 4; ++stage) {
            ASSERT_TRUE(workerPool().waitForDone(waitLimit));
            QCoreApplication::processEvents();
        }
        ASSERT_TRUE(settles(*coordinator));

        EXPECT_EQ(stateOf(*coordinator), row.settled);
        // Only the last announcement of a scan stores readyToSync, so no earlier state shows it.
        for (const std::string &state : *seen) {
            EXPECT_NE(state.rfind("readyToSync", 0), 0u) << state;
            EXPECT_TRUE(state.find("dst=3") == std::string::npos || state.find("+plan") == std::string::npos) << state;
        }
    }
}

TEST_F(SyncCoordinatorTest, RunPublishesOnlyTheNewestSnapshotOnceBehindThenTheFinalJob)
{
    const auto coordinator = twoTrackJob();
    const auto seen = record(*coordinator);

    coordinator->startSync();
    // Let the whole run end before the main thread takes any of its calls: of the snapshots
    // waiting by then, only the newest (the completed job) is published, before the end.
    ASSERT_TRUE(workerPool().waitForDone(waitLimit));
    ASSERT_TRUE(settles(*coordinator));

    EXPECT_EQ(*seen, (States{"readyToSync urls=2 src=2 dst=0 job=pending/0 +plan",
                             "syncing urls=2 src=2 dst=0 job=pending/0 +plan",
                             "syncing urls=2 src=2 dst=0 job=completed/2 +plan"}));
    EXPECT_EQ(stateOf(*coordinator), "completed urls=2 src=2 dst=0 job=completed/2 +plan");
}

TEST_F(SyncCoordinatorTest, RunPublishesItsProgressWhileItGoesAndTheLastSnapshotBeforeItFails)
{
    QStringList ids;
    for (int i = 0; i < 10000; ++i)
        ids.append(u"T%1"_s.arg(i));
    // The artwork stage comes after all the copies; a file where its folder belongs stops it.
    ASSERT_TRUE(test::writeFile(at(u"Source/Album Artwork/cover.jpg"_s), "art"));
    ASSERT_TRUE(test::writeFile(at(u"Destination/Album Artwork"_s), "in the way"));
    const auto coordinator = chosen(writeLibrary(u"Source"_s, ids, true), writeLibrary(u"Destination"_s, {}));
    std::vector<qint64> counts;
    QObject::connect(coordinator.get(), &SyncCoordinator::objectWillChange, [&] {
        const std::optional<SyncJob> &job = coordinator->currentJob();
        if (job && job->status == SyncJob::SyncStatus::transferring
            && (counts.empty() || counts.back() != job->completedItemCount))
            counts.push_back(job->completedItemCount);
    });
    QElapsedTimer run;
    run.start();
    coordinator->startSync();
    ASSERT_TRUE(settles(*coordinator));

    EXPECT_EQ(stateOf(*coordinator), "failed urls=2 src=10000 dst=0 job=transferring/10000 +plan");
    EXPECT_TRUE(coordinator->phase().message.contains(at(u"Destination/Album Artwork"_s)));
    // A snapshot held back for pacing is published once the interval is over, so a run that
    // lasts several intervals shows several counts on the way.
    if (run.elapsed() < 4 * SyncCoordinator::snapshotIntervalMs)
        GTEST_SKIP() << "the run took " << run.elapsed() << " ms, too short to see its progress paced";
    EXPECT_GE(counts.size(), 3u) << "the count moved on while the run went";
    EXPECT_LE(qint64(counts.size()), run.elapsed() / SyncCoordinator::snapshotIntervalMs + 2) << "at most one a pacing interval";
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
}

TEST_F(SyncCoordinatorTest, RunOutlivesItsOwnerAndDeliversItsEndFirst)
{
    auto coordinator = twoTrackJob();
    const QPointer<SyncCoordinator> watch(coordinator.get());
    const auto seen = record(*coordinator);

    coordinator->startSync();
    coordinator.reset();
    EXPECT_FALSE(watch.isNull()) << "the run holds the coordinator";
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, waitLimit));
    EXPECT_EQ(seen->back(), "syncing urls=2 src=2 dst=0 job=completed/2 +plan")
        << "the last snapshot and the end arrived, on the main thread, before the teardown";
}
