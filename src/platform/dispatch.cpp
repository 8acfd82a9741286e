#include "platform/dispatch.h"

#include "platform/system_log.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <optional>
#include <queue>
#include <stdexcept>
#include <thread>
#include <vector>

namespace dispatch {
namespace {

// Static initialisation runs on the thread that starts the process.
const std::thread::id kMainThreadId = std::this_thread::get_id();

// The queue whose task the calling thread is running, for isCurrent().
thread_local const void* tlsCurrentQueue = nullptr;

class CurrentQueueScope {
public:
    explicit CurrentQueueScope(const void* queue) : saved_(tlsCurrentQueue) { tlsCurrentQueue = queue; }
    ~CurrentQueueScope() { tlsCurrentQueue = saved_; }
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

private:
    const void* saved_;
};

// An async task has nobody to report to: say what escaped and keep the worker alive.
void runReportingEscapes(const Task& task, const char* where) {
    try {
        task();
    } catch (const std::exception& e) {
        zeta::platform::systemLog(std::string("dispatch: task on ") + where + " threw: " + e.what());
    } catch (...) {
        zeta::platform::systemLog(std::string("dispatch: task on ") + where + " threw");
    }
}

// Wraps a task so that sync() can wait for it and rethrow what it threw.
struct SyncCall {
    explicit SyncCall(Task t) : task(std::move(t)) {}
    void run() {
        try {
            task();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    }
    Task task;
    std::promise<void> done;
};

void syncThrough(Queue& queue, Task task) {
    if (queue.isCurrent()) {
        throw std::logic_error("dispatch: sync onto the queue already running (" + queue.label() + ") would deadlock");
    }
    auto call = std::make_shared<SyncCall>(std::move(task));
    auto finished = call->done.get_future();
    queue.async([call] { call->run(); });
    finished.get();
}

// ---- main queue --------------------------------------------------------------------

class MainQueue;
MainQueue& mainQueueInstance();

class MainQueue final : public Queue {
public:
    MainQueue() : Queue("com.apple.main-thread") {}

    void async(Task task) override {
        bool post = false;
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
            if (!postPending_) {
                postPending_ = true;
                post = true;
            }
        }
        if (post) {
            if (QCoreApplication* app = QCoreApplication::instance()) {
                // Captures nothing: the hand-over to the GUI thread is then only through our own
                // lock, which the thread checkers can see (Qt's event queue they cannot).
                QMetaObject::invokeMethod(
                    app, [] { mainQueueInstance().drain(); }, Qt::QueuedConnection);
            }
        }
    }

    void sync(Task task) override { syncThrough(*this, std::move(task)); }

    bool isCurrent() const override { return isMainThread(); }

    // Runs one task at a time, so that a task which drains again (a nested event loop)
    // still sees the queue in order.
    std::size_t drain() {
        std::size_t ran = 0;
        for (;;) {
            Task task;
            {
                std::lock_guard lock(mutex_);
                if (tasks_.empty()) {
                    postPending_ = false;
                    return ran;
                }
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            CurrentQueueScope scope(this);
            runReportingEscapes(task, "main queue");
            ++ran;
        }
    }

private:
    std::mutex mutex_;
    std::deque<Task> tasks_;
    bool postPending_ = false;
};

// Never destroyed: worker threads and posted events may still refer to it at exit.
MainQueue& mainQueueInstance() {
    static MainQueue* queue = new MainQueue();
    return *queue;
}

// ---- global pool ---------------------------------------------------------------------

class GlobalPool {
public:
    void async(Task task, const void* queue) {
        std::lock_guard lock(mutex_);
        tasks_.push_back({std::move(task), queue});
        if (tasks_.size() > idle_ && threads_ < kMaxThreads) {
            ++threads_;
            // Detached on purpose: a task may block for the life of the process, and the
            // pool is never destroyed, so a worker never outlives what it touches.
            std::thread([this] { work(); }).detach();
        } else {
            wake_.notify_one();
        }
    }

private:
    static constexpr std::size_t kMaxThreads = 1024;
    static constexpr auto kIdleLifetime = std::chrono::seconds(20);

