#pragma once
// The DSLR window's controller on recording views, over the in-process bus, with a test
// camera that exposes: each CCD_EXPOSURE request goes Busy, publishes a JPEG frame as
// CCD_IMAGE and ends Ok (or is held until the test ends it). Frames are saved by a real
// batch writer into a temporary folder; the image window is a real controller without a view.

#include "Common/indigo.h"
#include "batch/batch_controller.h"
#include "camera/zt_camera_controller.h"
#include "camera_steps.h"
#include "focus/focuser_controller.h"
#include "image_window/image_controller.h"
#include "platform/camera/simulated_camera.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "recording_camera.h"
#include "support/temp_dir.h"
#include "support/test_camera.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace camera_test {

using test_support::TestCamera;
using Bytes = std::vector<unsigned char>;

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Files of the folder, sorted by name.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

using RecordingZT = Recording<ZTCameraController>;

// Keeps every state image and progress text in order.
class HistoryView : public RecordingView {
public:
    void showState(std::string_view image) override {
        RecordingView::showState(image);
        states.emplace_back(image);
    }
    std::vector<std::string> states;
};

class RecordingZTView : public ZTCameraView {
public:
    void showRunControls(const RunControls& c) override { controls = c; }
    void showDslrPopup(DslrSetting s, const std::vector<SwitchEntry>& e, int selected) override {
        popups[indexOf(s)] = e;
        selection[indexOf(s)] = selected;
    }
    std::optional<std::string> dslrSelectedTitle(DslrSetting s) const override {
        const int i = selection[indexOf(s)];
        if (i < 0 || i >= static_cast<int>(popups[indexOf(s)].size())) return std::nullopt;
        return popups[indexOf(s)][static_cast<std::size_t>(i)].title;
    }
    std::optional<std::string> dslrSelectedItem(DslrSetting s) const override {
        const int i = selection[indexOf(s)];
        if (i < 0 || i >= static_cast<int>(popups[indexOf(s)].size())) return std::nullopt;
        return popups[indexOf(s)][static_cast<std::size_t>(i)].name;
    }
    void showBattery(std::string_view image) override { battery = image; }
    void showBatchProgress(const std::string& text) override {
        if (progress.empty() || progress.back() != text) progress.push_back(text);
    }
    void showDurationItems(const std::vector<int>& s) override { durations = s; }
    void showCountItems(const std::vector<int>& c) override { counts = c; }
    void showCount(double c) override { count = c; }
    double timelapse() const override { return interval; }
    std::optional<std::string> chooseFolder(const std::string& start) override {
        panelStarts.push_back(start);
        return panelAnswer;
    }
    void showFocusStacking(const std::string& text) override { focusStacking = text; }

    RunControls controls;
    std::array<std::vector<SwitchEntry>, kDslrSettings> popups{};
    std::array<int, kDslrSettings> selection{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::string battery;
    std::vector<std::string> progress;
    std::vector<int> durations, counts;
    double count = 0;
    double interval = 0;
    std::vector<std::string> panelStarts;
    std::optional<std::string> panelAnswer;
    std::string focusStacking;
};

// Records the sleeps instead of waiting; a stop still ends one.
class RecordedSleeper final : public zeta::camera::Sleeper {
public:
    bool sleep(std::chrono::microseconds time, const std::function<bool()>& stopped) override {
        if (onSleep) onSleep(time);
        std::lock_guard lock(mutex_);
        sleeps_.push_back(time.count());
        return !stopped();
    }
    // Runs before each sleep is recorded (set before the run).
    std::function<void(std::chrono::microseconds)> onSleep;
    void wake() override {}
    std::vector<long long> sleeps() {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }

private:
    std::mutex mutex_;
    std::vector<long long> sleeps_;
};

// A camera of ours that takes pictures.
class ExposingCamera {
public:
    ~ExposingCamera() {
        for (std::thread& t : exposing_)
            t.join();
        camera.detach();
    }
    explicit ExposingCamera(const std::string& name, bool abort = true, bool streaming = true) : camera(name) {
        camera.addCameraProperties();
        if (abort) camera.addSwitch("CCD_ABORT_EXPOSURE", {{"ABORT_EXPOSURE", "Abort", false}});
        if (streaming) camera.addNumber("CCD_STREAMING", {{"EXPOSURE", 0, 3600, 0, 0}, {"COUNT", -1, 100000, 1, 0}});
        camera.onChange = [this](TestCamera& c, const indigo_property* request) {
            return answer(c, request);
        };
    }

    // The frames taken so far, oldest first.
    std::vector<Bytes> frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    int exposures() const { return exposures_.load(); }
    // Ends the held exposure: Ok with a frame, or Alert without one.
    void finishHeld(bool ok) {
        if (ok) publish(camera);
        camera.update("CCD_EXPOSURE", ok ? INDIGO_OK_STATE : INDIGO_ALERT_STATE);
    }
    // A streamed frame of live view.
    void streamFrame() {
        publish(camera);
        camera.update("CCD_STREAMING", INDIGO_BUSY_STATE);
    }

