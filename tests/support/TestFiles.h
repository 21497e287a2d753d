#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <optional>

namespace quaverly::test {

/// Writes `contents` at `path`, creating the missing folders; false when that fails.
[[nodiscard]] inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(contents) == contents.size();
}

/// The bytes of the file at `path`, or nothing when it cannot be read.
[[nodiscard]] inline std::optional<QByteArray> contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? std::optional(file.readAll()) : std::nullopt;
}

} // namespace quaverly::test
