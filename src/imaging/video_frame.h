#pragma once
// A frame handed to a video writer, seen as its pixels: an INDIGO raw frame read straight
// from its header (imaging/raw_frame.h), or else the first bitmap that the platform's decoders make of the
// bytes (8-bit grey, 16-bit grey, 24-bit RGB, 32-bit RGB with alpha or filler first or last).
//
// Stateless: reads frames on any thread.

#include "platform/image/data.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// What became of a frame handed to a video writer's add().
enum class VideoFrameOutcome {
    Written,        // stored in the video
    Dropped,        // not stored (unreadable, unfit for this video, or not written); the writer goes on
    WriterUnusable, // not stored, and no frame of this run can be: save it, and the rest, another way
};

enum class FramePixels { Gray8, Gray16LE, BGR24, RGB24, ARGB32, RGBA32 };

int bytesPerPixel(FramePixels pixels);
// "8-bit grey", "16-bit grey", "BGR", "RGB", "ARGB", "RGBA", for log lines.
const char* framePixelsName(FramePixels pixels);

struct VideoFrame {
    FramePixels pixels = FramePixels::Gray8;
    bool raw = false; // an INDIGO raw frame, not a decoded image file
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const std::uint8_t* firstRow = nullptr;
    std::size_t bytesPerRow = 0;       // from the start of one row to the next
    std::shared_ptr<const void> owner; // keeps a decoded bitmap's pixels alive

    std::size_t rowBytes() const { return std::size_t(width) * std::size_t(bytesPerPixel(pixels)); }
    bool packed() const { return bytesPerRow == rowBytes(); }
    const std::uint8_t* row(std::uint32_t y) const { return firstRow + std::size_t(y) * bytesPerRow; }
};

struct VideoFrameReading {
    enum class Status {
        Frame,             // frame holds the pixels
        NotAnImage,        // no decoder takes the bytes, or none made a bitmap with pixels
        UnsupportedBitmap, // a decoded bitmap of a depth or layout the writers do not store
        MalformedRaw,      // a raw frame whose pixel bytes are not width x height x bytes per pixel
    };
    Status status = Status::NotAnImage;
    VideoFrame frame;
    std::string problem; // what is wrong with a malformed raw frame, for the log
};

// Reads the frame. A raw frame is one with a raw signature and more bytes than its header;
// its pixels are read in place (data must outlive the frame). Anything else is decoded.
VideoFrameReading readVideoFrame(const zeta::platform::Data& data);
