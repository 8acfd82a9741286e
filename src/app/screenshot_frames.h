#pragma once
// Synthetic frames for the screenshots: a star field whose bright star drifts and goes
// through focus from frame to frame, and a Bahtinov-mask pattern.

#include <memory>

class Image;

namespace zeta::app::screenshots {

// The star field's bright star, the one the screenshots select.
constexpr double kTrackedX = 160, kTrackedY = 120;

// Frame `index` of a focus run: the bright star drifts a quarter pixel per frame and is
// sharpest at frame `frames / 2`.
std::shared_ptr<Image> starField(int index, int frames);

// A Bahtinov-mask pattern of 300 x 300 pixels crossing at its centre, slightly out of focus.
std::shared_ptr<Image> bahtinovFrame();

} // namespace zeta::app::screenshots
