#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QLocale>

#include <gtest/gtest.h>

// Widget tests need a QApplication, and must never need a display or a user. The default locale
// groups thousands, so that any count printed through the locale instead of as plain digits shows.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // What a sync removes goes to the Trash: the test run's own, never the user's.
    const QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
