// Plans two 100,000-track libraries that differ in about a tenth of their tracks and hold 500
// playlists each, and prints how long the changeset takes.
#include "EngineBenchSupport.h"

#include "engine/SyncEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::bench;

namespace {

constexpr qint64 trackCount = 100'000;
constexpr qint64 playlistCount = 500;
constexpr int runs = 11;

// The destination lacks every 20th source track, holds 5,000 of its own instead, and has other
// play counts for every 20th shared one: 5,000 adds, 5,000 removals, about 4,750 updates.
void buildLibraries(MusicLibrary &source, MusicLibrary &destination)
{
    source.xmlURL = QUrl::fromLocalFile(u"/Users/u/Music/Music/Music Library.xml"_s);
    destination.xmlURL = QUrl::fromLocalFile(u"/Volumes/M/Music/Music/Music Library.xml"_s);
    source.tracks.reserve(trackCount);
    destination.tracks.reserve(trackCount);
    QList<QString> sourceIDs;
    sourceIDs.reserve(trackCount);
    for (qint64 i = 0; i < trackCount; ++i) {
        const Track track = realisticTrack(i, u"/Users/u/Music/Music"_s);
        source.tracks.insert(track.persistentID, track);
        sourceIDs.append(track.persistentID);
        if (i % 20 == 7)
            continue;
        Track theirs = track;
        theirs.location = QUrl::fromLocalFile(track.location->toLocalFile().replace(u"/Users/u"_s, u"/Volumes/M"_s));
        if (i % 20 == 3)
            theirs.playCount += 1;
        destination.tracks.insert(theirs.persistentID, theirs);
    }
    for (qint64 i = 0; i < trackCount / 20; ++i) {
        const Track own = realisticTrack(trackCount + i, u"/Volumes/M/Music/Music"_s);
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
    MusicLibrary source;
    MusicLibrary destination;
    buildLibraries(source, destination);

    // Finished jobs are kept until the end so that freeing them is not timed with the next one.
    std::vector<SyncJob> jobs;
    jobs.reserve(2 * runs);
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadCpuMs();
        jobs.push_back(SyncEngine::makeJob(source, destination));
        cpu.push_back(threadCpuMs() - cpuStart);
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::vector<double> throughActor;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        SyncEngine engine;
        jobs.push_back(engine.createJob(source, destination).result());
        throughActor.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const SyncJob &job = jobs.back();

    printLine(u"plan: %1 source tracks, %2 destination tracks, %3 playlists each"_s.arg(source.tracks.size())
                  .arg(destination.tracks.size())
                  .arg(playlistCount));
    printLine(u"changeset: %1 to add, %2 to remove, %3 updates, %4 playlists, total %5"_s.arg(job.tracksToAdd.size())
                  .arg(job.tracksToRemove.size())
                  .arg(job.tracksToUpdate.size())
                  .arg(job.playlistsToSync.size())
                  .arg(job.totalItemCount));
    printLine(u"makeJob wall ms, median (min\u2013max) of %1: %2"_s.arg(runs).arg(summary(wall, 2)));
    printLine(u"makeJob thread CPU ms: %1"_s.arg(summary(cpu, 2)));
    printLine(u"createJob future wall ms: %1"_s.arg(summary(throughActor, 2)));
    printLine(u"goal: under 100 ms"_s);
    return 0;
}
