#include "fixtures/LibraryFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

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

QByteArray digest(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
        : QByteArray();
}

} // namespace

TEST(CliTest, PlansAndSyncsTheDemoPairWithoutTouchingLibraryFiles)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto pair = quaverly::fixtures::generateDemoPair(folder.path());
    const auto &expected = pair.destination.difference;
    const QByteArray sourceXml = digest(pair.source.xmlPath);
    const QByteArray destinationXml = digest(pair.destination.xmlPath);

    const CliResult plan = runCli({u"plan"_s, pair.source.xmlPath, pair.destination.xmlPath});
    ASSERT_EQ(plan.exitCode, 0) << plan.err.toStdString();
    const QStringList lines = plan.out.split(u'\n');
    EXPECT_EQ(lines.mid(0, 4).join(u'\n'), u"Tracks to Add: %1\nTracks to Remove: %2\nMetadata Updates: %3\nPlaylists: %4"_s
                                             .arg(expected.tracksOnlyInBase.size())
                                             .arg(expected.tracksOnlyInVariant.size())
                                             .arg(expected.tracksChanged.size())
                                             .arg(expected.playlistsChanged.size()));
    // One computer, every file there: all that applies is what the copies need.
    EXPECT_TRUE(lines.value(4).startsWith(u"To copy: "_s) && lines.size() == 6) << plan.out.toStdString();

    const CliResult sync = runCli({u"sync"_s, pair.source.xmlPath, pair.destination.xmlPath});
    ASSERT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    // The same plan, but for the free space, which anything else on the machine may change meanwhile.
    EXPECT_TRUE(sync.out.startsWith(lines.mid(0, 4).join(u'\n') + u"\nTo copy: "_s)) << sync.out.toStdString();
    EXPECT_TRUE(sync.out.contains(u"\nSync complete\n"_s)) << sync.out.toStdString();

    // Every source medium now has a twin at the same place under the destination folder, and
    // the destination's other media (its removed tracks') are gone.
    QSet<QString> sourceRelative;
    for (const QString &path : pair.source.mediaPaths) {
        const QString relative = QDir(pair.source.libraryFolder).relativeFilePath(path);
        sourceRelative.insert(relative);
        EXPECT_EQ(digest(QDir(pair.destination.libraryFolder).filePath(relative)), digest(path)) << relative.toStdString();
    }
    for (const QString &path : pair.destination.mediaPaths) {
        if (!sourceRelative.contains(QDir(pair.destination.libraryFolder).relativeFilePath(path))) {
            EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
        }
    }
    EXPECT_EQ(digest(pair.source.xmlPath), sourceXml);
    EXPECT_EQ(digest(pair.destination.xmlPath), destinationXml);
}

TEST(CliTest, SyncsAMountedDestinationSkippingMissingFilesAndReadsANamedMediaFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // The destination file records the source's folder as its own, as on a second computer.
    const auto pair = quaverly::fixtures::generateDemoPair(folder.path(), true);
    const QString sourceMedia = pair.source.libraryFolder + u"/Media.localized"_s;
    const QDir source(pair.source.libraryFolder);
    const QDir destination(pair.destination.libraryFolder);
    QStringList added;
    for (const QString &path : pair.source.mediaPaths) {
        if (!QFile::exists(destination.filePath(source.relativeFilePath(path))))
            added.append(path);
    }
    ASSERT_GE(added.size(), 2);
    ASSERT_TRUE(QFile::remove(added.first()));
    QMap<QString, QByteArray> sourceBefore;
    for (const QString &path : pair.source.mediaPaths)
        sourceBefore.insert(path, digest(path));

    const CliResult sync = runCli({u"sync"_s, pair.source.xmlPath, pair.destination.xmlPath});

    EXPECT_EQ(sync.exitCode, 3) << sync.err.toStdString();
    EXPECT_TRUE(sync.out.contains(u"\nDestination library read from another computer: %1 \u2192 %2/Media.localized\n"_s
                                      .arg(sourceMedia, pair.destination.libraryFolder)))
        << sync.out.toStdString();
    EXPECT_TRUE(sync.out.contains(u"\nSync complete\n"_s)) << sync.out.toStdString();
    EXPECT_TRUE(sync.out.endsWith(u"\nSkipped 1 file not found in the source library:\n  %1\n"_s.arg(added.first())))
        << sync.out.toStdString();
    for (const QString &path : added.mid(1))
        EXPECT_EQ(digest(destination.filePath(source.relativeFilePath(path))), digest(path)) << path.toStdString();
    // The destination's removed tracks went from the destination; the files at the paths it
    // records, this computer's own, stayed.
    for (const QString &path : pair.destination.mediaPaths) {
        if (!QFile::exists(source.filePath(destination.relativeFilePath(path)))) {
            EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
        }
    }
    for (auto it = sourceBefore.cbegin(); it != sourceBefore.cend(); ++it)
        EXPECT_EQ(digest(it.key()), it.value()) << it.key().toStdString();

    // Media moved away is found again where the user says it is.
    const QString moved = folder.filePath(u"Moved"_s);
    ASSERT_TRUE(QDir().rename(sourceMedia, moved));
    const CliResult lost = runCli({u"plan"_s, pair.source.xmlPath, pair.destination.xmlPath});
    const CliResult named = runCli({u"plan"_s, pair.source.xmlPath, pair.destination.xmlPath, u"--source-media"_s, moved});
    EXPECT_TRUE(lost.out.contains(u" files to copy were not found; they will be skipped.\n"_s)) << lost.out.toStdString();
    EXPECT_TRUE(named.out.contains(u"\nSource media folder as you named it: %1 \u2192 %2\n"_s.arg(sourceMedia, moved)))
        << named.out.toStdString();
    EXPECT_TRUE(named.out.contains(u"\n1 file to copy was not found; it will be skipped.\n"_s)) << named.out.toStdString();
}

