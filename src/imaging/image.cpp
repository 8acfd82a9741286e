#include "imaging/image.h"

#include "imaging/histogram_drawing.h"
#include "imaging/image_render.h"
#include "imaging/image_statistics.h"
#include "imaging/pixel_layout.h"
#include "platform/image/buffer.h"
#include "platform/image/image_properties.h"
#include "platform/system_log.h"

#include <bit>
#include <cmath>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "16-bit samples are read in little-endian order");

// Pixel buffers of the renderings. A rendering handed out keeps its buffer; when the last
// holder lets go, the buffer comes back here for the next rendering of the same frame.
struct Image::RenderBuffers {
    std::mutex mutex;
    zeta::platform::Buffer spare;
    std::size_t spareSize = 0;
};

Image::Image(const zeta::platform::Data& data, std::string format)
    : data_(data), format_(std::move(format)), renderBuffers_(std::make_shared<RenderBuffers>()) {
    decode();
    analyse();
}

Image::~Image() = default;

void Image::decode() {
    // Camera raw files (".nef", ".arw" and the rest) decode from memory like everything else.
    original_ = zeta::platform::Picture::withData(data_, &decodeFailure_);
    if (original_) originalImageRep_ = original_->firstBitmapImageRep();
    if (original_ && (!originalImageRep_ || !originalImageRep_->bitmapData()))
        decodeFailure_ = "no bitmap among the decoded representations";
    if (!originalImageRep_ || !originalImageRep_->bitmapData()) {
        zeta::platform::systemLog("Image: " + (format_.empty() ? std::string("frame") : format_) + " of " +
                                  std::to_string(data_.length()) + " bytes not decoded: " + decodeFailure_);
    }
    properties_ = zeta::platform::imagePropertiesWithData(data_);
    if (properties_ && properties_->isEmpty()) properties_.reset();
}

void Image::analyse() {
    const auto& rep = originalImageRep_;
    if (!rep || !rep->bitmapData() || rep->numberOfPlanes() != 1) return;
    width_ = rep->pixelsWide();
    height_ = rep->pixelsHigh();
    size_ = width_ * height_;
    bitsPerPixel_ = rep->bitsPerPixel();
    const ImageStatistics s = computeStatistics(*rep);
    min_ = s.min;
    max_ = s.max;
    average_ = s.average;
    median_ = s.median;
    isColour_ = s.isColour;
    histo_ = s.histo;
    autoBlackPoint_ = s.autoBlackPoint;
    autoWhitePoint_ = s.autoWhitePoint;
    const std::int64_t largest = rep->bitsPerSample() == 16 ? 65535 : 255;
    blackPoint_ = largest;
    whitePoint_ = largest;
    histogram_ = drawHistogram(histo_);
}

std::int64_t Image::debayer() const {
    std::lock_guard lock(mutex_);
    return debayer_;
}

void Image::setDebayer(std::int64_t value) {
    std::lock_guard lock(mutex_);
    debayer_ = value;
    cached_.reset();
}

std::int64_t Image::blackPoint() const {
    std::lock_guard lock(mutex_);
    return blackPoint_;
}

void Image::setBlackPoint(std::int64_t value) {
    std::lock_guard lock(mutex_);
    blackPoint_ = value;
    cached_.reset();
}

std::int64_t Image::whitePoint() const {
    std::lock_guard lock(mutex_);
    return whitePoint_;
}

void Image::setWhitePoint(std::int64_t value) {
    std::lock_guard lock(mutex_);
    whitePoint_ = value;
    cached_.reset();
}

std::shared_ptr<zeta::platform::Picture> Image::image() const {
    std::lock_guard lock(mutex_);
    if (cached_) return cached_;
    if (!originalImageRep_ || !originalImageRep_->bitmapData() || size_ == 0) return nullptr;

    const auto bytes = static_cast<std::size_t>(size_) * 3;
    zeta::platform::Buffer buffer;
    {
        std::lock_guard poolLock(renderBuffers_->mutex);
        if (renderBuffers_->spare && renderBuffers_->spareSize == bytes) buffer = std::move(renderBuffers_->spare);
    }
    if (!buffer) buffer = zeta::platform::allocateBuffer(bytes);
    renderStretched(*originalImageRep_, blackPoint_, whitePoint_, buffer.get());

    std::shared_ptr<std::uint8_t> pixels(buffer.release(), [pool = renderBuffers_, bytes](std::uint8_t* p) {
        std::lock_guard poolLock(pool->mutex);
        zeta::platform::Buffer returned(p);
        if (!pool->spare) {
            pool->spare = std::move(returned);
            pool->spareSize = bytes;
        }
    });
    zeta::platform::BitmapLayout layout;
    layout.pixelsWide = width_;
    layout.pixelsHigh = height_;
    layout.samplesPerPixel = 3;
    layout.colorSpaceName = zeta::platform::ColorSpace::DeviceRGB;
    auto rep = zeta::platform::BitmapImageRep::withPixels(pixels.get(), pixels, layout);
    if (!rep) return nullptr;
    cached_ = std::make_shared<zeta::platform::Picture>(rep);
    return cached_;
}

std::optional<PixelValue> Image::pixel(double x, double y) const {
    const auto& rep = originalImageRep_;
    if (!std::isfinite(x) || !std::isfinite(y) || !rep || !rep->bitmapData() || size_ == 0) return std::nullopt;
    const double column = std::trunc(x);
    const double row = static_cast<double>(height_) - std::trunc(y);
    if (column < 0 || column > static_cast<double>(width_ - 1) || row < 0 || row > static_cast<double>(height_ - 1))
        return std::nullopt;
    const std::int64_t p = static_cast<std::int64_t>(row) * width_ + static_cast<std::int64_t>(column);
    const std::uint8_t* at =
        rep->bitmapData() + static_cast<std::size_t>(p) * static_cast<std::size_t>(rep->bitsPerPixel() / 8);
    const auto load16 = [](const std::uint8_t* q) {
        std::uint16_t v;
        std::memcpy(&v, q, 2);
        return std::int64_t(v);
    };
    switch (pixelLayoutOf(*rep)) {
    case PixelLayout::Grey8:
        return PixelValue{std::int64_t(at[0])};
    case PixelLayout::Grey16:
        return PixelValue{load16(at)};
    case PixelLayout::RGB24:
        return PixelValue{RGBValue{at[0], at[1], at[2]}};
    case PixelLayout::RGB32: {
        const std::uint8_t* c = at + colourOffset32(*rep);
        return PixelValue{RGBValue{c[0], c[1], c[2]}};
    }
    case PixelLayout::RGB48:
        return PixelValue{RGBValue{load16(at), load16(at + 2), load16(at + 4)}};
    case PixelLayout::Other:
        break;
    }
    return std::nullopt;
}
