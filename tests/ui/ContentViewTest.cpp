#include "coordinator/SyncCoordinator.h"
#include "engine/SyncPlan.h"
#include "fixtures/LibraryFixture.h"
#include "support/TestFiles.h"
#include "ui/AccentButton.h"
#include "ui/ContentView.h"
#include "ui/ErrorBanner.h"
#include "ui/PanelFrame.h"
#include "ui/PlanListDialog.h"
#include "ui/PlanNoticeView.h"
#include "ui/SummaryCard.h"
#include "ui/Theme.h"
#include "UiTestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyle>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

/// What the window shows; the scan label is the busy text while the spinner shows.
struct Screen
{
    bool summary = false, locate = false, banner = false, progress = false, skipped = false, startOver = false,
         cancel = false, pickersEnabled = true;
    QString scanLabel = u"Scan Libraries"_s, syncLabel = u"Start Sync"_s;
    bool scanEnabled = false, syncEnabled = false;
};

// What a text is drawn on: the panel's fill, a band's tint over the window, or the window.
QColor backgroundOf(const QWidget &widget)
{
    for (const QWidget *w = &widget; w; w = w->parentWidget()) {
        if (qobject_cast<const ErrorBanner *>(w))
            return Theme::bandColor(Theme::Tint::red, w->palette());
        if (qobject_cast<const PlanNoticeView *>(w))
            return Theme::bandColor(Theme::Tint::blue, w->palette());
        if (qobject_cast<const PanelFrame *>(w))
            return Theme::controlBackground(w->palette());
    }
    return widget.palette().color(QPalette::Window);
}

// A translucent text colour as it shows over `background`.
QColor over(const QColor &text, const QColor &background)
{
    const float a = text.alphaF();
    return QColor::fromRgbF(text.redF() * a + background.redF() * (1 - a),
                            text.greenF() * a + background.greenF() * (1 - a),
                            text.blueF() * a + background.blueF() * (1 - a));
}

QPalette darkPalette()
{
    QPalette dark(QColor(50, 50, 52), QColor(40, 40, 42));
    dark.setColor(QPalette::WindowText, QColor(232, 232, 234));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(232, 232, 234, 128));
    return dark;
}

class ContentViewTest : public TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        pair = fixtures::generateDemoPair(m_root.path());
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

    void waitForPhase(Kind kind)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return coordinator().phase().is(kind); }, 30'000))
            << "phase stayed " << int(coordinator().phase().kind) << ": " << coordinator().phase().message.toStdString();
        QCoreApplication::processEvents();
    }

    void scan(const QString &source, const QString &destination, Kind outcome = Kind::readyToSync)
    {
        choose("sourcePicker", source);
        choose("destinationPicker", destination);
        click(view, "scanButton");
        waitForPhase(outcome);
    }

    void expectScreen(const Screen &expected)
    {
        const std::pair<const char *, bool> sections[] = {
            {"summarySection", expected.summary},   {"locateButton", expected.locate},
            {"errorBanner", expected.banner},       {"progressSection", expected.progress},
            {"skippedFiles", expected.skipped},     {"startOverButton", expected.startOver},
            {"cancelButton", expected.cancel}};
        for (const auto &[name, shown] : sections)
            EXPECT_EQ(child(view, name).isVisible(), shown) << name;
        const auto &scanButton = child<QPushButton>(view, "scanButton");
        const auto &busy = child<QLabel>(view, "scanBusyLabel");
        const auto &sync = child<QPushButton>(view, "syncButton");
        EXPECT_EQ(busy.isVisible() && scanButton.text().isEmpty() ? busy.text() : scanButton.text(), expected.scanLabel);
        EXPECT_EQ(scanButton.isEnabled(), expected.scanEnabled);
        EXPECT_EQ(sync.text(), expected.syncLabel);
        EXPECT_EQ(sync.isEnabled(), expected.syncEnabled);
        EXPECT_EQ(child<QPushButton>(child(view, "sourcePicker"), "chooseButton").isEnabled(), expected.pickersEnabled);
    }

    // Every text of the window keeps its contrast in a light and a dark palette, the accent buttons
    // included, and every control has a name of its own for a screen reader.
    void expectReadableAndNamed(const char *phase)
    {
        for (const QPalette &palette : {QApplication::style()->standardPalette(), darkPalette()}) {
            SCOPED_TRACE(testing::Message() << phase << (Theme::isDark(palette) ? ", dark" : ", light"));
            view.setPalette(palette);
            QCoreApplication::processEvents();
            for (const QLabel *label : view.findChildren<QLabel *>()) {
                if (!label->isVisible() || label->text().isEmpty() || label->window() != &view)
                    continue;
                const QColor background = backgroundOf(*label);
                const QColor text = over(label->palette().color(label->foregroundRole()), background);
                EXPECT_GE(Theme::contrast(text, background), Theme::minimumContrast)
                    << label->objectName().toStdString() << ": " << label->text().toStdString();
            }
            for (const AccentButton *button : view.findChildren<AccentButton *>()) {
                const auto [text, background] = button->colors(button->palette());
                EXPECT_GE(Theme::contrast(text, button->kind() == AccentButton::Kind::borderless
                                                    ? backgroundOf(*button) : background),
                          Theme::minimumContrast) << button->objectName().toStdString();
            }
        }
        view.setPalette(QPalette());
        QSet<QString> names;
        for (QWidget *control : view.findChildren<QWidget *>()) {
            if (!control->isVisible() || control->window() != &view
                || !(qobject_cast<QAbstractButton *>(control) || qobject_cast<QProgressBar *>(control)
                     || qobject_cast<SummaryCard *>(control)))
                continue;
            const QString name = QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty()) << phase << ": " << control->objectName().toStdString();
            EXPECT_FALSE(names.contains(name)) << phase << ": two controls are called " << name.toStdString();
            names.insert(name);
        }
    }

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
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.calls, 1);
    EXPECT_TRUE(child(view, "scanButton").isEnabled());
}

