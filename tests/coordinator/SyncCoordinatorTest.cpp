#include "coordinator/SyncCoordinator.h"

#include "platform/FileSystem.h"
#include "scanner/MusicLibraryScanner.h"
#include "support/PlistText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

using Phase = SyncCoordinator::Phase;
using Kind = Phase::Kind;
using States = std::vector<std::string>;

// Generous: the suite also runs under ThreadSanitizer.
constexpr int waitLimit = 30000;

// Everything an observer can see, in one line so that a failed comparison reads well:
// "phase urls=<chosen> src=<tracks> dst=<tracks> job=<status>/<completed>", "-" for absent.
std::string stateOf(const SyncCoordinator &coordinator)
{
    static const char *const phases[] = {"setup", "scanning", "readyToSync", "syncing", "completed", "failed"};
    const auto tracks = [](const std::optional<MusicLibrary> &library) {
        return library ? std::to_string(library->tracks.size()) : std::string("-");
    };
    const std::optional<SyncJob> &job = coordinator.currentJob();
    return std::string(phases[int(coordinator.phase().kind)])
        + " urls=" + std::to_string(int(coordinator.sourceLibraryURL().has_value())
                                    + int(coordinator.destinationLibraryURL().has_value()))
        + " src=" + tracks(coordinator.sourceLibrary()) + " dst=" + tracks(coordinator.destinationLibrary())
        + " job="
        + (job ? SyncJob::rawValue(job->status).toStdString() + "/" + std::to_string(job->completedItemCount)
               : std::string("-"));
}

// The state seen at each announcement: the value about to be replaced is still in place, so
// announcement n+1 (or the final state) shows what announcement n stored. An announcement made
// off the main thread is marked, so it can never match an expected sequence.
class Recorder
{
public:
    explicit Recorder(SyncCoordinator &coordinator)
        : m_connection(QObject::connect(&coordinator, &SyncCoordinator::objectWillChange, [this, &coordinator] {
            const bool onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            seen.push_back(stateOf(coordinator) + (onMainThread ? "" : " OFF THE MAIN THREAD"));
        }))
    {
    }
    ~Recorder() { QObject::disconnect(m_connection); }

    States seen;

private:
    QMetaObject::Connection m_connection;
};

// Reads the whole state at every turn, as a window does, so that the sanitizer sees any write
// from another thread.
bool settles(const SyncCoordinator &coordinator)
{
    return QTest::qWaitFor([&] {
        return stateOf(coordinator).rfind("scanning", 0) != 0 && stateOf(coordinator).rfind("syncing", 0) != 0;
    }, waitLimit);
}

QString scanFailure(const QUrl &url)
{
    try {
        (void)MusicLibraryScanner::scanLibrarySync(url);
    } catch (const Error &error) {
        return error.description();
    }
    return {};
}

class SyncCoordinatorTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QString path(const QString &relative) const { return m_folder.filePath(relative); }

    bool writeFile(const QString &relative, const QByteArray &bytes) const
    {
        QFile file(path(relative));
        return QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly)
            && file.write(bytes) == bytes.size();
    }

    QByteArray contents(const QString &relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    /// `folder`/Music Library.xml with one track per persistent ID, its media at
    /// `folder`/Media/<id>.m4a, which exists only when `withMedia`.
    QUrl writeLibrary(const QString &folder, const QStringList &ids, bool withMedia = false) const
    {
        QByteArray tracks;
        for (qsizetype i = 0; i < ids.size(); ++i) {
            const QString media = folder + u"/Media/"_s + ids[i] + u".m4a"_s;
            if (withMedia) {
                EXPECT_TRUE(writeFile(media, ids[i].toUtf8()));
            }
            const QByteArray trackID = QByteArray::number(i + 1);
            tracks += "<key>" + trackID + "</key><dict><key>Track ID</key><integer>" + trackID
                + "</integer><key>Persistent ID</key><string>" + ids[i].toUtf8()
                + "</string><key>Location</key><string>"
                + QUrl::fromLocalFile(path(media)).toEncoded() + "</string></dict>";
        }
        const QString library = folder + u"/Music Library.xml"_s;
        EXPECT_TRUE(writeFile(library, test::plistDocument("<dict><key>Tracks</key><dict>" + tracks
                                                            + "</dict><key>Playlists</key><array/></dict>")));
        return QUrl::fromLocalFile(path(library));
    }

    /// A coordinator that has scanned `source` and `destination` successfully.
    std::shared_ptr<SyncCoordinator> scanned(const QUrl &source, const QUrl &destination) const
    {
        auto coordinator = SyncCoordinator::create();
        coordinator->setSourceLibraryURL(source);
        coordinator->setDestinationLibraryURL(destination);
        coordinator->scanLibraries();
        EXPECT_TRUE(settles(*coordinator));
        EXPECT_TRUE(coordinator->phase().is(Kind::readyToSync)) << coordinator->phase().message.toStdString();
        return coordinator;
    }

    /// Two tracks to copy and nothing else.
    std::shared_ptr<SyncCoordinator> twoTrackJob() const
    {
        return scanned(writeLibrary(u"Source"_s, {u"A"_s, u"B"_s}, true), writeLibrary(u"Destination"_s, {}));
    }

    QTemporaryDir m_folder;
};

