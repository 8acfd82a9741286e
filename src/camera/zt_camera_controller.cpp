#include "camera/zt_camera_controller.h"

#include "Common/blob_item.h"
#include "Common/device.h"
#include "Common/items.h"
#include "Common/property.h"
#include "batch/batch_controller.h"
#include "focus/focuser_controller.h"
#include "image_window/image_controller.h"
#include "imaging/image.h"
#include "platform/dispatch.h"
#include "platform/gui/named_image.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using zeta::camera::DslrSetting;
using zeta::camera::kDslrTable;
using zeta::camera::RunControls;

namespace {

constexpr auto kSettle = std::chrono::microseconds(1000000);
constexpr auto kFocuserPoll = std::chrono::microseconds(100000);

std::optional<DslrSetting> dslrSettingOf(const std::string& property) {
    for (const auto& row : kDslrTable)
        if (property == row.property) return row.setting;
    return std::nullopt;
}

// Where the first folder panel opens: the user's pictures folder when there is one, else home.
std::string picturesFolder() {
    const char* home = std::getenv("HOME");
    const std::string base = home ? home : "";
    std::error_code ec;
    if (std::filesystem::is_directory(base + "/Pictures", ec)) return base + "/Pictures";
    return base;
}

constexpr const char* kFolderKey = "captureFolder";

zeta::camera::CameraRows rowsOf(const std::shared_ptr<INDIGO::Device>& device) {
    if (!device) return {};
    return zeta::camera::cameraRows([&](std::string_view name) { return device->property(name) != nullptr; });
}

// Properties whose arrival changes the rows the window shows.
bool decidesRows(const std::string& name) {
    return name.starts_with("DSLR_") || name == "CCD_EXPOSURE" || name == "CCD_MODE" || name == "CCD_FRAME_TYPE" ||
           name == "CCD_OFFSET" || name == "CCD_GAIN" || name == "CCD_GAMMA" || name == "CCD_COOLER" ||
           name == "CCD_TEMPERATURE" || name == "CCD_BIN";
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", value);
    return text;
}

} // namespace

ZTCameraController::ZTCameraController(zeta::platform::UserDefaults& defaults) : CameraController(defaults) {}

ZTCameraController::~ZTCameraController() {
    retireBackgroundRequests();
    shutDown();
}

void ZTCameraController::shutDown() {
    closing_.store(true);
    sleeper_->wake();
    std::unique_lock lock(workerMutex_);
    workerDone_.wait(lock, [this] { return workers_ == 0; });
}

const std::vector<int>& ZTCameraController::DURATIONS() {
    static const std::vector<int> values{1, 2, 5, 10, 20, 30, 60, 90, 120, 240, 300, 600, 900};
    return values;
}

const std::vector<int>& ZTCameraController::COUNTS() {
    static const std::vector<int> values{1, 5, 10, 15, 20, 30, 50, 100, 200, 300, 400, 500};
    return values;
}

template <class Task>
void ZTCameraController::onMain(Task&& task) {
    main_.async(std::forward<Task>(task));
}

void ZTCameraController::log(const std::string& text) {
    if (indigo()) indigo()->message(text);
}

void ZTCameraController::setBatchController(BatchController* batch) {
    batch_ = batch;
    if (!batch_) return;
    // A frame that cannot be saved ends the run: the count must never drop over a lost frame.
    batch_->setRunFailedHandler([this] {
        if (!captureInProgress()) return;
        log("Capture stopped: a frame could not be saved");
        remainingCount_.store(0);
        lastRunFailed_.store(true);
        endRun(INDIGO_ALERT_STATE);
    });
}

std::shared_ptr<INDIGO::Property> ZTCameraController::cameraProperty(const char* name) const {
    const auto device = camera();
    return device ? device->property(name) : nullptr;
}

// --- Start-up ------------------------------------------------------------------------------------

void ZTCameraController::awakeFromNib() {
    CameraController::awakeFromNib();
    if (!ztView_) return;
    ztView_->showDurationItems(DURATIONS());
    ztView_->showCountItems(COUNTS());
    ztView_->showCount(defaults().doubleForKey("count", 1));
    // The folder of the last session, while it is there.
    if (batch_ && !batch_->folder()) {
        const std::string stored = defaults().stringForKey(kFolderKey, "");
        std::error_code ec;
        if (!stored.empty() && std::filesystem::is_directory(stored, ec)) batch_->setFolder(stored);
    }
    showCaptureFolder();
}

