#include "engine/Placement.h"

#include "platform/LocalFile.h"

#include <QList>
#include <QStringView>

using namespace Qt::StringLiterals;

namespace quaverly::Placement {

namespace {

// The part of a normalised `path` after the normalised `folder` and its separator, or nothing
// when `path` does not lie strictly inside `folder`. Comparing whole components is what keeps
// ".../Music2/x" from counting as inside ".../Music".
std::optional<QStringView> relativePart(const QString &path, const QString &folder)
{
    const bool pathIsAbsolute = path.startsWith(u'/');
    if (pathIsAbsolute != folder.startsWith(u'/'))
        return std::nullopt;
    if (folder == u"/"_s)
        return path.size() > 1 ? std::optional(QStringView(path).mid(1)) : std::nullopt;
    QStringView rest;
    if (folder == u".") {
        if (path == u".")
            return std::nullopt;
        rest = path;
    } else if (folder.isEmpty() || path.size() <= folder.size() + 1 || !path.startsWith(folder)
               || path.at(folder.size()) != u'/') {
        return std::nullopt;
    } else {
        rest = QStringView(path).mid(folder.size() + 1);
    }
    // Only a relative path keeps leading "..": below "..", "../x" climbs out again.
    if (rest == u".." || rest.startsWith(u"../"))
        return std::nullopt;
    return rest;
}

// True for an absolute path without empty, "." or ".." segments and without a trailing separator:
// what normalisedPath() would give back unchanged. Most paths are, and a scan tells so without
// building the list of segments.
bool isNormalised(QStringView path)
{
    if (path == u"/")
        return true;
    if (!path.startsWith(u'/') || path.endsWith(u'/'))
        return false;
    qsizetype start = 1;
    while (start <= path.size()) {
        qsizetype end = path.indexOf(u'/', start);
        if (end < 0)
            end = path.size();
        const QStringView segment = path.sliced(start, end - start);
        if (segment.isEmpty() || segment == u"." || segment == u"..")
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

std::optional<QString> localPath(const QUrl &url)
{
    if (!url.isValid())
        return std::nullopt;
    const std::optional<QString> path = localFilePath(url);
    return path ? std::optional(normalisedPath(*path)) : std::nullopt;
}

QString normalisedPath(const QString &path)
{
    if (isNormalised(path))
        return path;
    const bool absolute = path.startsWith(u'/');
    QList<QStringView> kept;
    for (const QStringView segment : QStringView(path).split(u'/')) {
        if (segment.isEmpty() || segment == u".")
            continue;
        if (segment == u"..") {
            if (!kept.isEmpty() && kept.constLast() != u"..") {
                kept.removeLast();
            } else if (!absolute) {
                // Nothing to climb out of in a relative path: the step stays.
                kept.append(segment);
            }
            continue;
        }
        kept.append(segment);
    }

    QString result;
    result.reserve(path.size());
    for (const QStringView segment : kept) {
        if (absolute || !result.isEmpty())
            result.append(u'/');
        result.append(segment);
    }
    if (result.isEmpty())
        return absolute ? u"/"_s : u"."_s;
    return result;
}

QString parentPath(const QString &path)
{
    const qsizetype separator = path.lastIndexOf(u'/');
    return separator <= 0 ? u"/"_s : path.left(separator);
}

QString appendedPath(const QString &folder, QStringView relative)
{
    while (relative.startsWith(u'/'))
        relative = relative.mid(1);
    QString path = folder;
    while (path.endsWith(u'/'))
        path.chop(1);
    path.reserve(path.size() + 1 + relative.size());
    path.append(u'/');
    path.append(relative);
    return path;
}

bool isInside(const QString &path, const QString &folder)
{
    return relativePart(normalisedPath(path), normalisedPath(folder)).has_value();
}

QString targetPath(const QString &sourcePath, const QString &sourceFolder,
                   const QString &destinationFolder)
{
    const QString source = normalisedPath(sourcePath);
    const QString destination = normalisedPath(destinationFolder);

    // The relative part of a normalised path inside a folder holds no "..", so the target
    // cannot climb out of the destination folder.
    if (const std::optional<QStringView> relative = relativePart(source, normalisedPath(sourceFolder)))
        return appendedPath(destination, *relative);
    const QStringView fileName = QStringView(source).mid(source.lastIndexOf(u'/') + 1);
    if (fileName.isEmpty() || fileName == u"." || fileName == u"..")
        return {};
    return appendedPath(destination, fileName);
}

} // namespace quaverly::Placement
