// A pass-through file system that stands in for a volume mounted over a network: every request
// on names and metadata waits a set time, as a round trip to a server would; reads and writes
// pass at the speed of the disk below, as a network's bandwidth would.
//
//     bench_latencyfs --root=/backing/folder --latency-ms=1 /mount/point -f
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

struct Options
{
    char *root = nullptr;
    int latencyMs = 1;
};

Options options;
int rootFd = -1;

const fuse_opt optionSpec[] = {
    {"--root=%s", offsetof(Options, root), 0},
    {"--latency-ms=%d", offsetof(Options, latencyMs), 0},
    FUSE_OPT_END,
};

// Set by an operation that libfuse answers with the attributes it reads right after: a server
// sends them with its answer, so that reading costs no round trip of its own.
thread_local bool attributesFollow = false;

// The round trip of one request.
void roundTrip()
{
    if (options.latencyMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options.latencyMs));
}

// The outcome of an operation whose answer carries the attributes.
int withAttributes(int result)
{
    attributesFollow = result >= 0;
    return result < 0 ? -errno : 0;
}

// Paths arrive absolute in the mount; below the root they are relative to its descriptor.
const char *below(const char *path) { return path[1] != '\0' ? path + 1 : "."; }

int outcome(int result) { return result < 0 ? -errno : 0; }

// The operations, named after the calls they answer.
namespace ops {

void *init(fuse_conn_info *, fuse_config *config)
{
    config->use_ino = 1;
    return nullptr;
}

int getattr(const char *path, struct stat *status, fuse_file_info *file)
{
    if (!std::exchange(attributesFollow, false))
        roundTrip();
    return outcome(file ? ::fstat(int(file->fh), status) : ::fstatat(rootFd, below(path), status, AT_SYMLINK_NOFOLLOW));
}

int readlink(const char *path, char *buffer, size_t size)
{
    roundTrip();
    const ssize_t length = ::readlinkat(rootFd, below(path), buffer, size - 1);
    if (length < 0)
        return -errno;
    buffer[length] = '\0';
    return 0;
}

int opendir(const char *path, fuse_file_info *file)
{
    roundTrip();
    const int fd = ::openat(rootFd, below(path), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return -errno;
    DIR *entries = ::fdopendir(fd);
    if (!entries) {
        ::close(fd);
        return -errno;
    }
    file->fh = reinterpret_cast<uint64_t>(entries);
    return 0;
}

int readdir(const char *, void *buffer, fuse_fill_dir_t fill, off_t, fuse_file_info *file, fuse_readdir_flags)
{
    roundTrip();
    DIR *entries = reinterpret_cast<DIR *>(file->fh);
    ::rewinddir(entries);
    while (const dirent *entry = ::readdir(entries)) {
        struct stat status{};
        status.st_ino = entry->d_ino;
        status.st_mode = mode_t(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &status, 0, fuse_fill_dir_flags(0)) != 0)
            break;
    }
    return 0;
}

int releasedir(const char *, fuse_file_info *file)
{
    roundTrip();
    ::closedir(reinterpret_cast<DIR *>(file->fh));
    return 0;
}

int mkdir(const char *path, mode_t mode)
{
    roundTrip();
    return withAttributes(::mkdirat(rootFd, below(path), mode));
}

int unlink(const char *path)
{
    roundTrip();
    return outcome(::unlinkat(rootFd, below(path), 0));
}

int rmdir(const char *path)
{
    roundTrip();
    return outcome(::unlinkat(rootFd, below(path), AT_REMOVEDIR));
}

int symlink(const char *target, const char *path)
{
    roundTrip();
    return withAttributes(::symlinkat(target, rootFd, below(path)));
}

int rename(const char *from, const char *to, unsigned int flags)
{
    roundTrip();
    if (flags != 0)
        return -EINVAL;
    return outcome(::renameat(rootFd, below(from), rootFd, below(to)));
}

int link(const char *from, const char *to)
{
    roundTrip();
    return withAttributes(::linkat(rootFd, below(from), rootFd, below(to), 0));
}

int chmod(const char *path, mode_t mode, fuse_file_info *file)
{
    roundTrip();
    return withAttributes(file ? ::fchmod(int(file->fh), mode) : ::fchmodat(rootFd, below(path), mode, 0));
}

int chown(const char *path, uid_t user, gid_t group, fuse_file_info *file)
{
    roundTrip();
    return withAttributes(file ? ::fchown(int(file->fh), user, group)
                        : ::fchownat(rootFd, below(path), user, group, AT_SYMLINK_NOFOLLOW));
}

int truncate(const char *path, off_t size, fuse_file_info *file)
{
    roundTrip();
    if (file)
        return withAttributes(::ftruncate(int(file->fh), size));
    const int fd = ::openat(rootFd, below(path), O_WRONLY);
    if (fd < 0)
        return -errno;
    const int result = withAttributes(::ftruncate(fd, size));
    ::close(fd);
    return result;
}

int utimens(const char *path, const timespec times[2], fuse_file_info *file)
{
    roundTrip();
    return withAttributes(file ? ::futimens(int(file->fh), times)
                        : ::utimensat(rootFd, below(path), times, AT_SYMLINK_NOFOLLOW));
}

int create(const char *path, mode_t mode, fuse_file_info *file)
{
    roundTrip();
    const int fd = ::openat(rootFd, below(path), file->flags | O_CREAT, mode);
    if (fd < 0)
        return -errno;
    file->fh = uint64_t(fd);
    attributesFollow = true;
    return 0;
}

int open(const char *path, fuse_file_info *file)
{
    roundTrip();
    const int fd = ::openat(rootFd, below(path), file->flags);
    if (fd < 0)
        return -errno;
    file->fh = uint64_t(fd);
    return 0;
}

int read(const char *, char *buffer, size_t size, off_t offset, fuse_file_info *file)
{
    const ssize_t got = ::pread(int(file->fh), buffer, size, offset);
    return got < 0 ? -errno : int(got);
}

int write(const char *, const char *buffer, size_t size, off_t offset, fuse_file_info *file)
{
    const ssize_t put = ::pwrite(int(file->fh), buffer, size, offset);
    return put < 0 ? -errno : int(put);
}

int statfs(const char *, struct statvfs *status)
{
    roundTrip();
    return outcome(::fstatvfs(rootFd, status));
}

int flush(const char *, fuse_file_info *)
{
    roundTrip();
    return 0;
}

int release(const char *, fuse_file_info *file)
{
    roundTrip();
    ::close(int(file->fh));
    return 0;
}

int fsync(const char *, int dataOnly, fuse_file_info *file)
{
    roundTrip();
    return outcome(dataOnly ? ::fdatasync(int(file->fh)) : ::fsync(int(file->fh)));
}

} // namespace ops
} // namespace