// --- Bus events ------------------------------------------------------------------------------------

void ZTCameraController::defineProperty(const std::shared_ptr<INDIGO::Property>& property) {
    CameraController::defineProperty(property);
    const auto setting = dslrSettingOf(property->name());
    const auto& device = property->device();
    if (device && device == camera() && decidesRows(property->name())) onMain([this] { updateGUI(); });
    if (!device || device != camera() || !device->connected()) return;
    if (!setting) {
        // Live view, zoom and battery defined after the camera reported the connection
        // count as found by the restore.
        {
            std::lock_guard lock(restoreMutex_);
            if (!restoreDone_) return;
        }
        const std::string& name = property->name();
        if (name == "DSLR_ZOOM_PREVIEW") zoomEnabled_.store(true);
        if (name == "CCD_STREAMING") liveViewEnabled_.store(true);
        if (name == "DSLR_BATTERY_LEVEL") showBattery(property);
        if (name == "DSLR_ZOOM_PREVIEW" || name == "CCD_STREAMING") onMain([this] { updateGUI(); });
        return;
    }
    // Settings a camera defines after reporting the connection get their stored value once.
    {
        std::lock_guard lock(restoreMutex_);
        if (!restoreDone_) return;
        if (std::find(restored_.begin(), restored_.end(), property->name()) != restored_.end()) return;
        restored_.push_back(property->name());
    }
    const auto& row = kDslrTable[indexOf(*setting)];
    restoreSetting(device, row.property, device->name() + row.suffix);
}

void ZTCameraController::updateProperty(const std::shared_ptr<INDIGO::Property>& property) {
    CameraController::updateProperty(property);
    const auto device = camera();
    if (!device || property->device() != device) return;
    const std::string& name = property->name();
    if (name == "CONNECTION") {
        if (!device->connected()) {
            std::lock_guard lock(restoreMutex_);
            restoreDone_ = false;
        }
    } else if (name == "CCD_EXPOSURE") {
        exposureUpdated(property);
    } else if (name == "CCD_STREAMING") {
        streamingUpdated(property);
    } else if (name == "CCD_ABORT_EXPOSURE") {
        // Only the abort of a stop ends a run: the property's definition at connection is no
        // failure to show, and the late report of an earlier stop must not end the next run.
        // Checked again on the main queue: the run may have ended meanwhile, or another begun.
        if (running() && stopInProgress_.load())
            onMain([this, run = generation_.load()] {
                if (running() && stopInProgress_.load() && generation_.load() == run) captureAborted();
            });
    } else if (name == "CCD_IMAGE") {
        imageUpdated(property);
    } else if (name == "DSLR_ZOOM_PREVIEW") {
        if (const auto on = property->item<INDIGO::SwitchItem>("ON")) zoomPreview_.store(on->value());
        onMain([this] { updateGUI(); });
    } else if (const auto setting = dslrSettingOf(name)) {
        onMain([this, setting = *setting, reading = readSwitches(property)] { updatePopUp(setting, reading); });
    }
}

// --- Runs ---------------------------------------------------------------------------------------------

void ZTCameraController::startRun(int count, bool preview, bool streaming) {
    remainingCount_.store(count);
    stopInProgress_.store(false);
    streamingUsed_.store(streaming);
    zoomPreview_.store(false);
    runDuration_.store(duration());
    runTimelapse_.store(preview || !ztView_ ? 0.0 : ztView_->timelapse());
    generation_.fetch_add(1);
    keepAlert_.store(false);
    lastRunFailed_.store(false);
    setPreviewInProgress(preview);
    setCaptureInProgress(!preview);
}

void ZTCameraController::sendExposure(const std::shared_ptr<INDIGO::Property>& exposure) {
    exposing_.store(true);
    sendNumbers(exposure, {{"EXPOSURE", runDuration_.load()}});
}

bool ZTCameraController::refusedWhileHeld() {
    if (!runsHeld_ || !runsHeld_()) return false;
    log("A sequence is running: the camera window's own runs wait until it ends");
    return true;
}

