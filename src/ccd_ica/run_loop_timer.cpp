#include "ccd_ica/run_loop_timer.h"

std::shared_ptr<RunLoopTimer> RunLoopTimer::scheduledTimer(std::chrono::milliseconds interval, dispatch::Queue& queue,
                                                           std::function<void()> task, bool repeats) {
    auto state = std::make_shared<State>();
    state->interval = interval;
    state->queue = &queue;
    state->task = std::move(task);
    state->repeats = repeats;
    arm(state);
    return std::shared_ptr<RunLoopTimer>(new RunLoopTimer(state));
}

RunLoopTimer::~RunLoopTimer() {
    invalidate();
}

void RunLoopTimer::invalidate() {
    state_->valid = false;
}

void RunLoopTimer::arm(const std::shared_ptr<State>& state) {
    // The delay list holds the state weakly: a timer that is gone fires nothing.
    std::weak_ptr<State> weak = state;
    dispatch::after(state->interval, *state->queue, [weak] {
        const auto state = weak.lock();
        if (!state || !state->valid) return;
        if (!state->repeats) state->valid = false;
        state->task();
        if (state->repeats && state->valid) arm(state);
    });
}
