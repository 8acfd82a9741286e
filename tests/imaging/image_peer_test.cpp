// Statistics of real frames against numpy computing the same sampling (astropy reads the
// files), run through /usr/bin/python3.

#include "fits_bytes.h"
#include "imaging/fits_image_rep.h"
#include "imaging/image.h"
#include "support/command.h"
#include "support/temp_dir.h"
#include "test_decoders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using test_support::commandOutput;

TEST(ImagePeer, StatisticsOfRealFramesAgreeWithNumpy) {
    registerDecoders();
    const std::string astropy = "/usr/lib/python3/dist-packages/astropy/io/fits/tests/data/";
    if (!std::filesystem::exists(astropy)) GTEST_SKIP() << "python3-astropy is not installed";
    const std::vector<std::string> files = {
        ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits",
        astropy + "fixed-1890.fits",
        astropy + "comp.fits",
        astropy + "compressed_image.fits",
        astropy + "o4sp040b0_raw.fits",
    };
    std::string command = "/usr/bin/python3 " ZETA_SOURCE_DIR "/tests/imaging/numpy_statistics.py";
    for (const auto& f : files)
        command += " '" + f + "'";
    std::istringstream lines(commandOutput(command));
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream fields(line);
        std::int64_t width, height, min, max, average, median, black, white;
        fields >> width >> height >> min >> max >> average >> median >> black >> white;
        std::array<std::int64_t, 256> histo{};
        for (auto& bin : histo)
            fields >> bin;
        ASSERT_TRUE(fields);

        Image image(zeta::platform::Data::contentsOfFile(file.c_str()), ".fits");
        EXPECT_EQ(image.width(), width);
        EXPECT_EQ(image.height(), height);
        EXPECT_EQ(image.min(), min);
        EXPECT_EQ(image.max(), max);
        EXPECT_EQ(image.average(), average);
        EXPECT_EQ(image.median(), median);
        EXPECT_EQ(image.autoBlackPoint(), black);
        EXPECT_EQ(image.autoWhitePoint(), white);
        EXPECT_EQ(image.histo(), histo);
    }
}

TEST(ImagePeer, LargeTileCompressedFramesDecodeLikeThePlainOnes) {
    // Enough rows of tiles that decompression is split across threads, rows of fpack's
    // default tiles and of tiles 7 rows high that straddle the split.
    test_support::TempDir folder;
    constexpr long kWidth = 500, kHeight = 1603;
    std::vector<std::uint16_t> values(std::size_t(kWidth) * kHeight);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint16_t>(1000 + (i * 2654435761u >> 20) % 3000);
    const auto plainBytes = fits_bytes::unsigned16(kWidth, kHeight, values);
    const auto plainPath = folder.path() / "plain.fits";
    std::ofstream(plainPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(plainBytes.data()), static_cast<std::streamsize>(plainBytes.size()));
    for (const char* tiles : {"", "-t 500,7"}) {
        SCOPED_TRACE(tiles);
        const auto packedPath = folder.path() / "packed.fits.fz";
        std::filesystem::remove(packedPath);
        commandOutput("fpack " + std::string(tiles) + " -O '" + packedPath.string() + "' '" + plainPath.string() +
                      "' 2>&1");
        const auto data = zeta::platform::Data::contentsOfFile(packedPath.c_str());
        ASSERT_GT(data.length(), 2880u) << "fpack did not run";
        for (const auto where :
             {FITSIO::FITSImageRep::Decompression::InHelper, FITSIO::FITSImageRep::Decompression::InProcess}) {
            const FITSIO::FITSImageRep rep(data, where);
            ASSERT_TRUE(rep.bitmapData());
            ASSERT_EQ(rep.pixelsWide(), kWidth);
            ASSERT_EQ(rep.pixelsHigh(), kHeight);
            EXPECT_EQ(std::memcmp(rep.bitmapData(), values.data(), values.size() * 2), 0);
        }
    }
}

