// The built-in decoders on real files: JPEG with EXIF written by exiv2, PNGs written by Qt,
// a DNG made here, and every cut-short version of them.

#include "platform/image/image_properties.h"
#include "platform/image/picture.h"
#include "tiff_bytes.h"

#include <QBuffer>
#include <QImage>
#include <cstring>
#include <gtest/gtest.h>

using zeta::platform::Data;
using zeta::platform::Picture;

namespace {

Data encode(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, quality));
    return Data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

Data fixture(const char* name) {
    return Data::contentsOfFile((std::string(ZETA_SOURCE_DIR "/tests/data/imaging/") + name).c_str());
}

Data ofBytes(const std::vector<std::uint8_t>& bytes) {
    return Data(bytes.data(), bytes.size());
}

std::uint16_t sample16(const zeta::platform::BitmapImageRep& rep, std::size_t i) {
    std::uint16_t v;
    std::memcpy(&v, rep.bitmapData() + 2 * i, 2);
    return v;
}

// Every prefix of the bytes (in steps) decodes to nothing or to a whole bitmap of the
// original's size, and never reads past the prefix.
void expectCutsHandled(const Data& data, std::int64_t width, std::int64_t height, std::size_t step) {
    for (std::size_t length = 0; length < data.length(); length += step) {
        SCOPED_TRACE(length);
        auto picture = Picture::withData(Data(data.bytes(), length));
        if (!picture) continue;
        auto rep = picture->firstBitmapImageRep();
        ASSERT_TRUE(rep);
        EXPECT_EQ(rep->pixelsWide(), width);
        EXPECT_EQ(rep->pixelsHigh(), height);
    }
}

} // namespace

TEST(Decoders, JpegColourAndGrey) {
    const Data jpeg = fixture("exif.jpg");
    EXPECT_EQ(zeta::platform::ImageRep::imageRepClassForData(jpeg)->name, "JPEG");
    auto picture = Picture::withData(jpeg);
    ASSERT_TRUE(picture);
    auto rep = picture->firstBitmapImageRep();
    EXPECT_EQ(rep->pixelsWide(), 64);
    EXPECT_EQ(rep->pixelsHigh(), 48);
    EXPECT_EQ(rep->bitsPerPixel(), 24);
    EXPECT_EQ(rep->bytesPerRow(), 64 * 3);
    EXPECT_EQ(rep->colorSpaceName(), zeta::platform::ColorSpace::DeviceRGB);

    QImage grey(16, 8, QImage::Format_Grayscale8);
    grey.fill(140);
    picture = Picture::withData(encode(grey, "JPEG", 100));
    ASSERT_TRUE(picture);
    rep = picture->firstBitmapImageRep();
    EXPECT_EQ(rep->bitsPerPixel(), 8);
    EXPECT_EQ(rep->bytesPerRow(), 16);
    EXPECT_NEAR(rep->bitmapData()[5], 140, 1);
}

TEST(Decoders, QtReadersRepackWithoutRowPadding) {
    QImage grey(3, 2, QImage::Format_Grayscale8);
    grey.fill(9);
    grey.setPixel(2, 1, qRgb(200, 200, 200));
    QImage grey16(3, 2, QImage::Format_Grayscale16);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            reinterpret_cast<std::uint16_t*>(grey16.scanLine(y))[x] = 0x1234;
    QImage rgb(3, 2, QImage::Format_RGB32);
    rgb.fill(qRgb(1, 2, 3));
    QImage rgba(3, 2, QImage::Format_ARGB32);
    rgba.fill(qRgba(10, 20, 30, 40));
    QImage rgb16(3, 2, QImage::Format_RGBX64);
    rgb16.fill(QColor::fromRgba64(0x1000, 0x2000, 0x3000));
    const struct {
        const char* name;
        QImage image;
        int bitsPerPixel;
        std::vector<int> firstBytes;
    } cases[] = {
        {"8-bit grey", grey, 8, {9, 9, 9, 9, 9, 200}},
        {"16-bit grey", grey16, 16, {0x34, 0x12}},
        {"RGB", rgb, 24, {1, 2, 3, 1, 2, 3}},
        {"RGBA", rgba, 32, {10, 20, 30, 40}},
        {"16-bit RGB", rgb16, 48, {0x00, 0x10, 0x00, 0x20, 0x00, 0x30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Data png = encode(c.image, "PNG");
        EXPECT_EQ(zeta::platform::ImageRep::imageRepClassForData(png)->name, "Qt");
        auto picture = Picture::withData(png);
        ASSERT_TRUE(picture);
        auto rep = picture->firstBitmapImageRep();
        EXPECT_EQ(rep->pixelsWide(), 3);
        EXPECT_EQ(rep->bitsPerPixel(), c.bitsPerPixel);
        EXPECT_EQ(rep->bytesPerRow(), 3 * c.bitsPerPixel / 8);
        EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + c.firstBytes.size()), c.firstBytes);
    }
    // A PNG with alpha is not premultiplied, alpha last.
    auto rep = Picture::withData(encode(rgba, "PNG"))->firstBitmapImageRep();
    EXPECT_TRUE(rep->hasAlpha());
    EXPECT_EQ(rep->bitmapFormat() & zeta::platform::BitmapFormatAlphaFirst, 0u);
}