const States twoTrackRun = {
    "readyToSync urls=2 src=2 dst=0 job=pending/0",
    "syncing urls=2 src=2 dst=0 job=pending/0",
    "syncing urls=2 src=2 dst=0 job=transferring/1",
    "syncing urls=2 src=2 dst=0 job=transferring/2",
    "syncing urls=2 src=2 dst=0 job=completed/2",
    "syncing urls=2 src=2 dst=0 job=completed/2",
};

} // namespace

TEST(SyncCoordinatorPhaseTest, FailedPhasesAreEqualOnlyWithTheSameMessage)
{
    const struct
    {
        Phase a;
        Phase b;
        bool equal;
    } cases[] = {
        {Phase::failed(u"x"_s), Phase::failed(u"x"_s), true},
        {Phase::failed(u"x"_s), Phase::failed(u"y"_s), false},
        {Phase::failed({}), Phase{}, false},
        {Phase{Kind::completed, {}}, Phase{Kind::completed, {}}, true},
        {Phase{Kind::completed, {}}, Phase{Kind::syncing, {}}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.a.message.toStdString() + " vs " + c.b.message.toStdString());
        EXPECT_EQ(c.a == c.b, c.equal);
    }
}

TEST(SyncCoordinatorLifetimeTest, IsDestroyedOnTheMainThreadWhoeverLetsGoLast)
{
    for (const bool fromWorker : {false, true}) {
        SCOPED_TRACE(fromWorker ? "released on a worker" : "released on the main thread");
        auto coordinator = SyncCoordinator::create();
        const QPointer<SyncCoordinator> watch(coordinator.get());
        QThread *destroyedOn = nullptr;
        QObject::connect(coordinator.get(), &QObject::destroyed, [&] { destroyedOn = QThread::currentThread(); });

        if (fromWorker) {
            std::thread([owner = std::move(coordinator)]() mutable { owner.reset(); }).join();
            EXPECT_FALSE(watch.isNull()) << "a QObject must not be deleted on a foreign thread";
            ASSERT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, waitLimit));
        } else {
            coordinator.reset();
            EXPECT_TRUE(watch.isNull());
        }
        EXPECT_EQ(destroyedOn, QCoreApplication::instance()->thread());
    }
}

TEST_F(SyncCoordinatorTest, ScanWithOneFileUnchosenIsSilent)
{
    const QUrl library = writeLibrary(u"Source"_s, {u"A"_s});
    for (const bool sourceChosen : {true, false}) {
        SCOPED_TRACE(sourceChosen ? "only the source chosen" : "only the destination chosen");
        auto coordinator = SyncCoordinator::create();
        std::invoke(sourceChosen ? &SyncCoordinator::setSourceLibraryURL : &SyncCoordinator::setDestinationLibraryURL,
                    *coordinator, library);
        ASSERT_FALSE(coordinator->canScan());
        Recorder recorder(*coordinator);

        coordinator->scanLibraries();
        QTest::qWait(100);

        EXPECT_EQ(recorder.seen, States{});
        EXPECT_EQ(stateOf(*coordinator), "setup urls=1 src=- dst=- job=-");
    }
}

TEST_F(SyncCoordinatorTest, ScanPublishesLibrariesThenTheJobThenReadyToSync)
{
    const QUrl source = writeLibrary(u"Source"_s, {u"A"_s, u"B"_s});
    const QUrl destination = writeLibrary(u"Destination"_s, {u"B"_s, u"C"_s, u"D"_s});
    auto coordinator = SyncCoordinator::create();
    coordinator->setSourceLibraryURL(source);
    coordinator->setDestinationLibraryURL(destination);
    Recorder recorder(*coordinator);

    coordinator->scanLibraries();
    EXPECT_EQ(stateOf(*coordinator), "scanning urls=2 src=- dst=- job=-");
    ASSERT_TRUE(settles(*coordinator));

    EXPECT_EQ(recorder.seen, (States{
                                 "setup urls=2 src=- dst=- job=-",
                                 "scanning urls=2 src=- dst=- job=-",
                                 "scanning urls=2 src=- dst=- job=-",
                                 "scanning urls=2 src=2 dst=- job=-",
                                 "scanning urls=2 src=2 dst=3 job=-",
                                 "scanning urls=2 src=2 dst=3 job=pending/0",
                             }));
    EXPECT_EQ(stateOf(*coordinator), "readyToSync urls=2 src=2 dst=3 job=pending/0");
    EXPECT_EQ(coordinator->sourceLibrary()->xmlURL, source);
    EXPECT_EQ(coordinator->destinationLibrary()->xmlURL, destination);
    const SyncJob &job = *coordinator->currentJob();
    ASSERT_EQ(job.tracksToAdd.size(), 1);
    EXPECT_EQ(job.tracksToAdd.first().persistentID, u"A"_s);
    EXPECT_EQ(job.tracksToRemove.size(), 2);
    EXPECT_TRUE(coordinator->canSync());
}

