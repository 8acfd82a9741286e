#pragma once
// A test decoder for bitmaps of any layout: "ZBMP", then the layout, then the pixels as
// they are to lie in the bitmap. Lets tests make frames the real decoders never give
// (alpha-first 32-bit, 48-bit, planar, other depths).

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/data.h"

#include <cstring>
#include <vector>

struct TestBitmapImageRep {
    struct Header {
        char signature[4];
        std::int64_t width, height;
        std::int32_t bitsPerSample, samplesPerPixel, bitsPerPixel, hasAlpha, isPlanar;
        std::uint32_t bitmapFormat;
    };

    static bool canInitWithData(const zeta::platform::Data& data) { return data.startsWith("ZBMP"); }

    static zeta::platform::ImageReps imageRepsWithData(const zeta::platform::Data& data, std::string* = nullptr) {
        Header h;
        if (data.length() < sizeof h) return {};
        std::memcpy(&h, data.bytes(), sizeof h);
        zeta::platform::BitmapLayout layout;
        layout.pixelsWide = h.width;
        layout.pixelsHigh = h.height;
        layout.bitsPerSample = h.bitsPerSample;
        layout.samplesPerPixel = h.samplesPerPixel;
        layout.bitsPerPixel = h.bitsPerPixel;
        layout.hasAlpha = h.hasAlpha != 0;
        layout.isPlanar = h.isPlanar != 0;
        layout.bitmapFormat = h.bitmapFormat;
        layout.colorSpaceName = h.samplesPerPixel >= 3 ? zeta::platform::ColorSpace::DeviceRGB
                                                       : zeta::platform::ColorSpace::CalibratedWhite;
        auto rep = zeta::platform::BitmapImageRep::withLayout(layout);
        if (!rep) return {};
        const auto bytes = static_cast<std::size_t>(rep->bytesPerPlane() * rep->numberOfPlanes());
        if (data.length() - sizeof h < bytes) return {};
        // Planes are allocated one after another.
        std::memcpy(rep->bitmapData(), data.bytes() + sizeof h, bytes);
        return {rep};
    }
};

inline zeta::platform::Data testBitmap(std::int64_t width, std::int64_t height, int bitsPerSample, int samplesPerPixel,
                                       int bitsPerPixel, const std::vector<std::uint8_t>& pixels,
                                       unsigned bitmapFormat = 0, bool hasAlpha = false, bool isPlanar = false) {
    TestBitmapImageRep::Header h{{'Z', 'B', 'M', 'P'}, width,    height,   bitsPerSample, samplesPerPixel,
                                 bitsPerPixel,         hasAlpha, isPlanar, bitmapFormat};
    std::vector<std::uint8_t> bytes(sizeof h + pixels.size());
    std::memcpy(bytes.data(), &h, sizeof h);
    if (!pixels.empty()) std::memcpy(bytes.data() + sizeof h, pixels.data(), pixels.size());
    return zeta::platform::Data(std::move(bytes));
}

// Little-endian bytes of 16-bit samples.
inline std::vector<std::uint8_t> bytes16(const std::vector<std::uint16_t>& samples) {
    std::vector<std::uint8_t> bytes;
    for (const auto s : samples) {
        bytes.push_back(static_cast<std::uint8_t>(s));
        bytes.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    return bytes;
}
