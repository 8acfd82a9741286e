// Runs saved as one video, read back by FFmpeg's own tools: ffprobe for the stream and
// "ffmpeg -f framemd5" for every frame's pixels.

#include "batch_test_support.h"
#include "support/command.h"
#include "video_probe.h"
#include "video_test_support.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <map>
#include <sstream>

namespace {

using test_support::commandOutput;

std::vector<std::string> frameMd5(const std::filesystem::path& path, const char* pixelFormat) {
    const auto out = commandOutput("ffmpeg -v error -i '" + path.string() + "' -map 0:v:0 -f framemd5 -pix_fmt " +
                                   pixelFormat + " - 2>/dev/null");
    std::vector<std::string> sums;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto comma = line.rfind(',');
        if (comma != std::string::npos) sums.push_back(line.substr(line.find_first_not_of(' ', comma + 1)));
    }
    return sums;
}

std::string md5(const std::vector<std::uint8_t>& bytes) {
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

zeta::platform::Data jpegFrame(int seed) {
    QImage picture(48, 32, QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 5 + seed * 40) & 255, (y * 7 + seed * 11) & 255, (x * y + seed) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG", 90);
    return zeta::platform::Data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

constexpr std::uint32_t W = 40, H = 30;

TEST_F(BatchTest, RawFramesToSerTakeTheNextFreeNumber) {
    std::ofstream(folder / "IMG_001.ser") << "one";
    std::ofstream(folder / "IMG_002.ser") << "two";
    controller->setOutputFormat("SER");
    controller->open();
    EXPECT_TRUE(controller->hasVideo());
    std::vector<zeta::platform::Data> frames;
    for (unsigned i = 0; i < 3; ++i) {
        frames.push_back(rawFrame(2, W, H, i));
        save(frames.back(), ".raw");
    }
    controller->close();
    controller->close(); // a second close does nothing
    settle();
    const auto video = folder / "IMG_003.ser";
    EXPECT_EQ(std::filesystem::file_size(video), 178u + 3u * W * H * 2u);
    EXPECT_EQ(fileText(folder / "IMG_001.ser"), "one");
    const auto ser = readSer(video);
    ASSERT_TRUE(ser.valid);
    EXPECT_EQ(ser.colorID, 0);
    ASSERT_EQ(ser.frames.size(), 3u);
    EXPECT_TRUE(std::equal(ser.frames[2].begin(), ser.frames[2].end(), frames[2].bytes() + 12));
    const auto fields = probe(video);
    EXPECT_EQ(fields.at("width"), std::to_string(W));
    EXPECT_EQ(fields.at("height"), std::to_string(H));
    // FFmpeg reads the format's little-endian flag the other way round.
    EXPECT_EQ(fields.at("pix_fmt"), "gray16be");
    EXPECT_EQ(fields.at("nb_read_frames"), "3");
    // Frames in a video are not listed.
    EXPECT_TRUE(controller->images().empty());
    EXPECT_FALSE(view.previous || view.reveal || view.next);
    EXPECT_EQ(controller->index(), 3);
}

TEST_F(BatchTest, SixteenBitGreyIntoAviFallsBackToNumberedFiles) {
    controller->setOutputFormat("AVI");
    controller->open();
    std::vector<zeta::platform::Data> frames;
    for (unsigned i = 0; i < 3; ++i) {
        frames.push_back(rawFrame(2, W, H, i));
        save(frames.back(), ".raw");
    }
    controller->close();
    settle();
    EXPECT_EQ(filesInFolder(), (std::vector<std::string>{"IMG_001.raw", "IMG_002.raw", "IMG_003.raw"}));
    EXPECT_EQ(linesWith("saving frames as numbered files"), 1);
    EXPECT_EQ(linesWith("Video " + (folder / "IMG_001.avi").string()), 1);
    const auto third = fileBytes(folder / "IMG_003.raw");
    EXPECT_TRUE(third.size() == frames[2].length() && std::equal(third.begin(), third.end(), frames[2].bytes()));
    EXPECT_EQ(controller->images().size(), 3u);
}

TEST_F(BatchTest, JpegFramesToMovReadBackFrameIdentical) {
    controller->setOutputFormat("MOV");
    controller->open();
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        const auto jpeg = jpegFrame(i);
        expected.push_back(md5(decodedPixels(jpeg)));
        save(jpeg, ".jpeg");
    }
    controller->close();
    settle();
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"IMG_001.mov"});
    EXPECT_EQ(frameMd5(folder / "IMG_001.mov", "rgb24"), expected);
    EXPECT_EQ(probe(folder / "IMG_001.mov").at("nb_read_frames"), "3");
}

TEST_F(BatchTest, LowerCaseOrUnknownFormatsSaveFiles) {
    for (const char* format : {"avi", "FITS", "MPEG"}) {
        SCOPED_TRACE(format);
        controller->setOutputFormat(format);
        controller->open();
        EXPECT_FALSE(controller->hasVideo());
    }
}

TEST_F(BatchTest, AllVideoNamesTakenSavesFilesAndSaysSo) {
    for (int n = 1; n <= 999; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%03d.ser", n);
        std::ofstream(folder / name) << n;
    }
    controller->setOutputFormat("SER");
    controller->open();
    EXPECT_FALSE(controller->hasVideo());
    EXPECT_EQ(linesWith("No free name for the video"), 1);
    save(bytesOf("frame"), ".raw");
    settle();
    EXPECT_EQ(fileText(folder / "IMG_001.raw"), "frame");
}

TEST_F(BatchTest, AVideoThatGetsNoFrameLeavesNoFile) {
    controller->setOutputFormat("AVI");
    controller->open();
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"IMG_001.avi"}); // the name is held
    controller->close();
    EXPECT_TRUE(filesInFolder().empty());
}

TEST_F(BatchTest, AnUnwritableFolderFailsTheVideoRunOnce) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    controller->setOutputFormat("SER");
    int failures = 0;
    controller->setRunFailedHandler([&] { ++failures; });
    runWithoutFileOverride([&] {
        controller->open();
        for (int i = 0; i < 3; ++i)
            save(rawFrame(1, W, H, 0), ".raw");
        controller->close();
    });
    settle();
    EXPECT_EQ(failures, 1);
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_EQ(logLines()[0], "Failed to save video to " + (folder / "IMG_001.ser").string() + ": Permission denied");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_TRUE(filesInFolder().empty());
}

} // namespace
