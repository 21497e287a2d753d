#include "platform/LocalFile.h"

using namespace Qt::StringLiterals;

namespace quaverly {

std::optional<QString> localFilePath(const QUrl &url)
{
    if (url.scheme().compare(u"file"_s, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // QUrl::toLocalFile() would turn any host into a UNC-style "//host/…" path; a library
    // file written on this machine may say "localhost", which names the same files.
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(u"localhost"_s, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QString path = url.path(QUrl::FullyDecoded);
    // An encoded NUL would cut the path short at the system call and name another file.
    if (!path.startsWith(u'/') || path.contains(QChar(u'\0')))
        return std::nullopt;
    // Bytes that are not UTF-8 decode to U+FFFD: the path would name another file, or one
    // shared by every such location.
    if (path.contains(QChar::ReplacementCharacter)) {
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (QString::fromUtf8(bytes).toUtf8() != bytes)
            return std::nullopt;
    }
    return path;
}

} // namespace quaverly
