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
    return uR"(Usage: quaverly-cli COMMAND [ARGUMENTS]

Reads exported "Music Library.xml" files and brings a destination library's media in step
with a source library. Library files are only ever read.

Commands:
  scan LIBRARY.xml [--json]
      Reads one library file and prints the number of tracks, the playlists by kind,
      the "Album Artwork" folder (or none) and the time taken. With --json, prints
      {"tracks": [...], "playlists": [...], "artworkCacheURL": ...}: tracks sorted by
      persistent ID, playlists in file order.
  plan SOURCE.xml DEST.xml [--json]
      Reads both files and prints what a sync would change: tracks to add, tracks to
      remove, metadata updates and playlists. With --json, prints the whole job.
  sync SOURCE.xml DEST.xml
      Plans as above, then copies the media of new tracks into the destination library
      folder, deletes the media of tracks the source no longer has, and mirrors the
      "Album Artwork" folder. Shows progress on standard error.
  --help
      Shows this text.

Exit status: 0 on success, 1 when reading or syncing failed (the reason is printed on
standard error), 2 for bad usage.)"_s;
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
