// INDIGO raw frames: the pixels each signature gives, and frames whose header lies.

#include "Common/raw_image_rep.h"

#include "imaging/image.h"
#include "platform/image/picture.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

zeta::platform::Data frame(const char* signature, std::uint32_t width, std::uint32_t height,
                           std::vector<std::uint8_t> pixels) {
    std::vector<std::uint8_t> bytes(12);
    std::memcpy(bytes.data(), signature, 4);
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<std::uint8_t>(width >> (8 * i));
        bytes[8 + i] = static_cast<std::uint8_t>(height >> (8 * i));
    }
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return zeta::platform::Data(std::move(bytes));
}

} // namespace

TEST(RawImageRep, GreyFramesArePresentedInPlace) {
    const zeta::platform::Data raw1 = frame("RAW1", 3, 2, {0, 128, 255, 10, 20, 30});
    INDIGO::RawImageRep grey(raw1);
    ASSERT_NE(grey.bitmapData(), nullptr);
    EXPECT_EQ(grey.pixelsWide(), 3);
    EXPECT_EQ(grey.pixelsHigh(), 2);
    EXPECT_EQ(grey.bitsPerSample(), 8);
    EXPECT_EQ(grey.samplesPerPixel(), 1);
    EXPECT_EQ(grey.bitsPerPixel(), 8);
    EXPECT_EQ(grey.bytesPerRow(), 3);
    EXPECT_FALSE(grey.hasAlpha());
    EXPECT_FALSE(grey.isPlanar());
    EXPECT_EQ(grey.colorSpaceName(), zeta::platform::ColorSpace::CalibratedWhite);
    EXPECT_EQ(grey.bitmapData(), raw1.bytes() + 12) << "not copied";
    EXPECT_EQ(grey.bitmapData()[0], 0) << "top left is black";
    EXPECT_EQ(grey.bitmapData()[2], 255) << "third of the first row is white";
    EXPECT_EQ(grey.bitmapData()[3], 10) << "the second row follows without padding";

    const zeta::platform::Data raw2 = frame("RAW2", 2, 1, {0x34, 0x12, 0xff, 0x00});
    INDIGO::RawImageRep deep(raw2);
    ASSERT_NE(deep.bitmapData(), nullptr);
    EXPECT_EQ(deep.bitsPerSample(), 16);
    EXPECT_EQ(deep.bitsPerPixel(), 16);
    EXPECT_EQ(deep.bytesPerRow(), 4);
    std::uint16_t samples[2];
    std::memcpy(samples, deep.bitmapData(), sizeof samples);
    EXPECT_EQ(samples[0], 0x1234);
    EXPECT_EQ(samples[1], 0x00ff);
}

TEST(RawImageRep, ColourFramesReadRedGreenBlueAndLeaveTheReceivedBytesAlone) {
    const zeta::platform::Data raw3 = frame("RAW3", 2, 1, {10, 20, 30, 1, 2, 3});
    const std::vector<std::uint8_t> received(raw3.bytes(), raw3.bytes() + raw3.length());
    INDIGO::RawImageRep colour(raw3);
    ASSERT_NE(colour.bitmapData(), nullptr);
    EXPECT_EQ(colour.samplesPerPixel(), 3);
    EXPECT_EQ(colour.bitsPerPixel(), 24);
    EXPECT_EQ(colour.bytesPerRow(), 6);
    EXPECT_EQ(colour.colorSpaceName(), zeta::platform::ColorSpace::DeviceRGB);
    const std::vector<std::uint8_t> pixels(colour.bitmapData(), colour.bitmapData() + 6);
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{30, 20, 10, 3, 2, 1}));
    EXPECT_EQ(std::vector<std::uint8_t>(raw3.bytes(), raw3.bytes() + raw3.length()), received);
    // Decoded twice, the frame still reads the same.
    INDIGO::RawImageRep again(raw3);
    EXPECT_EQ(again.bitmapData()[0], 30);
}

TEST(RawImageRep, FramesThatDoNotMatchTheirHeaderGiveNothing) {
    struct Case {
        const char* what;
        zeta::platform::Data bytes;
        bool accepted; // by canInitWithData
    };
    const Case cases[] = {
        {"fourth letter 4", frame("RAW4", 1, 1, {0, 0, 0, 0}), true},
        {"fourth letter 0", frame("RAW0", 1, 1, {0}), true},
        {"only the letters", zeta::platform::Data("RAW", 3), true},
        {"header cut short", zeta::platform::Data("RAW1\x01\0\0\0\x01\0", 10), true},
        {"one pixel byte short", frame("RAW2", 2, 2, {1, 2, 3, 4, 5, 6, 7}), true},
        {"no pixels at all", frame("RAW3", 1, 1, {}), true},
        {"zero width", frame("RAW1", 0, 5, {1, 2, 3, 4, 5}), true},
        {"zero height", frame("RAW1", 5, 0, {1, 2, 3, 4, 5}), true},
        {"size overflows 32 bits", frame("RAW3", 0xffffffffu, 0xffffffffu, {1, 2, 3}), true},
        {"2^32 pixels in 4 bytes", frame("RAW1", 65536, 65536, {1, 2, 3, 4}), true},
        {"width x 3 wraps to a small number", frame("RAW3", 0x55555556u, 1, {1, 2}), true},
        {"another format", zeta::platform::Data("SIMPLE  =", 9), false},
        {"empty", zeta::platform::Data(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(INDIGO::RawImageRep::canInitWithData(c.bytes), c.accepted);
        EXPECT_TRUE(INDIGO::RawImageRep::imageRepsWithData(c.bytes).empty());
        INDIGO::RawImageRep rep(c.bytes);
        EXPECT_EQ(rep.bitmapData(), nullptr);
    }
    // Bytes past the frame are ignored.
    EXPECT_EQ(INDIGO::RawImageRep::imageRepsWithData(frame("RAW1", 1, 1, {7, 8, 9})).size(), 1u);
}

TEST(RawImageRep, ImagesMadeFromBytesUseTheRegisteredDecoder) {
    zeta::platform::ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
    const zeta::platform::Data raw2 = frame("RAW2", 4, 2, std::vector<std::uint8_t>(16, 0x10));
    const auto picture = zeta::platform::Picture::withData(raw2);
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(picture->representations().size(), 1u);
    EXPECT_NE(std::dynamic_pointer_cast<INDIGO::RawImageRep>(picture->representations()[0]), nullptr);

    Image image(raw2, ".raw");
    EXPECT_EQ(image.width(), 4);
    EXPECT_EQ(image.height(), 2);
    EXPECT_EQ(image.bitsPerPixel(), 16);
    EXPECT_EQ(image.max(), 0x1010);

    // A frame that begins with "RAW" but does not decode gives an image without a bitmap.
    Image broken(frame("RAW9", 1, 1, {1}), ".raw");
    EXPECT_EQ(broken.originalImageRep(), nullptr);
    EXPECT_EQ(broken.width(), 0);
}
