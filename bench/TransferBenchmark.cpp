// Copies a generated media tree (300 files of 3 MiB, 5,000 files of 20 KiB) with the run and
// with `cp -r`, alternating, and prints the median and spread of each.
#include "EngineBenchSupport.h"

#include "engine/SyncEngine.h"
#include "platform/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <random>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::bench;

namespace {

constexpr int largeCount = 300;
constexpr qint64 largeSize = 3 * 1024 * 1024;
constexpr int smallCount = 5000;
constexpr qint64 smallSize = 20 * 1024;
constexpr int smallFolders = 50;
constexpr int defaultRounds = 7;

struct MediaSet
{
    QString name;
    QString folder;
    QList<Track> tracks;
    qint64 bytes = 0;
};

bool writeRandomFile(const QString &path, qint64 size, std::mt19937_64 &random)
{
    QByteArray bytes(size, Qt::Uninitialized);
    auto *words = reinterpret_cast<quint64 *>(bytes.data());
    for (qint64 i = 0; i < size / qint64(sizeof(quint64)); ++i)
        words[i] = random();
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(bytes) == size;
}

bool generate(MediaSet &set, int count, qint64 size, int folders, std::mt19937_64 &random)
{
    for (int i = 0; i < count; ++i) {
        const QString path = folders > 1 ? u"%1/%2/%3.m4a"_s.arg(set.folder).arg(i % folders, 2, 10, QChar(u'0')).arg(i)
                                         : u"%1/%2.m4a"_s.arg(set.folder).arg(i);
        if (!writeRandomFile(path, size, random))
            return false;
        Track track;
        track.persistentID = u"%1-%2"_s.arg(set.name).arg(i);
        track.location = QUrl::fromLocalFile(path);
        set.tracks.append(track);
        set.bytes += size;
    }
    return true;
}

// Reads every file once so that both contenders start from the same warm cache.
void warm(const QList<Track> &tracks)
{
    for (const Track &track : tracks) {
        QFile file(track.location->toLocalFile());
        if (file.open(QIODevice::ReadOnly))
            while (!file.read(1 << 20).isEmpty()) { }
    }
}

// Flushes the previous round's writes so they do not land on the next measurement.
double timed(const std::function<bool()> &work)
{
    ::sync();
    QElapsedTimer timer;
    timer.start();
    if (!work())
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // An optional first argument sets the number of rounds.
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : defaultRounds;
    QTemporaryDir root(QDir::currentPath() + u"/quaverly-transfer-XXXXXX"_s);
    if (!root.isValid())
        return 1;
    const QString sourceFolder = root.path() + u"/Source/Music"_s;
    const QString destinationFolder = root.path() + u"/Destination/Music"_s;
    const QString cpFolder = root.path() + u"/Cp"_s;

    std::mt19937_64 random(20240301);
    MediaSet large{u"large"_s, sourceFolder + u"/Media/Large"_s, {}, 0};
    MediaSet small{u"small"_s, sourceFolder + u"/Media/Small"_s, {}, 0};
    if (!generate(large, largeCount, largeSize, 1, random) || !generate(small, smallCount, smallSize, smallFolders, random)) {
        printLine(u"could not write the media tree under %1"_s.arg(root.path()));
        return 1;
    }
    printLine(u"transfer: tree under %1"_s.arg(root.path()));

    for (MediaSet *set : {&large, &small}) {
        warm(set->tracks);
        std::vector<double> cpMs;
        std::vector<double> runMs;
        for (int round = 0; round < rounds; ++round) {
            const auto copyWithCp = [&] {
                const double ms = timed([&] {
                    return QDir().mkpath(cpFolder)
                        && QProcess::execute(u"cp"_s, {u"-r"_s, set->folder, cpFolder + u'/' + set->name}) == 0;
                });
                cpMs.push_back(ms);
                QDir(cpFolder).removeRecursively();
            };
            const auto copyWithRun = [&] {
                SyncJob job;
                job.sourceLibraryPath = QUrl::fromLocalFile(sourceFolder);
                job.destinationLibraryPath = QUrl::fromLocalFile(destinationFolder);
                job.tracksToAdd = set->tracks;
                job.totalItemCount = set->tracks.size();
                job.syncArtwork = false;
                const double ms = timed([&] {
                    try {
                        // The plan's file checks are part of what a run costs.
                        SyncPlan plan = SyncEngine::planJob(job, LocationResolver(job.sourceLibraryPath),
                                                            LocationResolver(job.destinationLibraryPath));
                        SyncEngine::runSync(plan, [](const SyncJob &) {});
                        return true;
                    } catch (const Error &error) {
                        printLine(error.description());
                        return false;
                    }
                });
                runMs.push_back(ms);
                QDir(destinationFolder).removeRecursively();
            };
            // Alternating who goes first keeps any drift from favouring one side.
            if (round % 2 == 0) {
                copyWithCp();
                copyWithRun();
            } else {
                copyWithRun();
                copyWithCp();
            }
        }
        const double mib = double(set->bytes) / (1024.0 * 1024.0);
        printLine(u"%1: %2 files, %3 MiB, %4 rounds"_s.arg(set->name).arg(set->tracks.size()).arg(mib, 0, 'f', 0).arg(rounds));
        printLine(u"  cp -r ms:   %1"_s.arg(summary(cpMs)));
        printLine(u"  runSync ms: %1"_s.arg(summary(runMs)));
        std::vector<double> ratios;
        for (size_t i = 0; i < runMs.size() && i < cpMs.size(); ++i)
            ratios.push_back(runMs[i] / cpMs[i]);
        printLine(u"  run/cp time ratio per round: %1"_s.arg(summary(ratios, 2)));
        printLine(u"  throughput MiB/s: cp %1, run %2; ratio of medians %3"_s
                      .arg(mib / median(cpMs) * 1000.0, 0, 'f', 0)
                      .arg(mib / median(runMs) * 1000.0, 0, 'f', 0)
                      .arg(median(runMs) / median(cpMs), 0, 'f', 2));
    }
    printLine(u"goals: large throughput >= 0.9x cp; small time <= 1.5x cp"_s);
    return 0;
}
