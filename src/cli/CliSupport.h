#pragma once

#include <QString>
#include <QUrl>

namespace quaverly::cli {

enum ExitCode : int { exitSuccess = 0, exitFailure = 1, exitUsage = 2, exitSkipped = 3 };

/// Writes `text` and a line break to standard output, or to standard error.
void printLine(const QString &text);
void printErrorLine(const QString &text);

/// The file URL for a library path given on the command line (relative to the working folder).
[[nodiscard]] QUrl libraryUrl(const QString &argument);

} // namespace quaverly::cli
