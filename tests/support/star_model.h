#pragma once
// One star seen through a focuser: its width grows with the distance of the focuser from the
// best position, its light spread over that width, on a noisy sky. Frames come as 16-bit grey
// INDIGO raw frames (".raw"). The noise is seeded, so two runs with the same seed see the same
// sky frame for frame.

#include <cstdint>
#include <random>
#include <vector>

namespace test_support {

struct StarModel {
    double best = 0;            // focuser position of the sharpest star
    double sharpest = 0.9;      // Gaussian sigma at best, in pixels
    double blurPerStep = 0.025; // sigma added per step away from best
    double flux = 200000;       // the star's light, summed over the frame
    double sky = 1000;
    double skyNoise = 12;        // standard deviation of each pixel's noise
    int width = 64, height = 64; // the star sits in the middle

    double sigma(double position) const;
    // A frame with the focuser at position; with starVisible false a flat sky without noise
    // (clouds: the image window must not take noise for the star).
    std::vector<std::uint8_t> frame(double position, std::mt19937& noise, bool starVisible = true) const;
};

} // namespace test_support
