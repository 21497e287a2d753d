#include "cli/CommandLine.h"

#include "cli/CliSupport.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace quaverly::cli {

namespace {

const QString program = u"quaverly-cli"_s;

QList<Command> commands()
{
    return {scanCommand(), planCommand(), syncCommand()};
}

QString indented(const QString &text)
{
    QStringList lines = text.split(u'\n');
    for (QString &line : lines) {
        if (!line.isEmpty())
            line.prepend(u"  "_s);
    }
    return lines.join(u'\n');
}

// Qt names the program by the path it was started with; the help names it by its name, so
// that it reads the same wherever the program lies (and help2man finds it).
QString helpText(const QCommandLineParser &parser, const QString &invocation)
{
    QString text = parser.helpText();
    const QString started = u"Usage: "_s + QCoreApplication::arguments().value(0);
    if (text.startsWith(started))
        text.replace(0, started.size(), u"Usage: "_s + invocation);
    while (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

QCommandLineOption helpOption(const QString &description)
{
    return QCommandLineOption({u"h"_s, u"help"_s}, description);
}

/// The command's parser, with its help option unless it is only for listing the options.
void describe(QCommandLineParser &parser, const Command &command, bool withHelp)
{
    if (withHelp) {
        parser.setApplicationDescription(command.description);
        parser.addOption(helpOption(u"Shows this help."_s));
        for (const Command::Argument &argument : command.arguments)
            parser.addPositionalArgument(argument.name, argument.description);
    }
    parser.addOptions(command.options);
}

QString usageLine(const Command &command)
{
    QStringList names;
    for (const Command::Argument &argument : command.arguments)
        names.append(argument.name);
    return u"%1 %2 [options] %3"_s.arg(program, command.name, names.join(u' '));
}

/// The whole help: the program's usage and options, then every command with its options.
QString overallHelp(const QCommandLineParser &parser)
{
    const QList<Command> all = commands();
    QString text = helpText(parser, program);
    QString alternatives;
    for (const Command &command : all)
        alternatives += u"  or:  "_s + usageLine(command) + u'\n';
    text.insert(text.indexOf(u'\n') + 1, alternatives);
    for (const Command &command : all) {
        QCommandLineParser options;
        describe(options, command, false);
        // Past the usage line, the blank line and the heading, Qt's layout of the options.
        const QString list = helpText(options, program).section(u'\n', 3);
        text += u"\n\n%1:\n%2\n\n%3"_s.arg(usageLine(command).mid(program.size() + 1), indented(command.description),
                                          list);
    }
    return text + uR"(

Exit status:
  0    success
  1    reading or syncing failed; the reason is printed on standard error
  2    bad usage
  3    a sync completed but skipped files it could not find
  130  a sync was stopped by SIGINT (Ctrl-C)
  143  a sync was stopped by SIGTERM)"_s;
}

/// Says what was wrong, then the help that shows how it is done; returns exitUsage.
int usageError(const QString &problem, const QString &help)
{
    printErrorLine(problem);
    printErrorLine(QString());
    printErrorLine(help);
    return exitUsage;
}

/// The sentence for options that did not parse.
QString parseProblem(const QCommandLineParser &parser, const QString &context)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty())
        return parser.errorText();
    const QString &name = unknown.constFirst();
    return u"Unknown option \"%1\"%2."_s.arg((name.size() == 1 ? u"-"_s : u"--"_s) + name, context);
}

int runCommand(const Command &command, const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser, command, true);
    const QString help = helpText(parser, program + u' ' + command.name);
    // Qt skips the first argument as the program's name.
    if (!parser.parse(QStringList{program} + arguments))
        return usageError(parseProblem(parser, u" for "_s + command.name), help);
    if (parser.isSet(u"help"_s)) {
        printLine(help);
        return exitSuccess;
    }
    if (parser.positionalArguments().size() != command.arguments.size())
        return usageError(command.wrongArguments, help);
    return command.run(parser);
}

} // namespace

int runCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(uR"(Reads exported "Music Library.xml" files and brings a destination library's
media in step with a source library. Library files are only ever read.

A library file records the paths of the computer that wrote it. When its
media folder ("Music Folder") lies elsewhere on this computer, --source-media
or --destination-media names that folder for the source or the destination
library.)"_s);
    const QCommandLineOption help = helpOption(u"Shows this help; after a command, the help of that command."_s);
    const QCommandLineOption version(u"version"_s, u"Shows the version."_s);
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(u"COMMAND"_s, u"scan, plan or sync, each described below."_s,
                                 u"COMMAND [ARGUMENTS]"_s);
    // Everything after the command is the command's own to parse.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);

    // Qt skips the first argument as the program's name.
    if (!parser.parse(QStringList{program} + arguments.mid(1)))
        return usageError(parseProblem(parser, QString()), overallHelp(parser));
    if (parser.isSet(help)) {
        printLine(overallHelp(parser));
        return exitSuccess;
    }
    if (parser.isSet(version)) {
        printLine(program + u' ' + QCoreApplication::applicationVersion());
        return exitSuccess;
    }
    QStringList rest = parser.positionalArguments();
    if (rest.isEmpty())
        return usageError(u"No command given."_s, overallHelp(parser));
    const QString name = rest.takeFirst();
    if (name == u"help") {
        printLine(overallHelp(parser));
        return exitSuccess;
    }
    for (const Command &command : commands()) {
        if (command.name == name)
            return runCommand(command, rest);
    }
    return usageError(u"Unknown command \"%1\"."_s.arg(name), overallHelp(parser));
}

} // namespace quaverly::cli
