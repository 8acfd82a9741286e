// Bahtinov-mask spikes: brightness scores of segments across a rectangle, the brightest as
// the central spike and the brightest at 15 to 30 degrees either side of it as the others.

#include "imaging/image.h"
#include "imaging/pixel_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

// Rounds to the nearest integer, halves away from zero, without a library call.
inline std::int64_t nearest(double v) {
    auto r = static_cast<std::int64_t>(v);
    const double fraction = v - static_cast<double>(r);
    if (fraction >= 0.5) ++r;
    if (fraction <= -0.5) --r;
    return r;
}

// The score of a segment over any reader; read(x, y) gives the value at column x and y
// (upward), or -1 for a point it cannot read, which is skipped.
template <class Read>
double segmentScore(const Read& read, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    const std::int64_t dx = x2 - x1, dy = y2 - y1;
    const bool alongX = std::llabs(dx) > std::llabs(dy);
    const std::int64_t length = alongX ? std::llabs(dx) : std::llabs(dy);
    const std::int64_t n = length - 2;
    if (n < 1) return 0;
    const std::int64_t direction = (alongX ? dx : dy) > 0 ? 1 : -1;
    const double across = static_cast<double>(alongX ? dy : dx) / static_cast<double>(length);
    const std::int64_t a0 = alongX ? x1 : y1, b0 = alongX ? y1 : x1;
    const std::int64_t t = n / 3;
    std::int64_t sum = 0;
    const auto visit = [&](std::int64_t i) {
        const std::int64_t k = i + 1;
        const std::int64_t a = a0 + k * direction;
        const std::int64_t b = nearest(static_cast<double>(b0) + static_cast<double>(k) * across);
        const std::int64_t v = alongX ? read(a, b) : read(b, a);
        if (v > 0) sum += v;
    };
    // The middle third (t ... 2t) is skipped: only the outer thirds carry the spike clearly.
    for (std::int64_t i = 0; i < t; ++i)
        visit(i);
    for (std::int64_t i = 2 * t + 1; i <= n; ++i)
        visit(i);
    return static_cast<double>(sum) / static_cast<double>(n);
}

// The same score over a grid of the rectangle's values (0 for points outside the frame, which
// adds what skipping adds: nothing). End points are absolute; the grid starts at (gx, gy).
// Every point of a segment between two grid points lies on the grid, so nothing is checked.
double gridScore(const std::int32_t* grid, std::int64_t stride, std::int64_t gx, std::int64_t gy, std::int64_t x1,
                 std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    const std::int64_t dx = x2 - x1, dy = y2 - y1;
    const bool alongX = std::llabs(dx) > std::llabs(dy);
    const std::int64_t length = alongX ? std::llabs(dx) : std::llabs(dy);
    const std::int64_t n = length - 2;
    if (n < 1) return 0;
    const std::int64_t direction = (alongX ? dx : dy) > 0 ? 1 : -1;
    const double across = static_cast<double>(alongX ? dy : dx) / static_cast<double>(length);
    const std::int64_t a0 = alongX ? x1 : y1, b0 = alongX ? y1 : x1;
    // Offsets of one step along and of one unit across, in grid cells.
    const std::int64_t alongStep = alongX ? direction : direction * stride;
    const std::int64_t acrossUnit = alongX ? stride : 1;
    const std::int64_t bOrigin = alongX ? gy : gx;
    const std::int32_t* base = grid + (alongX ? (a0 - gx) : (a0 - gy) * stride);
    const double b0d = static_cast<double>(b0);
    const std::int64_t t = n / 3;
    std::int64_t sum = 0;
    const auto run = [&](std::int64_t from, std::int64_t to) {
        for (std::int64_t i = from; i < to; ++i) {
            const std::int64_t k = i + 1;
            const std::int64_t b = nearest(b0d + static_cast<double>(k) * across) - bOrigin;
            sum += base[k * alongStep + b * acrossUnit];
        }
    };
    run(0, t);
    run(2 * t + 1, n + 1);
    return static_cast<double>(sum) / static_cast<double>(n);
}

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// The value a line is scored with, by layout: grey, or the green (first for 32 bits) sample.
struct BitmapReader {
    const std::uint8_t* data = nullptr;
    std::int64_t width = 0, height = 0, bytesPerPixel = 0, offset = 0;
    PixelLayout layout = PixelLayout::Other;

    BitmapReader(const zeta::platform::BitmapImageRep* rep, std::int64_t w, std::int64_t h) : width(w), height(h) {
        if (!rep || !rep->bitmapData() || w <= 0 || h <= 0) return;
        layout = pixelLayoutOf(*rep);
        data = rep->bitmapData();
        bytesPerPixel = rep->bitsPerPixel() / 8;
        switch (layout) {
        case PixelLayout::RGB24:
            offset = 1;
            break;
        case PixelLayout::RGB32:
            offset = colourOffset32(*rep);
            break;
        case PixelLayout::RGB48:
            offset = 2;
            break;
        default:
            offset = 0;
        }
    }

