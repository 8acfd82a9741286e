// Zeta's frame work against numpy and astropy on the same 6000 x 4000 frames: statistics with
// the histogram (one thread each) and the stretched rendering (Zeta's across a few threads,
// numpy's on one), and FITS decoding, both sides from the same bytes in memory: 16-bit, 8-bit,
// RGB and tile-compressed. The runs of the two are taken in turn, the peer kept running and
// asked for one at a time. Every output is checked equal to the peer's. Then the 16-bit
// decode against one memcpy of the frame.

#include "imaging/fits_bytes.h"
#include "imaging/fits_image_rep.h"
#include "imaging/image_render.h"
#include "imaging/image_statistics.h"
#include "platform/image/buffer.h"
#include "support/bench_figures.h"
#include "support/peer_process.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
using zeta::bench::printLine;

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

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// 8-bit FITS of the frame's high bytes: grey, or three planes (the frame, its mirror image and
// its negative) as an RGB image.
std::vector<std::uint8_t> fits8(const std::vector<std::uint16_t>& pixels, bool rgb) {
    std::vector<std::pair<std::string, std::string>> cards = {{"BITPIX", "8"},
                                                              {"NAXIS", rgb ? "3" : "2"},
                                                              {"NAXIS1", std::to_string(kWidth)},
                                                              {"NAXIS2", std::to_string(kHeight)}};
    if (rgb) cards.emplace_back("NAXIS3", "3");
    auto bytes = fits_bytes::header(cards);
    const std::size_t n = pixels.size();
    std::size_t at = bytes.size();
    bytes.resize(at + n * (rgb ? 3 : 1));
    for (std::size_t i = 0; i < n; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(pixels[i] >> 8);
    if (rgb) {
        at += n;
        for (std::size_t i = 0; i < n; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(pixels[n - 1 - i] >> 8);
        at += n;
        for (std::size_t i = 0; i < n; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(~pixels[i] >> 8);
    }
    fits_bytes::pad(bytes, 0);
    return bytes;
}

// True when the bitmap's pixels are the bytes the peer wrote.
bool samePixels(const zeta::platform::BitmapImageRep& rep, const std::filesystem::path& peer) {
    const auto bytes = readFile(peer);
    const auto row = static_cast<std::size_t>(rep.pixelsWide() * rep.samplesPerPixel() * rep.bitsPerSample() / 8);
    if (!rep.bitmapData() || bytes.size() != row * static_cast<std::size_t>(rep.pixelsHigh())) return false;
    for (std::int64_t y = 0; y < rep.pixelsHigh(); ++y)
        if (std::memcmp(rep.bitmapData() + y * rep.bytesPerRow(), bytes.data() + y * row, row) != 0) return false;
    return true;
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

} // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN); // a peer that has gone is an empty answer
    const auto folder = std::filesystem::path("/dev/shm") / ("zeta_bench_imaging_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    int status = 0;
    const auto fail = [&](const char* what) {
        std::fprintf(stderr, "bench_imaging: %s\n", what);
        status = 1;
    };
    {
        const auto pixels = starField();
        writeFile(folder / "frame16.fits", fits_bytes::unsigned16(kWidth, kHeight, pixels));
        writeFile(folder / "frame8.fits", fits8(pixels, false));
        writeFile(folder / "rgb.fits", fits8(pixels, true));
    }
    if (!run("fpack -S '" + (folder / "frame16.fits").string() + "' > '" + (folder / "tiled.fits.fz").string() + "'"))
        fail("fpack failed");

    // Zeta, every frame decoded from memory as it arrives on the bus.
    // Targets: the tile-compressed frame is decompressed in a helper process, which costs
    // its start and the frame's way over a socket.
    // The 8-bit frame's pixels stay in its bytes on both sides: a decode is its header, some
    // microseconds, and a run times a hundred of them so that the clock's and the scheduler's
    // jitter do not make the figure.
    struct Decode {
        const char* name;
        const char* file;
        double target;
        int times;
    };
    std::vector<Decode> decodes = {{"imaging_fits_decode", "frame16.fits", 1.5, 1},
                                   {"imaging_fits_decode_8bit", "frame8.fits", 1, 100},
                                   {"imaging_fits_decode_rgb", "rgb.fits", 1, 1},
                                   {"imaging_fits_decode_tiled", "tiled.fits.fz", 0.5, 1}};
    std::map<std::string, zeta::platform::Data> bytes;
    for (const auto& d : decodes)
        bytes.emplace(d.name, zeta::platform::Data::contentsOfFile((folder / d.file).c_str()));
    const FITSIO::FITSImageRep rep(bytes.at("imaging_fits_decode"));
    ImageStatistics statistics = computeStatistics(rep);
    zeta::platform::Buffer rgb = zeta::platform::allocateBuffer(std::size_t(3) * kWidth * kHeight);

    // The peer, kept running and asked for one run at a time, so that each of its runs is
    // taken right after one of Zeta's on the same bytes and stretch.
    zeta::bench::PeerProcess peer({"env", "-u", "OPENBLAS_CORETYPE", "-u", "OPENBLAS_L2_SIZE", "/usr/bin/python3",
                                   ZETA_SOURCE_DIR "/bench/imaging/numpy_peer.py", folder.string(),
                                   std::to_string(statistics.autoBlackPoint),
                                   std::to_string(statistics.autoWhitePoint)});
    bool peerRan = true;
    const auto peerRun = [&](const std::string& name, int times = 1) {
        return [&peer, &peerRan, name, times] {
            const std::string answer = peer.ask(times == 1 ? name : name + " " + std::to_string(times));
            const double ms = answer.empty() ? 0 : std::atof(answer.c_str());
            if (ms <= 0) peerRan = false;
            return ms;
        };
    };
    const auto zetaRun = [](const std::function<void()>& work) {
        return [work] {
            return zeta::bench::timedMs(work, {});
        };
    };
    std::map<std::string, zeta::bench::PairMs> pairs;
    for (const auto& d : decodes) {
        const zeta::platform::Data& data = bytes.at(d.name);
        const int times = d.times;
        const auto decodeAll = zetaRun([&data, times] {
            for (int k = 0; k < times; ++k) {
                FITSIO::FITSImageRep decoded(data);
                if (decoded.pixelsWide() != kWidth) std::abort();
            }
        });
        pairs[d.name] = zeta::bench::medianPairOf([decodeAll, times] { return decodeAll() / times; },
                                                  peerRun(std::string(d.name).substr(std::strlen("imaging_")), times));
    }
    pairs["imaging_statistics"] =
        zeta::bench::medianPairOf(zetaRun([&] { statistics = computeStatistics(rep); }), peerRun("statistics"));
    pairs["imaging_render"] = zeta::bench::medianPairOf(
        zetaRun([&] { renderStretched(rep, statistics.autoBlackPoint, statistics.autoWhitePoint, rgb.get()); }),
        peerRun("render"));

    // The limit of a decode: the frame's bytes copied once into memory already in use.
    zeta::platform::Buffer copy = zeta::platform::allocateBuffer(rep.bufferSize());
    std::memset(copy.get(), 0, rep.bufferSize());
    const std::uint8_t* frameBytes = bytes.at("imaging_fits_decode").bytes() + 2880;
    const zeta::bench::PairMs decodeVsMemcpy = zeta::bench::medianPairMs(
        [&] {
            FITSIO::FITSImageRep decoded(bytes.at("imaging_fits_decode"));
            if (decoded.pixelsWide() != kWidth) std::abort();
        },
        [&] { std::memcpy(copy.get(), frameBytes, rep.bufferSize()); });

    // What the peer found and made, for the checks below.
    std::vector<std::int64_t> peerStatistics;
    {
        std::istringstream in(peer.ask("outputs"));
        std::string name;
        in >> name;
        for (std::int64_t v = 0; in >> v;)
            peerStatistics.push_back(v);
        if (name != "statistics_values") peerRan = false;
    }
    if (!peerRan) {
        fail("the numpy peer did not run");
        std::filesystem::remove_all(folder);
        return 1;
    }

    std::vector<std::int64_t> ours = {
        statistics.min,           statistics.max, statistics.average, statistics.median, statistics.autoBlackPoint,
        statistics.autoWhitePoint};
    ours.insert(ours.end(), statistics.histo.begin(), statistics.histo.end());
    if (ours != peerStatistics) fail("imaging_statistics: numpy found other statistics");
    const auto peerRender = readFile(folder / "render.peer");
    if (peerRender.size() != std::size_t(3) * kWidth * kHeight ||
        std::memcmp(peerRender.data(), rgb.get(), peerRender.size()) != 0)
        fail("imaging_render: numpy rendered other pixels");
    for (const auto& d : decodes) {
        const FITSIO::FITSImageRep decoded(bytes.at(d.name));
        const std::string peerFile = std::string(d.name).substr(std::strlen("imaging_")) + ".peer";
        if (!samePixels(decoded, folder / peerFile))
            fail((std::string(d.name) + ": astropy decoded other pixels").c_str());
    }
    std::filesystem::remove_all(folder);

    printLine("imaging_statistics", pairs.at("imaging_statistics"), 4);
    printLine("imaging_render", pairs.at("imaging_render"), 8);
    for (const auto& d : decodes)
        printLine(d.name, pairs.at(d.name), d.target);
    printLine("fits_decode_vs_memcpy", decodeVsMemcpy, 0.8);
    return status;
}