TEST_F(ContentViewTest, RunsTheWholeFlowThroughTheButtonsToSyncComplete)
{
    expectScreen({});
    expectReadableAndNamed("setup");
    choose("sourcePicker", pair.source.xmlPath);
    choose("destinationPicker", pair.destination.xmlPath);
    expectScreen({.scanEnabled = true});
    EXPECT_EQ(view.focusWidget(), &child(view, "scanButton"));
    // The scanning phase as drawn before any of the coordinator's work has run.
    click(view, "scanButton");
    ASSERT_TRUE(coordinator().phase().is(Kind::scanning));
    QCoreApplication::sendPostedEvents(&view, QEvent::MetaCall);
    expectScreen({.pickersEnabled = false, .scanLabel = u"Scanning\u2026"_s});
    EXPECT_TRUE(child(view, "scanProgress").isVisible());

    waitForPhase(Kind::readyToSync);
    expectScreen({.summary = true, .scanEnabled = true, .syncEnabled = true});
    EXPECT_EQ(view.focusWidget(), &child(view, "syncButton"));
    expectReadableAndNamed("ready");
    const SyncPlan plan = *coordinator().currentPlan();
    // A card opens the list of its entries; the filter keeps the rows that hold the text, in any case.
    QTest::mouseClick(&child(view, "addCard"), Qt::LeftButton);
    const QPointer<PlanListDialog> adds = &child<PlanListDialog>(view, "tracksToAddList");
    ASSERT_EQ(adds->rows().rowCount(), plan.job.tracksToAdd.size());
    child<QLineEdit>(*adds, "listFilter").setText(plan.copies.first().target.toUpper());
    EXPECT_TRUE(QTest::qWaitFor([&] { return adds->rows().rowCount() == 1; }, 5'000)) << adds->rows().rowCount();
    EXPECT_EQ(adds->rows().index(0, 3).data().toString(), plan.copies.first().target);

    // Return starts the sync from wherever the focus is.
    child(view, "sourcePicker").setFocus();
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_TRUE(coordinator().phase().is(Kind::syncing));
    QCoreApplication::sendPostedEvents(&view, QEvent::MetaCall);
    expectScreen({.summary = true, .progress = true, .cancel = true, .pickersEnabled = false,
                  .syncLabel = u"Syncing\u2026"_s});
    EXPECT_EQ(view.focusWidget(), &child(view, "cancelButton"));

    waitForPhase(Kind::completed);
    expectScreen({.summary = true, .progress = true, .startOver = true, .scanEnabled = true});
    EXPECT_EQ(view.focusWidget(), &child(view, "startOverButton"));
    EXPECT_EQ(child<QLabel>(view, "statusText").text(), u"Sync complete"_s);
    expectReadableAndNamed("completed");
    const SyncPlan done = *coordinator().currentPlan();
    ASSERT_GT(done.outcome.copied, 1);
    EXPECT_EQ(child<QLabel>(view, "summaryText").text(), done.outcomeSummary().join(u'\n'));
    click(view, "showOperationsButton");
    const QAbstractItemModel &operations = *child<QListView>(view, "operationsList").model();
    EXPECT_EQ(operations.match(operations.index(0, 0), Qt::DisplayRole, u"copy "_s, -1).size(), done.outcome.copied);
    std::optional<QString> saveTo = at(u"Import.m3u8"_s);
    view.setSaveDialog([&](QWidget *, const QString &, const QString &) { return saveTo; });
    click(view, "saveImportListButton");
    EXPECT_EQ(contentsOf(*saveTo), done.importList());
    saveTo = at(u"No Such Folder/Import.m3u8"_s);
    click(view, "saveImportListButton");
    EXPECT_TRUE(child<QMessageBox>(view, "saveFailedBox").text().startsWith(u"Couldn't write \"%1\": "_s.arg(*saveTo)));

    // On a 1366×768 screen at 125 % and at 200 %, the buttons stay in the window and the content scrolls.
    const int grown = view.height();
    EXPECT_GT(grown, ContentView::defaultSize.height()) << "the results need more room than the default size";
    for (const QSize screen : {QSize(1366 * 4 / 5, 768 * 4 / 5), QSize(1366 / 2, 768 / 2)}) {
        SCOPED_TRACE(testing::Message() << screen.width() << "x" << screen.height());
        const QSize window = screen - QSize(0, 40);
        view.resize(window);
        QCoreApplication::processEvents();
        ASSERT_EQ(view.size(), window);
        for (const char *name : {"startOverButton", "showFolderButton", "scanButton", "syncButton"}) {
            const QWidget &button = child(view, name);
            EXPECT_TRUE(view.rect().contains(QRect(button.mapTo(&view, QPoint()), button.size()))) << name;
        }
        EXPECT_GT(child<QScrollArea>(view, "contentScroll").verticalScrollBar()->maximum(), 0);
    }

    // A list outlives the run; a phase that begins on a small window brings its section into view.
    EXPECT_TRUE(adds && adds->isVisible());
    click(view, "scanButton");
    waitForPhase(Kind::readyToSync);
    click(view, "syncButton");
    waitForPhase(Kind::completed);
    const QWidget *viewport = child<QScrollArea>(view, "contentScroll").viewport();
    const QWidget &progress = child(view, "progressSection");
    ASSERT_GT(progress.mapTo(&child(view, "content"), QPoint()).y() + progress.height(), viewport->height())
        << "the test needs a section that ends below the fold";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return viewport->rect().contains(QRect(progress.mapTo(viewport, QPoint()), progress.size())); }, 2'000));

    // A window grown for the results shrinks back when they go, and a list belongs to its plan.
    view.resize(view.width(), grown);
    click(view, "startOverButton");
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    expectScreen({.scanEnabled = true});
    EXPECT_EQ(view.height(), ContentView::defaultSize.height());
    EXPECT_TRUE(adds.isNull());
}

TEST_F(ContentViewTest, ShowsAFailedScanOrSyncVerbatimAndWrappedUntilDismissed)
{
    scan(at(u"Exported <b>Libraries</b>/From the studio computer before the move in spring"
                       u"/Old drive/Music Library.xml"_s),
         pair.destination.xmlPath, Kind::failed);
    expectScreen({.banner = true, .scanEnabled = true});
    const auto &message = child<QLabel>(view, "errorMessage");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&child(view, "errorBanner"))->role(), QAccessible::AlertMessage);
    EXPECT_EQ(message.text(), coordinator().phase().message);
    EXPECT_EQ(message.textFormat(), Qt::PlainText);
    EXPECT_EQ(child<QLabel>(view, "errorSubject").text(), u"Source library"_s);
    EXPECT_EQ(child<QLabel>(view, "errorAdvice").text(), coordinator().phase().advice);
    EXPECT_EQ(view.focusWidget(), &child(view, "dismissButton"));
    expectReadableAndNamed("failed");
    EXPECT_EQ(view.width(), 680);
    EXPECT_GE(message.height(), 2 * message.fontMetrics().height());
    click(view, "dismissButton");
    QCoreApplication::processEvents();
    expectScreen({.scanEnabled = true});
}