TEST_F(SyncCoordinatorTest, IdenticalLibrariesAreReadyWithNothingToSync)
{
    const auto coordinator = scanned(writeLibrary(u"Source"_s, {u"A"_s, u"B"_s}),
                                     writeLibrary(u"Destination"_s, {u"A"_s, u"B"_s}));
    ASSERT_TRUE(coordinator->currentJob());
    EXPECT_FALSE(coordinator->currentJob()->hasChanges());
    EXPECT_FALSE(coordinator->canSync());
}

TEST_F(SyncCoordinatorTest, FailedReadShowsItsSentenceTheSourceFirst)
{
    const QUrl good = writeLibrary(u"Good"_s, {u"A"_s});
    const QUrl missingSource = QUrl::fromLocalFile(path(u"Nowhere/Source.xml"_s));
    const QUrl missingDestination = QUrl::fromLocalFile(path(u"Nowhere/Destination.xml"_s));
    ASSERT_TRUE(writeFile(u"Garbage/Music Library.xml"_s, "not a property list"));
    const QUrl garbage = QUrl::fromLocalFile(path(u"Garbage/Music Library.xml"_s));
    const struct
    {
        const char *name;
        QUrl source;
        QUrl destination;
        QUrl shown;
    } cases[] = {
        {"both missing", missingSource, missingDestination, missingSource},
        {"source unparsable, destination missing", garbage, missingDestination, garbage},
        {"destination missing", good, missingDestination, missingDestination},
        {"source missing", missingSource, good, missingSource},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString sentence = scanFailure(c.shown);
        ASSERT_FALSE(sentence.isEmpty());
        const auto coordinator = scanned(good, good);
        coordinator->setSourceLibraryURL(c.source);
        coordinator->setDestinationLibraryURL(c.destination);
        Recorder recorder(*coordinator);

        coordinator->scanLibraries();
        ASSERT_TRUE(settles(*coordinator));

        EXPECT_EQ(recorder.seen, (States{"readyToSync urls=2 src=1 dst=1 job=pending/0",
                                         "scanning urls=2 src=1 dst=1 job=pending/0",
                                         "scanning urls=2 src=1 dst=1 job=-"}));
        EXPECT_EQ(coordinator->phase(), Phase::failed(sentence));
        EXPECT_EQ(stateOf(*coordinator), "failed urls=2 src=1 dst=1 job=-") << "libraries of the earlier scan stay";
    }
}

TEST_F(SyncCoordinatorTest, RescanDropsTheJobAtOnceAndReplacesTheLibrariesWhenRead)
{
    const QUrl source = writeLibrary(u"Source"_s, {u"A"_s});
    const QUrl destination = writeLibrary(u"Destination"_s, {});
    const auto coordinator = scanned(source, destination);
    const QUuid firstJob = coordinator->currentJob()->id;
    writeLibrary(u"Destination"_s, {u"A"_s, u"B"_s});

    coordinator->scanLibraries();
    EXPECT_EQ(stateOf(*coordinator), "scanning urls=2 src=1 dst=0 job=-");
    ASSERT_TRUE(settles(*coordinator));

    EXPECT_EQ(stateOf(*coordinator), "readyToSync urls=2 src=1 dst=2 job=pending/0");
    EXPECT_NE(coordinator->currentJob()->id, firstJob);
}

TEST_F(SyncCoordinatorTest, StartSyncWithoutAJobIsSilent)
{
    const QUrl missing = QUrl::fromLocalFile(path(u"Nowhere/Music Library.xml"_s));
    for (const bool afterFailedScan : {false, true}) {
        SCOPED_TRACE(afterFailedScan ? "after a failed scan" : "new coordinator");
        auto coordinator = SyncCoordinator::create();
        if (afterFailedScan) {
            coordinator->setSourceLibraryURL(missing);
            coordinator->setDestinationLibraryURL(missing);
            coordinator->scanLibraries();
            ASSERT_TRUE(settles(*coordinator));
            ASSERT_TRUE(coordinator->phase().is(Kind::failed));
        }
        const Phase before = coordinator->phase();
        Recorder recorder(*coordinator);

        coordinator->startSync();
        QTest::qWait(100);

        EXPECT_EQ(recorder.seen, States{});
        EXPECT_EQ(coordinator->phase(), before);
    }
}

