#include "engine/SyncEngine.h"
#include "engine/SyncError.h"
#include "platform/FileSystem.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

using Tracks = QList<std::pair<QString, QString>>;

// A source library folder S and a destination library folder D, each with its library file,
// and libraries whose tracks name files relative to the temporary root.
class GuardsTest : public TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        ASSERT_TRUE(writeFile(at(u"S/Music Library.xml"_s), "source") && writeFile(at(u"D/Music Library.xml"_s), "dest"));
    }

    /// A library whose file is `file`, with a track per ID and path (empty: no location), recording
    /// `media` as its media folder: a URL text relative to the temporary root, or absolute with a scheme.
    [[nodiscard]] MusicLibrary library(const QString &file, const Tracks &tracks, const QString &media = {}) const
    {
        MusicLibrary result{.xmlURL = QUrl::fromLocalFile(at(file))};
        if (!media.isEmpty()) {
            const QString root = QUrl::fromLocalFile(m_root.path()).toString(QUrl::FullyEncoded);
            result.musicFolderURL = QUrl(media.contains(u':') ? media : root + u'/' + media, QUrl::StrictMode);
        }
        for (const auto &[id, path] : tracks) {
            const auto location = path.isEmpty() ? std::optional<QUrl>() : QUrl::fromLocalFile(at(path));
            result.tracks.insert(id, Track{.persistentID = id, .location = location});
        }
        return result;
    }
    [[nodiscard]] MusicLibrary source(const Tracks &tracks) const { return library(u"S/Music Library.xml"_s, tracks); }
    [[nodiscard]] MusicLibrary destination(const Tracks &tracks) const { return library(u"D/Music Library.xml"_s, tracks); }
    /// A library whose file, unwritten, lies in `folder`.
    [[nodiscard]] MusicLibrary libraryIn(const QString &folder, const QString &media, const Tracks &tracks) const
    {
        return library(folder + u"/Music Library.xml"_s, tracks, media);
    }

    /// Writes each file holding its own relative path.
    void write(const QStringList &files) const
    {
        for (const QString &file : files)
            ASSERT_TRUE(writeFile(at(file), file.toUtf8())) << file.toStdString();
    }
    [[nodiscard]] std::optional<QByteArray> contents(const QString &file) const { return contentsOf(at(file)); }
    [[nodiscard]] bool holds(const QString &file, const QString &text) const { return contents(file) == text.toUtf8(); }
    [[nodiscard]] std::string entries(const QString &folder) const { return namesIn(at(folder)); }
    /// One file under a second name.
    [[nodiscard]] bool hardLink(const QString &file, const QString &name) const
    {
        return ::link(QFile::encodeName(at(file)).constData(), QFile::encodeName(at(name)).constData()) == 0;
    }
};

// This computer's own library lies in Here/Music; the other computer's library folder, which
// it knows by the same path, is mounted at Mounted/Music.
using TwoComputersTest = GuardsTest;

} // namespace

TEST_F(GuardsTest, AMassRemovalWaitsForConsent)
{
    const auto tracks = [](int count, const QString &folder) {
        Tracks list;
        for (int i = 0; i < count; ++i)
            list.append({u"%1%2"_s.arg(folder).arg(i), u"%1/%2.m4a"_s.arg(folder).arg(i)});
        return list;
    };
    // Destination tracks the source also has, and ones it lacks.
    const struct { int kept, removed; bool emptySource, needsConsent; } cases[] = {
        {0, 1, true, true},     // a wrong file picked as the source reads as a library without tracks
        {9, 11, false, true},   // more than 10, more than half
        {11, 11, false, false}, // exactly half
        {0, 10, false, false},  // all of them, but only 10
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.kept << " kept, " << c.removed << " removed");
        const Tracks kept = tracks(c.kept, u"D/Kept"_s);
        const MusicLibrary from = c.emptySource ? source({}) : source(kept + QList{std::pair{u"new"_s, QString()}});
        const SyncPlan plan = SyncEngine::makePlan(from, destination(kept + tracks(c.removed, u"D/Gone"_s)));
        EXPECT_EQ(plan.removalNeedsConsent, c.needsConsent);
    }
}

