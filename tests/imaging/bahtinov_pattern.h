#pragma once
// A synthetic Bahtinov-mask pattern in a 16-bit grey frame: a star with a central spike and
// two side spikes crossing at the star, the central spike shifted sideways by the defocus,
// on a noisy sky. Angles are the spikes' directions in image coordinates (y upward).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace bahtinov_pattern {

struct Pattern {
    int width = 300, height = 300;
    double cx = 150, cy = 150;  // crossing point of the side spikes
    double centralDegrees = 10; // direction of the central spike
    double sideDegrees = 20;    // angle of each side spike from the central one
    double defocus = 0;         // sideways shift of the central spike, pixels
    double peak = 20000, sigma = 1.2;
    double centralGain = 1.5;      // the central spike is the brightest
    double sky = 1000, noise = 60; // uniform noise of +-noise around sky
    std::uint64_t seed = 7;
};

// Samples row by row from the top row (y = height) down, as the bitmap holds them.
inline std::vector<std::uint16_t> render(const Pattern& p) {
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    std::uint64_t state = p.seed;
    const auto next = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    const double rad = std::numbers::pi / 180;
    struct Spike {
        double nx, ny, offset, peak; // unit normal, the line's distance along it from the crossing
    };
    const auto spike = [&](double degrees, double offset, double peak) {
        return Spike{-std::sin(degrees * rad), std::cos(degrees * rad), offset, peak};
    };
    const Spike spikes[3] = {spike(p.centralDegrees, p.defocus, p.peak * p.centralGain),
                             spike(p.centralDegrees + p.sideDegrees, 0, p.peak),
                             spike(p.centralDegrees - p.sideDegrees, 0, p.peak)};
    for (int row = 0; row < p.height; ++row) {
        const double y = p.height - row; // the pixel a point with this y designates
        for (int x = 0; x < p.width; ++x) {
            double v = p.sky + (2 * next() - 1) * p.noise;
            for (const auto& s : spikes) {
                const double d = (x - p.cx) * s.nx + (y - p.cy) * s.ny - s.offset;
                v += s.peak * std::exp(-d * d / (2 * p.sigma * p.sigma));
            }
            const double r2 = (x - p.cx) * (x - p.cx) + (y - p.cy) * (y - p.cy);
            v += 4 * p.peak * std::exp(-r2 / (2 * 3.0 * 3.0));
            pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint16_t>(std::clamp(v, 0.0, 65535.0));
        }
    }
    return pixels;
}

// The angle the line analysis reports for a spike of this direction: pi minus the direction,
// in [0, pi).
inline double reportedAngle(double degrees) {
    const double a = std::fmod(std::numbers::pi - degrees * std::numbers::pi / 180, std::numbers::pi);
    return a < 0 ? a + std::numbers::pi : a;
}

} // namespace bahtinov_pattern
