// Timers and background work.

#include "indigo/bus/indigo_timer_internal.h"
#include "indigo/indigo_timer.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Timer callbacks get only the device: each test hangs its state off a device record.
struct Probe {
    indigo_device device{};
    std::atomic<int> fired{0};
    std::atomic<bool> running{false};
    std::thread::id thread;
    std::promise<void> started;
    std::shared_future<void> proceed;
    indigo_timer* selfTimer = nullptr;
    bool selfCancelResult = true;

    Probe() { device.private_data = this; }
    static Probe& of(indigo_device* d) { return *static_cast<Probe*>(d->private_data); }
};

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TEST(Timer, FiresOnceOnAnotherThreadAfterItsDelay) {
    zeta::indigo::ManualTimerClock clock;
    Probe probe;
    indigo_timer* timer = indigo_set_timer(&probe.device, 0.1, [](indigo_device* d) {
        Probe::of(d).thread = std::this_thread::get_id();
        Probe::of(d).fired++;
    });
    ASSERT_NE(timer, nullptr);
    clock.advance(99ms);
    EXPECT_EQ(probe.fired, 0);
    clock.advance(1ms);
    ASSERT_TRUE(waitFor([&] { return probe.fired == 1; }));
    EXPECT_NE(probe.thread, std::this_thread::get_id());

    // Cancelling after it fired is harmless and clears the token.
    EXPECT_FALSE(indigo_cancel_timer(&probe.device, &timer));
    EXPECT_EQ(timer, nullptr);
    EXPECT_FALSE(indigo_cancel_timer(&probe.device, &timer));
    EXPECT_FALSE(indigo_cancel_timer(&probe.device, nullptr));
}

TEST(Timer, FiresOnTheSteadyClockOnceTheManualClockGoes) {
    Probe probe;
    {
        zeta::indigo::ManualTimerClock clock;
        indigo_set_timer(&probe.device, 0.05, [](indigo_device* d) { Probe::of(d).fired++; });
    }
    EXPECT_TRUE(waitFor([&] { return probe.fired == 1; }));
}

TEST(Timer, CancelBeforeFiringKeepsTheCallbackFromRunning) {
    zeta::indigo::ManualTimerClock clock;
    Probe probe;
    indigo_timer* timer = indigo_set_timer(&probe.device, 0.2, [](indigo_device* d) { Probe::of(d).fired++; });
    EXPECT_TRUE(indigo_cancel_timer(&probe.device, &timer));
    clock.advance(1s);
    EXPECT_EQ(probe.fired, 0);
}

TEST(Timer, CancelDuringFiringWaitsForTheCallback) {
    Probe probe;
    std::promise<void> proceed;
    probe.proceed = proceed.get_future().share();
    indigo_timer* timer = indigo_set_timer(&probe.device, 0, [](indigo_device* d) {
        Probe& p = Probe::of(d);
        p.running = true;
        p.started.set_value();
        p.proceed.wait();
        p.running = false;
        p.fired++;
    });
    probe.started.get_future().wait();
    auto cancelling = std::async(std::launch::async, [&] { return indigo_cancel_timer(&probe.device, &timer); });
    EXPECT_EQ(cancelling.wait_for(100ms), std::future_status::timeout);
    proceed.set_value();
    EXPECT_FALSE(cancelling.get()); // it ran
    EXPECT_FALSE(probe.running);
    EXPECT_EQ(probe.fired, 1);
}

TEST(Timer, ACallbackMayCancelItsOwnTimer) {
    Probe probe;
    std::promise<void> stored;
    probe.proceed = stored.get_future().share();
    probe.selfTimer = indigo_set_timer(&probe.device, 0, [](indigo_device* d) {
        Probe& p = Probe::of(d);
        p.proceed.wait(); // the token is the caller's to store first
        p.selfCancelResult = indigo_cancel_timer(d, &p.selfTimer);
        p.fired++;
    });
    stored.set_value();
    ASSERT_TRUE(waitFor([&] { return probe.fired == 1; }));
    EXPECT_FALSE(probe.selfCancelResult);
    EXPECT_EQ(probe.selfTimer, nullptr);
}

TEST(Timer, OddDelaysFireAtOnceAndANullCallbackIsRefused) {
    for (double delay : {-5.0, std::nan(""), 0.0}) {
        Probe probe;
        indigo_set_timer(&probe.device, delay, [](indigo_device* d) { Probe::of(d).fired++; });
        EXPECT_TRUE(waitFor([&] { return probe.fired == 1; }, 2000ms)) << delay;
    }
    EXPECT_EQ(indigo_set_timer(nullptr, 1, nullptr), nullptr);
}

TEST(Timer, TimersFireInDeadlineOrderWhateverTheOrderSet) {
    static std::mutex mutex;
    static std::string order;
    Probe late;
    Probe early;
    late.device.name[0] = 'L';
    early.device.name[0] = 'E';
    auto note = [](indigo_device* d) {
        std::lock_guard lock(mutex);
        order += d->name[0];
    };
    zeta::indigo::ManualTimerClock clock;
    indigo_set_timer(&late.device, 0.25, note);
    indigo_set_timer(&early.device, 0.05, note);
    auto fired = [&] {
        std::lock_guard lock(mutex);
        return order;
    };
    clock.advance(50ms);
    ASSERT_TRUE(waitFor([&] { return fired() == "E"; }));
    clock.advance(200ms);
    ASSERT_TRUE(waitFor([&] { return fired() == "EL"; }));
}

TEST(Async, RunsOnAWorkerAndEveryTaskStartsEvenWhileOthersBlock) {
    struct Gate {
        std::promise<void> open;
        std::shared_future<void> opened = open.get_future().share();
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
    } gate;
    auto blocker = [](void* data) -> void* {
        auto* g = static_cast<Gate*>(data);
        g->started++;
        g->opened.wait();
        g->finished++;
        return nullptr;
    };
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(indigo_async(blocker, &gate));
    EXPECT_TRUE(waitFor([&] { return gate.started == 3; }));
    gate.open.set_value();
    EXPECT_TRUE(waitFor([&] { return gate.finished == 3; }));
    EXPECT_FALSE(indigo_async(nullptr, nullptr));
}

} // namespace
