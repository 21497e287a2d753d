#include "coordinator/SyncCoordinator.h"
#include "fixtures/LibraryFixture.h"
#include "ui/ContentView.h"
#include "ui/ElidedLabel.h"
#include "ui/ErrorBanner.h"
#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "UiTestSupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

/// What the window shows; the scan label is the busy text while the spinner shows.
struct Screen
{
    bool summary = false;
    bool banner = false;
    bool progress = false;
    bool startOver = false;
    bool pickersEnabled = true;
    QString scanLabel = u"Scan Libraries"_s;
    bool scanEnabled = false;
    QString syncLabel = u"Start Sync"_s;
    bool syncEnabled = false;
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

    void choose(const char *pickerName, const QString &path)
    {
        nextChoice = QUrl::fromLocalFile(path);
        auto *picker = child<QWidget>(&view, pickerName);
        ASSERT_NE(picker, nullptr);
        click(picker, "chooseButton");
        QCoreApplication::processEvents();
    }

    void click(const QWidget *parent, const char *buttonName)
    {
        auto *button = child<QPushButton>(parent, buttonName);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    /// Delivers only the view's own queued refresh, so the coordinator's work stays pending and
    /// the window can be seen in a passing phase.
    void refreshViewOnly() { QCoreApplication::sendPostedEvents(&view, QEvent::MetaCall); }

    void waitForPhase(Kind kind)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return coordinator().phase().is(kind); }, 30'000))
            << "phase stayed " << int(coordinator().phase().kind) << ": " << coordinator().phase().message.toStdString();
        QCoreApplication::processEvents();
    }

    void scanDemoPair()
    {
        choose("sourcePicker", pair.source.xmlPath);
        choose("destinationPicker", pair.destination.xmlPath);
        click(&view, "scanButton");
        waitForPhase(Kind::readyToSync);
    }

    [[nodiscard]] bool shown(const char *name) const
    {
        const QWidget *widget = view.findChild<QWidget *>(QString::fromLatin1(name));
        return widget && widget->isVisible();
    }

    [[nodiscard]] QString scanLabel() const
    {
        auto *busy = view.findChild<QLabel *>(u"scanBusyLabel"_s);
        auto *spinner = view.findChild<Spinner *>(u"scanSpinner"_s);
        auto *button = view.findChild<QPushButton *>(u"scanButton"_s);
        if (busy && busy->isVisible() && spinner && spinner->isVisible() && button && button->text().isEmpty())
            return busy->text();
        return button ? button->text() : QString();
    }

    void expectScreen(const Screen &expected)
    {
        EXPECT_EQ(shown("summarySection"), expected.summary);
        EXPECT_EQ(shown("errorBanner"), expected.banner);
        EXPECT_EQ(shown("progressSection"), expected.progress);
        EXPECT_EQ(shown("startOverButton"), expected.startOver);
        EXPECT_TRUE(shown("sourcePicker") && shown("destinationPicker"));
        for (const char *picker : {"sourcePicker", "destinationPicker"}) {
            SCOPED_TRACE(picker);
            auto *button = child<QPushButton>(child<QWidget>(&view, picker), "chooseButton");
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->isEnabled(), expected.pickersEnabled);
        }
        auto *scan = child<QPushButton>(&view, "scanButton");
        auto *sync = child<QPushButton>(&view, "syncButton");
        ASSERT_TRUE(scan && sync);
        EXPECT_EQ(scanLabel(), expected.scanLabel);
        EXPECT_EQ(scan->isEnabled(), expected.scanEnabled);
        EXPECT_EQ(sync->text(), expected.syncLabel);
        EXPECT_EQ(sync->isEnabled(), expected.syncEnabled);
    }

    [[nodiscard]] QString cardCount(const char *card) const
    {
        auto *label = child<QLabel>(child<QWidget>(&view, card), "cardCount");
        return label ? label->text() : QString();
    }

    QTemporaryDir temp;
    fixtures::LibraryPair pair;
    std::optional<QUrl> nextChoice;
    ContentView view;
};

