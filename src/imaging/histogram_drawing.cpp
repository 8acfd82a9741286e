#include "imaging/histogram_drawing.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 128;

// The integral of clamp(u, 0, 1) from 0 to u.
double clampedIntegral(double u) {
    if (u <= 0) return 0;
    if (u <= 1) return u * u / 2;
    return u - 0.5;
}

// The share of the unit square [0, 1] x [0, 1] under the line from (0, u0) to (1, u1).
double coverage(double u0, double u1) {
    const double slope = u1 - u0;
    if (std::fabs(slope) < 1e-12) return std::clamp(u0, 0.0, 1.0);
    return (clampedIntegral(u1) - clampedIntegral(u0)) / slope;
}

} // namespace

// Drawn here rather than with a painter: frames are analysed on bus threads, and the Qt
// painter hands large jobs to a thread pool of its own.
std::shared_ptr<zeta::platform::Picture> drawHistogram(const std::array<std::int64_t, 256>& histo) {
    const double largest = static_cast<double>(*std::max_element(histo.begin(), histo.end()));
    // Never 0 for a whole-number count; negative when the largest count is 0 or 1, which
    // puts the curve outside the picture.
    const double k = (std::log(largest + 1) - 1) / 127;
    std::array<double, 256> curve;
    for (std::size_t level = 0; level < 256; ++level)
        curve[level] = std::log(static_cast<double>(histo[level]) + 1) / k + 1;

    zeta::platform::BitmapLayout layout;
    layout.pixelsWide = kWidth;
    layout.pixelsHigh = kHeight;
    layout.samplesPerPixel = 4;
    layout.hasAlpha = true;
    layout.colorSpaceName = zeta::platform::ColorSpace::DeviceRGB;
    layout.bitmapFormat = zeta::platform::BitmapFormatAlphaNonpremultiplied;
    auto rep = zeta::platform::BitmapImageRep::withLayout(layout);

    // The area between the curve and y = 0, for x from 0 to 255 (the curve's last point);
    // pixel column c spans x from c to c + 1, pixel row r spans y from 127 - r to 128 - r.
    for (int c = 0; c + 1 < kWidth; ++c) {
        const double y0 = curve[static_cast<std::size_t>(c)];
        const double y1 = curve[static_cast<std::size_t>(c + 1)];
        for (int r = 0; r < kHeight; ++r) {
            const double bottom = kHeight - 1 - r;
            const double covered = coverage(y0 - bottom, y1 - bottom);
            std::uint8_t* pixel =
                rep->bitmapData() + 4 * (static_cast<std::size_t>(r) * kWidth + static_cast<std::size_t>(c));
            pixel[3] = static_cast<std::uint8_t>(std::lround(std::clamp(covered, 0.0, 1.0) * 255));
        }
    }
    return std::make_shared<zeta::platform::Picture>(rep);
}
