#include "cli/CliSupport.h"
#include "cli/CommandLine.h"

#include "cli/Operations.h"
#include "engine/SyncEngine.h"
#include "scanner/MusicLibraryScanner.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <csignal>
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
    bool files = false;
    bool allowMassRemoval = false;
    bool deletePermanently = false;
    QString importList;
};

/// --source-media and --destination-media, which plan and sync share.
struct MediaFolderOptions
{
    QCommandLineOption source{u"source-media"_s,
                              u"The source library's media folder on this computer, where it is not where the "
                              u"library file says."_s,
                              u"FOLDER"_s};
    QCommandLineOption destination{u"destination-media"_s,
                                   u"The destination library's media folder on this computer, where it is not "
                                   u"where the library file says."_s,
                                   u"FOLDER"_s};

    [[nodiscard]] MediaFolders read(const QCommandLineParser &parsed) const
    {
        return {absolutePath(parsed, source), absolutePath(parsed, destination)};
    }

    [[nodiscard]] static std::optional<QString> absolutePath(const QCommandLineParser &parsed,
                                                           const QCommandLineOption &option)
    {
        if (!parsed.isSet(option))
            return std::nullopt;
        return QFileInfo(parsed.value(option)).absoluteFilePath();
    }
};

PlanArguments libraries(const QCommandLineParser &parsed)
{
    PlanArguments arguments;
    arguments.source = parsed.positionalArguments().at(0);
    arguments.destination = parsed.positionalArguments().at(1);
    return arguments;
}

QList<Command::Argument> libraryArguments()
{
    return {{u"SOURCE.xml"_s, u"The source library file."_s}, {u"DEST.xml"_s, u"The destination library file."_s}};
}

