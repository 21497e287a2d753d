#include "platform/FileSystem.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

namespace FileSystem {
namespace {

QString quoted(const QString &path)
{
    return u'"' + path + u'"';
}

/// The one place that words a failure: `Couldn't <action>: <reason>.`
[[noreturn]] void fail(const QString &action, int errorCode, const QString &reason = {})
{
    // std::error_code's message is thread-safe, unlike strerror.
    const QString osReason = reason.isEmpty()
        ? QString::fromLocal8Bit(std::system_category().message(errorCode))
        : reason;
    throw FileSystemError(u"Couldn't %1: %2."_s.arg(action, osReason), errorCode);
}

QString readAction(const QString &path) { return u"read "_s + quoted(path); }
QString createFolderAction(const QString &path) { return u"create the folder "_s + quoted(path); }
QString removeAction(const QString &path) { return u"remove "_s + quoted(path); }
QString copyAction(const QString &from, const QString &to)
{
    return u"copy %1 to %2"_s.arg(quoted(from), quoted(to));
}
QString attributesAction(const QString &path) { return u"read the attributes of "_s + quoted(path); }

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

template<typename Call>
auto retryOnInterrupt(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
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

ResourceValues valuesFrom(const struct stat &status)
{
    const timespec modified = modificationTime(status);
    const qint64 milliseconds = qint64(modified.tv_sec) * 1000 + modified.tv_nsec / 1'000'000;
    return {S_ISDIR(status.st_mode) != 0, QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC)};
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) noexcept : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor &operator=(FileDescriptor &&) = delete;

    [[nodiscard]] int get() const noexcept { return m_fd; }
    [[nodiscard]] bool isOpen() const noexcept { return m_fd >= 0; }

