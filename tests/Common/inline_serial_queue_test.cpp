// The client's serial queue: one task at a time, in the order queued, sync tasks on the caller.

#include "Common/inline_serial_queue.h"

#include "support/eventually.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

TEST(InlineSerialQueue, SyncRunsOnTheCallerAfterEverythingQueuedBefore) {
    InlineSerialQueue queue("test");
    EXPECT_EQ(queue.label(), "test");
    std::vector<int> order;
    std::promise<void> release;
    auto released = release.get_future().share();
    queue.async([&, released] {
        released.wait();
        order.push_back(1);
    });
    queue.async([&] { order.push_back(2); });
    std::thread caller([&] {
        std::thread::id ran;
        queue.sync([&] {
            ran = std::this_thread::get_id();
            EXPECT_TRUE(queue.isCurrent());
            order.push_back(3);
        });
        EXPECT_EQ(ran, std::this_thread::get_id());
    });
    EXPECT_TRUE(test_support::eventually([&] { return queue.waitingForTurn() == 1; })) << "the caller queues";
    EXPECT_TRUE(order.empty()) << "the sync task waits its turn";
    release.set_value();
    caller.join();
    queue.sync([] {});
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(queue.isCurrent());
}

TEST(InlineSerialQueue, TasksFromManyThreadsNeverOverlap) {
    InlineSerialQueue queue("test");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    long counter = 0; // guarded by the queue alone
    const auto task = [&] {
        if (inside.fetch_add(1) != 0) overlaps++;
        counter++;
        inside.fetch_sub(1);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if ((i + t) % 3 == 0)
                    queue.async(task);
                else
                    queue.sync(task);
            }
        });
    for (auto& thread : threads)
        thread.join();
    queue.sync([] {});
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, 8000);
}

TEST(InlineSerialQueue, FailuresAreReportedAndTheQueueGoesOn) {
    InlineSerialQueue queue("test");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("task failed"); }), std::runtime_error);
    EXPECT_THROW(queue.sync([&] { queue.sync([] {}); }), std::logic_error) << "waiting for itself";
    queue.async([] { throw std::runtime_error("nobody to tell"); });
    bool ran = false;
    queue.sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(InlineSerialQueue, QueuedTasksRunBeforeTheQueueGoes) {
    std::atomic<int> ran{0};
    {
        InlineSerialQueue queue("test");
        for (int i = 0; i < 100; ++i)
            queue.async([&] { ran++; });
    }
    EXPECT_EQ(ran.load(), 100);
}
