#pragma once
// The header of an INDIGO raw frame, read in one place for every reader of such frames (the
// RAW image decoder, the video writers): 12 bytes of three little-endian 32-bit words, the
// signature "RAW1", "RAW2" or "RAW3" as its four ASCII letters, the width and the height. The
// pixels follow, rows top down without padding:
//   "RAW1"  8-bit grey
//   "RAW2"  16-bit grey, low byte first
//   "RAW3"  blue, green, red bytes
// Stateless; bounded by the bytes given.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zeta::imaging {

enum class RawFramePixels { Gray8, Gray16LE, BGR24 };

struct RawFrameHeader {
    static constexpr std::size_t kSize = 12;

    RawFramePixels pixels = RawFramePixels::Gray8;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    int bytesPerPixel() const;
    // width x height x bytes per pixel; none when that does not fit 64 bits (it always does,
    // but a reader need not know why).
    std::optional<std::uint64_t> pixelBytes() const;
};

// True when the bytes begin with a raw signature (whole or not).
bool looksLikeRawFrame(std::span<const std::uint8_t> bytes);
// The header, when the bytes hold a whole one with a raw signature; none otherwise.
std::optional<RawFrameHeader> readRawFrameHeader(std::span<const std::uint8_t> bytes);

} // namespace zeta::imaging
