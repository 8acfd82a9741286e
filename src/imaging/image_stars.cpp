// Star search, centroid and the two focus metrics of an Image: all of them work on a 9 x 9
// window of raw samples, accumulating in 64 bits.

#include "imaging/image.h"
#include "imaging/pixel_layout.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// Weight and cell count of each ring in the star score. The counts are the score's own
// (ring 8 counts 48 and the background divides by 85), not the cells of the ring table.
constexpr std::array<double, 9> kRingWeight = {0.906, 0.584, 0.365, 0.117, 0.049, -0.05, -0.064, -0.074, -0.094};
constexpr std::array<std::int64_t, 9> kRingCount = {1, 4, 4, 4, 8, 4, 4, 8, 48};
constexpr double kBackgroundDivisor = 85.0;
constexpr double kStarScoreThreshold = 50.0;

// Coordinates far beyond any frame are treated like points outside it.
constexpr double kCoordinateLimit = 1e15;

std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

StarPixel readPixel(const zeta::platform::BitmapImageRep& rep, PixelLayout layout, std::int64_t p) {
    const std::uint8_t* at =
        rep.bitmapData() + static_cast<std::size_t>(p) * static_cast<std::size_t>(rep.bitsPerPixel() / 8);
    StarPixel s;
    switch (layout) {
    case PixelLayout::Grey8:
        s.value = at[0];
        break;
    case PixelLayout::Grey16:
        s.value = load16(at);
        break;
    case PixelLayout::RGB24:
    case PixelLayout::RGB32: {
        const std::uint8_t* c = at + (layout == PixelLayout::RGB32 ? colourOffset32(rep) : 0);
        s.isColour = true;
        s.red = c[0];
        s.green = c[1];
        s.blue = c[2];
        break;
    }
    case PixelLayout::RGB48:
        s.isColour = true;
        s.red = load16(at);
        s.green = load16(at + 2);
        s.blue = load16(at + 4);
        break;
    case PixelLayout::Other:
        break;
    }
    return s;
}

double starScore(const StarPixels& pixels) {
    std::array<std::int64_t, 9> ring{};
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c)
            ring[static_cast<std::size_t>(Image::INDICES[r][c])] += pixels[r][c].brightness();
    std::int64_t total = 0;
    for (const auto s : ring)
        total += s;
    const auto background = static_cast<std::int64_t>(static_cast<double>(total) / kBackgroundDivisor);
    double score = 0;
    for (std::size_t k = 0; k < 9; ++k)
        score += kRingWeight[k] * static_cast<double>(ring[k] - kRingCount[k] * background);
    return score;
}

// The window cell that the point (x, y) falls on, in window columns and rows: the centre
// cell (4, 4) shifted by the fractional parts, y upward and rows downward.
void windowCentre(double x, double y, double& column, double& row) {
    column = 4 + (x - std::round(x));
    row = 4 - (y - std::round(y));
}

} // namespace

std::optional<StarSample> Image::sampleWindow(std::int64_t x, std::int64_t y) const {
    const auto& rep = originalImageRep_;
    if (!rep || !rep->bitmapData() || size_ == 0) return std::nullopt;
    const PixelLayout layout = pixelLayoutOf(*rep);
    if (layout == PixelLayout::Other) return std::nullopt;
    if (x < 4 || x > width_ - 5 || y < 5 || y > height_ - 5) return std::nullopt;
    StarSample s;
    s.x = static_cast<double>(x);
    s.y = static_cast<double>(y);
    s.min = isSixteenBitLayout(layout) ? 65535 : 255;
    s.max = 0;
    for (int i = 0; i < 9; ++i) {
        const std::int64_t row = height_ - y - 4 + i;
        for (int j = 0; j < 9; ++j) {
            const StarPixel pixel = readPixel(*rep, layout, row * width_ + (x - 4 + j));
            s.pixels[i][j] = pixel;
            const auto note = [&](std::int64_t v) {
                s.min = std::min(s.min, v);
                s.max = std::max(s.max, v);
            };
            if (pixel.isColour) {
                note(pixel.red);
                note(pixel.green);
                note(pixel.blue);
            } else {
                note(pixel.value);
            }
        }
    }
    return s;
}

std::optional<StarSample> Image::findStar(std::int64_t a, double x, double y) const {
    if (!originalImageRep_ || a < 0 || !std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > kCoordinateLimit ||
        std::fabs(y) > kCoordinateLimit)
        return std::nullopt;
    const auto X = static_cast<std::int64_t>(std::trunc(x));
    const auto Y = static_cast<std::int64_t>(std::trunc(y));
    // Centres outside these bounds have no window; visiting only the rest keeps the order.
    a = std::min<std::int64_t>(a, std::max(width_, height_) + 10);
    const std::int64_t firstY = std::max(Y - a, std::int64_t(5)), lastY = std::min(Y + a, height_ - 5);
    const std::int64_t firstX = std::max(X - a, std::int64_t(4)), lastX = std::min(X + a, width_ - 5);
    double best = 0.0;
    std::optional<StarSample> candidate;
    for (std::int64_t cy = firstY; cy <= lastY; ++cy) {
        for (std::int64_t cx = firstX; cx <= lastX; ++cx) {
            auto window = sampleWindow(cx, cy);
            if (!window) continue;
            const double score = starScore(window->pixels);
            if (score > best) {
                best = score;
                candidate = std::move(window);
            }
        }
    }
    if (best > kStarScoreThreshold) return candidate;
    return std::nullopt;
}