TEST_F(GuardsTest, AFileStillListedOrALibraryFileIsNeverRemoved)
{
    const QString live = u"D/Caf\u00e9 100%.m4a"_s;
    const QString decomposed = live.normalized(QString::NormalizationForm_D);
    write({live, u"D/shared.m4a"_s, u"D/stays.m4a"_s, u"D/gone.m4a"_s, u"D/Old.PLIST"_s});
    ASSERT_TRUE(hardLink(u"D/Music Library.xml"_s, u"D/Library Backup"_s));
    const MusicLibrary from = source({{u"live"_s, decomposed}, {u"both"_s, u"D/shared.m4a"_s}, {u"stays"_s, {}}});
    // A stale entry beside the live one (which spells its name decomposed), an entry of a file
    // the source lists under another track, one of a file a staying track lists, one to go, a
    // library file under another name, and a file named like one.
    const MusicLibrary to = destination({{u"live"_s, decomposed}, {u"stale"_s, live},
                                         {u"both"_s, u"D/elsewhere.m4a"_s}, {u"sharing"_s, u"D/shared.m4a"_s},
                                         {u"stays"_s, u"D/stays.m4a"_s}, {u"beside"_s, u"D/stays.m4a"_s},
                                         {u"gone"_s, u"D/gone.m4a"_s}, {u"backup"_s, u"D/Library Backup"_s},
                                         {u"plist"_s, u"D/Old.PLIST"_s}});
    SyncPlan plan = SyncEngine::makePlan(from, to);
    SyncEngine::runSync(plan, {});
    EXPECT_TRUE(contents(live) && contents(u"D/shared.m4a"_s) && contents(u"D/stays.m4a"_s) && !contents(u"D/gone.m4a"_s));
    EXPECT_TRUE(contents(u"D/Old.PLIST"_s));
    EXPECT_EQ(contents(u"D/Library Backup"_s), QByteArray("dest"));
}

TEST_F(GuardsTest, CopiesNeverOverwriteEachOtherAKeptFileOrALibraryFile)
{
    write({u"A/x.m4a"_s, u"B/x.m4a"_s, u"C/kept.m4a"_s, u"D/kept.m4a"_s, u"S/same.m4a"_s, u"D/stray.m4a"_s,
           u"E/Music Library"_s, u"S/stray.m4a"_s});
    const MusicLibrary from = source({{u"2"_s, u"B/x.m4a"_s}, {u"1"_s, u"A/x.m4a"_s}, {u"3"_s, u"C/kept.m4a"_s},
                                      {u"kept"_s, u"D/kept.m4a"_s}, {u"4"_s, u"S/same.m4a"_s},
                                      {u"5"_s, u"S/same.m4a"_s}, {u"6"_s, u"S/stray.m4a"_s},
                                      {u"7"_s, u"E/Music Library"_s}});
    // The destination's library file has no extension.
    ASSERT_TRUE(QFile::rename(at(u"D/Music Library.xml"_s), at(u"D/Music Library"_s)));
    const MusicLibrary to = library(u"D/Music Library"_s, {{u"kept"_s, u"D/kept.m4a"_s}});

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        SyncPlan plan = SyncEngine::makePlan(from, to);
        QMap<QString, QString> targets;
        for (qsizetype i = 0; i < plan.copies.size(); ++i)
            targets.insert(plan.job.tracksToAdd[i].persistentID, QDir(at(u"D"_s)).relativeFilePath(plan.copies[i].target));
        // By persistent ID, the same every time; one file listed twice lands once; a file no
        // track keeps is replaced as before.
        EXPECT_EQ(targets, (QMap<QString, QString>{{u"1"_s, u"x.m4a"_s}, {u"2"_s, u"x 2.m4a"_s},
                                                  {u"3"_s, u"kept 2.m4a"_s}, {u"4"_s, u"same.m4a"_s},
                                                  {u"5"_s, u"same.m4a"_s}, {u"6"_s, u"stray.m4a"_s},
                                                  {u"7"_s, u"Music Library 2"_s}}));
        if (run == 0)
            SyncEngine::runSync(plan, {});
    }
    EXPECT_TRUE(holds(u"D/x.m4a"_s, u"A/x.m4a"_s) && holds(u"D/x 2.m4a"_s, u"B/x.m4a"_s));
    EXPECT_TRUE(holds(u"D/kept.m4a"_s, u"D/kept.m4a"_s) && holds(u"D/Music Library"_s, u"dest"_s));

    // The source's own library file, whatever its name, is no track to copy.
    ASSERT_TRUE(hardLink(u"S/Music Library.xml"_s, u"S/Library Copy"_s));
    const SyncPlan fromLibrary = SyncEngine::makePlan(source({{u"8"_s, u"S/Library Copy"_s}}), destination({}));
    EXPECT_EQ(fromLibrary.copies.value(0).kind, SyncPlan::Copy::Kind::libraryFile);
}

