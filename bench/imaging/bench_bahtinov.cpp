// Bahtinov-mask line search on a 299 x 299 selection of a synthetic pattern: Zeta against the
// same search written in numpy, the runs of the two taken in turn; both must find the same
// three lines.

#include "imaging/bahtinov_pattern.h"
#include "imaging/image.h"
#include "imaging/test_bitmap_image_rep.h"
#include "support/bench_figures.h"
#include "support/peer_process.h"

#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A numpy search takes about a second: a few pairs settle it.
const zeta::bench::Settle kSettle{5, 31, 20, 0.02};

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN); // a peer that has gone is an empty answer
    zeta::platform::ImageRep::registerImageRepClass<TestBitmapImageRep>();
    bahtinov_pattern::Pattern p;
    p.width = p.height = 400;
    p.cx = p.cy = 200;
    p.defocus = 3;
    const auto samples = bahtinov_pattern::render(p);
    const Image image(testBitmap(p.width, p.height, 16, 1, 16, bytes16(samples)), ".zbmp");
    const int x = 50, y = 50, size = 299;

    const auto folder = std::filesystem::temp_directory_path() / ("zeta_bench_bahtinov_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto path = folder / "frame.u16";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));

    // The peer kept running and asked for one search at a time, taken in turn with Zeta's.
    std::array<std::optional<BahtinovLine>, 3> lines;
    std::vector<std::string> peerLines;
    bool peerRan = true;
    zeta::bench::PairMs pair;
    {
        zeta::bench::PeerProcess peer({"env", "-u", "OPENBLAS_CORETYPE", "-u", "OPENBLAS_L2_SIZE", "/usr/bin/python3",
                                       ZETA_SOURCE_DIR "/bench/imaging/bahtinov_peer.py", path.string(),
                                       std::to_string(p.width), std::to_string(p.height), std::to_string(x),
                                       std::to_string(y), std::to_string(size), std::to_string(size)});
        pair = zeta::bench::medianPairOf(
            [&] { return zeta::bench::timedMs([&] { lines = image.bahtinovLines(x, y, size, size); }, {}); },
            [&] {
                const std::string answer = peer.ask("run");
                const double ms = answer.empty() ? 0 : std::atof(answer.c_str());
                if (ms <= 0) peerRan = false;
                return ms;
            },
            kSettle);
        std::istringstream answer(peer.ask("lines"));
        for (std::string line; std::getline(answer, line, '|');)
            peerLines.push_back(line);
    }
    std::filesystem::remove_all(folder);
    if (peerLines.size() != 3 || !peerRan) {
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
    zeta::bench::printLine("bahtinov", pair, 10.0);
    return 0;
}
