#include "platform/FileSystem.h"

#include "platform/internal/ReadAhead.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#endif
#if defined(__APPLE__)
#include <copyfile.h>
#endif

using namespace Qt::StringLiterals;

namespace quaverly {

FileSystemError::FileSystemError(QString description, int errorCode)
    : Error(std::move(description))
    , m_errorCode(errorCode)
{
}

FileSystemError FileSystemError::failed(const QString &action, int errorCode, const QString &reason)
{
    // std::error_code's message is thread-safe, unlike strerror.
    const QString osReason = reason.isEmpty() ? QString::fromLocal8Bit(std::system_category().message(errorCode))
                                              : reason;
    return FileSystemError(u"Couldn't %1: %2."_s.arg(action, osReason), errorCode);
}

namespace FileSystem {
namespace {

using internal::FileDescriptor;
using internal::retryOnInterrupt;

QString quoted(const QString &path)
{
    return u'"' + path + u'"';
}

[[noreturn]] void fail(const QString &action, int errorCode, const QString &reason = {})
{
    throw FileSystemError::failed(action, errorCode, reason);
}

QString readAction(const QString &path) { return u"read "_s + quoted(path); }
QString createFolderAction(const QString &path) { return u"create the folder "_s + quoted(path); }
QString removeAction(const QString &path) { return u"remove "_s + quoted(path); }
QString copyAction(const QString &from, const QString &to)
{
    return u"copy %1 to %2"_s.arg(quoted(from), quoted(to));
}
QString attributesAction(const QString &path) { return u"read the attributes of "_s + quoted(path); }
QString readFolderAction(const QString &path) { return u"read the folder "_s + quoted(path); }
QString trashAction(const QString &path) { return u"move "_s + quoted(path) + u" to the Trash"_s; }
QString lockAction(const QString &path) { return u"lock "_s + quoted(path); }

// The reasons that have no errno wording of their own. Reading and copying have always said
// "not a regular file" in words of their own.
const QString notRegularForReading = u"It is not a regular file"_s;
const QString notRegularForCopying = u"Not a regular file"_s;
const QString changedWhileCopied = u"The file changed while it was copied"_s;
const QString noTrash = u"Its volume has no Trash"_s;

/// The path as the kernel sees it, or nothing when it holds a NUL character: the kernel would
/// cut the path there and act on a different item than the one named.
std::optional<QByteArray> nativePath(const QString &path)
{
    if (path.contains(QChar(0)))
        return std::nullopt;
    return QFile::encodeName(path);
}

QByteArray nativePathOrFail(const QString &path, const QString &action)
{
    auto native = nativePath(path);
    if (!native)
        fail(action, EINVAL);
    return *std::move(native);
}

timespec modificationTime(const struct stat &status)
{
#if defined(__APPLE__)
    return status.st_mtimespec;
#else
    return status.st_mtim;
#endif
}

timespec accessTime(const struct stat &status)
{
#if defined(__APPLE__)
    return status.st_atimespec;
#else
    return status.st_atim;
#endif
}

timespec changeTime(const struct stat &status)
{
#if defined(__APPLE__)
    return status.st_ctimespec;
#else
    return status.st_ctim;
#endif
}

bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether a file still holds the version `before` described: any write moves its size or its
// change time.
bool sameVersion(const struct stat &before, const struct stat &after)
{
    return before.st_size == after.st_size && sameTime(modificationTime(before), modificationTime(after))
        && sameTime(changeTime(before), changeTime(after));
}

// Run as root, what we make would belong to root, and its owner's next sync could not replace
// or remove it: it takes the owner of what it stands for instead.
void adoptOwner(int fd, const struct stat &owner)
{
    if (::geteuid() == 0 && (owner.st_uid != 0 || owner.st_gid != ::getegid()))
        (void)::fchown(fd, owner.st_uid, owner.st_gid);
}

ResourceValues valuesFrom(const struct stat &status)
{
    const timespec modified = modificationTime(status);
    const qint64 milliseconds = qint64(modified.tv_sec) * 1000 + modified.tv_nsec / 1'000'000;
    return {S_ISDIR(status.st_mode) != 0, QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC)};
}

FileDescriptor openFile(const QByteArray &path, int flags, mode_t mode = 0)
{
    return FileDescriptor(retryOnInterrupt([&] { return ::open(path.constData(), flags | O_CLOEXEC, mode); }));
}

/// Opens the file at `path` for reading, a link followed, and fills `status`. Throws
/// FileSystemError worded with `action` unless it is a regular file: a folder fails with EISDIR,
/// anything else (a device, a pipe) with EINVAL and the reason `notRegular`.
FileDescriptor openRegularFile(const QByteArray &path, const QString &action, struct stat &status,
                               const QString &notRegular)
{
    // Non-blocking, so that a named pipe in the wrong place cannot hang the caller.
    FileDescriptor file = openFile(path, O_RDONLY | O_NONBLOCK);
    if (!file.isOpen() || ::fstat(file.get(), &status) != 0)
        fail(action, errno);
    if (S_ISDIR(status.st_mode))
        fail(action, EISDIR);
    // A device or a pipe has no end to read up to (/dev/zero would fill the memory).
    if (!S_ISREG(status.st_mode))
        fail(action, EINVAL, notRegular);
    return file;
}

/// The entries of a folder, read one by one; closes the folder when destroyed.
class Directory
{
public:
    /// Reads the folder `folder` is open on and takes the descriptor over; isOpen() is false,
    /// with errno set, when it cannot be read as a folder.
    explicit Directory(FileDescriptor folder) noexcept
        : m_entries(folder.isOpen() ? ::fdopendir(folder.get()) : nullptr)
    {
        if (m_entries)
            (void)folder.release();
    }
    ~Directory()
    {
        if (m_entries)
            ::closedir(m_entries);
    }
    Directory(const Directory &) = delete;
    Directory &operator=(const Directory &) = delete;
    Directory(Directory &&other) noexcept : m_entries(std::exchange(other.m_entries, nullptr)) {}
    Directory &operator=(Directory &&) = delete;