TEST_F(GuardsTest, RemovedFilesGoToTheTrashAndTheFoldersTheyEmptiedGoToo)
{
    write({u"D/A/B/x.m4a"_s, u"D/C/y.m4a"_s, u"D/C/.hidden"_s, u"D/z.m4a"_s, u"Elsewhere/target.m4a"_s});
    ASSERT_TRUE(QDir().mkpath(at(u"D/Empty"_s)));
    ASSERT_TRUE(QFile::link(at(u"Elsewhere/target.m4a"_s), at(u"D/A/link.m4a"_s)));
    SyncPlan plan = SyncEngine::makePlan(
        source({{u"keep"_s, u"D/z.m4a"_s}}),
        destination({{u"keep"_s, u"D/z.m4a"_s}, {u"x"_s, u"D/A/B/x.m4a"_s}, {u"y"_s, u"D/C/y.m4a"_s},
                     {u"link"_s, u"D/A/link.m4a"_s}}));
    ASSERT_TRUE(plan.trashAvailable);
    SyncEngine::runSync(plan, {});

    // Emptied folders go, up to the library folder; one with a hidden file, and one that was
    // empty before, stay. A link goes, not its file.
    EXPECT_EQ(entries(u"D"_s), "C|Empty|Music Library.xml|z.m4a");
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + u"/Trash"_s;
    EXPECT_EQ(contentsOf(trash + u"/files/x.m4a"_s), QByteArray("D/A/B/x.m4a"));
    EXPECT_TRUE(QFileInfo(trash + u"/files/link.m4a"_s).isSymLink());
    const QByteArray path = QUrl::toPercentEncoding(at(u"D/C/y.m4a"_s), "/");
    EXPECT_TRUE(contentsOf(trash + u"/info/y.m4a.trashinfo"_s).value_or("").contains("\nPath=" + path + '\n'));
}

TEST_F(GuardsTest, OneRunAtATimeInTheFolderALibraryChosenThroughALinkReallyLiesIn)
{
    write({u"S/a.m4a"_s, u"D/old.m4a"_s});
    ASSERT_TRUE(QDir().mkpath(at(u"Links"_s)) && QFile::link(at(u"D/Music Library.xml"_s), at(u"Links/Dest.xml"_s)));
    SyncPlan plan = SyncEngine::makePlan(source({{u"a"_s, u"S/a.m4a"_s}}),
                                         library(u"Links/Dest.xml"_s, {{u"old"_s, u"D/old.m4a"_s}}));
    {
        const auto other = FileSystem::FileLock::tryAcquire(at(u"D/.quaverly.lock"_s));
        ASSERT_TRUE(other);
        EXPECT_THROW(SyncEngine::runSync(plan, {}), SyncError);
        EXPECT_TRUE(!contents(u"D/a.m4a"_s) && contents(u"D/old.m4a"_s));
    }
    SyncEngine::runSync(plan, {});
    EXPECT_TRUE(holds(u"D/a.m4a"_s, u"S/a.m4a"_s) && !contents(u"D/old.m4a"_s));
    EXPECT_EQ(entries(u"Links"_s), "Dest.xml");
}

