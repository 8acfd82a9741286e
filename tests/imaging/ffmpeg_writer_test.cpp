// The AVI and MOV writer's outcomes and messages; what its files hold is read by ffprobe in
// video_peer_test.cpp.

#include "imaging/ffmpeg_writer.h"

#include "video_test_support.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

using FfmpegWriterTest = VideoTest;

std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

} // namespace

TEST_F(FfmpegWriterTest, APathWithoutAContainerGivesNoWriter) {
    EXPECT_EQ(FFMPEG::initWith((folder / "IMG_001.xyz").string()), nullptr);
    EXPECT_EQ(messages(), std::vector<std::string>{"ffmpeg: avformat_alloc_output_context2 failed"});
}

TEST_F(FfmpegWriterTest, NothingIsWrittenBeforeTheFirstReadableFrame) {
    const auto path = folder / "IMG_001.mov";
    auto writer = FFMPEG::initWith(path.string());
    ASSERT_TRUE(writer);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(writer->add(zeta::platform::Data("not an image", 12)), VideoFrameOutcome::Dropped);
    EXPECT_EQ(writer->add(rawFrame("RAW1", 8, 4, patternBytes(31, 1))), VideoFrameOutcome::Dropped);
    EXPECT_EQ(writer->add(testBitmap(8, 4, 16, 3, 48, patternBytes(8 * 4 * 6, 1))), VideoFrameOutcome::Dropped);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(writer->opened());
    EXPECT_EQ(messages(),
              (std::vector<std::string>{
                  "ffmpeg: Frame dropped, raw frame of 8 x 4 8-bit grey carries 31 bytes of pixels instead of 32",
                  "Unsupported bitmap format"}));
    EXPECT_EQ(writer->add(rawFrame("RAW1", 8, 4, patternBytes(32, 1))), VideoFrameOutcome::Written);
    EXPECT_TRUE(writer->opened());
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(FfmpegWriterTest, SixteenBitGreyIntoAviLeavesTheRunToSingleFiles) {
    const auto path = folder / "IMG_001.avi";
    auto writer = FFMPEG::initWith(path.string());
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->add(rawFrame("RAW2", 8, 4, patternBytes(64, 1))), VideoFrameOutcome::WriterUnusable);
    // Every later frame is refused the same way, whatever it is.
    EXPECT_EQ(writer->add(rawFrame("RAW1", 8, 4, patternBytes(32, 1))), VideoFrameOutcome::WriterUnusable);
    writer->close();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(messages(), std::vector<std::string>{"ffmpeg: 16-bit grey frames cannot be stored readably in avi, " +
                                                   path.string() + " is not written"});
}

TEST_F(FfmpegWriterTest, AMissingFolderRefusesEveryFrameAndLeavesNothingOpen) {
    const auto path = folder / "missing" / "IMG_001.avi";
    const auto descriptors = openDescriptors();
    auto writer = FFMPEG::initWith(path.string());
    ASSERT_TRUE(writer);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(writer->add(rawFrame("RAW1", 8, 4, patternBytes(32, i))), VideoFrameOutcome::Dropped);
    EXPECT_EQ(messages(), std::vector<std::string>(3, "ffmpeg: Could not open file: " + std::to_string(-ENOENT)));
    writer->close();
    writer.reset();
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(FfmpegWriterTest, CloseIsIdempotentAndLaterFramesAreDropped) {
    const auto path = folder / "IMG_001.avi";
    auto writer = FFMPEG::initWith(path.string());
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->add(rawFrame("RAW1", 8, 4, patternBytes(32, 1))), VideoFrameOutcome::Written);
    writer->close();
    const auto closed = fileBytes(path);
    EXPECT_FALSE(closed.empty());
    EXPECT_EQ(writer->add(rawFrame("RAW1", 8, 4, patternBytes(32, 2))), VideoFrameOutcome::Dropped);
    writer->close();
    writer.reset();
    EXPECT_EQ(fileBytes(path), closed);
    EXPECT_EQ(messagesWith("is already closed"), 1);
}
