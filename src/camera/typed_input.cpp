#include "camera/typed_input.h"

#include <cmath>
#include <cstdio>

namespace zeta::camera {

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

std::string durationProblem(double seconds, ExposureRange range) {
    if (!std::isfinite(seconds)) return "Duration (s) must be a number of seconds";
    if (seconds < 0) return "Duration (s) must be 0 or more";
    if (range.max > range.min && (seconds < range.min || seconds > range.max))
        return "Duration (s) must be between " + number(range.min) + " and " + number(range.max) + " for this camera";
    return {};
}

std::string countProblem(double count) {
    // Below one frame a batch would never end (only counts above 0 count down).
    if (!(count >= 1)) return "The frame count must be 1 or more";
    if (std::floor(count) != count) return "The frame count must be a whole number";
    return {};
}

std::string intervalProblem(double seconds) {
    if (!std::isfinite(seconds)) return "Interval (s) must be a number of seconds";
    if (seconds < 0) return "Interval (s) must be 0 or more";
    return {};
}

} // namespace zeta::camera
