#include "cli/CliSupport.h"

#include "platform/LocalFile.h"
#include "scanner/MusicLibraryScanner.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace quaverly::cli {

namespace {

QByteArray libraryJson(const MusicLibrary &library)
{
    QList<const Track *> tracks;
    tracks.reserve(library.tracks.size());
    for (const Track &track : library.tracks)
        tracks.append(&track);
    std::sort(tracks.begin(), tracks.end(),
              [](const Track *a, const Track *b) { return a->persistentID < b->persistentID; });

    QJsonArray trackArray;
    for (const Track *track : std::as_const(tracks))
        trackArray.append(track->toJson());
    QJsonArray playlistArray;
    for (const Playlist &playlist : library.playlists)
        playlistArray.append(playlist.toJson());

    QJsonObject object;
    object.insert(u"tracks"_s, trackArray);
    object.insert(u"playlists"_s, playlistArray);
    object.insert(u"artworkCacheURL"_s,
                  library.artworkCacheURL
                      ? QJsonValue(library.artworkCacheURL->toString(QUrl::FullyEncoded))
                      : QJsonValue(QJsonValue::Null));
    object.insert(u"musicFolderURL"_s,
                  library.musicFolderURL ? QJsonValue(library.musicFolderURL->toString(QUrl::FullyEncoded))
                                         : QJsonValue(QJsonValue::Null));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void printSummary(const MusicLibrary &library, qint64 elapsedMs)
{
    std::map<Playlist::PlaylistKind, qsizetype> byKind;
    for (const Playlist &playlist : library.playlists)
        ++byKind[playlist.kind];
    QStringList kinds;
    for (const auto &[kind, count] : byKind)
        kinds.append(u"%1 %2"_s.arg(Playlist::rawValue(kind)).arg(count));

    printLine(u"Tracks: %1"_s.arg(library.tracks.size()));
    printLine(kinds.isEmpty() ? u"Playlists: 0"_s
                              : u"Playlists: %1 (%2)"_s.arg(library.playlists.size())
                                                     .arg(kinds.join(u", "_s)));
    printLine(u"Artwork folder: %1"_s.arg(library.artworkCacheURL
                                              ? library.artworkCacheURL->toLocalFile()
                                              : u"none"_s));
    printLine(u"Media folder: %1"_s.arg(library.musicFolderURL ? localFilePath(*library.musicFolderURL).value_or(QString())
                                                               : u"none"_s));
    printLine(u"Time: %1 s"_s.arg(double(elapsedMs) / 1000.0, 0, 'f', 3));
}

} // namespace

int runScanCommand(const QStringList &arguments)
{
    bool json = false;
    QStringList paths;
    for (const QString &argument : arguments) {
        if (argument == u"--json")
            json = true;
        else if (argument.startsWith(u'-'))
            return usageError(u"Unknown option \"%1\" for scan."_s.arg(argument));
        else
            paths.append(argument);
    }
    if (paths.size() != 1)
        return usageError(u"scan takes exactly one library file."_s);

    try {
        QElapsedTimer timer;
        timer.start();
        const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(libraryUrl(paths.first()));
        const qint64 elapsed = timer.elapsed();
        if (json) {
            const QByteArray bytes = libraryJson(library);
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
            std::fputc('\n', stdout);
        } else {
            printSummary(library, elapsed);
        }
        return exitSuccess;
    } catch (...) {
        // Out of memory too: one sentence, never an abort.
        printErrorLine(failureSentence(std::current_exception()));
        return exitFailure;
    }
}

} // namespace quaverly::cli
