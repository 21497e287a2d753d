#pragma once

#include "platform/FileSystem.h"
#include "platform/Volume.h"

#include <QList>
#include <QString>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

namespace quaverly::internal {

/// Calls ask(i) for every i below `count`, several at once on threads of its own and the calling
/// thread, and returns once every call has. Over a network every question about a file is a
/// round trip: asked one after the other, those of thousands of files take longer than the
/// copies. `ask` must not throw.
///
///     askAtOnce(paths.size(), [&](qsizetype i) { sizes[i] = FileSystem::fileStatus(paths[i]) … });
template <typename Ask>
void askAtOnce(qsizetype count, const Ask &ask)
{
    // A local disk answers as fast as many at once. Each thread takes a few at a time: few
    // enough that the last ones leave no thread waiting long.
    constexpr qsizetype batch = 32;
    std::atomic<qsizetype> next = 0;
    const auto work = [&] {
        for (qsizetype start; (start = next.fetch_add(batch)) < count;) {
            for (qsizetype i = start; i < std::min(start + batch, count); ++i)
                ask(i);
        }
    };
    const int helpers = int(std::min<qsizetype>(Volume::requestsAtOnce, (count + batch - 1) / batch)) - 1;
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(helpers, 1));
    for (int i = 0; i < helpers; ++i)
        pool.start(work);
    work();
    pool.waitForDone();
}

/// FileSystem::fileStatus() of each of `paths`, in their order, asked at once; nothing for an
/// empty path, which is not asked about.
[[nodiscard]] std::vector<std::optional<FileSystem::FileStatus>> fileStatuses(const QList<QString> &paths);

} // namespace quaverly::internal
