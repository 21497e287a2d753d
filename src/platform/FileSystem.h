#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace quaverly {

/// A failed file-system operation. The sentence names the path and the operating
/// system's reason, e.g. `Couldn't read "/x/Music Library.xml": No such file or directory.`
class FileSystemError : public Error
{
public:
    FileSystemError(QString description, int errorCode);

    /// The errno value behind the failure (0 when there was none).
    [[nodiscard]] int errorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};

/// The file-system operations the scanner and the engine use. Each is one synchronous call;
/// paths are decoded local paths. All functions are safe to call from any thread.
namespace FileSystem {

/// All bytes of the file at `path`. Throws FileSystemError for a missing, unreadable or
/// folder location.
[[nodiscard]] QByteArray readWholeFile(const QString &path);

/// True when any item (file, folder, or symbolic link, even a dangling one) is at `path`.
/// Never fails.
[[nodiscard]] bool itemExists(const QString &path) noexcept;

/// True when a folder is at `path`; a symbolic link to one counts only with `followLinks`.
/// Never fails.
[[nodiscard]] bool isFolder(const QString &path, bool followLinks) noexcept;

/// The size of the file at `path`, symbolic links followed; nothing when no file is there (a
/// folder, a dangling link, nothing at all). A file that cannot be examined counts as size 0:
/// copying it will say why. Never fails.
[[nodiscard]] std::optional<qint64> fileSize(const QString &path) noexcept;

/// The bytes an ordinary user may still write on the volume that holds `path`; nothing when
/// the volume cannot be asked. Never fails.
[[nodiscard]] std::optional<qint64> availableSpace(const QString &path) noexcept;

/// Creates the folder and every missing parent. Succeeds when it exists already; throws
/// FileSystemError when it cannot be made or something else than a folder is in the way.
void createFolder(const QString &path);

/// Removes the file or symbolic link at `path` (a link itself, never what it points to).
/// Throws FileSystemError when it cannot, and for a folder, which it never removes.
void removeItem(const QString &path);

/// Copies the file `from` to `to` whole, by the kernel's fast path, keeping the source's
/// modification time and permission bits. Throws FileSystemError when `to` exists already
/// or the copy fails; a failed copy leaves nothing at `to`.
void copyItem(const QString &from, const QString &to);

/// Writes a copy of the file `from` at `to`, replacing what is there without ever losing it:
/// the copy goes to a temporary file beside `to` and is renamed over it. When anything fails,
/// the temporary file is removed and the old `to` is left as it was. Throws FileSystemError
/// when `to` is a folder (it is never deleted) or the copy fails. Copying a file onto itself
/// leaves it untouched.
void replaceItem(const QString &from, const QString &to);

/// Removes the temporary files that an interrupted replaceItem left in `folder`: hidden regular
/// files named `.<name>.quaverly-XXXXXX`. What cannot be removed stays. Never fails.
void removeTemporaries(const QString &folder) noexcept;

struct ResourceValues
{
    std::optional<bool> isDirectory;
    std::optional<QDateTime> contentModificationDate;
};

/// Whether `path` is a folder and when its content last changed (symbolic links are
/// not followed). Throws FileSystemError when the item cannot be examined.
[[nodiscard]] ResourceValues resourceValues(const QString &path);

/// A depth-first walk of every visible item below a folder, folders included, fetching
/// the resource values with each item. Hidden items (names beginning with a full stop)
/// and everything below a hidden folder are skipped; symbolic links to folders are never
/// followed. Errors met during the walk are passed over.
class DeepWalk
{
public:
    struct Item
    {
        QString path;
        ResourceValues values;
    };

    /// Starts the walk; isValid() is false when `folder` cannot be opened.
    explicit DeepWalk(const QString &folder);
    ~DeepWalk();
    DeepWalk(const DeepWalk &) = delete;
    DeepWalk &operator=(const DeepWalk &) = delete;

    [[nodiscard]] bool isValid() const;
    /// The next item, or nothing when the walk is over.
    [[nodiscard]] std::optional<Item> next();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace FileSystem
} // namespace quaverly
