#include "imaging/fits_image_rep.h"

#include "fits_bytes.h"
#include "platform/image/picture.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using fits_bytes::appendData;
using fits_bytes::header;

namespace {

zeta::platform::Data dataOf(const std::vector<std::uint8_t>& bytes) {
    return zeta::platform::Data(bytes.data(), bytes.size());
}

std::shared_ptr<FITSIO::FITSImageRep> decode(const std::vector<std::uint8_t>& bytes) {
    auto reps = FITSIO::FITSImageRep::imageRepsWithData(dataOf(bytes));
    if (reps.empty()) return nullptr;
    return std::dynamic_pointer_cast<FITSIO::FITSImageRep>(reps.front());
}

std::uint16_t sample16(const zeta::platform::BitmapImageRep& rep, std::size_t i) {
    std::uint16_t v;
    std::memcpy(&v, rep.bitmapData() + 2 * i, 2);
    return v;
}

const std::filesystem::path kAstropyData = "/usr/lib/python3/dist-packages/astropy/io/fits/tests/data";

zeta::platform::Data astropyFile(const char* name) {
    return zeta::platform::Data::contentsOfFile((kAstropyData / name).c_str());
}

} // namespace

TEST(FITSImageRep, SignatureIsSimple) {
    EXPECT_TRUE(FITSIO::FITSImageRep::canInitWithData(zeta::platform::Data("SIMPLE", 6)));
    EXPECT_FALSE(FITSIO::FITSImageRep::canInitWithData(zeta::platform::Data("SIMPL", 5)));
    EXPECT_FALSE(FITSIO::FITSImageRep::canInitWithData(zeta::platform::Data("XTENSION", 8)));
    EXPECT_FALSE(FITSIO::FITSImageRep::canInitWithData(zeta::platform::Data()));
}

TEST(FITSImageRep, TwoAxisImagesBecomeGreyBitmapsInFileOrder) {
    auto bytes16 = header({{"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "3"}, {"NAXIS2", "2"}, {"BZERO", "32768"}});
    appendData(bytes16, std::vector<int>{0 - 32768, 1 - 32768, 2 - 32768, 3 - 32768, 4 - 32768, 5 - 32768}, 2);
    auto rep = decode(bytes16);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 3);
    EXPECT_EQ(rep->pixelsHigh(), 2);
    EXPECT_EQ(rep->bitsPerSample(), 16);
    EXPECT_EQ(rep->samplesPerPixel(), 1);
    EXPECT_EQ(rep->bitsPerPixel(), 16);
    EXPECT_EQ(rep->bytesPerRow(), 6);
    EXPECT_EQ(rep->bitmapFormat(), 0u);
    EXPECT_FALSE(rep->hasAlpha());
    EXPECT_FALSE(rep->isPlanar());
    EXPECT_EQ(rep->colorSpaceName(), zeta::platform::ColorSpace::CalibratedWhite);
    EXPECT_EQ(rep->bufferSize(), 12u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(sample16(*rep, i), i);

    auto bytes8 = header({{"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "2"}});
    appendData(bytes8, std::vector<int>{7, 8, 9, 250}, 1);
    rep = decode(bytes8);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->bitsPerPixel(), 8);
    EXPECT_EQ(rep->bytesPerRow(), 2);
    EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + 4), (std::vector<int>{7, 8, 9, 250}));
}

TEST(FITSImageRep, ThreeAxisImagesInterleavePlanesIntoRGB) {
    auto bytes16 = header(
        {{"BITPIX", "16"}, {"NAXIS", "3"}, {"NAXIS1", "2"}, {"NAXIS2", "1"}, {"NAXIS3", "3"}, {"BZERO", "32768"}});
    appendData(bytes16,
               std::vector<int>{0x1234 - 32768, 0x0100 - 32768, 0xFF00 - 32768, 0x0200 - 32768, 0x00FF - 32768,
                                0x0300 - 32768},
               2);
    auto rep = decode(bytes16);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->bitsPerPixel(), 24);
    EXPECT_EQ(rep->bitsPerSample(), 8);
    EXPECT_EQ(rep->samplesPerPixel(), 3);
    EXPECT_EQ(rep->colorSpaceName(), zeta::platform::ColorSpace::DeviceRGB);
    EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + 6),
              (std::vector<int>{0x12, 0xFF, 0x00, 1, 2, 3}));

    // Eight bits, and a fourth plane that is not read.
    auto bytes8 = header({{"BITPIX", "8"}, {"NAXIS", "3"}, {"NAXIS1", "2"}, {"NAXIS2", "1"}, {"NAXIS3", "4"}});
    appendData(bytes8, std::vector<int>{10, 11, 20, 21, 30, 31, 40, 41}, 1);
    rep = decode(bytes8);
    ASSERT_TRUE(rep);
    EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + 6), (std::vector<int>{10, 20, 30, 11, 21, 31}));
}

