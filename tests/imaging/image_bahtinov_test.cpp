// Bahtinov-mask lines: the segment score, the size window, angles, frames edges and the
// accuracy on a synthetic pattern.

#include "bahtinov_pattern.h"
#include "imaging/image.h"
#include "test_decoders.h"

#include <functional>
#include <gtest/gtest.h>
#include <numbers>

namespace {

constexpr double pi = std::numbers::pi;

class BahtinovTest : public ::testing::Test {
protected:
    void SetUp() override { registerDecoders(); }

    // An 8-bit frame; value(x, y) with y upward (y = height is the first row).
    template <class F>
    static Image grey8(int width, int height, F value) {
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height));
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x)
                pixels[static_cast<std::size_t>(row * width + x)] = static_cast<std::uint8_t>(value(x, height - row));
        return Image(testBitmap(width, height, 8, 1, 8, pixels), ".zbmp");
    }
};

TEST_F(BahtinovTest, LineScoreSamplesTheOuterThirdsAndDividesBySteps) {
    // Pixel value = its column + 1 on row y = 5.
    const Image image = grey8(20, 10, [](int x, int y) { return y == 5 ? x + 1 : 0; });
    // Left to right: x = 1, 2, 3 and 8 ... 11 are summed.
    const double forward = (2 + 3 + 4 + 9 + 10 + 11 + 12) / 10.0;
    EXPECT_DOUBLE_EQ(image.lineScore(0, 5, 12, 5).score, forward);
    // Right to left: x = 11, 10, 9 and 4 ... 1.
    const double backward = (12 + 11 + 10 + 5 + 4 + 3 + 2) / 10.0;
    EXPECT_DOUBLE_EQ(image.lineScore(12, 5, 0, 5).score, backward);
    const auto line = image.lineScore(0, 5, 12, 5);
    EXPECT_EQ(line.x1, 0);
    EXPECT_EQ(line.x2, 12);
    EXPECT_EQ(line.angle, 0);
    // Too short to have a step, and no bitmap: 0, never a division by zero.
    EXPECT_EQ(image.lineScore(0, 5, 2, 5).score, 0);
    EXPECT_EQ(image.lineScore(3, 3, 3, 3).score, 0);
    const Image empty(zeta::platform::Data(std::vector<std::uint8_t>{1, 2, 3}), ".bin");
    EXPECT_EQ(empty.lineScore(0, 5, 12, 5).score, 0);
}

TEST_F(BahtinovTest, LineScoreReadsEachLayoutsValueAndSkipsPointsOutsideTheFrame) {
    // A 24-bit frame scores the green byte.
    std::vector<std::uint8_t> rgb(20 * 10 * 3, 0);
    for (int x = 0; x < 20; ++x) {
        rgb[static_cast<std::size_t>((10 - 5) * 20 + x) * 3 + 0] = 200;
        rgb[static_cast<std::size_t>((10 - 5) * 20 + x) * 3 + 1] = 7;
    }
    const Image colour(testBitmap(20, 10, 8, 3, 24, rgb), ".zbmp");
    EXPECT_DOUBLE_EQ(colour.lineScore(0, 5, 12, 5).score, 7 * 7 / 10.0);
    // A segment along the last column, past the top and bottom rows, reads only inside: of
    // the sampled y = -4 ... 4 and 15 ... 24 that is y = 1 ... 4.
    const Image image = grey8(20, 10, [](int x, int) { return x == 19 ? 1 : 0; });
    EXPECT_DOUBLE_EQ(image.lineScore(19, -5, 19, 25).score, 4 / 28.0);
    // Past the right edge: nothing read.
    EXPECT_EQ(image.lineScore(20, 0, 20, 12).score, 0);
}

