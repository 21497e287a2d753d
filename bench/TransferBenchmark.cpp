// Copies a generated media tree (300 files of 3 MiB, 5,000 files of 20 KiB) with the run, one
// file at a time and as many at once as it chooses, and with `cp -r`, taking turns, and prints
// the median and spread of each.
//
//     bench_transfer [ROUNDS] [--latency-ms N] [--at-once N]
//
// With --latency-ms, the copies go onto a pass-through FUSE file system (bench_latencyfs) that
// waits N ms on every metadata operation, as a volume mounted over a network does, and `rsync -a`
// joins in. --at-once adds the run with that many copies at once. Last, it times the check of an
// artwork mirror that is complete.
#include "EngineBenchSupport.h"

#include "engine/SyncEngine.h"
#include "platform/Error.h"
#include "platform/Volume.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <optional>
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
constexpr int defaultRoundsOverLatency = 3;

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

// bench_latencyfs mounted at `mountPoint` over `backing` for as long as it lives.
class LatencyMount
{
public:
    LatencyMount(const QString &backing, const QString &mountPoint, int latencyMs)
        : m_mountPoint(mountPoint)
    {
#if defined(QUAVERLY_LATENCYFS_PATH)
        if (!QDir().mkpath(backing) || !QDir().mkpath(mountPoint))
            return;
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral(QUAVERLY_LATENCYFS_PATH),
                        {u"--root="_s + backing, u"--latency-ms=%1"_s.arg(latencyMs), mountPoint, u"-f"_s,
                         // A file server answers many requests at once; libfuse's default of ten
                         // threads would be the bottleneck of the measurement instead.
                         u"-o"_s, u"max_threads=64"_s});
        if (!m_process.waitForStarted())
            return;
        // Mounted once the mount point answers as a file system of its own.
        for (int wait = 0; wait < 100 && m_process.state() == QProcess::Running; ++wait) {
            if (!Volume::isLocalDisk(mountPoint)) {
                m_mounted = true;
                return;
            }
            QThread::msleep(100);
        }
#else
        Q_UNUSED(backing);
        Q_UNUSED(latencyMs);
#endif
    }
    ~LatencyMount()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        QProcess::execute(u"fusermount3"_s, {u"-u"_s, m_mountPoint});
        if (!m_process.waitForFinished(10'000))
            m_process.kill();
        m_process.waitForFinished();
    }
    LatencyMount(const LatencyMount &) = delete;
    LatencyMount &operator=(const LatencyMount &) = delete;

    [[nodiscard]] bool mounted() const { return m_mounted; }

private:
    QString m_mountPoint;
    QProcess m_process;
    bool m_mounted = false;
};

// One way of copying a set into a folder that does not exist yet; false when it failed.
struct Contender
{
    QString name;
    std::function<bool(const MediaSet &, const QString &target)> copy;
};

bool runEngine(const QString &sourceFolder, const QList<Track> &tracks, const QString &target,
               std::optional<int> copiesAtOnce, int *chosen = nullptr)
{
    SyncJob job;
    job.sourceLibraryPath = QUrl::fromLocalFile(sourceFolder);
    job.destinationLibraryPath = QUrl::fromLocalFile(target);
    job.tracksToAdd = tracks;
    job.totalItemCount = tracks.size();
    job.syncArtwork = false;
    try {
        // The plan's file checks, and the run's look at the volumes, are part of what a run costs.
        SyncPlan plan = SyncEngine::planJob(job, LocationResolver(job.sourceLibraryPath),
                                            LocationResolver(job.destinationLibraryPath));
        SyncEngine::runSync(plan, [](const SyncJob &) {}, RunControl{.copiesAtOnce = copiesAtOnce});
        if (chosen)
            *chosen = SyncEngine::copiesAtOnce(plan);
        return true;
    } catch (const Error &error) {
        printLine(error.description());
        return false;
    }
}

