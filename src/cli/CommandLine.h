#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace quaverly::cli {

/// One command of quaverly-cli: what its help says, the options it takes (each declared here
/// once) and what it does. For example
/// `Command{.name = u"scan"_s, .arguments = {{u"LIBRARY.xml"_s, u"The library file."_s}}, …}`.
struct Command
{
    struct Argument
    {
        QString name;
        QString description;
    };

    QString name;
    /// The file arguments, all of them required.
    QList<Argument> arguments;
    /// Wrapped by hand, one paragraph or more.
    QString description;
    QList<QCommandLineOption> options;
    /// The sentence for a wrong number of file arguments.
    QString wrongArguments;
    /// Runs with the options parsed and the file arguments counted; returns the exit status.
    std::function<int(const QCommandLineParser &parsed)> run;
};

[[nodiscard]] Command scanCommand();
[[nodiscard]] Command planCommand();
[[nodiscard]] Command syncCommand();

/// Parses `arguments` (the program's own name first), runs the command they name and returns
/// the exit status; bad usage says what was wrong and exits with exitUsage.
[[nodiscard]] int runCommandLine(const QStringList &arguments);

} // namespace quaverly::cli
