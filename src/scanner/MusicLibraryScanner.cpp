#include "scanner/MusicLibraryScanner.h"

#include "platform/FileSystem.h"
#include "platform/LocalFile.h"
#include "platform/PropertyList.h"
#include "scanner/PlaylistExtraction.h"
#include "scanner/TrackExtraction.h"

using namespace Qt::StringLiterals;

namespace quaverly {

MusicLibraryScanner::ScanError::ScanError(Kind kind, QString description)
    : Error(std::move(description))
    , m_kind(kind)
{
}

MusicLibraryScanner::ScanError MusicLibraryScanner::ScanError::invalidFormat(const QString &message)
{
    return ScanError(Kind::invalidFormat, u"Library XML has an unexpected format: "_s + message);
}

MusicLibraryScanner::ScanError MusicLibraryScanner::ScanError::fileNotFound(const QUrl &url)
{
    return ScanError(Kind::fileNotFound,
                     u"Library file not found at: "_s + localFilePath(url).value_or(url.path()));
}

QFuture<MusicLibrary> MusicLibraryScanner::scanLibrary(const QUrl &url)
{
    return m_executor.run([url] { return scanLibrarySync(url); });
}

MusicLibrary MusicLibraryScanner::scanLibrarySync(const QUrl &url)
{
    const auto path = localFilePath(url);
    if (!path) {
        throw FileSystemError::failed(u"read \"%1\""_s.arg(url.toDisplayString()), 0,
                                      u"It is not a file on this computer"_s);
    }

    // The bytes are dropped as soon as the tree is built: they are the largest
    // allocation of a scan and nothing after parsing needs them.
    const PropertyList document = [&] {
        const QByteArray bytes = FileSystem::readWholeFile(*path);
        return PropertyList::parse(bytes);
    }();
    const PropertyList::Value root = document.root();
    if (!root.isDictionary())
        throw ScanError::invalidFormat(u"Root object is not a dictionary"_s);

    TrackExtraction::Result tracks = TrackExtraction(document).parseTracks(root);
    QList<Playlist> playlists = PlaylistExtraction(document).parsePlaylists(root, tracks.trackIDMap);

    MusicLibrary library;
    library.xmlURL = url;
    library.tracks = std::move(tracks.tracks);
    library.playlists = std::move(playlists);
    library.artworkCacheURL = artworkCacheURL(url);
    library.musicFolderURL = musicFolderURL(root);
    library.scannedAt = QDateTime::currentDateTimeUtc();
    return library;
}

std::optional<QUrl> MusicLibraryScanner::musicFolderURL(const PropertyList::Value &root)
{
    const std::optional<PropertyList::Value> value = root.value(u"Music Folder"_s);
    const std::optional<QString> text = value ? value->toString() : std::nullopt;
    if (!text)
        return std::nullopt;
    QUrl url(*text, QUrl::StrictMode);
    if (!url.isValid() || !localFilePath(url))
        return std::nullopt;
    return url;
}

std::optional<QUrl> MusicLibraryScanner::artworkCacheURL(const QUrl &url)
{
    const QUrl candidate = url.resolved(QUrl(u"Album%20Artwork"_s, QUrl::StrictMode));
    const auto path = localFilePath(candidate);
    if (!path || !FileSystem::itemExists(*path))
        return std::nullopt;
    return candidate;
}

} // namespace quaverly