void ZTCameraController::previewAction(bool liveView) {
    if (refusedWhileHeld()) return;
    streamingUsed_.store(liveView);
    const auto exposure = cameraProperty("CCD_EXPOSURE");
    if (!exposure || !typedValuesUsable(false)) return;
    startRun(-1, true, liveView);
    setState(INDIGO_BUSY_STATE);
    updateGUI();
    const auto streaming = liveView ? cameraProperty("CCD_STREAMING") : nullptr;
    if (streaming)
        sendNumbers(streaming, {{"COUNT", -1}, {"EXPOSURE", runDuration_.load()}});
    else
        sendExposure(exposure);
}

void ZTCameraController::preview1Action() {
    if (refusedWhileHeld()) return;
    const auto exposure = cameraProperty("CCD_EXPOSURE");
    if (!exposure || !typedValuesUsable(false)) return;
    startRun(1, true, false);
    setState(INDIGO_BUSY_STATE);
    updateGUI();
    sendExposure(exposure);
}

void ZTCameraController::captureAction() {
    if (!batch_ || refusedWhileHeld()) return;
    // What was typed is judged before the folder panel: a run that cannot start asks nothing.
    if (cameraProperty("CCD_EXPOSURE") && !typedValuesUsable(true)) return;
    if (!batch_->folder()) {
        if (!ztView_) return;
        const auto chosen = ztView_->chooseFolder(picturesFolder());
        if (!chosen) return;
        useFolder(*chosen);
        captureAction();
        return;
    }
    if (!cameraProperty("CCD_EXPOSURE") || !typedValuesUsable(true)) return;
    setState(INDIGO_BUSY_STATE);
    onMain([this] { startCapture(); });
}

void ZTCameraController::startCapture() {
    startBatch({frameCount(), duration(), ztView_ ? ztView_->timelapse() : 0.0,
                view() ? view()->nameTemplate() : std::string("IMG")});
}

bool ZTCameraController::captureBatch(const BatchRun& run, std::function<void(RunEnd)> ended) {
    if (!batch_ || !batch_->folder() || running() || !cameraProperty("CCD_EXPOSURE")) return false;
    {
        std::lock_guard lock(runEndedMutex_);
        runEnded_ = std::move(ended);
    }
    setState(INDIGO_BUSY_STATE);
    BatchRun own = run;
    if (!bulbMode()) own.duration = 0;
    if (startBatch(own)) return true;
    std::lock_guard lock(runEndedMutex_);
    runEnded_ = nullptr;
    return false;
}

bool ZTCameraController::startBatch(const BatchRun& run) {
    const auto exposure = cameraProperty("CCD_EXPOSURE");
    if (!exposure || !batch_ || running()) return false;
    batch_->setNameTemplate(run.name);
    batch_->setIndex(0);
    batch_->open();
    runCount_.store(run.count);
    startRun(run.count, false, false);
    runDuration_.store(run.duration);
    runTimelapse_.store(run.interval);
    updateGUI();
    if (batch_->runFailed()) {
        log("Capture stopped: the batch could not be opened");
        lastRunFailed_.store(true);
        endRun(INDIGO_ALERT_STATE);
        return true;
    }
    sendExposure(exposure);
    return true;
}

std::string ZTCameraController::batchProblem(const BatchRun& run) const {
    std::string problem = bulbMode() ? zeta::camera::durationProblem(run.duration, exposureRange()) : std::string();
    if (problem.empty()) problem = zeta::camera::countProblem(run.count);
    if (problem.empty()) problem = zeta::camera::intervalProblem(run.interval);
    return problem;
}

void ZTCameraController::reportRunEnd(RunEnd end) {
    std::function<void(RunEnd)> ended;
    {
        std::lock_guard lock(runEndedMutex_);
        ended.swap(runEnded_);
    }
    if (ended) ended(end);
}

void ZTCameraController::folderAction() {
    if (!ztView_ || !batch_) return;
    const auto start = batch_->folder().value_or(picturesFolder());
    if (const auto chosen = ztView_->chooseFolder(start)) useFolder(*chosen);
    updateGUI();
}

void ZTCameraController::useFolder(const std::string& folder) {
    batch_->setFolder(folder);
    defaults().setObject(folder, kFolderKey);
    defaults().synchronize();
    showCaptureFolder();
}

