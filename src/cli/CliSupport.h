#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace quaverly::cli {

enum ExitCode : int { exitSuccess = 0, exitFailure = 1, exitUsage = 2, exitSkipped = 3 };

/// `quaverly-cli scan LIBRARY.xml [--json]`.
int runScanCommand(const QStringList &arguments);
/// `quaverly-cli plan SOURCE.xml DEST.xml [--json] [--source-media FOLDER] [--destination-media FOLDER]`.
int runPlanCommand(const QStringList &arguments);
/// `quaverly-cli sync SOURCE.xml DEST.xml [--source-media FOLDER] [--destination-media FOLDER]`.
int runSyncCommand(const QStringList &arguments);

/// The text of `quaverly-cli --help`.
[[nodiscard]] QString usageText();

/// Writes `text` and a line break to standard output, or to standard error.
void printLine(const QString &text);
void printErrorLine(const QString &text);

/// Reports bad usage (`problem` and the usage text on standard error); returns exitUsage.
int usageError(const QString &problem);

/// The file URL for a library path given on the command line (relative to the working folder).
[[nodiscard]] QUrl libraryUrl(const QString &argument);

} // namespace quaverly::cli
