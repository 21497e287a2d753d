// quaverly-screenshots OUTDIR: renders the real window in every phase of the flow into PNGs,
// driving a real coordinator over generated libraries, with the offscreen platform.

#include "coordinator/SyncCoordinator.h"
#include "fixtures/LibraryFixture.h"
#include "ui/ContentView.h"
#include "ui/PlanListDialog.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;
using namespace quaverly;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

class ShotError : public std::exception
{
public:
    explicit ShotError(QString message) : m_message(std::move(message).toUtf8()) {}
    const char *what() const noexcept override { return m_message.constData(); }

private:
    QByteArray m_message;
};

void waitFor(const std::function<bool()> &done, const char *what)
{
    QDeadlineTimer deadline(60'000);
    while (!done()) {
        if (deadline.hasExpired())
            throw ShotError(u"Timed out waiting for %1."_s.arg(QLatin1StringView(what)));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    // Let the window take in the last announcement and lay itself out.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(44, 44, 46), base(30, 30, 32), text(232, 232, 234), disabled(120, 120, 124);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(64, 64, 68));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Light, QColor(90, 90, 94));
    p.setColor(QPalette::Midlight, QColor(74, 74, 78));
    p.setColor(QPalette::Mid, QColor(72, 72, 76));
    p.setColor(QPalette::Dark, QColor(24, 24, 26));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(232, 232, 234, 128));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Button, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 84));
    return p;
}

class Shooter
{
public:
    explicit Shooter(QString folder) : m_folder(std::move(folder)) {}

    void shoot(QWidget &view, const QString &name)
    {
        const QString path = QDir(m_folder).filePath(name + u".png"_s);
        if (!view.grab().save(path))
            throw ShotError(u"Couldn't write \"%1\"."_s.arg(path));
        std::printf("%s\n", qPrintable(path));
    }

private:
    QString m_folder;
};

QUrl xmlUrl(const fixtures::GeneratedLibrary &library)
{
    return QUrl::fromLocalFile(library.xmlPath);
}

