#pragma once

#include <QFuture>
#include <QPromise>

#include <exception>
#include <functional>
#include <memory>
#include <type_traits>

namespace quaverly {

/// Runs submitted work one item at a time, in submission order, off the calling thread
/// (a strand on Qt's global thread pool). The executor may be destroyed while work is
/// queued: queued work still runs to its end, and its futures still finish.
/// Thread-safe: work may be submitted from any thread.
class SerialExecutor
{
public:
    SerialExecutor();
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    /// Queues `work`; its result, or the exception it threw, reaches the returned future.
    template<typename Work>
    auto run(Work work) -> QFuture<std::invoke_result_t<Work>>
    {
        using Result = std::invoke_result_t<Work>;
        auto promise = std::make_shared<QPromise<Result>>();
        QFuture<Result> future = promise->future();
        promise->start();
        enqueue([promise, work = std::move(work)]() mutable {
            try {
                if constexpr (std::is_void_v<Result>) {
                    work();
                } else {
                    promise->addResult(work());
                }
            } catch (...) {
                promise->setException(std::current_exception());
            }
            promise->finish();
        });
        return future;
    }

private:
    struct Strand;
    void enqueue(std::function<void()> task);

    std::shared_ptr<Strand> m_strand;
};

} // namespace quaverly
