// A run aborted from the main thread closes its video while the bus thread is still adding a
// frame. Run under ThreadSanitizer these find unguarded sharing; the files must come out whole.

#include "imaging/ffmpeg_writer.h"
#include "imaging/ser_writer.h"
#include "video_test_support.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using VideoThreadsTest = VideoTest;

constexpr std::uint32_t W = 96, H = 64;

// Adds frames until the writer refuses one; returns how many it took.
template <class Writer>
unsigned addUntilClosed(Writer& writer, std::atomic<bool>& started) {
    unsigned written = 0;
    for (unsigned i = 0; i < 100000; ++i) {
        const auto outcome = writer.add(rawFrame("RAW1", W, H, patternBytes(W * H, i % 4)));
        started = true;
        if (outcome != VideoFrameOutcome::Written) break;
        ++written;
    }
    return written;
}

// Closes from two threads at once while a third adds.
template <class Writer>
unsigned closeWhileAdding(const std::shared_ptr<Writer>& writer, int iteration) {
    std::atomic<bool> started = false;
    unsigned written = 0;
    std::thread adder([&] { written = addUntilClosed(*writer, started); });
    while (!started)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::microseconds(200 * (iteration % 5)));
    std::thread closer([&] { writer->close(); });
    writer->close();
    closer.join();
    adder.join();
    return written;
}

std::uint32_t aviTotalFrames(const std::filesystem::path& path) {
    const auto bytes = fileBytes(path);
    if (bytes.size() < 52 || std::memcmp(bytes.data() + 24, "avih", 4) != 0) return ~0u;
    return std::uint32_t(bytes[48]) | std::uint32_t(bytes[49]) << 8 | std::uint32_t(bytes[50]) << 16 |
           std::uint32_t(bytes[51]) << 24;
}

} // namespace

TEST_F(VideoThreadsTest, SerClosedWhileAFrameIsAdded) {
    for (int iteration = 0; iteration < 10; ++iteration) {
        const auto path = folder / ("run_" + std::to_string(iteration) + ".ser");
        auto writer = SER::initWith(path);
        ASSERT_TRUE(writer);
        const unsigned written = closeWhileAdding(writer, iteration);
        writer.reset();
        const SerFile ser = readSer(path);
        ASSERT_TRUE(ser.valid);
        EXPECT_EQ(ser.frameCount, written);
        EXPECT_EQ(ser.frames.size(), written);
        EXPECT_EQ(ser.trailingBytes, 0u);
        for (unsigned i = 0; i < ser.frames.size(); ++i)
            ASSERT_EQ(ser.frames[i], patternBytes(W * H, i % 4)) << i;
    }
}

TEST_F(VideoThreadsTest, AviClosedWhileAFrameIsAdded) {
    for (int iteration = 0; iteration < 10; ++iteration) {
        const auto path = folder / ("run_" + std::to_string(iteration) + ".avi");
        auto writer = FFMPEG::initWith(path.string());
        ASSERT_TRUE(writer);
        const unsigned written = closeWhileAdding(writer, iteration);
        writer.reset();
        if (written > 0) {
            EXPECT_EQ(aviTotalFrames(path), written);
        }
    }
}
