#include "platform/SerialExecutor.h"

#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

using quaverly::SerialExecutor;

// Qt's painting waits for threads of its global pool on the main thread; work of ours that held
// them would freeze the window for as long as it runs.
TEST(SerialExecutorTest, RunsWorkFromManyThreadsOneAtATimeInEachThreadsOrderOffTheSubmitterAndQtsPool)
{
    SerialExecutor executor;
    std::vector<std::pair<int, int>> done; // unguarded on purpose: overlapping work would race on it
    std::atomic<int> running{0}, mostRunning{0};
    std::atomic<bool> ranOnSubmitter{false}, heldQtsPool{false};
    std::vector<std::vector<QFuture<void>>> futures(4);
    std::vector<std::thread> submitters;
    for (int thread = 0; thread < 4; ++thread) {
        submitters.emplace_back([&, thread] {
            QThread *const submitter = QThread::currentThread();
            for (int i = 0; i < 100; ++i) {
                futures[std::size_t(thread)].push_back(executor.run([&, thread, i, submitter] {
                    mostRunning = std::max(mostRunning.load(), ++running);
                    ranOnSubmitter = ranOnSubmitter || QThread::currentThread() == submitter;
                    heldQtsPool = heldQtsPool || QThreadPool::globalInstance()->activeThreadCount() > 0;
                    if (i % 50 == 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    done.emplace_back(thread, i);
                    --running;
                }));
            }
        });
    }
    for (std::thread &submitter : submitters)
        submitter.join();
    for (auto &threadFutures : futures)
        std::ranges::for_each(threadFutures, &QFuture<void>::waitForFinished);
    // A void future finishes inside Qt, out of ThreadSanitizer's sight; this load of what the
    // last task stored is the hand-over it can see.
    ASSERT_EQ(running.load(), 0);

    ASSERT_EQ(done.size(), 400u);
    std::vector<int> next(4, 0);
    for (const auto &[thread, i] : done)
        EXPECT_EQ(i, next[std::size_t(thread)]++) << "thread " << thread;
    EXPECT_EQ(mostRunning.load(), 1);
    EXPECT_FALSE(ranOnSubmitter.load());
    EXPECT_FALSE(heldQtsPool.load());
}

TEST(SerialExecutorTest, DeliversResultsAndExceptionsAndFinishesQueuedWorkAfterTheExecutorIsGone)
{
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    QFuture<int> answer, failing;
    QFuture<void> failingVoid;
    {
        SerialExecutor executor;
        (void)executor.run([opened] { opened.wait(); });
        failing = executor.run([]() -> int { throw std::runtime_error("disk on fire"); });
        failingVoid = executor.run([] { throw std::invalid_argument("bad"); });
        answer = executor.run([] { return 42; });
    }
    gate.set_value();

    EXPECT_EQ(answer.result(), 42);
    EXPECT_THROW((void)failing.result(), std::runtime_error);
    EXPECT_THROW(failingVoid.waitForFinished(), std::invalid_argument);
}
