#pragma once

#include "model/Playlist.h"
#include "platform/PropertyList.h"
#include "scanner/TrackExtraction.h"

#include <QList>

#include <optional>

namespace quaverly {

/// Turns the playlist list of a parsed library file into Playlist records, in file order,
/// translating members through the track-ID map. Lenient: nothing here ever fails.
class PlaylistExtraction
{
public:
    /// Prepares the key lookups for `document`, which must outlive this object.
    explicit PlaylistExtraction(const PropertyList &document);

    /// Every readable playlist of the root's "Playlists" list. The list is taken whole or not
    /// at all: one element that is not a dictionary leaves no playlists.
    [[nodiscard]] QList<Playlist> parsePlaylists(PropertyList::Value root,
                                                 const TrackIDMap &trackIDMap) const;

    /// One playlist entry; nothing when it lacks a text "Playlist Persistent ID" or "Name".
    [[nodiscard]] std::optional<Playlist> parsePlaylist(PropertyList::Value entry,
                                                        const TrackIDMap &trackIDMap) const;

    /// folder ("Folder" true), smart ("Smart Info" present), genius ("Genius Track ID"
    /// present) or standard, tested in that order.
    [[nodiscard]] Playlist::PlaylistKind playlistKind(PropertyList::Value entry) const;

private:
    [[nodiscard]] std::optional<PropertyList::Value> lookup(PropertyList::Value entry,
                                                           std::optional<PropertyList::KeyId> key) const;
    [[nodiscard]] QList<QString> memberIDs(PropertyList::Value entry,
                                           const TrackIDMap &trackIDMap) const;

    std::optional<PropertyList::KeyId> m_persistentID;
    std::optional<PropertyList::KeyId> m_name;
    std::optional<PropertyList::KeyId> m_folder;
    std::optional<PropertyList::KeyId> m_smartInfo;
    std::optional<PropertyList::KeyId> m_geniusTrackID;
    std::optional<PropertyList::KeyId> m_items;
    std::optional<PropertyList::KeyId> m_trackID;
    std::optional<PropertyList::KeyId> m_parentID;
    std::optional<PropertyList::KeyId> m_dateModified;
};

} // namespace quaverly
