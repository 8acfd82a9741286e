#include "Common/raw_image_rep.h"

#include "imaging/raw_frame.h"

#include <cstdint>

INDIGO::RawImageRep::RawImageRep(const zeta::platform::Data& data) : data_(data) {
    failureReason_ = decode();
}

INDIGO::RawImageRep::~RawImageRep() = default;

bool INDIGO::RawImageRep::canInitWithData(const zeta::platform::Data& data) {
    return zeta::imaging::looksLikeRawFrame(data.span());
}

zeta::platform::ImageReps INDIGO::RawImageRep::imageRepsWithData(const zeta::platform::Data& data,
                                                                 std::string* reason) {
    auto rep = std::make_shared<RawImageRep>(data);
    if (rep->bitmapData() == nullptr) {
        if (reason) *reason = rep->failureReason();
        return {};
    }
    return {rep};
}

std::string INDIGO::RawImageRep::decode() {
    using zeta::imaging::RawFramePixels;
    const auto header = zeta::imaging::readRawFrameHeader(data_.span());
    if (!header) return "RAW frame header unreadable";
    const std::uint8_t* bytes = data_.bytes();

    zeta::platform::BitmapLayout layout;
    layout.pixelsWide = header->width;
    layout.pixelsHigh = header->height;
    switch (header->pixels) {
    case RawFramePixels::Gray8:
        break;
    case RawFramePixels::Gray16LE:
        layout.bitsPerSample = 16;
        break;
    case RawFramePixels::BGR24:
        layout.samplesPerPixel = 3;
        layout.colorSpaceName = zeta::platform::ColorSpace::DeviceRGB;
        break;
    }
    const std::uint64_t pixelCount = std::uint64_t(header->width) * header->height;
    if (pixelCount == 0 || pixelCount > std::uint64_t(zeta::platform::kMaxDecodedPixels))
        return "RAW frame size out of range";
    const auto pixelBytes = header->pixelBytes();
    if (!pixelBytes || *pixelBytes > data_.length() - kHeaderSize) return "RAW frame shorter than its header says";

    // The bitmap only reads its planes; the received bytes stay as they are.
    auto* pixels = const_cast<unsigned char*>(bytes + kHeaderSize);
    if (header->pixels == RawFramePixels::BGR24) {
        swapped_ = zeta::platform::allocateBuffer(static_cast<std::size_t>(*pixelBytes));
        unsigned char* out = swapped_.get();
        for (std::uint64_t i = 0; i < *pixelBytes; i += 3) {
            out[i] = pixels[i + 2];
            out[i + 1] = pixels[i + 1];
            out[i + 2] = pixels[i];
        }
        pixels = out;
    }
    unsigned char* planes[1] = {pixels};
    if (!initWithBitmapDataPlanes(planes, layout)) {
        swapped_.reset();
        return "RAW frame size refused";
    }
    return {};
}
