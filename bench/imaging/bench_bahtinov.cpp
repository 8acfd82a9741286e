// Bahtinov-mask line search on a 299 x 299 selection of a synthetic pattern: Zeta against the
// same search written in numpy; both must find the same three lines.

#include "imaging/bahtinov_pattern.h"
#include "imaging/image.h"
#include "imaging/test_bitmap_image_rep.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

int main() {
    zeta::platform::ImageRep::registerImageRepClass<TestBitmapImageRep>();
    bahtinov_pattern::Pattern p;
    p.width = p.height = 400;
    p.cx = p.cy = 200;
    p.defocus = 3;
    const auto samples = bahtinov_pattern::render(p);
    const Image image(testBitmap(p.width, p.height, 16, 1, 16, bytes16(samples)), ".zbmp");
    const int x = 50, y = 50, size = 299;

    constexpr int kRuns = 5;
    std::array<std::optional<BahtinovLine>, 3> lines;
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        lines = image.bahtinovLines(x, y, size, size);
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }

    const auto folder = std::filesystem::temp_directory_path() / ("zeta_bench_bahtinov_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto path = folder / "frame.u16";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
    const std::string command = "env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3 " ZETA_SOURCE_DIR
                                "/bench/imaging/bahtinov_peer.py '" +
                                path.string() + "' " + std::to_string(p.width) + " " + std::to_string(p.height) + " " +
                                std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(size) + " " +
                                std::to_string(size) + " 2";
    std::vector<std::string> peerLines;
    double peer = 0;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) {
            const std::string text(buffer);
            if (text.rfind("line", 0) == 0) peerLines.push_back(text.substr(0, text.size() - 1));
            if (text.rfind("milliseconds", 0) == 0) peer = std::stod(text.substr(13));
        }
        pclose(pipe);
    }
    std::filesystem::remove_all(folder);
    if (peerLines.size() != 3 || peer <= 0) {
        std::fprintf(stderr, "bench_bahtinov: the numpy peer did not run\n");
        return 1;
    }
    for (int k = 0; k < 3; ++k) {
        char mine[256] = "line none";
        if (lines[static_cast<std::size_t>(k)]) {
            const auto& l = *lines[static_cast<std::size_t>(k)];
            std::snprintf(mine, sizeof mine, "line %lld %lld %lld %lld %.9f", static_cast<long long>(l.x1),
                          static_cast<long long>(l.y1), static_cast<long long>(l.x2), static_cast<long long>(l.y2),
                          l.score);
        }
        if (peerLines[static_cast<std::size_t>(k)] != mine) {
            std::fprintf(stderr, "bench_bahtinov: line %d differs: zeta '%s', numpy '%s'\n", k, mine,
                         peerLines[static_cast<std::size_t>(k)].c_str());
            return 1;
        }
    }
    std::printf("bench bahtinov: zeta=%.2fms peer=%.2fms ratio=%.2f target=10.0\n", best, peer, peer / best);
    return 0;
}
