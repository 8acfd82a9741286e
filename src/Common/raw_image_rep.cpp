#include "Common/raw_image_rep.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

std::uint32_t littleEndianWord(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

constexpr std::uint32_t kRAW1 = 0x31574152;
constexpr std::uint32_t kRAW2 = 0x32574152;
constexpr std::uint32_t kRAW3 = 0x33574152;

} // namespace

INDIGO::RawImageRep::RawImageRep(const zeta::platform::Data& data) : data_(data) {
    decode();
}

INDIGO::RawImageRep::~RawImageRep() = default;

bool INDIGO::RawImageRep::canInitWithData(const zeta::platform::Data& data) {
    return data.startsWith("RAW");
}

zeta::platform::ImageReps INDIGO::RawImageRep::imageRepsWithData(const zeta::platform::Data& data) {
    auto rep = std::make_shared<RawImageRep>(data);
    if (rep->bitmapData() == nullptr) return {};
    return {rep};
}

bool INDIGO::RawImageRep::decode() {
    if (data_.length() < kHeaderSize) return false;
    const std::uint8_t* bytes = data_.bytes();
    const std::uint32_t signature = littleEndianWord(bytes);
    const std::uint32_t width = littleEndianWord(bytes + 4);
    const std::uint32_t height = littleEndianWord(bytes + 8);

    zeta::platform::BitmapLayout layout;
    layout.pixelsWide = width;
    layout.pixelsHigh = height;
    std::uint64_t bytesPerPixel = 0;
    switch (signature) {
    case kRAW1:
        bytesPerPixel = 1;
        break;
    case kRAW2:
        bytesPerPixel = 2;
        layout.bitsPerSample = 16;
        break;
    case kRAW3:
        bytesPerPixel = 3;
        layout.samplesPerPixel = 3;
        layout.colorSpaceName = zeta::platform::ColorSpace::DeviceRGB;
        break;
    default:
        return false;
    }
    // Both factors are below 2^32, so their product fits 64 bits; the pixel bound keeps the
    // byte count far from overflowing too.
    const std::uint64_t pixelCount = std::uint64_t(width) * height;
    if (pixelCount == 0 || pixelCount > std::uint64_t(zeta::platform::kMaxDecodedPixels)) return false;
    const std::uint64_t pixelBytes = pixelCount * bytesPerPixel;
    if (pixelBytes > data_.length() - kHeaderSize) return false;

    // The bitmap only reads its planes; the received bytes stay as they are.
    auto* pixels = const_cast<unsigned char*>(bytes + kHeaderSize);
    if (signature == kRAW3) {
        swapped_ = zeta::platform::allocateBuffer(static_cast<std::size_t>(pixelBytes));
        unsigned char* out = swapped_.get();
        for (std::uint64_t i = 0; i < pixelBytes; i += 3) {
            out[i] = pixels[i + 2];
            out[i + 1] = pixels[i + 1];
            out[i + 2] = pixels[i];
        }
        pixels = out;
    }
    unsigned char* planes[1] = {pixels};
    if (!initWithBitmapDataPlanes(planes, layout)) {
        swapped_.reset();
        return false;
    }
    return true;
}
