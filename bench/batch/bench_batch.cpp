// A capture run saved as numbered files on a tmpfs: 200 JPEG frames of 6 MB handed to the
// batch writer as they arrive on the bus, against cp copying the same 200 files into an
// empty folder, the two timed in turn.

#include "batch/batch_controller.h"
#include "platform/dispatch.h"
#include "platform/image/data.h"
#include "platform/user_defaults.h"
#include "support/bench_figures.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kFrames = 200;
constexpr std::size_t kFrameBytes = 6 * 1000 * 1000;
constexpr int kDistinct = 10; // frames cycle through these, to spare memory
// A run writes 1.2 GB: a few pairs are enough, and keep the benchmark short.
const zeta::bench::Settle kSettle{5, 31, 20, 0.02};

bool runProgram(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A JPEG-looking frame: start-of-image marker, varied bytes, end-of-image marker.
zeta::platform::Data jpegLike(int seed) {
    std::vector<std::uint8_t> bytes(kFrameBytes);
    std::uint32_t state = 2654435761u * std::uint32_t(seed + 1);
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    bytes[0] = 0xFF, bytes[1] = 0xD8, bytes[kFrameBytes - 2] = 0xFF, bytes[kFrameBytes - 1] = 0xD9;
    return zeta::platform::Data(std::move(bytes));
}

void emptyFolder(const std::filesystem::path& folder) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

} // namespace

int main() {
    const std::filesystem::path root =
        std::filesystem::path("/dev/shm") / ("zeta_bench_batch_" + std::to_string(::getpid()));
    const auto source = root / "source";
    const auto zetaFolder = root / "zeta";
    const auto cpFolder = root / "cp";
    emptyFolder(source);

    std::vector<zeta::platform::Data> frames;
    for (int i = 0; i < kDistinct; ++i)
        frames.push_back(jpegLike(i));
    std::vector<std::string> copyArguments = {"cp", "-t", cpFolder.string()};
    for (int i = 0; i < kFrames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%03d.jpeg", i + 1);
        const auto path = source / name;
        if (i < kDistinct) {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(frames[i].bytes()), std::streamsize(frames[i].length()));
        } else {
            char first[32];
            std::snprintf(first, sizeof first, "IMG_%03d.jpeg", i % kDistinct + 1);
            std::filesystem::create_hard_link(source / first, path);
        }
        copyArguments.push_back(path.string());
    }

    zeta::platform::UserDefaults defaults(root / "defaults.json");
    BatchController batch(&defaults);
    batch.setFolder(zetaFolder.string());
    batch.setNameTemplate("IMG");
    bool copied = true;
    const zeta::bench::PairMs pair = zeta::bench::medianPairMs(
        [&] {
            batch.open();
            for (int i = 0; i < kFrames; ++i)
                batch.saveFrame(frames[std::size_t(i % kDistinct)], std::nullopt, std::nullopt, std::nullopt,
                                std::nullopt, ".jpeg");
            batch.close();
            dispatch::drainMainQueue();
        },
        [&] { copied = runProgram(copyArguments) && copied; },
        [&] {
            emptyFolder(zetaFolder);
            emptyFolder(cpFolder);
        },
        kSettle);
    const bool allSaved = batch.images().size() == std::size_t(kFrames);
    std::filesystem::remove_all(root);
    if (!allSaved || !copied) {
        std::printf("bench batch_files: failed (zeta saved %zu of %d, cp %s)\n", batch.images().size(), kFrames,
                    copied ? "ok" : "failed");
        return 1;
    }
    zeta::bench::printLine("batch_files", pair, 0.8);
    return 0;
}
