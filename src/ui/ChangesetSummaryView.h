#pragma once

#include "ui/PlanListModel.h"

#include <QWidget>

#include <array>

class QLabel;

namespace quaverly {

struct SyncJob;
class SummaryCard;

/// What a planned job would change: four cards (tracks to add, tracks to remove, metadata
/// updates, playlists) with their counts, and a note when there is nothing to do. Shows the
/// job given last and nothing else. Activating a card asks for its list.
class ChangesetSummaryView : public QWidget
{
    Q_OBJECT

public:
    explicit ChangesetSummaryView(QWidget *parent = nullptr);

    void setJob(const SyncJob &job);

Q_SIGNALS:
    /// The user activated the card of `list`.
    void listRequested(PlanListModel::List list);

private:
    std::array<SummaryCard *, 4> m_cards;
    QLabel *m_noChangesNote;
};

} // namespace quaverly
