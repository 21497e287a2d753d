#include "platform/WorkerPool.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace quaverly {

QThreadPool &workerPool()
{
    // Two scans and the release of what they replace run at once even on two cores; the work
    // waits on files as much as it computes.
    static QThreadPool pool;
    static const bool sized = [] {
        pool.setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
        return true;
    }();
    Q_UNUSED(sized);
    return pool;
}

} // namespace quaverly
