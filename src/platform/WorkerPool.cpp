#include "platform/WorkerPool.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace quaverly {

QThreadPool &workerPool()
{
    // Two scans and the release of what they replace run at once even on two cores; the work
    // waits on files as much as it computes.
    struct SizedPool : QThreadPool
    {
        SizedPool() { setMaxThreadCount(std::max(4, QThread::idealThreadCount())); }
    };
    static SizedPool pool;
    return pool;
}

} // namespace quaverly