    std::atomic<bool> hold{false};         // exposures stay Busy until finishHeld()
    std::atomic<bool> failExposure{false}; // exposures end Alert
    std::function<void()> exposureStarted; // runs as each exposure request arrives
    TestCamera camera;

private:
    void publish(TestCamera& c) {
        Bytes frame;
        {
            std::lock_guard lock(mutex_);
            const auto jpeg = zeta::platform::SimulatedCamera::sampleJPEG(static_cast<int>(frameNumber_++));
            frame.assign(jpeg.begin(), jpeg.end());
            frames_.push_back(frame);
        }
        c.setBlob("CCD_IMAGE", "IMAGE", frame, ".jpeg");
        c.update("CCD_IMAGE", INDIGO_OK_STATE);
    }
    // Runs with the camera's own lock held.
    bool answer(TestCamera& c, const indigo_property* request) {
        if (std::strcmp(request->name, "CCD_EXPOSURE") == 0) {
            exposures_.fetch_add(1);
            if (exposureStarted) exposureStarted();
            c.update("CCD_EXPOSURE", INDIGO_BUSY_STATE);
            if (hold.load()) return true;
            // The exposure takes a moment, as a camera's does, on a thread of the camera's.
            inFlight_.fetch_add(1);
            exposing_.emplace_back([this, &c, fail = failExposure.load(), aborts = aborts_.load()] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                // As a camera does, an aborted exposure ends with the abort: no frame, no report.
                if (aborts == aborts_.load()) {
                    if (!fail) publish(c);
                    c.update("CCD_EXPOSURE", fail ? INDIGO_ALERT_STATE : INDIGO_OK_STATE);
                }
                inFlight_.fetch_sub(1);
            });
            return true;
        }
        if (std::strcmp(request->name, "CCD_ABORT_EXPOSURE") == 0) {
            aborts_.fetch_add(1);
            if (hold.load() || inFlight_.load() > 0) c.update("CCD_EXPOSURE", INDIGO_ALERT_STATE);
            c.update("CCD_ABORT_EXPOSURE", INDIGO_OK_STATE);
            return true;
        }
        if (std::strcmp(request->name, "CCD_STREAMING") == 0) {
            c.update("CCD_STREAMING", INDIGO_BUSY_STATE);
            return true;
        }
        return false;
    }

    std::mutex mutex_;
    std::vector<Bytes> frames_;
    std::atomic<int> exposures_{0};
    std::atomic<int> inFlight_{0}; // exposures on a thread of the camera's, not yet ended
    std::atomic<int> aborts_{0};
    std::vector<std::thread> exposing_; // made under the camera's lock
    unsigned frameNumber_ = 0;
};

class CaptureFixture : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        indigo = std::make_shared<INDIGO>();
        for (BaseController* c : std::initializer_list<BaseController*>{&controller, &batch, &image, &focuser})
            c->setIndigo(indigo);
        controller.setView(&view);
        controller.setZTView(&ztView);
        controller.setImageController(&image);
        controller.setBatchController(&batch);
        controller.setFocuserController(&focuser);
        batch.setFolder(captures.string());
        std::filesystem::create_directories(captures);
        indigo->startWithLocalServer(false, false);
    }
    void TearDown() override {
        controller.retireBackgroundRequests();
        cameras.clear();
        settle();
        indigo.reset();
        for (BaseController* c : std::initializer_list<BaseController*>{&controller, &batch, &image, &focuser})
            c->setIndigo(nullptr);
        dispatch::drainMainQueue();
        zeta::platform::setSystemLogHandler({});
    }

    template <class Predicate>
    bool until(Predicate&& predicate, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return dispatch::runMainQueueUntil(std::forward<Predicate>(predicate), timeout);
    }
    void settle() { dispatch::drainMainQueue(); }

    ExposingCamera& addCamera(const std::string& name, bool abort = true, bool streaming = true) {
        cameras.push_back(std::make_unique<ExposingCamera>(name, abort, streaming));
        cameras.back()->camera.attach();
        EXPECT_TRUE(until([&] {
            const auto titles = controller.cameraList().titles();
            return std::find(titles.begin(), titles.end(), name) != titles.end();
        }));
        return *cameras.back();
    }

    void connect(const std::string& name) { connectCamera(controller, name); }

    // No run, and the window shows so.
    bool idle() { return controller.runEndShown(); }

    bool logged(const std::string& text) const {
        for (const std::string& line : indigo->messages())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    test_support::TempDir folder{"zeta-capture"};
    std::filesystem::path captures = folder.path() / "captures";
    zeta::platform::UserDefaults defaults{folder.path() / "defaults.json"};
    HistoryView view;
    RecordingZTView ztView;
    ImageController image;
    BatchController batch{&defaults};
    zeta::focus::FocuserController focuser{defaults};
    RecordingZT controller{defaults};
    std::shared_ptr<INDIGO> indigo;
    std::vector<std::unique_ptr<ExposingCamera>> cameras;
};

} // namespace camera_test
