#pragma once

#include "engine/SyncPlan.h"

#include <QAbstractTableModel>

namespace quaverly {

/// One of a plan's four lists as a table: tracks to add (Title, Artist, Album, File: where the
/// file lands, or why it is skipped), tracks to remove (the same, File: the file that goes, or
/// why it is kept), metadata updates (Title, Artist, Album) and playlists (Name, Tracks).
///
///     PlanListModel model(plan, PlanListModel::List::tracksToAdd);
///     model.data(model.index(0, 3)); // "/Music/Media/A/B/01 Song.m4a"
///
/// It holds the plan's implicitly shared lists and makes every cell's text when asked for it,
/// so a list of 100,000 tracks costs nothing up front. Read-only.
class PlanListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class List { tracksToAdd, tracksToRemove, metadataUpdates, playlists };

    PlanListModel(const SyncPlan &plan, List list, QObject *parent = nullptr);

    [[nodiscard]] List list() const { return m_list; }

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    /// Display text (the track count of a playlist as a number, so it sorts as one), and the
    /// same text as a tooltip for the File column, whose paths rarely fit.
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;

    /// The text a cell shows; for sorting and filtering a list of 100,000 rows without going
    /// through a QVariant for every cell. `row` and `column` must be valid.
    [[nodiscard]] QString text(int row, int column) const;

private:
    [[nodiscard]] QString fileText(int row) const;

    List m_list;
    QList<Track> m_tracks;
    QList<SyncPlan::Copy> m_copies;
    QList<SyncPlan::Removal> m_removals;
    QList<Playlist> m_playlists;
};

} // namespace quaverly
