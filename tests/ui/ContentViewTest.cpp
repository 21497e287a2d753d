#include "coordinator/SyncCoordinator.h"
#include "engine/SyncPlan.h"
#include "fixtures/LibraryFixture.h"
#include "ui/ContentView.h"
#include "ui/ElidedLabel.h"
#include "UiTestSupport.h"

#include <QDialog>
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

/// What the window shows; the scan label is the busy text while the spinner shows.
struct Screen
{
    bool summary = false, locate = false, banner = false, progress = false, skipped = false, startOver = false;
    bool pickersEnabled = true;
    QString scanLabel = u"Scan Libraries"_s, syncLabel = u"Start Sync"_s;
    bool scanEnabled = false, syncEnabled = false;
};

class ContentViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        pair = fixtures::generateDemoPair(temp.path());
        view.setFileDialog([this](QWidget *, const LibraryPickerView::DialogRequest &) { return nextChoice; });
        view.show();
    }

    SyncCoordinator &coordinator() { return *view.coordinator(); }

    void choose(const char *picker, const QString &path)
    {
        nextChoice = QUrl::fromLocalFile(path);
        click(child(view, picker), "chooseButton");
        QCoreApplication::processEvents();
    }

    /// Clicks `button` and shows the phase it starts before any of the coordinator's work runs.
    void clickAndRefreshViewOnly(const char *button, Kind started)
    {
        click(view, button);
        ASSERT_TRUE(coordinator().phase().is(started));
        QCoreApplication::sendPostedEvents(&view, QEvent::MetaCall);
    }

    void waitForPhase(Kind kind)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return coordinator().phase().is(kind); }, 30'000))
            << "phase stayed " << int(coordinator().phase().kind) << ": " << coordinator().phase().message.toStdString();
        QCoreApplication::processEvents();
    }

    void expectScreen(const Screen &expected)
    {
        EXPECT_EQ(child(view, "summarySection").isVisible(), expected.summary);
        EXPECT_EQ(child(view, "locateButton").isVisible(), expected.locate);
        EXPECT_EQ(child(view, "errorBanner").isVisible(), expected.banner);
        EXPECT_EQ(child(view, "progressSection").isVisible(), expected.progress);
        EXPECT_EQ(child(view, "skippedFiles").isVisible(), expected.skipped);
        EXPECT_EQ(child(view, "startOverButton").isVisible(), expected.startOver);
        const auto &scan = child<QPushButton>(view, "scanButton");
        const auto &busy = child<QLabel>(view, "scanBusyLabel");
        const auto &sync = child<QPushButton>(view, "syncButton");
        EXPECT_EQ(child(view, "scanSpinner").isVisible(), busy.isVisible());
        EXPECT_EQ(busy.isVisible() && scan.text().isEmpty() ? busy.text() : scan.text(), expected.scanLabel);
        EXPECT_EQ(scan.isEnabled(), expected.scanEnabled);
        EXPECT_EQ(sync.text(), expected.syncLabel);
        EXPECT_EQ(sync.isEnabled(), expected.syncEnabled);
        for (const char *picker : {"sourcePicker", "destinationPicker"})
            EXPECT_EQ(child<QPushButton>(child(view, picker), "chooseButton").isEnabled(), expected.pickersEnabled) << picker;
    }

    QTemporaryDir temp;
    fixtures::LibraryPair pair;
    std::optional<QUrl> nextChoice;
    ContentView view;
};

TEST_F(ContentViewTest, RedrawsOnceOnTheTurnAfterAnnouncementsNotDuringThem)
{
    // Every refresh reaches the view as one queued call.
    struct CallCounter : QObject
    {
        int calls = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            calls += event->type() == QEvent::MetaCall;
            return false;
        }
    } counter;
    QCoreApplication::processEvents();
    view.installEventFilter(&counter);
    coordinator().setSourceLibraryURL(QUrl::fromLocalFile(pair.source.xmlPath));
    coordinator().setDestinationLibraryURL(QUrl::fromLocalFile(pair.destination.xmlPath));
    coordinator().reset();
    expectScreen({});
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.calls, 1);
    expectScreen({.scanEnabled = true});
    EXPECT_EQ(child<ElidedLabel>(child(view, "sourcePicker"), "pathLabel").fullText(), pair.source.xmlPath);
}

