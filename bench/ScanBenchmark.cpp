// Reads one large library file four ways, each in a fresh process, and prints their time and
// peak memory side by side: expat alone with empty callbacks, our property-list reader building
// the whole tree, the whole scan (read, parse, extract, as quaverly-cli scan does it), and
// Python's plistlib when python3 is present. Then, on request, times quaverly-cli plan of a
// pair of libraries, whole process, with its peak memory.
//
//   bench_scan [LIBRARY.xml] [--tracks N] [--runs N] [--pair FOLDER | --pair-tracks N]
//
// Without a file it generates a library of N tracks (100,000 by default) in a temporary folder.
// --pair plans FOLDER/Source against FOLDER/Destination (as quaverly-fixtures pair writes them);
// --pair-tracks generates such a pair of N tracks each, differing in 5 % of them.
#include "ProcessMeasures.h"
#include "fixtures/LibraryFixture.h"
#include "platform/FileSystem.h"
#include "platform/PropertyList.h"
#include "scanner/MusicLibraryScanner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <expat.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <vector>


using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::bench;

namespace {

constexpr qsizetype chunkSize = qsizetype(1) << 20; // as the reader feeds expat

void XMLCALL ignoreStart(void *, const XML_Char *, const XML_Char **) {}
void XMLCALL ignoreEnd(void *, const XML_Char *) {}
void XMLCALL ignoreText(void *, const XML_Char *, int) {}

// expat with empty callbacks, fed as the reader feeds it. Answers what it saw, for the report.
QString parseWithBareExpat(const QByteArray &bytes)
{
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetElementHandler(parser, ignoreStart, ignoreEnd);
    XML_SetCharacterDataHandler(parser, ignoreText);
    bool ok = true;
    for (qsizetype offset = 0; ok && offset < bytes.size(); offset += chunkSize) {
        const int length = int(std::min(chunkSize, bytes.size() - offset));
        ok = XML_Parse(parser, bytes.constData() + offset, length, XML_FALSE) == XML_STATUS_OK;
    }
    ok = ok && XML_Parse(parser, nullptr, 0, XML_TRUE) == XML_STATUS_OK;
    const QString result = ok ? u"well-formed"_s : QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser)));
    XML_ParserFree(parser);
    return result;
}

// One measurement inside a fresh process; prints "seconds cpuSeconds readSeconds peakBytes detail".
int runChild(const QString &mode, const QString &path)
{
    try {
        const double cpuAtStart = cpuSeconds();
        QElapsedTimer timer;
        timer.start();
        double readSeconds = 0;
        double seconds = 0;
        double cpu = 0;
        // The clocks stop when the result is ready, before it is destroyed.
        const auto stopClocks = [&] {
            seconds = double(timer.nsecsElapsed()) / 1e9;
            cpu = cpuSeconds() - cpuAtStart;
        };
        QString detail;
        if (mode == u"scan") {
            const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(path));
            stopClocks();
            detail = u"%1 tracks, %2 playlists"_s.arg(library.tracks.size()).arg(library.playlists.size());
        } else {
            const QByteArray bytes = FileSystem::readWholeFile(path);
            readSeconds = double(timer.nsecsElapsed()) / 1e9;
            if (mode == u"expat") {
                detail = parseWithBareExpat(bytes);
                stopClocks();
            } else {
                const PropertyList list = PropertyList::parse(bytes);
                stopClocks();
                detail = u"%1 keys"_s.arg(list.keyCount());
            }
        }
        out() << seconds << ' ' << cpu << ' ' << readSeconds << ' ' << peakResidentBytes() << ' ' << detail
              << Qt::endl;
        return 0;
    } catch (const std::exception &error) {
        QTextStream(stderr) << error.what() << Qt::endl;
        return 1;
    }
}

// Writes a pair of `tracks` tracks each into `folder`/Source and `folder`/Destination.
int generatePair(int tracks, const QString &folder)
{
    fixtures::LibraryOptions options;
    options.trackCount = tracks;
    options.playlistCount = std::max(10, tracks / 1000);
    options.libraryFolder = folder + u"/Source"_s;
    fixtures::LibraryVariation variation;
    variation.removedTracks = variation.addedTracks = variation.changedTracks = tracks / 20;
    variation.editedPlaylists = options.playlistCount / 10;
    try {
        (void)fixtures::generatePair(options, variation, folder + u"/Destination"_s);
        return 0;
    } catch (const std::exception &error) {
        QTextStream(stderr) << error.what() << Qt::endl;
        return 1;
    }
}

