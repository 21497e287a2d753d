#pragma once

#include "platform/Error.h"
#include "platform/internal/FileDescriptor.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quaverly {

/// A failed file-system operation. The sentence names the path and the operating
/// system's reason, e.g. `Couldn't read "/x/Music Library.xml": No such file or directory.`
class FileSystemError : public Error
{
public:
    FileSystemError(QString description, int errorCode);

    /// The error of a failed `action` (such as `read "/x/Music Library.xml"`), worded
    /// `Couldn't <action>: <reason>.`: the operating system's reason for `errorCode` unless
    /// `reason` is given. Thread-safe, unlike strerror.
    [[nodiscard]] static FileSystemError failed(const QString &action, int errorCode, const QString &reason = {});

    /// The errno value behind the failure (0 when there was none).
    [[nodiscard]] int errorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};

/// The file-system operations the scanner and the engine use. Each is one synchronous call;
/// paths are decoded local paths. All functions are safe to call from any thread.
namespace FileSystem {

/// All bytes of the file at `path`. Throws FileSystemError for a missing or unreadable file and
/// for anything that is not a regular file (a folder, a device, a pipe).
[[nodiscard]] QByteArray readWholeFile(const QString &path);

/// Reads the file at `path` from start to end in chunks of at most `chunkSize` bytes and hands
/// each to `consume`, with the size the file had when opened; a chunk is valid only during its
/// call. The next chunks are read meanwhile, on a thread of its own. Throws FileSystemError as
/// readWholeFile() does, and whatever `consume` throws.
void readFileInChunks(const QString &path, qsizetype chunkSize,
                      const std::function<void(QByteArrayView chunk, qint64 fileSize)> &consume);

/// True when any item (file, folder, or symbolic link, even a dangling one) is at `path`.
/// Never fails.
[[nodiscard]] bool itemExists(const QString &path) noexcept;

/// True when nothing is at `path`, symbolic links followed: no item, or a file where a folder
/// should be on the way. False when something is, and when that cannot be told (a folder that
/// cannot be searched). Never fails.
[[nodiscard]] bool isAbsent(const QString &path) noexcept;

/// True when a folder is at `path`; a symbolic link to one counts only with `followLinks`.
/// Never fails.
[[nodiscard]] bool isFolder(const QString &path, bool followLinks) noexcept;

/// What makes a file the same file under any of its names.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

struct FileStatus
{
    qint64 size = 0;
    /// Nothing when the file could not be examined.
    std::optional<FileIdentity> identity;
};

/// The size and identity of the file at `path`, symbolic links followed; nothing when no file
/// is there (a folder, a dangling link, nothing at all). A file that cannot be examined counts
/// as size 0 without an identity: copying it will say why. Never fails.
[[nodiscard]] std::optional<FileStatus> fileStatus(const QString &path) noexcept;

/// The identity of the item at `path`, symbolic links followed; nothing when there is none or
/// it cannot be examined. Never fails.
[[nodiscard]] std::optional<FileIdentity> identity(const QString &path) noexcept;

/// `path` with every symbolic link, "." and ".." resolved; nothing when it cannot be resolved
/// (it does not exist, or a folder on the way cannot be searched).
[[nodiscard]] std::optional<QString> canonicalPath(const QString &path);

/// The bytes an ordinary user may still write on the volume that holds `path`; nothing when
/// the volume cannot be asked. Never fails.
[[nodiscard]] std::optional<qint64> availableSpace(const QString &path) noexcept;

/// Creates the folder and every missing parent. Succeeds when it exists already; throws
/// FileSystemError when it cannot be made or something else than a folder is in the way. Run
/// as root, each folder made takes the owner of the folder it is made in.
void createFolder(const QString &path);

/// Removes the file or symbolic link at `path` (a link itself, never what it points to).
/// Throws FileSystemError when it cannot, and for a folder, which it never removes.
void removeItem(const QString &path);

/// Throws FileSystemError, as reading would, when the file at `path` cannot be opened for reading.
void checkReadable(const QString &path);

/// Whether an item on the volume that holds `path` can go to a Trash on that same volume, so
/// that trashing it is a rename and never a copy. Never fails.
[[nodiscard]] bool hasTrash(const QString &path) noexcept;

/// Moves the file or symbolic link at `path` (a link itself, never what it points to) into the
/// Trash of its volume, where the user can still restore it. Throws FileSystemError when it
/// cannot; the item then stays where it was.
void trashItem(const QString &path);

/// Removes the folder at `path` when it holds nothing at all, hidden items included; true when it
/// did. Never fails.
bool removeEmptyFolder(const QString &path) noexcept;

/// Copies the file `from` to `to` whole, by the kernel's fast path, keeping the source's
/// modification time and permission bits. Throws FileSystemError when `to` exists already
/// or the copy fails; a failed copy leaves nothing at `to`.
void copyItem(const QString &from, const QString &to);

/// Writes a copy of the file `from` at `to`, replacing what is there without ever losing it:
/// the copy goes to a temporary file beside `to` and is renamed over it. When anything fails,
/// the temporary file is removed and the old `to` is left as it was. Throws FileSystemError
/// when `to` is a folder (it is never deleted) or the copy fails, also when `from` changed
/// while it was copied, twice in a row: `to` only ever holds one whole version. Copying a file
/// onto itself leaves it untouched. Run as root, the copy takes the owner of the file it
/// replaces, or of its folder.
void replaceItem(const QString &from, const QString &to);

/// Removes the temporary files that an interrupted replaceItem left in `folder`: hidden regular
/// files named `.<name>.quaverly-XXXXXX`. What cannot be removed stays. Never fails.
void removeTemporaries(const QString &folder) noexcept;

struct ResourceValues
{
    std::optional<bool> isDirectory;
    std::optional<QDateTime> contentModificationDate;
};

/// Whether `path` is a folder and when its content last changed, of a symbolic link itself
/// unless `followLinks`. Throws FileSystemError when the item cannot be examined.
[[nodiscard]] ResourceValues resourceValues(const QString &path, bool followLinks = false);

/// A depth-first walk of every visible item below a folder, folders included, fetching
/// the resource values with each item (of the file a symbolic link to a file points to).
/// Hidden items (names beginning with a full stop) and everything below a hidden folder are
/// skipped; symbolic links to folders are never followed, dangling ones are passed over.
class DeepWalk
{
public:
    struct Item
    {
        QString path;
        ResourceValues values;
    };

    /// Starts the walk. Throws FileSystemError when `folder` cannot be opened.
    explicit DeepWalk(const QString &folder);
    ~DeepWalk();
    DeepWalk(const DeepWalk &) = delete;
    DeepWalk &operator=(const DeepWalk &) = delete;

    /// The next item, or nothing when the walk is over. Throws FileSystemError naming a folder
    /// below that cannot be opened or read, or an item that cannot be examined.
    [[nodiscard]] std::optional<Item> next();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

/// An advisory lock (flock) on a file made for it, held until it is destroyed, which removes the
/// file again. The system lets go of the lock when the process ends; a killed holder leaves the
/// file behind, and the next holder takes it over.
class FileLock
{
public:
    /// The lock on `path`, or nothing when another holder has it. Throws FileSystemError when
    /// the file cannot be opened or made.
    [[nodiscard]] static std::unique_ptr<FileLock> tryAcquire(const QString &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    FileLock(internal::FileDescriptor file, QByteArray path) : m_file(std::move(file)), m_path(std::move(path)) {}
    internal::FileDescriptor m_file;
    QByteArray m_path;
};

} // namespace FileSystem
} // namespace quaverly