    struct Entry {
        Task task;
        const void* queue;
    };

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            while (tasks_.empty()) {
                ++idle_;
                const bool woken = wake_.wait_for(lock, kIdleLifetime, [this] { return !tasks_.empty(); });
                --idle_;
                if (!woken) {
                    --threads_;
                    return;
                }
            }
            Entry entry = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            {
                CurrentQueueScope scope(entry.queue);
                runReportingEscapes(entry.task, "global queue");
            }
            entry.task = nullptr; // release captures before taking the lock again
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> tasks_;
    std::size_t idle_ = 0;
    std::size_t threads_ = 0;
};

GlobalPool& globalPool() {
    static GlobalPool* pool = new GlobalPool();
    return *pool;
}

class GlobalQueue final : public Queue {
public:
    explicit GlobalQueue(std::string label) : Queue(std::move(label)) {}
    void async(Task task) override { globalPool().async(std::move(task), this); }
    void sync(Task task) override { syncThrough(*this, std::move(task)); }
    bool isCurrent() const override { return tlsCurrentQueue == this; }
};

// ---- delayed execution -----------------------------------------------------------------

class Timers {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    void add(std::chrono::milliseconds delay, Queue& queue, Task task) {
        std::unique_lock lock(mutex_);
        entries_.push({nowLocked() + delay, next_++, &queue, std::move(task)});
        if (!started_) {
            started_ = true;
            // Detached on purpose: the timer list lives for the whole process.
            std::thread([this] { run(); }).detach();
        }
        if (manualNow_) {
            // Time stands still: only a task due now is queued without an advance.
            release(lock);
            return;
        }
        changed_.notify_one();
    }

    void useManualClock() {
        std::lock_guard lock(mutex_);
        if (manualNow_) throw std::logic_error("after() already counts on a manual clock");
        manualNow_ = std::chrono::steady_clock::now();
        changed_.notify_one();
    }
    void useSteadyClock() {
        std::lock_guard lock(mutex_);
        manualNow_.reset();
        changed_.notify_one();
    }
    TimePoint now() {
        std::lock_guard lock(mutex_);
        return nowLocked();
    }
    void advance(std::chrono::milliseconds by) {
        std::unique_lock lock(mutex_);
        if (!manualNow_) throw std::logic_error("after() counts on the steady clock");
        *manualNow_ += by;
        release(lock);
    }

private:
    struct Entry {
        TimePoint due;
        unsigned long long order; // keeps equal deadlines first-in, first-out
        Queue* queue;
        Task task;
        bool operator>(const Entry& other) const { return due != other.due ? due > other.due : order > other.order; }
    };

    TimePoint nowLocked() const { return manualNow_ ? *manualNow_ : std::chrono::steady_clock::now(); }