TEST(CliTest, FailuresPrintOneSentenceAndBadUsageExitsTwo)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString missing = folder.filePath(u"Missing.xml"_s);
    for (const QString &command : {u"scan"_s, u"plan"_s, u"sync"_s}) {
        SCOPED_TRACE(command.toStdString());
        QStringList arguments{command, missing};
        if (command != u"scan")
            arguments.append(missing);
        const CliResult failed = runCli(arguments);
        EXPECT_EQ(failed.exitCode, 1);
        EXPECT_TRUE(failed.out.isEmpty());
        EXPECT_EQ(failed.err, u"Couldn't read \"%1\": No such file or directory.\n"_s.arg(missing));

        EXPECT_EQ(runCli({command}).exitCode, 2);
        EXPECT_EQ(runCli({command, missing, missing, missing, u"--bogus"_s}).exitCode, 2);
    }
    EXPECT_EQ(runCli({}).exitCode, 2);
    EXPECT_EQ(runCli({u"--help"_s}).exitCode, 0);

    // A device is no library file, and a file larger than the memory is read in chunks: its
    // first bytes already tell that it is no property list.
    const CliResult device = runCli({u"scan"_s, u"/dev/zero"_s});
    EXPECT_EQ(device.exitCode, 1);
    EXPECT_EQ(device.err, u"Couldn't read \"/dev/zero\": It is not a regular file.\n"_s);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#else
    QFile huge(folder.filePath(u"Huge.xml"_s));
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
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()),
              u"The library file is not a valid property list: not well-formed (invalid token) at line 1, column 1.\n"_s);
#endif
}

TEST(CliTest, EachCommandTakesItsOwnOptionsAndShowsItsHelp)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto pair = quaverly::fixtures::generateDemoPair(folder.path());
    const QString source = pair.source.xmlPath, destination = pair.destination.xmlPath;
    const QString media = folder.filePath(u"Media"_s);
    ASSERT_TRUE(QDir().mkpath(media));
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QString outStart;  // of standard output; empty: anything
        QString lineStart; // of a line of standard output; empty: anything
    };
    const Case cases[] = {
        {{u"--version"_s}, 0, u"quaverly-cli " QUAVERLY_VERSION "\n"_s, {}},
        {{u"sync"_s, u"--help"_s}, 0, u"Usage: quaverly-cli sync [options] SOURCE.xml DEST.xml\n"_s,
         u"  --delete-permanently"_s},
        {{u"plan"_s, source, destination, u"--destination-media"_s, media}, 0, {},
         u"Destination media folder as you named it: %1/Media.localized \u2192 %2"_s.arg(pair.destination.libraryFolder,
                                                                                        media)},
        {{u"plan"_s, source, destination, u"--source-media=%1"_s.arg(media)}, 0, {},
         u"Source media folder as you named it: %1/Media.localized \u2192 %2"_s.arg(pair.source.libraryFolder, media)},
        // What only a sync does is no option of plan.
        {{u"plan"_s, source, destination, u"--import-list"_s, media}, 2, {}, {}},
        {{u"plan"_s, source, destination, u"--destination-media"_s}, 2, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliResult result = runCli(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE(result.out.startsWith(c.outStart)) << result.out.toStdString();
        EXPECT_TRUE((u'\n' + result.out).contains(u'\n' + c.lineStart)) << result.out.toStdString();
    }
}

TEST(CliTest, AnEmptySourceRemovesNothingWithoutConsent)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto pair = quaverly::fixtures::generateDemoPair(folder.path());
    // A property list that is no music library: no "Tracks" at all.
    const QString notALibrary = folder.filePath(u"Preferences.plist"_s);
    QFile file(notALibrary);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("<plist><dict><key>Volume</key><integer>7</integer></dict></plist>") > 0);
    file.close();
    const auto present = [&] {
        qsizetype count = 0;
        for (const QString &path : pair.destination.mediaPaths)
            count += QFile::exists(path) ? 1 : 0;
        return count;
    };
    const qsizetype before = present();
    ASSERT_GT(before, 10);

    const CliResult refused = runCli({u"sync"_s, notALibrary, pair.destination.xmlPath});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith(u"This sync would remove %1 of the %1 tracks"_s.arg(pair.destination.persistentIDs.size())))
        << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(u"--allow-mass-removal"_s));
    EXPECT_EQ(present(), before);

    const CliResult allowed = runCli({u"sync"_s, notALibrary, pair.destination.xmlPath, u"--allow-mass-removal"_s});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err.toStdString();
    EXPECT_EQ(present(), 0);
}