TEST_F(ContentViewTest, RunsTheWholeFlowThroughTheButtonsToSyncComplete)
{
    expectScreen({});
    choose("sourcePicker", pair.source.xmlPath);
    choose("destinationPicker", pair.destination.xmlPath);
    expectScreen({.scanEnabled = true});
    clickAndRefreshViewOnly("scanButton", Kind::scanning);
    expectScreen({.pickersEnabled = false, .scanLabel = u"Scanning\u2026"_s});

    waitForPhase(Kind::readyToSync);
    expectScreen({.summary = true, .scanEnabled = true, .syncEnabled = true});
    EXPECT_EQ(child<QLabel>(child(view, "addCard"), "cardCount").text(),
              QString::number(coordinator().currentJob()->tracksToAdd.size()));

    clickAndRefreshViewOnly("syncButton", Kind::syncing);
    expectScreen({.summary = true, .progress = true, .pickersEnabled = false, .syncLabel = u"Syncing\u2026"_s});

    waitForPhase(Kind::completed);
    expectScreen({.summary = true, .progress = true, .startOver = true, .scanEnabled = true});
    EXPECT_EQ(child<QLabel>(view, "statusText").text(), u"Sync complete"_s);
    const QDir source(pair.source.libraryFolder), destination(pair.destination.libraryFolder);
    for (const QString &path : pair.source.mediaPaths)
        EXPECT_TRUE(QFile::exists(destination.filePath(source.relativeFilePath(path)))) << path.toStdString();

    click(view, "startOverButton");
    QCoreApplication::processEvents();
    expectScreen({.scanEnabled = true});
}

TEST_F(ContentViewTest, ShowsAFailedScanOrSyncVerbatimAndWrappedUntilDismissed)
{
    choose("sourcePicker", temp.filePath(u"Exported <b>Libraries</b>/From the studio computer before the move in spring"
                                         u"/Old drive/Music Library.xml"_s));
    choose("destinationPicker", pair.destination.xmlPath);
    click(view, "scanButton");
    waitForPhase(Kind::failed);
    expectScreen({.banner = true, .scanEnabled = true});
    const QWidget &banner = child(view, "errorBanner");
    const auto &message = child<QLabel>(view, "errorMessage");
    const QRect dismiss = child(view, "dismissButton").geometry();
    EXPECT_EQ(message.text(), coordinator().phase().message);
    EXPECT_TRUE(message.text().contains(u"<b>Libraries</b>"_s)) << message.text().toStdString();
    EXPECT_EQ(message.textFormat(), Qt::PlainText);
    EXPECT_EQ(view.width(), 680);
    EXPECT_GE(message.height(), 2 * message.fontMetrics().height());
    EXPECT_GT(dismiss.left(), message.geometry().right());
    EXPECT_EQ(dismiss.right(), banner.width() - 1 - 10);

    click(banner, "dismissButton");
    QCoreApplication::processEvents();
    expectScreen({.scanEnabled = true});

    // A failed sync keeps the last summary but shows no progress.
    choose("sourcePicker", pair.source.xmlPath);
    click(view, "scanButton");
    waitForPhase(Kind::readyToSync);
    for (const QString &path : pair.source.mediaPaths)
        ASSERT_TRUE(QFile::remove(path));
    click(view, "syncButton");
    waitForPhase(Kind::failed);
    expectScreen({.summary = true, .banner = true, .scanEnabled = true});
}