TEST_F(GuardsTest, RunAsRootWhatItMakesBelongsToTheLibrarysOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser's files would belong to someone else";
    constexpr uid_t owner = 65534;
    write({u"S/Sub/new.m4a"_s, u"S/old.m4a"_s, u"D/old.m4a"_s});
    for (const QString &path : {u"D"_s, u"D/old.m4a"_s})
        ASSERT_EQ(::chown(QFile::encodeName(at(path)).constData(), owner, owner), 0);
    SyncPlan plan = SyncEngine::makePlan(source({{u"new"_s, u"S/Sub/new.m4a"_s}, {u"old"_s, u"S/old.m4a"_s}}),
                                         destination({}));
    SyncEngine::runSync(plan, {});
    for (const QString &path : {u"D/Sub"_s, u"D/Sub/new.m4a"_s, u"D/old.m4a"_s}) {
        struct stat status;
        EXPECT_TRUE(::stat(QFile::encodeName(at(path)).constData(), &status) == 0 && status.st_uid == owner
                    && status.st_gid == owner) << path.toStdString();
    }
}

TEST_F(TwoComputersTest, MountedSourceIsReadUnderItsOwnMediaFolderName)
{
    write({u"Mounted/Music/iTunes Media/Music/a #1.m4a"_s, u"Elsewhere/theirs.m4a"_s});
    // The other computer kept its library elsewhere; only the media folder's name is shared.
    const QString recorded = QUrl::fromLocalFile(at(u"Other/Music/iTunes Media/"_s)).toString(QUrl::FullyEncoded);
    const MusicLibrary source = libraryIn(u"Mounted/Music"_s, recorded,
                                        {{u"a"_s, u"Other/Music/iTunes Media/Music/a #1.m4a"_s},
                                         {u"theirs"_s, u"Elsewhere/theirs.m4a"_s}});
    SyncPlan plan = SyncEngine::makePlan(source, libraryIn(u"Here/Music"_s, u"Here/Music/Media/"_s, {}));
    SyncEngine::runSync(plan, {});

    EXPECT_TRUE(holds(u"Here/Music/iTunes Media/Music/a #1.m4a"_s, u"Mounted/Music/iTunes Media/Music/a #1.m4a"_s));
    EXPECT_EQ(entries(u"Here/Music"_s), "iTunes Media")
        << "a file of the other computer is never copied, even when a file exists at its path here";
}

