#pragma once

#include <QByteArray>
#include <QFile>
#include <QTextStream>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace quaverly::bench {

/// Standard output as a text stream, shared by a benchmark's printing.
inline QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

inline rusage ownUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
}

/// The high-water mark of resident memory of this process alone. On Linux ru_maxrss survives
/// exec and would still hold the parent's size from the fork, so the kernel's VmHWM is read.
inline qint64 peakResidentBytes()
{
#if defined(Q_OS_LINUX)
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return qint64(ownUsage().ru_maxrss) * 1024;
#elif defined(Q_OS_MACOS)
    return qint64(ownUsage().ru_maxrss);
#else
    return qint64(ownUsage().ru_maxrss) * 1024;
#endif
}

/// User plus system CPU time of this process so far.
inline double cpuSeconds()
{
    const rusage usage = ownUsage();
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// The middle of `samples` (the mean of the two middle ones for an even count); 0 when empty.
inline double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n == 0 ? 0 : n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

} // namespace quaverly::bench
