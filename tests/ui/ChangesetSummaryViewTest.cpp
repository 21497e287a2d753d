#include "engine/SyncJob.h"
#include "ui/ChangesetSummaryView.h"
#include "ui/SymbolView.h"
#include "UiTestSupport.h"

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

TEST(ChangesetSummaryViewTest, ShowsPlainCountsActiveFromOneAndTheNoteOnlyWithoutChanges)
{
    const struct { const char *name; QString title, symbol; Theme::Tint accent; } cards[] = {
        {"addCard", u"Tracks to Add"_s, u"plus.circle.fill"_s, Theme::Tint::green},
        {"removeCard", u"Tracks to Remove"_s, u"minus.circle.fill"_s, Theme::Tint::red},
        {"updateCard", u"Metadata Updates"_s, u"arrow.triangle.2.circlepath.circle.fill"_s, Theme::Tint::blue},
        {"playlistCard", u"Playlists"_s, u"music.note.list"_s, Theme::Tint::orange},
    };
    // In this order the last case also brings the note back after a job with changes.
    using Counts = std::array<qsizetype, 4>;
    const Counts cases[] = {{0, 0, 0, 0}, {0, 0, 0, 3}, {0, 0, 1, 0}, {2500, 2, 3, 1000}, {0, 0, 0, 0}};
    ChangesetSummaryView view;
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
            EXPECT_EQ(count.foregroundRole(), Theme::textRole(active ? Theme::Tint::primary : Theme::Tint::secondary));
        }
        const auto &note = child<QLabel>(view, "noChangesNote");
        EXPECT_EQ(note.isVisibleTo(&view) && note.text() == u"Libraries are already in sync."_s, counts == Counts{});
    }
}

} // namespace
