#include "engine/SyncJob.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using Status = SyncJob::SyncStatus;

namespace {

SyncJob fullJob()
{
    const QDateTime created(QDate(2024, 6, 1), QTime(12, 0, 0, 250), Qt::UTC);
    return SyncJob{.id = QUuid::fromString(u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"_s),
                   .createdAt = created,
                   .sourceLibraryPath = QUrl(u"file:///Users/u/Music/Source%20Library/"_s),
                   .destinationLibraryPath = QUrl(u"file:///Volumes/Backup/Music/"_s),
                   .tracksToAdd = {Track{.persistentID = u"A1"_s}, Track{.persistentID = u"A2"_s}},
                   .tracksToRemove = {Track{.persistentID = u"R"_s}}, .tracksToUpdate = {Track{.persistentID = u"U"_s}},
                   .playlistsToSync = {Playlist{.persistentID = u"P1"_s, .trackIDs = {u"A1"_s, u"U"_s}}},
                   .syncArtwork = false, .status = Status::completed, .completedAt = created.addSecs(90),
                   .completedItemCount = 4, .totalItemCount = 5};
}

} // namespace

TEST(SyncJobTest, RoundTripsEveryStatusThroughJsonTextIgnoringUnknownKeys)
{
    const char *raw[] = {"pending", "scanning", "transferring", "completed", "failed", "cancelled"};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(raw[i]);
        SyncJob job = fullJob();
        job.status = Status(i);
        if (i % 2)
            job.completedAt.reset();
        QJsonObject object = job.toJson();
        EXPECT_EQ(object.value("status"_L1).toString(), QLatin1StringView(raw[i]));
        object.insert("note"_L1, u"written by a later version"_s);
        const QByteArray text = QJsonDocument(object).toJson();
        EXPECT_EQ(SyncJob::fromJson(QJsonDocument::fromJson(text).object()).toJson(), job.toJson()) << text.constData();
    }
    // The written keys are the cli's output; one dropped from both directions would still round-trip.
    EXPECT_EQ(fullJob().toJson().keys().join(u' '), u"completedAt completedItemCount createdAt destinationLibraryPath id "
                                                    "playlistsToSync sourceLibraryPath status syncArtwork totalItemCount "
                                                    "tracksToAdd tracksToRemove tracksToUpdate"_s);
}
