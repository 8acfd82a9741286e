// The SER writer, read back by the test's own small SER reader.

#include "imaging/ser_writer.h"

#include "video_test_support.h"

#include <csignal>
#include <ctime>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using SerWriterTest = VideoTest;

struct LayoutCase {
    const char* name;
    zeta::platform::Data frame;
    std::vector<std::uint8_t> stored; // the pixel bytes the file must hold
    std::int32_t colorID;
    std::uint32_t depth;
    std::uint32_t width, height;
};

std::vector<std::uint8_t> dropAlpha(const std::vector<std::uint8_t>& pixels, bool alphaFirst) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < pixels.size(); i += 4)
        out.insert(out.end(), pixels.begin() + static_cast<std::ptrdiff_t>(i + (alphaFirst ? 1 : 0)),
                   pixels.begin() + static_cast<std::ptrdiff_t>(i + (alphaFirst ? 4 : 3)));
    return out;
}

std::vector<LayoutCase> layoutCases(unsigned seed) {
    constexpr std::uint32_t w = 37, h = 23;
    const auto g8 = patternBytes(w * h, seed), g16 = patternBytes(w * h * 2, seed + 1),
               c24 = patternBytes(w * h * 3, seed + 2), c32 = patternBytes(w * h * 4, seed + 3);
    const auto jpeg = fileData("exif.jpg");
    return {
        {"RAW1", rawFrame("RAW1", w, h, g8), g8, 0, 8, w, h},
        {"RAW2", rawFrame("RAW2", w, h, g16), g16, 0, 16, w, h},
        {"RAW3", rawFrame("RAW3", w, h, c24), c24, 101, 8, w, h},
        {"JPEG", jpeg, decodedPixels(jpeg), 100, 8, 64, 48},
        {"grey 8", testBitmap(w, h, 8, 1, 8, g8), g8, 0, 8, w, h},
        {"grey 16", testBitmap(w, h, 16, 1, 16, g16), g16, 0, 16, w, h},
        {"RGBA", testBitmap(w, h, 8, 4, 32, c32, 0, true), dropAlpha(c32, false), 100, 8, w, h},
        {"ARGB", testBitmap(w, h, 8, 4, 32, c32, zeta::platform::BitmapFormatAlphaFirst, true), dropAlpha(c32, true),
         100, 8, w, h},
    };
}

} // namespace

