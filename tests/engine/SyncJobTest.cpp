#include "engine/SyncJob.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

TEST(SyncJobTest, WritesEveryKeyAndStatusAndReadsThemBackIgnoringUnknownKeys)
{
    const QDateTime created(QDate(2024, 6, 1), QTime(12, 0, 0, 250), Qt::UTC);
    SyncJob job{.id = QUuid::createUuid(), .createdAt = created,
                .sourceLibraryPath = QUrl(u"file:///Users/u/Music/Source%20Library/"_s),
                .destinationLibraryPath = QUrl(u"file:///Volumes/Backup/Music/"_s),
                .tracksToAdd = {Track{.persistentID = u"A1"_s}, Track{.persistentID = u"A2"_s}},
                .tracksToRemove = {Track{.persistentID = u"R"_s}}, .tracksToUpdate = {Track{.persistentID = u"U"_s}},
                .playlistsToSync = {Playlist{.persistentID = u"P1"_s, .trackIDs = {u"A1"_s, u"U"_s}}},
                .syncArtwork = false, .completedAt = created.addSecs(90), .completedItemCount = 4, .totalItemCount = 5};
    // The written keys are the cli's output; one dropped from both directions would still read back.
    EXPECT_EQ(job.toJson().keys().join(u' '), u"completedAt completedItemCount createdAt destinationLibraryPath id "
                                              "playlistsToSync sourceLibraryPath status syncArtwork totalItemCount "
                                              "tracksToAdd tracksToRemove tracksToUpdate"_s);
    const char *raw[] = {"pending", "scanning", "transferring", "completed", "failed", "cancelled"};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(raw[i]);
        job.status = SyncJob::SyncStatus(i);
        QJsonObject object = job.toJson();
        EXPECT_EQ(object.value("status"_L1).toString(), QLatin1StringView(raw[i]));
        object.insert("note"_L1, u"written by a later version"_s);
        EXPECT_EQ(SyncJob::fromJson(object).toJson(), job.toJson());
    }
}