void ZTCameraController::showCaptureFolder() {
    if (ztView_ && batch_) ztView_->showCaptureFolder(batch_->folder().value_or(""));
}

void ZTCameraController::showFocusStacking() {
    if (!ztView_) return;
    std::string notice;
    if (const auto device = focuser_ ? focuser_->focuser() : nullptr; device && focuser_->steps() >= 1)
        notice = "A capture run moves '" + device->name() + "' " + std::to_string(focuser_->steps()) +
                 " steps out between frames";
    ztView_->showFocusStacking(notice);
}

zeta::camera::ExposureRange ZTCameraController::exposureRange() const {
    const auto exposure = cameraProperty("CCD_EXPOSURE");
    const auto item = exposure ? exposure->item<INDIGO::NumberItem>("EXPOSURE") : nullptr;
    if (!item) return {};
    return {item->min(), item->max()};
}

bool ZTCameraController::typedValuesUsable(bool capture) {
    if (!view()) return true;
    std::string problem;
    if (bulbMode()) problem = zeta::camera::durationProblem(view()->duration(), exposureRange());
    if (problem.empty() && capture) problem = zeta::camera::countProblem(view()->count());
    if (problem.empty() && capture && ztView_ && view()->hasTimelapse())
        problem = zeta::camera::intervalProblem(ztView_->timelapse());
    view()->showInputProblem(problem);
    if (problem.empty()) return true;
    log(problem);
    return false;
}

void ZTCameraController::durationAction() {
    CameraController::durationAction();
    // A sequence's run keeps its row's values.
    if (!running() || !bulbMode() || !view() || (runsHeld_ && runsHeld_())) return;
    const double typed = view()->duration();
    const std::string problem = zeta::camera::durationProblem(typed, exposureRange());
    if (problem.empty()) {
        runDuration_.store(typed);
        view()->showInputProblem({});
        return;
    }
    const std::string kept = problem + "; the run goes on with " + seconds(runDuration_.load());
    view()->showInputProblem(kept);
    log(kept);
}

void ZTCameraController::batchAction() {
    CameraController::batchAction();
    if (!captureInProgress() || !ztView_ || !view() || !view()->hasTimelapse() || (runsHeld_ && runsHeld_())) return;
    const double typed = ztView_->timelapse();
    const std::string problem = zeta::camera::intervalProblem(typed);
    if (problem.empty()) {
        runTimelapse_.store(typed);
        view()->showInputProblem({});
        return;
    }
    const std::string kept = problem + "; the run goes on with " + seconds(runTimelapse_.load());
    view()->showInputProblem(kept);
    log(kept);
}

void ZTCameraController::stopAction() {
    const auto abort = cameraProperty("CCD_ABORT_EXPOSURE");
    bool endsHere = false;
    {
        std::lock_guard lock(requestMutex_);
        if (camera() && running()) {
            stopInProgress_.store(true);
            sleeper_->wake();
            if (abort) {
                sendSwitch(abort, "ABORT_EXPOSURE");
            } else {
                // Nothing will report an abort: between frames the run ends here; an exposure
                // requested or under way ends it when it finishes (or when its request is dropped).
                endsHere = !exposing_.load();
            }
        } else if (abort) {
            sendSwitch(abort, "ABORT_EXPOSURE");
        }
    }
    if (endsHere) captureAborted();
    if (focuser_) focuser_->stopAction();
}

void ZTCameraController::zoomAction() {
    const auto zoom = cameraProperty("DSLR_ZOOM_PREVIEW");
    if (!zoom) return;
    const bool was = zoomPreview_.load();
    zoomPreview_.store(!was);
    sendSwitch(zoom, was ? "OFF" : "ON");
    updateGUI();
}

void ZTCameraController::exposureUpdated(const std::shared_ptr<INDIGO::Property>& property) {
    const indigo_property_state s = property->state();
    // The light follows the exposure while the run goes on; a run that ends here shows the
    // state it ended with, and a report after the end changes nothing.
    std::string image(property->stateImageName());
    if (s != INDIGO_BUSY_STATE) {
        if (running() && exposing_.exchange(false)) {
            if (s == INDIGO_OK_STATE) {
                countDownFrame();
            } else if (s == INDIGO_ALERT_STATE) {
                remainingCount_.store(0);
            }
            if (remainingCount_.load() != 0) {
                if (!stopInProgress_.load() && running()) {
                    startNextExposure();
                } else {
                    endRun(INDIGO_ALERT_STATE);
                    image.clear();
                }
            } else {
                endRunOn(s, "Exposure", property->device()->name());
                image.clear();
            }
        } else {
            image.clear();
        }
    } else if (!running()) {
        image.clear();
    }
    queueProgress(image);
}