TEST_F(ContentViewTest, LocatesAMovedSourceMediaFolderAndListsTheFilesStillMissingAfterTheSync)
{
    const QString recorded = QDir(pair.source.libraryFolder).filePath(u"Media.localized"_s);
    const QString moved = at(u"Copied from the studio computer before the move in spring/Media"_s);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(moved).path()) && QDir().rename(recorded, moved));
    scan(pair.source.xmlPath, pair.destination.xmlPath);
    const QStringList notFound = coordinator().currentPlan()->missingFiles();
    ASSERT_GE(notFound.size(), 3);
    expectScreen({.summary = true, .locate = true, .scanEnabled = true, .syncEnabled = true});
    const auto &notice = child<QLabel>(view, "noticeText");
    EXPECT_TRUE(notice.isVisible() && notice.text().split(u'\n') == coordinator().currentPlan()->notice());

    // Two files to copy were lost in the move.
    QStringList lost;
    for (const QString &path : notFound.first(2)) {
        lost.append(moved + path.mid(recorded.size()));
        ASSERT_TRUE(QFile::remove(lost.last()));
    }
    view.setFolderDialog([&](QWidget *, const QString &, const QString &) { return moved; });
    click(view, "locateButton");
    waitForPhase(Kind::readyToSync);
    EXPECT_EQ(coordinator().currentPlan()->missingFiles(), lost);
    // The notice now names the long folder; it wraps rather than widening the window.
    EXPECT_EQ(view.width(), 680);

    click(view, "syncButton");
    waitForPhase(Kind::completed);
    expectScreen({.summary = true, .progress = true, .skipped = true, .startOver = true, .scanEnabled = true});
    click(view, "showFilesButton");
    EXPECT_EQ(child<QPlainTextEdit>(view, "missingFilesList").toPlainText().split(u'\n'), lost);
}

