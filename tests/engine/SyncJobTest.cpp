#include "engine/SyncJob.h"

#include "model/DecodingError.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using quaverly::DecodingError;
using quaverly::Playlist;
using quaverly::SyncJob;
using quaverly::Track;
using Status = SyncJob::SyncStatus;

namespace {

SyncJob fullJob()
{
    const QDateTime created(QDate(2024, 6, 1), QTime(12, 0, 0, 250), Qt::UTC);
    return SyncJob{
        .id = QUuid::fromString(u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"_s),
        .createdAt = created,
        .sourceLibraryPath = QUrl(u"file:///Users/u/Music/Source%20Library/"_s),
        .destinationLibraryPath = QUrl(u"file:///Volumes/Backup/Music/"_s),
        .tracksToAdd = {Track{.persistentID = u"A1"_s, .title = u"Add \u00E9"_s, .year = 2001},
                        Track{.persistentID = u"A2"_s, .location = QUrl(u"file:///x/a%202.m4a"_s)}},
        .tracksToRemove = {Track{.persistentID = u"R1"_s, .fileSize = 1234}},
        .tracksToUpdate = {Track{.persistentID = u"U1"_s, .rating = 60, .loved = true}},
        .playlistsToSync = {Playlist{.persistentID = u"P1"_s, .kind = Playlist::PlaylistKind::folder,
                                     .trackIDs = {u"A1"_s, u"U1"_s}}},
        .syncArtwork = false,
        .status = Status::completed,
        .completedAt = created.addSecs(90),
        .completedItemCount = 4,
        .totalItemCount = 5,
    };
}

void expectSameJob(const SyncJob &actual, const SyncJob &expected)
{
    EXPECT_EQ(actual.id, expected.id);
    EXPECT_EQ(actual.createdAt, expected.createdAt);
    EXPECT_EQ(actual.sourceLibraryPath, expected.sourceLibraryPath);
    EXPECT_EQ(actual.destinationLibraryPath, expected.destinationLibraryPath);
    EXPECT_EQ(actual.tracksToAdd, expected.tracksToAdd);
    EXPECT_EQ(actual.tracksToRemove, expected.tracksToRemove);
    EXPECT_EQ(actual.tracksToUpdate, expected.tracksToUpdate);
    EXPECT_EQ(actual.playlistsToSync, expected.playlistsToSync);
    EXPECT_EQ(actual.syncArtwork, expected.syncArtwork);
    EXPECT_EQ(actual.status, expected.status);
    EXPECT_EQ(actual.completedAt, expected.completedAt);
    EXPECT_EQ(actual.completedItemCount, expected.completedItemCount);
    EXPECT_EQ(actual.totalItemCount, expected.totalItemCount);
}

SyncJob throughText(const SyncJob &job)
{
    const QByteArray text = QJsonDocument(job.toJson()).toJson();
    return SyncJob::fromJson(QJsonDocument::fromJson(text).object());
}

std::optional<DecodingError> decodingError(const QJsonObject &object)
{
    try {
        (void)SyncJob::fromJson(object);
    } catch (const DecodingError &error) {
        return error;
    }
    return std::nullopt;
}

} // namespace

TEST(SyncJobTest, StatusRawValuesAreExactAndCaseSensitive)
{
    for (const Status status : {Status::pending, Status::scanning, Status::transferring,
                                Status::completed, Status::failed, Status::cancelled}) {
        SCOPED_TRACE(SyncJob::rawValue(status).toStdString());
        EXPECT_EQ(SyncJob::statusFromRawValue(SyncJob::rawValue(status)), status);
    }
    EXPECT_EQ(SyncJob::rawValue(Status::transferring), u"transferring"_s);
    EXPECT_EQ(SyncJob::statusFromRawValue(u"cancelled"), Status::cancelled);
    for (const QString &text : {u""_s, u"Pending"_s, u"canceled"_s, u"done"_s}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(SyncJob::statusFromRawValue(text), std::nullopt);
    }
}

TEST(SyncJobTest, HasChangesWhenAnyListHoldsSomething)
{
    EXPECT_FALSE(SyncJob{}.hasChanges());
    const SyncJob full = fullJob();
    EXPECT_TRUE(SyncJob{.tracksToAdd = full.tracksToAdd}.hasChanges());
    EXPECT_TRUE(SyncJob{.tracksToRemove = full.tracksToRemove}.hasChanges());
    EXPECT_TRUE(SyncJob{.tracksToUpdate = full.tracksToUpdate}.hasChanges());
    EXPECT_TRUE(SyncJob{.playlistsToSync = full.playlistsToSync}.hasChanges());
}

TEST(SyncJobTest, CopiesShareTheirLists)
{
    const SyncJob job = fullJob();
    SyncJob snapshot = job;
    EXPECT_EQ(snapshot.tracksToAdd.constData(), job.tracksToAdd.constData());
    EXPECT_EQ(snapshot.playlistsToSync.constData(), job.playlistsToSync.constData());
    snapshot.completedItemCount += 1;
    EXPECT_EQ(job.completedItemCount, 4) << "a snapshot is an independent value";
}

TEST(SyncJobTest, RoundTripsThroughJsonText)
{
    SyncJob pending = fullJob();
    pending.status = Status::pending;
    pending.completedAt.reset();
    pending.completedItemCount = 0;
    const SyncJob jobs[] = {fullJob(), pending, SyncJob{.id = QUuid::createUuid()}};
    for (const SyncJob &job : jobs) {
        SCOPED_TRACE(SyncJob::rawValue(job.status).toStdString());
        const QJsonObject object = job.toJson();
        EXPECT_EQ(object.size(), 12 + int(job.completedAt.has_value()));
        EXPECT_EQ(object.contains("completedAt"_L1), job.completedAt.has_value());
        expectSameJob(throughText(job), job);
    }
    const QJsonObject object = fullJob().toJson();
    EXPECT_EQ(object.value("id"_L1).toString(), u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"_s);
    EXPECT_EQ(object.value("createdAt"_L1).toString(), u"2024-06-01T12:00:00.250Z"_s);
    EXPECT_EQ(object.value("status"_L1).toString(), u"completed"_s);
    EXPECT_EQ(object.value("sourceLibraryPath"_L1).toString(), u"file:///Users/u/Music/Source%20Library/"_s);
}

TEST(SyncJobTest, IgnoresUnknownKeys)
{
    QJsonObject object = fullJob().toJson();
    object.insert("note"_L1, u"written by a later version"_s);
    object.insert("Status"_L1, 5);
    expectSameJob(SyncJob::fromJson(object), fullJob());
}

TEST(SyncJobTest, EveryKeyButCompletedAtIsRequired)
{
    const QJsonObject full = fullJob().toJson();
    for (const QString &key : full.keys()) {
        SCOPED_TRACE(key.toStdString());
        QJsonObject object = full;
        object.remove(key);
        const std::optional<DecodingError> error = decodingError(object);
        if (key == u"completedAt") {
            EXPECT_FALSE(error.has_value());
            continue;
        }
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->kind(), DecodingError::Kind::keyNotFound);
        EXPECT_EQ(error->key(), key);
    }
}

TEST(SyncJobTest, DecodingFailuresNameTheKeyPath)
{
    using Kind = DecodingError::Kind;
    QJsonArray badTracks = fullJob().toJson().value("tracksToAdd"_L1).toArray();
    QJsonObject secondTrack = badTracks.at(1).toObject();
    secondTrack.remove("title"_L1);
    badTracks.replace(1, secondTrack);
    const struct
    {
        const char *key;
        QJsonValue value;
        Kind kind;
        QString errorKey;
        QString description;
    } cases[] = {
        {"status", u"Cancelled"_s, Kind::dataCorrupted, u"status"_s,
         u"The value for the key \"status\" is not valid: \"Cancelled\" is not a sync status."_s},
        {"status", 3, Kind::typeMismatch, u"status"_s, {}},
        {"id", u"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}"_s, Kind::dataCorrupted, u"id"_s, {}},
        {"id", u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0X"_s, Kind::dataCorrupted, u"id"_s, {}},
        {"id", u"0f1e2d3g-4b5a-6978-8796-a5b4c3d2e1f0"_s, Kind::dataCorrupted, u"id"_s, {}},
        {"createdAt", u"yesterday"_s, Kind::dataCorrupted, u"createdAt"_s, {}},
        {"completedAt", QJsonValue::Null, Kind::typeMismatch, u"completedAt"_s, {}},
        {"tracksToRemove", QJsonObject(), Kind::typeMismatch, u"tracksToRemove"_s, {}},
        {"tracksToAdd", badTracks, Kind::keyNotFound, u"tracksToAdd[1].title"_s,
         u"The value for the key \"tracksToAdd[1].title\" is missing."_s},
        {"playlistsToSync", QJsonArray{u"P1"_s}, Kind::typeMismatch, u"playlistsToSync[0]"_s,
         u"The value for the key \"playlistsToSync[0]\" is not an object."_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.errorKey.toStdString());
        QJsonObject object = fullJob().toJson();
        object.insert(QLatin1StringView(c.key), c.value);
        const std::optional<DecodingError> error = decodingError(object);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->kind(), c.kind);
        EXPECT_EQ(error->key(), c.errorKey);
        if (!c.description.isEmpty()) {
            EXPECT_EQ(error->description(), c.description);
        }
    }
}