    /// Closes now so that a late write error (as network volumes report them) is seen;
    /// returns 0 or an errno value.
    int close() noexcept
    {
        const int result = ::close(std::exchange(m_fd, -1));
        // After EINTR the descriptor is gone on Linux and macOS; retrying could close another's.
        return result == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int m_fd;
};

FileDescriptor openFile(const QByteArray &path, int flags, mode_t mode = 0)
{
    return FileDescriptor(retryOnInterrupt([&] { return ::open(path.constData(), flags | O_CLOEXEC, mode); }));
}

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

/// Fills the freshly created `target` with the source's data, permission bits and dates, and
/// closes it; returns 0 or an errno value.
int fillCopy(int source, const struct stat &sourceStatus, FileDescriptor &target, bool durable)
{
    if (const int error = copyData(source, target.get(), sourceStatus.st_size))
        return error;
    // Set-user/group-ID bits are not carried over: a copy must not mint privileges. Volumes
    // without Unix permissions (FAT, exFAT) refuse the change; the data still counts.
    if (::fchmod(target.get(), sourceStatus.st_mode & 0777) != 0
        && errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP) {
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

/// Creates `target` (failing with EEXIST when anything is there) and copies the open source
/// into it; a failed copy leaves nothing behind. Returns 0 or an errno value.
int copyToNewFile(int source, const struct stat &sourceStatus, const QByteArray &target, bool durable)
{
    FileDescriptor created = openFile(target, O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (!created.isOpen())
        return errno;
    struct stat createdStatus;
    if (::fstat(created.get(), &createdStatus) != 0) {
        const int error = errno;
        ::unlink(target.constData());
        return error;
    }
    const int error = fillCopy(source, sourceStatus, created, durable);
    if (error)
        discardCreated(target, createdStatus);
    return error;
}

/// Opens the source of a copy and checks it is a regular file (a link is followed).
FileDescriptor openCopySource(const QByteArray &from, struct stat &status, const QString &action)
{
    // Non-blocking, so that a named pipe in the wrong place cannot hang the caller.
    FileDescriptor source = openFile(from, O_RDONLY | O_NONBLOCK);
    if (!source.isOpen() || ::fstat(source.get(), &status) != 0)
        fail(action, errno);
    if (S_ISDIR(status.st_mode))
        fail(action, EISDIR);
    if (!S_ISREG(status.st_mode))
        fail(action, EINVAL, u"Not a regular file"_s);
    return source;
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

} // namespace

// ---- Public operations ------------------------------------------------------------------------

QByteArray readWholeFile(const QString &path)
{
    // Worded up front, so that nothing runs between a failing call and the reading of errno.
    const QString action = readAction(path);
    const QByteArray native = nativePathOrFail(path, action);
    FileDescriptor file = openFile(native, O_RDONLY | O_NONBLOCK);
    struct stat status;
    if (!file.isOpen() || ::fstat(file.get(), &status) != 0)
        fail(action, errno);
    if (S_ISDIR(status.st_mode))
        fail(action, EISDIR);
    // Non-blocking was only for the open; a pipe or device must be read normally.
    if (!S_ISREG(status.st_mode))
        ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);

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

bool itemExists(const QString &path) noexcept
{
    const auto native = nativePath(path);
    struct stat status;
    // A dangling link counts: whoever asks next writes or removes at this path, and must
    // not create a file through the link wherever it points.
    return native && ::lstat(native->constData(), &status) == 0;
}

bool isFolder(const QString &path, bool followLinks) noexcept
{
    const auto native = nativePath(path);
    struct stat status;
    const int result = !native ? -1 : followLinks ? ::stat(native->constData(), &status)
                                                  : ::lstat(native->constData(), &status);
    return result == 0 && S_ISDIR(status.st_mode);
}

std::optional<qint64> fileSize(const QString &path) noexcept
{
    const auto native = nativePath(path);
    if (!native)
        return std::nullopt;
    struct stat status;
    if (::stat(native->constData(), &status) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG)
            return std::nullopt;
        return 0;
    }
    if (S_ISDIR(status.st_mode))
        return std::nullopt;
    return qint64(status.st_size);
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
    // Climb to the nearest level that exists or can be made, then make the missing ones below.
    std::vector<qsizetype> missing;
    qsizetype end = native.size();
    for (;;) {
        const QByteArray level = native.left(end);
        if (::mkdir(level.constData(), 0777) == 0)
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
        if (::mkdir(folder.constData(), 0777) != 0) {
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

void copyItem(const QString &from, const QString &to)
{
    const QString action = copyAction(from, to);
    const QByteArray nativeFrom = nativePathOrFail(from, action);
    const QByteArray nativeTo = nativePathOrFail(to, action);
    struct stat sourceStatus;
    const FileDescriptor source = openCopySource(nativeFrom, sourceStatus, action);
    if (const int error = copyToNewFile(source.get(), sourceStatus, nativeTo, false))
        fail(action, error);
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
    const FileDescriptor source = openCopySource(nativeFrom, sourceStatus, action);
    // One file under two names (the same path, a hard link, two libraries sharing a folder)
    // already is its own copy.
    if (targetExists && ::stat(nativeTo.constData(), &targetStatus) == 0
        && targetStatus.st_dev == sourceStatus.st_dev && targetStatus.st_ino == sourceStatus.st_ino) {
        return;
    }

    // The copy reaches the disk before it takes the old file's place, so that a crash cannot
    // leave an empty file where a good one was. With nothing to replace there is nothing to
    // lose, and the flush (milliseconds per file) is saved.
    const bool durable = targetExists;
    QByteArray temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temporary = temporaryPathBeside(nativeTo);
        error = copyToNewFile(source.get(), sourceStatus, temporary, durable);
    }
    if (error)
        fail(action, error);
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
    const int fd = retryOnInterrupt(
        [&] { return ::open(native->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return;
    DIR *entries = ::fdopendir(fd);
    if (!entries) {
        ::close(fd);
        return;
    }
    while (const dirent *entry = ::readdir(entries)) {
        // A folder or link that happens to carry such a name was not made by replaceItem.
        struct stat status;
        if (isTemporaryName(entry->d_name) && ::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(status.st_mode)) {
            ::unlinkat(fd, entry->d_name, 0);
        }
    }
    ::closedir(entries);
}

ResourceValues resourceValues(const QString &path)
{
    const QString action = attributesAction(path);
    const QByteArray native = nativePathOrFail(path, action);
    struct stat status;
    if (::lstat(native.constData(), &status) != 0)
        fail(action, errno);
    return valuesFrom(status);
}

// ---- Deep walk ---------------------------------------------------------------------------------

struct DeepWalk::State
{
    struct Level
    {
        DIR *folder;
        QString path;
    };
    // An explicit stack instead of recursion: depth costs one open folder per level, no stack frames.
    std::vector<Level> levels;
    bool opened = false;

    ~State()
    {
        for (const Level &level : levels)
            ::closedir(level.folder);
    }

    void push(int fd, QString path)
    {
        if (DIR *folder = ::fdopendir(fd))
            levels.push_back({folder, std::move(path)});
        else
            ::close(fd);
    }
};

DeepWalk::DeepWalk(const QString &folder)
    : m_state(std::make_unique<State>())
{
    const auto native = nativePath(folder);
    if (!native)
        return;
    // The root itself may be a link (an artwork folder kept on another volume); only links
    // met inside the walk are left alone.
    const int fd = retryOnInterrupt(
        [&] { return ::open(native->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return;
    QString root = folder;
    if (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    m_state->push(fd, root);
    m_state->opened = !m_state->levels.empty();
}

DeepWalk::~DeepWalk() = default;

bool DeepWalk::isValid() const
{
    return m_state->opened;
}

std::optional<DeepWalk::Item> DeepWalk::next()
{
    auto &levels = m_state->levels;
    while (!levels.empty()) {
        const int folderFd = ::dirfd(levels.back().folder);
        const dirent *entry = ::readdir(levels.back().folder);
        if (!entry) {
            // End of the folder, or an error reading it: either way there is no more to get here.
            ::closedir(levels.back().folder);
            levels.pop_back();
            continue;
        }
        const char *name = entry->d_name;
        // Also passes over "." and "..".
        if (name[0] == '.')
            continue;
        struct stat status;
        if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
#if defined(UF_HIDDEN)
        if (status.st_flags & UF_HIDDEN)
            continue;
#endif
        const QString decodedName = QFile::decodeName(name);
#if !defined(__APPLE__)
        // A name that is not valid in the file-name encoding cannot be named again through a
        // QString path; any operation on it would reach some other item or none.
        if (QFile::encodeName(decodedName) != name)
            continue;
#endif
        const QString &parent = levels.back().path;
        QString path = parent.endsWith(u'/') ? parent + decodedName : parent + u'/' + decodedName;

        if (S_ISLNK(status.st_mode)) {
            // A link to a file stands for its content; a link to a folder is never followed, and
            // a dangling link has nothing to offer.
            if (::fstatat(folderFd, name, &status, 0) != 0 || S_ISDIR(status.st_mode))
                continue;
        } else if (S_ISDIR(status.st_mode)) {
            // Without following links, so nothing swapped in since fstatat leads elsewhere. An
            // unreadable folder is still reported, only its content is passed over.
            const int child = retryOnInterrupt([&] {
                return ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            });
            if (child >= 0)
                m_state->push(child, path);
        }
        return Item{std::move(path), valuesFrom(status)};
    }
    return std::nullopt;
}

} // namespace FileSystem
} // namespace quaverly
