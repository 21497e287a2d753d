#include "PlacementCheck.h"

#include "FuzzCheck.h"

#include "engine/Placement.h"
#include "engine/SyncEngine.h"
#include "model/MusicLibrary.h"
#include "platform/PropertyList.h"
#include "engine/LocationResolver.h"
#include "scanner/MusicLibraryScanner.h"
#include "scanner/TrackExtraction.h"

#include <QList>
#include <QStringList>

#include <optional>

using namespace Qt::StringLiterals;

namespace quaverly::fuzz {

namespace {

// Where a relative folder path from the command line would resolve: somewhere absolute.
const QString kWorkingFolder = u"/fuzz/work"_s;

struct Components
{
    bool absolute = false;
    QStringList parts;
};

// A second, component-wise reading of a path, to hold Placement's text handling against.
Components components(const QString &path)
{
    Components result{path.startsWith(u'/'), {}};
    for (const QString &segment : path.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u".")
            continue;
        if (segment == u"..") {
            if (!result.parts.isEmpty() && result.parts.constLast() != u"..")
                result.parts.removeLast();
            else if (!result.absolute)
                result.parts.append(segment);
            continue;
        }
        result.parts.append(segment);
    }
    return result;
}

QString joined(const Components &path)
{
    if (path.parts.isEmpty())
        return path.absolute ? u"/"_s : u"."_s;
    return (path.absolute ? u"/"_s : QString()) + path.parts.join(u'/');
}

// Inside means: below the folder's components and never climbing back out of them.
bool reallyInside(const QString &path, const QString &folder)
{
    const Components p = components(path);
    const Components f = components(folder);
    if (p.absolute != f.absolute || p.parts.size() <= f.parts.size())
        return false;
    for (qsizetype i = 0; i < f.parts.size(); ++i) {
        if (p.parts.at(i) != f.parts.at(i))
            return false;
    }
    for (qsizetype i = f.parts.size(); i < p.parts.size(); ++i) {
        if (p.parts.at(i) == u"..")
            return false;
    }
    return true;
}

QString describe(const QString &path, const QString &folder)
{
    return u"\"%1\" in \"%2\""_s.arg(path, folder);
}

void checkInside(const QString &path, const QString &folder)
{
    const bool inside = Placement::isInside(path, folder);
    require(!inside || reallyInside(path, folder), "a path isInside() a folder lies inside it",
            describe(path, folder));
    require(inside || !reallyInside(path, folder), "a path inside a folder is found isInside() it",
            describe(path, folder));
}

void checkNormalised(const QString &path)
{
    require(Placement::normalisedPath(path) == joined(components(path)), "normalisedPath() resolves components",
            path);
}

void checkTarget(const QString &source, const QString &sourceFolder, const QString &destinationFolder)
{
    const QString target = Placement::targetPath(source, sourceFolder, destinationFolder);
    if (target.isEmpty())
        return;
    const QString where = u"\"%1\" from \"%2\" for \"%3\""_s.arg(target, source, destinationFolder);
    require(reallyInside(target, destinationFolder), "a target lies inside the destination folder", where);
    require(Placement::isInside(target, destinationFolder), "a target isInside() the destination folder", where);
}

// A Location read from a library file exactly as a scan reads it.
std::optional<QUrl> scannedLocation(const QString &text)
{
    QByteArray escaped;
    for (const char32_t c : text.toUcs4()) {
        if (c == U'&')
            escaped += "&amp;";
        else if (c == U'<')
            escaped += "&lt;";
        else if (c == U'>')
            escaped += "&gt;"; // "]]>" may not stand in text
        else if (c == U'\r')
            escaped += "&#13;";
        else if ((c < 0x20 && c != U'\t') || c == 0xfffe || c == 0xffff)
            continue; // not a character of an XML file
        else
            escaped += QString::fromUcs4(&c, 1).toUtf8();
    }
    const QByteArray file = "<plist><dict><key>Persistent ID</key><string>0</string><key>Location</key><string>"
        + escaped + "</string></dict></plist>";
    const PropertyList document = PropertyList::parse(file);
    const std::optional<Track> track = TrackExtraction(document).parseTrack(document.root());
    require(track.has_value(), "a track entry with a persistent ID is read");
    return track->location;
}

QUrl libraryFileUrl(const QString &text)
{
    if (text.contains(u':'))
        return QUrl(text, QUrl::StrictMode); // as a decoded job names it
    return QUrl::fromLocalFile(text.startsWith(u'/') ? text : kWorkingFolder + u'/' + text);
}

// The "Music Folder" of a library file exactly as a scan reads it.
std::optional<QUrl> scannedMusicFolder(const QString &text)
{
    QString escaped = text.toHtmlEscaped();
    escaped.removeIf([](QChar c) { return (c.unicode() < 0x20 && c != u'\t') || c.isNonCharacter(); });
    const PropertyList document = PropertyList::parse(
        "<plist><dict><key>Music Folder</key><string>" + escaped.toUtf8() + "</string></dict></plist>");
    return MusicLibraryScanner::musicFolderURL(document.root());
}

// With the source's recorded media folder named on this computer, a location under it is read
// inside the named folder; any location of a library from another computer that is read at all
// lies there, and lands inside the destination folder.
QString checkMediaFolder(const std::optional<QUrl> &location, MusicLibrary source, const QString &mediaText,
                         const QString &destinationFolder)
{
    source.musicFolderURL = scannedMusicFolder(mediaText);
    const QString named = kWorkingFolder + u"/Media"_s;
    const LocationResolver resolver = LocationResolver::forLibrary(source, named);
    const LocationResolver::Resolution where = resolver.resolve(location);
    if (where.kind != LocationResolver::Resolution::Kind::file)
        return where.kind == LocationResolver::Resolution::Kind::noFile ? u"no file"_s : u"not on this computer"_s;
    require(where.path.startsWith(u'/') && Placement::normalisedPath(where.path) == where.path,
            "a resolved path is absolute and normalised", where.path);
    if (resolver.readFromAnotherComputer())
        require(reallyInside(where.path, named), "a location of another computer is read in its media folder",
                describe(where.path, named));
    checkTarget(where.placedPath, where.placedAgainst, destinationFolder);
    return u'"' + where.path + u'"';
}

QString show(const std::optional<QString> &path)
{
    return path ? u'"' + *path + u'"' : u"none"_s;
}

} // namespace