std::optional<StarSample> Image::measureStar(double x, double y, std::int64_t min, std::int64_t max,
                                             const StarPixels& pixels) const {
    std::int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (int r = 2; r <= 6; ++r)
        for (int c = 2; c <= 6; ++c) {
            lo = std::min(lo, pixels[r][c].brightness());
            hi = std::max(hi, pixels[r][c].brightness());
        }
    const double scale = static_cast<double>(hi - lo) / 10000.0;
    if (scale == 0) return std::nullopt;
    const bool squared = originalImageRep_ && pixelLayoutOf(*originalImageRep_) == PixelLayout::Grey16;
    std::int64_t sx = 0, sy = 0, total = 0;
    for (int r = 2; r <= 6; ++r)
        for (int c = 2; c <= 6; ++c) {
            auto w = static_cast<std::int64_t>(static_cast<double>(pixels[r][c].brightness() - lo) / scale);
            if (squared) w *= w;
            sx += (c - 4) * w;
            sy += (r - 4) * w;
            total += w;
        }
    if (total <= 0) return std::nullopt;
    StarSample s;
    s.x = x;
    s.dx = static_cast<double>(sx) / static_cast<double>(total);
    s.y = y;
    s.dy = -static_cast<double>(sy) / static_cast<double>(total);
    s.min = min;
    s.max = max;
    s.pixels = pixels;
    return s;
}

double Image::hfd(const StarPixels& pixels, double x, double y) const {
    std::lock_guard lock(mutex_);
    if (hfdLastX_ && hfdLastY_ && *hfdLastX_ == x && *hfdLastY_ == y) return hfdLastValue_;
    hfdLastX_ = x;
    hfdLastY_ = y;
    if (!std::isfinite(x) || !std::isfinite(y)) return hfdLastValue_;
    double cx = 4, cy = 4;
    windowCentre(x, y, cx, cy);

    struct Cell {
        double distance;
        std::int64_t value;
    };
    std::array<Cell, 81> cells;
    std::int64_t total = 0;
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) {
            const std::int64_t v = pixels[r][c].brightness();
            cells[static_cast<std::size_t>(r * 9 + c)] = {(c - cx) * (c - cx) + (r - cy) * (r - cy), v};
            total += v;
        }
    std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) { return a.distance < b.distance; });
    const std::int64_t half = total / 2;
    std::int64_t running = 0;
    for (const Cell& cell : cells) {
        running += cell.value;
        if (running > half) {
            hfdLastValue_ = std::sqrt(cell.distance);
            break;
        }
    }
    return hfdLastValue_;
}

double Image::fwhm(std::int64_t min, std::int64_t max, const StarPixels& pixels, double x, double y) const {
    std::lock_guard lock(mutex_);
    if (fwhmLastX_ && fwhmLastY_ && *fwhmLastX_ == x && *fwhmLastY_ == y) return fwhmLastValue_;
    fwhmLastX_ = x;
    fwhmLastY_ = y;
    double cx = 4, cy = 4;
    if (std::isfinite(x) && std::isfinite(y)) windowCentre(x, y, cx, cy);

    std::array<double, 81> distance;
    std::array<double, 81> brightness;
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) {
            const auto i = static_cast<std::size_t>(r * 9 + c);
            distance[i] = (c - cx) * (c - cx) + (r - cy) * (r - cy);
            brightness[i] = static_cast<double>(pixels[r][c].brightness());
        }
    const double amplitude = static_cast<double>(max - min);
    const double background = static_cast<double>(min);
    const auto rms = [&](double sigma) {
        double sum = 0;
        for (std::size_t i = 0; i < 81; ++i) {
            const double e = amplitude * std::exp(-distance[i] / (2 * sigma * sigma)) + background - brightness[i];
            sum += e * e;
        }
        return std::sqrt(sum / 81);
    };

    // Successive refinement: sweeps of steps 0.5, 0.05, 0.005 and 0.0005, each around the
    // best sigma so far; the smallest sigma wins a tie.
    double step = 0.5;
    double from = 0.5, to = 5.0;
    double bestError = FLT_MAX;
    double bestSigma = 0;
    for (;;) {
        for (double s = from; s <= to; s += step) {
            const double error = rms(s);
            if (error < bestError) {
                bestError = error;
                bestSigma = s;
            }
        }
        step /= 10;
        if (!(step > 0.00005)) break;
        from = bestSigma - 5 * step;
        to = bestSigma + 5 * step;
    }
    fwhmLastValue_ = 2.355 * bestSigma;
    return fwhmLastValue_;
}
