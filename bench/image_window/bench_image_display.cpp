// A new 24-megapixel 16-bit frame handed to the image window until its fitted view is
// painted, against one memcpy of the frame's bytes (the least any display of it costs); the
// two are timed in turn.

#include "image_window/image_controller.h"
#include "image_window/image_window.h"
#include "imaging/test_bitmap_image_rep.h"
#include "support/bench_figures.h"

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Sky with noise and a scatter of stars, some saturated.
std::vector<std::uint16_t> starField(std::uint64_t seed) {
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    std::uint64_t state = seed;
    const auto next = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    for (auto& p : pixels)
        p = static_cast<std::uint16_t>(1200 + (next() - 0.5) * 200);
    for (int s = 0; s < 2000; ++s) {
        const int cx = static_cast<int>(next() * kWidth), cy = static_cast<int>(next() * kHeight);
        const double peak = 500 + 80000 * next() * next();
        for (int y = std::max(0, cy - 6); y < std::min(kHeight, cy + 7); ++y)
            for (int x = std::max(0, cx - 6); x < std::min(kWidth, cx + 7); ++x) {
                auto& p = pixels[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)];
                p = static_cast<std::uint16_t>(
                    std::min(65535.0, p + peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 4.5)));
            }
    }
    return pixels;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    zeta::platform::ImageRep::registerImageRepClass<TestBitmapImageRep>();

    // Frames made beforehand, as the camera's thread makes them before handing them over.
    std::vector<std::shared_ptr<Image>> frames;
    for (std::uint64_t seed = 1; seed <= 2; ++seed)
        frames.push_back(
            std::make_shared<Image>(testBitmap(kWidth, kHeight, 16, 1, 16, bytes16(starField(seed))), ".zbmp"));

    ImageController controller;
    ImageWindow window(controller);
    window.resize(1600, 1000);
    window.show();
    app.processEvents();

    std::size_t next = 0;
    const std::size_t bytes = std::size_t(kWidth) * kHeight * 2;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    const zeta::bench::PairMs pair = zeta::bench::medianPairMs(
        [&] {
            controller.setImage(frames[next++ % frames.size()]);
            window.clickableView()->repaint();
        },
        [&] {
            std::memcpy(to.data(), from.data(), bytes);
            asm volatile("" : : "r"(to.data()) : "memory");
        });
    zeta::bench::printLine("image_display", pair, 0.25);
    return 0;
}
