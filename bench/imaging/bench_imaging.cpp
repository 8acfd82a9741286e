// Zeta's frame work against numpy and astropy on the same 6000 x 4000 16-bit FITS frame, one
// thread each: statistics with the histogram, the stretched rendering, and FITS decoding.
// Zeta decodes the frame from memory, as it arrives on the bus; astropy reads the file
// (memory-mapped, its fastest way).

#include "imaging/fits_bytes.h"
#include "imaging/fits_image_rep.h"
#include "imaging/image_render.h"
#include "imaging/image_statistics.h"
#include "platform/image/buffer.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kRuns = 7;

double bestOf(const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// A night-sky frame: sky background with noise, a few thousand stars, some saturated.
std::vector<std::uint16_t> starField() {
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    std::uint64_t state = 12345;
    const auto next = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    for (auto& p : pixels) {
        const double noise = (next() + next() + next() + next() - 2) * 60;
        p = static_cast<std::uint16_t>(std::lround(1200 + noise));
    }
    for (int s = 0; s < 3000; ++s) {
        const double cx = next() * kWidth, cy = next() * kHeight;
        const double peak = 500 + 80000 * next() * next();
        const double sigma = 1 + 1.5 * next();
        for (int y = std::max(0, int(cy) - 8); y < std::min(kHeight, int(cy) + 9); ++y)
            for (int x = std::max(0, int(cx) - 8); x < std::min(kWidth, int(cx) + 9); ++x) {
                auto& p = pixels[static_cast<std::size_t>(y) * kWidth + x];
                const double v =
                    p + peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * sigma * sigma));
                p = static_cast<std::uint16_t>(std::min(65535.0, v));
            }
    }
    return pixels;
}

void line(const char* name, double zeta, double peer, double target) {
    std::printf("bench %s: zeta=%.2fms peer=%.2fms ratio=%.2f target=%.1f\n", name, zeta, peer, peer / zeta, target);
}

} // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / ("zeta_bench_imaging_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto path = folder / "frame.fits";
    {
        const auto bytes = fits_bytes::unsigned16(kWidth, kHeight, starField());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const zeta::platform::Data data = zeta::platform::Data::contentsOfFile(path.c_str());

    // Zeta.
    const double decode = bestOf([&] {
        FITSIO::FITSImageRep rep(data);
        if (rep.pixelsWide() != kWidth) std::abort();
    });
    const FITSIO::FITSImageRep rep(data);
    ImageStatistics statistics;
    const double analyse = bestOf([&] { statistics = computeStatistics(rep); });
    zeta::platform::Buffer rgb = zeta::platform::allocateBuffer(std::size_t(3) * kWidth * kHeight);
    const double render =
        bestOf([&] { renderStretched(rep, statistics.autoBlackPoint, statistics.autoWhitePoint, rgb.get()); });

    // The peers, on the same file and stretch.
    const std::string command = "env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3 " ZETA_SOURCE_DIR
                                "/bench/imaging/numpy_peer.py '" +
                                path.string() + "' " + std::to_string(statistics.autoBlackPoint) + " " +
                                std::to_string(statistics.autoWhitePoint) + " " + std::to_string(kRuns);
    std::map<std::string, double> peer;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char name[64];
        double ms = 0;
        while (std::fscanf(pipe, "%63s %lf", name, &ms) == 2)
            peer[name] = ms;
        pclose(pipe);
    }
    std::filesystem::remove_all(folder);
    if (peer.size() != 3) {
        std::fprintf(stderr, "bench_imaging: the numpy peer did not run\n");
        return 1;
    }
    line("imaging_statistics", analyse, peer["statistics"], 4);
    line("imaging_render", render, peer["render"], 8);
    line("imaging_fits_decode", decode, peer["fits_decode"], 1.5);
    return 0;
}
