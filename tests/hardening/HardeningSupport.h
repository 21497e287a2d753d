#pragma once

#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/mount.h>
#include <unistd.h>
#endif

// Readable failure messages: texts as UTF-8, digests in hexadecimal.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray &bytes, std::ostream *out) { *out << bytes.toHex().toStdString(); }

namespace quaverly::hardening {

using namespace Qt::StringLiterals;

using test::writeFile;

/// Relative path → digest of every file below `root`, hidden ones included.
[[nodiscard]] inline QMap<QString, QByteArray> treeDigest(const QString &root)
{
    QMap<QString, QByteArray> digests;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        digests.insert(QDir(root).relativeFilePath(path),
                       file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5)
                                                      : QByteArrayLiteral("unreadable"));
    }
    return digests;
}

/// The entries of `digests` whose name marks a replaceItem temporary.
[[nodiscard]] inline std::vector<std::string> temporaries(const QMap<QString, QByteArray> &digests)
{
    std::vector<std::string> found;
    for (const QString &path : digests.keys()) {
        if (path.contains(u".quaverly-"_s))
            found.push_back(path.toStdString());
    }
    return found;
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

    /// Makes the mount read-only; false when that fails.
    [[nodiscard]] bool makeReadOnly() const
    {
#if defined(__linux__)
        return !m_skipReason && ::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
#else
        return false;
#endif
    }

private:
    QByteArray m_path;
    std::optional<QString> m_skipReason;
};

} // namespace quaverly::hardening
