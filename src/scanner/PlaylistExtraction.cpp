#include "scanner/PlaylistExtraction.h"

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

// Both lists are taken whole or not at all: any element that is not a dictionary voids them.
bool isListOfDictionaries(const std::optional<PropertyList::Value> &value)
{
    if (!value || !value->isArray())
        return false;
    for (std::size_t i = 0; i < value->size(); ++i) {
        if (!value->at(i).isDictionary())
            return false;
    }
    return true;
}

} // namespace

PlaylistExtraction::PlaylistExtraction(const PropertyList &document)
    : m_persistentID(document.keyId(u"Playlist Persistent ID"))
    , m_name(document.keyId(u"Name"))
    , m_folder(document.keyId(u"Folder"))
    , m_smartInfo(document.keyId(u"Smart Info"))
    , m_geniusTrackID(document.keyId(u"Genius Track ID"))
    , m_items(document.keyId(u"Playlist Items"))
    , m_trackID(document.keyId(u"Track ID"))
    , m_parentID(document.keyId(u"Parent Persistent ID"))
    , m_dateModified(document.keyId(u"Date Modified"))
{
}

QList<Playlist> PlaylistExtraction::parsePlaylists(PropertyList::Value root,
                                                   const TrackIDMap &trackIDMap) const
{
    const auto list = root.value(u"Playlists"_s);
    if (!isListOfDictionaries(list))
        return {};
    QList<Playlist> playlists;
    playlists.reserve(qsizetype(list->size()));
    for (std::size_t i = 0; i < list->size(); ++i) {
        if (auto playlist = parsePlaylist(list->at(i), trackIDMap))
            playlists.append(std::move(*playlist));
    }
    return playlists;
}

std::optional<Playlist> PlaylistExtraction::parsePlaylist(PropertyList::Value entry,
                                                          const TrackIDMap &trackIDMap) const
{
    if (!entry.isDictionary())
        return std::nullopt;
    const auto text = [&](std::optional<PropertyList::KeyId> key) -> std::optional<QString> {
        const auto value = lookup(entry, key);
        return value ? value->toString() : std::nullopt;
    };
    auto persistentID = text(m_persistentID);
    if (!persistentID)
        return std::nullopt;
    auto name = text(m_name);
    if (!name)
        return std::nullopt;

    Playlist playlist;
    playlist.persistentID = std::move(*persistentID);
    playlist.name = std::move(*name);
    playlist.kind = playlistKind(entry);
    playlist.trackIDs = memberIDs(entry, trackIDMap);
    playlist.parentID = text(m_parentID);
    if (const auto date = lookup(entry, m_dateModified))
        playlist.dateModified = date->toDate();
    return playlist;
}

Playlist::PlaylistKind PlaylistExtraction::playlistKind(PropertyList::Value entry) const
{
    if (const auto folder = lookup(entry, m_folder); folder && folder->toBoolean() == true)
        return Playlist::PlaylistKind::folder;
    if (lookup(entry, m_smartInfo))
        return Playlist::PlaylistKind::smart;
    if (lookup(entry, m_geniusTrackID))
        return Playlist::PlaylistKind::genius;
    return Playlist::PlaylistKind::standard;
}

std::optional<PropertyList::Value> PlaylistExtraction::lookup(
    PropertyList::Value entry, std::optional<PropertyList::KeyId> key) const
{
    if (!key)
        return std::nullopt;
    return entry.value(*key);
}

QList<QString> PlaylistExtraction::memberIDs(PropertyList::Value entry,
                                             const TrackIDMap &trackIDMap) const
{
    const auto items = lookup(entry, m_items);
    if (!isListOfDictionaries(items))
        return {};
    QList<QString> ids;
    ids.reserve(qsizetype(items->size()));
    for (std::size_t i = 0; i < items->size(); ++i) {
        const auto trackID = lookup(items->at(i), m_trackID);
        const auto number = trackID ? trackID->toInteger() : std::nullopt;
        if (!number)
            continue;
        if (const auto found = trackIDMap.constFind(*number); found != trackIDMap.cend())
            ids.append(*found);
    }
    return ids;
}

} // namespace quaverly
