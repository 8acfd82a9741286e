#include "imaging/image_statistics.h"

#include <algorithm>
#include <cstring>

namespace {

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

struct Sampled {
    std::int64_t value;
    unsigned bin;
};

// One pass over pixels 0, 4, 8, ... Four histograms side by side keep repeated bins from
// stalling on one counter.
template <class Sample>
void accumulate(const std::uint8_t* base, std::int64_t count, std::size_t stride, Sample sample, ImageStatistics& s) {
    std::array<std::array<std::uint32_t, 256>, 4> bins{};
    std::int64_t lo = s.min, hi = s.max;
    std::uint64_t sum = 0;
    std::int64_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const std::uint8_t* p = base + static_cast<std::size_t>(k) * stride;
        const Sampled a = sample(p), b = sample(p + stride), c = sample(p + 2 * stride), d = sample(p + 3 * stride);
        ++bins[0][a.bin];
        ++bins[1][b.bin];
        ++bins[2][c.bin];
        ++bins[3][d.bin];
        lo = std::min({lo, a.value, b.value, c.value, d.value});
        hi = std::max({hi, a.value, b.value, c.value, d.value});
        sum += static_cast<std::uint64_t>(a.value + b.value + c.value + d.value);
    }
    for (; k < count; ++k) {
        const Sampled a = sample(base + static_cast<std::size_t>(k) * stride);
        ++bins[0][a.bin];
        lo = std::min(lo, a.value);
        hi = std::max(hi, a.value);
        sum += static_cast<std::uint64_t>(a.value);
    }
    for (std::size_t g = 0; g < 256; ++g) s.histo[g] = std::int64_t(bins[0][g]) + bins[1][g] + bins[2][g] + bins[3][g];
    s.min = lo;
    s.max = hi;
    if (count > 0) s.average = static_cast<std::int64_t>(sum / static_cast<std::uint64_t>(count));
}

}  // namespace

ImageStatistics computeStatistics(const platform::BitmapImageRep& rep) {
    ImageStatistics s;
    const PixelLayout layout = pixelLayoutOf(rep);
    s.isColour = isColourLayout(layout);
    const std::int64_t size = rep.pixelsWide() * rep.pixelsHigh();
    const std::int64_t count = size / 4;
    const std::uint8_t* data = rep.bitmapData();
    const auto bpp = static_cast<std::size_t>(rep.bitsPerPixel() / 8);
    const std::size_t stride = 4 * bpp;

    if (data && count > 0) {
        switch (layout) {
        case PixelLayout::Grey8:
            accumulate(data, count, stride, [](const std::uint8_t* p) { return Sampled{p[0], p[0]}; }, s);
            break;
        case PixelLayout::Grey16:
            accumulate(data, count, stride, [](const std::uint8_t* p) {
                const std::uint16_t v = load16(p);
                return Sampled{v, static_cast<unsigned>(v >> 8)};
            }, s);
            break;
        case PixelLayout::RGB24:
            accumulate(data, count, stride, [](const std::uint8_t* p) {
                const unsigned v = (unsigned(p[0]) + p[1] + p[2]) / 3;
                return Sampled{v, v};
            }, s);
            break;
        case PixelLayout::RGB32: {
            const int o = colourOffset32(rep);
            accumulate(data + o, count, stride, [](const std::uint8_t* p) {
                const unsigned v = (unsigned(p[0]) + p[1] + p[2]) / 3;
                return Sampled{v, v};
            }, s);
            break;
        }
        case PixelLayout::RGB48:
            accumulate(data, count, stride, [](const std::uint8_t* p) {
                const unsigned v = (unsigned(load16(p) >> 8) + (load16(p + 2) >> 8) + (load16(p + 4) >> 8)) / 3;
                return Sampled{v, v};
            }, s);
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
