#include "engine/SyncEngine.h"
#include "engine/SyncError.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

using CopyKind = SyncPlan::Copy::Kind;
using RemovalKind = SyncPlan::Removal::Kind;

// This computer's own library lies in Here/Music; the other computer's library folder, which
// it knows by the same path, is mounted at Mounted/Music.
class TwoComputersTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    [[nodiscard]] QString at(const QString &relative) const { return m_root.filePath(relative); }

    /// A library whose file lies in `folder`, recording `media` as its media folder (a URL text
    /// relative to the temporary root, or absolute with a scheme) and a track per ID and path.
    [[nodiscard]] MusicLibrary library(const QString &folder, const QString &media,
                                       const QList<std::pair<QString, QString>> &tracks) const
    {
        MusicLibrary result{.xmlURL = QUrl::fromLocalFile(at(folder + u"/Music Library.xml"_s))};
        if (!media.isEmpty()) {
            const QString root = QUrl::fromLocalFile(m_root.path()).toString(QUrl::FullyEncoded);
            result.musicFolderURL = QUrl(media.contains(u':') ? media : root + u'/' + media, QUrl::StrictMode);
        }
        for (const auto &[id, path] : tracks)
            result.tracks.insert(id, Track{.persistentID = id, .location = QUrl::fromLocalFile(at(path))});
        return result;
    }

    /// Writes each file holding its own relative path.
    void write(const QStringList &files) const
    {
        for (const QString &file : files)
            ASSERT_TRUE(writeFile(at(file), file.toUtf8())) << file.toStdString();
    }

    [[nodiscard]] bool holds(const QString &file, const QString &contentsOf_) const
    {
        return contentsOf(at(file)) == contentsOf_.toUtf8();
    }

private:
    QTemporaryDir m_root;
};

} // namespace

TEST_F(TwoComputersTest, MountedDestinationIsSyncedWhereItsMediaIsAndNothingHereIsTouched)
{
    write({u"Here/Music/Media/A/new.m4a"_s, u"Here/Music/Media/old.m4a"_s, u"Mounted/Music/Media/old.m4a"_s,
           u"Elsewhere/theirs.m4a"_s});
    const MusicLibrary source = library(u"Here/Music"_s, u"Here/Music/Media/"_s,
                                        {{u"new"_s, u"Here/Music/Media/A/new.m4a"_s}});
    const MusicLibrary destination =
        library(u"Mounted/Music"_s, u"Here/Music/Media/"_s,
                {{u"old"_s, u"Here/Music/Media/old.m4a"_s}, {u"theirs"_s, u"Elsewhere/theirs.m4a"_s}});

    SyncPlan plan = SyncEngine::makePlan(source, destination);

    ASSERT_FALSE(plan.source.mediaFolder()) << "the source file was written here";
    ASSERT_TRUE(plan.destination.readFromAnotherComputer());
    EXPECT_EQ(plan.notice().value(0), u"Destination library read from another computer: %1 \u2192 %2"_s
                                          .arg(at(u"Here/Music/Media"_s), at(u"Mounted/Music/Media"_s)));
    ASSERT_EQ(plan.copies.size(), 1);
    EXPECT_EQ(plan.copies[0].target, at(u"Mounted/Music/Media/A/new.m4a"_s));
    const QMap<QString, RemovalKind> removals{{u"old"_s, RemovalKind::remove},
                                              {u"theirs"_s, RemovalKind::notOnThisComputer}};
    for (qsizetype i = 0; i < plan.removals.size(); ++i)
        EXPECT_EQ(plan.removals[i].kind, removals.value(plan.job.tracksToRemove[i].persistentID));

    SyncEngine::runSync(plan, {});

    EXPECT_TRUE(holds(u"Mounted/Music/Media/A/new.m4a"_s, u"Here/Music/Media/A/new.m4a"_s));
    EXPECT_FALSE(QFileInfo::exists(at(u"Mounted/Music/Media/old.m4a"_s)));
    // The files at the paths the destination file records are this computer's own.
    EXPECT_TRUE(holds(u"Here/Music/Media/old.m4a"_s, u"Here/Music/Media/old.m4a"_s));
    EXPECT_TRUE(holds(u"Elsewhere/theirs.m4a"_s, u"Elsewhere/theirs.m4a"_s));
    EXPECT_EQ(plan.job.completedItemCount, 3);
}

