#include "fixtures/LibraryFixture.h"
#include "hardening/HardeningSupport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace quaverly::fixtures;
using namespace quaverly::hardening;

namespace {

using KillTest = quaverly::test::TemporaryFolderTest;

// Starts a sync, kills it once its progress reaches `percent` (plus up to 2 ms) and answers the
// destination's tree, or nothing when the run ended before the kill.
std::optional<QMap<QString, QByteArray>> killSyncAt(int percent, const QStringList &arguments, const QString &destination)
{
    QProcess cli;
    cli.setReadChannel(QProcess::StandardError);
    cli.start(QStringLiteral(QUAVERLY_CLI_PATH), arguments);
    EXPECT_TRUE(cli.waitForStarted());
    static const QRegularExpression progress(uR"(\((\d+)%\))"_s);
    for (int seen = 0; seen < percent && cli.state() == QProcess::Running;) {
        if (cli.canReadLine() || cli.waitForReadyRead(5000))
            seen = std::max(seen, progress.match(QString::fromUtf8(cli.readLine())).captured(1).toInt());
    }
    QThread::usleep(QRandomGenerator::global()->bounded(2000));
    cli.kill();
    EXPECT_TRUE(cli.waitForFinished());
    if (cli.exitStatus() != QProcess::CrashExit)
        return std::nullopt;
    return treeDigest(destination);
}

} // namespace

TEST_F(KillTest, KilledSyncsLeaveEveryFileOldOrNewAndTheNextRunFinishesClean)
{
    // A tmpfs spares the flush of every replaced file; the ordinary disk serves otherwise, slower.
    const ScratchMount mount(at(u"fs"_s), "size=256m");
    const QString folder = mount.skipReason() ? m_root.path() : at(u"fs"_s);
    LibraryOptions options;
    options.trackCount = 1000;
    options.libraryFolder = folder + u"/Source"_s;
    options.mediaBytes = 16 * 1024;
    options.writeMedia = options.writeArtwork = true;
    const LibraryPair pair = generatePair(options, {.removedTracks = 300, .addedTracks = 100, .changedTracks = 50},
                                          folder + u"/Destination"_s);
    const QString destination = pair.destination.libraryFolder;
    // Stale files at a third of the targets that are missing, so that replacements are killed too.
    const auto untouched = treeDigest(destination);
    for (qsizetype i = 0; i < pair.source.mediaPaths.size(); i += 3) {
        const QString relative = QDir(pair.source.libraryFolder).relativeFilePath(pair.source.mediaPaths.at(i));
        if (!untouched.contains(relative)) {
            ASSERT_TRUE(writeFile(destination + u'/' + relative, "stale " + relative.toUtf8()));
        }
    }
    const auto initial = treeDigest(destination);
    const QStringList arguments{u"sync"_s, pair.source.xmlPath, pair.destination.xmlPath};

    std::vector<QMap<QString, QByteArray>> moments;
    for (int percent = 1; percent < 80; percent += 2) {
        if (auto tree = killSyncAt(percent, arguments, destination))
            moments.push_back(*tree);
    }
    EXPECT_GE(moments.size(), 30u);

    QProcess last;
    last.start(QStringLiteral(QUAVERLY_CLI_PATH), arguments);
    ASSERT_TRUE(last.waitForFinished(120'000));
    ASSERT_EQ(last.exitCode(), 0) << last.readAllStandardError().toStdString();
    const auto final = treeDigest(destination);
    EXPECT_EQ(temporaries(final), QStringList());
    const auto media = [](QMap<QString, QByteArray> tree) {
        tree.removeIf([](const auto &entry) { return !entry.key().startsWith(u"Media.localized/"_s); });
        return tree;
    };
    EXPECT_EQ(media(final), media(treeDigest(pair.source.libraryFolder)));

    for (const auto &moment : moments) {
        for (const QString &path : initial.keys() + final.keys() + moment.keys()) {
            const QByteArray now = moment.value(path);
            // A killed run leaves its temporaries and its lock file; the next run clears both.
            EXPECT_TRUE(path.contains(u".quaverly-"_s) || path == u".quaverly.lock" || now == initial.value(path)
                        || now == final.value(path))
                << path.toStdString();
        }
    }
}
