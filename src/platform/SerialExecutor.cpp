#include "platform/SerialExecutor.h"

#include "platform/WorkerPool.h"

#include <QThreadPool>

#include <deque>
#include <mutex>

namespace quaverly {

// The queue lives in shared state so that work outlives the executor that queued it:
// an actor made for one operation may be dropped before that operation has run.
struct SerialExecutor::Strand : std::enable_shared_from_this<Strand>
{
    std::mutex mutex;
    std::deque<std::function<void()>> queue;
    bool draining = false;

    void drain()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex);
                if (queue.empty()) {
                    draining = false;
                    return;
                }
                task = std::move(queue.front());
                queue.pop_front();
            }
            task();
        }
    }
};

SerialExecutor::SerialExecutor()
    : m_strand(std::make_shared<Strand>())
{
}

SerialExecutor::~SerialExecutor() = default;

void SerialExecutor::enqueue(std::function<void()> task)
{
    bool startDrain = false;
    {
        std::lock_guard lock(m_strand->mutex);
        m_strand->queue.push_back(std::move(task));
        startDrain = !std::exchange(m_strand->draining, true);
    }
    if (startDrain) {
        workerPool().start([strand = m_strand] { strand->drain(); });
    }
}

} // namespace quaverly
