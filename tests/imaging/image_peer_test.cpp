// Statistics of real frames against numpy computing the same sampling (astropy reads the
// files), run through /usr/bin/python3.

#include "imaging/image.h"
#include "support/command.h"
#include "test_decoders.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

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
