#include "engine/SyncEngine.h"

#include "engine/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using namespace quaverly;
using quaverly::testing::track;

namespace {

MusicLibrary library(const QList<Track> &tracks, const QList<Playlist> &playlists = {},
                     const QUrl &xmlURL = QUrl(u"file:///Users/u/Music/Music%20Library.xml"_s))
{
    MusicLibrary result;
    result.xmlURL = xmlURL;
    for (const Track &t : tracks)
        result.tracks.insert(t.persistentID, t);
    result.playlists = playlists;
    result.scannedAt = QDateTime::currentDateTimeUtc();
    return result;
}

Playlist playlist(const QString &persistentID, const QStringList &trackIDs, const QString &name = u"List"_s)
{
    Playlist result;
    result.persistentID = persistentID;
    result.name = name;
    result.trackIDs = trackIDs;
    return result;
}

QStringList idsOf(const QList<Track> &tracks)
{
    QStringList ids;
    for (const Track &t : tracks)
        ids.append(t.persistentID);
    ids.sort();
    return ids;
}

QStringList idsOf(const QList<Playlist> &playlists)
{
    QStringList ids;
    for (const Playlist &p : playlists)
        ids.append(p.persistentID);
    return ids;
}

} // namespace

TEST(ChangesetTest, EmptyDestinationTakesEverythingFromTheSource)
{
    const MusicLibrary source = library({track(u"A"_s), track(u"B"_s)}, {playlist(u"P1"_s, {u"A"_s}), playlist(u"P2"_s, {})});
    const SyncJob job = SyncEngine::makeJob(source, library({}));

    EXPECT_EQ(idsOf(job.tracksToAdd), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_TRUE(job.tracksToRemove.isEmpty());
    EXPECT_TRUE(job.tracksToUpdate.isEmpty());
    EXPECT_EQ(idsOf(job.playlistsToSync), (QStringList{u"P1"_s, u"P2"_s}));
    EXPECT_EQ(job.totalItemCount, 4);
}

TEST(ChangesetTest, EmptySourceRemovesEveryDestinationTrack)
{
    const MusicLibrary destination = library({track(u"A"_s), track(u"B"_s)}, {playlist(u"P1"_s, {u"A"_s})});
    const SyncJob job = SyncEngine::makeJob(library({}), destination);

    EXPECT_TRUE(job.tracksToAdd.isEmpty());
    EXPECT_EQ(idsOf(job.tracksToRemove), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_TRUE(job.tracksToUpdate.isEmpty());
    EXPECT_TRUE(job.playlistsToSync.isEmpty());
    EXPECT_EQ(job.totalItemCount, 2);
}

TEST(ChangesetTest, AgreeingLibrariesYieldNothingToDo)
{
    Track a = track(u"A"_s);
    a.playCount = 3;
    const QList<Playlist> playlists = {playlist(u"P1"_s, {u"A"_s, u"A"_s})};
    const SyncJob job = SyncEngine::makeJob(library({a}, playlists), library({a}, playlists));

    EXPECT_TRUE(job.tracksToAdd.isEmpty());
    EXPECT_TRUE(job.tracksToRemove.isEmpty());
    EXPECT_TRUE(job.tracksToUpdate.isEmpty());
    EXPECT_TRUE(job.playlistsToSync.isEmpty());
    EXPECT_EQ(job.totalItemCount, 0);
    EXPECT_FALSE(job.hasChanges());
}

TEST(ChangesetTest, OnlyPlayStatisticsDecideAnUpdate)
{
    const struct {
        const char *field;
        std::function<void(Track &)> change;
        bool updated;
    } cases[] = {
        {"rating", [](Track &t) { t.rating = 80; }, true},
        {"playCount", [](Track &t) { t.playCount = 7; }, true},
        {"loved", [](Track &t) { t.loved = true; }, true},
        {"disliked", [](Track &t) { t.disliked = true; }, true},
        {"skipCount", [](Track &t) { t.skipCount = 2; }, false},
        {"title", [](Track &t) { t.title = u"Other"_s; }, false},
        {"location", [](Track &t) { t.location = QUrl(u"file:///elsewhere.m4a"_s); }, false},
        {"dateModified", [](Track &t) { t.dateModified = QDateTime::currentDateTimeUtc(); }, false},
        {"hasArtwork", [](Track &t) { t.hasArtwork = true; }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.field);
        Track theirs = track(u"A"_s, QUrl(u"file:///d/a.m4a"_s));
        Track ours = theirs;
        c.change(ours);
        ASSERT_FALSE(ours == theirs);

        const SyncJob job = SyncEngine::makeJob(library({ours}), library({theirs}));
        EXPECT_TRUE(job.tracksToAdd.isEmpty());
        EXPECT_TRUE(job.tracksToRemove.isEmpty());
        ASSERT_EQ(job.tracksToUpdate.size(), c.updated ? 1 : 0);
        if (c.updated) {
            EXPECT_TRUE(job.tracksToUpdate.first() == ours) << "the update carries the source's version";
        }
    }
}

TEST(ChangesetTest, TrackDifferingInSeveralStatisticsIsListedOnce)
{
    Track theirs = track(u"A"_s);
    Track ours = theirs;
    ours.rating = 100;
    ours.loved = true;
    ours.playCount = 9;
    const SyncJob job = SyncEngine::makeJob(library({ours, track(u"B"_s)}), library({theirs, track(u"B"_s)}));
    ASSERT_EQ(job.tracksToUpdate.size(), 1);
    EXPECT_EQ(job.tracksToUpdate.first().rating, 100);
    EXPECT_EQ(job.totalItemCount, 1);
}

TEST(ChangesetTest, MatchesPersistentIDsAsExactText)
{
    // Canonically equivalent spellings are still different IDs: identity is the stored text.
    const SyncJob job = SyncEngine::makeJob(library({track(u"abc"_s), track(u"\u00e9"_s)}),
                                            library({track(u"ABC"_s), track(u"e\u0301"_s)}));
    EXPECT_EQ(idsOf(job.tracksToAdd), (QStringList{u"abc"_s, u"\u00e9"_s}));
    EXPECT_EQ(idsOf(job.tracksToRemove), (QStringList{u"ABC"_s, u"e\u0301"_s}));
}

TEST(ChangesetTest, PlaylistsFollowTheirTrackListsOnly)
{
    Playlist renamed = playlist(u"P1"_s, {u"A"_s, u"B"_s}, u"Old name"_s);
    Playlist renamedSource = renamed;
    renamedSource.name = u"New name"_s;
    renamedSource.kind = Playlist::PlaylistKind::smart;
    renamedSource.parentID = u"F"_s;
    const QList<Playlist> source = {
        renamedSource,
        playlist(u"P2"_s, {u"B"_s, u"A"_s}),
        playlist(u"P3"_s, {u"A"_s}),
        playlist(u"P4"_s, {u"A"_s, u"A"_s}),
        playlist(u"P5"_s, {}),
    };
    const QList<Playlist> destination = {
        renamed,
        playlist(u"P2"_s, {u"A"_s, u"B"_s}),
        playlist(u"P4"_s, {u"A"_s}),
        playlist(u"P5"_s, {}),
        playlist(u"Only-here"_s, {u"A"_s}),
    };
    const QList<Track> tracks = {track(u"A"_s), track(u"B"_s)};
    const SyncJob job = SyncEngine::makeJob(library(tracks, source), library(tracks, destination));
    EXPECT_EQ(idsOf(job.playlistsToSync), (QStringList{u"P2"_s, u"P3"_s, u"P4"_s}));
}

TEST(ChangesetTest, ComparesOnlyTheFirstDestinationPlaylistWithTheSameID)
{
    const QList<Playlist> source = {playlist(u"P"_s, {u"A"_s}), playlist(u"Q"_s, {u"A"_s})};
    const QList<Playlist> destination = {
        playlist(u"P"_s, {}), playlist(u"P"_s, {u"A"_s}),
        playlist(u"Q"_s, {u"A"_s}), playlist(u"Q"_s, {}),
    };
    const SyncJob job = SyncEngine::makeJob(library({}, source), library({}, destination));
    EXPECT_EQ(idsOf(job.playlistsToSync), (QStringList{u"P"_s}));
}

TEST(ChangesetTest, NewJobIsPendingWithTheSumOfItsLists)
{
    Track changed = track(u"C"_s);
    changed.playCount = 1;
    const MusicLibrary source = library({track(u"N1"_s), track(u"N2"_s), track(u"N3"_s), changed, track(u"S"_s)},
                                        {playlist(u"P1"_s, {}), playlist(u"P2"_s, {}), playlist(u"P3"_s, {}),
                                         playlist(u"P4"_s, {u"S"_s})});
    const MusicLibrary destination = library({track(u"R1"_s), track(u"R2"_s), track(u"C"_s), track(u"S"_s)});
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const SyncJob job = SyncEngine::makeJob(source, destination);

    EXPECT_EQ(job.tracksToAdd.size(), 3);
    EXPECT_EQ(job.tracksToRemove.size(), 2);
    EXPECT_EQ(job.tracksToUpdate.size(), 1);
    EXPECT_EQ(job.playlistsToSync.size(), 4);
    EXPECT_EQ(job.totalItemCount, 10);
    EXPECT_EQ(job.status, SyncJob::SyncStatus::pending);
    EXPECT_EQ(job.completedItemCount, 0);
    EXPECT_TRUE(job.syncArtwork);
    EXPECT_FALSE(job.completedAt.has_value());
    EXPECT_FALSE(job.id.isNull());
    EXPECT_GE(job.createdAt, before);

    const SyncJob again = SyncEngine::makeJob(source, destination);
    EXPECT_NE(again.id, job.id);
    EXPECT_EQ(idsOf(again.tracksToAdd), idsOf(job.tracksToAdd));
}

TEST(ChangesetTest, LibraryPathsAreTheFoldersHoldingTheLibraryFiles)
{
    const struct {
        QString xmlURL;
        QString folder;
    } cases[] = {
        {u"file:///Users/u/Music/Music%20Library.xml"_s, u"file:///Users/u/Music"_s},
        {u"file://localhost/Users/u/Music/Music%20Library.xml"_s, u"file://localhost/Users/u/Music"_s},
        {u"file:///Music%20Library.xml"_s, u"file:///"_s},
        {u"file:///Users/u/Music/Library/"_s, u"file:///Users/u/Music"_s},
        {u"file:///Users/u/M%C3%BCsic/Library.xml"_s, u"file:///Users/u/M%C3%BCsic"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.xmlURL.toStdString());
        const MusicLibrary source = library({}, {}, QUrl(c.xmlURL));
        const SyncJob job = SyncEngine::makeJob(source, source);
        EXPECT_EQ(job.sourceLibraryPath, QUrl(c.folder));
        EXPECT_EQ(job.destinationLibraryPath, QUrl(c.folder));
    }
}

TEST(ChangesetTest, CreateJobYieldsTheChangesetThroughItsFuture)
{
    const MusicLibrary source = library({track(u"A"_s)});
    SyncEngine engine;
    QFuture<SyncJob> future = engine.createJob(source, library({}));
    const SyncJob job = future.result();
    EXPECT_EQ(idsOf(job.tracksToAdd), QStringList{u"A"_s});
    EXPECT_EQ(job.totalItemCount, 1);
}
