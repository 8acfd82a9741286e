#pragma once
// The sampled statistics of a frame: one pass over every fourth pixel into a 256-bin
// histogram of 8-bit levels, then the median and the automatic black and white points from
// the histogram. Values are in sample units (0..255 or 0..65535); for 48-bit RGB the
// minimum, maximum and average stay on the 0..255 scale of the sampled values.

#include "imaging/pixel_layout.h"
#include "platform/image/bitmap_image_rep.h"

#include <array>
#include <cstdint>

struct ImageStatistics {
    std::int64_t min = 65535;
    std::int64_t max = 0;
    std::int64_t average = 0;
    std::int64_t median = 0;
    std::int64_t autoBlackPoint = 0;
    std::int64_t autoWhitePoint = 65535;
    bool isColour = false;
    std::array<std::int64_t, 256> histo{};
};

// Statistics of an interleaved bitmap with pixel data. A frame of fewer than 4 pixels
// samples nothing: minimum, maximum, average and median keep their initial values.
ImageStatistics computeStatistics(const zeta::platform::BitmapImageRep& rep);
