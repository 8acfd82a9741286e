#include "app/screenshot_frames.h"

#include "bahtinov_pattern.h"
#include "imaging/image.h"
#include "platform/image/data.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace zeta::app::screenshots {
namespace {

// A 16-bit grey INDIGO raw frame of these samples, top row first.
std::shared_ptr<Image> rawFrame(std::uint32_t width, std::uint32_t height, const std::vector<std::uint16_t>& samples) {
    std::vector<std::uint8_t> bytes(12 + samples.size() * 2);
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    bytes[0] = 'R', bytes[1] = 'A', bytes[2] = 'W', bytes[3] = '2';
    put32(4, width);
    put32(8, height);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        bytes[12 + 2 * i] = static_cast<std::uint8_t>(samples[i]);
        bytes[13 + 2 * i] = static_cast<std::uint8_t>(samples[i] >> 8);
    }
    return std::make_shared<Image>(zeta::platform::Data(std::move(bytes)), ".raw");
}

} // namespace

std::shared_ptr<Image> starField(int index, int frames) {
    const std::uint32_t width = 320, height = 240;
    std::vector<std::uint16_t> samples(width * height);
    // Sharpest in the middle of the run; the light spreads out of focus, so the peak drops.
    const double defocus = frames > 1 ? std::fabs(index - frames / 2.0) / (frames / 2.0) : 0;
    const double sigma = 1.4 + 1.4 * defocus;
    const double shift = 0.25 * index;
    const double stars[][4] = {{kTrackedX + shift, kTrackedY + shift / 2, sigma, 40000 * (1.4 / sigma) * (1.4 / sigma)},
                               {60, 50, 1.5, 40000},
                               {250, 190, 1.2, 40000},
                               {280, 40, 1.8, 40000}};
    std::uint32_t noise = 12345 + static_cast<std::uint32_t>(index);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            noise = noise * 1103515245 + 12345;
            double value = 1000 + static_cast<double>((noise >> 16) % 200);
            for (const auto& star : stars) {
                const double dx = x - star[0], dy = y - star[1];
                value += star[3] * std::exp(-(dx * dx + dy * dy) / (2 * star[2] * star[2]));
            }
            samples[y * width + x] = static_cast<std::uint16_t>(std::min(value, 65535.0));
        }
    }
    return rawFrame(width, height, samples);
}

std::shared_ptr<Image> bahtinovFrame() {
    bahtinov_pattern::Pattern pattern;
    pattern.defocus = 3;
    return rawFrame(static_cast<std::uint32_t>(pattern.width), static_cast<std::uint32_t>(pattern.height),
                    bahtinov_pattern::render(pattern));
}

} // namespace zeta::app::screenshots