void printJson(const QJsonDocument &document)
{
    const QByteArray bytes = document.toJson(QJsonDocument::Compact);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The stop a signal asked for. Only a lock-free store happens in the handler.
std::atomic<bool> stopRequested = false;
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void requestStop(int signal)
{
    stopSignal = signal;
    stopRequested.store(true);
}

// Reads both files as the window does, at once, and plans the job.
SyncPlan makePlan(const PlanArguments &arguments)
{
    // A scanner keeps nothing between reads: one for each file reads both at once.
    MusicLibraryScanner sourceScanner;
    MusicLibraryScanner destinationScanner;
    QFuture<MusicLibrary> sourceScan = sourceScanner.scanLibrary(libraryUrl(arguments.source));
    QFuture<MusicLibrary> destinationScan = destinationScanner.scanLibrary(libraryUrl(arguments.destination));
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

// Written whole or not at all: a half-written list would add half the tracks.
void writeImportList(const QString &path, const SyncPlan &plan)
{
    QSaveFile file(path);
    const QByteArray list = plan.importList();
    if (!file.open(QIODevice::WriteOnly) || file.write(list) != list.size() || !file.commit())
        throw Error(u"Couldn't write the import list \"%1\": %2."_s.arg(path, file.errorString()));
    printLine(u"Import list: %1"_s.arg(path));
}

// Shows the run's reports on standard error: a bar redrawn in place on a terminal, with the bytes
// copied, the speed, the time left and the file being copied; otherwise one line for every
// percent reached. Called on the engine's thread while the main thread waits for the run, so it
// needs no lock.
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
        const qint64 percent = job.percentDone();
        const bool finished = job.status != SyncJob::SyncStatus::transferring;
        if (m_terminal) {
            // Redrawing for every one of 100,000 reports would make the terminal the bottleneck.
            if (percent == m_lastPercent && !finished && m_sinceDraw.elapsed() < 100)
                return;
            m_job = job;
            drawBar();
        } else if (percent > m_lastPercent) {
            printErrorLine(u"Progress: %1 of %2 items (%3%)"_s.arg(job.completedItemCount)
                               .arg(job.totalItemCount)
                               .arg(percent));
        }
        m_lastPercent = percent;
    }

    void show(const TransferProgress &transfer)
    {
        m_transfer = transfer;
        if (m_terminal && m_job && (m_sinceDraw.elapsed() >= 100 || transfer.currentFile.isEmpty()))
            drawBar();
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
    void drawBar()
    {
        constexpr qint64 width = 24;
        const qint64 percent = m_job->percentDone();
        const qint64 filled = std::min(width, percent * width / 100);
        QString line = u"\r[%1] %2 of %3 items %4%"_s.arg(QString(filled, u'#') + QString(width - filled, u'-'))
                           .arg(m_job->completedItemCount)
                           .arg(m_job->totalItemCount)
                           .arg(percent);
        if (m_transfer && m_transfer->bytesTotal > 0) {
            line += u" \u00b7 %1 of %2"_s.arg(formattedByteCount(m_transfer->bytesDone),
                                              formattedByteCount(m_transfer->bytesTotal));
            if (const std::optional<double> speed = m_transfer->bytesPerSecond())
                line += u" \u00b7 %1/s"_s.arg(formattedByteCount(qint64(*speed)));
            if (const std::optional<qint64> left = m_transfer->secondsLeft())
                line += u" \u00b7 %1:%2 left"_s.arg(*left / 60).arg(*left % 60, 2, 10, QChar(u'0'));
            if (!m_transfer->currentFile.isEmpty())
                line += u" \u00b7 "_s + m_transfer->currentFile.section(u'/', -1).left(40);
        }
        // Clears what a longer line before left behind.
        const QByteArray bytes = (line + u"\x1b[K"_s).toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
        m_barShown = true;
        m_sinceDraw.restart();
    }

    bool m_terminal;
    bool m_barShown = false;
    qint64 m_lastPercent = -1;
    QElapsedTimer m_sinceDraw;
    std::optional<SyncJob> m_job;
    std::optional<TransferProgress> m_transfer;
};

int plan(const PlanArguments &arguments)
{
    try {
        const SyncPlan plan = makePlan(arguments);
        if (arguments.json) {
            // Standard output keeps the job's own form, or the operations with --files; what the
            // checks found goes beside it.
            printJson(arguments.files ? QJsonDocument(operationsJson(plan, false)) : QJsonDocument(plan.job.toJson()));
            for (const QString &line : plan.notice())
                printErrorLine(line);
        } else {
            printPlan(plan);
            if (arguments.files) {
                for (const SyncPlan::Operation &operation : plan.operations(false))
                    printLine(operation.line());
            }
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

int sync(const PlanArguments &arguments)
{
    // Ctrl-C or a termination request stops the run before its next file, never half-way.
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    ProgressPrinter printer;
    try {
        SyncPlan plan = makePlan(arguments);
        printPlan(plan);
        plan.consent = {.massRemoval = arguments.allowMassRemoval, .permanentDeletion = arguments.deletePermanently};

        SyncEngine engine;
        RunControl control{.cancellation = std::shared_ptr<std::atomic<bool>>(std::shared_ptr<void>(), &stopRequested),
                           .transfer = [&printer](const TransferProgress &transfer) { printer.show(transfer); }};
        const SyncPlan finished =
            engine.performSync(plan, [&printer](const SyncJob &snapshot) { printer.show(snapshot); }, control)
                .result();
        printer.finish();
        const SyncJob &job = finished.job;
        const bool cancelled = job.status == SyncJob::SyncStatus::cancelled;
        printLine(cancelled ? u"Sync cancelled"_s : u"Sync complete"_s);
        printLine(u"Items completed: %1 of %2"_s.arg(job.completedItemCount).arg(job.totalItemCount));
        for (const QString &line : finished.outcomeSummary())
            printLine(line + u'.');
        if (arguments.json) {
            printJson(QJsonDocument(operationsJson(finished, true)));
        } else if (arguments.files) {
            for (const SyncPlan::Operation &operation : finished.operations(true))
                printLine(operation.line());
        }
        if (!arguments.importList.isEmpty())
            writeImportList(arguments.importList, finished);
        if (cancelled) {
            printErrorLine(u"The sync was stopped after %1 of %2 items; what was done stays done."_s
                               .arg(job.completedItemCount)
                               .arg(job.totalItemCount));
            return 128 + int(stopSignal);
        }
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

} // namespace

Command planCommand()
{
    const QCommandLineOption files(u"files"_s,
                                   uR"help(Adds a line per file operation: "copy SRC -> DST", "remove PATH", )help"
                                   uR"help("keep PATH (reason)", "skip PATH (reason)", "artwork SRC -> DST".)help"_s);
    const QCommandLineOption json(u"json"_s,
                                  u"Prints the whole job as JSON instead, or with --files the operations as a JSON "
                                  u"array; the rest goes to standard error."_s);
    const MediaFolderOptions media;
    return {.name = u"plan"_s,
            .arguments = libraryArguments(),
            .description = uR"(Reads both files and prints what a sync would change: tracks to add, tracks
to remove, metadata updates and playlists, then what applies of: a library
read from another computer, files to copy not found, tracks on the other
computer, removals kept, copies renamed, and the bytes to copy against the
free space.)"_s,
            .options = {files, json, media.source, media.destination},
            .wrongArguments = u"plan takes a source and a destination library file."_s,
            .run = [=](const QCommandLineParser &parsed) {
                PlanArguments arguments = libraries(parsed);
                arguments.mediaFolders = media.read(parsed);
                arguments.files = parsed.isSet(files);
                arguments.json = parsed.isSet(json);
                return plan(arguments);
            }};
}

Command syncCommand()
{
    const QCommandLineOption files(u"files"_s,
                                   u"Lists each operation done at the end, one line each, as plan --files does."_s);
    const QCommandLineOption json(u"json"_s, u"Lists each operation done at the end as a JSON array."_s);
    const QCommandLineOption importList(u"import-list"_s,
                                        u"Writes FILE, an .m3u8 playlist of every file copied, for adding them to "
                                        u"the destination's music application."_s,
                                        u"FILE"_s);
    const QCommandLineOption allowMassRemoval(u"allow-mass-removal"_s,
                                              u"Removes even when the sync would remove more than 10 tracks and more "
                                              u"than half of the destination's, or the source library has no tracks "
                                              u"at all."_s);
    const QCommandLineOption deletePermanently(
        u"delete-permanently"_s, u"Deletes the media of removed tracks where the destination volume has no Trash."_s);
    const MediaFolderOptions media;
    return {.name = u"sync"_s,
            .arguments = libraryArguments(),
            .description = uR"(Plans as plan does, then copies the media of new tracks into the destination
library folder, moves the media of tracks the source no longer has to the
Trash, and mirrors the "Album Artwork" folder. Files to copy that are not
found are skipped and listed at the end. A file another track still uses is
never removed, and a copy whose place another file has gets a new name ("x
2.m4a"). Shows progress on standard error. A sync that would remove more than
10 tracks and more than half of the destination's, or whose source library
has no tracks at all, removes nothing unless --allow-mass-removal is given.
Where the destination volume has no Trash, nothing is deleted unless
--delete-permanently is given. Only one sync runs in a library folder at a
time. At the end it says what it did. Ctrl-C or SIGTERM stops it before the
next file.)"_s,
            .options = {files, json, importList, media.source, media.destination, allowMassRemoval,
                        deletePermanently},
            .wrongArguments = u"sync takes a source and a destination library file."_s,
            .run = [=](const QCommandLineParser &parsed) {
                PlanArguments arguments = libraries(parsed);
                arguments.mediaFolders = media.read(parsed);
                arguments.files = parsed.isSet(files);
                arguments.json = parsed.isSet(json);
                arguments.allowMassRemoval = parsed.isSet(allowMassRemoval);
                arguments.deletePermanently = parsed.isSet(deletePermanently);
                if (parsed.isSet(importList))
                    arguments.importList = QFileInfo(parsed.value(importList)).absoluteFilePath();
                return sync(arguments);
            }};
}

} // namespace quaverly::cli
