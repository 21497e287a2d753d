#include "engine/SyncJob.h"
#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "ui/SyncProgressView.h"
#include "UiTestSupport.h"

#include <QFontInfo>
#include <QProgressBar>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Status = SyncJob::SyncStatus;

namespace {

TEST(SyncProgressViewTest, ShowsTextSymbolCountsAndTruncatedPercentagePerStatus)
{
    struct Case
    {
        Status status;
        qint64 completed, total;
        QString statusText, symbol, percentText; // no symbol: the activity indicator
        Theme::Tint tint;
        double barFraction;
    };
    const auto none = Theme::Tint::primary, green = Theme::Tint::green;
    const QString moving = u"Transferring files\u2026"_s, done = u"Sync complete"_s, check = u"checkmark.circle.fill"_s;
    const Case cases[] = {
        {Status::pending, 0, 0, u"Waiting to start\u2026"_s, {}, u"0%"_s, none, 0.0},
        {Status::scanning, 3, 10, u"Scanning libraries\u2026"_s, {}, u"30%"_s, none, 0.3},
        {Status::transferring, 1, 3, moving, {}, u"33%"_s, none, 1.0 / 3},
        {Status::transferring, 2, 3, moving, {}, u"66%"_s, none, 2.0 / 3},
        // Integer arithmetic: floating point would take one off this exact value.
        {Status::transferring, 29, 100, moving, {}, u"29%"_s, none, 0.29},
        // More done than planned: the bar shows full rather than keeping its previous value.
        {Status::transferring, 5, 4, moving, {}, u"125%"_s, none, 1.0},
        {Status::transferring, 199999, 200000, moving, {}, u"99%"_s, none, 1.0},
        {Status::completed, 7, 7, done, check, u"100%"_s, green, 1.0},
        {Status::failed, 5, 12, u"Sync failed"_s, u"xmark.circle.fill"_s, u"41%"_s, Theme::Tint::red, 5.0 / 12},
        {Status::cancelled, 0, 4, u"Sync cancelled"_s, u"stop.circle.fill"_s, u"0%"_s, Theme::Tint::orange, 0.0},
    };
    SyncProgressView view;
    const auto &symbol = child<SymbolView>(view, "statusSymbol");
    const auto &bar = child<QProgressBar>(view, "progressBar");
    const auto &percentText = child<QLabel>(view, "percentText");
    EXPECT_TRUE(QFontInfo(percentText.font()).fixedPitch());
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.completed << " of " << c.total << ", status " << int(c.status));
        SyncJob job;
        job.status = c.status;
        job.completedItemCount = c.completed;
        job.totalItemCount = c.total;
        view.setJob(job);
        EXPECT_EQ(child<QLabel>(view, "statusText").text(), c.statusText);
        // Plain digits although the tests' default locale groups thousands.
        EXPECT_EQ(child<QLabel>(view, "countText").text(), u"%1 of %2 items"_s.arg(c.completed).arg(c.total));
        EXPECT_EQ(percentText.text(), c.percentText);
        EXPECT_NEAR(double(bar.value() - bar.minimum()) / (bar.maximum() - bar.minimum()), c.barFraction, 1e-3);
        EXPECT_EQ(child<Spinner>(view, "statusSpinner").isVisibleTo(&view), c.symbol.isEmpty());
        EXPECT_EQ(symbol.isVisibleTo(&view), !c.symbol.isEmpty());
        if (!c.symbol.isEmpty()) {
            EXPECT_EQ(symbol.symbolName(), c.symbol);
            EXPECT_EQ(symbol.tint(), c.tint);
        }
    }
}

} // namespace
