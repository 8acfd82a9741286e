// Videos written by Zeta, read back by FFmpeg's own command-line tools: ffprobe for the
// stream's geometry, pixel format and frame count, and "ffmpeg -f framemd5" for the bytes of
// every decoded frame, converted to the source frame's own layout.

#include "imaging/ffmpeg_writer.h"
#include "imaging/ser_writer.h"
#include "killed_run_frames.h"
#include "support/command.h"
#include "support/eventually.h"
#include "support/process.h"
#include "video_probe.h"
#include "video_test_support.h"

#include <QCryptographicHash>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

using VideoPeerTest = VideoTest;

using test_support::commandOutput;

struct DecodedFrame {
    long long pts = 0;
    std::string md5;
};

// Every frame as FFmpeg decodes it, converted to the pixel format given.
std::vector<DecodedFrame> frameMd5(const std::filesystem::path& path, const char* pixelFormat) {
    const auto out = commandOutput(std::string("ffmpeg -v error -i '") + path.string() +
                                   "' -map 0:v:0 -f framemd5 -pix_fmt " + pixelFormat + " - 2>/dev/null");
    std::vector<DecodedFrame> frames;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string part; std::getline(parts, part, ',');)
            fields.push_back(part.substr(part.find_first_not_of(' ')));
        if (fields.size() == 6) frames.push_back({std::stoll(fields[1]), fields[5]});
    }
    return frames;
}

std::string md5(const std::vector<std::uint8_t>& bytes) {
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

// One accepted input layout: how to make frame i, its pixels in the layout FFmpeg is asked
// to convert the decoded frames to, and the stream's pixel format in each container.
struct Layout {
    const char* name;
    std::function<zeta::platform::Data(unsigned)> frame;
    std::function<std::vector<std::uint8_t>(unsigned)> expected;
    const char* compareAs;      // -pix_fmt for framemd5
    const char* aviPixelFormat; // nullptr: not written into AVI
    const char* movPixelFormat;
    const char* movCompareAs = nullptr; // when MOV's differs
    std::function<std::vector<std::uint8_t>(unsigned)> movExpected = nullptr;
};

constexpr std::uint32_t W = 37, H = 23; // odd widths catch row padding

std::vector<std::uint8_t> tripled(const std::vector<std::uint8_t>& grey) {
    std::vector<std::uint8_t> rgb;
    for (auto g : grey)
        rgb.insert(rgb.end(), {g, g, g});
    return rgb;
}

std::vector<Layout> layouts() {
    const auto jpeg = fileData("exif.jpg");
    return {
        {"RAW1", [](unsigned i) { return rawFrame("RAW1", W, H, patternBytes(W * H, i)); },
         [](unsigned i) { return patternBytes(W * H, i); }, "gray", "gray", "pal8", "rgb24",
         [](unsigned i) {
             return tripled(patternBytes(W * H, i));
         }},
        {"RAW2", [](unsigned i) { return rawFrame("RAW2", W, H, patternBytes(W * H * 2, i)); },
         [](unsigned i) { return patternBytes(W * H * 2, i); }, "gray16le", nullptr, "gray16be"},
        {"RAW3", [](unsigned i) { return rawFrame("RAW3", W, H, patternBytes(W * H * 3, i)); },
         [](unsigned i) { return patternBytes(W * H * 3, i); }, "bgr24", "bgr24", "bgr24"},
        {"JPEG", [jpeg](unsigned) { return jpeg; }, [jpeg](unsigned) { return decodedPixels(jpeg); }, "rgb24", "bgr24",
         "bgr24"},
        {"RGBA", [](unsigned i) { return testBitmap(W, H, 8, 4, 32, patternBytes(W * H * 4, i), 0, true); },
         [](unsigned i) { return patternBytes(W * H * 4, i); }, "rgba", "rgba", "rgba"},
        {"ARGB",
         [](unsigned i) {
             return testBitmap(W, H, 8, 4, 32, patternBytes(W * H * 4, i), zeta::platform::BitmapFormatAlphaFirst,
                               true);
         },
         [](unsigned i) { return patternBytes(W * H * 4, i); }, "argb", "bgra", "argb"},
    };
}

} // namespace

