#include "cli/CliSupport.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace quaverly::cli {

namespace {

void writeLine(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QString usageText()
{
    return uR"usage(Usage: quaverly-cli COMMAND [ARGUMENTS]

Reads exported "Music Library.xml" files and brings a destination library's media in step
with a source library. Library files are only ever read.

Commands:
  scan LIBRARY.xml [--json]
      Reads one library file and prints the number of tracks, the playlists by kind,
      the "Album Artwork" folder (or none), the media folder the file records (or none)
      and the time taken. With --json, prints {"tracks": [...], "playlists": [...],
      "artworkCacheURL": ..., "musicFolderURL": ...}: tracks sorted by persistent ID,
      playlists in file order.
  plan SOURCE.xml DEST.xml [--files] [--json] [--source-media FOLDER]
                           [--destination-media FOLDER]
      Reads both files and prints what a sync would change: tracks to add, tracks to
      remove, metadata updates and playlists, then what applies of: a library read from
      another computer, files to copy not found, tracks on the other computer, removals
      kept, copies renamed, and the bytes to copy against the free space. --files adds a
      line per file operation: "copy SRC -> DST", "remove PATH", "keep PATH (reason)",
      "skip PATH (reason)", "artwork SRC -> DST". With --json, prints the whole job, or
      with --files the operations as a JSON array (the rest goes to standard error).
  sync SOURCE.xml DEST.xml [--files] [--json] [--import-list FILE] [--source-media FOLDER]
                           [--destination-media FOLDER] [--allow-mass-removal]
                           [--delete-permanently]
      Plans as above, then copies the media of new tracks into the destination library
      folder, moves the media of tracks the source no longer has to the Trash, and
      mirrors the "Album Artwork" folder. Files to copy that are not found are skipped
      and listed at the end. A file another track still uses is never removed, and a
      copy whose place another file has gets a new name ("x 2.m4a"). Shows progress on
      standard error. A sync that would remove more than 10 tracks and more than half
      of the destination's, or whose source library has no tracks at all, removes
      nothing unless --allow-mass-removal is given. Where the destination volume has no
      Trash, nothing is deleted unless --delete-permanently is given. Only one sync
      runs in a library folder at a time. At the end it says what it did; --files (or
      --json) lists each operation done. --import-list writes FILE, an .m3u8 playlist of
      every file it copied, for adding them to the destination's music application.
      Ctrl-C or SIGTERM stops it before the next file.
  --help
      Shows this text.

A library file records the paths of the computer that wrote it. When its media folder
("Music Folder") lies elsewhere on this computer, --source-media or --destination-media
names that folder for the source or the destination library.

Exit status: 0 on success, 1 when reading or syncing failed (the reason is printed on
standard error), 2 for bad usage, 3 when a sync completed but skipped files it could
not find, 130 or 143 when a sync was stopped by SIGINT or SIGTERM.)usage"_s;
}

void printLine(const QString &text)
{
    writeLine(stdout, text);
}

void printErrorLine(const QString &text)
{
    writeLine(stderr, text);
}

int usageError(const QString &problem)
{
    printErrorLine(problem);
    printErrorLine(QString());
    printErrorLine(usageText());
    return exitUsage;
}

QUrl libraryUrl(const QString &argument)
{
    return QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath());
}

} // namespace quaverly::cli
