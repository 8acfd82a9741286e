// Statistics of real frames against numpy computing the same sampling (astropy reads the
// files), run through /usr/bin/python3.

#include "fits_bytes.h"
#include "imaging/fits_image_rep.h"
#include "imaging/image.h"
#include "support/command.h"
#include "support/temp_dir.h"
#include "test_decoders.h"

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
