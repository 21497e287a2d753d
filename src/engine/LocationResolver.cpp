#include "engine/LocationResolver.h"

#include "engine/Placement.h"
#include "platform/FileSystem.h"

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

// A library file is never media: whatever a library lists, a run neither writes nor deletes one.
bool isLibraryFile(const QString &path)
{
    return path.endsWith(u".xml"_s, Qt::CaseInsensitive) || path.endsWith(u".plist"_s, Qt::CaseInsensitive);
}

QString lastComponentOf(const QString &normalised)
{
    return normalised.mid(normalised.lastIndexOf(u'/') + 1);
}

} // namespace

LocationResolver::LocationResolver(const QUrl &libraryFolder)
    : m_libraryFolder(libraryFolder.isEmpty() ? std::nullopt : Placement::localPath(libraryFolder))
{
}

QUrl LocationResolver::libraryFolderURL(const QUrl &libraryFile)
{
    // A trailing separator would otherwise make the file itself count as that folder.
    return libraryFile.adjusted(QUrl::StripTrailingSlash)
        .adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

LocationResolver LocationResolver::forLibrary(const MusicLibrary &library, const std::optional<QString> &mediaFolder)
{
    LocationResolver resolver(libraryFolderURL(library.xmlURL));
    const std::optional<QString> recorded =
        library.musicFolderURL ? Placement::localPath(*library.musicFolderURL) : std::nullopt;
    // The root has no name to look for, and every path would lie inside it.
    if (!recorded || *recorded == u"/")
        return resolver;

    const QString recordedLibraryFolder = Placement::parentPath(*recorded);
    const bool writtenHere = resolver.m_libraryFolder && *resolver.m_libraryFolder == recordedLibraryFolder;
    if (mediaFolder) {
        resolver.m_mediaFolder = MediaFolder{*recorded, Placement::normalisedPath(*mediaFolder), true};
        resolver.m_fromAnotherComputer = !writtenHere;
        return resolver;
    }
    if (writtenHere || !resolver.m_libraryFolder)
        return resolver;
    // Only a real folder of that name beside the library file is taken for its media: a link could
    // lead anywhere, and without the folder the file is read as it was written.
    const QString local = Placement::appendedPath(*resolver.m_libraryFolder, lastComponentOf(*recorded));
    if (!FileSystem::isFolder(local, false))
        return resolver;
    resolver.m_mediaFolder = MediaFolder{*recorded, Placement::normalisedPath(local), false};
    resolver.m_fromAnotherComputer = true;
    return resolver;
}

LocationResolver::Resolution LocationResolver::resolve(const std::optional<QUrl> &location) const
{
    const std::optional<QString> path = location ? Placement::localPath(*location) : std::nullopt;
    if (!path || isLibraryFile(*path))
        return {};

    if (m_mediaFolder) {
        const MediaFolder &media = *m_mediaFolder;
        // Both are normalised, so a whole-component prefix is "inside".
        if (path->size() > media.recorded.size() + 1 && path->startsWith(media.recorded)
            && path->at(media.recorded.size()) == u'/') {
            const QStringView below = QStringView(*path).mid(media.recorded.size());
            QString local = Placement::normalisedPath(media.local + below.toString());
            return {Resolution::Kind::file, std::move(local), *path, Placement::parentPath(media.recorded)};
        }
    }
    if (m_fromAnotherComputer)
        return {Resolution::Kind::notOnThisComputer, {}, {}, {}};
    return {Resolution::Kind::file, *path, *path, m_libraryFolder.value_or(QString())};
}

} // namespace quaverly
