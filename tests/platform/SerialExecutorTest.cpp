#include "platform/SerialExecutor.h"

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

using quaverly::SerialExecutor;

TEST(SerialExecutorTest, RunsWorkFromManyThreadsOneAtATimeInEachThreadsOrderOffTheSubmitter)
{
    SerialExecutor executor;
    std::vector<std::pair<int, int>> done; // unguarded on purpose: overlapping work would race on it
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    std::atomic<bool> ranOnSubmitter{false};
    std::vector<std::vector<QFuture<void>>> futures(4);
    std::vector<std::thread> submitters;
    for (int thread = 0; thread < 4; ++thread) {
        submitters.emplace_back([&, thread] {
            QThread *const submitter = QThread::currentThread();
            for (int i = 0; i < 100; ++i) {
                futures[std::size_t(thread)].push_back(executor.run([&, thread, i, submitter] {
                    const int now = ++running;
                    mostRunning = std::max(mostRunning.load(), now);
                    if (QThread::currentThread() == submitter)
                        ranOnSubmitter = true;
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
    for (auto &threadFutures : futures) {
        for (QFuture<void> &future : threadFutures)
            future.waitForFinished();
    }
    // A void future finishes inside Qt, out of ThreadSanitizer's sight; this load of what the
    // last task stored is the hand-over it can see.
    ASSERT_EQ(running.load(), 0);

    ASSERT_EQ(done.size(), 400u);
    std::vector<int> next(4, 0);
    for (const auto &[thread, i] : done)
        EXPECT_EQ(i, next[std::size_t(thread)]++) << "thread " << thread;
    EXPECT_EQ(mostRunning.load(), 1);
    EXPECT_FALSE(ranOnSubmitter.load());
}

TEST(SerialExecutorTest, DeliversResultsAndExceptionsToTheirFutures)
{
    SerialExecutor executor;
    QFuture<int> answer = executor.run([] { return 42; });
    QFuture<int> failing = executor.run([]() -> int { throw std::runtime_error("disk on fire"); });
    QFuture<void> failingVoid = executor.run([] { throw std::invalid_argument("bad"); });
    QFuture<QString> after = executor.run([] { return QStringLiteral("still running"); });

    EXPECT_EQ(answer.result(), 42);
    try {
        (void)failing.result();
        ADD_FAILURE() << "no exception reached the future";
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(), "disk on fire");
    }
    EXPECT_THROW(failingVoid.waitForFinished(), std::invalid_argument);
    EXPECT_EQ(after.result(), QStringLiteral("still running"));
}

TEST(SerialExecutorTest, FinishesQueuedWorkAfterTheExecutorIsDestroyed)
{
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::vector<QFuture<int>> futures;
    {
        SerialExecutor executor;
        futures.push_back(executor.run([opened] {
            opened.wait();
            return 0;
        }));
        for (int i = 1; i < 5; ++i)
            futures.push_back(executor.run([i] { return i; }));
    }
    gate.set_value();

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(futures[std::size_t(i)].result(), i);
}
