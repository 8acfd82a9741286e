#include "platform/image/bitmap_image_rep.h"

#include <cstring>
#include <limits>

namespace zeta::platform {
namespace {

// Fills in the defaults of a layout and checks it; false for a layout to refuse.
bool completeLayout(BitmapLayout& l) {
    if (l.pixelsWide < 1 || l.pixelsHigh < 1) return false;
    if (l.pixelsWide > kMaxDecodedPixels || l.pixelsHigh > kMaxDecodedPixels / l.pixelsWide) return false;
    if (l.bitsPerSample != 8 && l.bitsPerSample != 16 && l.bitsPerSample != 32) return false;
    if (l.samplesPerPixel < 1 || l.samplesPerPixel > 5) return false;
    if (l.hasAlpha && l.samplesPerPixel < 2) return false;
    if (l.isPlanar) {
        if (l.bitsPerPixel == 0) l.bitsPerPixel = l.bitsPerSample;
        if (l.bitsPerPixel != l.bitsPerSample) return false;
    } else {
        if (l.bitsPerPixel == 0) l.bitsPerPixel = l.bitsPerSample * l.samplesPerPixel;
        if (l.bitsPerPixel < l.bitsPerSample * l.samplesPerPixel || l.bitsPerPixel % 8 != 0 || l.bitsPerPixel > 256)
            return false;
    }
    const std::int64_t packed = l.pixelsWide * (l.bitsPerPixel / 8);
    if (l.bytesPerRow == 0) l.bytesPerRow = packed;
    if (l.bytesPerRow < packed) return false;
    // Each plane must be addressable as one block.
    if (l.bytesPerRow > std::numeric_limits<std::int64_t>::max() / 8 / l.pixelsHigh) return false;
    return true;
}

} // namespace

BitmapImageRep::~BitmapImageRep() = default;

bool BitmapImageRep::initWithBitmapDataPlanes(unsigned char* const* planes, const BitmapLayout& layout) {
    BitmapLayout l = layout;
    layout_ = BitmapLayout{};
    planes_ = {};
    ownedPixels_.reset();
    owner_.reset();
    if (!completeLayout(l)) return false;
    const int count = l.isPlanar ? l.samplesPerPixel : 1;
    const auto planeBytes = static_cast<std::size_t>(l.bytesPerRow * l.pixelsHigh);
    if (planes && planes[0]) {
        for (int i = 0; i < count; ++i) {
            if (!planes[i]) return false;
            planes_[static_cast<std::size_t>(i)] = planes[i];
        }
    } else {
        const std::size_t bytes = planeBytes * static_cast<std::size_t>(count);
        ownedPixels_ = allocateBuffer(bytes);
        std::memset(ownedPixels_.get(), 0, bytes);
        for (int i = 0; i < count; ++i)
            planes_[static_cast<std::size_t>(i)] = ownedPixels_.get() + planeBytes * static_cast<std::size_t>(i);
    }
    layout_ = l;
    return true;
}

std::shared_ptr<BitmapImageRep> BitmapImageRep::withLayout(const BitmapLayout& layout) {
    auto rep = std::make_shared<BitmapImageRep>();
    if (!rep->initWithBitmapDataPlanes(nullptr, layout)) return nullptr;
    return rep;
}

std::shared_ptr<BitmapImageRep> BitmapImageRep::withPixels(unsigned char* pixels, std::shared_ptr<const void> owner,
                                                           const BitmapLayout& layout) {
    if (!pixels || layout.isPlanar) return nullptr;
    auto rep = std::make_shared<BitmapImageRep>();
    unsigned char* planes[1] = {pixels};
    if (!rep->initWithBitmapDataPlanes(planes, layout)) return nullptr;
    rep->owner_ = std::move(owner);
    return rep;
}

QImage BitmapImageRep::qImage() const {
    const BitmapLayout& l = layout_;
    if (!bitmapData() || l.isPlanar || (l.bitmapFormat & BitmapFormatFloatingPointSamples)) return {};
    const int w = static_cast<int>(l.pixelsWide);
    const int h = static_cast<int>(l.pixelsHigh);
    const bool alphaFirst = (l.bitmapFormat & BitmapFormatAlphaFirst) != 0;
    const auto row = [&](int y) {
        return bitmapData() + static_cast<std::int64_t>(y) * l.bytesPerRow;
    };

    if (l.bitsPerSample == 8 && l.samplesPerPixel == 1 && l.bitsPerPixel == 8) {
        QImage out(w, h, QImage::Format_Grayscale8);
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), row(y), static_cast<std::size_t>(w));
        return out;
    }
    if (l.bitsPerSample == 16 && l.samplesPerPixel == 1 && l.bitsPerPixel == 16) {
        QImage out(w, h, QImage::Format_Grayscale16);
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), row(y), static_cast<std::size_t>(w) * 2);
        return out;
    }
    if (l.bitsPerSample == 8 && l.samplesPerPixel == 3 && l.bitsPerPixel == 24) {
        QImage out(w, h, QImage::Format_RGB888);
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), row(y), static_cast<std::size_t>(w) * 3);
        return out;
    }
    if (l.bitsPerSample == 8 && l.bitsPerPixel == 32 && l.samplesPerPixel >= 3) {
        const bool premultiplied = l.hasAlpha && !(l.bitmapFormat & BitmapFormatAlphaNonpremultiplied);
        QImage out(w, h,
                   !l.hasAlpha     ? QImage::Format_RGBX8888
                   : premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                   : QImage::Format_RGBA8888);
        const int colour = alphaFirst ? 1 : 0;
        const int alpha = alphaFirst ? 0 : 3;
        for (int y = 0; y < h; ++y) {
            const unsigned char* in = row(y);
            unsigned char* o = out.scanLine(y);
            for (int x = 0; x < w; ++x, in += 4, o += 4) {
                o[0] = in[colour];
                o[1] = in[colour + 1];
                o[2] = in[colour + 2];
                o[3] = l.hasAlpha ? in[alpha] : 255;
            }
        }
        return out;
    }
    if (l.bitsPerSample == 16 && l.samplesPerPixel == 3 && l.bitsPerPixel == 48) {
        QImage out(w, h, QImage::Format_RGBX64);
        for (int y = 0; y < h; ++y) {
            const unsigned char* in = row(y);
            auto* o = reinterpret_cast<std::uint16_t*>(out.scanLine(y));
            for (int x = 0; x < w; ++x, in += 6, o += 4) {
                std::memcpy(o, in, 6);
                o[3] = 0xFFFF;
            }
        }
        return out;
    }
    return {};
}

} // namespace zeta::platform
