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
    MusicLibrary result{xmlURL, {}, playlists, std::nullopt, QDateTime::currentDateTimeUtc()};
    for (const Track &t : tracks)
        result.tracks.insert(t.persistentID, t);
    return result;
}

Playlist playlist(const QString &persistentID, const QStringList &trackIDs)
{
    Playlist result;
    result.persistentID = persistentID;
    result.trackIDs = trackIDs;
    return result;
}

template<typename Record>
QStringList idsOf(const QList<Record> &records)
{
    QStringList ids;
    for (const Record &record : records)
        ids.append(record.persistentID);
    return ids;
}

QStringList sorted(QStringList ids)
{
    ids.sort();
    return ids;
}

} // namespace

TEST(ChangesetTest, EmptySideMeansEverythingIsAddedOrRemoved)
{
    const MusicLibrary full = library({track(u"A"_s), track(u"B"_s)}, {playlist(u"P1"_s, {u"A"_s}), playlist(u"P2"_s, {})});

    const SyncJob toEmpty = SyncEngine::makeJob(full, library({}));
    EXPECT_EQ(sorted(idsOf(toEmpty.tracksToAdd)), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_TRUE(toEmpty.tracksToRemove.isEmpty() && toEmpty.tracksToUpdate.isEmpty());
    EXPECT_EQ(idsOf(toEmpty.playlistsToSync), (QStringList{u"P1"_s, u"P2"_s}));
    EXPECT_EQ(toEmpty.totalItemCount, 4);

    const SyncJob fromEmpty = SyncEngine::makeJob(library({}), full);
    EXPECT_EQ(sorted(idsOf(fromEmpty.tracksToRemove)), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_TRUE(fromEmpty.tracksToAdd.isEmpty() && fromEmpty.tracksToUpdate.isEmpty()
                && fromEmpty.playlistsToSync.isEmpty());
    EXPECT_EQ(fromEmpty.totalItemCount, 2);

    const SyncJob same = SyncEngine::makeJob(full, full);
    EXPECT_EQ(same.totalItemCount, 0);
    EXPECT_FALSE(same.hasChanges());
}

TEST(ChangesetTest, OnlyPlayStatisticsDecideAnUpdate)
{
    const struct {
        const char *change;
        std::function<void(Track &)> apply;
        bool updated;
    } cases[] = {
        {"rating", [](Track &t) { t.rating = 80; }, true},
        {"playCount", [](Track &t) { t.playCount = 7; }, true},
        {"loved", [](Track &t) { t.loved = true; }, true},
        {"disliked", [](Track &t) { t.disliked = true; }, true},
        {"rating and loved", [](Track &t) { t.rating = 100; t.loved = true; }, true},
        {"skipCount", [](Track &t) { t.skipCount = 2; }, false},
        {"title", [](Track &t) { t.title = u"Other"_s; }, false},
        {"location", [](Track &t) { t.location = QUrl(u"file:///elsewhere.m4a"_s); }, false},
        {"dateModified", [](Track &t) { t.dateModified = QDateTime::currentDateTimeUtc(); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.change);
        const Track theirs = track(u"A"_s, QUrl(u"file:///d/a.m4a"_s));
        Track ours = theirs;
        c.apply(ours);
        ASSERT_FALSE(ours == theirs);

        const SyncJob job = SyncEngine::makeJob(library({ours, track(u"B"_s)}), library({theirs, track(u"B"_s)}));
        EXPECT_TRUE(job.tracksToAdd.isEmpty() && job.tracksToRemove.isEmpty());
        ASSERT_EQ(job.tracksToUpdate.size(), c.updated ? 1 : 0);
        if (c.updated) {
            EXPECT_TRUE(job.tracksToUpdate.first() == ours) << "the update carries the source's version";
        }
    }
}

TEST(ChangesetTest, MatchesPersistentIDsAsExactText)
{
    // Canonically equivalent spellings are still different IDs: identity is the stored text.
    const SyncJob job = SyncEngine::makeJob(library({track(u"abc"_s), track(u"\u00e9"_s)}),
                                            library({track(u"ABC"_s), track(u"e\u0301"_s)}));
    EXPECT_EQ(sorted(idsOf(job.tracksToAdd)), (QStringList{u"abc"_s, u"\u00e9"_s}));
    EXPECT_EQ(sorted(idsOf(job.tracksToRemove)), (QStringList{u"ABC"_s, u"e\u0301"_s}));
}

TEST(ChangesetTest, PlaylistsFollowTheFirstMatchsTrackList)
{
    Playlist renamed = playlist(u"Renamed"_s, {u"A"_s, u"B"_s});
    Playlist renamedSource = renamed;
    renamedSource.name = u"New name"_s;
    renamedSource.kind = Playlist::PlaylistKind::smart;
    renamedSource.parentID = u"F"_s;
    const QList<Playlist> source = {
        renamedSource,
        playlist(u"Reordered"_s, {u"B"_s, u"A"_s}),
        playlist(u"New"_s, {u"A"_s}),
        playlist(u"Repeated"_s, {u"A"_s, u"A"_s}),
        playlist(u"FirstDiffers"_s, {u"A"_s}),
        playlist(u"FirstAgrees"_s, {u"A"_s}),
    };
    const QList<Playlist> destination = {
        renamed,
        playlist(u"Reordered"_s, {u"A"_s, u"B"_s}),
        playlist(u"Repeated"_s, {u"A"_s}),
        playlist(u"FirstDiffers"_s, {}),
        playlist(u"FirstDiffers"_s, {u"A"_s}),
        playlist(u"FirstAgrees"_s, {u"A"_s}),
        playlist(u"FirstAgrees"_s, {}),
        playlist(u"OnlyHere"_s, {u"A"_s}),
    };
    const QList<Track> tracks = {track(u"A"_s), track(u"B"_s)};
    const SyncJob job = SyncEngine::makeJob(library(tracks, source), library(tracks, destination));
    EXPECT_EQ(idsOf(job.playlistsToSync), (QStringList{u"Reordered"_s, u"New"_s, u"Repeated"_s, u"FirstDiffers"_s}));
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
    EXPECT_GE(job.createdAt, before);

    SyncEngine engine;
    const SyncJob again = engine.createJob(source, destination).result();
    EXPECT_NE(again.id, job.id);
    EXPECT_EQ(sorted(idsOf(again.tracksToAdd)), sorted(idsOf(job.tracksToAdd)));
    EXPECT_EQ(again.totalItemCount, 10);
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
        const SyncJob job = SyncEngine::makeJob(library({}, {}, QUrl(c.xmlURL)), library({}));
        EXPECT_EQ(job.sourceLibraryPath, QUrl(c.folder));
    }
}
