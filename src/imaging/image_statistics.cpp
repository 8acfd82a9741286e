#include "imaging/image_statistics.h"

#include <cstring>
#include <vector>

namespace {

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Counts of every sampled value (pixels 0, 4, 8, ...): Values possible values, the value of
// a pixel given by valueOf. Two tables taken in turn keep runs of one value from waiting on
// one counter, and the pixels are fetched well ahead, as the scattered counting hides the
// sequential reads from the processor's own prefetching. Minimum, maximum and sum come from
// the counts afterwards.
template <std::size_t Values, class ValueOf>
std::vector<std::uint64_t> countValues(const std::uint8_t* base, std::int64_t count, std::size_t stride,
                                       ValueOf valueOf) {
    constexpr std::size_t kAhead = 2048;
    std::vector<std::uint32_t> tables(2 * Values, 0);
    std::uint32_t* even = tables.data();
    std::uint32_t* odd = tables.data() + Values;
    const std::uint8_t* p = base;
    std::int64_t k = 0;
    // Prefetching never faults, so it may look past the end of the pixels.
    for (; k + 8 <= count; k += 8, p += 8 * stride) {
        __builtin_prefetch(p + kAhead);
        if (stride > 8) __builtin_prefetch(p + kAhead + 64);
        ++even[valueOf(p)];
        ++odd[valueOf(p + stride)];
        ++even[valueOf(p + 2 * stride)];
        ++odd[valueOf(p + 3 * stride)];
        ++even[valueOf(p + 4 * stride)];
        ++odd[valueOf(p + 5 * stride)];
        ++even[valueOf(p + 6 * stride)];
        ++odd[valueOf(p + 7 * stride)];
    }
    for (; k < count; ++k, p += stride)
        ++even[valueOf(p)];
    std::vector<std::uint64_t> counts(Values);
    for (std::size_t v = 0; v < Values; ++v)
        counts[v] = std::uint64_t(even[v]) + odd[v];
    return counts;
}

// Minimum, maximum, sum and 256-bin histogram from the counts of every value; a value's
// bin is its high byte when there are 65536 values, the value itself when there are 256.
void summarise(const std::vector<std::uint64_t>& counts, std::int64_t sampled, ImageStatistics& s) {
    const std::size_t shift = counts.size() > 256 ? 8 : 0;
    std::uint64_t sum = 0;
    bool any = false;
    for (std::size_t v = 0; v < counts.size(); ++v) {
        const std::uint64_t n = counts[v];
        if (n == 0) continue;
        if (!any) s.min = static_cast<std::int64_t>(v);
        any = true;
        s.max = static_cast<std::int64_t>(v);
        sum += n * v;
        s.histo[v >> shift] += static_cast<std::int64_t>(n);
    }
    if (sampled > 0) s.average = static_cast<std::int64_t>(sum / static_cast<std::uint64_t>(sampled));
}

} // namespace

ImageStatistics computeStatistics(const zeta::platform::BitmapImageRep& rep) {
    ImageStatistics s;
    const PixelLayout layout = pixelLayoutOf(rep);
    s.isColour = isColourLayout(layout);
    const std::int64_t size = rep.pixelsWide() * rep.pixelsHigh();
    const std::int64_t count = size / 4;
    const std::uint8_t* data = rep.bitmapData();
    const std::size_t stride = 4 * static_cast<std::size_t>(rep.bitsPerPixel() / 8);

    if (data && count > 0) {
        const auto colour = [](const std::uint8_t* p) {
            return (unsigned(p[0]) + p[1] + p[2]) / 3;
        };
        switch (layout) {
        case PixelLayout::Grey8:
            summarise(countValues<256>(data, count, stride, [](const std::uint8_t* p) { return p[0]; }), count, s);
            break;
        case PixelLayout::Grey16:
            summarise(countValues<65536>(data, count, stride, load16), count, s);
            break;
        case PixelLayout::RGB24:
            summarise(countValues<256>(data, count, stride, colour), count, s);
            break;
        case PixelLayout::RGB32:
            summarise(countValues<256>(data + colourOffset32(rep), count, stride, colour), count, s);
            break;
        case PixelLayout::RGB48:
            summarise(countValues<256>(
                          data, count, stride,
                          [](const std::uint8_t* p) {
                              return (unsigned(load16(p) >> 8) + (load16(p + 2) >> 8) + (load16(p + 4) >> 8)) / 3;
                          }),
                      count, s);
            break;
        case PixelLayout::Other:
            break;
        }
    }

    const int scale = rep.bitsPerSample() == 16 ? 256 : 1;

    // Median: the first level whose cumulative count reaches an eighth of the pixels (half of
    // the quarter that was sampled).
    const std::int64_t half = size / 8;
    std::int64_t cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += s.histo[static_cast<std::size_t>(g)];
        if (cumulative >= half) {
            s.median = std::int64_t(g) * scale;
            break;
        }
    }

    // Automatic points: thresholds are fractions of every pixel, though a quarter were sampled.
    const auto blackThreshold = static_cast<std::int64_t>(0.001 * static_cast<double>(size));
    const auto whiteThreshold = static_cast<std::int64_t>(0.0005 * static_cast<double>(size));
    int black = 256;
    cumulative = 0;
    for (int g = 0; g < 256; ++g) {
        cumulative += s.histo[static_cast<std::size_t>(g)];
        if (cumulative > blackThreshold) {
            black = g;
            break;
        }
    }
    int white = -1;
    cumulative = 0;
    for (int g = 255; g >= 0; --g) {
        cumulative += s.histo[static_cast<std::size_t>(g)];
        if (cumulative > whiteThreshold) {
            white = g;
            break;
        }
    }
    if (black == white) {
        if (white > 253)
            black = white - 2;
        else
            white = white + 2;
    }
    s.autoBlackPoint = std::int64_t(black) * scale;
    s.autoWhitePoint = std::int64_t(white) * scale;
    return s;
}
