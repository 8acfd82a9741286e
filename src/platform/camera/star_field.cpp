#include "platform/camera/star_field.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <turbojpeg.h>

namespace zeta::platform {
namespace {

constexpr double kSky = 20;
constexpr double kSkyNoise = 4; // uniform, +- around the sky
constexpr double kBrightestFlux = 1800;
constexpr int kStars = 120;
// No other star comes this close to the brightest one, so a click or a mask's spikes there
// see it alone.
constexpr double kClearance = 200;
constexpr double kMaskHalfSize = 160;

// A small generator of our own: the field must look the same on every machine.
struct Lcg {
    std::uint64_t state;
    double next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
};

void addStar(std::vector<float>& sky, int width, int height, const FieldStar& star, double sigma) {
    const double peak = star.flux / (2 * std::numbers::pi * sigma * sigma);
    const int reach = static_cast<int>(std::ceil(4 * sigma)) + 1;
    const int x0 = std::max(0, static_cast<int>(star.x) - reach),
              x1 = std::min(width - 1, static_cast<int>(star.x) + reach);
    const int y0 = std::max(0, static_cast<int>(star.y) - reach),
              y1 = std::min(height - 1, static_cast<int>(star.y) + reach);
    const double k = -1 / (2 * sigma * sigma);
    for (int y = y0; y <= y1; ++y) {
        float* row = &sky[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
        const double dy = y - star.y;
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - star.x;
            row[x] += static_cast<float>(peak * std::exp((dx * dx + dy * dy) * k));
        }
    }
}

// Three spikes crossing at the star: the central one shifted sideways with the defocus.
void addMask(std::vector<float>& sky, int width, int height, const FieldStar& star, double defocus) {
    const double rad = std::numbers::pi / 180;
    struct Spike {
        double nx, ny, offset, peak;
    };
    const auto spike = [&](double degrees, double offset, double peak) {
        return Spike{-std::sin(degrees * rad), std::cos(degrees * rad), offset, peak};
    };
    const double central = 10, side = 20;
    const Spike spikes[3] = {spike(central, 0.3 * defocus, 90), spike(central + side, 0, 60),
                             spike(central - side, 0, 60)};
    const double sigma = 1.0 + 0.02 * std::abs(defocus);
    const double k = -1 / (2 * sigma * sigma);
    const int x0 = std::max(0, static_cast<int>(star.x - kMaskHalfSize));
    const int x1 = std::min(width - 1, static_cast<int>(star.x + kMaskHalfSize));
    const int y0 = std::max(0, static_cast<int>(star.y - kMaskHalfSize));
    const int y1 = std::min(height - 1, static_cast<int>(star.y + kMaskHalfSize));
    for (int y = y0; y <= y1; ++y) {
        float* row = &sky[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
        const double dy = star.y - y; // the spikes' angles count with y upward
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - star.x;
            double v = 0;
            for (const Spike& s : spikes) {
                const double d = dx * s.nx + dy * s.ny - s.offset;
                if (std::abs(d) < 6 * sigma) v += s.peak * std::exp(d * d * k);
            }
            row[x] += static_cast<float>(v);
        }
    }
}

} // namespace

std::vector<FieldStar> fieldStars(int width, int height) {
    std::vector<FieldStar> stars;
    if (width <= 0 || height <= 0) return stars;
    const FieldStar brightest{width / 2.0, height / 2.0, kBrightestFlux};
    stars.push_back(brightest);
    Lcg random{0x5EED};
    const double margin = 12;
    for (int tries = 0; static_cast<int>(stars.size()) < kStars && tries < kStars * 20; ++tries) {
        FieldStar star;
        star.x = margin + random.next() * std::max(0.0, width - 2 * margin);
        star.y = margin + random.next() * std::max(0.0, height - 2 * margin);
        // Mostly faint, a few bright: fluxes spread evenly on a log scale.
        star.flux = 150 * std::pow(10.0, random.next() * 1.0);
        if (std::hypot(star.x - brightest.x, star.y - brightest.y) < kClearance) continue;
        stars.push_back(star);
    }
    return stars;
}

double starSigma(double defocus) {
    return 1.2 + 0.15 * std::abs(defocus);
}

std::vector<std::uint8_t> starFieldJPEG(const StarFieldScene& scene) {
    const int width = scene.width, height = scene.height;
    if (width <= 0 || height <= 0) return {};
    std::vector<float> sky(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    Lcg noise{0x9E3779B97F4A7C15ULL ^ scene.frame};
    for (float& v : sky)
        v = static_cast<float>(kSky + (2 * noise.next() - 1) * kSkyNoise);
    const std::vector<FieldStar> stars = fieldStars(width, height);
    const double sigma = starSigma(scene.defocus);
    for (const FieldStar& star : stars)
        addStar(sky, width, height, star, sigma);
    if (scene.bahtinovMask) addMask(sky, width, height, stars.front(), scene.defocus);

    std::vector<unsigned char> grey(sky.size());
    std::transform(sky.begin(), sky.end(), grey.begin(),
                   [](float v) { return static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L)); });
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
    if (!handle) return {};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int failed =
        tjCompress2(handle.get(), grey.data(), width, 0, height, TJPF_GRAY, &jpeg, &size, TJSAMP_GRAY, 92, 0);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(jpeg, tjFree);
    if (failed) return {};
    return std::vector<std::uint8_t>(jpeg, jpeg + size);
}

bool simulatedBahtinovMask() {
    const char* value = std::getenv("ZETA_SIMULATED_BAHTINOV");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

} // namespace zeta::platform
