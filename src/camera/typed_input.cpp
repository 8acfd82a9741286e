#include "camera/typed_input.h"

#include <cmath>
#include <cstdio>
#include <utility>

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

std::string frameProblem(const TypedFrame& frame) {
    // A driver would round or clamp a fraction or a negative on its own; say so instead.
    const auto whole = [](double value) {
        return std::isfinite(value) && std::floor(value) == value;
    };
    const std::pair<const char*, double> corner[] = {{"Frame X", frame.left}, {"Frame Y", frame.top}};
    for (const auto& [name, value] : corner)
        if (!whole(value) || value < 0) return std::string(name) + " must be a whole number of pixels, 0 or more";
    const std::pair<const char*, double> size[] = {{"Frame width", frame.width}, {"Frame height", frame.height}};
    for (const auto& [name, value] : size)
        if (!whole(value) || value < 1) return std::string(name) + " must be a whole number of pixels, 1 or more";
    return {};
}

} // namespace zeta::camera