    [[nodiscard]] bool isOpen() const noexcept { return m_entries != nullptr; }
    [[nodiscard]] int fd() const noexcept { return ::dirfd(m_entries); }
    /// The next entry; nothing at the end, or on failure with errno set.
    [[nodiscard]] const dirent *next() noexcept
    {
        errno = 0;
        return ::readdir(m_entries);
    }

private:
    DIR *m_entries;
};

// ---- Copying --------------------------------------------------------------------------------

/// Plain read/write, for file systems that offer no kernel copy.
int copyByBuffer(int source, int target)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = retryOnInterrupt([&] { return ::read(source, buffer.data(), buffer.size()); });
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = retryOnInterrupt(
                [&] { return ::write(target, buffer.data() + written, size_t(got - written)); });
            if (put < 0)
                return errno;
            written += put;
        }
    }
}

#if defined(__linux__)
bool meansUnsupported(int error)
{
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP
        || error == EPERM;
}

/// Copies the data from the current offsets on; returns 0 or an errno value.
int copyData(int source, int target, off_t expectedSize)
{
#if defined(FICLONE)
    // On copy-on-write file systems a clone shares the blocks and costs one call.
    if (::ioctl(target, FICLONE, source) == 0)
        return 0;
#endif
    constexpr size_t chunk = size_t(1) << 30;
    off_t copied = 0;
    for (;;) {
        const ssize_t moved = retryOnInterrupt(
            [&] { return ::copy_file_range(source, nullptr, target, nullptr, chunk, 0); });
        if (moved > 0) {
            copied += moved;
            continue;
        }
        if (moved == 0 && copied >= expectedSize)
            return 0;
        // Some kernels answer 0 for files they cannot splice; the offsets show how far it got.
        if (moved < 0 && !meansUnsupported(errno))
            return errno;
        break;
    }
    for (;;) {
        const ssize_t moved = retryOnInterrupt([&] { return ::sendfile(target, source, nullptr, chunk); });
        if (moved > 0)
            continue;
        if (moved == 0)
            return 0;
        if (!meansUnsupported(errno))
            return errno;
        break;
    }
    return copyByBuffer(source, target);
}
#elif defined(__APPLE__)
int copyData(int source, int target, off_t)
{
    return ::fcopyfile(source, target, nullptr, COPYFILE_DATA) == 0 ? 0 : errno;
}
#else
int copyData(int source, int target, off_t)
{
    return copyByBuffer(source, target);
}
#endif

