#include "cli/CommandLine.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quaverly-cli"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUAVERLY_VERSION));
    return quaverly::cli::runCommandLine(QCoreApplication::arguments());
}