TEST_F(SerWriterTest, EveryInputLayoutIsStoredWithItsHeader) {
    for (const auto& c : layoutCases(0)) {
        SCOPED_TRACE(c.name);
        const auto path = folder / (std::string(c.name) + ".ser");
        auto writer = SER::initWith(path);
        ASSERT_TRUE(writer);
        const auto second = layoutCases(7);
        const auto& next = *std::find_if(second.begin(), second.end(),
                                         [&](const LayoutCase& o) { return std::string(o.name) == c.name; });
        EXPECT_EQ(writer->add(c.frame), VideoFrameOutcome::Written);
        EXPECT_EQ(writer->add(next.frame), VideoFrameOutcome::Written);
        writer->close();

        const SerFile ser = readSer(path);
        ASSERT_TRUE(ser.valid);
        EXPECT_EQ(ser.fileID, "LUCAM-RECORDER");
        EXPECT_EQ(ser.luID, 0);
        EXPECT_EQ(ser.littleEndian, 0);
        EXPECT_EQ(ser.colorID, c.colorID);
        EXPECT_EQ(ser.depth, c.depth);
        EXPECT_EQ(ser.width, c.width);
        EXPECT_EQ(ser.height, c.height);
        EXPECT_EQ(ser.frameCount, 2u);
        EXPECT_TRUE(ser.textFieldsZero);
        ASSERT_EQ(ser.frames.size(), 2u);
        EXPECT_EQ(ser.trailingBytes, 0u);
        EXPECT_EQ(ser.frames[0], c.stored);
        EXPECT_EQ(ser.frames[1], next.stored);
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(SerWriterTest, ThreeRaw2FramesOf640x480) {
    const auto path = folder / "IMG_001.ser";
    auto writer = SER::initWith(path);
    ASSERT_TRUE(writer);
    for (unsigned i = 0; i < 3; ++i)
        writer->add(rawFrame("RAW2", 640, 480, patternBytes(640 * 480 * 2, i)));
    EXPECT_EQ(writer->frameCount(), 3u);
    writer->close();
    EXPECT_EQ(std::filesystem::file_size(path), 178u + 3u * 640u * 480u * 2u);
    const SerFile ser = readSer(path);
    EXPECT_EQ(ser.colorID, 0);
    EXPECT_EQ(ser.depth, 16u);
    EXPECT_EQ(ser.frameCount, 3u);
    EXPECT_EQ(ser.frames[2], patternBytes(640 * 480 * 2, 2));
}

TEST_F(SerWriterTest, ClosingWithoutFramesLeavesAValidHeaderStampedWithTheStart) {
    const auto path = folder / "empty.ser";
    const std::time_t before = std::time(nullptr);
    auto writer = SER::initWith(path);
    ASSERT_TRUE(writer);
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(std::filesystem::file_size(path), 0u); // nothing before the first frame
    writer->close();
    writer->close();
    EXPECT_EQ(std::filesystem::file_size(path), 178u);
    const SerFile ser = readSer(path);
    EXPECT_EQ(ser.fileID, "LUCAM-RECORDER");
    EXPECT_EQ(ser.width, 0u);
    EXPECT_EQ(ser.height, 0u);
    EXPECT_EQ(ser.depth, 0u);
    EXPECT_EQ(ser.frameCount, 0u);
    EXPECT_GE(ser.dateTimeUTC, SER::ticksOfUnixTime(before));
    EXPECT_LE(ser.dateTimeUTC, SER::ticksOfUnixTime(after));
    std::tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ(ser.dateTime - ser.dateTimeUTC, std::int64_t(local.tm_gmtoff) * 10000000);
    // 1970-01-01 is day 719162 of the format's clock.
    EXPECT_EQ(SER::ticksOfUnixTime(0), 719162LL * 86400 * 10000000);
}

TEST_F(SerWriterTest, FramesThatDoNotFitTheFirstAreDroppedAndLogged) {
    const auto path = folder / "mixed.ser";
    auto writer = SER::initWith(path);
    ASSERT_TRUE(writer);
    const auto first = patternBytes(16 * 8, 1);
    const auto last = patternBytes(16 * 8, 2);
    ASSERT_EQ(writer->add(rawFrame("RAW1", 16, 8, first)), VideoFrameOutcome::Written);
    struct Drop {
        const char* name;
        zeta::platform::Data frame;
        const char* line; // in the message log; null for none
    };
    const Drop drops[] = {
        {"larger", rawFrame("RAW1", 32, 8, patternBytes(32 * 8, 3)),
         "32 x 8 8-bit grey does not fit the video's 16 x 8 8-bit grey"},
        {"deeper", rawFrame("RAW2", 16, 8, patternBytes(16 * 8 * 2, 3)), "16-bit grey does not fit"},
        {"colour", rawFrame("RAW3", 16, 8, patternBytes(16 * 8 * 3, 3)), "16 x 8 BGR does not fit"},
        {"short raw", rawFrame("RAW1", 16, 8, patternBytes(16 * 8 - 1, 3)),
         "carries 127 bytes of pixels instead of 128"},
        {"long raw", rawFrame("RAW1", 16, 8, patternBytes(16 * 8 + 1, 3)),
         "carries 129 bytes of pixels instead of 128"},
        {"absurd raw", rawFrame("RAW3", 0xFFFFFFFF, 0xFFFFFFFF, patternBytes(5, 3)), "carries 5 bytes of pixels"},
        {"not an image", zeta::platform::Data("hello, world", 12), nullptr},
        {"raw header only", rawFrame("RAW1", 16, 8, {}), nullptr},
        {"48-bit", testBitmap(16, 8, 16, 3, 48, patternBytes(16 * 8 * 6, 3)), nullptr},
    };
    for (const auto& d : drops) {
        SCOPED_TRACE(d.name);
        const auto before = messages().size();
        EXPECT_EQ(writer->add(d.frame), VideoFrameOutcome::Dropped);
        if (d.line) {
            ASSERT_EQ(messages().size(), before + 1);
            EXPECT_NE(messages().back().find(d.line), std::string::npos) << messages().back();
            EXPECT_EQ(messages().back().rfind("SER: frame dropped, ", 0), 0u);
        } else {
            EXPECT_EQ(messages().size(), before);
        }
    }
    ASSERT_EQ(writer->add(rawFrame("RAW1", 16, 8, last)), VideoFrameOutcome::Written);
    writer->close();
    const SerFile ser = readSer(path);
    EXPECT_EQ(ser.frameCount, 2u);
    ASSERT_EQ(ser.frames.size(), 2u);
    EXPECT_EQ(ser.trailingBytes, 0u);
    EXPECT_EQ(ser.frames[0], first);
    EXPECT_EQ(ser.frames[1], last);
}

TEST_F(SerWriterTest, ColourOrderIsPartOfTheLayout) {
    // A decoded RGB bitmap and a 32-bit one share the stored layout; a BGR raw frame does not.
    auto writer = SER::initWith(folder / "colour.ser");
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->add(testBitmap(4, 2, 8, 3, 24, patternBytes(24, 1))), VideoFrameOutcome::Written);
    EXPECT_EQ(writer->add(testBitmap(4, 2, 8, 4, 32, patternBytes(32, 2), 0, true)), VideoFrameOutcome::Written);
    EXPECT_EQ(writer->add(rawFrame("RAW3", 4, 2, patternBytes(24, 3))), VideoFrameOutcome::Dropped);
    EXPECT_EQ(messagesWith("4 x 2 BGR does not fit the video's 4 x 2 RGB"), 1);
}

TEST_F(SerWriterTest, AnUnsupportedFirstBitmapLeavesTheNextFrameFirst) {
    const auto path = folder / "deep.ser";
    auto writer = SER::initWith(path);
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->add(testBitmap(8, 4, 16, 3, 48, patternBytes(8 * 4 * 6, 1))), VideoFrameOutcome::Dropped);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    const auto rgb = patternBytes(5 * 3 * 3, 2);
    EXPECT_EQ(writer->add(testBitmap(5, 3, 8, 3, 24, rgb)), VideoFrameOutcome::Written);
    writer->close();
    const SerFile ser = readSer(path);
    EXPECT_EQ(ser.width, 5u);
    EXPECT_EQ(ser.height, 3u);
    EXPECT_EQ(ser.colorID, 100);
    ASSERT_EQ(ser.frames.size(), 1u);
    EXPECT_EQ(ser.frames[0], rgb);
    // The platform log has that line, the user's log does not.
    EXPECT_TRUE(messages().empty());
}

