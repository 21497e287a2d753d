#include "platform/Volume.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <optional>

#if defined(__APPLE__)
#include <sys/mount.h>
#include <sys/param.h>
#else
#include <sys/vfs.h>
#endif

namespace quaverly::Volume {

namespace {

#if !defined(__APPLE__)
// statfs f_type values of the file systems whose every operation crosses a network or a process
// boundary. Spelled out because the kernel's headers carry only some of them.
constexpr unsigned long remoteTypes[] = {
    0x6969, // NFS
    0x517B, // SMB
    0xFF534D42, // CIFS
    0xFE534D42, // SMB2
    0x65735546, // FUSE: sshfs, rclone, virtiofs and other user-space file systems
    0x01021997, // 9P
    0x5346414F, // AFS
    0x6B414653, // kAFS
    0x00C36400, // Ceph
    0x73757245, // Coda
    0x564C, // NCP
    0x0BD00BD0, // Lustre
    0x47504653, // GPFS
    0x01161970, // GFS2
    0x7461636F, // OCFS2
};
#endif

// Nothing when the item at `native` cannot be asked about, e.g. because it does not exist.
std::optional<bool> localDisk(const QByteArray &native)
{
    struct statfs volume;
    if (::statfs(native.constData(), &volume) != 0)
        return std::nullopt;
#if defined(__APPLE__)
    return (volume.f_flags & MNT_LOCAL) != 0;
#else
    const auto type = static_cast<unsigned long>(volume.f_type) & 0xFFFFFFFFUL;
    for (const unsigned long remote : remoteTypes) {
        if (type == remote)
            return false;
    }
    return true;
#endif
}

} // namespace

bool isLocalDisk(const QString &path) noexcept
{
    try {
        // A folder a run is about to make lies on the volume of the nearest one that exists.
        QByteArray native = QFile::encodeName(path);
        for (;;) {
            if (const std::optional<bool> local = localDisk(native))
                return *local;
            const qsizetype slash = native.lastIndexOf('/');
            if ((errno != ENOENT && errno != ENOTDIR) || native.size() <= 1 || slash < 0)
                return true;
            native.truncate(std::max<qsizetype>(slash, 1));
        }
    } catch (...) {
        return true;
    }
}

} // namespace quaverly::Volume
