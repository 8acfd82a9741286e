#pragma once
// Writes the frames of one capture run into one SER video: the 178-byte little-endian
// header beginning "LUCAM-RECORDER", then every stored frame's pixels back to back. The
// header is written when the first frame is stored and again, with the final frame count,
// on close. Its frame count is also brought up to date after every stored frame, so that a
// run that never closes (a crash, a kill) leaves a file whose header counts every whole
// frame in it; nothing follows the frames.
//
//   "RAW1" frame          -> ColorID bayerMask (none: MONO), 8 bits, pixels as received
//   "RAW2" frame          -> ColorID bayerMask (none: MONO), 16 bits, low byte first as received
//   "RAW3" frame          -> ColorID BGR, 8 bits, blue, green, red as received
//   decoded 8-bit grey    -> MONO, 8 bits
//   decoded 16-bit grey   -> MONO, 16 bits
//   decoded 24-bit RGB    -> RGB, 8 bits
//   decoded 32-bit RGB    -> RGB, 8 bits, the alpha or filler byte left out
//
// The first stored frame fixes width, height, depth and colour layout; a later frame that
// differs is dropped with a line in the message log (the format has one frame size
// throughout), as is a raw frame whose pixel bytes are not what its header announces, and a
// frame the file did not take (a full disk): the header's frame count is always the number
// of whole frames in the file. A decoded bitmap of another depth (the 48-bit RGB of camera
// raw files) is dropped with "Unsupported bitmap format" in the platform log; bytes that do
// not decode are dropped silently.
//
// Threads: add(), close() and the accessors may be called from any thread, also at once;
// close() waits for a frame being written and is idempotent. A frame added after close() is
// dropped. Decoding happens before the writer's lock is taken.

#include "imaging/video_frame.h"
#include "platform/image/data.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

// The colour ids of the SER format.
enum class SERColorID : std::int32_t {
    MONO = 0,
    BAYER_RGGB = 8,
    BAYER_GRBG = 9,
    BAYER_GBRG = 10,
    BAYER_BGGR = 11,
    BAYER_CYYM = 16,
    BAYER_YCMY = 17,
    BAYER_YMCY = 18,
    BAYER_MYYC = 19,
    RGB = 100,
    BGR = 101,
};

class SER {
public:
    static constexpr std::size_t kHeaderSize = 178;

    // Creates an empty file at the path (replacing one that is there), open for writing, and
    // stamps the recording's start; nullptr when the file cannot be created. Writes nothing yet.
    static std::shared_ptr<SER> initWith(const std::filesystem::path& path);
    // Closes the file if close() has not.
    ~SER();
    SER(const SER&) = delete;
    SER& operator=(const SER&) = delete;

    // Stores one frame as received (see the table above).
    VideoFrameOutcome add(const zeta::platform::Data& frame);
    // Writes the header with the final frame count and closes the file; later calls do nothing.
    void close();
    // Writes the 178 header bytes at the start of the file from the current fields; false when
    // the file did not take them or is closed.
    bool writeHeader();

    // The colour id written for "RAW1" and "RAW2" frames; none writes MONO.
    std::optional<std::int32_t> bayerMask() const;
    void setBayerMask(std::optional<std::int32_t> mask);

    const std::filesystem::path& path() const { return path_; }
    std::uint32_t frameCount() const;

    // 100-nanosecond ticks from 0001-01-01 (the format's clock) of a time in seconds since 1970.
    static std::int64_t ticksOfUnixTime(std::int64_t seconds);

private:
    SER(std::filesystem::path path, int fd);
    bool writeHeaderLocked();

    const std::filesystem::path path_;
    mutable std::mutex lock_;
    int fd_ = -1; // -1 once closed
    std::int32_t luID_ = 0;
    std::int32_t colorID_ = std::int32_t(SERColorID::MONO);
    std::int32_t littleEndian_ = 0;
    std::uint32_t imageWidth_ = 0;
    std::uint32_t imageHeight_ = 0;
    std::uint32_t pixelDepthPerPlane_ = 0;
    std::uint32_t frameCount_ = 0;
    std::int64_t dateTime_ = 0;
    std::int64_t dateTimeUTC_ = 0;
    std::optional<std::int32_t> bayerMask_;
    // Bytes per stored pixel of the file's frames, 0 until the first frame fixed them.
    std::uint32_t storedBytesPerPixel_ = 0;
};
