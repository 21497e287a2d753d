#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QLocale>

#include <gtest/gtest.h>

// Widget tests need a QApplication, and must never need a display, a user or a particular screen. The default locale
// groups thousands, so that any count printed through the locale instead of as plain digits shows.
int main(int argc, char **argv)
{
    // The screen of a 1366×768 laptop at 125 %, whatever the machine has.
    const QTemporaryDir config;
    QFile screens(config.filePath(QStringLiteral("screens.json")));
    if (!config.isValid() || !screens.open(QIODevice::WriteOnly)
        || screens.write(R"({"screens": [{"name": "Laptop", "x": 0, "y": 0, "width": 1093, "height": 614,
                            "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
        return 1;
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens.fileName()));
    // What a sync removes goes to the Trash: the test run's own, never the user's.
    const QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
