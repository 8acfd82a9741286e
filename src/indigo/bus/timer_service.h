#pragma once
// One-shot timers: a scheduler thread waits for the earliest deadline and hands each due
// callback to the worker pool. Timers are named by ids that are never reused, so cancelling
// with a stale id is harmless.
//
// The timers count on the steady clock, or, while a test holds a ManualTimerClock
// (indigo_timer_internal.h), on a time that moves only when told.

#include "indigo/bus/worker_pool.h"
#include "indigo/indigo_timer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace zeta::indigo {

class TimerService {
public:
    using Filter = std::function<bool(const indigo_device* device, indigo_timer_callback callback)>;

    explicit TimerService(WorkerPool& pool) : pool_(pool) {}
    ~TimerService();
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    // The new timer's id; 0 while shutting down.
    std::uint64_t schedule(indigo_device* device, double delaySeconds, indigo_timer_callback callback);

    // True when the callback was kept from running. A callback running on another thread is
    // waited for; one running on this thread is not.
    bool cancel(std::uint64_t id);

    // Cancels every timer the filter picks, as cancel() does.
    void cancelMatching(const Filter& filter);

    // Drops every pending timer, waits for running callbacks, stops the scheduler thread.
    void shutdown();

    // From useManualClock() to useSteadyClock() the time stands still, from the steady
    // clock's present, and moves only by advance(). When advance() returns, every timer that
    // fell due has been handed to the worker pool, in deadline order.
    void useManualClock();
    void useSteadyClock();
    void advance(std::chrono::steady_clock::duration by);

private:
    enum class State { Pending, Queued, Running };
    struct Timer {
        indigo_device* device;
        indigo_timer_callback callback;
        std::chrono::steady_clock::time_point due;
        State state;
        std::thread::id runner;
    };

    using Due = std::vector<std::pair<std::chrono::steady_clock::time_point, std::uint64_t>>;

    void runScheduler();
    std::chrono::steady_clock::time_point nowLocked() const;
    // With the lock held: marks the pending timers that are due as queued, earliest first.
    Due takeDueLocked();
    void post(const Due& due);
    void fire(std::uint64_t id);
    // With the lock held: cancels one timer, waiting while it runs elsewhere.
    bool cancelLocked(std::unique_lock<std::mutex>& lock, std::uint64_t id);

    WorkerPool& pool_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::map<std::uint64_t, Timer> timers_;
    std::uint64_t nextId_ = 1;
    std::thread scheduler_;
    bool stopping_ = false;
    std::optional<std::chrono::steady_clock::time_point> manualNow_;
};

} // namespace zeta::indigo
