#include "fixtures/LibraryFixture.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using quaverly::test::contentsOf;

namespace {

struct CliResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

CliResult runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUAVERLY_CLI_PATH), arguments);
    EXPECT_TRUE(process.waitForFinished(120'000)) << "quaverly-cli did not finish";
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

using CliTest = quaverly::test::TemporaryFolderTest;

} // namespace

// Each operation the plan lists, and no other, is what the sync does; the library files stay as they were.
TEST_F(CliTest, DoesExactlyTheOperationsItListsAndStopsCleanlyOnAnInterrupt)
{
    const auto pair = quaverly::fixtures::generateDemoPair(m_root.path());
    const QString importList = at(u"Import.m3u8"_s);
    const CliResult planned = runCli({u"plan"_s, pair.source.xmlPath, pair.destination.xmlPath, u"--files"_s, u"--json"_s});
    ASSERT_EQ(planned.exitCode, 0) << planned.err.toStdString();
    const QJsonArray operations = QJsonDocument::fromJson(planned.out.toUtf8()).array();
    ASSERT_FALSE(operations.isEmpty());
    // The engine's own tests check each operation's files; here, that the library files and the
    // source stay as they were.
    const QStringList kept = pair.source.mediaPaths + QStringList{pair.source.xmlPath, pair.destination.xmlPath};
    const auto contentsOfKept = [&] {
        QList<std::optional<QByteArray>> all;
        for (const QString &path : kept)
            all.append(contentsOf(path));
        return all;
    };
    const auto before = contentsOfKept();

    const CliResult synced = runCli({u"sync"_s, pair.source.xmlPath, pair.destination.xmlPath, u"--json"_s,
                                     u"--import-list"_s, importList});
    ASSERT_EQ(synced.exitCode, 0) << synced.err.toStdString();
    EXPECT_TRUE(synced.out.contains(u"\nSync complete\n"_s)) << synced.out.toStdString();
    // What was done is the one line that is a JSON array.
    const QString done = synced.out.mid(synced.out.indexOf(u"\n["_s) + 1).section(u'\n', 0, 0);
    EXPECT_EQ(QJsonDocument::fromJson(done.toUtf8()).array(), operations) << "the run did every listed operation and no other";
    EXPECT_TRUE(contentsOfKept() == before) << "the library files and the source stay as they were";
    QStringList copied;
    for (const QJsonValue &op : operations) {
        if (op[u"operation"_s] == u"copy"_s)
            copied.append(op[u"target"_s].toString());
    }
    EXPECT_EQ(contentsOf(importList), (u"#EXTM3U\n"_s + copied.join(u'\n') + u'\n').toUtf8());

    // A bigger pair, interrupted as soon as its plan is printed.
    quaverly::fixtures::LibraryOptions options;
    options.trackCount = 5000;
    options.playlistCount = 2;
    options.writeMedia = true;
    options.libraryFolder = at(u"Big/Source"_s);
    options.mediaBytes = 512;
    const auto big = quaverly::fixtures::generatePair(options, {.removedTracks = 5000}, at(u"Big/Dest"_s));
    QProcess process;
    process.start(QStringLiteral(QUAVERLY_CLI_PATH), {u"sync"_s, big.source.xmlPath, big.destination.xmlPath});
    ASSERT_TRUE(process.waitForReadyRead(60'000));
    ASSERT_EQ(::kill(pid_t(process.processId()), SIGINT), 0);
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput()).contains(u"\nSync cancelled\n"_s));
    QDirIterator it(big.destination.libraryFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    qsizetype files = 0;
    for (; it.hasNext(); ++files)
        EXPECT_FALSE(it.next().contains(u".quaverly"_s)) << "left behind: " << it.filePath().toStdString();
    EXPECT_LT(files, qsizetype(big.source.mediaPaths.size())) << "the run was stopped before its end";
}

TEST_F(CliTest, SyncsAMountedDestinationSkippingMissingFiles)
{
    // The destination file records the source's folder as its own, as on a second computer.
    const auto pair = quaverly::fixtures::generateDemoPair(m_root.path(), true);
    const QString sourceMedia = pair.source.libraryFolder + u"/Media.localized"_s;
    const QDir source(pair.source.libraryFolder), destination(pair.destination.libraryFolder);
    QStringList added;
    for (const QString &path : pair.source.mediaPaths) {
        if (!QFile::exists(destination.filePath(source.relativeFilePath(path))))
            added.append(path);
    }
    ASSERT_GE(added.size(), 2);
    ASSERT_TRUE(QFile::remove(added.first()));

    const CliResult sync = runCli({u"sync"_s, pair.source.xmlPath, pair.destination.xmlPath});

    EXPECT_EQ(sync.exitCode, 3) << sync.err.toStdString();
    EXPECT_TRUE(sync.out.contains(u"\nDestination library read from another computer: %1 \u2192 %2/Media.localized\n"_s
                                      .arg(sourceMedia, pair.destination.libraryFolder)))
        << sync.out.toStdString();
    EXPECT_TRUE(sync.out.endsWith(u"\nSkipped 1 file not found in the source library:\n  %1\n"_s.arg(added.first())))
        << sync.out.toStdString();
}

TEST_F(CliTest, FailuresPrintOneSentenceAndBadUsageExitsTwo)
{
    const QString missing = at(u"Missing.xml"_s);
    for (const QString &command : {u"scan"_s, u"plan"_s, u"sync"_s}) {
        SCOPED_TRACE(command.toStdString());
        const CliResult failed = runCli(QStringList{command, missing, missing}.first(command == u"scan" ? 2 : 3));
        EXPECT_EQ(failed.exitCode, 1);
        EXPECT_TRUE(failed.out.isEmpty());
        EXPECT_EQ(failed.err, u"Couldn't read \"%1\": No such file or directory.\n"_s.arg(missing));
        EXPECT_EQ(runCli({command}).exitCode, 2);
    }
    EXPECT_EQ(runCli({}).exitCode, 2);

    // A device is no library file, and a file larger than the memory is read in chunks: its
    // first bytes already tell that it is no property list.
    EXPECT_EQ(runCli({u"scan"_s, u"/dev/zero"_s}).err, u"Couldn't read \"/dev/zero\": It is not a regular file.\n"_s);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#else
    QFile huge(at(u"Huge.xml"_s));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(3) << 30));
    huge.close();
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit{rlim_t(1) << 30, rlim_t(1) << 30};
        ::setrlimit(RLIMIT_AS, &limit);
    });
    process.start(QStringLiteral(QUAVERLY_CLI_PATH), {u"scan"_s, huge.fileName()});
    ASSERT_TRUE(process.waitForFinished(120'000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().startsWith("The library file is not a valid property list: "));
#endif
}

TEST_F(CliTest, EachCommandTakesItsOwnOptionsAndShowsItsHelp)
{
    const auto pair = quaverly::fixtures::generateDemoPair(m_root.path());
    const QString source = pair.source.xmlPath, destination = pair.destination.xmlPath;
    const QString media = at(u"Media"_s);
    ASSERT_TRUE(QDir().mkpath(media));
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QString line; // the start of a line of standard output; empty: anything
    };
    const Case cases[] = {
        {{u"--version"_s}, 0, u"quaverly-cli " QUAVERLY_VERSION "\n"_s},
        {{u"sync"_s, u"--help"_s}, 0, u"  --delete-permanently"_s},
        {{u"plan"_s, source, destination, u"--destination-media"_s, media}, 0,
         u"Destination media folder as you named it: %1/Media.localized \u2192 %2"_s.arg(pair.destination.libraryFolder,
                                                                                        media)},
        {{u"plan"_s, source, destination, u"--source-media=%1"_s.arg(media)}, 0,
         u"Source media folder as you named it: %1/Media.localized \u2192 %2"_s.arg(pair.source.libraryFolder, media)},
        // What only a sync does is no option of plan.
        {{u"plan"_s, source, destination, u"--import-list"_s, media}, 2, {}},
        {{u"plan"_s, source, destination, u"--destination-media"_s}, 2, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliResult result = runCli(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE((u'\n' + result.out).contains(u'\n' + c.line)) << result.out.toStdString();
    }
}

TEST_F(CliTest, AnEmptySourceRemovesNothingWithoutConsent)
{
    const auto pair = quaverly::fixtures::generateDemoPair(m_root.path());
    // A property list that is no music library: no "Tracks" at all.
    const QString notALibrary = at(u"Preferences.plist"_s);
    ASSERT_TRUE(quaverly::test::writeFile(notALibrary, "<plist><dict><key>Volume</key><integer>7</integer></dict></plist>"));
    const QString kept = pair.destination.mediaPaths.first();
    ASSERT_TRUE(QFile::exists(kept));

    const CliResult refused = runCli({u"sync"_s, notALibrary, pair.destination.xmlPath});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(u"--allow-mass-removal"_s)) << refused.err.toStdString();
    EXPECT_TRUE(QFile::exists(kept));

    const CliResult allowed = runCli({u"sync"_s, notALibrary, pair.destination.xmlPath, u"--allow-mass-removal"_s});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err.toStdString();
    EXPECT_FALSE(QFile::exists(kept));
}
