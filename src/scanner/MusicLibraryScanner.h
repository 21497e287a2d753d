#pragma once

#include "model/MusicLibrary.h"
#include "platform/Error.h"
#include "platform/PropertyList.h"
#include "platform/SerialExecutor.h"

#include <QFuture>
#include <QUrl>

#include <functional>
#include <optional>

namespace quaverly {

/// Reads one exported library file into a MusicLibrary. An actor: scans run one at a time,
/// in order, on its own executor, off the caller's thread. It keeps nothing between calls.
class MusicLibraryScanner
{
public:
    /// The scanner's own error.
    class ScanError : public Error
    {
    public:
        enum class Kind { invalidFormat, fileNotFound };

        [[nodiscard]] static ScanError invalidFormat(const QString &message);
        [[nodiscard]] static ScanError fileNotFound(const QUrl &url);

        [[nodiscard]] Kind kind() const noexcept { return m_kind; }

    private:
        ScanError(Kind kind, QString description);
        Kind m_kind;
    };

    /// Told, on the scanning thread, after each chunk of the file: the bytes read so far and
    /// the file's size. Called often, so it should do little: store the figures, not lock.
    using ReadProgress = std::function<void(qint64 bytesRead, qint64 fileSize)>;

    /// The library in the file at `url`. The future fails with the FileSystemError of the read,
    /// the PropertyListError of the parse, or ScanError::invalidFormat for a root that is not
    /// a dictionary.
    [[nodiscard]] QFuture<MusicLibrary> scanLibrary(const QUrl &url, ReadProgress progress = {});

    /// The synchronous core of scanLibrary(); throws what its future would fail with.
    [[nodiscard]] static MusicLibrary scanLibrarySync(const QUrl &url, const ReadProgress &progress = {});

    /// The root's "Music Folder" when it is a local file URL.
    [[nodiscard]] static std::optional<QUrl> musicFolderURL(const PropertyList::Value &root);

    /// The "Album Artwork" item beside the library file at `url`, when anything exists there.
    [[nodiscard]] static std::optional<QUrl> artworkCacheURL(const QUrl &url);

private:
    SerialExecutor m_executor;
};

} // namespace quaverly
