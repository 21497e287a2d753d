#include "ui/ChangesetSummaryView.h"
#include "ui/SymbolView.h"
#include "UiTestSupport.h"

#include <QLabel>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

struct ExpectedCard
{
    const char *name;
    QString title;
    QString symbol;
    Theme::Tint accent;
};

const ExpectedCard expectedCards[] = {
    {"addCard", u"Tracks to Add"_s, u"plus.circle.fill"_s, Theme::Tint::green},
    {"removeCard", u"Tracks to Remove"_s, u"minus.circle.fill"_s, Theme::Tint::red},
    {"updateCard", u"Metadata Updates"_s, u"arrow.triangle.2.circlepath.circle.fill"_s, Theme::Tint::blue},
    {"playlistCard", u"Playlists"_s, u"music.note.list"_s, Theme::Tint::orange},
};

class ChangesetSummaryViewTest : public ::testing::Test
{
protected:
    /// Checks each card's count text and whether it is drawn active.
    void expectCards(const std::array<QString, 4> &counts, const std::array<bool, 4> &active)
    {
        for (int i = 0; i < 4; ++i) {
            const ExpectedCard &expected = expectedCards[i];
            SCOPED_TRACE(expected.name);
            auto *card = child<QWidget>(&view, expected.name);
            ASSERT_NE(card, nullptr);
            auto *title = child<QLabel>(card, "cardTitle");
            auto *count = child<QLabel>(card, "cardCount");
            auto *symbol = child<SymbolView>(card, "cardSymbol");
            ASSERT_TRUE(title && count && symbol);
            EXPECT_EQ(title->text(), expected.title);
            EXPECT_EQ(symbol->symbolName(), expected.symbol);
            EXPECT_EQ(count->text(), counts[i]);
            EXPECT_EQ(symbol->tint(), active[i] ? expected.accent : Theme::Tint::secondary);
            EXPECT_EQ(count->foregroundRole(),
                      Theme::textRole(active[i] ? Theme::Tint::primary : Theme::Tint::secondary));
        }
    }

    [[nodiscard]] bool noteShown() const
    {
        auto *note = view.findChild<QLabel *>(u"noChangesNote"_s);
        return note && note->isVisibleTo(&view) && note->text() == u"Libraries are already in sync."_s;
    }

    ChangesetSummaryView view;
};

TEST_F(ChangesetSummaryViewTest, ShowsFourInactiveCardsAndTheNoteWithoutChanges)
{
    view.setJob(jobWithCounts(0, 0, 0, 0));
    expectCards({u"0"_s, u"0"_s, u"0"_s, u"0"_s}, {false, false, false, false});
    EXPECT_TRUE(noteShown());
}

TEST_F(ChangesetSummaryViewTest, ActivatesExactlyTheCardsWithCountsFromOne)
{
    struct Case
    {
        const char *what;
        SyncJob job;
        std::array<QString, 4> counts;
        std::array<bool, 4> active;
    };
    const Case cases[] = {
        {"only playlists", jobWithCounts(0, 0, 0, 3), {u"0"_s, u"0"_s, u"0"_s, u"3"_s}, {false, false, false, true}},
        {"one update", jobWithCounts(0, 0, 1, 0), {u"0"_s, u"0"_s, u"1"_s, u"0"_s}, {false, false, true, false}},
        {"all four", jobWithCounts(1, 2, 3, 4), {u"1"_s, u"2"_s, u"3"_s, u"4"_s}, {true, true, true, true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        view.setJob(c.job);
        expectCards(c.counts, c.active);
        EXPECT_FALSE(noteShown());
    }
}

TEST_F(ChangesetSummaryViewTest, BringsTheNoteBackWhenANewJobHasNoChanges)
{
    view.setJob(jobWithCounts(2, 0, 0, 0));
    ASSERT_FALSE(noteShown());
    view.setJob(jobWithCounts(0, 0, 0, 0));
    EXPECT_TRUE(noteShown());
    expectCards({u"0"_s, u"0"_s, u"0"_s, u"0"_s}, {false, false, false, false});
}

TEST_F(ChangesetSummaryViewTest, PrintsThousandsAsPlainDigits)
{
    const GroupingLocale locale;
    view.setJob(jobWithCounts(2500, 0, 0, 1000));
    expectCards({u"2500"_s, u"0"_s, u"0"_s, u"1000"_s}, {true, false, false, true});
}

} // namespace
