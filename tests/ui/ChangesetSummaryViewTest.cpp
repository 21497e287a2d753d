#include "engine/SyncJob.h"
#include "ui/ChangesetSummaryView.h"
#include "ui/SymbolView.h"
#include "UiTestSupport.h"

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

TEST(ChangesetSummaryViewTest, ShowsPlainCountsActiveFromOneAndTheNoteOnlyWithoutChangesAndOpensEachList)
{
    using List = PlanListModel::List;
    const std::pair<const char *, List> cards[] = {{"addCard", List::tracksToAdd},
                                                   {"removeCard", List::tracksToRemove},
                                                   {"updateCard", List::metadataUpdates},
                                                   {"playlistCard", List::playlists}};
    ChangesetSummaryView view;
    std::vector<List> requested;
    QObject::connect(&view, &ChangesetSummaryView::listRequested, [&](List list) { requested.push_back(list); });
    // A click, and Enter or Space from the keyboard; a press that is released elsewhere is no click.
    for (const auto &[name, list] : cards) {
        SCOPED_TRACE(name);
        QWidget &widget = child(view, name);
        requested.clear();
        QTest::mouseClick(&widget, Qt::LeftButton);
        QTest::keyClick(&widget, Qt::Key_Space);
        QTest::keyClick(&widget, Qt::Key_Return);
        QTest::mousePress(&widget, Qt::LeftButton);
        QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(-5, -5));
        EXPECT_EQ(requested, std::vector<List>(3, list));
    }
    // In this order the last case also brings the note back after a job with changes.
    using Counts = std::array<qsizetype, 4>;
    for (const Counts &counts : {Counts{2500, 0, 3, 1000}, Counts{}}) {
        SCOPED_TRACE(testing::Message() << counts[0] << ' ' << counts[1] << ' ' << counts[2] << ' ' << counts[3]);
        SyncJob job;
        job.tracksToAdd.resize(counts[0]);
        job.tracksToRemove.resize(counts[1]);
        job.tracksToUpdate.resize(counts[2]);
        job.playlistsToSync.resize(counts[3]);
        view.setJob(job);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(cards[i].first);
            const QWidget &card = child(view, cards[i].first);
            // Plain digits although the tests' default locale groups thousands.
            EXPECT_EQ(child<QLabel>(card, "cardCount").text(), QString::number(counts[i]));
            EXPECT_TRUE(card.accessibleName().endsWith(u": "_s + QString::number(counts[i]))) << "heard with its count";
            EXPECT_EQ(child<SymbolView>(card, "cardSymbol").tint() == Theme::Tint::secondary, counts[i] == 0);
        }
        EXPECT_EQ(child<QLabel>(view, "noChangesNote").isVisibleTo(&view), counts == Counts{});
    }
}

} // namespace