/// Fills the freshly created `target`, whose permission bits are `createdMode`, with the
/// source's data, permission bits and dates, and closes it; returns 0 or an errno value.
int fillCopy(int source, const struct stat &sourceStatus, FileDescriptor &target, mode_t createdMode, bool durable)
{
    if (const int error = copyData(source, target.get(), sourceStatus.st_size))
        return error;
    // Set-user/group-ID bits are not carried over: a copy must not mint privileges. Volumes
    // without Unix permissions (FAT, exFAT) refuse the change; the data still counts. Over a
    // network every change is a round trip, so a file made with the right bits is left alone.
    const mode_t wanted = sourceStatus.st_mode & 0777;
    if ((createdMode & 0777) != wanted && ::fchmod(target.get(), wanted) != 0 && errno != EPERM
        && errno != EOPNOTSUPP && errno != ENOTSUP) {
        return errno;
    }
    // The artwork mirror compares modification dates, so the copy must carry the source's.
    const timespec times[2] = {accessTime(sourceStatus), modificationTime(sourceStatus)};
    if (::futimens(target.get(), times) != 0)
        return errno;
    if (durable && retryOnInterrupt([&] { return ::fsync(target.get()); }) != 0)
        return errno;
    return target.close();
}

/// Removes the file we created at `path`, unless something else has taken its place meanwhile.
void discardCreated(const QByteArray &path, const struct stat &created)
{
    struct stat now;
    if (::lstat(path.constData(), &now) == 0 && now.st_dev == created.st_dev && now.st_ino == created.st_ino)
        ::unlink(path.constData());
}

// Stands for "the source changed while it was copied", which has no errno of its own.
constexpr int sourceChanged = -1;

/// Creates `target` (failing with EEXIST when anything is there) and copies the open source
/// into it, owned like `owner` when run as root; a failed copy leaves nothing behind. Returns
/// 0, an errno value, or sourceChanged when the source is no longer the version `sourceStatus`
/// describes once the copy is done.
int copyToNewFile(int source, const struct stat &sourceStatus, const QByteArray &target, bool durable,
                  const struct stat *owner = nullptr)
{
    // Made with the source's permission bits (the umask may take some away, which fillCopy
    // gives back), which spares the change of mode in most copies.
    FileDescriptor created = openFile(target, O_WRONLY | O_CREAT | O_EXCL, sourceStatus.st_mode & 0777);
    if (!created.isOpen())
        return errno;
    struct stat createdStatus;
    if (::fstat(created.get(), &createdStatus) != 0) {
        const int error = errno;
        ::unlink(target.constData());
        return error;
    }
    if (owner)
        adoptOwner(created.get(), *owner);
    int error = fillCopy(source, sourceStatus, created, createdStatus.st_mode, durable);
    struct stat after;
    if (!error && (::fstat(source, &after) != 0 || !sameVersion(sourceStatus, after)))
        error = sourceChanged;
    if (error)
        discardCreated(target, createdStatus);
    return error;
}

/// Waits, up to a bound, until the source has gone unchanged for a moment. A write marks the
/// file's change time when it begins; one already under way when the copy starts could still
/// land in its middle and leave no later trace in the file's status, so a file changed moments
/// ago is copied once it has been still a while. A change time ahead of the clock (another
/// computer's, over a network) is not waited for.
int waitUntilStill(int source, struct stat &sourceStatus)
{
    constexpr qint64 stillNs = 200'000'000;
    constexpr int mostWaits = 5;
    for (int wait = 0; wait < mostWaits; ++wait) {
        timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        const timespec changed = changeTime(sourceStatus);
        const qint64 sinceNs = (qint64(now.tv_sec) - changed.tv_sec) * 1'000'000'000 + (now.tv_nsec - changed.tv_nsec);
        if (sinceNs < 0 || sinceNs >= stillNs)
            return 0;
        const timespec pause{0, long(stillNs - sinceNs)};
        ::nanosleep(&pause, nullptr);
        if (::fstat(source, &sourceStatus) != 0)
            return errno;
    }
    return 0;
}

/// copyToNewFile, once more from the start when the source changed meanwhile: a file that is
/// being written stays torn for a moment, one that keeps changing is not copied at all.
int copyOneVersion(int source, struct stat &sourceStatus, const QByteArray &target, bool durable,
                   const struct stat *owner = nullptr)
{
    if (const int error = waitUntilStill(source, sourceStatus))
        return error;
    int error = copyToNewFile(source, sourceStatus, target, durable, owner);
    if (error != sourceChanged)
        return error;
    if (::fstat(source, &sourceStatus) != 0 || ::lseek(source, 0, SEEK_SET) != 0)
        return errno;
    return copyToNewFile(source, sourceStatus, target, durable, owner);
}

