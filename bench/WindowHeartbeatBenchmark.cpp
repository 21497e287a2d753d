// Drives the real window (offscreen) over a generated pair of 100,000-track libraries: Scan
// Libraries to the counts, the four lists behind the cards, Start Sync to the summary. A 5 ms
// timer on the main thread records how long the event loop went without turning; every event the
// main thread handles is timed in CPU, so the busiest single step shows even on a loaded machine,
// and a second of doing nothing shows what the machine itself adds to the gaps.
// The pair differs in 3,000 tracks to add (small files, copied), 2,000 to remove (no files),
// 50,000 metadata updates and some playlists.
#include "EngineBenchSupport.h"

#include "coordinator/SyncCoordinator.h"
#include "fixtures/LibraryFixture.h"
#include "ui/ContentView.h"
#include "ui/PlanListDialog.h"
#include "ui/QuaverlyApp.h"
#include "ui/SummaryCard.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::bench;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

constexpr int trackCount = 100'000;
constexpr int runs = 5;
constexpr int heartbeatMs = 5;
constexpr double stallMs = 50;

// Times each event the main thread handles, outermost only: a nested dispatch belongs to the
// step that made it.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        const double start = threadCpuMs();
        const bool handled = QApplication::notify(receiver, event);
        const double spent = threadCpuMs() - start;
        --m_depth;
        longestStepMs = std::max(longestStepMs, spent);
        return handled;
    }

    double longestStepMs = 0;

private:
    int m_depth = 0;
};

struct PhaseFigures
{
    double wallMs = 0;
    double mainCpuMs = 0;
    double longestGapMs = 0;
    double longestStepMs = 0;
    int stalls = 0;
};

// Runs the event loop until `done`, starting with `start`, and measures the main thread meanwhile.
PhaseFigures measure(TimedApplication &app, const std::function<void()> &start, const std::function<bool()> &done)
{
    // The window takes in the end of the step before, which enables the button `start` clicks.
    QCoreApplication::processEvents();
    PhaseFigures figures;
    QEventLoop loop;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(heartbeatMs);
    QElapsedTimer wall;
    QElapsedTimer sinceBeat;
    QObject::connect(&heartbeat, &QTimer::timeout, &loop, [&] {
        const double gap = double(sinceBeat.nsecsElapsed()) / 1e6;
        sinceBeat.restart();
        figures.longestGapMs = std::max(figures.longestGapMs, gap);
        if (gap > stallMs)
            ++figures.stalls;

        if (done())
            loop.quit();
    });
    app.longestStepMs = 0;
    const double cpuStart = threadCpuMs();
    wall.start();
    sinceBeat.start();
    heartbeat.start();
    start();
    loop.exec();
    figures.wallMs = double(wall.nsecsElapsed()) / 1e6;
    figures.mainCpuMs = threadCpuMs() - cpuStart;
    figures.longestStepMs = app.longestStepMs;
    return figures;
}

// Small files for the tracks to add, at the places the source library records.
void writeMediaToCopy(const fixtures::LibraryPair &pair)
{
    QHash<QString, QString> pathOf;
    for (qsizetype i = 0; i < pair.source.persistentIDs.size(); ++i)
        pathOf.insert(pair.source.persistentIDs.at(i), pair.source.mediaPaths.at(i));
    const QByteArray content(2048, 'm');
    for (const QString &id : pair.destination.difference.tracksOnlyInBase) {
        const QString path = pathOf.value(id);
        QDir().mkpath(path.left(path.lastIndexOf(u'/')));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("Couldn't write %s", qPrintable(path));
    }
}

