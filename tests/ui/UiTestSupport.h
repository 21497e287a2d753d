#pragma once

#include "engine/SyncJob.h"

#include <QLocale>
#include <QWidget>

#include <gtest/gtest.h>

namespace quaverly::test {

/// The child named `name`; fails the test when there is none.
template<typename T>
T *child(const QWidget *parent, const char *name)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no child named " << name;
    return found;
}

/// A job whose four lists hold the given numbers of entries.
inline SyncJob jobWithCounts(qsizetype add, qsizetype remove, qsizetype update, qsizetype playlists)
{
    SyncJob job;
    for (qsizetype i = 0; i < add; ++i)
        job.tracksToAdd.append(Track{.persistentID = QString::number(i)});
    for (qsizetype i = 0; i < remove; ++i)
        job.tracksToRemove.append(Track{.persistentID = QString::number(i)});
    for (qsizetype i = 0; i < update; ++i)
        job.tracksToUpdate.append(Track{.persistentID = QString::number(i)});
    for (qsizetype i = 0; i < playlists; ++i)
        job.playlistsToSync.append(Playlist{.persistentID = QString::number(i)});
    return job;
}

/// Makes a grouping locale the default for the test's life, so that counts printed through the
/// locale would show separators.
class GroupingLocale
{
public:
    GroupingLocale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~GroupingLocale() { QLocale::setDefault(m_previous); }
    GroupingLocale(const GroupingLocale &) = delete;
    GroupingLocale &operator=(const GroupingLocale &) = delete;

private:
    QLocale m_previous;
};

} // namespace quaverly::test
