#include "indigo/bus/worker_pool.h"

namespace zeta::indigo {

namespace {

thread_local bool isWorkerThread = false;

} // namespace

WorkerPool::~WorkerPool() {
    shutdown();
}

bool WorkerPool::onWorkerThread() {
    return isWorkerThread;
}

void WorkerPool::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (static_cast<int>(tasks_.size()) > waiting_)
        threads_.emplace_back([this] { work(); });
    else
        workAvailable_.notify_one();
}

void WorkerPool::work() {
    isWorkerThread = true;
    std::unique_lock lock(mutex_);
    for (;;) {
        ++waiting_;
        workAvailable_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        --waiting_;
        if (tasks_.empty()) return; // stopping
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        ++running_;
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
        --running_;
        if (running_ == 0 && tasks_.empty()) idle_.notify_all();
    }
}

void WorkerPool::waitIdle() {
    if (isWorkerThread) return;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return running_ == 0 && tasks_.empty(); });
}

void WorkerPool::shutdown() {
    std::vector<std::thread> threads;
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return running_ == 0 && tasks_.empty(); });
        stopping_ = true;
        threads.swap(threads_);
    }
    workAvailable_.notify_all();
    for (std::thread& thread : threads)
        thread.join();
    std::lock_guard lock(mutex_);
    stopping_ = false;
}

} // namespace zeta::indigo