void print(const QString &phase, const std::vector<PhaseFigures> &samples)
{
    const auto column = [&](double PhaseFigures::*field) {
        std::vector<double> values;
        for (const PhaseFigures &figures : samples)
            values.push_back(figures.*field);
        return summary(values, 1);
    };
    std::vector<double> stalls;
    for (const PhaseFigures &figures : samples)
        stalls.push_back(figures.stalls);
    printLine(u"%1: wall ms %2; main-thread CPU ms %3; longest gap ms %4; longest step CPU ms %5; gaps over %6 ms %7"_s
                  .arg(phase, column(&PhaseFigures::wallMs), column(&PhaseFigures::mainCpuMs),
                       column(&PhaseFigures::longestGapMs), column(&PhaseFigures::longestStepMs))
                  .arg(stallMs)
                  .arg(summary(stalls, 0)));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing of this run may reach the user's own Trash.
    const QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    TimedApplication app(argc, argv);
    const QTemporaryDir root;
    if (!root.isValid() || !dataHome.isValid())
        return 1;

    fixtures::LibraryOptions options;
    options.trackCount = trackCount;
    options.playlistCount = 500;
    options.seed = 5;
    options.libraryFolder = root.filePath(u"Source"_s);
    // Every track has a file of its own, so the media paths line up with the persistent IDs.
    options.remotePerMille = 0;
    fixtures::LibraryVariation variation;
    variation.removedTracks = 3'000;
    variation.addedTracks = 2'000;
    variation.changedTracks = 50'000;
    variation.editedPlaylists = 50;
    const fixtures::LibraryPair pair = fixtures::generatePair(options, variation, root.filePath(u"Destination"_s));
    writeMediaToCopy(pair);

    QuaverlyApp shell;
    ContentView *window = shell.openWindow();
    window->setConsent([](QWidget *, const SyncPlan &, ContentView::Question) { return true; });
    SyncCoordinator &coordinator = *window->coordinator();
    coordinator.setSourceLibraryURL(QUrl::fromLocalFile(pair.source.xmlPath));
    coordinator.setDestinationLibraryURL(QUrl::fromLocalFile(pair.destination.xmlPath));
    auto *scanButton = window->findChild<QPushButton *>(u"scanButton"_s);
    auto *syncButton = window->findChild<QPushButton *>(u"syncButton"_s);
    auto *startOverButton = window->findChild<QPushButton *>(u"startOverButton"_s);
    const QList<SummaryCard *> cards = window->findChildren<SummaryCard *>();

    // The window doing nothing: what the machine itself adds to the gaps.
    std::vector<PhaseFigures> idle;
    QElapsedTimer idleClock;
    std::vector<PhaseFigures> scans;
    std::vector<PhaseFigures> lists;
    std::vector<PhaseFigures> syncs;
    for (int run = 0; run < runs; ++run) {
        idle.push_back(measure(app, [&] { idleClock.start(); }, [&] { return idleClock.elapsed() >= 1000; }));
        scans.push_back(measure(app, [&] { scanButton->click(); },
                                [&] { return coordinator.phase().is(Kind::failed) || syncButton->isEnabled(); }));
        if (!coordinator.canSync())
            qFatal("The scan did not end ready to sync: %s", qPrintable(coordinator.phase().message));
        const std::optional<SyncJob> &job = coordinator.currentJob();
        if (run == 0) {
            printLine(u"pair: %1 tracks each; %2 to add, %3 to remove, %4 updates, %5 playlists"_s.arg(trackCount)
                          .arg(job->tracksToAdd.size())
                          .arg(job->tracksToRemove.size())
                          .arg(job->tracksToUpdate.size())
                          .arg(job->playlistsToSync.size()));
        }

        // Each card opens its list; the window is judged by how it keeps turning meanwhile.
        lists.push_back(measure(app,
                                [&] {
                                    for (SummaryCard *card : cards)
                                        Q_EMIT card->activated();
                                },
                                [&] { return window->findChildren<PlanListDialog *>().size() == cards.size(); }));
        for (PlanListDialog *dialog : window->findChildren<PlanListDialog *>())
            dialog->close();

        syncs.push_back(measure(app, [&] { syncButton->click(); },
                                [&] { return coordinator.phase().is(Kind::failed) || startOverButton->isVisible(); }));
        if (!coordinator.phase().is(Kind::completed))
            qFatal("The sync did not complete: %s", qPrintable(coordinator.phase().message));
        // Every run starts from the same destination: left in place, the copies would make the
        // next run give its copies new names.
        for (const SyncPlan::Copy &copy : coordinator.currentPlan()->copies) {
            if (copy.kind == SyncPlan::Copy::Kind::copy)
                QFile::remove(copy.target);
        }
    }

    printLine(u"median (min\u2013max) of %1 runs, heartbeat every %2 ms"_s.arg(runs).arg(heartbeatMs));
    print(u"idle for 1 s"_s, idle);
    print(u"scan \u2192 ready"_s, scans);
    print(u"open the four lists"_s, lists);
    print(u"sync \u2192 completed"_s, syncs);
    printLine(u"goal: no gap over %1 ms"_s.arg(stallMs));
    window->close();
    return 0;
}
