#pragma once

#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QMap>

#include <cerrno>
#include <cstring>
#include <optional>

#if defined(__linux__)
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace quaverly::hardening {

using namespace Qt::StringLiterals;

using test::writeFile;

/// Relative path → digest of every file below `root`, hidden ones included.
[[nodiscard]] inline QMap<QString, QByteArray> treeDigest(const QString &root)
{
    QMap<QString, QByteArray> digests;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        digests.insert(QDir(root).relativeFilePath(file.fileName()),
                       file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5)
                                                      : QByteArrayLiteral("unreadable"));
    }
    return digests;
}

/// The names in `digests` that mark a replaceItem temporary.
[[nodiscard]] inline QStringList temporaries(const QMap<QString, QByteArray> &digests)
{
    return QStringList(digests.keys()).filter(u".quaverly-"_s);
}

/// A small tmpfs of its own at `path` (created), unmounted on destruction. Where mounting is
/// impossible (not root, no Linux, a container without the right), skipReason() says why.
class ScratchMount
{
public:
    ScratchMount(const QString &path, const char *options)
        : m_path(QFile::encodeName(path))
    {
#if defined(__linux__)
        if (::geteuid() != 0)
            m_skipReason = u"mounting a tmpfs needs root"_s;
        else if (!QDir().mkpath(path) || ::mount("tmpfs", m_path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options) != 0)
            m_skipReason = u"mounting a tmpfs failed: "_s + QString::fromLocal8Bit(std::strerror(errno));
#else
        Q_UNUSED(options);
        m_skipReason = u"tmpfs mounts need Linux"_s;
#endif
    }
    ~ScratchMount()
    {
#if defined(__linux__)
        if (!m_skipReason)
            ::umount2(m_path.constData(), MNT_DETACH);
#endif
    }
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    [[nodiscard]] const std::optional<QString> &skipReason() const { return m_skipReason; }

private:
    QByteArray m_path;
    std::optional<QString> m_skipReason;
};

} // namespace quaverly::hardening
