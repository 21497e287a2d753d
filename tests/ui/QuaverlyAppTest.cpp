#include "coordinator/SyncCoordinator.h"
#include "fixtures/LibraryFixture.h"
#include "ui/ContentView.h"
#include "ui/QuaverlyApp.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Kind = SyncCoordinator::Phase::Kind;

namespace {

class QuaverlyAppTest : public ::testing::Test
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

TEST_F(QuaverlyAppTest, OpensWindowsWithTheirOwnCoordinatorsAndFinishesWhenTheLastCloses)
{
    QPointer<ContentView> first = app.openWindow();
    QPointer<ContentView> second = app.openWindow();
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->size(), QSize(680, 560));
    EXPECT_TRUE(first->minimumWidth() >= 600 && first->minimumHeight() >= 480);
    EXPECT_NE(first->coordinator(), second->coordinator());
    for (ContentView *window : {first.data(), second.data()}) {
        EXPECT_EQ(finished.count(), 0);
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5'000));
}

TEST_F(QuaverlyAppTest, AsksBeforeAWindowOrAQuitStopsASyncAndFinishesOnlyOnceTheRunHasEnded)
{
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit request" : "window closed");
        QTemporaryDir temp;
        ASSERT_TRUE(temp.isValid());
        const fixtures::LibraryPair pair = fixtures::generateDemoPair(temp.path());
        finished.clear();
        QPointer<ContentView> window = app.openWindow();
        std::vector<bool> answers{false, true};
        window->setStopQuestion([&](QWidget *) {
            const bool stop = answers.front();
            answers.erase(answers.begin());
            return stop;
        });
        const std::weak_ptr<SyncCoordinator> coordinator = window->coordinator();
        window->coordinator()->setSourceLibraryURL(QUrl::fromLocalFile(pair.source.xmlPath));
        window->coordinator()->setDestinationLibraryURL(QUrl::fromLocalFile(pair.destination.xmlPath));
        window->coordinator()->scanLibraries();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->coordinator()->phase().is(Kind::readyToSync); }, 30'000));
        window->coordinator()->startSync();
        ASSERT_TRUE(coordinator.lock()->phase().is(Kind::syncing));
        const auto request = [&] {
            QEvent quitRequest(QEvent::Quit);
            return quit ? QCoreApplication::sendEvent(qApp, &quitRequest) : window->close();
        };
        // Keep Running: the window stays, and so does the sync.
        EXPECT_EQ(request(), quit);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_FALSE(window.isNull());
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(answers.size(), 1u);
        // Stop Sync: the window goes; the run stops before its next file, and only then may the process end.
        EXPECT_TRUE(request());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull());
        EXPECT_TRUE(answers.empty());
        // The run's end can only be applied on this thread, which has not run since the sync started.
        EXPECT_EQ(finished.count(), 0);
        // Wait in an event loop, as the application does: a quit request that got through ends it at once.
        QEventLoop loop;
        QObject::connect(&app, &QuaverlyApp::finished, &loop, [&] { loop.exit(1); });
        QTimer::singleShot(30'000, &loop, [&] { loop.exit(2); });
        ASSERT_EQ(loop.exec(), 1);
        EXPECT_TRUE(coordinator.expired());
        wholeCopies(pair);
    }
}

} // namespace
