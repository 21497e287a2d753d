#include "ui/PlanListModel.h"

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

enum Column { title, artist, album, file };

// A file the plan found no path for is shown as the library records it.
QString recordedLocation(const Track &track)
{
    return track.location ? track.location->toString(QUrl::PreferLocalFile) : QString();
}

QString withReason(const QString &path, const QString &reason)
{
    if (reason.isEmpty())
        return path;
    return path.isEmpty() ? reason : u"%1 (%2)"_s.arg(path, reason);
}

} // namespace

PlanListModel::PlanListModel(const SyncPlan &plan, List list, QObject *parent)
    : QAbstractTableModel(parent)
    , m_list(list)
{
    switch (list) {
    case List::tracksToAdd:
        m_tracks = plan.job.tracksToAdd;
        m_copies = plan.copies;
        break;
    case List::tracksToRemove:
        m_tracks = plan.job.tracksToRemove;
        m_removals = plan.removals;
        break;
    case List::metadataUpdates:
        m_tracks = plan.job.tracksToUpdate;
        break;
    case List::playlists:
        m_playlists = plan.job.playlistsToSync;
        break;
    }
}

int PlanListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_list == List::playlists ? m_playlists.size() : m_tracks.size());
}

int PlanListModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    switch (m_list) {
    case List::tracksToAdd:
    case List::tracksToRemove:
        return 4;
    case List::metadataUpdates:
        return 3;
    case List::playlists:
        return 2;
    }
    return 0;
}

QVariant PlanListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (m_list == List::playlists)
        return section == 0 ? u"Name"_s : u"Tracks"_s;
    switch (section) {
    case title:
        return u"Title"_s;
    case artist:
        return u"Artist"_s;
    case album:
        return u"Album"_s;
    case file:
        return u"File"_s;
    }
    return {};
}

QVariant PlanListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    if (m_list == List::playlists) {
        const Playlist &playlist = m_playlists.at(row);
        if (role == Qt::DisplayRole)
            return index.column() == 0 ? QVariant(playlist.name) : QVariant(qlonglong(playlist.trackIDs.size()));
        if (role == Qt::TextAlignmentRole && index.column() == 1)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    }
    if (role == Qt::ToolTipRole && index.column() == file)
        return fileText(row);
    if (role != Qt::DisplayRole)
        return {};
    return text(row, index.column());
}

QString PlanListModel::text(int row, int column) const
{
    if (m_list == List::playlists) {
        const Playlist &playlist = m_playlists.at(row);
        return column == 0 ? playlist.name : QString::number(playlist.trackIDs.size());
    }
    const Track &track = m_tracks.at(row);
    switch (column) {
    case title:
        return track.title;
    case artist:
        return track.artist;
    case album:
        return track.album;
    case file:
        return fileText(row);
    }
    return {};
}

QString PlanListModel::fileText(int row) const
{
    if (m_list == List::tracksToAdd && row < m_copies.size()) {
        const SyncPlan::Copy &copy = m_copies.at(row);
        if (copy.kind == SyncPlan::Copy::Kind::copy && !copy.target.isEmpty()) {
            if (copy.renamedFrom.isEmpty())
                return copy.target;
            // A renamed copy stays in the folder it was meant for; the old name is all that differs.
            return u"%1 (renamed from %2)"_s.arg(copy.target,
                                                 copy.renamedFrom.mid(copy.renamedFrom.lastIndexOf(u'/') + 1));
        }
        return withReason(copy.source.isEmpty() ? recordedLocation(m_tracks.at(row)) : copy.source,
                          SyncPlan::reason(copy.kind));
    }
    if (m_list == List::tracksToRemove && row < m_removals.size()) {
        const SyncPlan::Removal &removal = m_removals.at(row);
        return withReason(removal.path.isEmpty() ? recordedLocation(m_tracks.at(row)) : removal.path,
                          SyncPlan::reason(removal.kind));
    }
    return {};
}

} // namespace quaverly
