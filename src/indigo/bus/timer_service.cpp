#include "indigo/bus/timer_service.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace zeta::indigo {

namespace {

// Far enough for any exposure, near enough not to overflow the clock.
constexpr double kLongestDelaySeconds = 1e8;

} // namespace

TimerService::~TimerService() {
    shutdown();
}

std::uint64_t TimerService::schedule(indigo_device* device, double delaySeconds, indigo_timer_callback callback) {
    if (!(delaySeconds > 0)) delaySeconds = 0; // negative or NaN
    if (delaySeconds > kLongestDelaySeconds) delaySeconds = kLongestDelaySeconds;
    const auto delay =
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(delaySeconds));
    std::unique_lock lock(mutex_);
    if (stopping_) return 0; // the bus is stopping: nothing new starts
    if (!scheduler_.joinable()) scheduler_ = std::thread([this] { runScheduler(); });
    const std::uint64_t id = nextId_++;
    timers_.emplace(id, Timer{device, callback, nowLocked() + delay, State::Pending, {}});
    if (manualNow_) {
        // Time stands still: only a timer due now fires without an advance.
        const Due due = takeDueLocked();
        lock.unlock();
        post(due);
        return id;
    }
    wake_.notify_all();
    return id;
}

std::chrono::steady_clock::time_point TimerService::nowLocked() const {
    return manualNow_ ? *manualNow_ : std::chrono::steady_clock::now();
}

TimerService::Due TimerService::takeDueLocked() {
    const auto now = nowLocked();
    Due due;
    for (auto& [id, timer] : timers_) {
        if (timer.state == State::Pending && timer.due <= now) due.emplace_back(timer.due, id);
    }
    std::sort(due.begin(), due.end());
    for (const auto& entry : due)
        timers_.at(entry.second).state = State::Queued;
    return due;
}

void TimerService::post(const Due& due) {
    for (const auto& entry : due)
        pool_.post([this, id = entry.second] { fire(id); });
}

void TimerService::useManualClock() {
    std::lock_guard lock(mutex_);
    if (manualNow_) throw std::logic_error("the timers already run on a manual clock");
    manualNow_ = std::chrono::steady_clock::now();
    wake_.notify_all();
}

void TimerService::useSteadyClock() {
    std::lock_guard lock(mutex_);
    manualNow_.reset();
    wake_.notify_all();
}

void TimerService::advance(std::chrono::steady_clock::duration by) {
    std::unique_lock lock(mutex_);
    if (!manualNow_) throw std::logic_error("the timers run on the steady clock");
    *manualNow_ += by;
    const Due due = takeDueLocked();
    lock.unlock();
    post(due);
}

void TimerService::runScheduler() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (manualNow_) {
            wake_.wait(lock); // timers fall due in advance()
            continue;
        }
        auto earliest = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.state == State::Pending &&
                (earliest == timers_.end() || it->second.due < earliest->second.due))
                earliest = it;
        }
        if (earliest == timers_.end()) {
            wake_.wait(lock);
            continue;
        }
        const auto due = earliest->second.due; // a copy: the timer may be cancelled while we wait
        if (due > std::chrono::steady_clock::now()) {
            wake_.wait_until(lock, due);
            continue;
        }
        earliest->second.state = State::Queued;
        const std::uint64_t id = earliest->first;
        lock.unlock();
        pool_.post([this, id] { fire(id); });
        lock.lock();
    }
}

void TimerService::fire(std::uint64_t id) {
    std::unique_lock lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.state != State::Queued) return;
    it->second.state = State::Running;
    it->second.runner = std::this_thread::get_id();
    indigo_device* device = it->second.device;
    indigo_timer_callback callback = it->second.callback;
    lock.unlock();
    callback(device);
    lock.lock();
    timers_.erase(id);
    finished_.notify_all();
}

bool TimerService::cancelLocked(std::unique_lock<std::mutex>& lock, std::uint64_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    if (it->second.state != State::Running) {
        timers_.erase(it);
        wake_.notify_all();
        return true;
    }
    if (it->second.runner == std::this_thread::get_id()) return false;
    finished_.wait(lock, [&] { return timers_.find(id) == timers_.end(); });
    return false;
}

bool TimerService::cancel(std::uint64_t id) {
    std::unique_lock lock(mutex_);
    return cancelLocked(lock, id);
}

void TimerService::cancelMatching(const Filter& filter) {
    std::unique_lock lock(mutex_);
    std::vector<std::uint64_t> picked;
    for (const auto& [id, timer] : timers_) {
        if (filter(timer.device, timer.callback)) picked.push_back(id);
    }
    for (std::uint64_t id : picked)
        cancelLocked(lock, id);
}

void TimerService::shutdown() {
    std::thread scheduler;
    {
        std::unique_lock lock(mutex_);
        for (auto it = timers_.begin(); it != timers_.end();) {
            if (it->second.state == State::Running)
                ++it;
            else
                it = timers_.erase(it);
        }
        stopping_ = true;
        wake_.notify_all();
        scheduler.swap(scheduler_);
    }
    if (scheduler.joinable()) scheduler.join();
    std::unique_lock lock(mutex_);
    const auto self = std::this_thread::get_id();
    finished_.wait(lock, [&] {
        for (const auto& entry : timers_) {
            if (entry.second.runner != self) return false;
        }
        return true;
    });
    stopping_ = false;
}

} // namespace zeta::indigo
