#pragma once
// Work queues in the manner of the platform dispatch library.
//
// - mainQueue(): tasks run on the main thread, in order. With a Qt application they run
//   from its event loop; without one (tests, tools) the main thread calls drainMainQueue().
// - globalQueue(): a pool that starts another thread whenever every worker is busy, so a
//   task may block for minutes (a server loop blocks for the life of the process) and the
//   next task still starts.
// - SerialQueue: one worker, tasks run first in, first out.
//
// sync() onto the queue the caller is already running on would deadlock; it is detected
// and reported by throwing std::logic_error instead.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace dispatch {

using Task = std::function<void()>;

// Quality of service of a global queue. All levels share one pool; the level only names it.
enum class QoS { Background, Utility, Default, UserInitiated, UserInteractive };

class Queue {
public:
    virtual ~Queue() = default;
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    // Queues the task and returns at once.
    virtual void async(Task task) = 0;
    // Runs the task on the queue and waits for it; rethrows what the task threw.
    virtual void sync(Task task) = 0;
    // True when the calling thread is running a task of this queue.
    virtual bool isCurrent() const = 0;

    const std::string& label() const { return label_; }

protected:
    explicit Queue(std::string label) : label_(std::move(label)) {}

private:
    std::string label_;
};

Queue& mainQueue();
Queue& globalQueue(QoS qos = QoS::Default);

// The thread that started the process.
bool isMainThread();

// Runs every task queued on the main queue so far (and those they queue), on the main
// thread; returns how many ran. For programs without a Qt event loop.
std::size_t drainMainQueue();
// Drains the main queue until the predicate holds or the time runs out; returns the predicate.
bool runMainQueueUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// A queue with one worker thread; tasks run one at a time in the order queued.
// The destructor runs the tasks still queued, then joins the worker.
class SerialQueue final : public Queue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue() override;

    void async(Task task) override;
    void sync(Task task) override;
    bool isCurrent() const override;

private:
    struct State;
    std::shared_ptr<State> state_;
};

// Counting semaphore: wait() takes one unit, blocking while there is none; signal() gives one.
class Semaphore {
public:
    explicit Semaphore(long value = 0);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    void wait();
    // True when a unit was taken before the time ran out.
    bool waitFor(std::chrono::milliseconds timeout);
    // Takes a unit only when one is there at once.
    bool tryWait();
    void signal();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Queues the task onto the queue once the delay has passed. The queue must outlive the delay.
// Delays count on the steady clock, or on a ManualClock while one lives.
void after(std::chrono::milliseconds delay, Queue& queue, Task task);

// While it lives, after() counts on a time that starts at the steady clock's present and
// moves only by advance(): tests show a delayed task has not run yet without waiting for it.
// One at a time; when it goes, pending delays fall due by the steady clock again.
class ManualClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    TimePoint now() const;
    // When it returns, every task whose delay has passed is on its queue, in deadline order.
    void advance(std::chrono::milliseconds by);
};

} // namespace dispatch