TEST_F(TwoComputersTest, LibrariesWrittenHereOrWithoutAMediaFolderBesideThemAreReadAsRecorded)
{
    write({u"Here/Music/Media/x.m4a"_s, u"Copy/Music/x.m4a"_s, u"Elsewhere/Media/x.m4a"_s});
    ASSERT_TRUE(QDir().mkpath(at(u"Linked/Music"_s)) && QFile::link(at(u"Elsewhere/Media"_s), at(u"Linked/Music/Media"_s)));
    const struct { const char *name; QString folder, media; } cases[] = {
        {"no media folder recorded", u"Here/Music"_s, {}},
        {"no folder of that name beside the file", u"Copy/Music"_s, u"Here/Music/Media/"_s},
        {"only a link of that name beside the file", u"Linked/Music"_s, u"Here/Music/Media/"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const LocationResolver resolver =
            LocationResolver::forLibrary(libraryIn(c.folder, c.media, {{u"x"_s, u"Here/Music/Media/x.m4a"_s}}));
        EXPECT_EQ(resolver.resolve(QUrl::fromLocalFile(at(u"Here/Music/Media/x.m4a"_s))).path,
                  at(u"Here/Music/Media/x.m4a"_s));
    }
}

TEST_F(TwoComputersTest, ANamedMediaFolderIsReadThereAndPlacedAsTheLibraryLaysItOut)
{
    write({u"External/Backup/Music/x.m4a"_s});
    const MusicLibrary source = libraryIn(u"Here/Music"_s, u"Gone/Music/Media/"_s,
                                        {{u"x"_s, u"Gone/Music/Media/Music/x.m4a"_s}});
    SyncPlan plan = SyncEngine::makePlan(source, libraryIn(u"Mounted/Music"_s, u"Mounted/Music/Media/"_s, {}),
                                         {.source = at(u"External/Backup"_s)});
    SyncEngine::runSync(plan, {});
    EXPECT_TRUE(holds(u"Mounted/Music/Media/Music/x.m4a"_s, u"External/Backup/Music/x.m4a"_s));

    // A folder that is not there, or one named for a library that records none, is refused.
    const MusicLibrary noMedia = libraryIn(u"Mounted/Music"_s, {}, {});
    EXPECT_THROW((void)SyncEngine::makePlan(source, noMedia, {.source = at(u"External/Nowhere"_s)}), SyncError);
    EXPECT_THROW((void)SyncEngine::makePlan(source, noMedia, {.destination = at(u"External/Backup"_s)}), SyncError);
}

TEST_F(TwoComputersTest, MountedDestinationIsSyncedWhereItsMediaIsSkippingMissingFilesUnlessNothingIsFoundOrNoRoom)
{
    write({u"Here/Music/Media/A/found.m4a"_s, u"Here/Music/Media/old.m4a"_s, u"Mounted/Music/Media/old.m4a"_s,
           u"Elsewhere/theirs.m4a"_s});
    const auto source = [&](const Tracks &tracks) { return libraryIn(u"Here/Music"_s, u"Here/Music/Media/"_s, tracks); };
    const MusicLibrary destination =
        libraryIn(u"Mounted/Music"_s, u"Here/Music/Media/"_s,
                  {{u"old"_s, u"Here/Music/Media/old.m4a"_s}, {u"theirs"_s, u"Elsewhere/theirs.m4a"_s}});
    SyncPlan plan = SyncEngine::makePlan(
        source({{u"found"_s, u"Here/Music/Media/A/found.m4a"_s}, {u"lost"_s, u"Here/Music/Media/lost.m4a"_s}}),
        destination);
    ASSERT_EQ(plan.missingFiles(), QStringList{at(u"Here/Music/Media/lost.m4a"_s)});

    SyncPlan nothingFound = SyncEngine::makePlan(source({{u"lost"_s, u"Here/Music/Media/lost.m4a"_s}}), destination);
    SyncPlan noRoom = plan;
    noRoom.availableSpace = plan.bytesToCopy - 1;
    for (SyncPlan *refused : {&nothingFound, &noRoom}) {
        EXPECT_THROW(SyncEngine::runSync(*refused, {}), SyncError);
        EXPECT_TRUE(contents(u"Mounted/Music/Media/old.m4a"_s) && !contents(u"Mounted/Music/Media/A/found.m4a"_s));
    }

    SyncEngine::runSync(plan, {});
    EXPECT_EQ(plan.job.completedItemCount, 4);
    EXPECT_TRUE(holds(u"Mounted/Music/Media/A/found.m4a"_s, u"Here/Music/Media/A/found.m4a"_s));
    EXPECT_FALSE(contents(u"Mounted/Music/Media/old.m4a"_s));
    // The files at the paths the destination file records are this computer's own.
    EXPECT_TRUE(contents(u"Here/Music/Media/old.m4a"_s) && contents(u"Elsewhere/theirs.m4a"_s));
}
