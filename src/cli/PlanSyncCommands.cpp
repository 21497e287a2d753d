#include "cli/CliSupport.h"

#include "engine/SyncEngine.h"
#include "scanner/MusicLibraryScanner.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <optional>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quaverly::cli {

namespace {

struct PlanArguments
{
    QString source;
    QString destination;
    MediaFolders mediaFolders;
    bool json = false;
    bool allowMassRemoval = false;
    bool deletePermanently = false;
};

std::optional<PlanArguments> parseArguments(const QStringList &arguments, const QString &command,
                                            bool acceptsJson, int &exitCode)
{
    PlanArguments parsed;
    QStringList paths;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        std::optional<QString> *mediaFolder = argument == u"--source-media"      ? &parsed.mediaFolders.source
                                            : argument == u"--destination-media" ? &parsed.mediaFolders.destination
                                                                                 : nullptr;
        if (mediaFolder) {
            if (i + 1 >= arguments.size()) {
                exitCode = usageError(u"%1 needs a folder."_s.arg(argument));
                return std::nullopt;
            }
            *mediaFolder = QFileInfo(arguments.at(++i)).absoluteFilePath();
        } else if (acceptsJson && argument == u"--json") {
            parsed.json = true;
        } else if (!acceptsJson && argument == u"--allow-mass-removal") {
            parsed.allowMassRemoval = true;
        } else if (!acceptsJson && argument == u"--delete-permanently") {
            parsed.deletePermanently = true;
        } else if (argument.startsWith(u'-')) {
            exitCode = usageError(u"Unknown option \"%1\" for %2."_s.arg(argument, command));
            return std::nullopt;
        } else {
            paths.append(argument);
        }
    }
    if (paths.size() != 2) {
        exitCode = usageError(u"%1 takes a source and a destination library file."_s.arg(command));
        return std::nullopt;
    }
    parsed.source = paths.at(0);
    parsed.destination = paths.at(1);
    return parsed;
}

// Reads both files as the window does, one scanner with two reads, and plans the job.
SyncPlan makePlan(const PlanArguments &arguments)
{
    MusicLibraryScanner scanner;
    QFuture<MusicLibrary> sourceScan = scanner.scanLibrary(libraryUrl(arguments.source));
    QFuture<MusicLibrary> destinationScan = scanner.scanLibrary(libraryUrl(arguments.destination));
    const MusicLibrary source = sourceScan.result();
    const MusicLibrary destination = destinationScan.result();
    SyncEngine engine;
    return engine.createPlan(source, destination, arguments.mediaFolders).result();
}

// The four counts, then only what applies of where the libraries are read and what their files
// look like here: the run's surprises, said before anything is written.
void printPlan(const SyncPlan &plan)
{
    const SyncJob &job = plan.job;
    printLine(u"Tracks to Add: %1"_s.arg(job.tracksToAdd.size()));
    printLine(u"Tracks to Remove: %1"_s.arg(job.tracksToRemove.size()));
    printLine(u"Metadata Updates: %1"_s.arg(job.tracksToUpdate.size()));
    printLine(u"Playlists: %1"_s.arg(job.playlistsToSync.size()));
    if (!job.hasChanges())
        printLine(u"Libraries are already in sync."_s);
    for (const QString &line : plan.notice())
        printLine(line);
}

[[nodiscard]] qint64 percentage(const SyncJob &job)
{
    return job.totalItemCount > 0 ? job.completedItemCount * 100 / job.totalItemCount : 100;
}

// Shows the run's reports on standard error: a bar redrawn in place on a terminal, otherwise
// one line for every percent reached. Called on the engine's thread while the main thread
// waits for the run, so it needs no lock.
class ProgressPrinter
{
public:
    ProgressPrinter()
        : m_terminal(::isatty(::fileno(stderr)) == 1)
    {
        m_sinceDraw.start();
    }

