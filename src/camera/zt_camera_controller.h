#pragma once
// ZTCameraController: the DSLR camera window. On top of the camera window it runs the
// captures: a single preview, an endless preview, live view (CCD_STREAMING) and counted
// capture batches saved through the batch writer, with one focuser step outward and a
// time-lapse wait between frames; it shows the ten DSLR setting popups, restores them per
// camera, shows the battery level and sends the camera options from the preferences.
//
// Threads
// - Actions, updateGUI() and the views: main queue.
// - Bus events: "indigoSyncQueue". Frames are saved there (before display); a frame is shown
//   only when the image window's busy token can be taken at once.
// - The wait between two frames (focus step, settle, Busy polls, time-lapse) runs on a
//   background global queue; a stop, another camera or the destructor end it at once.
//   The run fields are atomics read fresh at every test.
//
// Lifetime: made on the main thread; the destructor stops any run and waits for the worker.

#include "camera/camera_controller.h"
#include "camera/capture_waits.h"
#include "camera/typed_input.h"
#include "camera/zt_camera_view.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class BatchController;
class Image;

namespace zeta::focus {
class FocuserController;
}

class ZTCameraController : public zeta::camera::CameraController {
public:
    explicit ZTCameraController(zeta::platform::UserDefaults& defaults = zeta::platform::UserDefaults::standard());
    ~ZTCameraController() override;

    // --- Wiring (main thread, before awakeFromNib) -----------------------------------------
    void setZTView(zeta::camera::ZTCameraView* view) { ztView_ = view; }
    void setBatchController(BatchController* batch);
    void setFocuserController(zeta::focus::FocuserController* focuser) { focuser_ = focuser; }
    // The sleeper of the waits between frames (the real one by default); set before runs.
    void setSleeper(std::shared_ptr<zeta::camera::Sleeper> sleeper) { sleeper_ = std::move(sleeper); }

    void awakeFromNib() override;
    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void savePreferences() override;
    void updateGUI() override;

    // Ends the waits between frames and returns once no worker is left; no later run starts
    // one. For the owner before the windows this one uses go (the destructor does it too).
    void shutDown();

    // --- Actions (main queue) --------------------------------------------------------------
    // An endless preview, or live view when liveView (the live-view button or menu sent it).
    void previewAction(bool liveView = false);
    void preview1Action();
    void captureAction() override;
    void folderAction();
    // Mid-run the duration (and, in a capture run, the interval) typed now is what the next
    // request uses; a value that is no good leaves the last good one and says so.
    void durationAction() override;
    void batchAction() override;
    void stopAction() override;
    void zoomAction();
    // The user picked an entry of a DSLR popup.
    void dslrAction(zeta::camera::DslrSetting setting);
    // Sends the four camera options from the preferences (main queue or bus queue).
    void updateSetup();
    // The focuser window chose another focuser (main queue): the window says what a capture
    // run will do to it.
    void showFocusStacking();

    // --- Runs of the sequencer (main queue) ----------------------------------------------------
    // A capture batch with values of its own in place of the window's boxes: count frames
    // named name, interval seconds between them, and duration seconds where the duration box
    // would time the exposure (bulbMode(); otherwise the camera's shutter does).
    struct BatchRun {
        int count = 1;
        double duration = 0;
        double interval = 0;
        std::string name;
    };
    enum class RunEnd { Done, Failed, Stopped };
    // Starts the batch; ended is called once when it ends, on the thread that ends it. False,
    // with nothing sent, without a camera that has CCD_EXPOSURE, without a capture folder or
    // while a run goes on.
    bool captureBatch(const BatchRun& run, std::function<void(RunEnd)> ended);
    // What the window's own checks of typed values say of the batch's ("" when it may run):
    // the duration against the camera's range where the duration box would time it, the
    // count and the interval.
    std::string batchProblem(const BatchRun& run) const;
    // While held() answers true (a sequence runs) the window's own previews, live view and
    // captures are refused and the controls locked as during a run of its own.
    void setRunsHeld(std::function<bool()> held) { runsHeld_ = std::move(held); }

    // --- Fields ------------------------------------------------------------------------------
    static const std::vector<int>& DURATIONS();
    static const std::vector<int>& COUNTS();
    int remainingCount() const { return remainingCount_.load(); }
    bool stopInProgress() const { return stopInProgress_.load(); }
    // Main queue: the window has shown the end of the last run (its count, frame rate and
    // controls); a run's flags clear on the thread that ends it, a moment before.
    bool runEndShown() const { return !running() && endShown_ >= generation_.load(); }
    bool streamingUsed() const { return streamingUsed_.load(); }
    bool zoomPreview() const { return zoomPreview_.load(); }
    bool liveViewEnabled() const { return liveViewEnabled_.load(); }
    bool zoomEnabled() const { return zoomEnabled_.load(); }
    bool dslrEnabled(zeta::camera::DslrSetting setting) const { return dslrEnabled_[indexOf(setting)]; }
    std::int64_t imageWidth() const { return imageWidth_.load(); }
    std::int64_t imageHeight() const { return imageHeight_.load(); }
    // Main thread: the shutter (or else the program) popup shows "Bulb", or the camera has
    // neither setting.
    bool bulbMode() const;
    // Main thread: the duration box in bulb mode, else 0.
    double duration() const;

