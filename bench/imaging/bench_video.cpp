// Capture videos written to a tmpfs, 20 frames of 6000 x 4000 8-bit grey as they arrive on
// the bus ("RAW1" frames): SER against plain writes of the same bytes from memory (the limit)
// and against cat copying the file, and the cost of rewriting its frame count after every
// frame; AVI against the ffmpeg command line copying the same raw video into an AVI without
// converting it. Outputs are checked equal.

#include "imaging/ffmpeg_writer.h"
#include "imaging/ser_writer.h"
#include "imaging/video_log.h"
#include "platform/image/data.h"
#include "support/bench_figures.h"
#include "support/run_program.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t kWidth = 6000;
constexpr std::uint32_t kHeight = 4000;
constexpr int kFrames = 20;
using zeta::bench::medianPairMs;
using zeta::bench::printLine;
using zeta::bench::runProgram;
const zeta::bench::Settle kSettle{5, 101, 20, 0.02};

// Both files hold the same bytes.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    return runProgram({"cmp", "-s", a.string(), b.string()});
}

// The frames of a video as ffmpeg decodes them, one checksum a frame.
std::string frameSums(const std::filesystem::path& video, const std::filesystem::path& folder) {
    const auto sums = folder / "frames.md5";
    if (!runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", video.string(), "-f", "framemd5", "-"}, sums))
        return {};
    std::ifstream in(sums);
    std::string text, l;
    while (std::getline(in, l))
        if (!l.empty() && l[0] != '#') text += l.substr(l.rfind(',') + 1) + "\n";
    std::filesystem::remove(sums);
    return text;
}

} // namespace

int main() {
    // The library's verbose log and the writers' lines would only drown the figures.
    zeta::imaging::video::setMessageSink([](const std::string&) {});
    const std::filesystem::path folder =
        std::filesystem::path("/dev/shm") / ("zeta_bench_video_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);

    std::vector<std::uint8_t> bytes(12 + std::size_t(kWidth) * kHeight);
    std::memcpy(bytes.data(), "RAW1", 4);
    std::memcpy(bytes.data() + 4, &kWidth, 4);
    std::memcpy(bytes.data() + 8, &kHeight, 4);
    for (std::size_t i = 12; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 13));
    const zeta::platform::Data frame(std::move(bytes));
    const std::uint8_t* pixels = frame.bytes() + 12;
    const std::size_t frameBytes = frame.length() - 12;

    int status = 0;
    const auto fail = [&](const char* what) {
        std::fprintf(stderr, "bench_video: %s\n", what);
        status = 1;
    };
    {
        const auto path = folder / "zeta.ser";
        const auto writeSer = [&] {
            auto writer = SER::initWith(path);
            for (int i = 0; i < kFrames; ++i)
                writer->add(frame);
            writer->close();
        };
        const auto source = folder / "source.ser";
        writeSer();
        std::filesystem::copy_file(path, source);

        // The limit: the same header and frames written from memory, one write each.
        std::vector<std::uint8_t> header(SER::kHeaderSize);
        {
            std::ifstream in(source, std::ios::binary);
            in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
        }
        const auto plain = folder / "plain.ser";
        bool wrote = true;
        const auto writeAll = [&](int fd, const std::uint8_t* p, std::size_t n) {
            while (n > 0) {
                const ssize_t w = ::write(fd, p, n);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) return false;
                p += w;
                n -= static_cast<std::size_t>(w);
            }
            return true;
        };
        // The header and each frame in one write apiece: nothing writes the file faster.
        const auto writePlain = [&] {
            const int fd = ::open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            wrote = fd >= 0 && writeAll(fd, header.data(), header.size()) && wrote;
            for (int i = 0; fd >= 0 && i < kFrames; ++i)
                wrote = writeAll(fd, pixels, frameBytes) && wrote;
            if (fd >= 0) ::close(fd);
        };
        const auto copy = folder / "cat.ser";
        const auto clear = [&] {
            for (const auto& f : {path, plain, copy})
                std::filesystem::remove(f);
        };
        const zeta::bench::PairMs limit = medianPairMs(writeSer, writePlain, clear, kSettle);
        if (!wrote || !sameFile(plain, source))
            fail("video_ser_write_limit: the plain writes differ from the SER file");

        // What keeping the header's frame count current costs: the same plain writes, with the
        // count rewritten in place after each frame, as the writer does so that a killed run
        // keeps its frames.
        const auto counted = folder / "counted.ser";
        const auto writeCounted = [&] {
            const int fd = ::open(counted.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            wrote = fd >= 0 && writeAll(fd, header.data(), header.size()) && wrote;
            for (std::uint32_t i = 1; fd >= 0 && i <= std::uint32_t(kFrames); ++i) {
                wrote = writeAll(fd, pixels, frameBytes) && wrote;
                wrote = ::pwrite(fd, &i, sizeof i, 38) == ssize_t(sizeof i) && wrote;
            }
            if (fd >= 0) ::close(fd);
        };
        const zeta::bench::PairMs count = medianPairMs(
            writeCounted, writePlain,
            [&] {
                std::filesystem::remove(counted);
                std::filesystem::remove(plain);
            },
            kSettle);
        // Each run begins by removing both files: the counted one again for the comparison.
        writeCounted();
        if (!wrote || !sameFile(counted, source))
            fail("video_ser_frame_count: the counted writes differ from the SER file");
        std::filesystem::remove(counted);

        bool ok = true;
        const zeta::bench::PairMs cat = medianPairMs(
            writeSer,
            [&] {
                ok = runProgram({"cat", source.string()}, copy) && ok;
            },
            clear, kSettle);
        if (!ok || !sameFile(copy, source)) fail("video_ser_write: cat failed");
        printLine("video_ser_write", cat, 0.8);
        printLine("video_ser_write_limit", limit, 0.8);
        printLine("video_ser_frame_count", count, 0.9);
        std::filesystem::remove(source);
        std::filesystem::remove(copy);
        std::filesystem::remove(plain);
    }
    {
        const auto raw = folder / "source.raw";
        {
            std::ofstream out(raw, std::ios::binary);
            for (int i = 0; i < kFrames; ++i)
                out.write(reinterpret_cast<const char*>(pixels), static_cast<std::streamsize>(frameBytes));
        }
        const auto path = folder / "zeta.avi";
        const auto other = folder / "ffmpeg.avi";
        bool ok = true;
        // The raw frames are packets as they are: ffmpeg copies them into the AVI.
        const auto writeAvi = [&] {
            auto writer = FFMPEG::initWith(path.string());
            for (int i = 0; i < kFrames; ++i)
                writer->add(frame);
            writer->close();
        };
        const zeta::bench::PairMs avi = medianPairMs(
            writeAvi,
            [&] {
                ok = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "gray", "-s",
                                 std::to_string(kWidth) + "x" + std::to_string(kHeight), "-r", "5", "-i", raw.string(),
                                 "-c:v", "copy", other.string()}) &&
                     ok;
            },
            [&] {
                std::filesystem::remove(path);
                std::filesystem::remove(other);
            },
            kSettle);
        // Each run begins by removing both files: Zeta's again for the comparison.
        writeAvi();
        const std::string sums = frameSums(path, folder);
        if (!ok || sums.empty() || sums != frameSums(other, folder))
            fail("video_avi_write: ffmpeg's AVI holds other frames");
        printLine("video_avi_write", avi, 1.0);
    }
    std::filesystem::remove_all(folder);
    return status;
}
