#pragma once
// Frames for the image window's tests: grey 8- and 16-bit frames from a function of (x, y)
// with y upward, and a star.

#include "imaging/image.h"
#include "test_decoders.h"

#include <cmath>
#include <functional>
#include <memory>

inline std::shared_ptr<Image> greyFrame(int width, int height, int bits,
                                        const std::function<double(int x, int y)>& value) {
    registerDecoders();
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const double top = bits == 16 ? 65535 : 255;
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x)
            samples[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint16_t>(std::lround(std::clamp(value(x, height - row), 0.0, top)));
    if (bits == 16) return std::make_shared<Image>(testBitmap(width, height, 16, 1, 16, bytes16(samples)), ".zbmp");
    std::vector<std::uint8_t> bytes(samples.begin(), samples.end());
    return std::make_shared<Image>(testBitmap(width, height, 8, 1, 8, bytes), ".zbmp");
}

// A compact 8-bit star (sigma 0.5, peak 55 over a sky of 10) centred on pixel (sx, sy): found
// when a search window centres on it, not from a window one pixel off.
inline std::shared_ptr<Image> starFrame(int sx, int sy, int width = 120, int height = 100) {
    return greyFrame(width, height, 8, [=](int x, int y) {
        const double r2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
        return 10 + 55 * std::exp(-r2 / (2 * 0.5 * 0.5));
    });
}
