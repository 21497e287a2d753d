#include "scanner/MusicLibraryScanner.h"

#include "platform/FileSystem.h"
#include "platform/LocalFile.h"
#include "platform/PropertyList.h"
#include "platform/PropertyListParser.h"
#include "scanner/PlaylistExtraction.h"
#include "scanner/TrackExtraction.h"
#include "scanner/internal/StreamedExtraction.h"

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

// Reads of this size keep the file's bytes out of memory and match the parser's own chunks.
constexpr qsizetype kReadChunk = qsizetype(1) << 20;

struct Contents
{
    QHash<QString, Track> tracks;
    QList<Playlist> playlists;
    std::optional<QUrl> musicFolderURL;
};

PropertyList::Value dictionaryRoot(const PropertyList &document)
{
    const PropertyList::Value root = document.root();
    if (!root.isDictionary())
        throw MusicLibraryScanner::ScanError::invalidFormat(u"Root object is not a dictionary"_s);
    return root;
}

// Tracks and playlists are extracted on a second thread from slices of the file as the parser
// finishes them, so that neither the file nor a tree of it is ever held whole. Nothing when
// the file repeats a key that the slices cannot follow.
std::optional<Contents> readStreamed(const QString &path, const MusicLibraryScanner::ReadProgress &progress)
{
    internal::StreamedExtraction extraction;
    PropertyListParser parser(internal::StreamedExtraction::streamedKeys(),
                              [&extraction](PropertyListParser::Slice slice) { extraction.add(std::move(slice)); });
    qint64 bytesRead = 0;
    FileSystem::readFileInChunks(path, kReadChunk, [&](QByteArrayView chunk, qint64 fileSize) {
        parser.feed(chunk);
        bytesRead += chunk.size();
        if (progress)
            progress(bytesRead, fileSize);
    });
    const PropertyList rest = parser.finish();
    const PropertyList::Value root = dictionaryRoot(rest);
    if (parser.slicesMissRepeatedKeys())
        return std::nullopt;
    internal::StreamedExtraction::Result extracted = extraction.finish();
    return Contents{std::move(extracted.tracks), std::move(extracted.playlists),
                    MusicLibraryScanner::musicFolderURL(root)};
}

// The whole tree first, then extraction from it: for files whose repeated keys only the whole
// tree settles.
Contents readWhole(const QString &path)
{
    PropertyListParser parser;
    FileSystem::readFileInChunks(path, kReadChunk, [&](QByteArrayView chunk, qint64) { parser.feed(chunk); });
    const PropertyList document = parser.finish();
    const PropertyList::Value root = dictionaryRoot(document);
    TrackExtraction::Result tracks = TrackExtraction(document).parseTracks(root);
    QList<Playlist> playlists = PlaylistExtraction(document).parsePlaylists(root, tracks.trackIDMap);
    return Contents{std::move(tracks.tracks), std::move(playlists), MusicLibraryScanner::musicFolderURL(root)};
}

} // namespace

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

QFuture<MusicLibrary> MusicLibraryScanner::scanLibrary(const QUrl &url, ReadProgress progress)
{
    return m_executor.run([url, progress = std::move(progress)] { return scanLibrarySync(url, progress); });
}

MusicLibrary MusicLibraryScanner::scanLibrarySync(const QUrl &url, const ReadProgress &progress)
{
    const auto path = localFilePath(url);
    if (!path) {
        throw FileSystemError::failed(u"read \"%1\""_s.arg(url.toDisplayString()), 0,
                                      u"It is not a file on this computer"_s);
    }

    std::optional<Contents> contents = readStreamed(*path, progress);
    if (!contents)
        contents = readWhole(*path);

    MusicLibrary library;
    library.xmlURL = url;
    library.tracks = std::move(contents->tracks);
    library.playlists = std::move(contents->playlists);
    library.artworkCacheURL = artworkCacheURL(url);
    library.musicFolderURL = std::move(contents->musicFolderURL);
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
