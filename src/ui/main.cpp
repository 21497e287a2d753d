#include "ui/QuaverlyApp.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Without a display Qt aborts with a message about platform plugins; say plainly what is wrong.
bool lacksDisplay(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return false;
    }
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}

} // namespace

int main(int argc, char **argv)
{
    if (lacksDisplay(argc, argv)) {
        std::fprintf(stderr,
                     "Quaverly needs a graphical display and none was found (DISPLAY and WAYLAND_DISPLAY are unset); "
                     "to try it without one, run it under a virtual display: xvfb-run %s\n",
                     argv[0]);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Quaverly"_s);
    QGuiApplication::setDesktopFileName(u"" QUAVERLY_APP_ID ""_s);
    QApplication::setWindowIcon(QIcon(u":/app/" QUAVERLY_APP_ID ".svg"_s));
    // The shell decides when to quit: not before a closed window's sync has ended.
    QApplication::setQuitOnLastWindowClosed(false);

    quaverly::QuaverlyApp shell;
    QObject::connect(&shell, &quaverly::QuaverlyApp::finished, &app, [] { QCoreApplication::exit(0); });
    shell.openWindow();
    return QApplication::exec();
}
