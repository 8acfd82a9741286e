#pragma once
// The record of a star: a 9 x 9 window of raw samples around a centre pixel, its background
// and peak, and the centroid's offsets from the centre.

#include <array>
#include <cstdint>

// One sample of a window: a grey value (8- or 16-bit frames) or a red, green, blue triple
// (colour frames, 8 or 16 bits per channel).
struct StarPixel {
    bool isColour = false;
    std::uint16_t value = 0;
    std::uint16_t red = 0, green = 0, blue = 0;

    // The grey value, or the largest of red, green and blue.
    std::int64_t brightness() const {
        if (!isColour) return value;
        const std::uint16_t rg = red > green ? red : green;
        return rg > blue ? rg : blue;
    }
    bool operator==(const StarPixel&) const = default;
};

// Row 0 is the top row of the window (nearest the start of the bitmap data), column 0 the
// leftmost.
using StarPixels = std::array<std::array<StarPixel, 9>, 9>;

struct StarSample {
    double x = 0;         // column of the window centre (a whole number)
    double dx = 0;        // centroid offset along x, pixels
    double y = 0;         // y of the window centre, upward from the bottom (a whole number)
    double dy = 0;        // centroid offset along y, positive upward
    std::int64_t min = 0; // smallest value in the window, every channel: the background
    std::int64_t max = 0; // largest value in the window: the peak
    StarPixels pixels{};
};
