#include "coordinator/SyncCoordinator.h"
#include "engine/SyncPlan.h"
#include "fixtures/LibraryFixture.h"
#include "ui/AccentButton.h"
#include "ui/ContentView.h"
#include "ui/ErrorBanner.h"
#include "ui/PanelFrame.h"
#include "ui/PlanNoticeView.h"
#include "ui/SummaryCard.h"
#include "ui/Theme.h"
#include "ui/ElidedLabel.h"
#include "ui/PlanListDialog.h"
#include "UiTestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

/// What the window shows; the scan label is the busy text while the spinner shows.
struct Screen
{
    bool summary = false, locate = false, banner = false, progress = false, skipped = false, startOver = false,
         cancel = false;
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
        EXPECT_EQ(child(view, "cancelButton").isVisible(), expected.cancel);
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

    /// The list window named `name` that a click on the card named `card` opened.
    PlanListDialog &openList(const char *card, const char *name)
    {
        QTest::mouseClick(&child(view, card), Qt::LeftButton);
        return child<PlanListDialog>(view, name);
    }

    /// Types `text` as the filter of `list` and waits for the rows to narrow to `expectedRows`.
    static void filter(PlanListDialog &list, const QString &text, int expectedRows)
    {
        child<QLineEdit>(list, "listFilter").setText(text);
        EXPECT_TRUE(QTest::qWaitFor([&] { return list.rows().rowCount() == expectedRows; }, 5'000))
            << text.toStdString() << ": " << list.rows().rowCount() << " rows";
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
    EXPECT_EQ(view.focusWidget(), &child(view, "scanButton"));
    clickAndRefreshViewOnly("scanButton", Kind::scanning);
    expectScreen({.pickersEnabled = false, .scanLabel = u"Scanning\u2026"_s});
    EXPECT_TRUE(child(view, "scanProgress").isVisible());

    waitForPhase(Kind::readyToSync);
    expectScreen({.summary = true, .scanEnabled = true, .syncEnabled = true});
    EXPECT_EQ(view.focusWidget(), &child(view, "syncButton"));
    const SyncPlan plan = *coordinator().currentPlan();
    EXPECT_EQ(child<QLabel>(child(view, "addCard"), "cardCount").text(), QString::number(plan.job.tracksToAdd.size()));

    // Each card lists its plan entries; the filter narrows the list to the rows that hold the text.
    PlanListDialog &adds = openList("addCard", "tracksToAddList");
    EXPECT_TRUE(adds.isVisible());
    EXPECT_FALSE(adds.isModal());
    const int addCount = int(plan.job.tracksToAdd.size());
    ASSERT_EQ(adds.rows().rowCount(), addCount);
    ASSERT_EQ(plan.copies.first().kind, SyncPlan::Copy::Kind::copy);
    EXPECT_EQ(adds.rows().index(0, 0).data().toString(), plan.job.tracksToAdd.first().title);
    EXPECT_EQ(adds.rows().index(0, 3).data().toString(), plan.copies.first().target);
    filter(adds, plan.copies.first().target.toUpper(), 1);
    EXPECT_EQ(adds.rows().index(0, 1).data().toString(), plan.job.tracksToAdd.first().artist);
    filter(adds, u"no track is called this"_s, 0);
    filter(adds, {}, addCount);
    QWidget &removeCard = child(view, "removeCard");
    removeCard.setFocus();
    QTest::keyClick(&removeCard, Qt::Key_Space);
    QPointer<PlanListDialog> removals = &child<PlanListDialog>(view, "tracksToRemoveList");
    EXPECT_EQ(removals->rows().rowCount(), plan.job.tracksToRemove.size());
    EXPECT_EQ(removals->rows().index(0, 3).data().toString(), plan.removals.first().path);
    EXPECT_EQ(openList("playlistCard", "playlistsList").rows().index(0, 1).data().toLongLong(),
              plan.job.playlistsToSync.first().trackIDs.size());

    // Return starts the sync from wherever the focus is: here, a card would take it for itself.
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
    const QDir source(pair.source.libraryFolder), destination(pair.destination.libraryFolder);
    for (const QString &path : pair.source.mediaPaths)
        EXPECT_TRUE(QFile::exists(destination.filePath(source.relativeFilePath(path)))) << path.toStdString();

    // What it did, and the list of the copied files for the music application.
    const SyncPlan::Outcome &outcome = coordinator().currentPlan()->outcome;
    ASSERT_TRUE(outcome.copied > 1 && outcome.trashed > 1 && outcome.artworkCopied > 1);
    EXPECT_EQ(child<QLabel>(view, "summaryText").text().split(u'\n'),
              QStringList({u"Copied %1 files (%2)"_s.arg(outcome.copied).arg(formattedByteCount(outcome.bytesCopied)),
                           u"Moved %1 files to the Trash"_s.arg(outcome.trashed),
                           u"Copied %1 artwork files"_s.arg(outcome.artworkCopied)}));
    // Each of those files, with what was done to it.
    click(view, "showOperationsButton");
    const auto &done = child<QListView>(child(view, "operationsDialog"), "operationsList");
    QStringList doneLines;
    for (int row = 0; row < done.model()->rowCount(); ++row)
        doneLines.append(done.model()->index(row, 0).data().toString());
    EXPECT_EQ(doneLines.filter(QRegularExpression(u"^copy "_s)).size(), outcome.copied);
    EXPECT_EQ(doneLines.filter(QRegularExpression(u"^remove "_s)).size(), outcome.trashed);
    EXPECT_EQ(doneLines.filter(QRegularExpression(u"^artwork "_s)).size(), outcome.artworkCopied);
    QString suggested;
    std::optional<QString> saveTo = temp.filePath(u"Import.m3u8"_s);
    view.setSaveDialog([&](QWidget *, const QString &, const QString &path) {
        suggested = path;
        return saveTo;
    });
    click(view, "saveImportListButton");
    EXPECT_EQ(suggested, QDir::home().filePath(u"Quaverly Import.m3u8"_s));
    QFile list(*saveTo);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    QStringList expected{u"#EXTM3U"_s};
    for (const SyncPlan::Copy &copy : plan.copies) {
        if (copy.kind == SyncPlan::Copy::Kind::copy)
            expected.append(copy.target);
    }
    EXPECT_EQ(QString::fromUtf8(list.readAll()).split(u'\n', Qt::SkipEmptyParts), expected);
    saveTo = temp.filePath(u"No Such Folder/Import.m3u8"_s);
    click(view, "saveImportListButton");
    EXPECT_TRUE(child<QMessageBox>(view, "saveFailedBox").text().startsWith(u"Couldn't write \"%1\": "_s.arg(*saveTo)));

    // A list belongs to its plan: it outlives the run, not the plan.
    EXPECT_TRUE(removals && removals->isVisible());
    click(view, "startOverButton");
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    expectScreen({.scanEnabled = true});
    EXPECT_TRUE(removals.isNull());
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
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&child(view, "errorBanner"))->role(), QAccessible::AlertMessage);
    EXPECT_EQ(message.text(), coordinator().phase().message);
    EXPECT_EQ(child<QLabel>(view, "errorSubject").text(), u"Source library"_s);
    EXPECT_EQ(child<QLabel>(view, "errorAdvice").text(), coordinator().phase().advice);
    EXPECT_EQ(view.focusWidget(), &child(view, "dismissButton"));
    EXPECT_EQ(view.accessibleDescription(), u"Error: "_s + coordinator().phase().message);
    EXPECT_TRUE(message.text().contains(u"<b>Libraries</b>"_s)) << message.text().toStdString();
    EXPECT_EQ(message.textFormat(), Qt::PlainText);
    EXPECT_EQ(view.width(), 680);
    EXPECT_GE(message.height(), 2 * message.fontMetrics().height());
    EXPECT_GT(dismiss.left(), message.geometry().right());

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

TEST_F(ContentViewTest, ShowsTheTransferKeepsASyncRunningWhenClosingIsDeclinedAndCancelsItWhole)
{
    fixtures::LibraryOptions options;
    options.trackCount = 3000;
    options.playlistCount = 4;
    options.libraryFolder = temp.filePath(u"Large/Source"_s);
    options.writeMedia = true;
    fixtures::LibraryVariation variation;
    variation.removedTracks = 2800;
    const fixtures::LibraryPair large = fixtures::generatePair(options, variation, temp.filePath(u"Large/Destination"_s));
    int asked = 0;
    view.setStopQuestion([&](QWidget *) {
        ++asked;
        return false;
    });
    choose("sourcePicker", large.source.xmlPath);
    choose("destinationPicker", large.destination.xmlPath);
    click(view, "scanButton");
    waitForPhase(Kind::readyToSync);
    const qint64 bytesToCopy = coordinator().currentPlan()->bytesToCopy;
    ASSERT_GT(coordinator().currentPlan()->filesToCopy, 2000);
    click(view, "syncButton");
    const auto done = [this] { return coordinator().currentJob()->completedItemCount; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return done() >= 1; }, 30'000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(child(view, "transferFigures").isVisible());
    EXPECT_TRUE(child<QLabel>(view, "bytesText").text().endsWith(u" of "_s + formattedByteCount(bytesToCopy)));

    // Kept open, the window keeps its sync going.
    EXPECT_FALSE(view.close());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(view.isVisible());
    const qint64 doneWhenAsked = done();
    EXPECT_TRUE(QTest::qWaitFor([&] { return done() >= doneWhenAsked + 20; }, 30'000)) << done();
    ASSERT_TRUE(coordinator().phase().is(Kind::syncing));

    click(view, "cancelButton");
    const auto &cancel = child<QPushButton>(view, "cancelButton");
    EXPECT_FALSE(cancel.isEnabled());
    EXPECT_EQ(cancel.text(), u"Cancelling\u2026"_s);
    waitForPhase(Kind::completed);
    expectScreen({.summary = true, .progress = true, .startOver = true, .scanEnabled = true});
    EXPECT_EQ(child<QLabel>(view, "statusText").text(), u"Sync cancelled"_s);
    const SyncPlan &plan = *coordinator().currentPlan();
    EXPECT_EQ(plan.job.status, SyncJob::SyncStatus::cancelled);
    EXPECT_LT(plan.outcome.copied, plan.filesToCopy);
    EXPECT_TRUE(child<QLabel>(view, "summaryText").text().startsWith(u"Copied %1 files ("_s.arg(plan.outcome.copied)));
    EXPECT_EQ(wholeCopies(large), plan.outcome.copied);
    // Once it has ended, the window closes without asking.
    EXPECT_TRUE(view.close());
    EXPECT_EQ(asked, 1);
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
    const double a = text.alphaF();
    return QColor::fromRgbF(float(text.redF() * a + background.redF() * (1 - a)),
                            float(text.greenF() * a + background.greenF() * (1 - a)),
                            float(text.blueF() * a + background.blueF() * (1 - a)));
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

// Every text of every phase keeps its contrast in a light and a dark palette, the accent buttons
// included, and every control has a name of its own for a screen reader.
TEST_F(ContentViewTest, EveryTextIsReadableAndEveryControlNamedInEachPhase)
{
    const auto check = [&](const char *phase) {
        QCoreApplication::processEvents();
        for (const QPalette &palette : {QApplication::style()->standardPalette(), darkPalette()}) {
            SCOPED_TRACE(testing::Message() << phase << (Theme::isDark(palette) ? ", dark" : ", light"));
            view.setPalette(palette);
            QCoreApplication::processEvents();
            for (const QLabel *label : view.findChildren<QLabel *>()) {
                if (!label->isVisible() || label->text().isEmpty())
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
            if (!control->isVisible() || !(qobject_cast<QAbstractButton *>(control) || qobject_cast<QProgressBar *>(control)
                                           || qobject_cast<SummaryCard *>(control)))
                continue;
            const QString name = QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty()) << phase << ": " << control->objectName().toStdString();
            EXPECT_FALSE(names.contains(name)) << phase << ": two controls are called " << name.toStdString();
            names.insert(name);
        }
    };
    check("setup");
    choose("sourcePicker", pair.source.xmlPath);
    choose("destinationPicker", pair.destination.xmlPath);
    click(view, "scanButton");
    waitForPhase(Kind::readyToSync);
    check("ready");
    click(view, "syncButton");
    waitForPhase(Kind::completed);
    check("completed");
    choose("destinationPicker", temp.filePath(u"Nowhere/Music Library.xml"_s));
    click(view, "scanButton");
    waitForPhase(Kind::failed);
    check("failed");
}

// On a 1366×768 screen at 125 % and at 200 %, the buttons stay in the window and the content
// scrolls; a window grown for the results shrinks back when they go.
TEST_F(ContentViewTest, FitsSmallScreensAndShrinksBackWhenSectionsGo)
{
    choose("sourcePicker", pair.source.xmlPath);
    choose("destinationPicker", pair.destination.xmlPath);
    click(view, "scanButton");
    waitForPhase(Kind::readyToSync);
    click(view, "syncButton");
    waitForPhase(Kind::completed);
    const int grown = view.height();
    EXPECT_GT(grown, ContentView::defaultSize.height()) << "the results need more room than the default size";

    for (const QSize screen : {QSize(1366 * 4 / 5, 768 * 4 / 5), QSize(1366 / 2, 768 / 2)}) {
        SCOPED_TRACE(testing::Message() << screen.width() << "x" << screen.height());
        const QSize window = screen - QSize(0, 40);
        ASSERT_LE(view.minimumWidth(), window.width());
        ASSERT_LE(view.minimumHeight(), window.height());
        view.resize(window);
        QCoreApplication::processEvents();
        ASSERT_EQ(view.size(), window);
        for (const char *name : {"startOverButton", "showFolderButton", "scanButton", "syncButton"}) {
            const QWidget &button = child(view, name);
            EXPECT_TRUE(view.rect().contains(QRect(button.mapTo(&view, QPoint()), button.size()))) << name;
        }
        EXPECT_GT(child<QScrollArea>(view, "contentScroll").verticalScrollBar()->maximum(), 0);
    }
    // A phase that begins brings its section into view, though the screen holds only part of it.
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

    view.resize(view.width(), grown);
    click(view, "startOverButton");
    QCoreApplication::processEvents();
    EXPECT_EQ(view.height(), ContentView::defaultSize.height());
}

} // namespace