void ZTCameraController::streamingUpdated(const std::shared_ptr<INDIGO::Property>& property) {
    const indigo_property_state s = property->state();
    std::string image(property->stateImageName());
    if (s == INDIGO_BUSY_STATE) {
        // Streaming counts only the frames of live view, never those of a batch.
        if (streamingUsed_.load() && previewInProgress())
            countDownFrame();
        else
            image.clear();
    } else if (streamingUsed_.load() && previewInProgress()) {
        // Only live view streams; a batch or preview keeps going whatever streaming does.
        remainingCount_.store(0);
        endRunOn(s, "Live view", property->device()->name());
        image.clear();
    } else {
        image.clear();
    }
    queueProgress(image);
}

void ZTCameraController::queueProgress(const std::string& stateImage) {
    // Taken now: by the time the main queue runs, later frames may have been saved.
    std::string text = "--/--";
    if (captureInProgress() && batch_) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%lld/%d", static_cast<long long>(batch_->index()), runCount_.load());
        text = buffer;
    }
    onMain([this, text, stateImage, run = generation_.load()] { updateBatchProgress(text, stateImage, run); });
}

void ZTCameraController::imageUpdated(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->state() != INDIGO_OK_STATE) return;
    const auto item = property->item<INDIGO::BLOBItem>("IMAGE");
    if (!item) return;
    if (captureInProgress() && batch_) {
        // The bytes of this very update: a later frame may already be in the record.
        const zeta::platform::Data bytes = item->eventValue();
        if (bytes.length() == 0) {
            log("Capture stopped: a frame from '" + property->device()->name() + "' came without data");
            remainingCount_.store(0);
            lastRunFailed_.store(true);
            endRun(INDIGO_ALERT_STATE);
        } else {
            batch_->saveFrame(bytes, std::nullopt, std::nullopt, std::nullopt, std::nullopt, item->format());
            queueProgress({});
        }
    }
    ImageController* display = imageController();
    if (!display || !display->tryLock()) return;
    std::shared_ptr<Image> image = item->image();
    main_.async(
        [this, image = std::move(image), source = "frame from '" + property->device()->name() + "'"] {
            showCapturedImage(image, true, source);
        },
        [display] { display->unlock(); });
}

void ZTCameraController::showCapturedImage(std::shared_ptr<Image> image, bool tokenTaken, const std::string& source) {
    ImageController* display = imageController();
    if (image) {
        imageWidth_.store(image->width());
        imageHeight_.store(image->height());
    }
    if (display) display->setImage(std::move(image), source);
    updateGUI();
    if (display && tokenTaken) display->unlock();
}

void ZTCameraController::startNextExposure() {
    {
        std::lock_guard lock(workerMutex_);
        if (closing_.load()) return;
        ++workers_;
    }
    dispatch::globalQueue(dispatch::QoS::Background).async([this] {
        nextExposure();
        std::lock_guard lock(workerMutex_);
        --workers_;
        workerDone_.notify_all();
    });
}

bool ZTCameraController::sleepFor(std::chrono::microseconds time) {
    return sleeper_->sleep(time, [this] { return waitStopped(); });
}

bool ZTCameraController::waitStopped() const {
    return closing_.load() || stopInProgress_.load() || !running();
}