TEST_F(BahtinovTest, SizeWindowIsStrict) {
    const Image image = grey8(400, 400, [](int, int y) { return y == 200 ? 200 : 10; });
    struct Case {
        double w, h;
        bool analysed;
    } cases[] = {{50, 100, false}, {100, 50, false}, {300, 100, false}, {100, 300, false},
                 {51, 51, true},   {299, 299, true}, {50.5, 60, true},  {0, 0, false}};
    for (const auto& c : cases) {
        const auto lines = image.bahtinovLines(10, 150, c.w, c.h);
        EXPECT_EQ(lines[0].has_value(), c.analysed) << c.w << " x " << c.h;
    }
}

TEST_F(BahtinovTest, AnglesOfHorizontalVerticalRisingAndFallingLines) {
    struct Case {
        const char* name;
        std::function<int(int, int)> value;
        double lo, hi;
    } cases[] = {
        {"horizontal", [](int, int y) { return y == 130 ? 250 : 5; }, 0, 1e-12},
        {"vertical", [](int x, int) { return x == 140 ? 250 : 5; }, pi / 2 - 1e-12, pi / 2 + 1e-12},
        {"rising", [](int x, int y) { return std::abs((y - 100) - (x - 100) / 2) == 0 ? 250 : 5; }, pi / 2, pi},
        {"falling", [](int x, int y) { return std::abs((y - 160) + (x - 100) / 2) == 0 ? 250 : 5; }, 0, pi / 2},
    };
    for (const auto& c : cases) {
        const Image image = grey8(300, 300, c.value);
        const auto lines = image.bahtinovLines(100, 100, 80, 80);
        ASSERT_TRUE(lines[0]) << c.name;
        EXPECT_GE(lines[0]->angle, c.lo) << c.name;
        EXPECT_LE(lines[0]->angle, c.hi) << c.name;
        // One spike alone: nothing 15 to 30 degrees from it stands out, but the side lines are
        // the best among the weak ones or absent; either way they are not the central line.
        for (int k = 1; k < 3; ++k) {
            if (lines[k]) {
                EXPECT_GT(std::fabs(lines[k]->angle - lines[0]->angle), pi / 12 - 1e-9) << c.name;
            }
        }
    }
}

TEST_F(BahtinovTest, RectangleOnTheFramesLastRowAndColumnReadsOnlyInside) {
    // The rectangle reaches one pixel past the right and top edges (and below the bottom).
    const Image image = grey8(120, 100, [](int, int y) { return y == 50 ? 250 : 3; });
    const auto lines = image.bahtinovLines(60, 0, 60, 100 - 1e-9);
    ASSERT_TRUE(lines[0]);
    EXPECT_EQ(lines[0]->y1, 50);
    EXPECT_EQ(lines[0]->y2, 50);
    const auto outside = image.bahtinovLines(1e300, -1e300, 100, 100);
    EXPECT_FALSE(outside[0]);
}

TEST_F(BahtinovTest, SyntheticPatternGivesLinesWithinHalfADegree) {
    for (const double defocus : {-4.0, -1.5, 0.0, 2.0, 5.0}) {
        bahtinov_pattern::Pattern p;
        p.defocus = defocus;
        const Image image(testBitmap(p.width, p.height, 16, 1, 16, bytes16(bahtinov_pattern::render(p))), ".zbmp");
        const auto lines = image.bahtinovLines(p.cx - 80, p.cy - 80, 160, 160);
        ASSERT_TRUE(lines[0] && lines[1] && lines[2]) << defocus;
        const double degree = pi / 180;
        EXPECT_NEAR(lines[0]->angle, bahtinov_pattern::reportedAngle(p.centralDegrees), 0.5 * degree) << defocus;
        // The side spike at +20 degrees is reported 20 degrees lower, the other 20 higher.
        EXPECT_NEAR(lines[1]->angle, bahtinov_pattern::reportedAngle(p.centralDegrees - p.sideDegrees), 0.5 * degree);
        EXPECT_NEAR(lines[2]->angle, bahtinov_pattern::reportedAngle(p.centralDegrees + p.sideDegrees), 0.5 * degree);
    }
}

} // namespace
