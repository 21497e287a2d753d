#include "cli/CliSupport.h"
#include "cli/CommandLine.h"

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

int scan(const QString &path, bool json)
{
    try {
        QElapsedTimer timer;
        timer.start();
        const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(libraryUrl(path));
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

} // namespace

Command scanCommand()
{
    const QCommandLineOption json(u"json"_s,
                                  uR"(Prints {"tracks": [...], "playlists": [...], "artworkCacheURL": ..., )"
                                  uR"("musicFolderURL": ...} instead: tracks sorted by persistent ID, )"
                                  uR"(playlists in file order.)"_s);
    return {.name = u"scan"_s,
            .arguments = {{u"LIBRARY.xml"_s, u"The library file to read."_s}},
            .description = uR"(Reads one library file and prints the number of tracks, the playlists by
kind, the "Album Artwork" folder (or none), the media folder the file records
(or none) and the time taken.)"_s,
            .options = {json},
            .wrongArguments = u"scan takes exactly one library file."_s,
            .run = [json](const QCommandLineParser &parsed) {
                return scan(parsed.positionalArguments().constFirst(), parsed.isSet(json));
            }};
}

} // namespace quaverly::cli
