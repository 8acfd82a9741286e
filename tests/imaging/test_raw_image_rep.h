#pragma once
// A stand-in for the INDIGO raw frame decoder ("RAW1" 8-bit grey, "RAW2" 16-bit grey, "RAW3"
// blue-green-red bytes shown as red-green-blue), registered first as the application does.
// Frames shorter than their header says give no representation.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/data.h"

#include <cstring>
#include <memory>
#include <vector>

struct TestRawImageRep {
    static bool canInitWithData(const zeta::platform::Data& data) { return data.startsWith("RAW"); }

    static zeta::platform::ImageReps imageRepsWithData(const zeta::platform::Data& data) {
        if (data.length() < 12) return {};
        std::uint32_t header[3];
        std::memcpy(header, data.bytes(), 12);
        int bytesPerPixel = 0;
        if (header[0] == 0x31574152) bytesPerPixel = 1;
        if (header[0] == 0x32574152) bytesPerPixel = 2;
        if (header[0] == 0x33574152) bytesPerPixel = 3;
        if (bytesPerPixel == 0 || header[1] == 0 || header[2] == 0) return {};
        const std::uint64_t bytes = std::uint64_t(header[1]) * header[2] * bytesPerPixel;
        if (bytes > data.length() - 12) return {};
        zeta::platform::BitmapLayout layout;
        layout.pixelsWide = header[1];
        layout.pixelsHigh = header[2];
        layout.bitsPerSample = bytesPerPixel == 2 ? 16 : 8;
        layout.samplesPerPixel = bytesPerPixel == 3 ? 3 : 1;
        layout.colorSpaceName =
            bytesPerPixel == 3 ? zeta::platform::ColorSpace::DeviceRGB : zeta::platform::ColorSpace::CalibratedWhite;
        auto rep = zeta::platform::BitmapImageRep::withLayout(layout);
        if (!rep) return {};
        std::memcpy(rep->bitmapData(), data.bytes() + 12, bytes);
        if (bytesPerPixel == 3) {
            for (std::uint64_t i = 0; i < bytes; i += 3)
                std::swap(rep->bitmapData()[i], rep->bitmapData()[i + 2]);
        }
        return {rep};
    }
};

// A raw frame's bytes.
inline zeta::platform::Data rawFrame(const char* signature, std::uint32_t width, std::uint32_t height,
                                     const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> bytes(12 + pixels.size());
    std::memcpy(bytes.data(), signature, 4);
    std::memcpy(bytes.data() + 4, &width, 4);
    std::memcpy(bytes.data() + 8, &height, 4);
    if (!pixels.empty()) std::memcpy(bytes.data() + 12, pixels.data(), pixels.size());
    return zeta::platform::Data(std::move(bytes));
}