TEST(Decoders, APngKeepsItsOwnColourTypeWhateverItsPixels) {
    // A colour frame whose pixels happen to be grey stays colour, and a grey file grey: a run
    // of frames must keep one layout.
    QImage rgb(4, 2, QImage::Format_RGB32);
    rgb.fill(qRgb(77, 77, 77));
    QImage rgb16(4, 2, QImage::Format_RGBX64);
    rgb16.fill(QColor::fromRgba64(0x1234, 0x1234, 0x1234));
    QImage palette(4, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(0, 0, 0), qRgb(77, 77, 77)});
    palette.fill(1);
    QImage grey(4, 2, QImage::Format_Grayscale8);
    grey.fill(77);
    const struct {
        const char* name;
        QImage image;
        int colourType; // of the PNG header: 0 grey, 2 RGB, 3 palette
        int bitsPerPixel;
        std::vector<int> firstBytes;
    } cases[] = {
        {"grey RGB", rgb, 2, 24, {77, 77, 77, 77}},
        {"grey 16-bit RGB", rgb16, 2, 48, {0x34, 0x12, 0x34, 0x12, 0x34, 0x12}},
        {"grey palette", palette, 3, 24, {77, 77, 77, 77}},
        {"grey", grey, 0, 8, {77, 77}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Data png = encode(c.image, "PNG");
        ASSERT_GT(png.length(), 26u);
        ASSERT_EQ(png.bytes()[25], c.colourType); // signature, IHDR length and name, size, depth
        auto picture = Picture::withData(png);
        ASSERT_TRUE(picture);
        auto rep = picture->firstBitmapImageRep();
        EXPECT_EQ(rep->bitsPerPixel(), c.bitsPerPixel);
        EXPECT_EQ(rep->colorSpaceName(), c.bitsPerPixel == 8 ? zeta::platform::ColorSpace::CalibratedWhite
                                                             : zeta::platform::ColorSpace::DeviceRGB);
        EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + c.firstBytes.size()), c.firstBytes);
    }
}

TEST(Decoders, CameraRawFromMemory) {
    const Data dng = ofBytes(tiff_bytes::dng(64, 48));
    EXPECT_EQ(zeta::platform::ImageRep::imageRepClassForData(dng)->name, "Camera raw");
    auto picture = Picture::withData(dng);
    ASSERT_TRUE(picture);
    auto rep = picture->firstBitmapImageRep();
    EXPECT_EQ(rep->pixelsWide(), 64);
    EXPECT_EQ(rep->pixelsHigh(), 48);
    EXPECT_EQ(rep->bitsPerSample(), 16);
    EXPECT_EQ(rep->samplesPerPixel(), 3);
    EXPECT_EQ(rep->bitsPerPixel(), 48);
    EXPECT_EQ(rep->bytesPerRow(), 64 * 6);
    // The sensor brightens from left to right.
    EXPECT_LT(sample16(*rep, 3 * (24 * 64 + 2) + 1), sample16(*rep, 3 * (24 * 64 + 60) + 1));

    // A plain TIFF is no raw file, and a raw signature alone is not enough.
    EXPECT_FALSE(zeta::platform::cameraRawImageRepClass().canInitWithData(ofBytes(tiff_bytes::plainTiff(8, 8))));
    EXPECT_FALSE(zeta::platform::cameraRawImageRepClass().canInitWithData(Data("II*\0garbage", 11)));
    EXPECT_TRUE(zeta::platform::cameraRawImageRepClass().canInitWithData(Data("FUJIFILM", 8)));
    EXPECT_TRUE(zeta::platform::cameraRawImageRepClass().imageRepsWithData(Data("FUJIFILM", 8), nullptr).empty());
}

TEST(Decoders, ARawFileThatFaultsTheLibraryOnlyFailsToDecode) {
    // Found by fuzzing: this directory makes LibRaw 0.20 fault while identifying the file.
    const Data damaged = fixture("damaged_raw.dng");
    ASSERT_FALSE(damaged.empty());
    EXPECT_EQ(zeta::platform::ImageRep::imageRepClassForData(damaged)->name, "Camera raw");
    EXPECT_EQ(Picture::withData(damaged), nullptr);
    // And the next good file still decodes.
    EXPECT_TRUE(Picture::withData(ofBytes(tiff_bytes::dng(64, 48))));
}

TEST(Decoders, CutShortFilesAreHandled) {
    expectCutsHandled(fixture("exif.jpg"), 64, 48, 7);
    expectCutsHandled(ofBytes(tiff_bytes::dng(64, 48)), 64, 48, 61);
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(qRgb(90, 40, 10));
    expectCutsHandled(encode(image, "PNG"), 40, 30, 3);
}

TEST(Decoders, ImagePropertiesFromMemory) {
    const auto dng = zeta::platform::imagePropertiesWithData(ofBytes(tiff_bytes::dng(64, 48)));
    ASSERT_TRUE(dng);
    EXPECT_EQ(dng->value("{TIFF}").toMap().value("Make").toString(), "Zeta");
    EXPECT_EQ(dng->value("{TIFF}").toMap().value("Model").toString(), "Test DNG");
    const auto jpeg = zeta::platform::imagePropertiesWithData(fixture("exif.jpg"));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->value("{Exif}").toMap().value("ISOSpeedRatings").toInt(), 400);
    EXPECT_FALSE(zeta::platform::imagePropertiesWithData(Data("RAW1\x01\0\0\0\x01\0\0\0\x07", 13)));
    EXPECT_FALSE(zeta::platform::imagePropertiesWithData(Data()));
    // Video containers are not read, whatever sizes they claim.
    const std::uint8_t movie[] = {0, 0, 0, 0x14, 'f',  't',  'y',  'p',  'q', 't', ' ', ' ',
                                  0, 0, 0, 0,    0x7f, 0xff, 0xff, 0xff, 'm', 'o', 'o', 'v'};
    EXPECT_FALSE(zeta::platform::imagePropertiesWithData(Data(movie, sizeof movie)));
    // Cut-short files give what can be read, or nothing.
    const Data full = fixture("exif.jpg");
    for (std::size_t length = 0; length < full.length(); length += 13)
        (void)zeta::platform::imagePropertiesWithData(Data(full.bytes(), length));
}