    // Queues every due task onto its queue in deadline order, outside the lock.
    void release(std::unique_lock<std::mutex>& lock) {
        std::vector<Entry> due;
        const auto now = nowLocked();
        while (!entries_.empty() && entries_.top().due <= now) {
            due.push_back(entries_.top());
            entries_.pop();
        }
        lock.unlock();
        for (Entry& entry : due)
            entry.queue->async(std::move(entry.task));
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (entries_.empty() || manualNow_) {
                changed_.wait(lock); // on a manual clock, tasks fall due in advance()
                continue;
            }
            const auto due = entries_.top().due;
            if (std::chrono::steady_clock::now() < due) {
                changed_.wait_until(lock, due);
                continue;
            }
            Entry entry = entries_.top();
            entries_.pop();
            lock.unlock();
            entry.queue->async(std::move(entry.task));
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> entries_;
    unsigned long long next_ = 0;
    bool started_ = false;
    std::optional<TimePoint> manualNow_;
};

Timers& timers() {
    static Timers* instance = new Timers();
    return *instance;
}

} // namespace

Queue& mainQueue() {
    return mainQueueInstance();
}

Queue& globalQueue(QoS qos) {
    static GlobalQueue* queues[] = {
        new GlobalQueue("com.apple.root.background-qos"),       new GlobalQueue("com.apple.root.utility-qos"),
        new GlobalQueue("com.apple.root.default-qos"),          new GlobalQueue("com.apple.root.user-initiated-qos"),
        new GlobalQueue("com.apple.root.user-interactive-qos"),
    };
    return *queues[static_cast<int>(qos)];
}

bool isMainThread() {
    return std::this_thread::get_id() == kMainThreadId;
}

std::size_t drainMainQueue() {
    if (!isMainThread()) {
        throw std::logic_error("dispatch: the main queue drains on the main thread only");
    }
    return mainQueueInstance().drain();
}

bool runMainQueueUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drainMainQueue();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---- serial queue ------------------------------------------------------------------------

struct SerialQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;
    bool stopping = false;
    std::thread worker;
    std::string label;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !tasks.empty(); });
            if (tasks.empty()) return; // stopping, and nothing left to run
            Task task = std::move(tasks.front());
            tasks.pop_front();
            lock.unlock();
            {
                CurrentQueueScope scope(this);
                runReportingEscapes(task, label.c_str());
            }
            task = nullptr;
            lock.lock();
        }
    }
};

SerialQueue::SerialQueue(std::string label) : Queue(label), state_(std::make_shared<State>()) {
    state_->label = std::move(label);
    // The state is shared with the worker so that a queue destroyed from its own task
    // (which cannot join itself) leaves the worker something valid to finish with.
    state_->worker = std::thread([state = state_] { state->run(); });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->wake.notify_one();
    }
    if (state_->worker.get_id() == std::this_thread::get_id()) {
        state_->worker.detach(); // destroyed from its own task: the worker ends after it
    } else {
        state_->worker.join();
    }
}

void SerialQueue::async(Task task) {
    // Notify under the lock: the queue may be destroyed as soon as the task has run.
    std::lock_guard lock(state_->mutex);
    state_->tasks.push_back(std::move(task));
    state_->wake.notify_one();
}

void SerialQueue::sync(Task task) {
    syncThrough(*this, std::move(task));
}

bool SerialQueue::isCurrent() const {
    return tlsCurrentQueue == state_.get();
}

// ---- semaphore -----------------------------------------------------------------------------

struct Semaphore::State {
    std::mutex mutex;
    std::condition_variable available;
    long value;
};

Semaphore::Semaphore(long value) : state_(std::make_unique<State>()) {
    state_->value = value;
}
Semaphore::~Semaphore() = default;

void Semaphore::wait() {
    std::unique_lock lock(state_->mutex);
    state_->available.wait(lock, [this] { return state_->value > 0; });
    --state_->value;
}

bool Semaphore::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    if (!state_->available.wait_for(lock, timeout, [this] { return state_->value > 0; })) return false;
    --state_->value;
    return true;
}

bool Semaphore::tryWait() {
    std::lock_guard lock(state_->mutex);
    if (state_->value <= 0) return false;
    --state_->value;
    return true;
}

void Semaphore::signal() {
    // Notify under the lock: a waiter that wakes may destroy the semaphore at once.
    std::lock_guard lock(state_->mutex);
    ++state_->value;
    state_->available.notify_one();
}

void after(std::chrono::milliseconds delay, Queue& queue, Task task) {
    timers().add(delay, queue, std::move(task));
}

ManualClock::ManualClock() {
    timers().useManualClock();
}

ManualClock::~ManualClock() {
    timers().useSteadyClock();
}

ManualClock::TimePoint ManualClock::now() const {
    return timers().now();
}

void ManualClock::advance(std::chrono::milliseconds by) {
    timers().advance(by);
}

} // namespace dispatch
