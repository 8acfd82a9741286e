#include "imaging/image_render.h"

#include "imaging/parallel_chunks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#define ZETA_RENDER_SSSE3 1
#endif

namespace {

// The stretch of every possible sample value, so the pass over the pixels is a table look-up.
std::vector<std::uint8_t> stretchTable(std::size_t values, std::int64_t black, std::int64_t white) {
    std::vector<std::uint8_t> table(values);
    for (std::size_t v = 0; v < values; ++v)
        table[v] = stretchedValue(static_cast<std::int64_t>(v), black, white);
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

#if ZETA_RENDER_SSSE3
// Sixteen grey pixels at a time: look-ups one by one, then the grey bytes spread into red,
// green and blue with byte shuffles; saturated pixels (rare) blended to pure red. Large
// renderings are written past the caches, as nothing reads them back soon.
__attribute__((target("ssse3"))) inline void storeRGB16(__m128i grey, __m128i saturated, std::uint8_t* out,
                                                        bool stream) {
    const __m128i spread[3] = {
        _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5),
        _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10),
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15),
    };
    __m128i rgb[3];
    if (_mm_movemask_epi8(saturated) == 0) {
        for (int k = 0; k < 3; ++k)
            rgb[k] = _mm_shuffle_epi8(grey, spread[k]);
    } else {
        const __m128i red = _mm_or_si128(grey, saturated);
        const __m128i other = _mm_andnot_si128(saturated, grey);
        const __m128i redBytes[3] = {
            _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1),
            _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0),
            _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0),
        };
        for (int k = 0; k < 3; ++k) {
            rgb[k] = _mm_or_si128(_mm_and_si128(redBytes[k], _mm_shuffle_epi8(red, spread[k])),
                                  _mm_andnot_si128(redBytes[k], _mm_shuffle_epi8(other, spread[k])));
        }
    }
    auto* o = reinterpret_cast<__m128i*>(out);
    if (stream) {
        for (int k = 0; k < 3; ++k)
            _mm_stream_si128(o + k, rgb[k]);
    } else {
        for (int k = 0; k < 3; ++k)
            _mm_storeu_si128(o + k, rgb[k]);
    }
}

__attribute__((target("ssse3"))) std::int64_t
renderGrey16Ssse3(const std::uint8_t* in, std::int64_t n, const std::uint8_t* table, std::uint8_t* out, bool stream) {
    std::int64_t i = 0;
    for (; i + 16 <= n; i += 16, in += 32, out += 48) {
        __builtin_prefetch(in + 1024);
        std::uint64_t lo = 0, hi = 0;
        for (int j = 0; j < 8; ++j) {
            lo |= std::uint64_t(table[load16(in + 2 * j)]) << (8 * j);
            hi |= std::uint64_t(table[load16(in + 16 + 2 * j)]) << (8 * j);
        }
        const __m128i all = _mm_set1_epi16(-1);
        const __m128i saturated =
            _mm_packs_epi16(_mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), all),
                            _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), all));
        storeRGB16(_mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo)), saturated, out, stream);
    }
    if (stream) _mm_sfence();
    return i;
}

__attribute__((target("ssse3"))) std::int64_t
renderGrey8Ssse3(const std::uint8_t* in, std::int64_t n, const std::uint8_t* table, std::uint8_t* out, bool stream) {
    std::int64_t i = 0;
    for (; i + 16 <= n; i += 16, in += 16, out += 48) {
        std::uint64_t lo = 0, hi = 0;
        for (int j = 0; j < 8; ++j) {
            lo |= std::uint64_t(table[in[j]]) << (8 * j);
            hi |= std::uint64_t(table[in[8 + j]]) << (8 * j);
        }
        const __m128i saturated =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), _mm_set1_epi8(-1));
        storeRGB16(_mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo)), saturated, out, stream);
    }
    if (stream) _mm_sfence();
    return i;
}

bool haveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

// Groups of 16 pixels a thread renders at the least: below that, handing the work over
// costs more than it saves.
constexpr std::size_t kRenderChunkGroups = std::size_t{1} << 15;

// count grey pixels from in into out, with the vector code where there is one.
void renderGreyPart(const std::uint8_t* in, std::int64_t count, bool deep, const std::uint8_t* table, std::uint8_t* out,
                    [[maybe_unused]] bool stream) {
    std::int64_t done = 0;
#if ZETA_RENDER_SSSE3
    if (haveSsse3())
        done =
            deep ? renderGrey16Ssse3(in, count, table, out, stream) : renderGrey8Ssse3(in, count, table, out, stream);
#endif
    if (deep) {
        renderGrey(
            in + done * 2, 2, count - done, table, 65535, [](const std::uint8_t* p) { return unsigned(load16(p)); },
            out + done * 3);
    } else {
        renderGrey(
            in + done, 1, count - done, table, 255, [](const std::uint8_t* p) { return unsigned(*p); }, out + done * 3);
    }
}

} // namespace

std::uint8_t stretchedValue(std::int64_t v, std::int64_t black, std::int64_t white) {
    // In doubles: the points are whatever a caller set, and their difference may not fit.
    const double scale = (static_cast<double>(white) - static_cast<double>(black)) / 256.0;
    if (!(scale > 0)) return 0;
    const double d = (static_cast<double>(v) - static_cast<double>(black)) / scale;
    if (d < 0) return 0;
    if (d > 255) return 255;
    return static_cast<std::uint8_t>(d);
}

void renderStretched(const zeta::platform::BitmapImageRep& rep, std::int64_t black, std::int64_t white,
                     std::uint8_t* rgb) {
    const std::int64_t n = rep.pixelsWide() * rep.pixelsHigh();
    const std::uint8_t* in = rep.bitmapData();
    const PixelLayout layout = pixelLayoutOf(rep);
    if (!in || layout == PixelLayout::Other) {
        std::memset(rgb, 0, static_cast<std::size_t>(n) * 3);
        return;
    }
    switch (layout) {
    case PixelLayout::Grey8:
    case PixelLayout::Grey16: {
        const bool deep = layout == PixelLayout::Grey16;
        const auto table = stretchTable(deep ? 65536 : 256, black, white);
        bool stream = false;
#if ZETA_RENDER_SSSE3
        stream = n * 3 >= (std::int64_t(4) << 20) && reinterpret_cast<std::uintptr_t>(rgb) % 16 == 0;
#endif
        // Across threads, in whole groups of 16 pixels: every chunk but the last is the
        // vector code's alone, and its output starts 16-byte aligned like the frame's.
        const auto groups = static_cast<std::size_t>((n + 15) / 16);
        zeta::imaging::forEachChunk(groups, kRenderChunkGroups, [&](std::size_t begin, std::size_t end) {
            const auto first = static_cast<std::int64_t>(begin) * 16;
            const std::int64_t count = std::min(n, static_cast<std::int64_t>(end) * 16) - first;
            renderGreyPart(in + first * (deep ? 2 : 1), count, deep, table.data(), rgb + first * 3, stream);
        });
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