TEST_F(ContentViewTest, OpensInSetupWithTheHeaderAndNothingToScan)
{
    expectScreen({});
    EXPECT_EQ(view.size(), QSize(680, 560));
    EXPECT_GE(view.minimumWidth(), 600);
    EXPECT_GE(view.minimumHeight(), 480);
    auto *appName = child<QLabel>(&view, "appName");
    auto *tagline = child<QLabel>(&view, "tagline");
    auto *house = child<SymbolView>(&view, "headerSymbol");
    ASSERT_TRUE(appName && tagline && house);
    EXPECT_EQ(appName->text(), u"Quaverly"_s);
    EXPECT_TRUE(appName->font().bold());
    EXPECT_EQ(tagline->text(), u"Sync your Music library between Macs"_s);
    EXPECT_EQ(tagline->foregroundRole(), Theme::textRole(Theme::Tint::secondary));
    EXPECT_EQ(house->symbolName(), u"music.note.house.fill"_s);
    EXPECT_EQ(house->tint(), Theme::Tint::accent);
}

TEST_F(ContentViewTest, EnablesScanningOnlyOnceBothFilesAreChosen)
{
    choose("sourcePicker", pair.source.xmlPath);
    expectScreen({});
    choose("destinationPicker", pair.destination.xmlPath);
    expectScreen({.scanEnabled = true});
    auto *destinationPath = child<ElidedLabel>(child<QWidget>(&view, "destinationPicker"), "pathLabel");
    ASSERT_NE(destinationPath, nullptr);
    EXPECT_EQ(destinationPath->fullText(), pair.destination.xmlPath);
    EXPECT_EQ(coordinator().destinationLibraryURL(), QUrl::fromLocalFile(pair.destination.xmlPath));
}

TEST_F(ContentViewTest, RedrawsOnTheTurnAfterAnnouncementsNotDuringThem)
{
    auto *sourcePath = child<ElidedLabel>(child<QWidget>(&view, "sourcePicker"), "pathLabel");
    ASSERT_NE(sourcePath, nullptr);
    coordinator().setSourceLibraryURL(QUrl::fromLocalFile(u"/a/Music Library.xml"_s));
    coordinator().setSourceLibraryURL(QUrl::fromLocalFile(u"/b/Music Library.xml"_s));
    EXPECT_FALSE(sourcePath->isVisible());
    QCoreApplication::processEvents();
    EXPECT_TRUE(sourcePath->isVisible());
    EXPECT_EQ(sourcePath->fullText(), u"/b/Music Library.xml"_s);
}

TEST_F(ContentViewTest, RefreshesOncePerTurnHoweverManyAnnouncementsCame)
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
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.calls, 1);
    expectScreen({.scanEnabled = true});
}

TEST_F(ContentViewTest, RunsTheWholeFlowThroughTheButtonsToSyncComplete)
{
    choose("sourcePicker", pair.source.xmlPath);
    choose("destinationPicker", pair.destination.xmlPath);
    click(&view, "scanButton");
    ASSERT_TRUE(coordinator().phase().is(Kind::scanning));
    refreshViewOnly();
    expectScreen({.pickersEnabled = false, .scanLabel = u"Scanning\u2026"_s});

    waitForPhase(Kind::readyToSync);
    expectScreen({.summary = true, .scanEnabled = true, .syncEnabled = true});
    const SyncJob planned = *coordinator().currentJob();
    ASSERT_TRUE(planned.hasChanges());
    EXPECT_EQ(cardCount("addCard"), QString::number(planned.tracksToAdd.size()));
    EXPECT_EQ(cardCount("removeCard"), QString::number(planned.tracksToRemove.size()));
    EXPECT_EQ(cardCount("updateCard"), QString::number(planned.tracksToUpdate.size()));
    EXPECT_EQ(cardCount("playlistCard"), QString::number(planned.playlistsToSync.size()));

    click(&view, "syncButton");
    ASSERT_TRUE(coordinator().phase().is(Kind::syncing));
    refreshViewOnly();
    expectScreen({.summary = true, .progress = true, .pickersEnabled = false, .syncLabel = u"Syncing\u2026"_s});

    waitForPhase(Kind::completed);
    expectScreen({.summary = true, .progress = true, .startOver = true, .scanEnabled = true});
    auto *status = child<QLabel>(&view, "statusText");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), u"Sync complete"_s);

    // The destination now holds every source medium at the same place, and none it alone had.
    const QDir source(pair.source.libraryFolder), destination(pair.destination.libraryFolder);
    QSet<QString> sourceMedia;
    for (const QString &path : pair.source.mediaPaths) {
        sourceMedia.insert(source.relativeFilePath(path));
        EXPECT_TRUE(QFile::exists(destination.filePath(source.relativeFilePath(path)))) << path.toStdString();
    }
    int removed = 0;
    for (const QString &path : pair.destination.mediaPaths) {
        if (!sourceMedia.contains(destination.relativeFilePath(path))) {
            EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
            ++removed;
        }
    }
    EXPECT_GT(removed, 0);

    click(&view, "startOverButton");
    QCoreApplication::processEvents();
    expectScreen({.scanEnabled = true});
    EXPECT_EQ(coordinator().sourceLibraryURL(), QUrl::fromLocalFile(pair.source.xmlPath));
}

