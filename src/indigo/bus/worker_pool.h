#pragma once
// The bus's worker threads: timer callbacks and indigo_async work. Another thread is
// started whenever every worker is busy, so a task may block without holding up the next.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zeta::indigo {

class WorkerPool {
public:
    WorkerPool() = default;
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(std::function<void()> task);

    // Waits until nothing is queued or running. On a worker thread it returns at once:
    // the caller's own task would never finish.
    void waitIdle();

    // Waits until idle, then joins every worker. Must not run on a worker thread.
    void shutdown();

    static bool onWorkerThread();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> threads_;
    int waiting_ = 0;
    int running_ = 0;
    bool stopping_ = false;
};

} // namespace zeta::indigo
