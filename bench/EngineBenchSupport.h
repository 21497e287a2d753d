#pragma once

#include "ProcessMeasures.h"
#include "model/Track.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

#if defined(Q_OS_MACOS)
#include <mach/mach.h>
#endif

namespace quaverly::bench {

using namespace Qt::StringLiterals;

/// "median (min–max)" of `samples`, each with `decimals` places.
inline QString summary(const std::vector<double> &samples, int decimals = 1)
{
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    return u"%1 (%2\u2013%3)"_s.arg(median(samples), 0, 'f', decimals)
        .arg(samples.empty() ? 0 : *low, 0, 'f', decimals)
        .arg(samples.empty() ? 0 : *high, 0, 'f', decimals);
}

/// The resident set size of this process in MiB, or -1 where it cannot be read.
inline double residentMiB()
{
#if defined(Q_OS_LINUX)
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096.0 / (1024.0 * 1024.0) : -1;
#elif defined(Q_OS_MACOS)
    mach_task_basic_info info;
    mach_msg_type_number_t count = MACH_TASK_BASIC_INFO_COUNT;
    if (task_info(mach_task_self(), MACH_TASK_BASIC_INFO, task_info_t(&info), &count) != KERN_SUCCESS)
        return -1;
    return double(info.resident_size) / (1024.0 * 1024.0);
#else
    return -1;
#endif
}

/// CPU time used by the calling thread so far, in milliseconds: unlike wall time, it leaves out
/// the time other processes on a busy machine take.
inline double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

/// A track with every field filled as a real library's would be.
inline Track realisticTrack(qint64 index, const QString &mediaFolder)
{
    Track track;
    track.persistentID = u"%1"_s.arg(quint64(0x1F2E3D4C00000000ULL) + quint64(index), 16, 16, QChar(u'0')).toUpper();
    const qint64 artist = index / 120;
    const qint64 album = index / 12;
    track.title = u"Track %1 of a Rather Long Song Name"_s.arg(index);
    track.artist = u"Artist %1"_s.arg(artist);
    track.albumArtist = track.artist;
    track.album = u"Album %1"_s.arg(album);
    track.genre = u"Genre %1"_s.arg(index % 23);
    track.year = 1960 + index % 60;
    track.discNumber = 1;
    track.trackNumber = index % 12 + 1;
    track.duration = 180.5 + double(index % 200);
    track.rating = (index % 6) * 20;
    track.playCount = index % 97;
    track.skipCount = index % 5;
    track.loved = index % 31 == 0;
    track.dateAdded = QDateTime::fromMSecsSinceEpoch(1'500'000'000'000 + index * 1000, Qt::UTC);
    track.dateModified = QDateTime::fromMSecsSinceEpoch(1'600'000'000'000 + index * 1000, Qt::UTC);
    track.location = QUrl::fromLocalFile(u"%1/Media/Music/%2/%3/%4 %5.m4a"_s.arg(mediaFolder, track.artist, track.album)
                                             .arg(*track.trackNumber, 2, 10, QChar(u'0'))
                                             .arg(track.title));
    track.fileSize = 4'000'000 + index % 1000;
    track.hasArtwork = true;
    return track;
}

inline void printLine(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

} // namespace quaverly::bench