TEST_F(ContentViewTest, ShowsTheNoChangeSummaryAndKeepsSyncDisabled)
{
    choose("sourcePicker", pair.source.xmlPath);
    choose("destinationPicker", pair.source.xmlPath);
    click(&view, "scanButton");
    waitForPhase(Kind::readyToSync);
    expectScreen({.summary = true, .scanEnabled = true});
    EXPECT_TRUE(shown("noChangesNote"));
}

TEST_F(ContentViewTest, ShowsAFailedScanVerbatimUntilDismissed)
{
    const QString missing = temp.filePath(u"<b>Gone</b>/Music Library.xml"_s);
    choose("sourcePicker", missing);
    choose("destinationPicker", pair.destination.xmlPath);
    click(&view, "scanButton");
    waitForPhase(Kind::failed);
    expectScreen({.banner = true, .scanEnabled = true});
    auto *message = child<QLabel>(&view, "errorMessage");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), coordinator().phase().message);
    EXPECT_TRUE(message->text().contains(u"<b>Gone</b>"_s)) << message->text().toStdString();
    EXPECT_EQ(message->textFormat(), Qt::PlainText);

    click(child<QWidget>(&view, "errorBanner"), "dismissButton");
    QCoreApplication::processEvents();
    expectScreen({.scanEnabled = true});
    EXPECT_TRUE(coordinator().phase().is(Kind::setup));
}

TEST_F(ContentViewTest, ShowsTheBannerAndTheLastSummaryButNoProgressAfterAFailedSync)
{
    scanDemoPair();
    for (const QString &path : pair.source.mediaPaths)
        ASSERT_TRUE(QFile::remove(path));
    click(&view, "syncButton");
    waitForPhase(Kind::failed);
    expectScreen({.summary = true, .banner = true, .scanEnabled = true});
}

TEST_F(ContentViewTest, WrapsALongFailureMessageWithDismissAtTheTrailingEnd)
{
    const QString missing = temp.filePath(
        u"Exported Libraries/From the studio computer before the move in spring/Old drive/Music Library.xml"_s);
    choose("sourcePicker", missing);
    choose("destinationPicker", pair.destination.xmlPath);
    click(&view, "scanButton");
    waitForPhase(Kind::failed);
    auto *banner = child<ErrorBanner>(&view, "errorBanner");
    auto *message = child<QLabel>(&view, "errorMessage");
    auto *dismiss = child<QPushButton>(&view, "dismissButton");
    ASSERT_TRUE(banner && message && dismiss);
    EXPECT_EQ(view.width(), 680);
    EXPECT_GE(message->height(), 2 * message->fontMetrics().height());
    EXPECT_EQ(dismiss->geometry().right(), banner->width() - 1 - 10);
    EXPECT_GT(dismiss->geometry().left(), message->geometry().right());
}

TEST_F(ContentViewTest, RepaintsTheAccentButtonsInANewPalette)
{
    auto *sync = child<QPushButton>(&view, "syncButton");
    auto *startOver = child<QPushButton>(&view, "startOverButton");
    ASSERT_TRUE(sync && startOver);
    QPalette dark = view.palette();
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    ASSERT_NE(sync->palette().color(QPalette::Active, QPalette::Button), dark.color(QPalette::Highlight));
    view.setPalette(dark);
    EXPECT_EQ(sync->palette().color(QPalette::Active, QPalette::Button), dark.color(QPalette::Highlight));
    EXPECT_EQ(startOver->palette().color(QPalette::Active, QPalette::ButtonText), dark.color(QPalette::Highlight));
}

TEST_F(ContentViewTest, GivesEachWindowItsOwnCoordinator)
{
    ContentView other;
    other.show();
    ASSERT_NE(other.coordinator(), view.coordinator());
    choose("sourcePicker", pair.source.xmlPath);
    EXPECT_TRUE(coordinator().sourceLibraryURL().has_value());
    EXPECT_FALSE(other.coordinator()->sourceLibraryURL().has_value());
}

} // namespace
