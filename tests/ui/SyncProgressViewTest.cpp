#include "ui/Spinner.h"
#include "ui/SymbolView.h"
#include "ui/SyncProgressView.h"
#include "UiTestSupport.h"

#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;
using Status = SyncJob::SyncStatus;

namespace {

struct ProgressCase
{
    Status status;
    qint64 completed;
    qint64 total;
    QString statusText;
    QString symbol; // empty: the activity indicator
    Theme::Tint tint;
    QString countText;
    QString percentText;
    double barFraction;
};

class SyncProgressViewTest : public ::testing::Test
{
protected:
    void show(Status status, qint64 completed, qint64 total)
    {
        SyncJob job;
        job.status = status;
        job.completedItemCount = completed;
        job.totalItemCount = total;
        view.setJob(job);
    }

    SyncProgressView view;
};

TEST_F(SyncProgressViewTest, ShowsTextSymbolCountsAndPercentagePerStatus)
{
    const auto green = Theme::Tint::green, red = Theme::Tint::red, orange = Theme::Tint::orange,
               none = Theme::Tint::primary;
    const ProgressCase cases[] = {
        {Status::pending, 0, 0, u"Waiting to start\u2026"_s, {}, none, u"0 of 0 items"_s, u"0%"_s, 0.0},
        {Status::scanning, 3, 10, u"Scanning libraries\u2026"_s, {}, none, u"3 of 10 items"_s, u"30%"_s, 0.3},
        {Status::transferring, 1, 3, u"Transferring files\u2026"_s, {}, none, u"1 of 3 items"_s, u"33%"_s, 1.0 / 3},
        {Status::transferring, 2, 3, u"Transferring files\u2026"_s, {}, none, u"2 of 3 items"_s, u"66%"_s, 2.0 / 3},
        // Integer arithmetic: floating point would take one off this exact value.
        {Status::transferring, 29, 100, u"Transferring files\u2026"_s, {}, none, u"29 of 100 items"_s, u"29%"_s, 0.29},
        {Status::completed, 7, 7, u"Sync complete"_s, u"checkmark.circle.fill"_s, green, u"7 of 7 items"_s, u"100%"_s, 1.0},
        // Playlists are counted in the total but never as done.
        {Status::completed, 12, 14, u"Sync complete"_s, u"checkmark.circle.fill"_s, green, u"12 of 14 items"_s, u"85%"_s, 12.0 / 14},
        {Status::failed, 5, 12, u"Sync failed"_s, u"xmark.circle.fill"_s, red, u"5 of 12 items"_s, u"41%"_s, 5.0 / 12},
        {Status::cancelled, 0, 4, u"Sync cancelled"_s, u"stop.circle.fill"_s, orange, u"0 of 4 items"_s, u"0%"_s, 0.0},
        {Status::completed, 0, 0, u"Sync complete"_s, u"checkmark.circle.fill"_s, green, u"0 of 0 items"_s, u"0%"_s, 0.0},
        // More done than planned: the bar shows full rather than keeping its previous value.
        {Status::transferring, 5, 4, u"Transferring files\u2026"_s, {}, none, u"5 of 4 items"_s, u"125%"_s, 1.0},
    };
    auto *statusText = child<QLabel>(&view, "statusText");
    auto *symbol = child<SymbolView>(&view, "statusSymbol");
    auto *spinner = child<Spinner>(&view, "statusSpinner");
    auto *bar = child<QProgressBar>(&view, "progressBar");
    auto *countText = child<QLabel>(&view, "countText");
    auto *percentText = child<QLabel>(&view, "percentText");
    ASSERT_TRUE(statusText && symbol && spinner && bar && countText && percentText);

    for (const ProgressCase &c : cases) {
        SCOPED_TRACE(c.countText.toStdString() + " " + c.statusText.toStdString());
        show(c.status, c.completed, c.total);
        EXPECT_EQ(statusText->text(), c.statusText);
        EXPECT_EQ(countText->text(), c.countText);
        EXPECT_EQ(percentText->text(), c.percentText);
        EXPECT_NEAR(double(bar->value() - bar->minimum()) / (bar->maximum() - bar->minimum()), c.barFraction, 1e-3);
        const bool busy = c.symbol.isEmpty();
        EXPECT_EQ(spinner->isVisibleTo(&view), busy);
        EXPECT_EQ(symbol->isVisibleTo(&view), !busy);
        if (!busy) {
            EXPECT_EQ(symbol->symbolName(), c.symbol);
            EXPECT_EQ(symbol->tint(), c.tint);
        }
    }
}

TEST_F(SyncProgressViewTest, PrintsCountsAsPlainDigitsWhateverTheLocale)
{
    const GroupingLocale locale;
    show(Status::transferring, 123456, 2000000);
    auto *countText = child<QLabel>(&view, "countText");
    ASSERT_NE(countText, nullptr);
    EXPECT_EQ(countText->text(), u"123456 of 2000000 items"_s);
}

TEST_F(SyncProgressViewTest, DrawsTheCountLineSecondaryWithAMonospacedPercentage)
{
    auto *countText = child<QLabel>(&view, "countText");
    auto *percentText = child<QLabel>(&view, "percentText");
    auto *statusText = child<QLabel>(&view, "statusText");
    ASSERT_TRUE(countText && percentText && statusText);
    EXPECT_EQ(countText->foregroundRole(), Theme::textRole(Theme::Tint::secondary));
    EXPECT_EQ(percentText->foregroundRole(), Theme::textRole(Theme::Tint::secondary));
    EXPECT_TRUE(QFontInfo(percentText->font()).fixedPitch());
    EXPECT_EQ(statusText->foregroundRole(), QPalette::WindowText);
}

TEST(SyncProgressPercentTest, TruncatesInIntegersAndGuardsAnEmptyTotal)
{
    EXPECT_EQ(SyncProgressView::percentDone(29, 100), 29);
    EXPECT_EQ(SyncProgressView::percentDone(999, 1000), 99);
    EXPECT_EQ(SyncProgressView::percentDone(3, 0), 0);
    EXPECT_EQ(SyncProgressView::percentDone(3, -1), 0);
    EXPECT_EQ(SyncProgressView::percentDone(199999, 200000), 99);
}

} // namespace
