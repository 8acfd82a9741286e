#include "camera/capture_waits.h"

#include <cmath>

namespace zeta::camera {

void forEachTimelapseStep(double seconds, const std::function<bool(const WaitStep&)>& step) {
    using std::chrono::microseconds;
    double t = seconds;
    if (!(t > 0)) return;
    while (true) {
        if (t <= 0.5) {
            step({WaitStep::Sleep, {}, microseconds(std::llround(t * 1000000))});
            return;
        }
        if (!step({WaitStep::Show, "NSStatusPartiallyAvailable", {}})) return;
        if (!step({WaitStep::Sleep, {}, microseconds(250000)})) return;
        if (!step({WaitStep::Show, "NSStatusNone", {}})) return;
        if (!step({WaitStep::Sleep, {}, microseconds(250000)})) return;
        t -= 0.5;
        if (t <= 0) return;
    }
}

std::vector<WaitStep> timelapseSteps(double seconds) {
    std::vector<WaitStep> steps;
    forEachTimelapseStep(seconds, [&](const WaitStep& step) {
        steps.push_back(step);
        return true;
    });
    return steps;
}

bool ConditionSleeper::sleep(std::chrono::microseconds time, const std::function<bool()>& stopped) {
    std::unique_lock lock(mutex_);
    const auto until = std::chrono::steady_clock::now() + time;
    return !changed_.wait_until(lock, until, [&] { return stopped(); });
}

void ConditionSleeper::wake() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

std::string_view batteryImageName(double v) {
    if (v > 75) return "Bat100";
    if (v > 50) return "Bat75";
    if (v > 25) return "Bat50";
    if (v > 0) return "Bat25";
    return "Bat0";
}

} // namespace zeta::camera