TEST(CliTest, DoesExactlyTheOperationsItListsAndStopsCleanlyOnAnInterrupt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto pair = quaverly::fixtures::generateDemoPair(folder.path());
    const QString importList = folder.filePath(u"Import.m3u8"_s);
    const CliResult planned = runCli({u"plan"_s, pair.source.xmlPath, pair.destination.xmlPath, u"--files"_s, u"--json"_s});
    ASSERT_EQ(planned.exitCode, 0) << planned.err.toStdString();
    const QJsonArray operations = QJsonDocument::fromJson(planned.out.toUtf8()).array();
    ASSERT_FALSE(operations.isEmpty());
    QMap<QString, QByteArray> before;
    for (const QString &file : pair.source.mediaPaths + pair.destination.mediaPaths)
        before.insert(file, digest(file));

    const CliResult synced = runCli({u"sync"_s, pair.source.xmlPath, pair.destination.xmlPath, u"--json"_s,
                                     u"--import-list"_s, importList});
    ASSERT_EQ(synced.exitCode, 0) << synced.err.toStdString();
    const QStringList syncLines = synced.out.split(u'\n');
    const auto done = std::find_if(syncLines.cbegin(), syncLines.cend(), [](const QString &line) { return line.startsWith(u'['); });
    ASSERT_NE(done, syncLines.cend()) << synced.out.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(done->toUtf8()).array(), operations) << "the run did every listed operation and no other";
    QStringList copied;
    for (const QJsonValue &value : operations) {
        const QJsonObject op = value.toObject();
        const QString kind = op.value(u"operation"_s).toString();
        if (kind == u"copy" || kind == u"artwork") {
            EXPECT_EQ(digest(op.value(u"target"_s).toString()), digest(op.value(u"source"_s).toString()));
            before.remove(op.value(u"target"_s).toString());
            copied += kind == u"copy" ? QStringList{op.value(u"target"_s).toString()} : QStringList{};
        } else if (kind == u"remove") {
            EXPECT_FALSE(QFile::exists(op.value(u"path"_s).toString()));
            before.remove(op.value(u"path"_s).toString());
        }
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(digest(it.key()), it.value()) << "an unlisted file changed: " << it.key().toStdString();
    QFile list(importList);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(list.readAll()), u"#EXTM3U\n"_s + copied.join(u'\n') + u'\n');

    // A bigger pair, interrupted as soon as its plan is printed.
    quaverly::fixtures::LibraryOptions options;
    options.trackCount = 5000;
    options.playlistCount = 2;
    options.writeMedia = true;
    options.libraryFolder = folder.filePath(u"Big/Source"_s);
    options.mediaBytes = 512;
    const auto big = quaverly::fixtures::generatePair(options, {.removedTracks = 5000}, folder.filePath(u"Big/Dest"_s));
    QProcess process;
    process.start(QStringLiteral(QUAVERLY_CLI_PATH), {u"sync"_s, big.source.xmlPath, big.destination.xmlPath});
    ASSERT_TRUE(process.waitForReadyRead(60'000));
    ASSERT_EQ(::kill(pid_t(process.processId()), SIGINT), 0);
    ASSERT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains(u"The sync was stopped after "_s));
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput()).contains(u"\nSync cancelled\n"_s));
    QDirIterator it(big.destination.libraryFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    qsizetype files = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        EXPECT_FALSE(path.contains(u".quaverly"_s)) << "left behind: " << path.toStdString();
        ++files;
    }
    EXPECT_LT(files, qsizetype(big.source.mediaPaths.size())) << "the run was stopped before its end";
}
