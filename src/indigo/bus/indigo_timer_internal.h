#pragma once
// The bus's threads: the worker pool and the timers, made on first use and kept for the
// life of the process (drivers may still post work while the process exits).

#include "indigo/bus/timer_service.h"
#include "indigo/bus/worker_pool.h"

namespace zeta::indigo {

class Runtime {
public:
    static Runtime& instance();

    WorkerPool& pool() { return pool_; }
    TimerService& timers() { return timers_; }

private:
    Runtime() = default;
    WorkerPool pool_;
    TimerService timers_{pool_};
};

// While it lives, the bus timers count on a time that moves only by advance() (tests that
// show a timer did not fire, without waiting for it). One at a time.
class ManualTimerClock {
public:
    ManualTimerClock() { Runtime::instance().timers().useManualClock(); }
    ~ManualTimerClock() { Runtime::instance().timers().useSteadyClock(); }
    ManualTimerClock(const ManualTimerClock&) = delete;
    ManualTimerClock& operator=(const ManualTimerClock&) = delete;

    // When it returns, every timer that fell due is on its way to a worker.
    void advance(std::chrono::steady_clock::duration by) { Runtime::instance().timers().advance(by); }
};

// Cancels the device's timers; used when it detaches.
void cancelTimersOf(const indigo_device* device);

} // namespace zeta::indigo
