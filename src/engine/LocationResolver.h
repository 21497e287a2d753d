#pragma once

#include "model/MusicLibrary.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace quaverly {

/// Reads one library's track locations as paths of this computer. A library file records the
/// paths of the computer that wrote it; when it is read elsewhere (a library folder shared
/// from another computer and mounted here), its media folder lies at another path:
///
///     LocationResolver destination = LocationResolver::forLibrary(library);
///     destination.resolve(track.location); // /Users/u/Music/Music/Media/x → /Volumes/M/…/Media/x
///
/// Built once per plan; a plain value, safe to copy and to read from any thread.
class LocationResolver
{
public:
    /// Where the recorded media folder of a library lies on this computer.
    struct MediaFolder
    {
        /// The media folder as the library file records it, normalised.
        QString recorded;
        /// The same folder on this computer.
        QString local;
        /// Named by the user rather than found beside the library file.
        bool given = false;
    };

    /// What a location names on this computer.
    struct Resolution
    {
        enum class Kind {
            /// No media file of ours: no location, a stream, another host, a library file.
            noFile,
            /// A file of the computer that wrote the library, which this one cannot reach.
            notOnThisComputer,
            /// A local file, at `path`.
            file,
        };

        Kind kind = Kind::noFile;
        /// The normalised local path, for `file`.
        QString path;
        /// The location's path as recorded and the library folder it is placed against: a file
        /// keeps its place relative to the library that lists it, wherever it is read from.
        QString placedPath;
        QString placedAgainst;
    };

    /// Reads every location as recorded, for a library whose file lies in `libraryFolder`.
    explicit LocationResolver(const QUrl &libraryFolder = {});

    /// The resolver for a scanned library. With `mediaFolder` (a local folder), the library's
    /// recorded media folder is read there; without, it is read in the library folder when the
    /// file was written on another computer and a folder of that name lies beside it here.
    /// `mediaFolder` counts only for a library that records a media folder.
    [[nodiscard]] static LocationResolver forLibrary(const MusicLibrary &library,
                                                     const std::optional<QString> &mediaFolder = std::nullopt);

    /// The folder that holds the library file, as a URL; a trailing separator, query or fragment
    /// of the file's URL does not count.
    [[nodiscard]] static QUrl libraryFolderURL(const QUrl &libraryFile);

    /// The library folder as a normalised local path; nothing when it is not on this computer.
    [[nodiscard]] const std::optional<QString> &libraryFolder() const { return m_libraryFolder; }
    /// Where the recorded media folder is read, when not where it was recorded.
    [[nodiscard]] const std::optional<MediaFolder> &mediaFolder() const { return m_mediaFolder; }
    /// True when the library was written on another computer: its locations outside the
    /// media folder name files of that computer.
    [[nodiscard]] bool readFromAnotherComputer() const { return m_fromAnotherComputer; }

    [[nodiscard]] Resolution resolve(const std::optional<QUrl> &location) const;

private:
    std::optional<QString> m_libraryFolder;
    std::optional<MediaFolder> m_mediaFolder;
    bool m_fromAnotherComputer = false;
};

} // namespace quaverly
