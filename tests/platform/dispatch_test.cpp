#include "platform/dispatch.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(GlobalQueue, GrowsSoThatTasksWaitingForEachOtherAllStart) {
    constexpr int kTasks = 64;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    dispatch::Semaphore allDone(0);
    for (int i = 0; i < kTasks; ++i) {
        dispatch::globalQueue().async([&] {
            ++started;
            // Each task blocks until every other one has started: only a growing pool gets there.
            const auto deadline = std::chrono::steady_clock::now() + 20s;
            while (started.load() < kTasks && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            if (started.load() == kTasks) ++finished;
            allDone.signal();
        });
    }
    for (int i = 0; i < kTasks; ++i)
        ASSERT_TRUE(allDone.waitFor(30s));
    EXPECT_EQ(finished.load(), kTasks);
}

TEST(GlobalQueue, SyncReturnsAfterTheTaskAndRethrows) {
    int value = 0;
    dispatch::globalQueue(dispatch::QoS::Background).sync([&] { value = 7; });
    EXPECT_EQ(value, 7);
    EXPECT_THROW(dispatch::globalQueue().sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    // The worker survives a throwing async task.
    dispatch::globalQueue().async([] { throw std::runtime_error("ignored"); });
    dispatch::globalQueue().sync([&] { value = 8; });
    EXPECT_EQ(value, 8);
}

TEST(SerialQueue, KeepsOrderPerProducerAndRunsOneAtATime) {
    constexpr int kProducers = 8;
    constexpr int kPerProducer = 2000;
    dispatch::SerialQueue queue("test.serial");
    std::vector<std::pair<int, int>> seen; // touched only by the queue's worker
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                queue.async([&, p, i] {
                    if (running.fetch_add(1) != 0) overlapped = true;
                    seen.emplace_back(p, i);
                    running.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : producers)
        t.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped.load());
    ASSERT_EQ(seen.size(), static_cast<size_t>(kProducers * kPerProducer));
    std::vector<int> next(kProducers, 0);
    for (auto [p, i] : seen) {
        ASSERT_EQ(i, next[p]) << "producer " << p;
        ++next[p];
    }
}

TEST(SerialQueue, SyncOntoItselfIsReportedNotDeadlocked) {
    dispatch::SerialQueue queue("test.reentrant");
    bool threw = false;
    bool current = false;
    queue.sync([&] {
        current = queue.isCurrent();
        try {
            queue.sync([] {});
        } catch (const std::logic_error&) {
            threw = true;
        }
    });
    EXPECT_TRUE(current);
    EXPECT_FALSE(queue.isCurrent());
    EXPECT_TRUE(threw);
}

TEST(SerialQueue, DestructorRunsWhatIsStillQueued) {
    std::atomic<int> ran{0};
    {
        dispatch::SerialQueue queue("test.drain");
        queue.async([] { std::this_thread::sleep_for(20ms); });
        for (int i = 0; i < 10; ++i)
            queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 10);
}

TEST(MainQueue, HopFromWorkerRunsOnTheMainThreadInOrder) {
    ASSERT_TRUE(dispatch::isMainThread());
    std::vector<int> order;
    std::atomic<bool> onMain{true};
    std::thread worker([&] {
        EXPECT_FALSE(dispatch::isMainThread());
        for (int i = 0; i < 100; ++i) {
            dispatch::mainQueue().async([&, i] {
                if (!dispatch::isMainThread()) onMain = false;
                order.push_back(i);
            });
        }
    });
    worker.join();
    EXPECT_TRUE(dispatch::runMainQueueUntil([&] { return order.size() == 100; }, 5s));
    EXPECT_TRUE(onMain.load());
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(MainQueue, SyncFromMainIsReportedAndSyncFromWorkerWaits) {
    EXPECT_THROW(dispatch::mainQueue().sync([] {}), std::logic_error);
    std::atomic<bool> done{false};
    bool ranOnMain = false;
    std::thread worker([&] {
        dispatch::mainQueue().sync([&] { ranOnMain = dispatch::isMainThread(); });
        done = true;
    });
    EXPECT_TRUE(dispatch::runMainQueueUntil([&] { return done.load(); }, 5s));
    worker.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(Semaphore, CountsAndTimesOut) {
    dispatch::Semaphore binary(1);
    EXPECT_TRUE(binary.tryWait());
    EXPECT_FALSE(binary.tryWait());
    EXPECT_FALSE(binary.waitFor(10ms));
    std::thread giver([&] {
        std::this_thread::sleep_for(20ms);
        binary.signal();
    });
    binary.wait();
    giver.join();
    EXPECT_FALSE(binary.tryWait());
    binary.signal();
    binary.signal();
    EXPECT_TRUE(binary.tryWait());
    EXPECT_TRUE(binary.tryWait());
}

TEST(After, RunsWhenItsDelayHasPassedInDeadlineOrder) {
    dispatch::ManualClock clock;
    dispatch::SerialQueue queue("test.after");
    std::vector<int> order; // written on the queue, read after a sync
    auto record = [&](int n) {
        return [&, n] {
            order.push_back(n);
        };
    };
    auto ran = [&] {
        queue.sync([] {});
        return order;
    };
    dispatch::after(60ms, queue, record(4));
    dispatch::after(20ms, queue, record(1));
    dispatch::after(40ms, queue, record(2));
    dispatch::after(40ms, queue, record(3)); // equal deadlines keep the order set
    dispatch::after(0ms, queue, record(0));  // due at once, without an advance
    EXPECT_EQ(ran(), (std::vector<int>{0}));
    clock.advance(19ms);
    EXPECT_EQ(ran(), (std::vector<int>{0}));
    clock.advance(1ms);
    EXPECT_EQ(ran(), (std::vector<int>{0, 1}));
    clock.advance(100ms);
    EXPECT_EQ(ran(), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(After, PendingDelaysFallDueByTheSteadyClockOnceTheManualClockGoes) {
    dispatch::SerialQueue queue("test.after.steady");
    dispatch::Semaphore done(0);
    {
        dispatch::ManualClock clock;
        dispatch::after(30ms, queue, [&] { done.signal(); });
        EXPECT_THROW(dispatch::ManualClock second, std::logic_error);
    }
    EXPECT_TRUE(done.waitFor(10s));
    dispatch::after(10ms, queue, [&] { done.signal(); });
    EXPECT_TRUE(done.waitFor(10s));
}
