#pragma once
// A timer whose task runs on a queue: once after its interval, or every interval until it is
// invalidated. The task never runs after invalidate() has returned on the timer's own queue,
// nor once the last owner has let the timer go, so a task may capture its owner's state as
// long as the owner invalidates (or drops) the timer before that state goes.
//
// The queue must live for the whole process (the driver's run loop, the main queue): a
// firing already handed to the delay list finds it later.

#include "platform/dispatch.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class RunLoopTimer {
public:
    static std::shared_ptr<RunLoopTimer> scheduledTimer(std::chrono::milliseconds interval, dispatch::Queue& queue,
                                                        std::function<void()> task, bool repeats);
    ~RunLoopTimer();
    RunLoopTimer(const RunLoopTimer&) = delete;
    RunLoopTimer& operator=(const RunLoopTimer&) = delete;

    void invalidate();
    bool isValid() const { return state_->valid; }

private:
    struct State {
        std::chrono::milliseconds interval;
        dispatch::Queue* queue;
        std::function<void()> task;
        bool repeats;
        std::atomic<bool> valid{true};
    };
    explicit RunLoopTimer(std::shared_ptr<State> state) : state_(std::move(state)) {}
    static void arm(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};
