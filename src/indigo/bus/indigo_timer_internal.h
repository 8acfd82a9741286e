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

// Cancels the device's timers; used when it detaches.
void cancelTimersOf(const indigo_device* device);

} // namespace zeta::indigo