void ZTCameraController::nextExposure() {
    const std::uint64_t generation = generation_.load();
    const auto sameRun = [&] {
        return generation_.load() == generation && !waitStopped();
    };
    // The last frame written first: a run that could not save it ends at that frame, before
    // the focuser steps or the camera takes another (which nothing could keep).
    if (batch_) batch_->flush();
    if (!sameRun()) return;
    if (focuser_ && focuser_->focuser() && captureInProgress()) {
        if (!focusStep()) {
            if (!sameRun()) return;
        }
    }
    const double interval = runTimelapse_.load();
    if (captureInProgress() && sameRun()) {
        zeta::camera::forEachTimelapseStep(interval, [&](const zeta::camera::WaitStep& step) {
            if (!captureInProgress() || !sameRun()) return false;
            if (step.kind == zeta::camera::WaitStep::Show) {
                onMain([this, image = std::string(step.image)] { showStateImage(image); });
                return true;
            }
            return sleepFor(step.time);
        });
    }
    if (closing_.load() || generation_.load() != generation) return;
    // A stop between frames on a camera that reports no abort: nobody else ends the run.
    if (stopInProgress_.load() || !running()) return;
    const auto exposure = cameraProperty("CCD_EXPOSURE");
    if (!exposure) return;
    // Marked on the bus queue: reports of the last exposure still waiting there are taken
    // for what they are, not for the end of the next one.
    if (indigo())
        indigo()->indigoSyncQueue().sync([this] { exposing_.store(true); });
    else
        exposing_.store(true);
    bool endsHere = false;
    {
        std::lock_guard lock(requestMutex_);
        if (!stopInProgress_.load() && running() && generation_.load() == generation) {
            sendNumbers(exposure, {{"EXPOSURE", runDuration_.load()}});
            return;
        }
        exposing_.store(false);
        // A stop that saw this request coming left the run to it; without an abort to report,
        // the run ends here since the request is dropped.
        endsHere = stopInProgress_.load() && running() && generation_.load() == generation &&
                   !cameraProperty("CCD_ABORT_EXPOSURE");
    }
    if (endsHere)
        onMain([this, generation] {
            if (running() && generation_.load() == generation) captureAborted();
        });
}

bool ZTCameraController::focusStep() {
    const auto device = focuser_->focuser();
    focuser_->focusOut();
    if (!sleepFor(kSettle)) return false;
    int polls = 0;
    while (focuser_->state() == INDIGO_BUSY_STATE) {
        if (focuser_->focuser() != device) {
            log("The focuser went away during the focus step");
            return true;
        }
        if (++polls > kFocuserPolls) {
            log("Capture stopped: the focuser did not finish its step");
            remainingCount_.store(0);
            lastRunFailed_.store(true);
            endRun(INDIGO_ALERT_STATE);
            return false;
        }
        if (!sleepFor(kFocuserPoll)) return false;
    }
    return true;
}

void ZTCameraController::endRun(indigo_property_state state) {
    const bool stopped = stopInProgress_.load();
    if (batch_) batch_->close();
    // The state first: whoever sees the run ended finds its light queued already.
    setState(state);
    stopInProgress_.store(false);
    exposing_.store(false);
    setPreviewInProgress(false);
    setCaptureInProgress(false);
    sleeper_->wake();
    onMain([this, run = generation_.load()] { runEnded(run); });
    reportRunEnd(state == INDIGO_OK_STATE ? RunEnd::Done : stopped ? RunEnd::Stopped : RunEnd::Failed);
}

void ZTCameraController::runEnded(std::uint64_t run) {
    endShown_ = std::max(endShown_, run);
    if (running()) return;
    if (ztView_) ztView_->showBatchProgress("--/--");
    clearFrameRate();
    updateGUI();
}

void ZTCameraController::endRunOn(indigo_property_state state, const char* what, const std::string& camera) {
    const bool failed = state == INDIGO_ALERT_STATE;
    if (failed && !stopInProgress_.load()) {
        log(std::string(what) + " failed on '" + camera + "'");
        lastRunFailed_.store(true);
    }
    endRun(failed ? INDIGO_ALERT_STATE : INDIGO_OK_STATE);
}

void ZTCameraController::countDownFrame() {
    int count = remainingCount_.load();
    while (count > 0 && !remainingCount_.compare_exchange_weak(count, count - 1)) {}
}

void ZTCameraController::captureAborted() {
    endRun(INDIGO_ALERT_STATE);
    updateGUI();
}

void ZTCameraController::updateBatchProgress(const std::string& text, const std::string& stateImage,
                                             std::uint64_t run) {
    // What was queued before its run's end is shown in turn; what arrives after it must not
    // outlive the run: neither its count nor the light of a frame over the run's last state.
    const bool ended = run <= endShown_;
    if (ztView_) ztView_->showBatchProgress(ended ? "--/--" : text);
    if (!ended && !stateImage.empty() && view()) view()->showState(stateImage);
    updateGUI();
}

