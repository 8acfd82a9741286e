#pragma once
// Writes the frames of one capture run into one AVI or MOV file (the container follows the
// path's extension) holding one uncompressed video stream at 5 frames per second, through
// the FFmpeg libraries. The stream, the encoder and the file are set up from the first
// readable frame, whose size and pixels fix the stream's; the frames written carry the time
// stamps 0, 1, 2 ... in the time base 1/5 s.
//
// Pixels are stored in a format the container's readers take back unchanged, converted
// without loss where the frame's own is not one:
//
//   frame              AVI      MOV
//   8-bit grey         gray     gray (read back through a grey palette)
//   16-bit grey        -        gray16be
//   "RAW3" BGR         bgr24    bgr24
//   24-bit RGB         bgr24    bgr24
//   ARGB               bgra     argb
//   RGBA               rgba     rgba
//
// With no such format ("-": 16-bit grey into AVI) the file is not created and add() answers
// WriterUnusable for that frame and every later one, so the caller saves the run another
// way; so it does when the encoder or stream cannot be made at all. A later frame whose size
// or stored format differs from the first is dropped, as is a raw frame whose pixel bytes
// are not what its header announces. Lines for the user begin "ffmpeg: "; a decoded bitmap
// of another depth (the 48-bit RGB of camera raw files) gives "Unsupported bitmap format";
// bytes that do not decode are dropped silently.
//
// A run that never closes (a crash, a kill) keeps every frame that add() wrote: each goes to
// the file before add() returns, MOV in fragments of one frame (readable without the index
// written at the end), AVI as chunks that readers find without the index of its end.
//
// Threads: add(), close() and the accessors may be called from any thread, also at once;
// close() waits for a frame being written and is idempotent. A frame added after close() is
// dropped. Decoding happens before the writer's lock is taken.

#include "imaging/video_frame.h"
#include "platform/image/data.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class FFMPEG {
public:
    static constexpr std::int64_t BIT_RATE = 5000000;
    static constexpr int STREAM_FRAME_RATE = 5;

    // Prepares the container chosen by the path's extension; writes nothing to disk. nullptr,
    // with "ffmpeg: avformat_alloc_output_context2 failed", when no container fits the path.
    static std::shared_ptr<FFMPEG> initWith(const std::string& path);
    // Finishes the file if close() has not.
    ~FFMPEG();
    FFMPEG(const FFMPEG&) = delete;
    FFMPEG& operator=(const FFMPEG&) = delete;

    VideoFrameOutcome add(const zeta::platform::Data& frame);
    // Writes the trailer when the header was written and releases everything; later calls do
    // nothing.
    void close();

    const std::string& fileName() const { return fileName_; }
    // The container header has been written: frames go into the file.
    bool opened() const;

private:
    struct Output;
    enum class SetUp { Done, Retry, Failed };

    explicit FFMPEG(std::string fileName);
    SetUp setUp(const VideoFrame& frame, int pixelFormat);
    VideoFrameOutcome write(const VideoFrame& frame);
    bool writePackets();
    bool flushFrame();

    const std::string fileName_;
    mutable std::mutex lock_;
    std::unique_ptr<Output> output_; // none after close, or once no container can be had
    bool firstFrame_ = true;         // set-up still to be done with the next readable frame
    bool opened_ = false;
    bool unusable_ = false; // no frame of this run can be written
    bool closed_ = false;
    // The stream's frames, fixed by the first one.
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    FramePixels pixels_ = FramePixels::Gray8;
    int pixelFormat_ = -1;
};