TEST(FITSImageRep, ValuesOutsideUnsignedSixteenBitsAreClamped) {
    // Signed data without BZERO (more than one vector's worth of samples).
    const std::vector<int> signedValues = {-5, 7, 32767, -32768, 0, 1, -1, 300, 12, -7, 5};
    auto bytes = header({{"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "11"}, {"NAXIS2", "1"}});
    appendData(bytes, signedValues, 2);
    auto rep = decode(bytes);
    ASSERT_TRUE(rep);
    for (std::size_t i = 0; i < signedValues.size(); ++i)
        EXPECT_EQ(sample16(*rep, i), std::max(0, signedValues[i]));

    // Scaled data above 65535.
    bytes = header({{"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "1"}, {"BSCALE", "4"}});
    appendData(bytes, std::vector<int>{100, 30000}, 2);
    rep = decode(bytes);
    ASSERT_TRUE(rep);
    EXPECT_EQ(sample16(*rep, 0), 400);
    EXPECT_EQ(sample16(*rep, 1), 65535);

    // Colour planes of signed data: negative values give 0, the rest their high byte.
    bytes = header({{"BITPIX", "16"}, {"NAXIS", "3"}, {"NAXIS1", "1"}, {"NAXIS2", "1"}, {"NAXIS3", "3"}});
    appendData(bytes, std::vector<int>{-300, 0x1234, 0x7FFF}, 2);
    rep = decode(bytes);
    ASSERT_TRUE(rep);
    EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + 3), (std::vector<int>{0, 0x12, 0x7F}));
}

TEST(FITSImageRep, LargeFramesMatchTheLibrarysConversion) {
    // The direct reading of unscaled frames against the library's own reading (BSCALE 1.0
    // written as 1.00000001 takes the library's path).
    std::vector<int> values(1000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int>(i * 65 % 65536) - 32768;
    const auto frame = [&](const char* bscale) {
        auto bytes = header({{"BITPIX", "16"},
                             {"NAXIS", "2"},
                             {"NAXIS1", "40"},
                             {"NAXIS2", "25"},
                             {"BZERO", "32768"},
                             {"BSCALE", bscale}});
        appendData(bytes, values, 2);
        return decode(bytes);
    };
    auto direct = frame("1.0");
    auto library = frame("1.0000000001");
    ASSERT_TRUE(direct && library);
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(sample16(*direct, i), values[i] + 32768) << i;
        ASSERT_NEAR(sample16(*library, i), values[i] + 32768, 1) << i;
    }
}

TEST(FITSImageRep, FramesSplitAcrossThreadsDecodeEveryPixel) {
    // Over a million pixels of odd width: the plain reading splits them into chunks that
    // begin at unaligned samples. Each case: bit depth, planes, BZERO, the expected 8- or
    // 16-bit output sample of stored value v.
    constexpr long kWidth = 1201, kHeight = 1001;
    constexpr std::size_t n = std::size_t(kWidth) * kHeight;
    const auto stored = [](std::size_t i) {
        return static_cast<int>((i * 2654435761u) >> 16 & 0xFFFF) - 32768;
    };
    struct Case {
        int bitpix;
        int planes;
        bool offset;
    };
    for (const Case c : {Case{16, 1, true}, Case{16, 1, false}, Case{16, 3, true}, Case{8, 3, false}}) {
        SCOPED_TRACE(testing::Message() << c.bitpix << " bits, " << c.planes << " planes");
        std::vector<std::pair<std::string, std::string>> cards = {{"BITPIX", std::to_string(c.bitpix)},
                                                                  {"NAXIS", c.planes == 1 ? "2" : "3"},
                                                                  {"NAXIS1", std::to_string(kWidth)},
                                                                  {"NAXIS2", std::to_string(kHeight)}};
        if (c.planes == 3) cards.emplace_back("NAXIS3", "3");
        if (c.offset) cards.emplace_back("BZERO", "32768");
        auto bytes = header(cards);
        std::vector<int> values(n * static_cast<std::size_t>(c.planes));
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = c.bitpix == 8 ? (stored(i) & 0xFF) : stored(i);
        appendData(bytes, values, c.bitpix / 8);
        auto rep = decode(bytes);
        ASSERT_TRUE(rep);
        const auto expected = [&](std::size_t i) {
            if (c.bitpix == 8) return values[i];
            return c.offset ? values[i] + 32768 : std::max(0, values[i]);
        };
        if (c.planes == 1) {
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(sample16(*rep, i), expected(i)) << i;
        } else {
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t p = 0; p < 3; ++p) {
                    const int value = c.bitpix == 8 ? expected(p * n + i) : expected(p * n + i) >> 8;
                    ASSERT_EQ(rep->bitmapData()[3 * i + p], value) << i << " plane " << p;
                }
        }
    }
}

TEST(FITSImageRep, EightBitPixelsOutliveTheCallersBytes) {
    // Unscaled 8-bit pixels are shown from the bytes themselves, which the bitmap keeps.
    std::shared_ptr<FITSIO::FITSImageRep> rep;
    {
        auto bytes = header({{"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "3"}, {"NAXIS2", "2"}});
        appendData(bytes, std::vector<int>{1, 2, 3, 4, 5, 255}, 1);
        rep = decode(bytes);
    }
    ASSERT_TRUE(rep);
    EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + 6), (std::vector<int>{1, 2, 3, 4, 5, 255}));
}

TEST(FITSImageRep, UnpaddedFileDecodes) {
    auto bytes = header({{"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "3"}, {"NAXIS2", "1"}});
    bytes.insert(bytes.end(), {1, 2, 3});
    auto rep = decode(bytes);
    ASSERT_TRUE(rep);
    EXPECT_EQ(std::vector<int>(rep->bitmapData(), rep->bitmapData() + 3), (std::vector<int>{1, 2, 3}));
}

TEST(FITSImageRep, FramesThatGiveNoRepresentation) {
    const auto withData = [](std::vector<std::pair<std::string, std::string>> cards, std::size_t values, int width) {
        auto bytes = header(cards);
        appendData(bytes, std::vector<int>(values, 1), width);
        return bytes;
    };
    auto good = withData({{"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "40"}, {"NAXIS2", "40"}}, 1600, 2);
    const auto cut = [&](std::size_t length) {
        return std::vector<std::uint8_t>(good.begin(), good.begin() + length);
    };
    std::string garbage = "SIMPLE is not how this file goes on";
    // Each says why, in words the log and the image window can show.
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"garbage after SIMPLE", std::vector<std::uint8_t>(garbage.begin(), garbage.end()), "FITS bytes unreadable"},
        {"header cut short", cut(1000), "FITS data shorter than its header says"},
        {"no data", cut(2880), "FITS data shorter than its header says"},
        {"data cut short", cut(2880 + 1600), "FITS data shorter than its header says"},
        {"one byte of data missing", cut(2880 + 3199), "FITS data shorter than its header says"},
        {"floating point", withData({{"BITPIX", "-32"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "2"}}, 4, 4),
         "FITS image with NAXIS 2 and BITPIX -32: only 2 or 3 axes of 8 or 16 bits are shown"},
        {"32-bit integers", withData({{"BITPIX", "32"}, {"NAXIS", "2"}, {"NAXIS1", "2"}, {"NAXIS2", "2"}}, 4, 4),
         "FITS image with NAXIS 2 and BITPIX 32: only 2 or 3 axes of 8 or 16 bits are shown"},
        {"one axis", withData({{"BITPIX", "8"}, {"NAXIS", "1"}, {"NAXIS1", "4"}}, 4, 1),
         "FITS image with NAXIS 1 and BITPIX 8: only 2 or 3 axes of 8 or 16 bits are shown"},
        {"four axes",
         withData({{"BITPIX", "8"}, {"NAXIS", "4"}, {"NAXIS1", "1"}, {"NAXIS2", "1"}, {"NAXIS3", "3"}, {"NAXIS4", "1"}},
                  3, 1),
         "FITS image with NAXIS 4 and BITPIX 8: only 2 or 3 axes of 8 or 16 bits are shown"},
        {"zero width", withData({{"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "0"}, {"NAXIS2", "5"}}, 0, 1),
         "FITS image size out of range"},
        {"zero height", withData({{"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "5"}, {"NAXIS2", "0"}}, 0, 1),
         "FITS image size out of range"},
        {"two colour planes",
         withData({{"BITPIX", "8"}, {"NAXIS", "3"}, {"NAXIS1", "2"}, {"NAXIS2", "2"}, {"NAXIS3", "2"}}, 8, 1),
         "FITS colour image with fewer than 3 planes"},
        {"absurd size, little data",
         withData({{"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "200000"}, {"NAXIS2", "200000"}}, 16, 2),
         "FITS image size out of range"},
        {"width beyond 32 bits",
         withData({{"BITPIX", "8"}, {"NAXIS", "2"}, {"NAXIS1", "99999999999"}, {"NAXIS2", "1"}}, 16, 1), nullptr},
        {"no image at all", header({{"BITPIX", "8"}, {"NAXIS", "0"}}), nullptr},
    };
    zeta::platform::ImageRep::registerImageRepClass<FITSIO::FITSImageRep>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(FITSIO::FITSImageRep::imageRepsWithData(dataOf(c.bytes)).empty());
        FITSIO::FITSImageRep rep(dataOf(c.bytes));
        EXPECT_EQ(rep.bitmapData(), nullptr);
        EXPECT_EQ(rep.pixelsWide(), 0);
        EXPECT_FALSE(rep.failureReason().empty());
        if (c.reason) {
            EXPECT_EQ(rep.failureReason(), c.reason);
        }
        // The platform treats the bytes as undecodable, and passes the reason on.
        std::string reason;
        EXPECT_EQ(zeta::platform::Picture::withData(dataOf(c.bytes), &reason), nullptr);
        EXPECT_EQ(reason, rep.failureReason());
    }
    EXPECT_EQ(FITSIO::FITSImageRep(dataOf(good)).failureReason(), "");
}

TEST(FITSImageRep, EveryCutOfARealCaptureIsRefusedCleanly) {
    const auto data =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits");
    ASSERT_EQ(data.length(), 17280u);
    ASSERT_TRUE(decode(std::vector<std::uint8_t>(data.bytes(), data.bytes() + data.length())));
    // The data end at 2880 + 96 * 64 * 2; anything shorter must not be read past its end.
    const std::size_t dataEnd = 2880 + 96 * 64 * 2;
    for (std::size_t length = 0; length < dataEnd; length += (length < 6000 ? 97 : 1001)) {
        SCOPED_TRACE(length);
        EXPECT_TRUE(FITSIO::FITSImageRep::imageRepsWithData(zeta::platform::Data(data.bytes(), length)).empty());
    }
    EXPECT_FALSE(FITSIO::FITSImageRep::imageRepsWithData(zeta::platform::Data(data.bytes(), dataEnd)).empty());
}

TEST(FITSImageRep, TileCompressedFramesWithSaneTilesOnly) {
    // fpack of a 24 x 16 16-bit frame: a star of 31000 at column 12, row 8 on 1000.
    const auto data =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/compressed_24x16.fits.fz");
    auto rep = decode(std::vector<std::uint8_t>(data.bytes(), data.bytes() + data.length()));
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 24);
    EXPECT_EQ(rep->pixelsHigh(), 16);
    EXPECT_EQ(sample16(*rep, 0), 1000);
    EXPECT_EQ(sample16(*rep, 8 * 24 + 12), 31000);

    const std::string tile = "ZTILE1  =                   24";
    for (const std::string replacement :
         {"ZTILE1  =                   25", "ZTILE1  =                    0", "ZTILE1  =                   `2",
          "ZTILE1  =           999999999", "ZTILE1  =                   -3"}) {
        SCOPED_TRACE(replacement);
        std::string text(reinterpret_cast<const char*>(data.bytes()), data.length());
        const auto at = text.find(tile);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, tile.size(), replacement);
        // A zero tile would have the library divide by it.
        EXPECT_TRUE(FITSIO::FITSImageRep::imageRepsWithData(zeta::platform::Data(text.data(), text.size())).empty());
    }
}

TEST(FITSImageRep, CompressedTilesPointingPastTheHeapAreRefused) {
    const auto data =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/compressed_24x16.fits.fz");
    std::vector<std::uint8_t> bytes(data.bytes(), data.bytes() + data.length());
    // The table follows the extension's header: rows of two big-endian 32-bit words, the
    // length and the heap offset of each tile.
    std::size_t end = 0;
    for (std::size_t at = 2880; at + 80 <= bytes.size(); at += 80) {
        if (std::memcmp(&bytes[at], "END     ", 8) == 0) {
            end = at;
            break;
        }
    }
    ASSERT_GT(end, 0u);
    const std::size_t table = (end / 2880 + 1) * 2880;
    ASSERT_TRUE(decode(bytes));
    for (const std::size_t word : {table, table + 4, table + 8 * 15 + 4}) {
        SCOPED_TRACE(word - table);
        auto damaged = bytes;
        damaged[word] = 0x10; // a length or offset of some 268 million
        EXPECT_FALSE(decode(damaged));
    }
}

TEST(FITSImageRep, ATileThatFaultsTheDecompressorOnlyFailsToDecode) {
    // Found by fuzzing: CFITSIO's rice decompressor reads far past this damaged tile.
    const auto damaged =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/damaged_tile.fits.fz");
    ASSERT_FALSE(damaged.empty());
    EXPECT_TRUE(FITSIO::FITSImageRep::imageRepsWithData(damaged).empty());
    // The next good file still decodes.
    EXPECT_FALSE(
        FITSIO::FITSImageRep::imageRepsWithData(
            zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/compressed_24x16.fits.fz"))
            .empty());
}

TEST(FITSImageRep, CompressedImageWithoutASizeIsRefused) {
    const auto data =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/compressed_24x16.fits.fz");
    for (const auto& [card, replacement] :
         {std::pair{"ZNAXIS1 =                   24", "ZNAXIS1 =                    0"},
          std::pair{"ZNAXIS1 =                   24", "ZNOTHING=                   24"},
          std::pair{"ZNAXIS  =                    2", "ZNAXIS  =                    3"}}) {
        SCOPED_TRACE(replacement);
        std::string text(reinterpret_cast<const char*>(data.bytes()), data.length());
        const auto at = text.find(card);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, std::strlen(card), replacement);
        EXPECT_TRUE(FITSIO::FITSImageRep::imageRepsWithData(zeta::platform::Data(text.data(), text.size())).empty());
    }
}

TEST(FITSImageRep, RealSimulatorCapture) {
    // Captured from the INDI CCD simulator: 16-bit, BZERO 32768, 96 x 64, ROWORDER TOP-DOWN.
    const auto data =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits");
    auto reps = FITSIO::FITSImageRep::imageRepsWithData(data);
    ASSERT_EQ(reps.size(), 1u);
    auto rep = std::dynamic_pointer_cast<FITSIO::FITSImageRep>(reps[0]);
    EXPECT_EQ(rep->pixelsWide(), 96);
    EXPECT_EQ(rep->pixelsHigh(), 64);
    EXPECT_EQ(rep->bitsPerPixel(), 16);
    EXPECT_EQ(rep->data(), data);
    // Values read by astropy from the same file.
    EXPECT_EQ(sample16(*rep, 0), 886);
    EXPECT_EQ(sample16(*rep, 96 * 64 - 1), 98);
}

TEST(FITSImageRep, AstropyTestFiles) {
    if (!std::filesystem::exists(kAstropyData)) GTEST_SKIP() << "python3-astropy is not installed";
    const struct {
        const char* file;
        std::int64_t width, height; // 0: no representation
        int first;                  // first sample
    } cases[] = {
        {"fixed-1890.fits", 100, 100, 1890},  // a constant frame, 16-bit with BZERO
        {"comp.fits", 440, 300, 7},           // tile-compressed: the first image extension
        {"compressed_image.fits", 10, 10, 0}, // tile-compressed, 10 x 10
        {"o4sp040b0_raw.fits", 62, 44, 1507}, // empty primary, image extensions
        {"zerowidth.fits", 0, 0, 0},          // NAXIS1 777777701, NAXIS2 0
        {"scale.fits", 20, 21, 557},          // 16-bit, fractional BSCALE: scaled, truncated
        {"arange.fits", 0, 0, 0},             // 32-bit integers
        {"group.fits", 0, 0, 0},              // random groups
        {"table.fits", 0, 0, 0},              // a table and no image
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto data = astropyFile(c.file);
        ASSERT_FALSE(data.empty());
        auto reps = FITSIO::FITSImageRep::imageRepsWithData(data);
        if (c.width == 0) {
            EXPECT_TRUE(reps.empty());
            continue;
        }
        ASSERT_EQ(reps.size(), 1u);
        auto rep = std::dynamic_pointer_cast<FITSIO::FITSImageRep>(reps[0]);
        EXPECT_EQ(rep->pixelsWide(), c.width);
        EXPECT_EQ(rep->pixelsHigh(), c.height);
        EXPECT_EQ(rep->bitsPerPixel(), 16);
        EXPECT_EQ(sample16(*rep, 0), c.first);
    }
}

TEST(FITSImageRep, FitsRepresentationOfAPicture) {
    zeta::platform::ImageRep::registerImageRepClass<FITSIO::FITSImageRep>();
    auto picture = zeta::platform::Picture::withData(
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits"));
    ASSERT_TRUE(picture);
    EXPECT_TRUE(fitsRepresentation(*picture));

    QImage jpeg(8, 8, QImage::Format_RGB888);
    jpeg.fill(Qt::gray);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(jpeg.save(&buffer, "JPEG"));
    picture = zeta::platform::Picture::withData(
        zeta::platform::Data(encoded.constData(), static_cast<std::size_t>(encoded.size())));
    ASSERT_TRUE(picture);
    EXPECT_FALSE(fitsRepresentation(*picture));
}