void ZTCameraController::showStateImage(std::string_view image) {
    if (view()) view()->showState(image);
}

// --- Window ---------------------------------------------------------------------------------------------

bool ZTCameraController::bulbMode() const {
    // A camera without shutter or program settings (an astronomy camera) is always timed by
    // the duration box: sending 0 would ask it for an empty frame.
    if (const auto device = camera(); device && !device->property("DSLR_SHUTTER") && !device->property("DSLR_PROGRAM"))
        return true;
    if (!ztView_) return false;
    if (ztView_->dslrSelectedTitle(DslrSetting::Shutter) == std::optional<std::string>("Bulb")) return true;
    return ztView_->dslrSelectedTitle(DslrSetting::Program) == std::optional<std::string>("Bulb");
}

double ZTCameraController::duration() const {
    if (!bulbMode() || !view()) return 0;
    const double value = view()->duration();
    return std::isfinite(value) && value > 0 ? value : 0;
}

void ZTCameraController::updateGUI() {
    const bool busy = running() || (runsHeld_ && runsHeld_());
    const auto device = camera();
    RunControls controls;
    controls.prefs = controls.captureFolder = !busy;
    zeta::camera::ControlFlags flags;
    flags.cameraListEnabled = !device || !busy;
    flags.frameType = frameTypeEnabled();
    flags.offset = offsetEnabled();
    flags.gain = gainEnabled();
    flags.gamma = gammaEnabled();
    flags.cooler = coolerEnabled();
    flags.frame = frameEnabled();
    flags.binning = !busy && binningEnabled();
    if (ztView_) ztView_->showRows(rowsOf(device));
    if (device) {
        const bool streaming = streamingUsed_.load();
        const bool preview = previewInProgress();
        controls.liveView = !busy && liveViewEnabled_.load();
        controls.liveViewOn = preview && streaming;
        controls.liveViewZoom = zoomEnabled_.load() && preview && streaming;
        controls.liveViewZoomOn = zoomPreview_.load();
        controls.liveViewStop = liveViewEnabled_.load();
        controls.preview1 = !busy;
        controls.preview = !busy;
        controls.previewOn = preview && !streaming;
        controls.capture = !busy;
        controls.captureOn = captureInProgress();
        controls.captureStop = true;
        controls.batchFields = !busy;
        controls.interval = !busy || captureInProgress();
        for (std::size_t i = 0; i < zeta::camera::kDslrSettings; ++i)
            controls.dslr[i] = !busy && dslrEnabled_[i];
        flags.mode = !busy && modeEnabled();
        // A run reads the duration at each request; live view takes it once, at its start.
        flags.duration = (!busy || !streamingUsed_.load()) && durationEnabled() && bulbMode();
    } else if (ztView_ && view()) {
        for (const auto& row : kDslrTable)
            ztView_->showDslrPopup(row.setting, {}, -1);
        view()->showModes({}, -1);
        view()->showDuration(1);
        ztView_->showBatchProgress("--/--");
        if (!keepAlert_.load() && state() != INDIGO_IDLE_STATE) setState(INDIGO_IDLE_STATE);
    }
    if (view()) view()->showControls(flags);
    if (ztView_) ztView_->showRunControls(controls);
    if (camerasPopUp().enabled() != flags.cameraListEnabled) setCamerasPopUpEnabled(flags.cameraListEnabled);
    updateCoolerState();
    if (focuser_) focuser_->updateGUI();
    if (batch_) batch_->updateGUI();
    showCaptureFolder();
    showFocusStacking();
    updateDeviceList();
}

// --- DSLR settings ------------------------------------------------------------------------------------------

void ZTCameraController::updatePopUp(DslrSetting setting, const SwitchReading& reading) {
    if (ztView_) ztView_->showDslrPopup(setting, reading.entries, reading.selected);
    dslrEnabled_[indexOf(setting)] = !reading.readOnly;
    updateGUI();
}

void ZTCameraController::dslrAction(DslrSetting setting) {
    const auto device = camera();
    if (!device || !ztView_) return;
    const auto item = ztView_->dslrSelectedItem(setting);
    if (!item) return;
    const auto& row = kDslrTable[indexOf(setting)];
    if (auto property = device->property(row.property)) sendSwitch(property, *item);
    defaults().setObject(*item, device->name() + row.suffix);
}