QString verdict(bool met)
{
    return met ? u"met"_s : u"missed"_s;
}

struct ProcessRun
{
    double seconds = 0;
    double peakBytes = 0;
};

// Runs `program` to its end, its output discarded, and reads its peak memory from the kernel's
// account of the child, which QProcess does not give.
std::optional<ProcessRun> runWhole(const QString &program, const QStringList &arguments)
{
    std::vector<QByteArray> storage{program.toLocal8Bit()};
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
#if defined(Q_OS_MACOS)
    const double peak = double(usage.ru_maxrss);
#else
    const double peak = double(usage.ru_maxrss) * 1024;
#endif
    return ProcessRun{seconds, peak};
}

// quaverly-cli plan of the pair in `folder`, `runs` times.
int runPlanBenchmark(const QString &folder, int runs)
{
    const QString source = folder + u"/Source/Music Library.xml"_s;
    const QString destination = folder + u"/Destination/Music Library.xml"_s;
    const double bytes = double(QFileInfo(source).size() + QFileInfo(destination).size());
    out() << Qt::endl
          << "quaverly-cli plan of " << folder << " (" << QString::number(bytes / 1e6, 'f', 0)
          << " MB of library files), whole process:" << Qt::endl;
    std::vector<double> seconds;
    std::vector<double> peaks;
    for (int run = 0; run < runs; ++run) {
        const std::optional<ProcessRun> result =
            runWhole(QStringLiteral(QUAVERLY_CLI), {u"plan"_s, source, destination});
        if (!result) {
            QTextStream(stderr) << "bench_scan: quaverly-cli plan failed" << Qt::endl;
            return 1;
        }
        seconds.push_back(result->seconds);
        peaks.push_back(result->peakBytes);
    }
    const auto [fastest, slowest] = std::minmax_element(seconds.begin(), seconds.end());
    const double time = median(seconds);
    const double peak = median(peaks);
    out() << u"  wall %1 s (%2–%3), peak RSS %4 MB (%5–%6)"_s.arg(time, 0, 'f', 2)
                 .arg(*fastest, 0, 'f', 2)
                 .arg(*slowest, 0, 'f', 2)
                 .arg(peak / 1e6, 0, 'f', 0)
                 .arg(*std::min_element(peaks.begin(), peaks.end()) / 1e6, 0, 'f', 0)
                 .arg(*std::max_element(peaks.begin(), peaks.end()) / 1e6, 0, 'f', 0)
          << Qt::endl
          << u"  goal ≤ 6 s: %1; goal ≤ 1 GB: %2"_s.arg(verdict(time <= 6), verdict(peak <= 1e9)) << Qt::endl;
    return 0;
}

// Writes a library of `tracks` tracks into `folder` and prints its path.
int generate(int tracks, const QString &folder)
{
    fixtures::LibraryOptions options;
    options.trackCount = tracks;
    options.playlistCount = std::max(10, tracks / 1000);
    options.libraryFolder = folder;
    try {
        out() << fixtures::generateLibrary(options).xmlPath << Qt::endl;
        return 0;
    } catch (const std::exception &error) {
        QTextStream(stderr) << error.what() << Qt::endl;
        return 1;
    }
}

const QString plistlibScript = uR"(import plistlib, resource, sys, time
start, cpu = time.perf_counter(), time.process_time()
with open(sys.argv[1], 'rb') as f:
    library = plistlib.load(f)
seconds, cpu = time.perf_counter() - start, time.process_time() - cpu
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * (1 if sys.platform == 'darwin' else 1024)
print(seconds, cpu, 0, peak, '%d tracks' % len(library.get('Tracks', {})))
)"_s;

struct Sample
{
    double seconds = 0;
    double cpuSeconds = 0;
    double readSeconds = 0;
    double peakBytes = 0;
    QString detail;
};

struct Contender
{
    QString name;
    QString program;
    QStringList arguments;
    std::vector<Sample> samples;
};

std::optional<Sample> measure(const Contender &contender)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(contender.program, contender.arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QStringList fields = QString::fromUtf8(process.readAllStandardOutput()).trimmed().split(u' ');
    if (fields.size() < 4)
        return std::nullopt;
    return Sample{fields[0].toDouble(), fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble(),
                  fields.mid(4).join(u' ')};
}

