#include "imaging/image_render.h"

#include <cstring>
#include <vector>

namespace {

// The stretch of every possible sample value, so the pass over the pixels is a table look-up.
std::vector<std::uint8_t> stretchTable(std::size_t values, std::int64_t black, std::int64_t white) {
    std::vector<std::uint8_t> table(values);
    for (std::size_t v = 0; v < values; ++v) table[v] = stretchedValue(static_cast<std::int64_t>(v), black, white);
    return table;
}

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Grey layouts: one value in all three channels, or red for a saturated sample. Each pixel
// is stored as four bytes, the fourth overwritten by the next pixel; the last one byte-wise.
template <class Load>
void renderGrey(const std::uint8_t* in, std::size_t step, std::int64_t n, const std::uint8_t* table, unsigned saturated,
                Load load, std::uint8_t* out) {
    constexpr std::uint32_t kRed = 0x0000FFu;
    const auto rgbOf = [&](unsigned v) -> std::uint32_t {
        return v == saturated ? kRed : std::uint32_t(table[v]) * 0x010101u;
    };
    std::int64_t i = 0;
    for (; i + 1 < n; ++i) {
        const std::uint32_t rgb = rgbOf(load(in + static_cast<std::size_t>(i) * step));
        std::memcpy(out + 3 * i, &rgb, 4);
    }
    if (n > 0) {
        const std::uint32_t rgb = rgbOf(load(in + static_cast<std::size_t>(i) * step));
        out[3 * i] = static_cast<std::uint8_t>(rgb);
        out[3 * i + 1] = static_cast<std::uint8_t>(rgb >> 8);
        out[3 * i + 2] = static_cast<std::uint8_t>(rgb >> 16);
    }
}

}  // namespace

std::uint8_t stretchedValue(std::int64_t v, std::int64_t black, std::int64_t white) {
    // In doubles: the points are whatever a caller set, and their difference may not fit.
    const double scale = (static_cast<double>(white) - static_cast<double>(black)) / 256.0;
    if (!(scale > 0)) return 0;
    const double d = (static_cast<double>(v) - static_cast<double>(black)) / scale;
    if (d < 0) return 0;
    if (d > 255) return 255;
    return static_cast<std::uint8_t>(d);
}

void renderStretched(const platform::BitmapImageRep& rep, std::int64_t black, std::int64_t white, std::uint8_t* rgb) {
    const std::int64_t n = rep.pixelsWide() * rep.pixelsHigh();
    const std::uint8_t* in = rep.bitmapData();
    const PixelLayout layout = pixelLayoutOf(rep);
    if (!in || layout == PixelLayout::Other) {
        std::memset(rgb, 0, static_cast<std::size_t>(n) * 3);
        return;
    }
    switch (layout) {
    case PixelLayout::Grey8: {
        const auto table = stretchTable(256, black, white);
        renderGrey(in, 1, n, table.data(), 255, [](const std::uint8_t* p) { return unsigned(*p); }, rgb);
        break;
    }
    case PixelLayout::Grey16: {
        const auto table = stretchTable(65536, black, white);
        renderGrey(in, 2, n, table.data(), 65535, [](const std::uint8_t* p) { return unsigned(load16(p)); }, rgb);
        break;
    }
    case PixelLayout::RGB24:
    case PixelLayout::RGB32: {
        const auto table = stretchTable(256, black, white);
        const std::size_t step = layout == PixelLayout::RGB24 ? 3 : 4;
        const std::uint8_t* p = in + (layout == PixelLayout::RGB32 ? colourOffset32(rep) : 0);
        for (std::int64_t i = 0; i < n; ++i, p += step) {
            rgb[3 * i] = table[p[0]];
            rgb[3 * i + 1] = table[p[1]];
            rgb[3 * i + 2] = table[p[2]];
        }
        break;
    }
    case PixelLayout::RGB48: {
        const auto table = stretchTable(65536, black, white);
        const std::uint8_t* p = in;
        for (std::int64_t i = 0; i < n; ++i, p += 6) {
            rgb[3 * i] = table[load16(p)];
            rgb[3 * i + 1] = table[load16(p + 2)];
            rgb[3 * i + 2] = table[load16(p + 4)];
        }
        break;
    }
    case PixelLayout::Other:
        break;
    }
}
