#include "Common/inline_serial_queue.h"

#include "platform/system_log.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

namespace {

// The queues whose task the calling thread is running, innermost last.
thread_local const InlineSerialQueue* currentQueue = nullptr;

class CurrentScope {
public:
    explicit CurrentScope(const InlineSerialQueue* queue) : saved_(currentQueue) { currentQueue = queue; }
    ~CurrentScope() { currentQueue = saved_; }
    CurrentScope(const CurrentScope&) = delete;
    CurrentScope& operator=(const CurrentScope&) = delete;

private:
    const InlineSerialQueue* saved_;
};

} // namespace

InlineSerialQueue::InlineSerialQueue(std::string label) : Queue(std::move(label)), worker_([this] { runWorker(); }) {}

InlineSerialQueue::~InlineSerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    turn_.notify_all();
    worker_.join();
}

bool InlineSerialQueue::isCurrent() const {
    return currentQueue == this;
}

int InlineSerialQueue::waitingForTurn() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

void InlineSerialQueue::waitForTurn(std::unique_lock<std::mutex>& lock, std::uint64_t ticket) {
    if (serving_ == ticket) return;
    ++waiting_;
    turn_.wait(lock, [&] { return serving_ == ticket; });
    --waiting_;
}

void InlineSerialQueue::finishTurn() {
    std::lock_guard lock(mutex_);
    ++serving_;
    if (waiting_ > 0 || !pending_.empty()) turn_.notify_all();
}

void InlineSerialQueue::runTask(const dispatch::Task& task) {
    CurrentScope scope(this);
    task();
}

void InlineSerialQueue::sync(dispatch::Task task) {
    if (isCurrent()) throw std::logic_error("sync onto the queue already running (" + label() + ") would deadlock");
    {
        std::unique_lock lock(mutex_);
        const std::uint64_t ticket = nextTicket_++;
        waitForTurn(lock, ticket);
    }
    try {
        runTask(task);
    } catch (...) {
        finishTurn();
        throw;
    }
    finishTurn();
}

void InlineSerialQueue::async(dispatch::Task task) {
    std::lock_guard lock(mutex_);
    pending_.emplace_back(nextTicket_++, std::move(task));
    turn_.notify_all();
}

void InlineSerialQueue::runWorker() {
    std::unique_lock lock(mutex_);
    for (;;) {
        turn_.wait(lock, [&] {
            return (!pending_.empty() && pending_.front().first == serving_) || (stopping_ && pending_.empty());
        });
        if (pending_.empty()) return;
        dispatch::Task task = std::move(pending_.front().second);
        pending_.pop_front();
        lock.unlock();
        try {
            runTask(task);
        } catch (const std::exception& error) {
            zeta::platform::systemLog("dispatch: task on " + label() + " threw: " + error.what());
        } catch (...) {
            zeta::platform::systemLog("dispatch: task on " + label() + " threw");
        }
        task = nullptr;
        lock.lock();
        ++serving_;
        if (waiting_ > 0) turn_.notify_all();
    }
}