TEST_F(ContentViewTest, ShowsTheTransferKeepsASyncRunningWhenClosingIsDeclinedAndCancelsItWhole)
{
    fixtures::LibraryOptions options;
    options.trackCount = 3000;
    options.playlistCount = 4;
    options.libraryFolder = at(u"Large/Source"_s);
    options.writeMedia = true;
    const fixtures::LibraryPair large =
        fixtures::generatePair(options, {.removedTracks = 2800}, at(u"Large/Destination"_s));
    int asked = 0;
    view.setStopQuestion([&](QWidget *) { ++asked; return false; });
    scan(large.source.xmlPath, large.destination.xmlPath);
    click(view, "syncButton");
    const auto done = [this] { return coordinator().currentJob()->completedItemCount; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return done() >= 1; }, 30'000));
    QCoreApplication::processEvents();
    const auto &bytes = child<QLabel>(view, "bytesText");
    EXPECT_TRUE(bytes.isVisible());
    EXPECT_TRUE(bytes.text().endsWith(u" of "_s + formattedByteCount(coordinator().currentPlan()->bytesToCopy)));

    // Kept open, the window keeps its sync going.
    EXPECT_FALSE(view.close());
    const qint64 doneWhenAsked = done();
    EXPECT_TRUE(QTest::qWaitFor([&] { return done() >= doneWhenAsked + 20; }, 30'000)) << done();
    ASSERT_TRUE(coordinator().phase().is(Kind::syncing));

    click(view, "cancelButton");
    EXPECT_FALSE(child(view, "cancelButton").isEnabled());
    waitForPhase(Kind::completed);
    EXPECT_EQ(child<QLabel>(view, "statusText").text(), u"Sync cancelled"_s);
    const SyncPlan &plan = *coordinator().currentPlan();
    EXPECT_LT(plan.outcome.copied, plan.filesToCopy);
    // Once it has ended, the window closes without asking.
    EXPECT_TRUE(view.close());
    EXPECT_EQ(asked, 1);
}

TEST_F(ContentViewTest, AsksBeforeASyncThatWouldEmptyTheDestination)
{
    // A property list that is no music library reads as a library without tracks.
    const QString notALibrary = at(u"Preferences.plist"_s);
    ASSERT_TRUE(writeFile(notALibrary, "<plist><dict/></plist>"));
    int asked = 0;
    bool agree = false;
    view.setConsent([&](QWidget *, const SyncPlan &, ContentView::Question question) {
        asked += question == ContentView::Question::massRemoval;
        return agree;
    });
    scan(notALibrary, pair.destination.xmlPath);
    click(view, "syncButton");
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(coordinator().phase().is(Kind::readyToSync)) << "Cancel leaves everything as it is";
    EXPECT_TRUE(QFile::exists(pair.destination.mediaPaths.first()));

    agree = true;
    click(view, "syncButton");
    waitForPhase(Kind::completed);
    EXPECT_FALSE(QFile::exists(pair.destination.mediaPaths.first()));
}

} // namespace