int main(int argc, char **argv)
{
    fuse_args args = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&args, &options, optionSpec, nullptr) != 0 || !options.root) {
        std::fputs("usage: bench_latencyfs --root=FOLDER [--latency-ms=N] MOUNTPOINT [FUSE options]\n", stderr);
        return 2;
    }
    rootFd = ::open(options.root, O_RDONLY | O_DIRECTORY);
    if (rootFd < 0) {
        std::perror(options.root);
        return 1;
    }
    fuse_operations operations{};
    operations.init = ops::init;
    operations.getattr = ops::getattr;
    operations.readlink = ops::readlink;
    operations.opendir = ops::opendir;
    operations.readdir = ops::readdir;
    operations.releasedir = ops::releasedir;
    operations.mkdir = ops::mkdir;
    operations.unlink = ops::unlink;
    operations.rmdir = ops::rmdir;
    operations.symlink = ops::symlink;
    operations.rename = ops::rename;
    operations.link = ops::link;
    operations.chmod = ops::chmod;
    operations.chown = ops::chown;
    operations.truncate = ops::truncate;
    operations.utimens = ops::utimens;
    operations.create = ops::create;
    operations.open = ops::open;
    operations.read = ops::read;
    operations.write = ops::write;
    operations.statfs = ops::statfs;
    operations.flush = ops::flush;
    operations.release = ops::release;
    operations.fsync = ops::fsync;
    const int status = fuse_main(args.argc, args.argv, &operations, nullptr);
    fuse_opt_free_args(&args);
    return status;
}
