#include "engine/SyncEngine.h"
#include "engine/SyncJob.h"
#include "ui/ElidedLabel.h"
#include "ui/ScanProgressView.h"
#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "ui/SyncProgressView.h"
#include "UiTestSupport.h"

#include <QProgressBar>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Status = SyncJob::SyncStatus;

namespace {

TEST(SyncProgressViewTest, ShowsPlainCountsTruncatedPercentageAndTheActivityIndicatorWhileBusy)
{
    struct Case
    {
        Status status;
        qint64 completed, total;
        QString percentText;
        double barFraction;
    };
    const Case cases[] = {
        // A job with nothing to do is complete.
        {Status::pending, 0, 0, u"100%"_s, 1.0},
        // Integer arithmetic: floating point would take one off this exact value.
        {Status::transferring, 29, 100, u"29%"_s, 0.29},
        // More done than planned: the bar shows full rather than keeping its previous value.
        {Status::transferring, 5, 4, u"125%"_s, 1.0},
        {Status::transferring, 199999, 200000, u"99%"_s, 1.0},
        {Status::cancelled, 0, 4, u"0%"_s, 0.0},
    };
    SyncProgressView view;
    const auto &bar = child<QProgressBar>(view, "progressBar");
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.completed << " of " << c.total << ", status " << int(c.status));
        SyncJob job;
        job.status = c.status;
        job.completedItemCount = c.completed;
        job.totalItemCount = c.total;
        view.setJob(job);
        // Plain digits although the tests' default locale groups thousands.
        EXPECT_EQ(child<QLabel>(view, "countText").text(), u"%1 of %2 items"_s.arg(c.completed).arg(c.total));
        EXPECT_EQ(child<QLabel>(view, "percentText").text(), c.percentText);
        EXPECT_NEAR(double(bar.value() - bar.minimum()) / (bar.maximum() - bar.minimum()), c.barFraction, 1e-3);
        const bool busy = c.status == Status::pending || c.status == Status::transferring;
        EXPECT_EQ(child<Spinner>(view, "statusSpinner").isVisibleTo(&view), busy);
        EXPECT_NE(child<SymbolView>(view, "statusSymbol").isVisibleTo(&view), busy);
    }
}

TEST(SyncProgressViewTest, ShowsTheTransferBytesSpeedTimeLeftAndFileNameOnlyWhileThereAreBytesToCopy)
{
    struct Case
    {
        TransferProgress transfer;
        QString bytes, speed, timeLeft, file; // no bytes: the figures are hidden
    };
    const QString song = u"/Volumes/M/Music/Media/<b>Artist</b>/Album/01 Song.m4a"_s;
    const Case cases[] = {
        {{0, 0, {}, 0}, {}, {}, {}, {}},
        // Too early to measure a speed.
        {{0, 2'000'000, song, 300}, u"0 bytes of 2.0 MB"_s, {}, {}, u"01 Song.m4a"_s},
        {{10'000'000, 100'000'000, song, 10'000}, u"10.0 MB of 100.0 MB"_s, u"1.0 MB/s"_s, u"about 2 min left"_s,
         u"01 Song.m4a"_s},
        // The copies are done; the rest of the run is not measured in bytes.
        {{3'000'000, 3'000'000, {}, 4'000}, u"3.0 MB of 3.0 MB"_s, {}, {}, {}},
    };
    SyncProgressView view;
    const QWidget &figures = child(view, "transferFigures");
    const auto &file = child<ElidedLabel>(view, "currentFileText");
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.transfer.bytesDone << " of " << c.transfer.bytesTotal);
        view.setTransfer(c.transfer);
        EXPECT_EQ(figures.isVisibleTo(&view), !c.bytes.isEmpty());
        if (c.bytes.isEmpty())
            continue;
        EXPECT_EQ((QStringList{child<QLabel>(view, "bytesText").text(), child<QLabel>(view, "speedText").text(),
                               child<QLabel>(view, "timeLeftText").text(), file.fullText()}),
                  (QStringList{c.bytes, c.speed, c.timeLeft, c.file}));
    }
}

TEST(ScanProgressViewTest, ShowsHowMuchOfEachFileIsReadAndTheTimeSoFar)
{
    ScanProgressView view;
    view.setProgress({1'000'000, 4'000'000}, {0, 0}, 7'900);
    EXPECT_EQ(child<QLabel>(view, "sourceScanFigures").text(), u"1.0 MB of 4.0 MB"_s);
    const auto &bar = child<QProgressBar>(view, "sourceScanBar");
    EXPECT_EQ(bar.value() * 4, bar.maximum());
    // Not opened yet: nothing to measure, and no "0 bytes of 0 bytes".
    EXPECT_EQ(child<QLabel>(view, "destinationScanFigures").text(), QString());
    EXPECT_EQ(child<QLabel>(view, "scanElapsed").text(), u"0:07"_s);
    EXPECT_EQ(ScanProgressView::elapsedText(3'725'000), u"1:02:05"_s);
}

} // namespace
