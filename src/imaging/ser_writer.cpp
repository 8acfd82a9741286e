#include "imaging/ser_writer.h"

#include "imaging/video_log.h"
#include "platform/image/buffer.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::size_t kFrameCountOffset = 38;
// Seconds from 0001-01-01 to 1970-01-01 in the proleptic Gregorian calendar.
constexpr std::int64_t kSecondsBeforeUnixEpoch = 62135596800;

// The local time zone's offset from UTC in ticks, daylight saving included; taken once per
// process, when the first writer is made.
std::int64_t localTimeOffset() {
    static const std::int64_t offset = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        if (!localtime_r(&now, &local)) return std::int64_t(0);
        return std::int64_t(local.tm_gmtoff) * kTicksPerSecond;
    }();
    return offset;
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t length, off_t offset) {
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, bytes, length, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

void putLE(std::uint8_t* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// How a frame lies in the file.
struct StoredLayout {
    std::uint32_t width = 0, height = 0;
    std::uint32_t depth = 8;         // bits per sample
    std::uint32_t bytesPerPixel = 1; // 1 or 2 for grey, 3 for colour
    std::int32_t colorID = 0;

    bool colour() const { return bytesPerPixel == 3; }
};

std::string describe(std::uint32_t width, std::uint32_t height, std::uint32_t bytesPerPixel, std::uint32_t depth,
                     std::int32_t colorID) {
    std::string text = std::to_string(width) + " x " + std::to_string(height) + " ";
    if (bytesPerPixel == 3) return text + (colorID == std::int32_t(SERColorID::BGR) ? "BGR" : "RGB");
    return text + std::to_string(depth) + "-bit grey";
}

std::string errorText() {
    return std::strerror(errno);
}

// How the frame is stored: its size, depth and colour id (a raw grey frame takes the run's
// Bayer mask, if any).
StoredLayout layoutOf(const VideoFrame& frame, const std::optional<std::int32_t>& bayerMask) {
    StoredLayout layout;
    layout.width = frame.width;
    layout.height = frame.height;
    switch (frame.pixels) {
    case FramePixels::Gray8:
    case FramePixels::Gray16LE:
        layout.bytesPerPixel = frame.pixels == FramePixels::Gray8 ? 1 : 2;
        layout.depth = 8 * layout.bytesPerPixel;
        layout.colorID =
            frame.raw ? bayerMask.value_or(std::int32_t(SERColorID::MONO)) : std::int32_t(SERColorID::MONO);
        break;
    case FramePixels::BGR24:
        layout.bytesPerPixel = 3;
        layout.colorID = std::int32_t(SERColorID::BGR);
        break;
    case FramePixels::RGB24:
    case FramePixels::ARGB32:
    case FramePixels::RGBA32:
        layout.bytesPerPixel = 3;
        layout.colorID = std::int32_t(SERColorID::RGB);
        break;
    }

    return layout;
}

// Writes the frame's pixels at the offset, without alpha and without row padding.
bool writeFrame(int fd, const VideoFrame& frame, std::size_t frameBytes, off_t offset) {
    if (frame.pixels == FramePixels::ARGB32 || frame.pixels == FramePixels::RGBA32) {
        // The colour bytes without alpha, assembled and written in one piece.
        const std::size_t skip = frame.pixels == FramePixels::ARGB32 ? 1 : 0;
        zeta::platform::Buffer buffer = zeta::platform::allocateBuffer(frameBytes);
        std::uint8_t* out = buffer.get();
        for (std::uint32_t y = 0; y < frame.height; ++y) {
            const std::uint8_t* in = frame.row(y) + skip;
            for (std::uint32_t x = 0; x < frame.width; ++x, in += 4, out += 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
        }
        return writeAll(fd, buffer.get(), frameBytes, offset);
    }
    if (frame.packed()) return writeAll(fd, frame.firstRow, frameBytes, offset);
    const std::size_t rowBytes = frame.rowBytes();
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        if (!writeAll(fd, frame.row(y), rowBytes, offset + static_cast<off_t>(y * rowBytes))) return false;
    }
    return true;
}

} // namespace

std::int64_t SER::ticksOfUnixTime(std::int64_t seconds) {
    return (seconds + kSecondsBeforeUnixEpoch) * kTicksPerSecond;
}

std::shared_ptr<SER> SER::initWith(const std::filesystem::path& path) {
    const std::int64_t offset = localTimeOffset();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::shared_ptr<SER> writer(new SER(path, fd));
    writer->dateTimeUTC_ = ticksOfUnixTime(std::time(nullptr));
    writer->dateTime_ = writer->dateTimeUTC_ + offset;
    return writer;
}

SER::SER(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}

SER::~SER() {
    close();
}

std::optional<std::int32_t> SER::bayerMask() const {
    std::lock_guard guard(lock_);
    return bayerMask_;
}

void SER::setBayerMask(std::optional<std::int32_t> mask) {
    std::lock_guard guard(lock_);
    bayerMask_ = mask;
}

std::uint32_t SER::frameCount() const {
    std::lock_guard guard(lock_);
    return frameCount_;
}

bool SER::writeHeader() {
    std::lock_guard guard(lock_);
    return writeHeaderLocked();
}

bool SER::writeHeaderLocked() {
    if (fd_ < 0) return false;
    std::array<std::uint8_t, kHeaderSize> header{};
    std::memcpy(header.data(), "LUCAM-RECORDER", 14);
    putLE(&header[14], static_cast<std::uint32_t>(luID_), 4);
    putLE(&header[18], static_cast<std::uint32_t>(colorID_), 4);
    putLE(&header[22], static_cast<std::uint32_t>(littleEndian_), 4);
    putLE(&header[26], imageWidth_, 4);
    putLE(&header[30], imageHeight_, 4);
    putLE(&header[34], pixelDepthPerPlane_, 4);
    putLE(&header[kFrameCountOffset], frameCount_, 4);
    // Observer, Instrument and Telescope stay zero.
    putLE(&header[162], static_cast<std::uint64_t>(dateTime_), 8);
    putLE(&header[170], static_cast<std::uint64_t>(dateTimeUTC_), 8);
    return writeAll(fd_, header.data(), header.size(), 0);
}

VideoFrameOutcome SER::add(const zeta::platform::Data& data) {
    const VideoFrameReading reading = readVideoFrame(data);
    switch (reading.status) {
    case VideoFrameReading::Status::Frame:
        break;
    case VideoFrameReading::Status::NotAnImage:
        return VideoFrameOutcome::Dropped;
    case VideoFrameReading::Status::UnsupportedBitmap:
        zeta::imaging::video::logSystem("Unsupported bitmap format");
        return VideoFrameOutcome::Dropped;
    case VideoFrameReading::Status::MalformedRaw:
        zeta::imaging::video::logMessage("SER: frame dropped, " + reading.problem);
        return VideoFrameOutcome::Dropped;
    }
    const VideoFrame& frame = reading.frame;

    std::lock_guard guard(lock_);
    if (fd_ < 0) {
        zeta::imaging::video::logMessage("SER: frame dropped, " + path_.string() + " is already closed");
        return VideoFrameOutcome::Dropped;
    }

    const StoredLayout layout = layoutOf(frame, bayerMask_);
    const bool first = frameCount_ == 0;
    if (!first) {
        const bool fits = layout.width == imageWidth_ && layout.height == imageHeight_ &&
                          layout.depth == pixelDepthPerPlane_ && layout.bytesPerPixel == storedBytesPerPixel_ &&
                          (!layout.colour() || layout.colorID == colorID_);
        if (!fits) {
            zeta::imaging::video::logMessage(
                "SER: frame dropped, " +
                describe(layout.width, layout.height, layout.bytesPerPixel, layout.depth, layout.colorID) +
                " does not fit the video's " +
                describe(imageWidth_, imageHeight_, storedBytesPerPixel_, pixelDepthPerPlane_, colorID_));
            return VideoFrameOutcome::Dropped;
        }
    }
    // Raw grey frames label the file with the run's colour id; decoded bitmaps only the first time.
    if (first || (frame.raw && !layout.colour())) colorID_ = layout.colorID;
    if (first) {
        imageWidth_ = layout.width;
        imageHeight_ = layout.height;
        pixelDepthPerPlane_ = layout.depth;
        storedBytesPerPixel_ = layout.bytesPerPixel;
        if (!writeHeaderLocked()) {
            zeta::imaging::video::logMessage("SER: frame not written, the header of " + path_.string() +
                                             " was refused: " + errorText());
            return VideoFrameOutcome::Dropped;
        }
    }

    const std::size_t frameBytes = std::size_t(layout.width) * layout.height * layout.bytesPerPixel;
    const off_t offset = static_cast<off_t>(kHeaderSize + std::uint64_t(frameCount_) * frameBytes);
    const bool written = writeFrame(fd_, frame, frameBytes, offset);
    if (!written) {
        const std::string reason = errorText();
        // Cut off what part of the frame got in. Should that fail too, the next frame overwrites
        // it, and readers go by the header's frame count.
        (void)!::ftruncate(fd_, offset);
        zeta::imaging::video::logMessage("SER: frame not written to " + path_.string() + ": " + reason);
        return VideoFrameOutcome::Dropped;
    }
    ++frameCount_;
    // The count on disk follows every frame, so that a run cut short by a crash or a kill
    // leaves a file whose header counts every whole frame in it. The frame went in first: the
    // count never covers bytes that are not there.
    std::uint8_t count[4];
    putLE(count, frameCount_, 4);
    if (!writeAll(fd_, count, sizeof count, static_cast<off_t>(kFrameCountOffset)))
        zeta::imaging::video::logMessage("SER: the frame count of " + path_.string() +
                                         " was not updated: " + errorText());
    return VideoFrameOutcome::Written;
}

void SER::close() {
    std::lock_guard guard(lock_);
    if (fd_ < 0) return;
    if (!writeHeaderLocked())
        zeta::imaging::video::logMessage("SER: the final header of " + path_.string() +
                                         " was not written: " + errorText());
    if (::close(fd_) != 0)
        zeta::imaging::video::logMessage("SER: closing " + path_.string() + " failed: " + errorText());
    fd_ = -1;
}
