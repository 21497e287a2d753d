#include "coordinator/SyncCoordinator.h"
#include "fixtures/LibraryFixture.h"
#include "ui/ContentView.h"
#include "ui/QuaverlyApp.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

    /// Closes `window` and lets its deferred deletion happen.
    static void closeWindow(QPointer<ContentView> &window)
    {
        ASSERT_FALSE(window.isNull());
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull());
    }

    QuaverlyApp app;
    QSignalSpy finished{&app, &QuaverlyApp::finished};
};

TEST_F(QuaverlyAppTest, OpensWindowsAtTheDefaultSizeEachWithItsOwnCoordinator)
{
    ContentView *first = app.openWindow();
    ContentView *second = app.openWindow();
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->size(), QSize(680, 560));
    EXPECT_TRUE(first->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_NE(first->coordinator(), second->coordinator());
    EXPECT_EQ(app.liveCoordinatorCount(), 2);
}

TEST_F(QuaverlyAppTest, FinishesWhenTheLastIdleWindowCloses)
{
    QPointer<ContentView> first = app.openWindow();
    QPointer<ContentView> second = app.openWindow();
    closeWindow(first);
    EXPECT_EQ(finished.count(), 0);
    closeWindow(second);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5'000));
    EXPECT_EQ(app.liveCoordinatorCount(), 0);
}

TEST_F(QuaverlyAppTest, WaitsForACoordinatorThatOutlivesItsWindow)
{
    QPointer<ContentView> window = app.openWindow();
    // What a running scan or sync does: hold on to the coordinator.
    std::shared_ptr<SyncCoordinator> running = window->coordinator();
    closeWindow(window);
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.count(), 0);
    running.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5'000));
}

TEST_F(QuaverlyAppTest, LetsASyncFinishAfterItsWindowClosesAndOnlyThenFinishes)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const fixtures::LibraryPair pair = fixtures::generateDemoPair(temp.path());
    QPointer<ContentView> window = app.openWindow();
    const std::weak_ptr<SyncCoordinator> coordinator = window->coordinator();
    window->coordinator()->setSourceLibraryURL(QUrl::fromLocalFile(pair.source.xmlPath));
    window->coordinator()->setDestinationLibraryURL(QUrl::fromLocalFile(pair.destination.xmlPath));
    window->coordinator()->scanLibraries();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->coordinator()->phase().is(Kind::readyToSync); }, 30'000));
    QCoreApplication::processEvents();

    auto *sync = child<QPushButton>(window.data(), "syncButton");
    ASSERT_NE(sync, nullptr);
    QTest::mouseClick(sync, Qt::LeftButton);
    ASSERT_TRUE(coordinator.lock()->phase().is(Kind::syncing));
    closeWindow(window);
    // The run's end can only be applied on this thread, which has not run since the click.
    EXPECT_FALSE(coordinator.expired());
    EXPECT_EQ(finished.count(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 30'000));
    EXPECT_TRUE(coordinator.expired());
    const QDir source(pair.source.libraryFolder), destination(pair.destination.libraryFolder);
    for (const QString &path : pair.source.mediaPaths)
        EXPECT_TRUE(QFile::exists(destination.filePath(source.relativeFilePath(path)))) << path.toStdString();
}

TEST_F(QuaverlyAppTest, AnswersAQuitRequestDuringARunByClosingWindowsAndWaiting)
{
    QPointer<ContentView> window = app.openWindow();
    std::shared_ptr<SyncCoordinator> running = window->coordinator();
    QEvent quit(QEvent::Quit);
    EXPECT_TRUE(QCoreApplication::sendEvent(qApp, &quit));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(finished.count(), 0);
    running.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5'000));
}

} // namespace