// Brings the window up to the coordinator's present state without letting the coordinator's own
// queued work run, so that a passing phase can be shot.
void refreshWindowOnly(ContentView &view)
{
    QCoreApplication::sendPostedEvents(&view, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void scan(ContentView &view, const QUrl &source, const QUrl &destination, Shooter *scanningShot = nullptr)
{
    SyncCoordinator &coordinator = *view.coordinator();
    coordinator.setSourceLibraryURL(source);
    coordinator.setDestinationLibraryURL(destination);
    coordinator.scanLibraries();
    if (scanningShot) {
        refreshWindowOnly(view);
        scanningShot->shoot(view, u"scanning"_s);
    }
    waitFor([&] { return !coordinator.phase().is(Kind::scanning); }, "the scan");
}

// Shoots the flow through a sync: ready with changes, part-way, completed.
void shootSyncFlow(Shooter &shooter, const fixtures::LibraryPair &pair, const QString &suffix)
{
    ContentView view;
    view.show();
    SyncCoordinator &coordinator = *view.coordinator();
    scan(view, xmlUrl(pair.source), xmlUrl(pair.destination), suffix.isEmpty() ? &shooter : nullptr);
    if (!coordinator.phase().is(Kind::readyToSync) || !coordinator.canSync())
        throw ShotError(u"The demo pair did not scan to a job with changes: %1"_s.arg(coordinator.phase().message));
    shooter.shoot(view, u"ready-to-sync"_s + suffix);

    // Each announcement comes before its assignment, so the coordinator still holds a whole,
    // earlier state; bring the window up to it and take the shot there.
    bool partWay = false;
    const auto connection = QObject::connect(&coordinator, &SyncCoordinator::objectWillChange, &view, [&] {
        const std::optional<SyncJob> &job = coordinator.currentJob();
        if (partWay || !job || !coordinator.phase().is(Kind::syncing) || job->status != SyncJob::SyncStatus::transferring)
            return;
        if (job->completedItemCount * 2 < job->totalItemCount)
            return;
        partWay = true;
        refreshWindowOnly(view);
        shooter.shoot(view, u"syncing"_s + suffix);
    });
    coordinator.startSync();
    waitFor([&] { return !coordinator.phase().is(Kind::syncing); }, "the sync");
    QObject::disconnect(connection);
    if (!coordinator.phase().is(Kind::completed))
        throw ShotError(u"The demo sync failed: %1"_s.arg(coordinator.phase().message));
    if (!partWay)
        throw ShotError(u"The sync reported no state part-way."_s);
    shooter.shoot(view, u"completed"_s + suffix);
    if (suffix.isEmpty()) {
        // The same window on a 1366×768 screen at 200 %: the content scrolls, the buttons stay.
        const QSize before = view.size();
        view.resize(1366 / 2, 768 / 2 - 30);
        QCoreApplication::processEvents();
        shooter.shoot(view, u"completed-small-screen"_s);
        view.resize(before);
    }
}

// A run long enough to measure: the transfer figures need half a second of copying before they
// show a speed and the time left. It is cancelled once shot, and shot again as it ended.
void shootTransfer(Shooter &shooter, const QString &folder)
{
    fixtures::LibraryOptions options;
    options.trackCount = 6000;
    options.playlistCount = 8;
    options.seed = 11;
    options.libraryFolder = folder + u"/Source"_s;
    options.writeMedia = true;
    options.mediaBytes = 32 * 1024;
    fixtures::LibraryVariation variation;
    variation.removedTracks = 5800;
    variation.changedTracks = 20;
    const fixtures::LibraryPair pair = fixtures::generatePair(options, variation, folder + u"/Destination"_s);

    ContentView view;
    view.show();
    SyncCoordinator &coordinator = *view.coordinator();
    scan(view, xmlUrl(pair.source), xmlUrl(pair.destination));
    if (!coordinator.canSync())
        throw ShotError(u"The transfer pair did not scan to a job with changes: %1"_s.arg(coordinator.phase().message));
    bool shot = false;
    const auto connection = QObject::connect(&coordinator, &SyncCoordinator::objectWillChange, &view, [&] {
        const std::optional<TransferProgress> &transfer = coordinator.currentTransfer();
        if (shot || !transfer || transfer->currentFile.isEmpty() || !transfer->secondsLeft())
            return;
        shot = true;
        refreshWindowOnly(view);
        shooter.shoot(view, u"syncing-transfer"_s);
    });
    coordinator.startSync();
    waitFor([&] { return shot || !coordinator.phase().is(Kind::syncing); }, "a measured transfer");
    QObject::disconnect(connection);
    if (!shot)
        throw ShotError(u"The sync ended before its speed could be measured."_s);
    view.findChild<QPushButton *>(u"cancelButton"_s)->click();
    waitFor([&] { return !coordinator.phase().is(Kind::syncing); }, "the cancelled sync");
    if (!coordinator.currentJob() || coordinator.currentJob()->status != SyncJob::SyncStatus::cancelled)
        throw ShotError(u"The sync did not end cancelled: %1"_s.arg(coordinator.phase().message));
    shooter.shoot(view, u"cancelled"_s);
}

// The list behind a card over 100,000 tracks to add, each with a file to copy.
void shootLargeList(Shooter &shooter, const QString &folder)
{
    fixtures::LibraryOptions options;
    options.trackCount = 100'000;
    options.playlistCount = 20;
    options.seed = 5;
    options.libraryFolder = folder + u"/Source"_s;
    options.writeMedia = true;
    options.mediaBytes = 64;
    fixtures::LibraryVariation variation;
    variation.removedTracks = 100'000;
    const fixtures::LibraryPair pair = fixtures::generatePair(options, variation, folder + u"/Destination"_s);

    ContentView view;
    view.show();
    scan(view, xmlUrl(pair.source), xmlUrl(pair.destination));
    if (!view.coordinator()->currentPlan() || view.coordinator()->currentPlan()->job.tracksToAdd.size() != 100'000)
        throw ShotError(u"The large pair did not scan to 100,000 tracks to add: %1"_s.arg(view.coordinator()->phase().message));
    // Reached and opened from the keyboard.
    QWidget *card = view.findChild<QWidget *>(u"addCard"_s);
    view.activateWindow();
    card->setFocus(Qt::TabFocusReason);
    waitFor([card] { return card->hasFocus(); }, "the card's focus");
    shooter.shoot(view, u"ready-focused-card"_s);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, u" "_s);
    QCoreApplication::sendEvent(card, &press);
    auto *list = view.findChild<PlanListDialog *>(u"tracksToAddList"_s);
    if (!list || list->rows().rowCount() != view.coordinator()->currentPlan()->job.tracksToAdd.size())
        throw ShotError(u"The card opened no list of its tracks."_s);
    waitFor([] { return true; }, "the list's layout");
    shooter.shoot(*list, u"list-100000"_s);
}

void shootAll(const QString &outFolder)
{
    QTemporaryDir temp;
    if (!temp.isValid())
        throw ShotError(u"Couldn't make a temporary folder."_s);
    Shooter shooter(outFolder);

    {
        ContentView view;
        view.show();
        waitFor([] { return true; }, "the first layout");
        shooter.shoot(view, u"setup"_s);
    }

    const fixtures::LibraryPair demo = fixtures::generateDemoPair(temp.filePath(u"Demo"_s));
    shootSyncFlow(shooter, demo, QString());

    {
        fixtures::LibraryOptions options;
        options.trackCount = 30;
        options.playlistCount = 6;
        options.libraryFolder = temp.filePath(u"Same/Source"_s);
        const fixtures::LibraryPair same = fixtures::generatePair(options, fixtures::LibraryVariation{},
                                                                  temp.filePath(u"Same/Destination"_s));
        ContentView view;
        view.show();
        scan(view, xmlUrl(same.source), xmlUrl(same.destination));
        if (!view.coordinator()->phase().is(Kind::readyToSync) || view.coordinator()->canSync())
            throw ShotError(u"Two equal libraries did not scan to a job without changes."_s);
        shooter.shoot(view, u"ready-no-changes"_s);
    }

    {
        ContentView view;
        view.show();
        const QString missing = temp.filePath(
            u"Exported Libraries/From the studio computer before the move/Music Library (last export).xml"_s);
        scan(view, QUrl::fromLocalFile(missing), xmlUrl(demo.destination));
        if (!view.coordinator()->phase().is(Kind::failed))
            throw ShotError(u"Scanning a missing file did not fail."_s);
        shooter.shoot(view, u"failed"_s);
    }

    {
        // The source's media folder was moved and two of its files to copy were lost on the way;
        // the moved folder is named, as "Locate…" would.
        const fixtures::LibraryPair moved = fixtures::generateDemoPair(temp.filePath(u"Moved"_s));
        const QString recorded = QDir(moved.source.libraryFolder).filePath(u"Media.localized"_s);
        const QString movedTo =
            temp.filePath(u"Moved/Copied from the studio computer before the move in spring/Media"_s);
        if (!QDir().mkpath(QFileInfo(movedTo).path()) || !QDir().rename(recorded, movedTo))
            throw ShotError(u"Couldn't move \"%1\"."_s.arg(recorded));
        ContentView view;
        view.show();
        scan(view, xmlUrl(moved.source), xmlUrl(moved.destination));
        SyncCoordinator &coordinator = *view.coordinator();
        if (!coordinator.currentPlan() || coordinator.currentPlan()->filesMissing < 3)
            throw ShotError(u"Moving the demo media folder left its files to copy in place."_s);
        for (const QString &path : coordinator.currentPlan()->missingFiles().first(2))
            QFile::remove(movedTo + path.mid(recorded.size()));
        coordinator.setSourceMediaFolder(movedTo);
        scan(view, xmlUrl(moved.source), xmlUrl(moved.destination));
        if (!coordinator.currentPlan() || coordinator.currentPlan()->filesMissing != 2)
            throw ShotError(u"The named media folder did not leave exactly two files missing."_s);
        shooter.shoot(view, u"ready-with-notice"_s);
        coordinator.startSync();
        waitFor([&] { return !coordinator.phase().is(Kind::syncing); }, "the sync");
        if (!coordinator.phase().is(Kind::completed))
            throw ShotError(u"The sync with missing files failed: %1"_s.arg(coordinator.phase().message));
        shooter.shoot(view, u"completed-skipped"_s);
    }

    shootTransfer(shooter, temp.filePath(u"Transfer"_s));
    shootLargeList(shooter, temp.filePath(u"Large"_s));

    QApplication::setPalette(darkPalette());
    const fixtures::LibraryPair darkDemo = fixtures::generateDemoPair(temp.filePath(u"DarkDemo"_s));
    shootSyncFlow(shooter, darkDemo, u"-dark"_s);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quaverly-screenshots OUTDIR\n");
        return 2;
    }
    // A laptop screen at twice the density, so the window takes the size it wants.
    const QTemporaryDir config;
    const QString screens = config.filePath(u"screens.json"_s);
    QFile file(screens);
    if (!config.isValid() || !file.open(QIODevice::WriteOnly)
        || file.write(R"({"screens": [{"name": "Laptop", "x": 0, "y": 0, "width": 2880, "height": 1800,
                         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
            < 0) {
        std::fprintf(stderr, "Couldn't write the screen description.\n");
        return 1;
    }
    file.close();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens));
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Quaverly"_s);

    const QString outFolder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outFolder)) {
        std::fprintf(stderr, "Couldn't create \"%s\".\n", argv[1]);
        return 1;
    }
    try {
        shootAll(outFolder);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
