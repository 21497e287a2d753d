// Plans two 100,000-track libraries that differ in about a tenth of their tracks and hold 500
// playlists each, and prints how long the changeset takes alone and with the plan's file checks.
// The destination is read from another computer: its file records the source's paths, and its
// media folder lies beside it here. The 5,000 files to copy exist (empty) in a temporary folder.
#include "EngineBenchSupport.h"

#include "engine/SyncEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::bench;

namespace {

constexpr qint64 trackCount = 100'000;
constexpr qint64 playlistCount = 500;
constexpr int runs = 11;

// The destination lacks every 20th source track, holds 5,000 of its own instead, and has other
// play counts for every 20th shared one: 5,000 adds, 5,000 removals, about 4,750 updates.
void buildLibraries(const QString &root, MusicLibrary &source, MusicLibrary &destination)
{
    const QString sourceFolder = root + u"/Users/u/Music/Music"_s;
    const QString destinationFolder = root + u"/Volumes/M/Music/Music"_s;
    source.xmlURL = QUrl::fromLocalFile(sourceFolder + u"/Music Library.xml"_s);
    source.musicFolderURL = QUrl::fromLocalFile(sourceFolder + u"/Media/"_s);
    destination.xmlURL = QUrl::fromLocalFile(destinationFolder + u"/Music Library.xml"_s);
    destination.musicFolderURL = source.musicFolderURL;
    QDir().mkpath(destinationFolder + u"/Media"_s);
    source.tracks.reserve(trackCount);
    destination.tracks.reserve(trackCount);
    QList<QString> sourceIDs;
    sourceIDs.reserve(trackCount);
    for (qint64 i = 0; i < trackCount; ++i) {
        const Track track = realisticTrack(i, sourceFolder);
        source.tracks.insert(track.persistentID, track);
        sourceIDs.append(track.persistentID);
        if (i % 20 == 7) {
            const QString path = track.location->toLocalFile();
            QDir().mkpath(path.left(path.lastIndexOf(u'/')));
            QFile(path).open(QIODevice::WriteOnly);
            continue;
        }
        Track theirs = track;
        if (i % 20 == 3)
            theirs.playCount += 1;
        destination.tracks.insert(theirs.persistentID, theirs);
    }
    for (qint64 i = 0; i < trackCount / 20; ++i) {
        const Track own = realisticTrack(trackCount + i, sourceFolder);
        destination.tracks.insert(own.persistentID, own);
    }
    for (qint64 p = 0; p < playlistCount; ++p) {
        Playlist playlist;
        playlist.persistentID = u"%1"_s.arg(quint64(0xAB00000000000000ULL) + quint64(p), 16, 16, QChar(u'0')).toUpper();
        playlist.name = u"Playlist %1"_s.arg(p);
        const qint64 size = 20 + p % 200;
        playlist.trackIDs.reserve(size);
        for (qint64 k = 0; k < size; ++k)
            playlist.trackIDs.append(sourceIDs.at((p * 997 + k * 13) % trackCount));
        source.playlists.append(playlist);
        if (p % 10 == 0)
            playlist.trackIDs.removeLast();
        destination.playlists.append(playlist);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QTemporaryDir root;
    if (!root.isValid())
        return 1;
    MusicLibrary source;
    MusicLibrary destination;
    buildLibraries(root.path(), source, destination);

    // Finished plans are kept until the end so that freeing them is not timed with the next one.
    std::vector<SyncJob> jobs;
    std::vector<SyncPlan> plans;
    jobs.reserve(runs);
    plans.reserve(2 * runs);
    std::vector<double> wall;
    std::vector<double> cpu;
    std::vector<double> planWall;
    std::vector<double> planCpu;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        double cpuStart = threadCpuMs();
        jobs.push_back(SyncEngine::makeJob(source, destination));
        cpu.push_back(threadCpuMs() - cpuStart);
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);

        timer.restart();
        cpuStart = threadCpuMs();
        plans.push_back(SyncEngine::makePlan(source, destination));
        planCpu.push_back(threadCpuMs() - cpuStart);
        planWall.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::vector<double> throughActor;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        SyncEngine engine;
        plans.push_back(engine.createPlan(source, destination).result());
        throughActor.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const SyncPlan &plan = plans.back();
    const SyncJob &job = plan.job;

    printLine(u"plan: %1 source tracks, %2 destination tracks, %3 playlists each"_s.arg(source.tracks.size())
                  .arg(destination.tracks.size())
                  .arg(playlistCount));
    printLine(u"changeset: %1 to add, %2 to remove, %3 updates, %4 playlists, total %5"_s.arg(job.tracksToAdd.size())
                  .arg(job.tracksToRemove.size())
                  .arg(job.tracksToUpdate.size())
                  .arg(job.playlistsToSync.size())
                  .arg(job.totalItemCount));
    printLine(u"file checks: %1 to copy (%2 missing), %3 to remove, %4 on the other computer"_s
                  .arg(plan.filesToCopy)
                  .arg(plan.filesMissing)
                  .arg(std::count_if(plan.removals.cbegin(), plan.removals.cend(),
                                     [](const SyncPlan::Removal &removal) {
                                         return removal.kind == SyncPlan::Removal::Kind::remove;
                                     }))
                  .arg(plan.notOnThisComputer));
    printLine(u"makeJob (changeset alone) wall ms, median (min\u2013max) of %1: %2"_s.arg(runs).arg(summary(wall, 2)));
    printLine(u"makeJob thread CPU ms: %1"_s.arg(summary(cpu, 2)));
    printLine(u"makePlan (changeset and file checks) wall ms: %1"_s.arg(summary(planWall, 2)));
    printLine(u"makePlan thread CPU ms: %1"_s.arg(summary(planCpu, 2)));
    printLine(u"createPlan future wall ms: %1"_s.arg(summary(throughActor, 2)));
    printLine(u"goal: under 100 ms"_s);
    return 0;
}
