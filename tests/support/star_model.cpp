#include "support/star_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace test_support {

double StarModel::sigma(double position) const {
    return sharpest + blurPerStep * std::abs(position - best);
}

std::vector<std::uint8_t> StarModel::frame(double position, std::mt19937& noise, bool starVisible) const {
    const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> bytes(12 + std::size_t{w} * h * 2);
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    bytes[0] = 'R', bytes[1] = 'A', bytes[2] = 'W', bytes[3] = '2';
    put32(4, w);
    put32(8, h);
    const double s = sigma(position);
    const double peak = flux / (2 * std::numbers::pi * s * s);
    const double cx = width / 2.0, cy = height / 2.0;
    std::normal_distribution<double> grain(0, skyNoise);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const double dx = x - cx, dy = y - cy;
            // Without the star the field is clouded over: flat, so no noise passes for a star.
            const double value =
                !starVisible ? sky : sky + grain(noise) + peak * std::exp(-(dx * dx + dy * dy) / (2 * s * s));
            const auto sample = static_cast<std::uint16_t>(std::clamp(value, 0.0, 65535.0));
            const std::size_t at = 12 + (std::size_t{y} * w + x) * 2;
            bytes[at] = static_cast<std::uint8_t>(sample);
            bytes[at + 1] = static_cast<std::uint8_t>(sample >> 8);
        }
    }
    return bytes;
}

} // namespace test_support