namespace {

std::vector<std::int32_t> readValues(const std::filesystem::path& path) {
    const auto data = zeta::platform::Data::contentsOfFile(path.c_str());
    std::vector<std::int32_t> values(data.length() / 4);
    std::memcpy(values.data(), data.bytes(), values.size() * 4);
    return values;
}

// A value as a 16-bit sample: below 0 reads as 0.
std::uint16_t clamped(std::int32_t v) {
    return static_cast<std::uint16_t>(std::clamp<std::int32_t>(v, 0, 65535));
}

} // namespace

TEST(ImagePeer, TileCompressedFramesWithValuesBelowZeroDecodeEveryTile) {
    // astropy writes the frames (and reads back the values); fpack compresses the plain ones.
    test_support::TempDir folder;
    const auto at = [&](const char* name) {
        return (folder.path() / name).string();
    };
    commandOutput("/usr/bin/python3 " ZETA_SOURCE_DIR "/tests/imaging/compressed_fits.py '" + folder.path().string() +
                  "' 2>&1");
    const auto grey = readValues(at("grey.values"));
    const auto rgb = readValues(at("rgb.values"));
    ASSERT_EQ(grey.size(), 30u * 40);
    ASSERT_EQ(rgb.size(), 3u * 30 * 40);
    for (const auto* options : {"-r", "-g", "-h"}) {
        commandOutput(std::string("fpack -t 30,8 ") + options + " -O '" + at("fpack") + options + ".fz' '" +
                      at("plain_16.fits") + "' 2>&1");
    }
    commandOutput("fpack -t 30,8,1 -O '" + at("fpack-rgb.fz") + "' '" + at("plain_rgb.fits") + "' 2>&1");

    const struct {
        const char* file;
        bool colour;
        bool decodes; // 32-bit frames are not shown
    } cases[] = {
        {"astropy_RICE_1_16.fits", false, true},
        {"astropy_GZIP_1_16.fits", false, true},
        {"astropy_HCOMPRESS_1_16.fits", false, true},
        {"fpack-r.fz", false, true},
        {"fpack-g.fz", false, true},
        {"fpack-h.fz", false, true},
        {"astropy_RICE_1_rgb.fits", true, true},
        {"astropy_GZIP_1_rgb.fits", true, true},
        {"fpack-rgb.fz", true, true},
        {"astropy_RICE_1_32.fits", false, false},
        {"astropy_GZIP_1_32.fits", false, false},
        {"astropy_HCOMPRESS_1_32.fits", false, false},
    };
    for (const auto& c : cases) {
        const auto data = zeta::platform::Data::contentsOfFile(at(c.file).c_str());
        ASSERT_GT(data.length(), 2880u) << c.file << " was not written";
        for (const auto where :
             {FITSIO::FITSImageRep::Decompression::InHelper, FITSIO::FITSImageRep::Decompression::InProcess}) {
            SCOPED_TRACE(std::string(c.file) +
                         (where == FITSIO::FITSImageRep::Decompression::InHelper ? " in the helper" : " in process"));
            const FITSIO::FITSImageRep rep(data, where);
            if (!c.decodes) {
                EXPECT_FALSE(rep.bitmapData());
                EXPECT_EQ(rep.failureReason(), "FITS image with NAXIS 2 and BITPIX 32: only 2 or 3 axes of 8 or 16 "
                                               "bits are shown");
                continue;
            }
            ASSERT_TRUE(rep.bitmapData()) << rep.failureReason();
            ASSERT_EQ(rep.pixelsWide(), 30);
            ASSERT_EQ(rep.pixelsHigh(), 40);
            std::size_t wrong = 0;
            if (c.colour) {
                ASSERT_EQ(rep.samplesPerPixel(), 3);
                for (std::size_t i = 0; i < 30 * 40; ++i)
                    for (std::size_t p = 0; p < 3; ++p)
                        wrong += rep.bitmapData()[3 * i + p] != clamped(rgb[p * 30 * 40 + i]) >> 8;
            } else {
                ASSERT_EQ(rep.bitsPerSample(), 16);
                for (std::size_t i = 0; i < grey.size(); ++i) {
                    std::uint16_t v;
                    std::memcpy(&v, rep.bitmapData() + 2 * i, 2);
                    wrong += v != clamped(grey[i]);
                }
            }
            EXPECT_EQ(wrong, 0u);
        }
    }
}
