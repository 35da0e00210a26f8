#include "kernel/threads/worker_pool.h"

#include <gtest/gtest.h>

#include "tests/support/test_folder.h"

#include <atomic>
#include <cstdlib>

namespace {

// Results come back through their futures whatever order the workers finish in; tasks still
// queued when the pool goes never run (a failed stage must not start more tool runs), while
// the running one is waited for.
TEST(WorkerPoolTest, ResultsByFutureAndQueuedTasksDroppedAtTheEnd) {
    std::vector<std::future<int>> results;
    {
        ZephUtil::WorkerPool pool(3);
        for (int i = 0; i < 20; ++i)
            results.push_back(pool.Submit([i] { return i * i; }));
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(results[i].get(), i * i);
    }

    std::atomic<int> ran{0};
    std::future<void> dropped;
    {
        ZephUtil::WorkerPool pool(1);
        std::promise<void> queued, started;
        // Runs until the pool has given up the task queued behind it.
        pool.Submit([&, next = queued.get_future()] {
            started.set_value();
            next.wait();
            dropped.wait();
            ++ran;
        });
        dropped = pool.Submit([&] { ++ran; });
        queued.set_value();
        started.get_future().wait();
    }
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(dropped.get(), std::future_error);
}

TEST(WorkerPoolTest, WorkerCountFromTheEnvironmentWithinBounds) {
    {
        orvik_test::ScopedEnv one("ORVIK_WORKERS", "1");
        EXPECT_EQ(ZephUtil::DefaultWorkerCount(), 1u);
    }
    orvik_test::ScopedEnv tooMany("ORVIK_WORKERS", "99");
    const unsigned fallback = ZephUtil::DefaultWorkerCount();
    EXPECT_TRUE(fallback >= 2 && fallback <= 4);
}

}  // namespace
