#pragma once

#include "engine/SyncJob.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>

#include <functional>
#include <optional>
#include <vector>

namespace quaverly::testing {

using namespace Qt::StringLiterals;

/// A track with nothing but an ID and a location.
inline Track track(const QString &persistentID, std::optional<QUrl> location = std::nullopt)
{
    Track result;
    result.persistentID = persistentID;
    result.location = std::move(location);
    return result;
}

inline QUrl fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

/// Writes `contents` at `path`, creating the missing folders; false when that fails.
[[nodiscard]] inline bool writeFile(const QString &path, const QByteArray &contents)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

/// The bytes of the file at `path`, or nothing when it cannot be read.
[[nodiscard]] inline std::optional<QByteArray> contentsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

/// Sets the modification time of the item at `path` (a folder too); false when that fails.
[[nodiscard]] inline bool setModified(const QString &path, const QDateTime &when)
{
    const qint64 ms = when.toMSecsSinceEpoch();
    timespec times[2];
    times[0].tv_sec = time_t(ms / 1000);
    times[0].tv_nsec = long(ms % 1000) * 1000000;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

/// A temporary folder holding a source library folder B and a destination library folder D.
class LibraryFoldersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        sourceFolder = m_root.path() + u"/Source/Music"_s;
        destinationFolder = m_root.path() + u"/Destination/Music"_s;
        ASSERT_TRUE(QDir().mkpath(sourceFolder));
        ASSERT_TRUE(QDir().mkpath(destinationFolder));
    }

    [[nodiscard]] QString rootPath(const QString &relative) const { return m_root.path() + u'/' + relative; }
    [[nodiscard]] QString sourcePath(const QString &relative) const { return sourceFolder + u'/' + relative; }
    [[nodiscard]] QString destinationPath(const QString &relative) const { return destinationFolder + u'/' + relative; }

    /// A pending job between B and D holding the given lists.
    [[nodiscard]] SyncJob job(QList<Track> toAdd = {}, QList<Track> toRemove = {}, QList<Track> toUpdate = {},
                              QList<Playlist> playlists = {}) const
    {
        SyncJob result;
        result.id = QUuid::createUuid();
        result.createdAt = QDateTime::currentDateTimeUtc();
        result.sourceLibraryPath = fileUrl(sourceFolder);
        result.destinationLibraryPath = fileUrl(destinationFolder);
        result.tracksToAdd = std::move(toAdd);
        result.tracksToRemove = std::move(toRemove);
        result.tracksToUpdate = std::move(toUpdate);
        result.playlistsToSync = std::move(playlists);
        result.totalItemCount = result.tracksToAdd.size() + result.tracksToRemove.size()
            + result.tracksToUpdate.size() + result.playlistsToSync.size();
        return result;
    }

    /// The completedItemCount of every report, in order.
    [[nodiscard]] std::vector<qint64> reportedCounts() const
    {
        std::vector<qint64> counts;
        for (const SyncJob &snapshot : reports)
            counts.push_back(snapshot.completedItemCount);
        return counts;
    }

    QString sourceFolder;
    QString destinationFolder;
    /// Every snapshot reported, in order.
    std::vector<SyncJob> reports;
    const std::function<void(const SyncJob &)> record = [this](const SyncJob &snapshot) {
        reports.push_back(snapshot);
    };

private:
    QTemporaryDir m_root;
};

} // namespace quaverly::testing