QString checkPlacement(QByteArrayView bytes)
{
    QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    while (lines.size() < 4)
        lines.append(QString());
    const QString &locationText = lines.at(0);

    // The raw lines as paths: whatever a caller hands over.
    for (const QString &line : std::as_const(lines).first(3))
        checkNormalised(line);
    checkInside(lines.at(0), lines.at(1));
    checkInside(lines.at(0), lines.at(2));
    checkTarget(lines.at(0), lines.at(1), lines.at(2));

    // The mapping of a run: folders of the two library files, the source file of a copy, the
    // file of a removal.
    MusicLibrary source;
    source.xmlURL = libraryFileUrl(lines.at(1));
    MusicLibrary destination;
    destination.xmlURL = libraryFileUrl(lines.at(2));
    const SyncJob job = SyncEngine::makeJob(source, destination);
    const QString sourceFolder = Placement::localPath(job.sourceLibraryPath).value_or(QString());
    const std::optional<QString> destinationFolder = Placement::localPath(job.destinationLibraryPath);
    const std::optional<QUrl> location = scannedLocation(locationText);
    const std::optional<QString> path = location ? Placement::localPath(*location) : std::nullopt;
    for (const std::optional<QString> &mapped : {std::optional(sourceFolder), destinationFolder, path}) {
        if (!mapped || mapped->isEmpty())
            continue;
        require(mapped->startsWith(u'/') && !mapped->contains(QChar(u'\0')), "a local path is absolute", *mapped);
        require(Placement::normalisedPath(*mapped) == *mapped, "a local path is normalised", *mapped);
    }

    QString target;
    if (path && destinationFolder) {
        target = Placement::targetPath(*path, sourceFolder, *destinationFolder);
        checkTarget(*path, sourceFolder, *destinationFolder);
        checkInside(*path, *destinationFolder);
        if (!target.isEmpty()) {
            // Below the source folder a track keeps its relative place; elsewhere only its name.
            const QStringList parts = components(*path).parts;
            const QStringList kept = reallyInside(*path, sourceFolder)
                ? parts.mid(components(sourceFolder).parts.size())
                : parts.mid(parts.size() - 1);
            require(components(target).parts == components(*destinationFolder).parts + kept,
                    "a target is the destination folder and the track's relative place", target);
        }
        // The artwork mirror places walked files the same way.
        const QString artworkSource = Placement::appendedPath(sourceFolder.isEmpty() ? u"/"_s : sourceFolder,
                                                              u"Album Artwork");
        const QString artworkTarget = Placement::appendedPath(*destinationFolder, u"Album Artwork");
        if (Placement::isInside(*path, artworkSource) && !Placement::isInside(*path, artworkTarget))
            checkTarget(*path, artworkSource, artworkTarget);
    }
    const QString readInMediaFolder = lines.at(3).isEmpty() || !destinationFolder
        ? u"none"_s
        : checkMediaFolder(location, source, lines.at(3), *destinationFolder);
    const auto yesNo = [](bool value) { return value ? u"yes"_s : u"no"_s; };
    return u"path %1, source folder %2, destination folder %3, target %4; line 1 inside line 2: %5, inside line 3: %6; "
           "read with a named media folder: %7"_s
        .arg(show(path), show(sourceFolder), show(destinationFolder),
             show(target.isEmpty() ? std::nullopt : std::optional(target)),
             yesNo(Placement::isInside(lines.at(0), lines.at(1))), yesNo(Placement::isInside(lines.at(0), lines.at(2))),
             readInMediaFolder);
}

} // namespace quaverly::fuzz