bool runTool(const QString &program, const QStringList &arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const auto option = [&arguments](const QString &name) -> std::optional<int> {
        const qsizetype at = arguments.indexOf(name);
        if (at < 0 || at + 1 >= arguments.size())
            return std::nullopt;
        const int value = arguments.at(at + 1).toInt();
        arguments.remove(at, 2);
        return value;
    };
    const std::optional<int> latencyMs = option(u"--latency-ms"_s);
    const std::optional<int> atOnce = option(u"--at-once"_s);
    const int rounds = !arguments.isEmpty() ? std::max(1, arguments.first().toInt())
        : latencyMs                         ? defaultRoundsOverLatency
                                            : defaultRounds;
    QTemporaryDir root(QDir::currentPath() + u"/quaverly-transfer-XXXXXX"_s);
    if (!root.isValid())
        return 1;
    const QString sourceFolder = root.path() + u"/Source/Music"_s;

    std::optional<LatencyMount> mount;
    // Where the copies land, and where the same folders are reached without the mount's latency
    // (to clear them between rounds at the speed of the disk).
    QString targetRoot = root.path() + u"/Targets"_s;
    QString clearRoot = targetRoot;
    if (latencyMs) {
        clearRoot = root.path() + u"/Backing"_s;
        targetRoot = root.path() + u"/Mount"_s;
        mount.emplace(clearRoot, targetRoot, *latencyMs);
        if (!mount->mounted()) {
            printLine(u"could not mount bench_latencyfs at %1 (built only where pkg-config finds fuse3; needs "
                      "/dev/fuse and fusermount3)"_s.arg(targetRoot));
            return 1;
        }
    } else if (!QDir().mkpath(targetRoot)) {
        return 1;
    }

    std::mt19937_64 random(20240301);
    MediaSet large{u"large"_s, sourceFolder + u"/Media/Large"_s, {}, 0};
    MediaSet small{u"small"_s, sourceFolder + u"/Media/Small"_s, {}, 0};
    if (!generate(large, largeCount, largeSize, 1, random) || !generate(small, smallCount, smallSize, smallFolders, random)) {
        printLine(u"could not write the media tree under %1"_s.arg(root.path()));
        return 1;
    }
    printLine(latencyMs ? u"transfer onto a FUSE mount with %1 ms per metadata operation, %2 rounds, tree under %3"_s
                              .arg(*latencyMs)
                              .arg(rounds)
                              .arg(root.path())
                        : u"transfer on the local disk, %1 rounds, tree under %2"_s.arg(rounds).arg(root.path()));

    int chosen = 0;
    std::vector<Contender> contenders{
        {u"cp -r"_s, [](const MediaSet &set, const QString &target) { return runTool(u"cp"_s, {u"-r"_s, set.folder, target}); }},
        {u"run, 1 at once"_s,
         [&](const MediaSet &set, const QString &target) { return runEngine(sourceFolder, set.tracks, target, 1); }},
        {u"run, its choice"_s, [&](const MediaSet &set, const QString &target) {
             return runEngine(sourceFolder, set.tracks, target, std::nullopt, &chosen);
         }}};
    if (latencyMs && !QStandardPaths::findExecutable(u"rsync"_s).isEmpty()) {
        contenders.insert(contenders.begin() + 1, Contender{u"rsync -a"_s, [](const MediaSet &set, const QString &target) {
                              return runTool(u"rsync"_s, {u"-a"_s, set.folder + u'/', target + u'/'});
                          }});
    }
    if (atOnce) {
        contenders.push_back({u"run, %1 at once"_s.arg(*atOnce), [&](const MediaSet &set, const QString &target) {
                                  return runEngine(sourceFolder, set.tracks, target, *atOnce);
                              }});
    }

    for (MediaSet *set : {&large, &small}) {
        warm(set->tracks);
        std::vector<std::vector<double>> ms(contenders.size());
        for (int round = 0; round < rounds; ++round) {
            // Taking turns at going first keeps any drift from favouring one contender.
            for (size_t turn = 0; turn < contenders.size(); ++turn) {
                const size_t which = (turn + size_t(round)) % contenders.size();
                // A fresh name each time: nothing the mount's kernel caches remembers helps.
                const QString name = u"%1-%2-%3"_s.arg(set->name).arg(which).arg(round);
                ms[which].push_back(timed([&] { return contenders[which].copy(*set, targetRoot + u'/' + name); }));
                QDir(clearRoot + u'/' + name).removeRecursively();
            }
        }
        const double mib = double(set->bytes) / (1024.0 * 1024.0);
        printLine(u"%1: %2 files, %3 MiB; ms, median (min\u2013max), and MiB/s of the median"_s.arg(set->name)
                      .arg(set->tracks.size())
                      .arg(mib, 0, 'f', 0));
        for (size_t i = 0; i < contenders.size(); ++i) {
            const QString name =
                contenders[i].name == u"run, its choice"_s ? u"run, its choice (%1)"_s.arg(chosen) : contenders[i].name;
            printLine(u"  %1 %2 %3"_s.arg(name, -24).arg(summary(ms[i]), -28).arg(mib / median(ms[i]) * 1000.0, 6, 'f', 0));
        }
        const auto medianOf = [&](const QString &name) {
            for (size_t i = 0; i < contenders.size(); ++i) {
                if (contenders[i].name == name)
                    return median(ms[i]);
            }
            return 0.0;
        };
        const double choice = medianOf(u"run, its choice"_s);
        printLine(u"  its choice is %1x faster than 1 at once, %2x than cp -r"_s
                      .arg(medianOf(u"run, 1 at once"_s) / choice, 0, 'f', 2)
                      .arg(medianOf(u"cp -r"_s) / choice, 0, 'f', 2));
    }
    // A second sync finds the artwork mirror complete, and still asks about every file of it.
    const QString mirror = targetRoot + u"/mirror"_s;
    if (runTool(u"cp"_s, {u"-r"_s, small.folder, mirror})) {
        std::vector<double> ms;
        for (int round = 0; round < rounds; ++round) {
            ms.push_back(timed([&] {
                try {
                    return SyncEngine::planArtwork(small.folder, mirror).isEmpty();
                } catch (const Error &error) {
                    printLine(error.description());
                    return false;
                }
            }));
        }
        printLine(u"checking a complete mirror of the small files, as artwork: %1 ms"_s.arg(summary(ms)));
        QDir(clearRoot + u"/mirror"_s).removeRecursively();
    }
    printLine(latencyMs ? u"goals: small files >= 3x faster than 1 at once and than cp -r; large files no slower than cp -r"_s
                        : u"goals: its choice no slower than 1 at once; large throughput >= 0.9x cp; small time <= 1.5x cp"_s);
    return 0;
}