    // How long the focus step waits for the focuser to leave Busy before the run gives up.
    static constexpr int kFocuserPolls = 3000; // of 100 ms

protected:
    void resetControls() override;
    void connectionRestored(const std::shared_ptr<INDIGO::Device>& device) override;
    bool coolerShownFor(const std::shared_ptr<INDIGO::Device>& device) const override;

private:
    template <class Task>
    void onMain(Task&& task);
    void log(const std::string& text);
    std::shared_ptr<INDIGO::Property> cameraProperty(const char* name) const;
    bool running() const { return previewInProgress() || captureInProgress(); }

    // Engine.
    void startRun(int count, bool preview, bool streaming);
    void startCapture();
    bool startBatch(const BatchRun& run);
    // Refuses a run of the window's own while a sequence holds the camera.
    bool refusedWhileHeld();
    // Tells the sequencer's batch, if one is under way, how it ended.
    void reportRunEnd(RunEnd end);
    void sendExposure(const std::shared_ptr<INDIGO::Property>& exposure);
    void exposureUpdated(const std::shared_ptr<INDIGO::Property>& property);
    void streamingUpdated(const std::shared_ptr<INDIGO::Property>& property);
    void imageUpdated(const std::shared_ptr<INDIGO::Property>& property);
    void startNextExposure();
    void nextExposure();
    bool focusStep();
    // Ends the run: batch closed, flags cleared, the state given.
    void endRun(indigo_property_state state);
    // Ends the run on the camera's last word: Alert ends it as failed (logged as "<what>
    // failed on '<camera>'" unless the user stopped it), anything else as Ok.
    void endRunOn(indigo_property_state state, const char* what, const std::string& camera);
    // One frame less to take; 0 and the endless -1 stay.
    void countDownFrame();
    void captureAborted();
    // The typed duration (in bulb mode) and, for a capture, count and interval are usable; else
    // the window and the log say which box is wrong and nothing is sent.
    bool typedValuesUsable(bool capture);
    zeta::camera::ExposureRange exposureRange() const;
    void useFolder(const std::string& folder);
    void showCaptureFolder();
    // Main queue, after a run has ended: no count and no frame rate are left from it.
    void runEnded(std::uint64_t run);
    // Queues the progress as it stands now; the state image only when not empty.
    void queueProgress(const std::string& stateImage);
    // The text of run `run`, shown only while that run's end has not been shown.
    void updateBatchProgress(const std::string& text, const std::string& stateImage, std::uint64_t run);
    void showCapturedImage(std::shared_ptr<Image> image, bool tokenTaken, const std::string& source);
    void showStateImage(std::string_view image);
    bool waitStopped() const;
    bool sleepFor(std::chrono::microseconds time);

    // Settings.
    void updatePopUp(zeta::camera::DslrSetting setting, const SwitchReading& reading);
    void showBattery(const std::shared_ptr<INDIGO::Property>& battery);
    void updateBatteryLevel(double percent);
    void restoreSetting(const std::shared_ptr<INDIGO::Device>& device, const char* property, const std::string& key);

    zeta::camera::ZTCameraView* ztView_ = nullptr;
    BatchController* batch_ = nullptr;
    zeta::focus::FocuserController* focuser_ = nullptr;
    std::shared_ptr<zeta::camera::Sleeper> sleeper_ = std::make_shared<zeta::camera::ConditionSleeper>();

    std::atomic<int> remainingCount_{0};
    std::atomic<bool> stopInProgress_{false};
    std::atomic<bool> streamingUsed_{false};
    std::atomic<bool> zoomPreview_{false};
    std::atomic<bool> liveViewEnabled_{false};
    std::atomic<bool> zoomEnabled_{false};
    std::atomic<bool> exposing_{false}; // an exposure was requested and has not ended
    // Held while a stop is marked and while the next exposure is checked and requested, so
    // that an exposure is either requested before the abort or not at all.
    std::mutex requestMutex_;
    std::atomic<double> runDuration_{0};       // the duration the next request sends
    std::atomic<int> runCount_{0};             // frames of the running batch
    std::atomic<double> runTimelapse_{0};      // the interval the next wait takes
    std::atomic<std::uint64_t> generation_{0}; // counts the runs; a worker ends with its run
    std::uint64_t endShown_ = 0;               // main queue: the last run whose end the window shows
    std::atomic<std::int64_t> imageWidth_{0}, imageHeight_{0};
    std::array<bool, zeta::camera::kDslrSettings> dslrEnabled_{};

    // Properties whose stored setting this connection restored (late definitions restore once).
    std::mutex restoreMutex_;
    bool restoreDone_ = false;
    std::vector<std::string> restored_;

    // The worker of the waits between frames.
    std::mutex workerMutex_;
    std::condition_variable workerDone_;
    int workers_ = 0;
    std::atomic<bool> closing_{false};
    // A run cut short by its camera going away: the window keeps Alert without a camera.
    std::atomic<bool> keepAlert_{false};
    std::atomic<bool> lastRunFailed_{false}; // the last run ended on a failure, not a stop
    std::function<bool()> runsHeld_;
    std::mutex runEndedMutex_;
    std::function<void(RunEnd)> runEnded_; // the sequencer's batch under way
    zeta::common::MainHop main_;
};