/// Words a failed copy, the changed source included.
[[noreturn]] void failCopy(const QString &action, int error)
{
    if (error == sourceChanged)
        fail(action, EBUSY, changedWhileCopied);
    fail(action, error);
}

constexpr char temporaryAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr char temporaryMarker[] = ".quaverly-";
constexpr qsizetype temporaryRandomLength = 6;

/// `.<name>.quaverly-XXXXXX` beside `target`: hidden, so a walk of the folder passes it over.
QByteArray temporaryPathBeside(const QByteArray &target)
{
    constexpr qsizetype nameMax = 255;

    const qsizetype slash = target.lastIndexOf('/');
    QByteArray name = target.mid(slash + 1);
    // The decoration must not push a long name over the file system's limit; cut on a
    // character boundary so the name stays valid UTF-8.
    const qsizetype room = nameMax - 1 - (qsizetype(sizeof temporaryMarker) - 1) - temporaryRandomLength;
    if (name.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (uchar(name.at(cut)) & 0xC0) == 0x80)
            --cut;
        name.truncate(cut);
    }
    QByteArray path = target.left(slash + 1) + '.' + name + temporaryMarker;
    for (qsizetype i = 0; i < temporaryRandomLength; ++i)
        path += temporaryAlphabet[QRandomGenerator::global()->bounded(int(sizeof temporaryAlphabet) - 1)];
    return path;
}

bool isTemporaryName(std::string_view name)
{
    constexpr std::string_view marker(temporaryMarker);
    const size_t decoration = marker.size() + size_t(temporaryRandomLength);
    if (name.size() <= 1 + decoration || name.front() != '.')
        return false;
    const std::string_view random = name.substr(name.size() - size_t(temporaryRandomLength));
    return name.substr(name.size() - decoration, marker.size()) == marker
        && random.find_first_not_of(temporaryAlphabet) == std::string_view::npos;
}

#if !defined(__APPLE__)
// ---- Trash ----------------------------------------------------------------------------------

struct Trash
{
    QByteArray folder;
    /// The top of the volume, for a Trash there: its entries record paths relative to it.
    QByteArray relativeTo;
};

/// The Trash that takes items from `native`'s volume by a rename, following the desktop's
/// convention: the user's own when it lies on that volume, else one at the top of the volume.
/// Nothing when that volume offers none the user may use or make.
std::optional<Trash> trashFor(const QByteArray &native)
{
    struct stat item;
    if (::lstat(native.constData(), &item) != 0)
        return std::nullopt;
    const QByteArray home = QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    // The user's Trash may not exist yet: the nearest folder that does tells its volume.
    QByteArray existing = home;
    struct stat homeStatus;
    while (!existing.isEmpty() && ::stat(existing.constData(), &homeStatus) != 0)
        existing.truncate(std::max<qsizetype>(existing.lastIndexOf('/'), 0));
    if (!home.isEmpty() && !existing.isEmpty() && homeStatus.st_dev == item.st_dev)
        return Trash{home + "/Trash", {}};

    QByteArray top = native;
    for (;;) {
        const qsizetype slash = top.lastIndexOf('/');
        const QByteArray parent = slash <= 0 ? QByteArray("/") : top.left(slash);
        struct stat above;
        if (parent == top || ::stat(parent.constData(), &above) != 0 || above.st_dev != item.st_dev)
            break;
        top = parent;
    }
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(::getuid());
    // A shared ".Trash" counts only as the convention makes it: a real, sticky folder.
    struct stat shared;
    if (::lstat((base + "/.Trash").constData(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX))
        return Trash{base + "/.Trash/" + uid, top};
    struct stat own;
    const QByteArray ownTrash = base + "/.Trash-" + uid;
    if (::lstat(ownTrash.constData(), &own) == 0)
        return S_ISDIR(own.st_mode) && own.st_uid == ::getuid() ? std::optional(Trash{ownTrash, top}) : std::nullopt;
    if (::access(top.constData(), W_OK | X_OK) == 0)
        return Trash{ownTrash, top};
    return std::nullopt;
}
#endif

} // namespace

// ---- Public operations ------------------------------------------------------------------------