TEST_F(ContentViewTest, LocatesAMovedSourceMediaFolderAndListsTheFilesStillMissingAfterTheSync)
{
    const QString recorded = QDir(pair.source.libraryFolder).filePath(u"Media.localized"_s);
    const QString moved = temp.filePath(u"Copied from the studio computer before the move in spring/Media"_s);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(moved).path()));
    ASSERT_TRUE(QDir().rename(recorded, moved));
    choose("sourcePicker", pair.source.xmlPath);
    choose("destinationPicker", pair.destination.xmlPath);
    click(view, "scanButton");
    waitForPhase(Kind::readyToSync);
    ASSERT_TRUE(coordinator().currentPlan());
    const QStringList notFound = coordinator().currentPlan()->missingFiles();
    ASSERT_GE(notFound.size(), 3);
    expectScreen({.summary = true, .locate = true, .scanEnabled = true, .syncEnabled = true});
    const auto &notice = child<QLabel>(view, "noticeText");
    EXPECT_TRUE(notice.isVisible());
    EXPECT_EQ(notice.text().split(u'\n'), coordinator().currentPlan()->notice());
    EXPECT_TRUE(notice.text().contains(u"not found"_s)) << notice.text().toStdString();

    // Two files to copy were lost in the move; cancelling the dialog changes nothing.
    QStringList lost;
    for (const QString &path : notFound.first(2))
        lost.append(moved + path.mid(recorded.size()));
    for (const QString &path : lost)
        ASSERT_TRUE(QFile::remove(path));
    std::optional<QString> answer;
    QString startFolder;
    view.setFolderDialog([&](QWidget *, const QString &, const QString &start) {
        startFolder = start;
        return answer;
    });
    click(view, "locateButton");
    EXPECT_EQ(startFolder, pair.source.libraryFolder);
    EXPECT_TRUE(coordinator().phase().is(Kind::readyToSync));
    EXPECT_EQ(coordinator().sourceMediaFolder(), std::nullopt);
    answer = moved;
    click(view, "locateButton");
    EXPECT_EQ(coordinator().sourceMediaFolder(), moved);
    waitForPhase(Kind::readyToSync);
    EXPECT_EQ(coordinator().currentPlan()->missingFiles(), lost);
    // The notice now names the long folder; it wraps rather than widening the window, and the
    // window grows for the wrapped lines rather than squeezing the cards.
    EXPECT_EQ(view.width(), 680);
    EXPECT_GE(child(view, "addCard").height(), child(view, "addCard").minimumSizeHint().height());

    click(view, "syncButton");
    waitForPhase(Kind::completed);
    expectScreen({.summary = true, .progress = true, .skipped = true, .startOver = true, .scanEnabled = true});
    EXPECT_EQ(child<QLabel>(view, "skippedText").text(), u"2 files not found in the source library were skipped."_s);
    click(view, "showFilesButton");
    EXPECT_TRUE(child<QDialog>(view, "missingFilesDialog").isVisible());
    EXPECT_EQ(child<QPlainTextEdit>(view, "missingFilesList").toPlainText().split(u'\n'), lost);
}

TEST_F(ContentViewTest, AsksBeforeASyncThatWouldEmptyTheDestination)
{
    // A property list that is no music library reads as a library without tracks.
    const QString notALibrary = temp.filePath(u"Preferences.plist"_s);
    QFile file(notALibrary);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("<plist><dict/></plist>") > 0);
    file.close();
    std::vector<qsizetype> asked;
    bool agree = false;
    view.setConsent([&](QWidget *, const SyncPlan &plan, ContentView::Question question) {
        EXPECT_EQ(question, ContentView::Question::massRemoval);
        asked.push_back(plan.job.tracksToRemove.size());
        return agree;
    });
    choose("sourcePicker", notALibrary);
    choose("destinationPicker", pair.destination.xmlPath);
    click(view, "scanButton");
    waitForPhase(Kind::readyToSync);

    click(view, "syncButton");
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, std::vector<qsizetype>{pair.destination.persistentIDs.size()});
    EXPECT_TRUE(coordinator().phase().is(Kind::readyToSync)) << "Cancel leaves everything as it is";
    EXPECT_TRUE(QFile::exists(pair.destination.mediaPaths.first()));

    agree = true;
    click(view, "syncButton");
    waitForPhase(Kind::completed);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_FALSE(QFile::exists(pair.destination.mediaPaths.first()));
}

TEST_F(ContentViewTest, RepaintsTheAccentButtonsInADarkPalette)
{
    QPalette dark = view.palette();
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    const auto accent = [this](const char *button, QPalette::ColorRole role) {
        return child(view, button).palette().color(QPalette::Active, role);
    };
    ASSERT_NE(accent("syncButton", QPalette::Button), dark.color(QPalette::Highlight));
    view.setPalette(dark);
    EXPECT_EQ(accent("syncButton", QPalette::Button), dark.color(QPalette::Highlight));
    EXPECT_EQ(accent("startOverButton", QPalette::ButtonText), dark.color(QPalette::Highlight));
}

} // namespace
