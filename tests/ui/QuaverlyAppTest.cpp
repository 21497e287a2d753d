#include "coordinator/SyncCoordinator.h"
#include "fixtures/LibraryFixture.h"
#include "ui/ContentView.h"
#include "ui/QuaverlyApp.h"
#include "UiTestSupport.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

class QuaverlyAppTest : public TemporaryFolderTest
{
protected:
    void TearDown() override
    {
        QApplication::closeAllWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QuaverlyApp app;
    QSignalSpy finished{&app, &QuaverlyApp::finished};
};

// New Window, Close and Quit from the platform's standard keys.
TEST_F(QuaverlyAppTest, OpensAndClosesWindowsFromTheStandardKeysAndFinishesWhenTheLastCloses)
{
    const auto press = [](QWidget *window, const QKeySequence &keys) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keySequence(window, keys);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    // Closed windows are deleted, so the windows left are the open ones.
    const auto windows = [] { return QApplication::topLevelWidgets(); };
    QPointer<ContentView> first = app.openWindow();
    ASSERT_TRUE(first);
    press(first, QKeySequence(QKeySequence::New));
    ASSERT_EQ(windows().size(), 2);
    QPointer<ContentView> second = qobject_cast<ContentView *>(windows().at(windows().at(0) == first ? 1 : 0));
    ASSERT_TRUE(second);
    EXPECT_NE(first->coordinator(), second->coordinator());
    press(second, QKeySequence(QKeySequence::Close));
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(finished.count(), 0);

    app.openWindow();
    press(first, QuaverlyApp::quitKeys().constFirst());
    EXPECT_TRUE(windows().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5'000));
}

TEST_F(QuaverlyAppTest, AsksBeforeAWindowOrAQuitStopsASyncAndFinishesOnlyOnceTheRunHasEnded)
{
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit request" : "window closed");
        const fixtures::LibraryPair pair = fixtures::generateDemoPair(at(quit ? u"quit"_s : u"close"_s));
        finished.clear();
        QPointer<ContentView> window = app.openWindow();
        bool stop = false;
        window->setStopQuestion([&](QWidget *) { return stop; });
        const std::weak_ptr<SyncCoordinator> coordinator = window->coordinator();
        window->coordinator()->setSourceLibraryURL(QUrl::fromLocalFile(pair.source.xmlPath));
        window->coordinator()->setDestinationLibraryURL(QUrl::fromLocalFile(pair.destination.xmlPath));
        window->coordinator()->scanLibraries();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->coordinator()->phase().is(Kind::readyToSync); }, 30'000));
        window->coordinator()->startSync();
        const auto request = [&] {
            QEvent quitRequest(QEvent::Quit);
            quit ? QCoreApplication::sendEvent(qApp, &quitRequest) : window->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        // Keep Running: the window stays, and so does the sync.
        request();
        ASSERT_FALSE(window.isNull());
        EXPECT_TRUE(window->isVisible());
        // Stop Sync: the window goes; the run stops before its next file, and only then may the process end.
        stop = true;
        request();
        EXPECT_TRUE(window.isNull());
        // The run's end can only be applied on this thread, which has not run since the sync started.
        EXPECT_EQ(finished.count(), 0);
        // Wait in an event loop, as the application does: a quit request that got through ends it at once.
        QEventLoop loop;
        QObject::connect(&app, &QuaverlyApp::finished, &loop, [&] { loop.exit(1); });
        QTimer::singleShot(30'000, &loop, [&] { loop.exit(2); });
        ASSERT_EQ(loop.exec(), 1);
        EXPECT_TRUE(coordinator.expired());
    }
}

} // namespace
