// The shared worker pool: its thread limit, the order of tasks, and a group's cancel.
#include "platform/worker_pool.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <vector>

namespace cantrix {
namespace {

TEST(WorkerPool, RunsInOrderWithinTheLimitAndCancelDropsQueuedTasks)
{
    for (const unsigned limit : {1u, 3u}) {
        SCOPED_TRACE(limit);
        WorkerPool pool;
        pool.SetThreadLimit(limit);
        std::atomic<int> running{0}, most{0};
        std::mutex mutex;
        std::vector<int> started;
        {
            WorkerGroup group(pool);
            for (int task = 0; task < 12; ++task) {
                group.Submit([&, task] {
                    const int now = ++running;
                    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
                    }
                    {
                        std::lock_guard lock(mutex);
                        started.push_back(task);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    --running;
                });
            }
        } // the group's end waits for the tasks that run and drops the others
        EXPECT_LE(most.load(), static_cast<int>(limit));
        EXPECT_EQ(running.load(), 0);
        for (std::size_t i = 1; i < started.size(); ++i)
            EXPECT_LT(started[i - 1], started[i] + static_cast<int>(limit)) << "tasks started out of order";

        // A task held at its start: the queued ones behind it never run once the group cancels.
        WorkerGroup held(pool);
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<int> waiting{0}, ran{0};
        for (unsigned i = 0; i < limit; ++i)
            held.Submit([&] {
                ++waiting;
                released.wait();
                ++ran;
            });
        for (int i = 0; i < 5; ++i)
            held.Submit([&] { ran += 100; });
        while (waiting.load() < static_cast<int>(limit))
            std::this_thread::yield();
        std::future<void> cancelled = std::async(std::launch::async, [&] { held.Cancel(); });
        EXPECT_EQ(cancelled.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout)
            << "cancel returned while a task still ran";
        release.set_value();
        cancelled.get();
        EXPECT_EQ(ran.load(), static_cast<int>(limit));
    }
}

} // namespace
} // namespace cantrix
