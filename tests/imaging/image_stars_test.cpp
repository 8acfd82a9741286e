#include "imaging/image.h"
#include "test_decoders.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

class StarTest : public ::testing::Test {
protected:
    void SetUp() override { registerDecoders(); }
};

// A frame whose sample at column c and data row r (rows from the top) is f(c, r).
std::shared_ptr<Image> frame8(std::uint32_t width, std::uint32_t height, const std::function<int(int, int)>& f) {
    std::vector<std::uint8_t> pixels;
    for (std::uint32_t r = 0; r < height; ++r)
        for (std::uint32_t c = 0; c < width; ++c)
            pixels.push_back(static_cast<std::uint8_t>(f(int(c), int(r))));
    return std::make_shared<Image>(rawFrame("RAW1", width, height, pixels), ".raw");
}

std::shared_ptr<Image> frame16(std::uint32_t width, std::uint32_t height, const std::function<int(int, int)>& f) {
    std::vector<std::uint16_t> samples;
    for (std::uint32_t r = 0; r < height; ++r)
        for (std::uint32_t c = 0; c < width; ++c)
            samples.push_back(static_cast<std::uint16_t>(f(int(c), int(r))));
    return std::make_shared<Image>(rawFrame("RAW2", width, height, bytes16(samples)), ".raw");
}

// A Gaussian star centred at column cx and data row cy.
std::function<int(int, int)> gaussian(double cx, double cy, double sigma, double background, double amplitude) {
    return [=](int c, int r) {
        const double d2 = (c - cx) * (c - cx) + (r - cy) * (r - cy);
        return static_cast<int>(std::lround(background + amplitude * std::exp(-d2 / (2 * sigma * sigma))));
    };
}

StarPixels windowOf(const std::function<int(int, int)>& f) {
    StarPixels pixels{};
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c)
            pixels[r][c].value = static_cast<std::uint16_t>(f(c, r));
    return pixels;
}

} // namespace

TEST_F(StarTest, SampleWindowBoundsAndContents) {
    auto image = frame8(20, 20, [](int c, int r) { return r * 10 + c; });
    const struct {
        std::int64_t x, y;
        bool exists;
    } cases[] = {
        {4, 10, true}, {3, 10, false}, {15, 10, true}, {16, 10, false},
        {10, 5, true}, {10, 4, false}, {10, 15, true}, {10, 16, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        EXPECT_EQ(image->sampleWindow(c.x, c.y).has_value(), c.exists);
    }
    // Centre (7, 12): data row 20 - 12 = 8 at the centre, window rows 4..12, columns 3..11.
    const auto w = image->sampleWindow(7, 12);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->x, 7);
    EXPECT_EQ(w->y, 12);
    EXPECT_EQ(w->dx, 0);
    EXPECT_EQ(w->pixels[0][0].value, 4 * 10 + 3);
    EXPECT_EQ(w->pixels[4][4].value, 8 * 10 + 7);
    EXPECT_EQ(w->pixels[8][8].value, 12 * 10 + 11);
    EXPECT_EQ(w->min, 43);
    EXPECT_EQ(w->max, 131);

    // Colour windows: min and max over every channel; brightness is the largest channel.
    std::vector<std::uint8_t> bgr(20 * 20 * 3, 50);
    bgr[(8 * 20 + 7) * 3] = 200;   // blue of the centre pixel
    bgr[(8 * 20 + 8) * 3 + 2] = 3; // red of its right neighbour
    Image colour(rawFrame("RAW3", 20, 20, bgr), ".raw");
    const auto cw = colour.sampleWindow(7, 12);
    ASSERT_TRUE(cw);
    EXPECT_EQ(cw->min, 3);
    EXPECT_EQ(cw->max, 200);
    EXPECT_TRUE(cw->pixels[4][4].isColour);
    EXPECT_EQ(cw->pixels[4][4].blue, 200);
    EXPECT_EQ(cw->pixels[4][4].brightness(), 200);
}

