// Runs a job of 100,000 metadata updates whose progress callback keeps every snapshot, and
// prints the time taken and the memory the snapshots hold.
#include "EngineBenchSupport.h"

#include "engine/SyncEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::bench;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr qint64 updateCount = 100'000;

    // Library folders without an "Album Artwork" folder, so the run is the counting alone.
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    const double rssStart = residentMiB();

    SyncJob job;
    job.id = QUuid::createUuid();
    job.createdAt = QDateTime::currentDateTimeUtc();
    job.sourceLibraryPath = QUrl::fromLocalFile(root.path() + u"/Source"_s);
    job.destinationLibraryPath = QUrl::fromLocalFile(root.path() + u"/Destination"_s);
    job.tracksToUpdate.reserve(updateCount);
    for (qint64 i = 0; i < updateCount; ++i)
        job.tracksToUpdate.append(realisticTrack(i, root.path() + u"/Source"_s));
    job.totalItemCount = updateCount;
    const double rssJob = residentMiB();

    QList<SyncJob> snapshots;
    QElapsedTimer timer;
    timer.start();
    SyncEngine engine;
    const SyncJob finished =
        engine.performSync(SyncEngine::planJob(job, LocationResolver(job.sourceLibraryPath),
                                              LocationResolver(job.destinationLibraryPath)),
                           [&snapshots](const SyncJob &snapshot) { snapshots.append(snapshot); }).result().job;
    const double elapsedMs = double(timer.nsecsElapsed()) / 1e6;
    const double rssAfter = residentMiB();

    const bool shared = !snapshots.isEmpty()
        && snapshots.constFirst().tracksToUpdate.constData() == finished.tracksToUpdate.constData();
    printLine(u"progress: %1 updates, %2 snapshots kept, final count %3, status %4"_s.arg(updateCount)
                  .arg(snapshots.size())
                  .arg(finished.completedItemCount)
                  .arg(SyncJob::rawValue(finished.status)));
    printLine(u"run: %1 ms (goal under 1000 ms)"_s.arg(elapsedMs, 0, 'f', 1));
    printLine(u"RSS MiB: %1 at start, %2 with the job built, %3 after the run with every snapshot"_s
                  .arg(rssStart, 0, 'f', 1)
                  .arg(rssJob, 0, 'f', 1)
                  .arg(rssAfter, 0, 'f', 1));
    printLine(u"snapshots: %1 bytes each (sizeof SyncJob %2), lists shared with the job: %3"_s
                  .arg((rssAfter - rssJob) * 1024 * 1024 / double(std::max<qsizetype>(1, snapshots.size())), 0, 'f', 0)
                  .arg(sizeof(SyncJob))
                  .arg(shared ? u"yes"_s : u"no"_s));
    return 0;
}