QByteArray readWholeFile(const QString &path)
{
    // Worded up front, so that nothing runs between a failing call and the reading of errno.
    const QString action = readAction(path);
    struct stat status;
    const FileDescriptor file =
        openRegularFile(nativePathOrFail(path, action), action, status, notRegularForReading);

    // The size is a hint: files such as those under /proc report 0, and a file may change
    // while it is read. Reading on until end of file copes with both.
    QByteArray data(status.st_size > 0 ? qsizetype(status.st_size) : 0, Qt::Uninitialized);
    qsizetype used = 0;
    constexpr qsizetype maxRead = qsizetype(1) << 30;
    for (;;) {
        if (used < data.size()) {
            const ssize_t got = retryOnInterrupt([&] {
                return ::read(file.get(), data.data() + used, size_t(std::min(data.size() - used, maxRead)));
            });
            if (got < 0)
                fail(action, errno);
            if (got == 0)
                break;
            used += got;
            continue;
        }
        // A full buffer usually means the whole file: probe before growing, so a file exactly
        // as long as announced costs no second allocation.
        char probe[16384];
        const ssize_t got = retryOnInterrupt([&] { return ::read(file.get(), probe, sizeof probe); });
        if (got < 0)
            fail(action, errno);
        if (got == 0)
            break;
        data.resize(used + std::max<qsizetype>(used / 2, 65536));
        std::memcpy(data.data() + used, probe, size_t(got));
        used += got;
    }
    data.resize(used);
    return data;
}

void readFileInChunks(const QString &path, qsizetype chunkSize,
                      const std::function<void(QByteArrayView chunk, qint64 fileSize)> &consume)
{
    const QString action = readAction(path);
    struct stat status;
    const FileDescriptor file =
        openRegularFile(nativePathOrFail(path, action), action, status, notRegularForReading);
    internal::ReadAhead ahead(file.get(), chunkSize);
    for (;;) {
        const internal::ReadAhead::Chunk chunk = ahead.next();
        if (chunk.error)
            fail(action, chunk.error);
        if (chunk.bytes.isEmpty())
            return;
        consume(chunk.bytes, qint64(status.st_size));
    }
}

bool itemExists(const QString &path) noexcept
{
    const auto native = nativePath(path);
    struct stat status;
    // A dangling link counts: whoever asks next writes or removes at this path, and must
    // not create a file through the link wherever it points.
    return native && ::lstat(native->constData(), &status) == 0;
}

