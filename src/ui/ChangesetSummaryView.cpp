#include "ui/ChangesetSummaryView.h"

#include "engine/SyncJob.h"
#include "ui/SummaryCard.h"
#include "ui/Theme.h"

#include <QBoxLayout>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace quaverly {

ChangesetSummaryView::ChangesetSummaryView(QWidget *parent)
    : QWidget(parent)
    , m_cards{new SummaryCard(u"plus.circle.fill"_s, Theme::Tint::green, u"Tracks to Add"_s,
                              u"Show the tracks to add"_s),
              new SummaryCard(u"minus.circle.fill"_s, Theme::Tint::red, u"Tracks to Remove"_s,
                              u"Show the tracks to remove"_s),
              new SummaryCard(u"arrow.triangle.2.circlepath.circle.fill"_s, Theme::Tint::blue, u"Metadata Updates"_s,
                              u"Show the metadata updates"_s),
              new SummaryCard(u"music.note.list"_s, Theme::Tint::orange, u"Playlists"_s, u"Show the playlists"_s)}
    , m_noChangesNote(new QLabel(u"Libraries are already in sync."_s))
{
    m_cards[0]->setObjectName(u"addCard"_s);
    m_cards[1]->setObjectName(u"removeCard"_s);
    m_cards[2]->setObjectName(u"updateCard"_s);
    m_cards[3]->setObjectName(u"playlistCard"_s);

    auto *heading = new QLabel(u"Changes Detected"_s);
    heading->setObjectName(u"summaryHeading"_s);
    Theme::styleText(heading, Theme::TextStyle::headline);
    m_noChangesNote->setObjectName(u"noChangesNote"_s);
    Theme::styleText(m_noChangesNote, Theme::TextStyle::subheadline, Theme::Tint::secondary);

    auto *cardRow = new QHBoxLayout;
    cardRow->setSpacing(12);
    using List = PlanListModel::List;
    const List lists[] = {List::tracksToAdd, List::tracksToRemove, List::metadataUpdates, List::playlists};
    for (int i = 0; i < 4; ++i) {
        cardRow->addWidget(m_cards[i], 1);
        connect(m_cards[i], &SummaryCard::activated, this, [this, list = lists[i]] { Q_EMIT listRequested(list); });
    }

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(heading);
    column->addLayout(cardRow);
    column->addWidget(m_noChangesNote);
}

void ChangesetSummaryView::setJob(const SyncJob &job)
{
    m_cards[0]->setCount(job.tracksToAdd.size());
    m_cards[1]->setCount(job.tracksToRemove.size());
    m_cards[2]->setCount(job.tracksToUpdate.size());
    m_cards[3]->setCount(job.playlistsToSync.size());
    m_noChangesNote->setVisible(!job.hasChanges());
}

} // namespace quaverly