TEST_F(SerWriterTest, BayerMaskLabelsGreyRawFramesOnly) {
    const struct {
        const char* name;
        std::optional<std::int32_t> mask;
        zeta::platform::Data frame;
        std::int32_t colorID;
    } cases[] = {
        {"no mask, RAW1", std::nullopt, rawFrame("RAW1", 4, 2, patternBytes(8, 1)), 0},
        {"RGGB, RAW1", std::int32_t(SERColorID::BAYER_RGGB), rawFrame("RAW1", 4, 2, patternBytes(8, 1)), 8},
        {"BGGR, RAW2", std::int32_t(SERColorID::BAYER_BGGR), rawFrame("RAW2", 4, 2, patternBytes(16, 1)), 11},
        {"RGGB, RAW3", std::int32_t(SERColorID::BAYER_RGGB), rawFrame("RAW3", 4, 2, patternBytes(24, 1)), 101},
        {"RGGB, decoded grey", std::int32_t(SERColorID::BAYER_RGGB), testBitmap(4, 2, 8, 1, 8, patternBytes(8, 1)), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = folder / "bayer.ser";
        auto writer = SER::initWith(path);
        ASSERT_TRUE(writer);
        writer->setBayerMask(c.mask);
        EXPECT_EQ(writer->add(c.frame), VideoFrameOutcome::Written);
        writer->close();
        EXPECT_EQ(readSer(path).colorID, c.colorID);
    }
}

TEST_F(SerWriterTest, AMissingFolderGivesNoWriter) {
    EXPECT_EQ(SER::initWith(folder / "missing" / "IMG_001.ser"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST_F(SerWriterTest, AFrameTheFileRefusesIsNotCountedNorLeftHalfWritten) {
    // The file may grow to the header, one frame and half of the next.
    constexpr std::size_t frameBytes = 64 * 32;
    const auto path = folder / "full.ser";
    auto writer = SER::initWith(path);
    ASSERT_TRUE(writer);
    const auto first = patternBytes(frameBytes, 1);
    const auto third = patternBytes(frameBytes, 3);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 178 + frameBytes + frameBytes / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto firstOutcome = writer->add(rawFrame("RAW1", 64, 32, first));
    const auto secondOutcome = writer->add(rawFrame("RAW1", 64, 32, patternBytes(frameBytes, 2)));
    const auto sizeAfterRefusal = std::filesystem::file_size(path);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(firstOutcome, VideoFrameOutcome::Written);
    EXPECT_EQ(secondOutcome, VideoFrameOutcome::Dropped);
    EXPECT_EQ(sizeAfterRefusal, 178 + frameBytes);
    EXPECT_EQ(messagesWith("SER: frame not written to " + path.string()), 1);
    EXPECT_EQ(writer->frameCount(), 1u);
    EXPECT_EQ(writer->add(rawFrame("RAW1", 64, 32, third)), VideoFrameOutcome::Written);
    writer->close();
    const SerFile ser = readSer(path);
    EXPECT_EQ(ser.frameCount, 2u);
    ASSERT_EQ(ser.frames.size(), 2u);
    EXPECT_EQ(ser.trailingBytes, 0u);
    EXPECT_EQ(ser.frames[0], first);
    EXPECT_EQ(ser.frames[1], third);
}

TEST_F(SerWriterTest, FramesAfterCloseAreDroppedAndTheFileStaysAsClosed) {
    const auto path = folder / "closed.ser";
    auto writer = SER::initWith(path);
    ASSERT_TRUE(writer);
    writer->add(rawFrame("RAW1", 4, 2, patternBytes(8, 1)));
    writer->close();
    const auto closed = fileBytes(path);
    EXPECT_EQ(writer->add(rawFrame("RAW1", 4, 2, patternBytes(8, 2))), VideoFrameOutcome::Dropped);
    EXPECT_FALSE(writer->writeHeader());
    writer->close();
    writer.reset();
    EXPECT_EQ(fileBytes(path), closed);
    EXPECT_EQ(messagesWith("is already closed"), 1);
}
