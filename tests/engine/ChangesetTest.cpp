#include "engine/SyncEngine.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

MusicLibrary library(const QStringList &trackIDs, const QList<Playlist> &playlists = {})
{
    MusicLibrary result{QUrl(u"file:///Users/u/Music/Library.xml"_s), {}, playlists, std::nullopt, {}};
    for (const QString &id : trackIDs)
        result.tracks.insert(id, Track{.persistentID = id});
    return result;
}

Playlist playlist(const QString &persistentID, const QStringList &trackIDs)
{
    return Playlist{.persistentID = persistentID, .trackIDs = trackIDs};
}

/// The records' IDs, sorted.
QStringList idsOf(const auto &records)
{
    QStringList ids;
    for (const auto &record : records)
        ids.append(record.persistentID);
    ids.sort();
    return ids;
}

} // namespace

TEST(ChangesetTest, AddsAndRemovesTracksByExactPersistentID)
{
    // Case and canonically equivalent spellings are still different IDs: identity is the stored text.
    const SyncJob job = SyncEngine::makeJob(library({u"A"_s, u"B"_s, u"abc"_s, u"\u00e9"_s}),
                                            library({u"B"_s, u"C"_s, u"ABC"_s, u"e\u0301"_s}));
    EXPECT_EQ(idsOf(job.tracksToAdd), (QStringList{u"A"_s, u"abc"_s, u"\u00e9"_s}));
    EXPECT_EQ(idsOf(job.tracksToRemove), (QStringList{u"ABC"_s, u"C"_s, u"e\u0301"_s}));
    EXPECT_EQ(job.totalItemCount, 6);
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
        {"skipCount", [](Track &t) { t.skipCount = 2; }, false},
        {"title", [](Track &t) { t.title = u"Other"_s; }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.change);
        MusicLibrary source = library({u"A"_s, u"B"_s});
        c.apply(source.tracks[u"A"_s]);
        const SyncJob job = SyncEngine::makeJob(source, library({u"A"_s, u"B"_s}));
        EXPECT_EQ(job.totalItemCount, c.updated ? 1 : 0);
        EXPECT_EQ(job.tracksToUpdate, c.updated ? QList{source.tracks[u"A"_s]} : QList<Track>()) << "the source's version";
    }
    // Listed in the order of their IDs, whatever order the tables keep: two plans read alike.
    QStringList ids;
    for (int i = 0; i < 50; ++i)
        ids.append(u"T%1"_s.arg(i * 7919 % 1000, 3, 10, QChar(u'0')));
    MusicLibrary source = library(ids);
    for (Track &track : source.tracks)
        track.playCount = 1;
    QStringList listed;
    for (const Track &track : SyncEngine::makeJob(source, library(ids)).tracksToUpdate)
        listed.append(track.persistentID);
    EXPECT_EQ(listed, idsOf(source.tracks));
}

TEST(ChangesetTest, PlaylistsFollowTheFirstMatchsTrackList)
{
    const Playlist renamed{.persistentID = u"Renamed"_s, .name = u"New"_s, .kind = Playlist::PlaylistKind::smart,
                           .trackIDs = {u"A"_s, u"B"_s}};
    const QList<Playlist> source = {renamed, playlist(u"Reordered"_s, {u"B"_s, u"A"_s}), playlist(u"New"_s, {u"A"_s}),
                                    playlist(u"Repeated"_s, {u"A"_s, u"A"_s}), playlist(u"FirstDiffers"_s, {u"A"_s}),
                                    playlist(u"FirstAgrees"_s, {u"A"_s})};
    const QList<Playlist> destination = {
        playlist(u"Renamed"_s, {u"A"_s, u"B"_s}), playlist(u"Reordered"_s, {u"A"_s, u"B"_s}),
        playlist(u"Repeated"_s, {u"A"_s}),        playlist(u"FirstDiffers"_s, {}),
        playlist(u"FirstDiffers"_s, {u"A"_s}),    playlist(u"FirstAgrees"_s, {u"A"_s}),
        playlist(u"FirstAgrees"_s, {}),           playlist(u"OnlyHere"_s, {u"A"_s})};
    const SyncJob job = SyncEngine::makeJob(library({u"A"_s, u"B"_s}, source), library({u"A"_s, u"B"_s}, destination));
    EXPECT_EQ(idsOf(job.playlistsToSync), (QStringList{u"FirstDiffers"_s, u"New"_s, u"Reordered"_s, u"Repeated"_s}));
    EXPECT_EQ(job.totalItemCount, 4);
}