    void show(const SyncJob &job)
    {
        const qint64 percent = percentage(job);
        const bool finished = job.status == SyncJob::SyncStatus::completed;
        if (m_terminal) {
            // Redrawing for every one of 100,000 reports would make the terminal the bottleneck.
            if (percent == m_lastPercent && !finished && m_sinceDraw.elapsed() < 100)
                return;
            drawBar(job, percent);
        } else if (percent > m_lastPercent) {
            printErrorLine(u"Progress: %1 of %2 items (%3%)"_s.arg(job.completedItemCount)
                               .arg(job.totalItemCount)
                               .arg(percent));
        }
        m_lastPercent = percent;
    }

    // Ends the bar's line so that what follows starts on a line of its own.
    void finish()
    {
        if (m_barShown) {
            std::fputc('\n', stderr);
            std::fflush(stderr);
            m_barShown = false;
        }
    }

private:
    void drawBar(const SyncJob &job, qint64 percent)
    {
        constexpr qint64 width = 30;
        const qint64 filled = std::min(width, percent * width / 100);
        const QString bar = QString(filled, u'#') + QString(width - filled, u'-');
        const QByteArray line = u"\r[%1] %2 of %3 items %4%"_s.arg(bar)
                                    .arg(job.completedItemCount)
                                    .arg(job.totalItemCount)
                                    .arg(percent)
                                    .toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        m_barShown = true;
        m_sinceDraw.restart();
    }

    bool m_terminal;
    bool m_barShown = false;
    qint64 m_lastPercent = -1;
    QElapsedTimer m_sinceDraw;
};

} // namespace

int runPlanCommand(const QStringList &arguments)
{
    int exitCode = exitSuccess;
    const std::optional<PlanArguments> parsed = parseArguments(arguments, u"plan"_s, true, exitCode);
    if (!parsed)
        return exitCode;

    try {
        const SyncPlan plan = makePlan(*parsed);
        if (parsed->json) {
            // Standard output keeps the job's own form; what the checks found goes beside it.
            const QByteArray bytes = QJsonDocument(plan.job.toJson()).toJson(QJsonDocument::Compact);
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
            for (const QString &line : plan.notice())
                printErrorLine(line);
        } else {
            printPlan(plan);
        }
        if (const std::optional<QString> refusal = plan.refusal())
            printErrorLine(*refusal);
        return exitSuccess;
    } catch (...) {
        // Out of memory too: one sentence, never an abort.
        printErrorLine(failureSentence(std::current_exception()));
        return exitFailure;
    }
}

int runSyncCommand(const QStringList &arguments)
{
    int exitCode = exitSuccess;
    const std::optional<PlanArguments> parsed = parseArguments(arguments, u"sync"_s, false, exitCode);
    if (!parsed)
        return exitCode;

    ProgressPrinter printer;
    try {
        SyncPlan plan = makePlan(*parsed);
        printPlan(plan);
        plan.consent = {.massRemoval = parsed->allowMassRemoval, .permanentDeletion = parsed->deletePermanently};

        SyncEngine engine;
        const SyncJob finished =
            engine.performSync(plan, [&printer](const SyncJob &snapshot) { printer.show(snapshot); }).result();
        printer.finish();
        printLine(u"Sync complete"_s);
        printLine(u"Items completed: %1 of %2"_s.arg(finished.completedItemCount).arg(finished.totalItemCount));
        const QStringList skipped = plan.missingFiles();
        if (skipped.isEmpty())
            return exitSuccess;
        printLine(u"Skipped %1 %2 not found in the source library:"_s.arg(skipped.size())
                      .arg(skipped.size() == 1 ? u"file"_s : u"files"_s));
        for (const QString &path : skipped)
            printLine(u"  "_s + path);
        return exitSkipped;
    } catch (...) {
        printer.finish();
        printErrorLine(failureSentence(std::current_exception()));
        return exitFailure;
    }
}

} // namespace quaverly::cli
