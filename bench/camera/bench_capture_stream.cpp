// A capture run of 1000 frames of 1920 x 1080 16-bit grey ("RAW2"), each sent by a camera of
// ours on the in-process bus as soon as it is asked for, through the client and the DSLR
// window's capture engine into the batch's SER video in a tmpfs; against cat writing the same
// bytes to the same tmpfs, the two taken in turn. Also the memory the process holds along the
// first run.

#include "Common/indigo.h"
#include "batch/batch_controller.h"
#include "camera/zt_camera_controller.h"
#include "image_window/image_controller.h"
#include "imaging/video_log.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "recording_camera.h"
#include "support/bench_figures.h"
#include "support/test_camera.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kWidth = 1920;
constexpr std::uint32_t kHeight = 1080;
constexpr int kFrames = 1000;

class NullDslrView final : public zeta::camera::ZTCameraView {
public:
    void showRunControls(const zeta::camera::RunControls&) override {}
    void showDslrPopup(zeta::camera::DslrSetting, const std::vector<zeta::camera::SwitchEntry>&, int) override {}
    std::optional<std::string> dslrSelectedTitle(zeta::camera::DslrSetting) const override { return std::nullopt; }
    std::optional<std::string> dslrSelectedItem(zeta::camera::DslrSetting) const override { return std::nullopt; }
    void showBattery(std::string_view) override {}
    void showBatchProgress(const std::string&) override {}
    void showDurationItems(const std::vector<int>&) override {}
    void showCountItems(const std::vector<int>&) override {}
    void showCount(double) override {}
    double timelapse() const override { return 0; }
    std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
};

double residentMegabytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

std::vector<unsigned char> rawFrame(int number) {
    std::vector<unsigned char> bytes(12 + std::size_t(kWidth) * kHeight * 2);
    std::memcpy(bytes.data(), "RAW2", 4);
    std::memcpy(bytes.data() + 4, &kWidth, 4);
    std::memcpy(bytes.data() + 8, &kHeight, 4);
    for (std::size_t i = 12; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + (i >> 13) + static_cast<std::size_t>(number));
    return bytes;
}

} // namespace

int main() {
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    zeta::imaging::video::setMessageSink([](const std::string&) {});
    // A tmpfs, as the other writing benchmarks: a disk's writeback would time the disk, and
    // whichever side wrote first would leave the other its dirty pages to wait on.
    const std::filesystem::path folder =
        std::filesystem::path("/dev/shm") / ("zeta_bench_capture_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "captures");
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    zeta::platform::UserDefaults defaults{folder / "defaults.json"};
    defaults.setObject(std::string("SER"), "outputFormat");

    // Four frames the camera sends in turn.
    std::vector<std::vector<unsigned char>> frames;
    for (int i = 0; i < 4; ++i)
        frames.push_back(rawFrame(i));

    test_support::TestCamera camera("Bench Camera");
    camera.addCameraProperties();
    int sent = 0;
    camera.onChange = [&](test_support::TestCamera& c, const indigo_property* request) {
        if (std::strcmp(request->name, "CCD_EXPOSURE") != 0) return false;
        c.update("CCD_EXPOSURE", INDIGO_BUSY_STATE);
        c.setBlob("CCD_IMAGE", "IMAGE", frames[static_cast<std::size_t>(sent++ % 4)], ".raw");
        c.update("CCD_IMAGE", INDIGO_OK_STATE);
        c.update("CCD_EXPOSURE", INDIGO_OK_STATE);
        return true;
    };

    auto indigo = std::make_shared<INDIGO>();
    camera_test::RecordingView view;
    NullDslrView dslrView;
    ImageController image;
    BatchController batch{&defaults};
    ZTCameraController controller{defaults};
    for (BaseController* c : std::initializer_list<BaseController*>{&controller, &batch, &image})
        c->setIndigo(indigo);
    controller.setView(&view);
    controller.setZTView(&dslrView);
    controller.setImageController(&image);
    controller.setBatchController(&batch);
    batch.setFolder((folder / "captures").string());
    indigo->startWithLocalServer(false, false);
    camera.attach();
    const auto wait = [](const std::function<bool()>& done) {
        return dispatch::runMainQueueUntil(done, std::chrono::minutes(10));
    };
    wait([&] { return controller.cameraList().size() == 1; });
    controller.selectCamera(0);
    wait([&] { return controller.camera() && controller.camera()->connected() && controller.durationEnabled(); });

    view.countValue = kFrames;
    view.name = "STREAM";
    view.durationValue = 0.001;
    const auto video = folder / "captures" / "STREAM_001.ser";
    const auto copy = folder / "cat.ser";
    const std::uintmax_t expected = 178 + std::uintmax_t(kFrames) * kWidth * kHeight * 2;
    bool whole = true;
    double at100 = 0, at1000 = 0;
    // One run of the camera into a new video; the memory is read along the first.
    const auto capture = [&] {
        const bool first = at1000 == 0;
        const auto start = std::chrono::steady_clock::now();
        controller.captureAction();
        const auto note = [&] {
            if (first && at100 == 0 && batch.index() >= 100) at100 = residentMegabytes();
        };
        wait([&] {
            note();
            return controller.captureInProgress();
        });
        wait([&] {
            note();
            return !controller.captureInProgress();
        });
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (first) at1000 = residentMegabytes();
        if (!std::filesystem::exists(video) || std::filesystem::file_size(video) < expected) {
            std::fprintf(stderr, "bench capture_stream: the video is not whole (%d frames asked, %lld saved)\n",
                         kFrames, static_cast<long long>(batch.index()));
            whole = false;
        }
        return ms;
    };
    // The same bytes written by cat to the same tmpfs; then both files go, so that every run
    // starts from the same free memory.
    const auto cat = [&] {
        const auto start = std::chrono::steady_clock::now();
        const std::string command = "cat '" + video.string() + "' > '" + copy.string() + "'";
        if (std::system(command.c_str()) != 0) whole = false;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::filesystem::remove(video);
        std::filesystem::remove(copy);
        return ms;
    };
    zeta::bench::Settle settle;
    settle.minRuns = 9;
    settle.maxRuns = 25;
    settle.maxSeconds = 60;
    const zeta::bench::PairMs pair = zeta::bench::medianPairOf(capture, cat, settle);
    const int status = whole ? 0 : 1;

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    // Frames per second, higher is better: the ratio is still the peer's time over Zeta's.
    std::printf("bench capture_stream: zeta=%.1ffps peer=%.1ffps ratio=%.2f target=0.5 spread=%.0f%%\n",
                kFrames * 1000 / pair.zeta, kFrames * 1000 / pair.peer, pair.ratio, 100 * pair.spread);
    std::printf("bench capture_stream_memory: rss_after_100=%.0fMB rss_after_1000=%.0fMB peak=%.0fMB\n", at100, at1000,
                static_cast<double>(usage.ru_maxrss) * 1024 / 1e6);
    std::fflush(stdout);

    indigo.reset();
    for (BaseController* c : std::initializer_list<BaseController*>{&controller, &batch, &image})
        c->setIndigo(nullptr);
    camera.detach();
    std::filesystem::remove_all(folder);
    return status;
}
