#pragma once

#include <QString>

namespace quaverly {

/// What kind of volume holds a path. A volume reached over a network (NFS, SMB, AFS, Ceph…) or
/// through a user-space file system costs a round trip for every file operation, so work spread
/// over a few files at once goes faster there; on a local disk it does not:
///
///     const int copiesAtOnce = Volume::isLocalDisk(folder) ? 1 : Volume::requestsAtOnce;
///
/// Safe to call from any thread.
namespace Volume {

/// How many file operations to keep under way on a volume reached over a network: enough to
/// hide most of their round trips, measured on a volume that answers each after 1 ms.
constexpr int requestsAtOnce = 16;

/// False when the volume that holds `path`, or its nearest existing parent, is known to be reached
/// over a network or through a user-space file system; true otherwise, also when it cannot be
/// asked. Never fails.
[[nodiscard]] bool isLocalDisk(const QString &path) noexcept;

} // namespace Volume
} // namespace quaverly
