#include "engine/SyncJob.h"

#include "model/DecodingError.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <utility>

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

/// The kind and key of the error that decoding `fullJob()` with `key` set to `value` fails with.
std::pair<DecodingError::Kind, QString> failureWith(const char *key, const QJsonValue &value)
{
    QJsonObject object = fullJob().toJson();
    object.insert(QLatin1StringView(key), value);
    try {
        (void)SyncJob::fromJson(object);
    } catch (const DecodingError &error) {
        return {error.kind(), error.key()};
    }
    return {DecodingError::Kind::dataCorrupted, u"<decoded>"_s};
}

} // namespace

TEST(SyncJobTest, RoundTripsEveryStatusThroughJsonTextIgnoringUnknownKeys)
{
    const QString raw[] = {u"pending"_s, u"scanning"_s, u"transferring"_s, u"completed"_s, u"failed"_s, u"cancelled"_s};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(raw[i].toStdString());
        SyncJob job = fullJob();
        job.status = Status(i);
        if (i % 2)
            job.completedAt.reset();
        QJsonObject object = job.toJson();
        EXPECT_EQ(object.value("status"_L1).toString(), raw[i]);
        object.insert("note"_L1, u"written by a later version"_s);
        const QByteArray text = QJsonDocument(object).toJson();
        EXPECT_EQ(SyncJob::fromJson(QJsonDocument::fromJson(text).object()).toJson(), job.toJson()) << text.constData();
    }
    // The written keys are the cli's output; one dropped from both directions would still round-trip.
    const QJsonObject object = fullJob().toJson();
    EXPECT_EQ(object.keys().join(u' '), u"completedAt completedItemCount createdAt destinationLibraryPath id "
                                        "playlistsToSync sourceLibraryPath status syncArtwork totalItemCount "
                                        "tracksToAdd tracksToRemove tracksToUpdate"_s);
    EXPECT_EQ(object.value("id"_L1).toString(), u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"_s);
}

TEST(SyncJobTest, DecodingFailuresNameTheKeyPath)
{
    using Kind = DecodingError::Kind;
    EXPECT_EQ(failureWith("status", u"Cancelled"_s), std::pair(Kind::dataCorrupted, u"status"_s));
    EXPECT_EQ(failureWith("id", u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}"_s), std::pair(Kind::dataCorrupted, u"id"_s));
    EXPECT_EQ(failureWith("completedAt", QJsonValue::Null), std::pair(Kind::typeMismatch, u"completedAt"_s));
    EXPECT_EQ(failureWith("tracksToAdd", QJsonArray{fullJob().tracksToAdd.first().toJson(), QJsonObject()}),
              std::pair(Kind::keyNotFound, u"tracksToAdd[1].persistentID"_s));
}

TEST(SyncJobTest, AJobWithNothingToDoIsComplete)
{
    // A run with only artwork to mirror counts no items, and ends "Sync complete".
    EXPECT_EQ(SyncJob{}.percentDone(), 100);
}
