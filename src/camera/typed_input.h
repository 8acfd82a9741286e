#pragma once
// What the user typed into the window's boxes (duration, frame count, interval, frame), judged before
// anything is sent: "" when a run may use the value, else the reason, as the window says it.
// A box whose text is no number reads as NaN.

#include <string>

namespace zeta::camera {

// The exposure range a camera gives; none when max is not above min.
struct ExposureRange {
    double min = 0, max = 0;
};

std::string durationProblem(double seconds, ExposureRange range);
std::string countProblem(double count);
std::string intervalProblem(double seconds);

// The frame region as typed into its four boxes, pixels; NaN where a box holds no number.
struct TypedFrame {
    double left = 0, top = 0, width = 0, height = 0;
};

std::string frameProblem(const TypedFrame& frame);

} // namespace zeta::camera
