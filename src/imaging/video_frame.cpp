#include "imaging/video_frame.h"

#include "imaging/raw_frame.h"
#include "platform/image/bitmap_image_rep.h"
#include "platform/image/picture.h"

#include <cstring>
#include <limits>

int bytesPerPixel(FramePixels pixels) {
    switch (pixels) {
    case FramePixels::Gray8:
        return 1;
    case FramePixels::Gray16LE:
        return 2;
    case FramePixels::BGR24:
    case FramePixels::RGB24:
        return 3;
    case FramePixels::ARGB32:
    case FramePixels::RGBA32:
        return 4;
    }
    return 1;
}

const char* framePixelsName(FramePixels pixels) {
    switch (pixels) {
    case FramePixels::Gray8:
        return "8-bit grey";
    case FramePixels::Gray16LE:
        return "16-bit grey";
    case FramePixels::BGR24:
        return "BGR";
    case FramePixels::RGB24:
        return "RGB";
    case FramePixels::ARGB32:
        return "ARGB";
    case FramePixels::RGBA32:
        return "RGBA";
    }
    return "?";
}

namespace {

FramePixels framePixelsOf(zeta::imaging::RawFramePixels pixels) {
    switch (pixels) {
    case zeta::imaging::RawFramePixels::Gray8:
        return FramePixels::Gray8;
    case zeta::imaging::RawFramePixels::Gray16LE:
        return FramePixels::Gray16LE;
    case zeta::imaging::RawFramePixels::BGR24:
        return FramePixels::BGR24;
    }
    return FramePixels::Gray8;
}

VideoFrameReading readRaw(const zeta::platform::Data& data, const zeta::imaging::RawFrameHeader& header) {
    using zeta::imaging::RawFrameHeader;
    const FramePixels pixels = framePixelsOf(header.pixels);
    VideoFrameReading reading;
    VideoFrame& frame = reading.frame;
    frame.pixels = pixels;
    frame.raw = true;
    frame.width = header.width;
    frame.height = header.height;
    frame.firstRow = data.bytes() + RawFrameHeader::kSize;
    frame.bytesPerRow = frame.rowBytes();
    // The payload must be exactly the pixels the header announces: fewer would be read past
    // the end of the data, more would shift every later frame of a video.
    const std::uint64_t payload = data.length() - RawFrameHeader::kSize;
    const auto announced = header.pixelBytes();
    const bool fits = announced && *announced <= std::numeric_limits<std::size_t>::max();
    const std::uint64_t expected = announced.value_or(0);
    if (!fits || expected != payload) {
        reading.status = VideoFrameReading::Status::MalformedRaw;
        reading.problem = "raw frame of " + std::to_string(frame.width) + " x " + std::to_string(frame.height) + " " +
                          framePixelsName(pixels) + " carries " + std::to_string(payload) + " bytes of pixels";
        if (fits) reading.problem += " instead of " + std::to_string(expected);
        frame = {};
        return reading;
    }
    reading.status = VideoFrameReading::Status::Frame;
    return reading;
}

// Bitmaps the writers store, by bits per pixel; other layouts (planar, floating point,
// big-endian samples, grey with alpha, deep colour such as the 48-bit RGB of camera raw
// files) are refused rather than stored as something they are not.
bool pixelsOfBitmap(const zeta::platform::BitmapImageRep& rep, FramePixels& pixels) {
    const unsigned format = rep.bitmapFormat();
    if (rep.isPlanar() || (format & zeta::platform::BitmapFormatFloatingPointSamples)) return false;
    const int bits = rep.bitsPerSample();
    const int samples = rep.samplesPerPixel();
    switch (rep.bitsPerPixel()) {
    case 8:
        if (bits != 8 || samples != 1) return false;
        pixels = FramePixels::Gray8;
        return true;
    case 16:
        if (bits != 16 || samples != 1 || (format & zeta::platform::BitmapFormatSixteenBitBigEndian)) return false;
        pixels = FramePixels::Gray16LE;
        return true;
    case 24:
        if (bits != 8 || samples != 3) return false;
        pixels = FramePixels::RGB24;
        return true;
    case 32:
        if (bits != 8 || (samples != 3 && samples != 4)) return false;
        pixels = (format & zeta::platform::BitmapFormatAlphaFirst) ? FramePixels::ARGB32 : FramePixels::RGBA32;
        return true;
    default:
        return false;
    }
}

} // namespace

VideoFrameReading readVideoFrame(const zeta::platform::Data& data) {
    if (data.length() > zeta::imaging::RawFrameHeader::kSize) {
        if (const auto header = zeta::imaging::readRawFrameHeader(data.span())) return readRaw(data, *header);
    }
    VideoFrameReading reading;
    const auto picture = zeta::platform::Picture::withData(data);
    if (!picture) return reading;
    std::shared_ptr<zeta::platform::BitmapImageRep> bitmap;
    for (const auto& rep : picture->representations()) {
        auto candidate = std::dynamic_pointer_cast<zeta::platform::BitmapImageRep>(rep);
        if (candidate && candidate->bitmapData()) {
            bitmap = std::move(candidate);
            break;
        }
    }
    if (!bitmap) return reading;
    FramePixels pixels;
    if (!pixelsOfBitmap(*bitmap, pixels) || bitmap->pixelsWide() <= 0 || bitmap->pixelsHigh() <= 0 ||
        bitmap->pixelsWide() > std::numeric_limits<std::uint32_t>::max() ||
        bitmap->pixelsHigh() > std::numeric_limits<std::uint32_t>::max()) {
        reading.status = VideoFrameReading::Status::UnsupportedBitmap;
        return reading;
    }
    VideoFrame& frame = reading.frame;
    frame.pixels = pixels;
    frame.width = static_cast<std::uint32_t>(bitmap->pixelsWide());
    frame.height = static_cast<std::uint32_t>(bitmap->pixelsHigh());
    frame.firstRow = bitmap->bitmapData();
    frame.bytesPerRow = static_cast<std::size_t>(bitmap->bytesPerRow());
    frame.owner = std::move(bitmap);
    reading.status = VideoFrameReading::Status::Frame;
    return reading;
}
