#include "cli/CliSupport.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;
using namespace quaverly::cli;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quaverly-cli"_s);

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty())
        return usageError(u"No command given."_s);
    const QString command = arguments.takeFirst();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        printLine(usageText());
        return exitSuccess;
    }
    if (command == u"scan")
        return runScanCommand(arguments);
    if (command == u"plan")
        return runPlanCommand(arguments);
    if (command == u"sync")
        return runSyncCommand(arguments);
    return usageError(u"Unknown command \"%1\"."_s.arg(command));
}
