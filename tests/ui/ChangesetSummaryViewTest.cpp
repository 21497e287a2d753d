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
    const struct { const char *name; QString title, symbol; Theme::Tint accent; QString action; List list; } cards[] = {
        {"addCard", u"Tracks to Add"_s, u"plus.circle.fill"_s, Theme::Tint::green, u"Show the tracks to add"_s,
         List::tracksToAdd},
        {"removeCard", u"Tracks to Remove"_s, u"minus.circle.fill"_s, Theme::Tint::red, u"Show the tracks to remove"_s,
         List::tracksToRemove},
        {"updateCard", u"Metadata Updates"_s, u"arrow.triangle.2.circlepath.circle.fill"_s, Theme::Tint::blue,
         u"Show the metadata updates"_s, List::metadataUpdates},
        {"playlistCard", u"Playlists"_s, u"music.note.list"_s, Theme::Tint::orange, u"Show the playlists"_s,
         List::playlists},
    };
    // In this order the last case also brings the note back after a job with changes.
    using Counts = std::array<qsizetype, 4>;
    const Counts cases[] = {{0, 0, 0, 0}, {0, 0, 0, 3}, {0, 0, 1, 0}, {2500, 2, 3, 1000}, {0, 0, 0, 0}};
    ChangesetSummaryView view;
    std::vector<List> requested;
    QObject::connect(&view, &ChangesetSummaryView::listRequested, [&](List list) { requested.push_back(list); });
    // A click, and Enter or Space from the keyboard; a press that is released elsewhere is no click.
    for (const auto &card : cards) {
        SCOPED_TRACE(card.name);
        QWidget &widget = child(view, card.name);
        requested.clear();
        QTest::mouseClick(&widget, Qt::LeftButton);
        QTest::keyClick(&widget, Qt::Key_Space);
        QTest::keyClick(&widget, Qt::Key_Return);
        QTest::mousePress(&widget, Qt::LeftButton);
        QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(-5, -5));
        EXPECT_EQ(requested, std::vector<List>(3, card.list));
        EXPECT_EQ(widget.accessibleDescription(), card.action);
        EXPECT_TRUE(widget.focusPolicy() & Qt::TabFocus);
    }
    for (const Counts &counts : cases) {
        SCOPED_TRACE(testing::Message() << counts[0] << ' ' << counts[1] << ' ' << counts[2] << ' ' << counts[3]);
        SyncJob job;
        job.tracksToAdd.resize(counts[0]);
        job.tracksToRemove.resize(counts[1]);
        job.tracksToUpdate.resize(counts[2]);
        job.playlistsToSync.resize(counts[3]);
        view.setJob(job);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(cards[i].name);
            const QWidget &card = child(view, cards[i].name);
            const auto &count = child<QLabel>(card, "cardCount");
            const auto &symbol = child<SymbolView>(card, "cardSymbol");
            const bool active = counts[i] > 0;
            EXPECT_EQ(child<QLabel>(card, "cardTitle").text(), cards[i].title);
            EXPECT_EQ(symbol.symbolName(), cards[i].symbol);
            EXPECT_EQ(symbol.tint(), active ? cards[i].accent : Theme::Tint::secondary);
            // Plain digits although the tests' default locale groups thousands.
            EXPECT_EQ(count.text(), QString::number(counts[i]));
            EXPECT_EQ(card.accessibleName(), cards[i].title + u": "_s + QString::number(counts[i]));
            EXPECT_EQ(count.foregroundRole(), Theme::textRole(active ? Theme::Tint::primary : Theme::Tint::secondary));
        }
        const auto &note = child<QLabel>(view, "noChangesNote");
        EXPECT_EQ(note.isVisibleTo(&view) && note.text() == u"Libraries are already in sync."_s, counts == Counts{});
    }
}

} // namespace
