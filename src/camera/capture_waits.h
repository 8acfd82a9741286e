#pragma once
// The waits between the frames of a capture run, as plain data a worker carries out: the
// time-lapse interval as blinks of the state light and sleeps, and the sleeper that waits
// (ended at once by a stop). Tests hand the engine a sleeper that records instead of waiting.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace zeta::camera {

// One step of the wait between frames.
struct WaitStep {
    enum Kind { Show, Sleep };
    Kind kind = Sleep;
    std::string_view image;            // Show: the status image
    std::chrono::microseconds time{0}; // Sleep
    bool operator==(const WaitStep&) const = default;
};

// The time-lapse wait of an interval of t seconds: each whole half second blinks the light
// (Busy image, 250 ms, no image, 250 ms); a remainder of half a second or less is slept
// without a blink. Nothing for t <= 0 or a value that is not a number. The steps are handed
// over one by one; the walk ends early when step() answers false.
void forEachTimelapseStep(double seconds, const std::function<bool(const WaitStep&)>& step);
std::vector<WaitStep> timelapseSteps(double seconds);

// Waits for a time unless stopped. Any thread.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    // Sleeps up to the time; returns false at once when stopped() holds (checked before and
    // while waiting: wake() makes a waiting sleeper look again).
    virtual bool sleep(std::chrono::microseconds time, const std::function<bool()>& stopped) = 0;
    // Makes every waiting sleep test its stop condition now.
    virtual void wake() = 0;
};

// The real one: a condition variable with a deadline.
class ConditionSleeper final : public Sleeper {
public:
    bool sleep(std::chrono::microseconds time, const std::function<bool()>& stopped) override;
    void wake() override;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

// The battery image for a level in percent.
std::string_view batteryImageName(double percent);

} // namespace zeta::camera
