// Capture videos written to a tmpfs, 20 frames of 6000 x 4000 8-bit grey as they arrive on
// the bus ("RAW1" frames): SER against cat copying the same bytes, AVI against the ffmpeg
// command line writing the same raw video. Best of several runs each.

#include "imaging/ffmpeg_writer.h"
#include "imaging/ser_writer.h"
#include "imaging/video_log.h"
#include "platform/image/data.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr std::uint32_t kWidth = 6000;
constexpr std::uint32_t kHeight = 4000;
constexpr int kFrames = 20;
constexpr int kRuns = 5;

double bestOf(const std::function<void()>& prepare, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// Runs the program with its standard output going to the file (when given); false unless it
// exits with 0.
bool runProgram(const std::vector<std::string>& arguments, const std::filesystem::path& output = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void line(const char* name, double zeta, double peer, double target) {
    std::printf("bench %s: zeta=%.1fms peer=%.1fms ratio=%.2f target=%.1f\n", name, zeta, peer, peer / zeta, target);
    std::fflush(stdout);
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

    int status = 0;
    {
        const auto path = folder / "zeta.ser";
        const double zeta = bestOf([&] { std::filesystem::remove(path); },
                                   [&] {
                                       auto writer = SER::initWith(path);
                                       for (int i = 0; i < kFrames; ++i)
                                           writer->add(frame);
                                       writer->close();
                                   });
        const auto source = folder / "source.ser";
        std::filesystem::rename(path, source);
        const auto copy = folder / "cat.ser";
        bool ok = true;
        const double peer = bestOf([&] { std::filesystem::remove(copy); },
                                   [&] {
                                       ok = runProgram({"cat", source.string()}, copy) && ok;
                                   });
        if (!ok || std::filesystem::file_size(copy) != std::filesystem::file_size(source)) {
            std::fprintf(stderr, "bench video_ser_write: cat failed\n");
            status = 1;
        }
        line("video_ser_write", zeta, peer, 0.8);
        std::filesystem::remove(source);
        std::filesystem::remove(copy);
    }
    {
        const auto raw = folder / "source.raw";
        {
            std::ofstream out(raw, std::ios::binary);
            for (int i = 0; i < kFrames; ++i)
                out.write(reinterpret_cast<const char*>(frame.bytes() + 12),
                          static_cast<std::streamsize>(frame.length() - 12));
        }
        const auto path = folder / "zeta.avi";
        const double zeta = bestOf([&] { std::filesystem::remove(path); },
                                   [&] {
                                       auto writer = FFMPEG::initWith(path.string());
                                       for (int i = 0; i < kFrames; ++i)
                                           writer->add(frame);
                                       writer->close();
                                   });
        const auto other = folder / "ffmpeg.avi";
        bool ok = true;
        const double peer =
            bestOf([&] { std::filesystem::remove(other); },
                   [&] {
                       ok = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "gray",
                                        "-s", std::to_string(kWidth) + "x" + std::to_string(kHeight), "-r", "5", "-i",
                                        raw.string(), "-c:v", "rawvideo", other.string()}) &&
                            ok;
                   });
        if (!ok) {
            std::fprintf(stderr, "bench video_avi_write: ffmpeg failed\n");
            status = 1;
        }
        line("video_avi_write", zeta, peer, 1.0);
    }
    std::filesystem::remove_all(folder);
    return status;
}