void ZTCameraController::restoreSetting(const std::shared_ptr<INDIGO::Device>& device, const char* property,
                                        const std::string& key) {
    const auto held = device->property(property);
    if (!held || !defaults().objectForKey(key)) return;
    sendSwitch(held, defaults().stringForKey(key, ""));
}

void ZTCameraController::connectionRestored(const std::shared_ptr<INDIGO::Device>& device) {
    keepAlert_.store(false);
    {
        std::lock_guard lock(restoreMutex_);
        restoreDone_ = true;
        restored_.clear();
        for (const auto& row : kDslrTable)
            if (device->property(row.property)) restored_.emplace_back(row.property);
    }
    // The base step loaded the configuration and restored the mode: the DSLR settings go over
    // it. Settings defined before the camera was chosen are shown now.
    for (const auto& row : kDslrTable) {
        if (auto property = device->property(row.property)) updateProperty(property);
        restoreSetting(device, row.property, device->name() + row.suffix);
    }
    if (auto zoom = device->property("DSLR_ZOOM_PREVIEW")) {
        zoomEnabled_.store(true);
        updateProperty(zoom);
    }
    if (auto streaming = device->property("CCD_STREAMING")) {
        liveViewEnabled_.store(true);
        updateProperty(streaming);
    }
    if (auto battery = device->property("DSLR_BATTERY_LEVEL")) showBattery(battery);
    updateSetup();
}

bool ZTCameraController::coolerShownFor(const std::shared_ptr<INDIGO::Device>& device) const {
    return CameraController::coolerShownFor(device) && rowsOf(device).cooler;
}

void ZTCameraController::showBattery(const std::shared_ptr<INDIGO::Property>& battery) {
    if (const auto value = battery->item<INDIGO::NumberItem>("VALUE")) {
        const double level = value->value();
        onMain([this, level] { updateBatteryLevel(level); });
    }
}

void ZTCameraController::updateBatteryLevel(double percent) {
    if (ztView_) ztView_->showBattery(zeta::camera::batteryImageName(percent));
}

void ZTCameraController::updateSetup() {
    const auto device = camera();
    if (!device) return;
    struct Option {
        const char* property;
        const char* key;
        bool fallback;
        const char* on;
        const char* off;
    };
    static constexpr Option options[] = {
        {"DSLR_LOCK", "lockCameraGUI", false, "LOCK", "UNLOCK"},
        {"DSLR_MIRROR_LOCKUP", "useMirrorLockup", false, "LOCK", "UNLOCK"},
        {"DSLR_AVOID_AF", "avoidAF", true, "ON", "OFF"},
        {"DSLR_DELETE_IMAGE", "deleteDownloadedImages", true, "ON", "OFF"},
    };
    for (const Option& option : options)
        if (auto property = device->property(option.property))
            sendSwitch(property, defaults().boolForKey(option.key, option.fallback) ? option.on : option.off);
}

void ZTCameraController::savePreferences() {
    CameraController::savePreferences();
    updateSetup();
    updateGUI();
}

void ZTCameraController::resetControls() {
    const bool wasRunning = running();
    // A run that has just failed (its camera going, most likely) keeps saying so.
    if (lastRunFailed_.load()) keepAlert_.store(true);
    resetCameraState();
    remainingCount_.store(0);
    stopInProgress_.store(false);
    exposing_.store(false);
    zoomEnabled_.store(false);
    zoomPreview_.store(false);
    dslrEnabled_.fill(false);
    {
        std::lock_guard lock(restoreMutex_);
        restoreDone_ = false;
        restored_.clear();
    }
    sleeper_->wake();
    if (wasRunning) {
        // The camera went (or another was chosen) mid-run: what was saved stays, the video is
        // finished, and the window says the run did not complete until a camera connects.
        if (batch_) batch_->close();
        log("Capture stopped: the camera is no longer available");
        keepAlert_.store(true);
    }
    reportRunEnd(RunEnd::Failed);
    // The window is reset here, so whatever run there was is shown ended.
    endShown_ = generation_.load();
    if (keepAlert_.load()) setState(INDIGO_ALERT_STATE);
    if (ztView_) ztView_->showBattery("Bat");
    updateGUI();
}