TEST_F(SyncCoordinatorTest, RunPublishesEverySnapshotInOrderThenTheFinalJob)
{
    const auto coordinator = twoTrackJob();
    Recorder recorder(*coordinator);

    coordinator->startSync();
    EXPECT_TRUE(coordinator->phase().is(Kind::syncing));
    // Let the whole run end before the main thread takes any of its calls, so every snapshot
    // and the end are queued at once and only their order decides what is published.
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(waitLimit));
    ASSERT_TRUE(settles(*coordinator));

    EXPECT_EQ(recorder.seen, twoTrackRun);
    EXPECT_EQ(stateOf(*coordinator), "completed urls=2 src=2 dst=0 job=completed/2");
    EXPECT_TRUE(coordinator->currentJob()->completedAt);
    EXPECT_FALSE(coordinator->canSync());
    EXPECT_EQ(contents(u"Destination/Media/A.m4a"_s), "A");
    EXPECT_EQ(contents(u"Destination/Media/B.m4a"_s), "B");
}

TEST_F(SyncCoordinatorTest, RunFailingPartWayKeepsTheLastSnapshot)
{
    // The artwork stage comes after both copies; a file where its folder belongs stops it.
    ASSERT_TRUE(writeFile(u"Source/Album Artwork/cover.jpg"_s, "art"));
    ASSERT_TRUE(writeFile(u"Destination/Album Artwork"_s, "in the way"));
    QString sentence;
    try {
        FileSystem::createFolder(path(u"Destination/Album Artwork"_s));
    } catch (const FileSystemError &error) {
        sentence = error.description();
    }
    ASSERT_FALSE(sentence.isEmpty());
    const auto coordinator = twoTrackJob();
    Recorder recorder(*coordinator);

    coordinator->startSync();
    ASSERT_TRUE(settles(*coordinator));

    EXPECT_EQ(recorder.seen, States(twoTrackRun.begin(), twoTrackRun.begin() + 4));
    EXPECT_EQ(coordinator->phase(), Phase::failed(sentence));
    EXPECT_EQ(stateOf(*coordinator), "failed urls=2 src=2 dst=0 job=transferring/2");
    EXPECT_FALSE(coordinator->currentJob()->completedAt);
    EXPECT_EQ(contents(u"Destination/Media/A.m4a"_s), "A") << "nothing is rolled back";
    EXPECT_EQ(contents(u"Destination/Media/B.m4a"_s), "B");
}

TEST_F(SyncCoordinatorTest, ResetAnnouncesFourAssignmentsAndKeepsTheChosenFiles)
{
    const auto coordinator = scanned(writeLibrary(u"Source"_s, {u"A"_s}), writeLibrary(u"Destination"_s, {}));
    Recorder recorder(*coordinator);

    coordinator->reset();

    EXPECT_EQ(recorder.seen, (States{"readyToSync urls=2 src=1 dst=0 job=pending/0",
                                     "readyToSync urls=2 src=- dst=0 job=pending/0",
                                     "readyToSync urls=2 src=- dst=- job=pending/0",
                                     "readyToSync urls=2 src=- dst=- job=-"}));
    EXPECT_EQ(stateOf(*coordinator), "setup urls=2 src=- dst=- job=-");
    EXPECT_TRUE(coordinator->canScan());
}

TEST_F(SyncCoordinatorTest, RunOutlivesItsOwnerAndEndsOnTheMainThread)
{
    auto coordinator = twoTrackJob();
    const QPointer<SyncCoordinator> watch(coordinator.get());
    Recorder recorder(*coordinator);
    QThread *destroyedOn = nullptr;
    QObject::connect(coordinator.get(), &QObject::destroyed, [&] { destroyedOn = QThread::currentThread(); });

    coordinator->startSync();
    coordinator.reset();
    EXPECT_FALSE(watch.isNull()) << "the run holds the coordinator";
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, waitLimit));

    EXPECT_EQ(destroyedOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(recorder.seen, twoTrackRun) << "every snapshot and the end arrived before the teardown";
    EXPECT_EQ(contents(u"Destination/Media/A.m4a"_s), "A");
    EXPECT_EQ(contents(u"Destination/Media/B.m4a"_s), "B");
}
