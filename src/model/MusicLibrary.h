#pragma once

#include "model/Playlist.h"
#include "model/Track.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QUrl>

#include <optional>

namespace quaverly {

/// One scanned library file. Copies are cheap: the map and the list are implicitly shared.
struct MusicLibrary
{
    /// The library file that was read, exactly as handed to the reader.
    QUrl xmlURL{};
    /// Every track read, keyed by its persistentID.
    QHash<QString, Track> tracks{};
    /// Every playlist read, in file order.
    QList<Playlist> playlists{};
    /// The "Album Artwork" item beside the library file, when it existed at scan time.
    std::optional<QUrl> artworkCacheURL{};
    /// When the scan finished.
    QDateTime scannedAt{};
    /// The folder that held the library's media on the computer that wrote the file (its
    /// "Music Folder"), when the file names a local one.
    std::optional<QUrl> musicFolderURL{};
};

} // namespace quaverly
