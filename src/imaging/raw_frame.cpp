#include "imaging/raw_frame.h"

#include <cstring>

namespace zeta::imaging {
namespace {

std::uint32_t littleEndianWord(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

} // namespace

int RawFrameHeader::bytesPerPixel() const {
    switch (pixels) {
    case RawFramePixels::Gray8:
        return 1;
    case RawFramePixels::Gray16LE:
        return 2;
    case RawFramePixels::BGR24:
        return 3;
    }
    return 1;
}

std::optional<std::uint64_t> RawFrameHeader::pixelBytes() const {
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(std::uint64_t(width), std::uint64_t(height), &bytes) ||
        __builtin_mul_overflow(bytes, std::uint64_t(bytesPerPixel()), &bytes))
        return std::nullopt;
    return bytes;
}

bool looksLikeRawFrame(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && std::memcmp(bytes.data(), "RAW", 3) == 0;
}

std::optional<RawFrameHeader> readRawFrameHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < RawFrameHeader::kSize || !looksLikeRawFrame(bytes)) return std::nullopt;
    RawFrameHeader header;
    switch (bytes[3]) {
    case '1':
        header.pixels = RawFramePixels::Gray8;
        break;
    case '2':
        header.pixels = RawFramePixels::Gray16LE;
        break;
    case '3':
        header.pixels = RawFramePixels::BGR24;
        break;
    default:
        return std::nullopt;
    }
    header.width = littleEndianWord(bytes.data() + 4);
    header.height = littleEndianWord(bytes.data() + 8);
    return header;
}

} // namespace zeta::imaging