bool isAbsent(const QString &path) noexcept
{
    const auto native = nativePath(path);
    struct stat status;
    return native && ::stat(native->constData(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool isFolder(const QString &path, bool followLinks) noexcept
{
    const auto native = nativePath(path);
    struct stat status;
    const int result = !native ? -1 : followLinks ? ::stat(native->constData(), &status)
                                                  : ::lstat(native->constData(), &status);
    return result == 0 && S_ISDIR(status.st_mode);
}

std::optional<FileStatus> fileStatus(const QString &path) noexcept
{
    const auto native = nativePath(path);
    if (!native)
        return std::nullopt;
    struct stat status;
    if (::stat(native->constData(), &status) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG)
            return std::nullopt;
        return FileStatus{};
    }
    if (S_ISDIR(status.st_mode))
        return std::nullopt;
    return FileStatus{qint64(status.st_size), FileIdentity{quint64(status.st_dev), quint64(status.st_ino)}};
}

std::optional<FileIdentity> identity(const QString &path) noexcept
{
    const auto native = nativePath(path);
    struct stat status;
    if (!native || ::stat(native->constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

std::optional<QString> canonicalPath(const QString &path)
{
    const auto native = nativePath(path);
    if (!native)
        return std::nullopt;
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(native->constData(), nullptr), &std::free);
    if (!resolved)
        return std::nullopt;
    return QFile::decodeName(resolved.get());
}

std::optional<qint64> availableSpace(const QString &path) noexcept
{
    const auto native = nativePath(path);
    struct statvfs volume;
    if (!native || retryOnInterrupt([&] { return ::statvfs(native->constData(), &volume); }) != 0)
        return std::nullopt;
    return qint64(volume.f_bavail) * qint64(volume.f_frsize);
}

void createFolder(const QString &path)
{
    const QString action = createFolderAction(path);
    QByteArray native = nativePathOrFail(path, action);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);

    const auto isFolder = [](const QByteArray &candidate) {
        struct stat status;
        return ::stat(candidate.constData(), &status) == 0 && S_ISDIR(status.st_mode);
    };
    // A folder made as root takes the owner of the folder it is made in, like a copy.
    const auto made = [](const QByteArray &folder) {
        if (::mkdir(folder.constData(), 0777) != 0)
            return false;
        struct stat parent;
        const FileDescriptor fd = openFile(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (fd.isOpen() && ::stat((folder + "/..").constData(), &parent) == 0)
            adoptOwner(fd.get(), parent);
        return true;
    };
    // Climb to the nearest level that exists or can be made, then make the missing ones below.
    std::vector<qsizetype> missing;
    qsizetype end = native.size();
    for (;;) {
        const QByteArray level = native.left(end);
        if (made(level))
            break;
        const int error = errno;
        // Some systems answer a read-only volume or the root with something other than EEXIST.
        if (isFolder(level))
            break;
        if (error != ENOENT)
            fail(action, error);
        missing.push_back(end);
        end = native.lastIndexOf('/', end - 1);
        while (end > 0 && native.at(end - 1) == '/')
            --end;
        if (end <= 0)
            fail(action, ENOENT);
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        const QByteArray folder = native.left(*level);
        if (!made(folder)) {
            const int error = errno;
            // Someone else may have made it meanwhile.
            if (!isFolder(folder))
                fail(action, error);
        }
    }
}

void removeItem(const QString &path)
{
    const QByteArray native = nativePathOrFail(path, removeAction(path));
    if (::unlink(native.constData()) == 0)
        return;
    int error = errno;
    // Linux says EISDIR, macOS EPERM; either way a folder is refused, never removed.
    struct stat status;
    if ((error == EISDIR || error == EPERM) && ::lstat(native.constData(), &status) == 0 && S_ISDIR(status.st_mode))
        error = EISDIR;
    fail(removeAction(path), error);
}

void checkReadable(const QString &path)
{
    const QString action = readAction(path);
    struct stat status;
    (void)openRegularFile(nativePathOrFail(path, action), action, status, notRegularForReading);
}

bool hasTrash(const QString &path) noexcept
{
#if defined(__APPLE__)
    // Every volume the system mounts keeps a Trash of its own.
    return itemExists(path);
#else
    const auto native = nativePath(path);
    return native && trashFor(*native).has_value();
#endif
}

void trashItem(const QString &path)
{
    const QString action = trashAction(path);
    const QByteArray native = nativePathOrFail(path, action);
#if defined(__APPLE__)
    if (!QFile::moveToTrash(path))
        fail(action, itemExists(path) ? EIO : ENOENT);
#else
    const std::optional<Trash> trash = trashFor(native);
    if (!trash)
        fail(action, EXDEV, noTrash);
    // The user's own Trash may not exist yet, nor the folders that hold it.
    for (qsizetype slash = 1; slash > 0; slash = trash->folder.indexOf('/', slash + 1)) {
        if (::mkdir(trash->folder.left(slash).constData(), 0700) != 0 && errno != EEXIST)
            fail(action, errno);
    }
    for (const QByteArray &folder : {trash->folder, trash->folder + "/files", trash->folder + "/info"}) {
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            fail(action, errno);
    }
    // The information file, made exclusively first, reserves the name in the Trash.
    const QByteArray name = native.mid(native.lastIndexOf('/') + 1);
    const QByteArray original = trash->relativeTo.isEmpty() || !native.startsWith(trash->relativeTo + '/')
        ? native
        : native.mid(trash->relativeTo.size() + 1);
    const QByteArray info = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(QFile::decodeName(original), "/")
        + "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toLatin1() + '\n';
    for (int number = 1; number < 10000; ++number) {
        const QByteArray trashedName = number == 1 ? name : name + '.' + QByteArray::number(number);
        const QByteArray infoPath = trash->folder + "/info/" + trashedName + ".trashinfo";
        FileDescriptor infoFile = openFile(infoPath, O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (!infoFile.isOpen()) {
            if (errno == EEXIST)
                continue;
            fail(action, errno);
        }
        const ssize_t put = ::write(infoFile.get(), info.constData(), size_t(info.size()));
        if (const int error = put != info.size() ? (put < 0 ? errno : EIO) : infoFile.close()) {
            ::unlink(infoPath.constData());
            fail(action, error);
        }
        // rename() would replace an item trashed under that name without its information file.
        const QByteArray target = trash->folder + "/files/" + trashedName;
        struct stat taken;
        if (::lstat(target.constData(), &taken) == 0) {
            ::unlink(infoPath.constData());
            continue;
        }
        if (::rename(native.constData(), target.constData()) == 0)
            return;
        const int error = errno;
        ::unlink(infoPath.constData());
        fail(action, error);
    }
    fail(action, EEXIST);
#endif
}

bool removeEmptyFolder(const QString &path) noexcept
{
    const auto native = nativePath(path);
    // rmdir refuses a folder that holds anything, hidden or not, and never follows a link.
    return native && ::rmdir(native->constData()) == 0;
}

void copyItem(const QString &from, const QString &to)
{
    const QString action = copyAction(from, to);
    const QByteArray nativeFrom = nativePathOrFail(from, action);
    const QByteArray nativeTo = nativePathOrFail(to, action);
    struct stat sourceStatus;
    const FileDescriptor source = openRegularFile(nativeFrom, action, sourceStatus, notRegularForCopying);
    if (const int error = copyOneVersion(source.get(), sourceStatus, nativeTo, false))
        failCopy(action, error);
}

void replaceItem(const QString &from, const QString &to)
{
    const QString action = copyAction(from, to);
    const QByteArray nativeFrom = nativePathOrFail(from, action);
    const QByteArray nativeTo = nativePathOrFail(to, action);

    struct stat targetStatus;
    const bool targetExists = ::lstat(nativeTo.constData(), &targetStatus) == 0;
    if (targetExists && S_ISDIR(targetStatus.st_mode))
        fail(action, EISDIR);

    struct stat sourceStatus;
    const FileDescriptor source = openRegularFile(nativeFrom, action, sourceStatus, notRegularForCopying);
    // One file under two names (the same path, a hard link, two libraries sharing a folder)
    // already is its own copy.
    struct stat targetFile;
    if (targetExists && ::stat(nativeTo.constData(), &targetFile) == 0 && targetFile.st_dev == sourceStatus.st_dev
        && targetFile.st_ino == sourceStatus.st_ino) {
        return;
    }
    // The copy belongs to whoever owned the file it replaces, or else its folder; only root can
    // give a file away, so only then is the folder asked (a round trip over a network).
    struct stat owner = targetStatus;
    const QByteArray folder = nativeTo.left(std::max<qsizetype>(nativeTo.lastIndexOf('/'), 1));
    if (!targetExists && (::geteuid() != 0 || ::stat(folder.constData(), &owner) != 0)) {
        owner.st_uid = ::geteuid();
        owner.st_gid = ::getegid();
    }

    // The copy reaches the disk before it takes the old file's place, so that a crash cannot
    // leave an empty file where a good one was. With nothing to replace there is nothing to
    // lose, and the flush (milliseconds per file) is saved.
    const bool durable = targetExists;
    QByteArray temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temporary = temporaryPathBeside(nativeTo);
        error = copyOneVersion(source.get(), sourceStatus, temporary, durable, &owner);
    }
    if (error)
        failCopy(action, error);
    // The rename is atomic: the old target stays whole until the complete copy takes its place.
    if (::rename(temporary.constData(), nativeTo.constData()) != 0) {
        error = errno;
        ::unlink(temporary.constData());
        fail(action, error);
    }
}

void removeTemporaries(const QString &folder) noexcept
{
    const auto native = nativePath(folder);
    if (!native)
        return;
    Directory entries(openFile(*native, O_RDONLY | O_DIRECTORY));
    if (!entries.isOpen())
        return;
    while (const dirent *entry = entries.next()) {
        // A folder or link that happens to carry such a name was not made by replaceItem.
        struct stat status;
        if (isTemporaryName(entry->d_name)
            && ::fstatat(entries.fd(), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
            ::unlinkat(entries.fd(), entry->d_name, 0);
        }
    }
}

ResourceValues resourceValues(const QString &path, bool followLinks)
{
    const QString action = attributesAction(path);
    const QByteArray native = nativePathOrFail(path, action);
    struct stat status;
    if ((followLinks ? ::stat(native.constData(), &status) : ::lstat(native.constData(), &status)) != 0)
        fail(action, errno);
    return valuesFrom(status);
}

// ---- Deep walk ---------------------------------------------------------------------------------

struct DeepWalk::State
{
    struct Level
    {
        Directory folder;
        QString path;
    };
    // An explicit stack instead of recursion: depth costs one open folder per level, no stack frames.
    std::vector<Level> levels;

    /// False, with errno set, when `folder` cannot be read as a folder.
    bool push(FileDescriptor folder, QString path)
    {
        Directory entries(std::move(folder));
        if (!entries.isOpen())
            return false;
        levels.push_back({std::move(entries), std::move(path)});
        return true;
    }
};

DeepWalk::DeepWalk(const QString &folder)
    : m_state(std::make_unique<State>())
{
    const QString action = readFolderAction(folder);
    const QByteArray native = nativePathOrFail(folder, action);
    // The root itself may be a link (an artwork folder kept on another volume); only links
    // met inside the walk are left alone.
    FileDescriptor fd = openFile(native, O_RDONLY | O_DIRECTORY);
    if (!fd.isOpen())
        fail(action, errno);
    QString root = folder;
    if (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    if (!m_state->push(std::move(fd), root))
        fail(action, errno);
}

DeepWalk::~DeepWalk() = default;

std::optional<DeepWalk::Item> DeepWalk::next()
{
    auto &levels = m_state->levels;
    while (!levels.empty()) {
        const int folderFd = levels.back().folder.fd();
        const dirent *entry = levels.back().folder.next();
        if (!entry) {
            const int error = errno;
            const QString folder = levels.back().path;
            levels.pop_back();
            // A folder that cannot be read to its end would make a mirror that silently lacks files.
            if (error != 0)
                fail(readFolderAction(folder), error);
            continue;
        }
        const char *name = entry->d_name;
        // Also passes over "." and "..".
        if (name[0] == '.')
            continue;
        const QString decodedName = QFile::decodeName(name);
        const QString &parent = levels.back().path;
        QString path = parent.endsWith(u'/') ? parent + decodedName : parent + u'/' + decodedName;
        struct stat status;
        if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            // An item removed since the folder was listed is simply not there any more.
            if (errno == ENOENT)
                continue;
            fail(attributesAction(path), errno);
        }
#if defined(UF_HIDDEN)
        if (status.st_flags & UF_HIDDEN)
            continue;
#endif
#if !defined(__APPLE__)
        // A name that is not valid in the file-name encoding cannot be named again through a
        // QString path; any operation on it would reach some other item or none.
        if (QFile::encodeName(decodedName) != name)
            continue;
#endif

        if (S_ISLNK(status.st_mode)) {
            // A link to a file stands for its content; a link to a folder is never followed, and
            // a dangling link has nothing to offer.
            if (::fstatat(folderFd, name, &status, 0) != 0 || S_ISDIR(status.st_mode))
                continue;
        } else if (S_ISDIR(status.st_mode)) {
            // Without following links, so nothing swapped in since fstatat leads elsewhere.
            FileDescriptor child(retryOnInterrupt([&] {
                return ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }));
            if (!child.isOpen() || !m_state->push(std::move(child), path))
                fail(readFolderAction(path), errno);
        }
        return Item{std::move(path), valuesFrom(status)};
    }
    return std::nullopt;
}

// ---- Locks ------------------------------------------------------------------------------------

std::unique_ptr<FileLock> FileLock::tryAcquire(const QString &path)
{
    const QString action = lockAction(path);
    const QByteArray native = nativePathOrFail(path, action);
    for (;;) {
        FileDescriptor file = openFile(native, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
        if (!file.isOpen())
            fail(action, errno);
        if (retryOnInterrupt([&] { return ::flock(file.get(), LOCK_EX | LOCK_NB); }) != 0) {
            const int error = errno;
            if (error == EWOULDBLOCK)
                return nullptr;
            // Some network volumes offer no locks at all; the run goes on unguarded rather than
            // never running there.
            if (error != ENOLCK && error != EOPNOTSUPP && error != ENOTSUP)
                fail(action, error);
        }
        // The holder before may have removed the file between our open and our lock: a lock on
        // that removed file would guard nothing, so it is taken again on the file now there.
        struct stat held;
        struct stat named;
        if (::fstat(file.get(), &held) == 0 && ::lstat(native.constData(), &named) == 0
            && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return std::unique_ptr<FileLock>(new FileLock(std::move(file), native));
        }
    }
}

// Removed while still held (the descriptor closes after this body), so nobody can lock the file
// on its way out.
FileLock::~FileLock()
{
    ::unlink(m_path.constData());
}

} // namespace FileSystem
} // namespace quaverly