double medianOf(const Contender &contender, double Sample::*field)
{
    std::vector<double> values;
    for (const Sample &sample : contender.samples)
        values.push_back(sample.*field);
    return median(values);
}

double fastestOf(const Contender &contender, double Sample::*field)
{
    double fastest = contender.samples.front().*field;
    for (const Sample &sample : contender.samples)
        fastest = std::min(fastest, sample.*field);
    return fastest;
}

QString secondsSummary(const Contender &contender)
{
    const auto [low, high] = std::minmax_element(
        contender.samples.begin(), contender.samples.end(),
        [](const Sample &a, const Sample &b) { return a.seconds < b.seconds; });
    return u"%1 (%2\u2013%3)"_s.arg(medianOf(contender, &Sample::seconds), 0, 'f', 2)
        .arg(low->seconds, 0, 'f', 2)
        .arg(high->seconds, 0, 'f', 2);
}

int runBenchmark(const QStringList &arguments)
{
    QString path;
    QString pairFolder;
    int tracks = 100'000;
    int runs = 3;
    int pairTracks = 0;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if ((argument == u"--tracks" || argument == u"--runs" || argument == u"--pair-tracks")
            && i + 1 < arguments.size()) {
            bool ok = false;
            const int value = arguments.at(++i).toInt(&ok);
            if (!ok || value < 1) {
                QTextStream(stderr) << "bench_scan: " << argument << " needs a positive number" << Qt::endl;
                return 2;
            }
            (argument == u"--tracks" ? tracks : argument == u"--runs" ? runs : pairTracks) = value;
        } else if (argument == u"--pair" && i + 1 < arguments.size()) {
            pairFolder = QFileInfo(arguments.at(++i)).absoluteFilePath();
        } else if (!argument.startsWith(u"--") && path.isEmpty()) {
            path = QFileInfo(argument).absoluteFilePath();
        } else {
            QTextStream(stderr) << "usage: bench_scan [LIBRARY.xml] [--tracks N] [--runs N]"
                                << " [--pair FOLDER | --pair-tracks N]" << Qt::endl;
            return 2;
        }
    }

    const QString self = QCoreApplication::applicationFilePath();
    QTemporaryDir folder;
    if (path.isEmpty()) {
        // In a process of its own: Linux counts the memory of the process that forks a child in
        // that child's peak, so this one must stay small.
        QProcess generator;
        generator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        generator.start(self, {u"--generate"_s, QString::number(tracks), folder.path()});
        if (!folder.isValid() || !generator.waitForFinished(-1) || generator.exitCode() != 0) {
            QTextStream(stderr) << "bench_scan: generating the library failed" << Qt::endl;
            return 1;
        }
        path = QString::fromUtf8(generator.readAllStandardOutput()).trimmed();
    }
    const double fileBytes = double(QFileInfo(path).size());
    const double fileMB = fileBytes / 1e6;
    out() << "Library: " << path << ", " << QString::number(fileMB, 'f', 1) << " MB" << Qt::endl;

    std::vector<Contender> contenders = {
        {u"expat, empty callbacks"_s, self, {u"--child"_s, u"expat"_s, path}, {}},
        {u"PropertyList::parse"_s, self, {u"--child"_s, u"reader"_s, path}, {}},
        {u"scanLibrarySync"_s, self, {u"--child"_s, u"scan"_s, path}, {}},
    };
    const QString python = QStandardPaths::findExecutable(u"python3"_s);
    if (!python.isEmpty())
        contenders.push_back({u"python3 plistlib.load"_s, python, {u"-c"_s, plistlibScript, path}, {}});
    else
        out() << "python3 not found: plistlib is left out." << Qt::endl;

    // Rounds interleave the contenders so that a busy machine slows them alike.
    for (int round = 0; round < runs; ++round) {
        for (Contender &contender : contenders) {
            const std::optional<Sample> sample = measure(contender);
            if (!sample) {
                QTextStream(stderr) << "bench_scan: " << contender.name << " failed" << Qt::endl;
                return 1;
            }
            contender.samples.push_back(*sample);
        }
    }

    out() << "Each figure is the median of " << runs << " fresh processes; wall-clock seconds with their"
          << " range, and CPU seconds (user + system), which a busy machine disturbs less." << Qt::endl
          << Qt::endl;
    out() << u"%1 %2 %3 %4 %5 %6 %7  %8"_s.arg(u""_s, -22)
                 .arg(u"wall s"_s, -18)
                 .arg(u"CPU s"_s, 6)
                 .arg(u"read s"_s, 7)
                 .arg(u"MB/s"_s, 6)
                 .arg(u"peak RSS"_s, 9)
                 .arg(u"\u00d7 file"_s, 7)
                 .arg(u"saw"_s)
          << Qt::endl;
    for (const Contender &contender : contenders) {
        const double peak = medianOf(contender, &Sample::peakBytes);
        out() << u"%1 %2 %3 %4 %5 %6 %7  %8"_s.arg(contender.name, -22)
                     .arg(secondsSummary(contender), -18)
                     .arg(medianOf(contender, &Sample::cpuSeconds), 6, 'f', 2)
                     .arg(medianOf(contender, &Sample::readSeconds), 7, 'f', 2)
                     .arg(fileMB / medianOf(contender, &Sample::seconds), 6, 'f', 0)
                     .arg(u"%1 MB"_s.arg(peak / 1e6, 0, 'f', 0), 9)
                     .arg(peak / fileBytes, 7, 'f', 2)
                     .arg(contender.samples.back().detail)
              << Qt::endl;
    }

    // Goals are on wall-clock time, since the scan extracts on a second thread while it parses;
    // CPU time shows the work done. A busy machine only ever slows a run down, so the fastest
    // run is the least disturbed one.
    const auto ratioLine = [&](const QString &name, std::size_t a, std::size_t b, const QString &goal,
                               const std::function<bool(double)> &met) {
        const double wall = medianOf(contenders[a], &Sample::seconds) / medianOf(contenders[b], &Sample::seconds);
        const double fastest = fastestOf(contenders[a], &Sample::seconds) / fastestOf(contenders[b], &Sample::seconds);
        const double cpu = medianOf(contenders[a], &Sample::cpuSeconds) / medianOf(contenders[b], &Sample::cpuSeconds);
        out() << u"%1 wall %2\u00d7 (fastest runs %3\u00d7), CPU %4\u00d7   goal %5: %6 (fastest runs: %7)"_s
                     .arg(name, -26)
                     .arg(wall, 0, 'f', 2)
                     .arg(fastest, 0, 'f', 2)
                     .arg(cpu, 0, 'f', 2)
                     .arg(goal, verdict(met(wall)), verdict(met(fastest)))
              << Qt::endl;
    };
    out() << Qt::endl;
    ratioLine(u"scan / expat bare parse"_s, 2, 0, u"\u2264 1.15\u00d7"_s, [](double r) { return r <= 1.15; });
    if (contenders.size() > 3)
        ratioLine(u"plistlib / scan"_s, 3, 2, u"\u2265 8\u00d7"_s, [](double r) { return r >= 8; });
    const double scanPeak = medianOf(contenders[2], &Sample::peakBytes) / fileBytes;
    out() << u"%1 %2\u00d7   goal \u2264 1.5\u00d7: %3"_s.arg(u"scan peak RSS / file size"_s, -26)
                 .arg(scanPeak, 0, 'f', 2)
                 .arg(verdict(scanPeak <= 1.5))
          << Qt::endl;

    if (pairTracks > 0) {
        QTemporaryDir pairRoot;
        QProcess generator;
        generator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        generator.start(self, {u"--generate-pair"_s, QString::number(pairTracks), pairRoot.path()});
        if (!pairRoot.isValid() || !generator.waitForFinished(-1) || generator.exitCode() != 0) {
            QTextStream(stderr) << "bench_scan: generating the pair failed" << Qt::endl;
            return 1;
        }
        return runPlanBenchmark(pairRoot.path(), runs);
    }
    if (!pairFolder.isEmpty())
        return runPlanBenchmark(pairFolder, runs);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 3 && arguments.at(0) == u"--child")
        return runChild(arguments.at(1), arguments.at(2));
    if (arguments.size() == 3 && arguments.at(0) == u"--generate")
        return generate(arguments.at(1).toInt(), arguments.at(2));
    if (arguments.size() == 3 && arguments.at(0) == u"--generate-pair")
        return generatePair(arguments.at(1).toInt(), arguments.at(2));
    return runBenchmark(arguments);
}