    std::int64_t operator()(std::int64_t x, std::int64_t y) const {
        if (!data || layout == PixelLayout::Other) return -1;
        const std::int64_t row = height - y;
        if (x < 0 || x >= width || row < 0 || row >= height) return -1;
        const std::uint8_t* at = data + static_cast<std::size_t>((row * width + x) * bytesPerPixel + offset);
        return layout == PixelLayout::Grey16 || layout == PixelLayout::RGB48 ? load16(at) : at[0];
    }
};

} // namespace

BahtinovLine Image::lineScore(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) const {
    const BitmapReader reader(originalImageRep_.get(), width_, height_);
    return {x1, y1, x2, y2, segmentScore(reader, x1, y1, x2, y2), 0};
}

std::array<std::optional<BahtinovLine>, 3> Image::bahtinovLines(double x, double y, double width, double height) const {
    std::array<std::optional<BahtinovLine>, 3> result;
    if (!(width > 50 && width < 300 && height > 50 && height < 300)) return result;
    // Far outside any frame (or not a number): nothing could be read there.
    if (!(std::fabs(x) < 1e12 && std::fabs(y) < 1e12)) return result;
    const auto X0 = static_cast<std::int64_t>(x), Y0 = static_cast<std::int64_t>(y);
    const auto W = static_cast<std::int64_t>(width), H = static_cast<std::int64_t>(height);
    const std::int64_t X1 = X0 + W, Y1 = Y0 + H;

    // Every segment lies within the rectangle's corners: read them once into a grid, points
    // outside the frame as 0.
    const BitmapReader bitmap(originalImageRep_.get(), width_, height_);
    const std::int64_t stride = W + 1;
    std::vector<std::int32_t> grid(static_cast<std::size_t>(stride * (H + 1)));
    for (std::int64_t gy = 0; gy <= H; ++gy)
        for (std::int64_t gx = 0; gx <= W; ++gx)
            grid[static_cast<std::size_t>(gy * stride + gx)] =
                static_cast<std::int32_t>(std::max<std::int64_t>(0, bitmap(X0 + gx, Y0 + gy)));
    const auto scoreOf = [&](std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
        return gridScore(grid.data(), stride, X0, Y0, x1, y1, x2, y2);
    };

    constexpr double pi = std::numbers::pi;
    std::vector<BahtinovLine> lines;
    lines.reserve(static_cast<std::size_t>(W + H));
    // Left to right: from every point of the left edge to the best point of the right edge.
    for (std::int64_t n = Y0; n < Y1; ++n) {
        BahtinovLine best{0, 0, 0, 0, -1, 0};
        for (std::int64_t i = 0; i < H; ++i) {
            const double score = scoreOf(X0, n, X1, Y0 + i);
            if (score > best.score) best = {X0, n, X1, Y0 + i, score, 0};
        }
        best.angle = std::fmod(std::atan2(static_cast<double>(best.y1 - best.y2), static_cast<double>(W)) + pi, pi);
        lines.push_back({best.x1 - X0, best.y1 - Y0, best.x2 - X0, best.y2 - Y0, best.score, best.angle});
    }
    // Bottom to top.
    for (std::int64_t n = X0; n < X1; ++n) {
        BahtinovLine best{0, 0, 0, 0, -1, 0};
        for (std::int64_t i = 0; i < W; ++i) {
            const double score = scoreOf(n, Y0, X0 + i, Y1);
            if (score > best.score) best = {n, Y0, X0 + i, Y1, score, 0};
        }
        best.angle = std::fmod(std::atan2(static_cast<double>(H), static_cast<double>(best.x1 - best.x2)) + pi, pi);
        lines.push_back({best.x1 - X0, best.y1 - Y0, best.x2 - X0, best.y2 - Y0, best.score, best.angle});
    }

    const BahtinovLine* central = nullptr;
    for (const auto& line : lines)
        if (!central || line.score > central->score) central = &line;
    const double a0 = central->angle;
    const auto side = [&](auto difference) -> std::optional<BahtinovLine> {
        const BahtinovLine* chosen = nullptr;
        double bestScore = -1;
        for (const auto& line : lines) {
            const double d = difference(line.angle);
            if (d > pi / 12 && d < pi / 6 && line.score > bestScore) {
                bestScore = line.score;
                chosen = &line;
            }
        }
        if (!chosen) return std::nullopt;
        return *chosen;
    };
    result[0] = *central;
    result[1] = side([&](double angle) { return std::fmod(angle - a0 + pi, pi); });
    result[2] = side([&](double angle) { return std::fmod(a0 - angle + pi, pi); });
    return result;
}
