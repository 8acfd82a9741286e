#pragma once
// A serial queue whose sync() runs the task on the calling thread once the queue's turn has
// come, as the platform's dispatch library does, instead of handing it to a worker and
// waiting. Tasks still run one at a time and in the order they were queued (sync and async
// alike, by ticket); async tasks run on the queue's own worker. Used for the client's
// queues, which every bus event and log line enters synchronously: two thread switches per
// event would cost far more than the work.
//
// sync() from a task of the same queue would wait for itself: it throws std::logic_error,
// as dispatch::SerialQueue does. The destructor runs the async tasks still queued; it must
// not run on the queue's own worker.

#include "platform/dispatch.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

class InlineSerialQueue final : public dispatch::Queue {
public:
    explicit InlineSerialQueue(std::string label);
    ~InlineSerialQueue() override;

    void async(dispatch::Task task) override;
    void sync(dispatch::Task task) override;
    bool isCurrent() const override;

    // How many sync() callers are waiting for their turn now: lets a test see that a caller
    // is queued behind a busy task without waiting a while to find out.
    int waitingForTurn() const;

private:
    void runWorker();
    void waitForTurn(std::unique_lock<std::mutex>& lock, std::uint64_t ticket);
    void finishTurn();
    void runTask(const dispatch::Task& task);

    mutable std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t nextTicket_ = 0;
    std::uint64_t serving_ = 0;
    int waiting_ = 0;
    std::deque<std::pair<std::uint64_t, dispatch::Task>> pending_;
    bool stopping_ = false;
    std::thread worker_;
};