TEST_F(StarTest, FindStarThresholdAndOrder) {
    // A flat field of B scores 0.378 B - 0.002 b: a star from 133 up.
    EXPECT_TRUE(frame8(20, 20, [](int, int) { return 133; })->findStar(5, 10, 10));
    EXPECT_FALSE(frame8(20, 20, [](int, int) { return 132; })->findStar(5, 10, 10));
    // All windows score alike: the first visited (smallest y, then smallest x) wins.
    const auto flat = frame8(20, 20, [](int, int) { return 200; })->findStar(3, 10, 10);
    ASSERT_TRUE(flat);
    EXPECT_EQ(flat->x, 7);
    EXPECT_EQ(flat->y, 7);

    // One bright pixel V at column 10, y 9 (data row 11): found for V = 56, not 55.
    const auto single = [](int v) {
        return frame8(21, 20, [v](int c, int r) { return c == 10 && r == 11 ? v : 0; });
    };
    const auto found = single(56)->findStar(5, 10.7, 9.2);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->x, 10);
    EXPECT_EQ(found->y, 9);
    EXPECT_EQ(found->max, 56);
    EXPECT_EQ(found->min, 0);
    EXPECT_FALSE(single(55)->findStar(5, 10, 9));
    // Too far from the click.
    EXPECT_FALSE(single(200)->findStar(2, 14, 9));

    // Two equal stars: the one with the smaller y, then the smaller x.
    auto twoRows =
        frame8(21, 21, [](int c, int r) { return (c == 8 && r == 21 - 12) || (c == 12 && r == 21 - 8) ? 200 : 0; });
    EXPECT_EQ(twoRows->findStar(5, 10, 10)->y, 8);
    auto twoColumns = frame8(21, 21, [](int c, int r) { return (c == 8 || c == 12) && r == 11 ? 200 : 0; });
    EXPECT_EQ(twoColumns->findStar(5, 10, 10)->x, 8);

    // Caller slips: a negative half-size or a point that is no number finds nothing.
    EXPECT_FALSE(single(200)->findStar(-1, 10, 9));
    EXPECT_FALSE(single(200)->findStar(5, NAN, 9));
    EXPECT_FALSE(single(200)->findStar(5, 10, INFINITY));
    EXPECT_TRUE(single(200)->findStar(INT64_MAX, 10, 9));
}

TEST_F(StarTest, MeasureStarCentroid) {
    auto image = frame8(20, 20, [](int, int) { return 0; });
    const auto measure = [&](const StarPixels& p) {
        return image->measureStar(10, 10, 0, 255, p);
    };

    auto symmetric = windowOf(
        [](int c, int r) { return (c == 4 && r == 4) ? 200 : (std::abs(c - 4) + std::abs(r - 4) == 1 ? 100 : 0); });
    auto s = measure(symmetric);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->dx, 0);
    EXPECT_EQ(s->dy, 0);
    EXPECT_EQ(s->x, 10);
    EXPECT_EQ(s->max, 255);
    EXPECT_EQ(s->pixels, symmetric);

    // More light above the centre (window row 3) and to its right: dy and dx positive.
    auto above = symmetric;
    above[3][4].value = 180;
    above[4][5].value = 150;
    s = measure(above);
    ASSERT_TRUE(s);
    EXPECT_GT(s->dy, 0);
    EXPECT_GT(s->dx, 0);

    EXPECT_FALSE(measure(windowOf([](int, int) { return 77; }))); // flat centre

    // 16-bit samples weigh the brightest cells more: the centroid stays nearer the peak.
    const auto lopsided = [](int scale) {
        return windowOf(
            [scale](int c, int r) { return r == 4 && c == 4 ? 200 * scale : (r == 4 && c == 5 ? 100 * scale : 0); });
    };
    auto deep = frame16(20, 20, [](int, int) { return 0; });
    const double dx8 = image->measureStar(10, 10, 0, 200, lopsided(1))->dx;
    const double dx16 = deep->measureStar(10, 10, 0, 51200, lopsided(256))->dx;
    EXPECT_NEAR(dx8, 1.0 / 3, 1e-4);
    EXPECT_NEAR(dx16, 0.2, 1e-4);
}

