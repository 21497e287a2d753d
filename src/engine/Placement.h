#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace quaverly::Placement {

/// The local path of a `file:` URL whose host is empty or "localhost", with `.` and `..`
/// segments resolved lexically; nothing for any other URL, or one whose path holds a NUL or
/// percent-encoded bytes that are not UTF-8.
[[nodiscard]] std::optional<QString> localPath(const QUrl &url);

/// `path` with `.`, `..` and repeated separators resolved lexically (no file-system access).
[[nodiscard]] QString normalisedPath(const QString &path);

/// The folder that holds the item at the normalised `path`; "/" for an item at the root.
[[nodiscard]] QString parentPath(const QString &path);

/// `relative` appended to `folder` with exactly one separator between them.
[[nodiscard]] QString appendedPath(const QString &folder, QStringView relative);

/// True when `path` lies strictly inside `folder`, compared by path components after
/// normalising both.
[[nodiscard]] bool isInside(const QString &path, const QString &folder);

/// Where a track stored at `sourcePath` lands under `destinationFolder`: at the same
/// relative place when it lies inside `sourceFolder`, otherwise directly in
/// `destinationFolder` under its file name. The result always lies inside `destinationFolder`;
/// it is empty when `sourcePath` names no file (the root).
[[nodiscard]] QString targetPath(const QString &sourcePath, const QString &sourceFolder,
                                 const QString &destinationFolder);

} // namespace quaverly::Placement
