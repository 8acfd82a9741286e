#include "imaging/image.h"

#include "imaging/image_render.h"
#include "platform/system_log.h"
#include "test_decoders.h"

#include <QImage>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { registerDecoders(); }
};

std::shared_ptr<Image> grey8(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& pixels) {
    return std::make_shared<Image>(rawFrame("RAW1", width, height, pixels), ".raw");
}

std::shared_ptr<Image> grey16(std::uint32_t width, std::uint32_t height, const std::vector<std::uint16_t>& samples) {
    return std::make_shared<Image>(rawFrame("RAW2", width, height, bytes16(samples)), ".raw");
}

// The rendered RGB bytes of pixel i.
std::array<int, 3> rendered(const Image& image, std::size_t i) {
    auto picture = image.image();
    const auto rep = picture->firstBitmapImageRep();
    const std::uint8_t* p = rep->bitmapData() + 3 * i;
    return {p[0], p[1], p[2]};
}

} // namespace

TEST_F(ImageTest, StatisticsAndAutomaticPoints) {
    const struct {
        const char* name;
        std::shared_ptr<Image> image;
        std::int64_t min, max, average, median, autoBlack, autoWhite, displayPoint;
        bool colour;
    } cases[] = {
        // 4 pixels sample pixel 0 alone; size / 8 = 0 is reached at bin 0; equal bins move apart.
        {"2 x 2 grey", grey8(2, 2, {77, 1, 2, 3}), 77, 77, 77, 0, 77, 79, 255, false},
        {"all black", grey8(8, 8, std::vector<std::uint8_t>(64, 0)), 0, 0, 0, 0, 0, 2, 255, false},
        {"all white", grey8(8, 8, std::vector<std::uint8_t>(64, 255)), 255, 255, 255, 255, 253, 255, 255, false},
        // Only every fourth pixel is sampled.
        {"every fourth pixel", grey8(8, 1, {10, 200, 200, 200, 30, 200, 200, 200}), 10, 30, 20, 10, 10, 30, 255, false},
        // 16-bit samples all within bin 100: real values, points in bin units times 256.
        {"16-bit in one bin", grey16(4, 2, {25700, 9, 9, 9, 25800, 9, 9, 9}), 25700, 25800, 25750, 25600, 25600, 26112,
         65535, false},
        // Fewer than 4 pixels sample nothing and divide by nothing.
        {"three pixels", grey8(3, 1, {5, 6, 7}), 65535, 0, 0, 0, 256, -1, 255, false},
        {"one 16-bit pixel", grey16(1, 1, {40000}), 65535, 0, 0, 0, 65536, -256, 65535, false},
        // Colour: (R + G + B) / 3.
        {"24-bit", std::make_shared<Image>(rawFrame("RAW3", 2, 2, {30, 60, 90, 0, 0, 0, 0, 0, 0, 0, 0, 0}), ".raw"), 60,
         60, 60, 0, 60, 62, 255, true},
        // Alpha first: the leading byte is skipped.
        {"32-bit alpha first",
         std::make_shared<Image>(testBitmap(2, 2, 8, 4, 32, {255, 3, 6, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                            zeta::platform::BitmapFormatAlphaFirst, true),
                                 ".tst"),
         6, 6, 6, 0, 6, 8, 255, true},
        {"32-bit alpha last",
         std::make_shared<Image>(
             testBitmap(2, 2, 8, 4, 32, {3, 6, 9, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, true), ".tst"),
         6, 6, 6, 0, 6, 8, 255, true},
        // 48-bit: high bytes; min, max, average on the 8-bit scale, median and points times 256.
        {"48-bit",
         std::make_shared<Image>(
             testBitmap(2, 2, 16, 3, 48, bytes16({0x1000, 0x2000, 0x3000, 0, 0, 0, 0, 0, 0, 0, 0, 0})), ".tst"),
         0x20, 0x20, 0x20, 0, 0x2000, 0x2200, 65535, true},
        // Another depth: dimensions kept, nothing sampled.
        {"64-bit",
         std::make_shared<Image>(testBitmap(2, 2, 16, 4, 64, std::vector<std::uint8_t>(32, 7), 0, true), ".tst"), 65535,
         0, 0, 0, 65536, -256, 65535, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Image& image = *c.image;
        ASSERT_GT(image.width(), 0);
        EXPECT_EQ(image.min(), c.min);
        EXPECT_EQ(image.max(), c.max);
        EXPECT_EQ(image.average(), c.average);
        EXPECT_EQ(image.median(), c.median);
        EXPECT_EQ(image.autoBlackPoint(), c.autoBlack);
        EXPECT_EQ(image.autoWhitePoint(), c.autoWhite);
        EXPECT_EQ(image.blackPoint(), c.displayPoint);
        EXPECT_EQ(image.whitePoint(), c.displayPoint);
        EXPECT_EQ(image.isColour(), c.colour);
        EXPECT_EQ(image.size(), image.width() * image.height());
        EXPECT_TRUE(image.histogram());
    }
}

TEST_F(ImageTest, HistogramCountsAndThresholdsOverTheWholeFrame) {
    // 4000 pixels, 1000 sampled: thresholds are 4 (black) and 2 (white) of the full count.
    std::vector<std::uint8_t> pixels(4000, 128);
    for (int k = 0; k < 5; ++k)
        pixels[4 * k] = 10; // 5 sampled at 10: more than 4
    for (int k = 5; k < 8; ++k)
        pixels[4 * k] = 250; // 3 sampled at 250: more than 2
    auto image = grey8(100, 40, pixels);
    EXPECT_EQ(image->histo()[10], 5);
    EXPECT_EQ(image->histo()[250], 3);
    EXPECT_EQ(image->histo()[128], 992);
    EXPECT_EQ(std::accumulate(image->histo().begin(), image->histo().end(), std::int64_t(0)), 1000);
    EXPECT_EQ(image->autoBlackPoint(), 10);
    EXPECT_EQ(image->autoWhitePoint(), 250);
    EXPECT_EQ(image->median(), 128);
    EXPECT_EQ(image->average(), (5 * 10 + 3 * 250 + 992 * 128) / 1000);

    // Four sampled at 10 do not pass a threshold of 4.
    pixels[16] = 128;
    image = grey8(100, 40, pixels);
    EXPECT_EQ(image->autoBlackPoint(), 128);
}

TEST_F(ImageTest, HistogramDrawing) {
    std::vector<std::uint8_t> pixels(64 * 64);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i % 64);
    auto image = grey8(64, 64, pixels);
    auto rep = image->histogram()->firstBitmapImageRep();
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 256);
    EXPECT_EQ(rep->pixelsHigh(), 128);
    const QImage drawing = rep->qImage();
    // Filled from the bottom up to the largest count (y = 128 at the top) where the levels
    // are; nothing above the empty levels.
    EXPECT_EQ(qAlpha(drawing.pixel(0, 127)), 255);
    EXPECT_EQ(qGray(drawing.pixel(0, 127)), 0);
    EXPECT_GT(qAlpha(drawing.pixel(0, 2)), 0);
    EXPECT_EQ(qAlpha(drawing.pixel(200, 64)), 0);

    // A largest count of 1 gives a negative scale: drawn all the same, and clipped.
    image = grey8(5, 1, {9, 9, 9, 9, 9});
    EXPECT_TRUE(image->histogram());
}

TEST_F(ImageTest, FramesWithoutAnalysis) {
    std::vector<std::string> log;
    zeta::platform::setSystemLogHandler([&](std::string_view entry) { log.emplace_back(entry); });
    // A frame without a bitmap says why, in the system log too.
    const struct {
        const char* name;
        zeta::platform::Data data;
        const char* reason;
    } cases[] = {
        {"not an image", zeta::platform::Data("hello", 5), "no decoder takes these bytes"},
        {"raw signature the decoder refuses", rawFrame("RAW9", 2, 2, {1, 2, 3, 4}), "RAW frame header unreadable"},
        {"raw frame shorter than its header", rawFrame("RAW2", 100, 100, {1, 2, 3, 4}),
         "RAW frame shorter than its header says"},
        {"empty", zeta::platform::Data(), "no bytes"},
        {"planar bitmap", testBitmap(2, 2, 8, 3, 8, std::vector<std::uint8_t>(12, 1), 0, false, true), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        Image image(c.data, ".xyz");
        EXPECT_EQ(image.width(), 0);
        EXPECT_EQ(image.height(), 0);
        EXPECT_EQ(image.min(), 65535);
        EXPECT_EQ(image.max(), 0);
        EXPECT_EQ(image.autoWhitePoint(), 65535);
        EXPECT_EQ(image.blackPoint(), 0);
        EXPECT_EQ(image.whitePoint(), 65535);
        EXPECT_FALSE(image.histogram());
        EXPECT_FALSE(image.image());
        EXPECT_FALSE(image.pixel(0, 1));
        EXPECT_FALSE(image.findStar(5, 1, 1));
        EXPECT_EQ(image.data(), c.data);
        EXPECT_EQ(image.format(), ".xyz");
        EXPECT_EQ(image.decodeFailure(), c.reason);
        if (*c.reason) {
            EXPECT_EQ(log, std::vector<std::string>{"Image: .xyz of " + std::to_string(c.data.length()) +
                                                    " bytes not decoded: " + c.reason});
        }
    }
    zeta::platform::setSystemLogHandler({});
    EXPECT_EQ(grey8(1, 1, {5})->decodeFailure(), "");
}

TEST_F(ImageTest, StretchOfGreyFrames) {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    auto image = grey8(16, 16, all);
    const struct {
        std::int64_t black, white, sample;
        std::array<int, 3> rgb;
    } cases8[] = {
        {0, 256, 0, {0, 0, 0}},           {0, 256, 77, {77, 77, 77}},       {0, 256, 254, {254, 254, 254}},
        {0, 256, 255, {255, 0, 0}},       {100, 200, 100, {0, 0, 0}},       {100, 200, 150, {128, 128, 128}},
        {100, 200, 199, {253, 253, 253}}, {100, 200, 200, {255, 255, 255}}, {100, 200, 99, {0, 0, 0}},
        {100, 200, 255, {255, 0, 0}},     {50, 50, 60, {0, 0, 0}},          {60, 50, 70, {0, 0, 0}},
        {50, 50, 255, {255, 0, 0}},
    };
    for (const auto& c : cases8) {
        SCOPED_TRACE(testing::Message() << c.black << ".." << c.white << " sample " << c.sample);
        image->setBlackPoint(c.black);
        image->setWhitePoint(c.white);
        EXPECT_EQ(rendered(*image, static_cast<std::size_t>(c.sample)), c.rgb);
    }

    auto deep = grey16(4, 1, {65279, 65280, 32768, 65535});
    deep->setBlackPoint(0);
    deep->setWhitePoint(65535);
    EXPECT_EQ(rendered(*deep, 0), (std::array<int, 3>{254, 254, 254}));
    EXPECT_EQ(rendered(*deep, 1), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(rendered(*deep, 2), (std::array<int, 3>{128, 128, 128}));
    EXPECT_EQ(rendered(*deep, 3), (std::array<int, 3>{255, 0, 0}));

    // Before any stretch is set both points hold the largest value: black, saturated red.
    auto fresh = grey16(2, 1, {1000, 65535});
    EXPECT_EQ(rendered(*fresh, 0), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(rendered(*fresh, 1), (std::array<int, 3>{255, 0, 0}));
}

// A frame large enough to be rendered by several threads comes out pixel for pixel as the
// stretch has it, in 8 and 16 bits, saturated pixels red, up to a last pixel that ends no
// whole group of 16.
TEST_F(ImageTest, LargeGreyFramesRenderEveryPixelAcrossTheirChunks) {
    constexpr std::uint32_t width = 2003, height = 1201;
    const std::size_t n = std::size_t{width} * height;
    std::vector<std::uint16_t> deep(n);
    std::vector<std::uint8_t> shallow(n);
    for (std::size_t i = 0; i < n; ++i) {
        deep[i] = static_cast<std::uint16_t>(i * 7919 % 65536);
        shallow[i] = static_cast<std::uint8_t>(i * 31 % 256);
    }
    deep.back() = 65535;
    shallow.back() = 200;
    const struct {
        const char* name;
        std::shared_ptr<Image> image;
        std::int64_t black, white, saturated;
        std::function<std::int64_t(std::size_t)> sample;
    } cases[] = {
        {"16-bit", grey16(width, height, deep), 1000, 60000, 65535,
         [&](std::size_t i) {
             return deep[i];
         }},
        {"8-bit", grey8(width, height, shallow), 10, 240, 255,
         [&](std::size_t i) {
             return shallow[i];
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.image->setBlackPoint(c.black);
        c.image->setWhitePoint(c.white);
        const auto picture = c.image->image();
        ASSERT_TRUE(picture);
        const std::uint8_t* rgb = picture->firstBitmapImageRep()->bitmapData();
        std::size_t wrong = 0, first = n;
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t v = c.sample(i);
            const std::uint8_t grey = stretchedValue(v, c.black, c.white);
            const bool red = v == c.saturated;
            const std::uint8_t* p = rgb + 3 * i;
            if (p[0] != (red ? 255 : grey) || p[1] != (red ? 0 : grey) || p[2] != (red ? 0 : grey)) {
                if (wrong++ == 0) first = i;
            }
        }
        EXPECT_EQ(wrong, 0u) << "first at pixel " << first;
    }
}

TEST_F(ImageTest, StretchOfColourFramesHasNoClippingWarning) {
    const struct {
        const char* name;
        zeta::platform::Data data;
        std::int64_t white;
    } cases[] = {
        {"24-bit", rawFrame("RAW3", 1, 1, {255, 128, 0}), 256}, // stored blue, green, red
        {"32-bit alpha first",
         testBitmap(1, 1, 8, 4, 32, {17, 0, 128, 255}, zeta::platform::BitmapFormatAlphaFirst, true), 256},
        {"32-bit filler last", testBitmap(1, 1, 8, 3, 32, {0, 128, 255, 17}), 256},
        {"48-bit", testBitmap(1, 1, 16, 3, 48, bytes16({0, 32768, 65535})), 65536},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image image(c.data, ".tst");
        image.setBlackPoint(0);
        image.setWhitePoint(c.white);
        EXPECT_EQ(rendered(image, 0), (std::array<int, 3>{0, 128, 255}));
    }
}

TEST_F(ImageTest, RenderingCacheAndOwnership) {
    auto image = grey8(2, 2, {10, 20, 30, 40});
    image->setBlackPoint(0);
    image->setWhitePoint(256);
    auto first = image->image();
    ASSERT_TRUE(first);
    EXPECT_EQ(image->image(), first); // cached
    auto rep = first->firstBitmapImageRep();
    EXPECT_EQ(rep->pixelsWide(), 2);
    EXPECT_EQ(rep->bitsPerPixel(), 24);
    EXPECT_EQ(rep->samplesPerPixel(), 3);
    EXPECT_EQ(rep->bytesPerRow(), 6);
    EXPECT_EQ(rep->colorSpaceName(), zeta::platform::ColorSpace::DeviceRGB);

    // Setting a point, even to the same value, drops the rendering.
    image->setBlackPoint(0);
    auto second = image->image();
    EXPECT_NE(second, first);
    image->setDebayer(255);
    EXPECT_NE(image->image(), second);
    EXPECT_EQ(image->debayer(), 255);

    // A rendering already handed out keeps its pixels when the stretch changes, and outlives
    // the Image.
    image->setWhitePoint(128);
    auto third = image->image();
    EXPECT_EQ(first->firstBitmapImageRep()->bitmapData()[0], 10);
    EXPECT_EQ(third->firstBitmapImageRep()->bitmapData()[0], 20);
    image.reset();
    EXPECT_EQ(first->firstBitmapImageRep()->bitmapData()[9], 40);
    EXPECT_EQ(third->firstBitmapImageRep()->qImage().pixel(1, 1), qRgb(80, 80, 80));

    // Other layouts render black rather than leftover memory.
    Image other(testBitmap(2, 1, 16, 4, 64, std::vector<std::uint8_t>(16, 200), 0, true), ".tst");
    auto picture = other.image();
    ASSERT_TRUE(picture);
    EXPECT_EQ(rendered(other, 0), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(rendered(other, 1), (std::array<int, 3>{0, 0, 0}));
}

TEST_F(ImageTest, PixelReadout) {
    // 3 x 2, rows from the top: 1 2 3 / 4 5 6. y counts upward: y = 2 is the top row.
    auto image = grey8(3, 2, {1, 2, 3, 4, 5, 6});
    const struct {
        double x, y;
        std::optional<std::int64_t> value;
    } cases[] = {
        {0, 2, 1},
        {2.9, 2.5, 3},
        {0, 1, 4},
        {2, 1, 6},
        {0, 0, std::nullopt},
        {3, 1, std::nullopt},
        {-1, 1, std::nullopt},
        {0, 3, std::nullopt},
        {-0.5, 1, 4}, // truncation toward zero
        {NAN, 1, std::nullopt},
        {1, INFINITY, std::nullopt},
        {1e300, 1, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        const auto v = image->pixel(c.x, c.y);
        if (!c.value) {
            EXPECT_FALSE(v);
        } else {
            ASSERT_TRUE(v);
            EXPECT_EQ(std::get<std::int64_t>(*v), *c.value);
        }
    }
    EXPECT_EQ(std::get<std::int64_t>(*grey16(1, 1, {0x1234})->pixel(0, 1)), 0x1234);
    Image alphaFirst(testBitmap(1, 1, 8, 4, 32, {99, 1, 2, 3}, zeta::platform::BitmapFormatAlphaFirst, true), ".tst");
    EXPECT_EQ(std::get<RGBValue>(*alphaFirst.pixel(0, 1)), (RGBValue{1, 2, 3}));
    Image deep(testBitmap(1, 1, 16, 3, 48, bytes16({100, 200, 60000})), ".tst");
    EXPECT_EQ(std::get<RGBValue>(*deep.pixel(0, 1)), (RGBValue{100, 200, 60000}));
    Image rgb(rawFrame("RAW3", 1, 1, {30, 20, 10}), ".raw");
    EXPECT_EQ(std::get<RGBValue>(*rgb.pixel(0, 1)), (RGBValue{10, 20, 30}));
    Image other(testBitmap(1, 1, 16, 4, 64, std::vector<std::uint8_t>(8, 1), 0, true), ".tst");
    EXPECT_FALSE(other.pixel(0, 1));
}

TEST_F(ImageTest, RealFramesDecodeWithTheirSizes) {
    const struct {
        const char* file;
        const char* format;
        std::int64_t width, height, bitsPerPixel;
        bool colour;
    } cases[] = {
        {"simulator_ccd_96x64.fits", ".fits", 96, 64, 16, false},
        {"exif.jpg", ".jpeg", 64, 48, 24, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto data = zeta::platform::Data::contentsOfFile(
            (std::string(ZETA_SOURCE_DIR "/tests/data/imaging/") + c.file).c_str());
        ASSERT_FALSE(data.empty());
        Image image(data, c.format);
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
        EXPECT_EQ(image.bitsPerPixel(), c.bitsPerPixel);
        EXPECT_EQ(image.isColour(), c.colour);
        EXPECT_TRUE(image.image());
    }
}

TEST_F(ImageTest, PropertiesOfTheEncodedFile) {
    const auto jpeg = zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/exif.jpg");
    Image image(jpeg, ".jpeg");
    ASSERT_TRUE(image.properties());
    const QVariantMap& p = *image.properties();
    EXPECT_EQ(p.value("PixelWidth").toInt(), 64);
    EXPECT_EQ(p.value("PixelHeight").toInt(), 48);
    const QVariantMap tiff = p.value("{TIFF}").toMap();
    EXPECT_EQ(tiff.value("Make").toString(), "Zeta");
    EXPECT_EQ(tiff.value("Model").toString(), "Bench");
    const QVariantMap exif = p.value("{Exif}").toMap();
    EXPECT_DOUBLE_EQ(exif.value("ExposureTime").toDouble(), 1.0 / 125);
    EXPECT_DOUBLE_EQ(exif.value("FNumber").toDouble(), 2.8);
    EXPECT_EQ(exif.value("ISOSpeedRatings").toInt(), 400);
    EXPECT_EQ(exif.value("DateTimeOriginal").toString(), "2024:05:01 21:30:00");

    // Raw frames and FITS carry no such properties.
    EXPECT_FALSE(grey8(2, 2, {1, 2, 3, 4})->properties());
    EXPECT_FALSE(
        Image(zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits"),
              ".fits")
            .properties());
}