TEST_F(TwoComputersTest, MountedSourceIsReadUnderItsOwnMediaFolderName)
{
    write({u"Mounted/Music/iTunes Media/Music/a #1.m4a"_s, u"Elsewhere/theirs.m4a"_s});
    // The other computer kept its library elsewhere; only the media folder's name is shared.
    const QString recorded = QUrl::fromLocalFile(at(u"Other/Music/iTunes Media/"_s)).toString(QUrl::FullyEncoded);
    ASSERT_TRUE(recorded.contains(u"iTunes%20Media"_s));
    const MusicLibrary source = library(u"Mounted/Music"_s, recorded,
                                        {{u"a"_s, u"Other/Music/iTunes Media/Music/a #1.m4a"_s},
                                         {u"theirs"_s, u"Elsewhere/theirs.m4a"_s}});

    SyncPlan plan = SyncEngine::makePlan(source, library(u"Here/Music"_s, u"Here/Music/Media/"_s, {}));
    SyncEngine::runSync(plan, {});

    EXPECT_TRUE(holds(u"Here/Music/iTunes Media/Music/a #1.m4a"_s, u"Mounted/Music/iTunes Media/Music/a #1.m4a"_s));
    EXPECT_EQ(QDir(at(u"Here/Music"_s)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{u"iTunes Media"_s})
        << "a file of the other computer is never copied, even when a file exists at its path here";
    EXPECT_EQ(plan.notOnThisComputer, 1);
    EXPECT_EQ(plan.filesToCopy, 1);
}

TEST_F(TwoComputersTest, LibrariesWrittenHereOrWithoutAMediaFolderBesideThemAreReadAsRecorded)
{
    write({u"Here/Music/Media/x.m4a"_s, u"Copy/Music/x.m4a"_s, u"Elsewhere/Media/x.m4a"_s});
    ASSERT_TRUE(QDir().mkpath(at(u"Linked/Music"_s)) && QFile::link(at(u"Elsewhere/Media"_s), at(u"Linked/Music/Media"_s)));
    const struct {
        const char *name;
        QString folder, media;
    } cases[] = {
        {"no media folder recorded", u"Here/Music"_s, {}},
        {"written here", u"Here/Music"_s, u"Here/Music/Media/"_s},
        {"no folder of that name beside the file", u"Copy/Music"_s, u"Here/Music/Media/"_s},
        {"only a link of that name beside the file", u"Linked/Music"_s, u"Here/Music/Media/"_s},
        {"another host", u"Copy/Music"_s, u"file://server/Music/Media/"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const LocationResolver resolver =
            LocationResolver::forLibrary(library(c.folder, c.media, {{u"x"_s, u"Here/Music/Media/x.m4a"_s}}));
        const LocationResolver::Resolution where = resolver.resolve(QUrl::fromLocalFile(at(u"Here/Music/Media/x.m4a"_s)));
        EXPECT_FALSE(resolver.mediaFolder());
        EXPECT_EQ(where.kind, LocationResolver::Resolution::Kind::file);
        EXPECT_EQ(where.path, at(u"Here/Music/Media/x.m4a"_s));
    }
}

TEST_F(TwoComputersTest, ANamedMediaFolderIsReadThereAndPlacedAsTheLibraryLaysItOut)
{
    write({u"External/Backup/Music/x.m4a"_s});
    const MusicLibrary source = library(u"Here/Music"_s, u"Gone/Music/Media/"_s,
                                        {{u"x"_s, u"Gone/Music/Media/Music/x.m4a"_s}});
    const MusicLibrary destination = library(u"Mounted/Music"_s, u"Mounted/Music/Media/"_s, {});

    SyncPlan plan = SyncEngine::makePlan(source, destination, {.source = at(u"External/Backup"_s)});

    EXPECT_EQ(plan.notice().value(0), u"Source media folder as you named it: %1 \u2192 %2"_s
                                          .arg(at(u"Gone/Music/Media"_s), at(u"External/Backup"_s)));
    SyncEngine::runSync(plan, {});
    EXPECT_TRUE(holds(u"Mounted/Music/Media/Music/x.m4a"_s, u"External/Backup/Music/x.m4a"_s));

    const std::pair<MediaFolders, QString> refused[] = {
        {{.source = at(u"External/Nowhere"_s)}, u"is not a folder on this computer"_s},
        {{.destination = at(u"External/Backup"_s)}, u"The destination library file records no media folder"_s},
    };
    for (const auto &[folders, sentence] : refused) {
        SCOPED_TRACE(sentence.toStdString());
        try {
            (void)SyncEngine::makePlan(source, library(u"Mounted/Music"_s, {}, {}), folders);
            ADD_FAILURE() << "the folder was taken";
        } catch (const SyncError &error) {
            EXPECT_TRUE(error.description().contains(sentence)) << error.what();
        }
    }
}

TEST_F(TwoComputersTest, MissingFilesAreSkippedUnlessNothingToCopyOrNoRoomIsLeft)
{
    write({u"Here/Music/Media/found.m4a"_s, u"Mounted/Music/Media/old.m4a"_s});
    const MusicLibrary source = library(u"Here/Music"_s, u"Here/Music/Media/"_s,
                                        {{u"found"_s, u"Here/Music/Media/found.m4a"_s},
                                         {u"lost"_s, u"Here/Music/Media/lost.m4a"_s}});
    const MusicLibrary destination =
        library(u"Mounted/Music"_s, u"Mounted/Music/Media/"_s, {{u"old"_s, u"Mounted/Music/Media/old.m4a"_s}});
    const SyncPlan plan = SyncEngine::makePlan(source, destination);
    ASSERT_EQ(plan.missingFiles(), QStringList{at(u"Here/Music/Media/lost.m4a"_s)});
    ASSERT_TRUE(plan.availableSpace.has_value());

    // Neither a plan whose every file is missing nor one without room writes anything.
    SyncPlan nothingFound = SyncEngine::makePlan(library(u"Here/Music"_s, u"Here/Music/Media/"_s,
                                                         {{u"lost"_s, u"Here/Music/Media/lost.m4a"_s}}),
                                                 destination);
    SyncPlan noRoom = plan;
    noRoom.availableSpace = plan.bytesToCopy - 1;
    for (SyncPlan *refused : {&nothingFound, &noRoom}) {
        EXPECT_THROW(SyncEngine::runSync(*refused, {}), SyncError);
        EXPECT_EQ(refused->job.status, SyncJob::SyncStatus::pending);
        EXPECT_TRUE(QFileInfo::exists(at(u"Mounted/Music/Media/old.m4a"_s)));
        EXPECT_FALSE(QFileInfo::exists(at(u"Mounted/Music/Media/found.m4a"_s)));
    }
    EXPECT_TRUE(nothingFound.refusal()->startsWith(u"The file to copy was not found on this computer."_s));
    EXPECT_TRUE(noRoom.refusal()->startsWith(u"There is not enough free space for this sync"_s));

    SyncPlan run = plan;
    SyncEngine::runSync(run, {});
    EXPECT_EQ(run.job.status, SyncJob::SyncStatus::completed);
    EXPECT_EQ(run.job.completedItemCount, 3);
    EXPECT_TRUE(holds(u"Mounted/Music/Media/found.m4a"_s, u"Here/Music/Media/found.m4a"_s));
    EXPECT_FALSE(QFileInfo::exists(at(u"Mounted/Music/Media/old.m4a"_s)));
}