TEST_F(StarTest, HalfFluxRadius) {
    auto image = frame8(20, 20, [](int, int) { return 0; });
    EXPECT_EQ(image->hfd(windowOf([](int c, int r) { return c == 4 && r == 4 ? 90 : 0; }), 1, 1), 0);
    EXPECT_EQ(image->hfd(windowOf([](int c, int r) { return std::abs(c - 4) + std::abs(r - 4) == 1 ? 90 : 0; }), 2, 2),
              1);
    // The same point returns the first result, whatever window comes with it.
    EXPECT_EQ(image->hfd(windowOf([](int, int) { return 5; }), 2, 2), 1);
    // A window of zeros passes no half: the previous result stays.
    EXPECT_EQ(image->hfd(windowOf([](int, int) { return 0; }), 3, 3), 1);
    EXPECT_EQ(image->hfd(windowOf([](int, int) { return 0; }), NAN, 3), 1);
}

TEST_F(StarTest, FullWidthAtHalfMaximum) {
    auto image = frame16(20, 20, [](int, int) { return 0; });
    const auto star = windowOf(gaussian(4, 4, 1.2, 100, 10000));
    std::int64_t lo = 65535, hi = 0;
    for (const auto& row : star)
        for (const auto& p : row) {
            lo = std::min<std::int64_t>(lo, p.value);
            hi = std::max<std::int64_t>(hi, p.value);
        }
    EXPECT_NEAR(image->fwhm(lo, hi, star, 10, 10), 2.826, 1e-3);
    // Cached by point.
    EXPECT_NEAR(image->fwhm(0, 0, windowOf([](int, int) { return 0; }), 10, 10), 2.826, 1e-3);
    // A flat window fits every sigma alike: the smallest, 0.5, wins.
    EXPECT_NEAR(image->fwhm(40, 40, windowOf([](int, int) { return 40; }), 11, 10), 1.1775, 1e-9);
}

TEST_F(StarTest, SyntheticGaussianStars) {
    // Stars on a 16-bit frame, centred on a pixel for the widths and off it for the centroid.
    double previousHfd = 0;
    for (const double sigma : {0.8, 1.0, 1.3, 1.6, 2.0}) {
        SCOPED_TRACE(sigma);
        auto image = frame16(40, 40, gaussian(20, 19, sigma, 300, 20000));
        const auto found = image->findStar(5, 21, 20);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->x, 20);
        EXPECT_EQ(found->y, 40 - 19);
        const auto star = image->measureStar(found->x, found->y, found->min, found->max, found->pixels);
        ASSERT_TRUE(star);
        // The 9 x 9 window holds stars up to sigma 1.6 or so; a wider one lifts the window's
        // minimum above the background and the fit narrows.
        if (sigma <= 1.6) {
            EXPECT_NEAR(image->fwhm(star->min, star->max, star->pixels, star->x, star->y), 2.355 * sigma, 0.1);
        }
        const double hfd = image->hfd(star->pixels, star->x, star->y);
        EXPECT_GE(hfd, previousHfd);
        previousHfd = hfd;
    }
    EXPECT_GT(previousHfd, 1.5);

    for (const double sigma : {0.9, 1.2, 1.5}) {
        for (const auto& [ox, oy] : {std::pair{0.3, -0.2}, std::pair{-0.25, 0.35}, std::pair{0.0, 0.0}}) {
            SCOPED_TRACE(testing::Message() << sigma << " " << ox << " " << oy);
            const double column = 20 + ox, row = 19 + oy;
            for (const bool deep : {false, true}) {
                auto image = deep ? frame16(40, 40, gaussian(column, row, sigma, 300, 20000))
                                  : frame8(40, 40, gaussian(column, row, sigma, 10, 230));
                const auto found = image->findStar(5, 20, 21);
                ASSERT_TRUE(found);
                const auto star = image->measureStar(found->x, found->y, found->min, found->max, found->pixels);
                ASSERT_TRUE(star);
                EXPECT_NEAR(star->x + star->dx, column, 0.1);
                EXPECT_NEAR(star->y + star->dy, 40 - row, 0.1);
            }
        }
    }
}