TEST_F(VideoPeerTest, EveryLayoutReadsBackUnchangedFromAviAndMov) {
    for (const auto& layout : layouts()) {
        for (const std::string container : {"avi", "mov"}) {
            const bool mov = container == "mov";
            const char* pixelFormat = mov ? layout.movPixelFormat : layout.aviPixelFormat;
            if (!pixelFormat) continue;
            SCOPED_TRACE(std::string(layout.name) + " into " + container);
            const auto path = folder / (std::string(layout.name) + "_001." + container);
            auto writer = FFMPEG::initWith(path.string());
            ASSERT_TRUE(writer);
            for (unsigned i = 0; i < 3; ++i)
                EXPECT_EQ(writer->add(layout.frame(i)), VideoFrameOutcome::Written);
            writer->close();

            const auto first = zeta::platform::Picture::withData(layout.frame(0));
            auto fields = probe(path);
            EXPECT_EQ(fields["codec_name"], "rawvideo");
            EXPECT_EQ(fields["width"], std::to_string(first->firstBitmapImageRep()->pixelsWide()));
            EXPECT_EQ(fields["height"], std::to_string(first->firstBitmapImageRep()->pixelsHigh()));
            EXPECT_EQ(fields["pix_fmt"], pixelFormat);
            EXPECT_EQ(fields["nb_read_frames"], "3");

            const bool movOwn = mov && layout.movCompareAs;
            const auto decoded = frameMd5(path, movOwn ? layout.movCompareAs : layout.compareAs);
            ASSERT_EQ(decoded.size(), 3u);
            for (unsigned i = 0; i < 3; ++i)
                EXPECT_EQ(decoded[i].md5, md5(movOwn ? layout.movExpected(i) : layout.expected(i))) << "frame " << i;
        }
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(VideoPeerTest, ThreeRaw1FramesOf640x480IntoAvi) {
    const auto path = folder / "IMG_001.avi";
    auto writer = FFMPEG::initWith(path.string());
    ASSERT_TRUE(writer);
    for (unsigned i = 0; i < 3; ++i)
        writer->add(rawFrame("RAW1", 640, 480, patternBytes(640 * 480, i)));
    writer->close();
    auto fields = probe(path);
    EXPECT_EQ(fields["width"], "640");
    EXPECT_EQ(fields["height"], "480");
    EXPECT_EQ(fields["pix_fmt"], "gray");
    EXPECT_EQ(fields["time_base"], "1/5");
    EXPECT_EQ(fields["nb_read_frames"], "3");
    // One frame per period from time 0, nothing put in front.
    const auto decoded = frameMd5(path, "gray");
    ASSERT_EQ(decoded.size(), 3u);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(decoded[i].pts, i);
        EXPECT_EQ(decoded[i].md5, md5(patternBytes(640 * 480, i)));
    }
}

TEST_F(VideoPeerTest, FramesThatDoNotFitTheFirstAreLeftOut) {
    for (const std::string container : {"avi", "mov"}) {
        SCOPED_TRACE(container);
        const auto path = folder / ("mixed." + container);
        auto writer = FFMPEG::initWith(path.string());
        ASSERT_TRUE(writer);
        EXPECT_EQ(writer->add(zeta::platform::Data("not an image", 12)), VideoFrameOutcome::Dropped);
        EXPECT_EQ(writer->add(rawFrame("RAW1", 16, 8, patternBytes(128, 1))), VideoFrameOutcome::Written);
        EXPECT_EQ(writer->add(rawFrame("RAW1", 32, 16, patternBytes(512, 2))), VideoFrameOutcome::Dropped);
        EXPECT_EQ(writer->add(rawFrame("RAW2", 16, 8, patternBytes(256, 2))), VideoFrameOutcome::Dropped);
        EXPECT_EQ(writer->add(rawFrame("RAW1", 16, 8, patternBytes(200, 2))), VideoFrameOutcome::Dropped);
        EXPECT_EQ(writer->add(rawFrame("RAW1", 16, 8, patternBytes(128, 3))), VideoFrameOutcome::Written);
        writer->close();
        const auto decoded = frameMd5(path, container == "mov" ? "rgb24" : "gray");
        ASSERT_EQ(decoded.size(), 2u);
        EXPECT_EQ(decoded[0].md5, md5(container == "mov" ? tripled(patternBytes(128, 1)) : patternBytes(128, 1)));
        EXPECT_EQ(decoded[1].md5, md5(container == "mov" ? tripled(patternBytes(128, 3)) : patternBytes(128, 3)));
    }
    EXPECT_EQ(messagesWith("ffmpeg: Frame dropped, 32 x 16 8-bit grey does not fit the video's 16 x 8 8-bit grey"), 2);
    EXPECT_EQ(messagesWith("ffmpeg: Frame dropped, 16 x 8 16-bit grey does not fit the video's 16 x 8 8-bit grey"), 2);
    EXPECT_EQ(messagesWith("carries 200 bytes of pixels instead of 128"), 2);
}

TEST_F(VideoPeerTest, SerGeometryAndCountAsFfprobeReadsThem) {
    const struct {
        const char* name;
        std::function<zeta::platform::Data(unsigned)> frame;
        const char* pixelFormat;
        std::uint32_t width, height;
    } cases[] = {
        {"RAW1", [](unsigned i) { return rawFrame("RAW1", W, H, patternBytes(W * H, i)); }, "gray", W, H},
        // The file says big-endian (LittleEndian 0) while its samples are little-endian.
        {"RAW2", [](unsigned i) { return rawFrame("RAW2", W, H, patternBytes(W * H * 2, i)); }, "gray16be", W, H},
        {"RAW3", [](unsigned i) { return rawFrame("RAW3", W, H, patternBytes(W * H * 3, i)); }, "bgr24", W, H},
        {"JPEG", [](unsigned) { return fileData("exif.jpg"); }, "rgb24", 64, 48},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = folder / (std::string(c.name) + ".ser");
        auto writer = SER::initWith(path);
        ASSERT_TRUE(writer);
        for (unsigned i = 0; i < 4; ++i)
            writer->add(c.frame(i));
        writer->close();
        auto fields = probe(path);
        EXPECT_EQ(fields["width"], std::to_string(c.width));
        EXPECT_EQ(fields["height"], std::to_string(c.height));
        EXPECT_EQ(fields["pix_fmt"], c.pixelFormat);
        EXPECT_EQ(fields["nb_read_frames"], "4");
    }
}

TEST_F(VideoPeerTest, ASetUpTriedAgainStartsOnAFreshContainer) {
    // The container refuses a 70000-pixel-wide stream when its header is written; the next
    // frame sets the file up anew, without the first attempt's stream.
    for (const std::string container : {"avi", "mov"}) {
        SCOPED_TRACE(container);
        const auto path = folder / ("retry." + container);
        auto writer = FFMPEG::initWith(path.string());
        ASSERT_TRUE(writer);
        EXPECT_EQ(writer->add(rawFrame("RAW1", 70000, 1, patternBytes(70000, 1))), VideoFrameOutcome::Dropped);
        EXPECT_EQ(writer->add(rawFrame("RAW1", 16, 8, patternBytes(128, 2))), VideoFrameOutcome::Written);
        EXPECT_EQ(writer->add(rawFrame("RAW1", 16, 8, patternBytes(128, 3))), VideoFrameOutcome::Written);
        writer->close();
        EXPECT_EQ(commandOutput("ffprobe -v error -show_entries format=nb_streams -of csv=p=0 '" + path.string() + "'"),
                  "1\n");
        auto fields = probe(path);
        EXPECT_EQ(fields["width"], "16");
        EXPECT_EQ(fields["nb_read_frames"], "2");
    }
    EXPECT_EQ(messagesWith("ffmpeg: Could not write header: " + std::to_string(-EINVAL)), 2);
}

TEST_F(VideoPeerTest, ARunKilledMidwayKeepsEveryFrameItWrote) {
    // A writer process stores five small frames, far less than a write buffer, and is killed
    // with its video still open: nothing that ends a run well (header, index, trailer) runs.
    constexpr unsigned kFrames = 5;
    for (const std::string container : {"ser", "avi", "mov"}) {
        SCOPED_TRACE(container);
        const auto path = folder / ("killed." + container);
        const auto said = folder / ("killed_" + container + ".out");
        {
            test_support::Process writer({VIDEO_RUN_WRITER_PATH, path.string(), std::to_string(kFrames)}, {},
                                         said.string());
            ASSERT_TRUE(test_support::eventually([&] {
                const auto text = fileBytes(said);
                return std::string(text.begin(), text.end()) == "written " + std::to_string(kFrames) + "\n";
            }));
            writer.signal(SIGKILL);
            const int status = writer.wait();
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        }

        auto fields = probe(path);
        EXPECT_EQ(fields["width"], std::to_string(killed_run::kWidth));
        EXPECT_EQ(fields["height"], std::to_string(killed_run::kHeight));
        EXPECT_EQ(fields["pix_fmt"], "bgr24");
        EXPECT_EQ(fields["nb_read_frames"], std::to_string(kFrames));
        const auto decoded = frameMd5(path, "bgr24");
        ASSERT_EQ(decoded.size(), kFrames);
        for (unsigned i = 0; i < kFrames; ++i)
            EXPECT_EQ(decoded[i].md5, md5(killed_run::pixels(i))) << "frame " << i;

        if (container == "ser") {
            // A reader that goes by the header's count, as most do, finds every frame.
            const SerFile ser = readSer(path);
            ASSERT_TRUE(ser.valid);
            EXPECT_EQ(ser.frameCount, kFrames);
            ASSERT_EQ(ser.frames.size(), kFrames);
            EXPECT_EQ(ser.trailingBytes, 0u);
            for (unsigned i = 0; i < kFrames; ++i)
                EXPECT_EQ(ser.frames[i], killed_run::pixels(i)) << "frame " << i;
        }
    }
}
