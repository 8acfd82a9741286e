#include "focus/focuser_controller.h"

#include "Common/device_kind.h"
#include "Common/items.h"
#include "Common/property.h"

#include <algorithm>

namespace zeta::focus {

using zeta::common::interfaceBits;
using zeta::common::numberValue;

namespace {

constexpr const char* kInfo = "INFO";
constexpr const char* kConnection = "CONNECTION";
constexpr const char* kSpeed = "FOCUSER_SPEED";
constexpr const char* kDirection = "FOCUSER_DIRECTION";
constexpr const char* kSteps = "FOCUSER_STEPS";
constexpr const char* kPosition = "FOCUSER_POSITION";
constexpr const char* kTemperature = "FOCUSER_TEMPERATURE";
constexpr const char* kAbort = "FOCUSER_ABORT_MOTION";
constexpr int kFocuserBit = 0x08;

} // namespace

FocuserController::FocuserController(zeta::platform::UserDefaults& defaults) : defaults_(defaults) {}

FocuserController::~FocuserController() {
    stopRun();
}

void FocuserController::awakeFromNib() {
    useFahrenheit_ = defaults_.boolForKey("useFahrenheit", false);
    focusers_.select(0);
    focuserAction();
}

std::shared_ptr<INDIGO::Device> FocuserController::focuser() const {
    std::lock_guard lock(mutex_);
    return focuser_;
}

Direction FocuserController::direction() const {
    std::lock_guard lock(mutex_);
    return rules_.direction();
}

// --- Bus events ------------------------------------------------------------------------------

void FocuserController::defineProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->name() != kInfo) {
        // Peers that define their properties after reporting the connection (INDI drivers):
        // a definition for the connected focuser counts as its first update.
        const auto device = property->device();
        if (device && device == focuser() && device->connected() && property->name() != kConnection) {
            updateProperty(property);
            if (property->name() == kSpeed) restoreSpeed(property);
        }
        return;
    }
    const auto bits = interfaceBits(*property);
    if (!bits || (*bits & kFocuserBit) == 0) return;
    auto device = property->device();
    main_.async([this, device] {
        focusers_.add(device);
        updateDeviceList();
    });
}

void FocuserController::deleteProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->name() != kInfo) return;
    auto device = property->device();
    main_.async([this, device] {
        if (focuser() == device) {
            focusers_.select(0);
            focuserAction();
        }
        focusers_.remove(device->name());
        updateDeviceList();
    });
}

void FocuserController::updateProperty(const std::shared_ptr<INDIGO::Property>& property) {
    const auto device = property->device();
    if (!device || device != focuser()) return;
    const std::string& name = property->name();
    if (name == kConnection) {
        if (device->connected()) {
            awaitingConnection_ = false;
            if (auto speed = device->property(kSpeed)) {
                showSpeed(speed);
                restoreSpeed(speed);
            }
            if (auto position = device->property(kPosition)) updateProperty(position);
            if (auto temperature = device->property(kTemperature)) updateProperty(temperature);
            main_.async([this, device] { restoreDeviceSettings(device); });
        } else {
            if (awaitingConnection_) return;
            speedRestored_ = false;
            main_.async([this, device] {
                if (!focuser()) return;
                stopRun(); // a run would wait for a focuser that no longer answers
                {
                    std::lock_guard lock(mutex_);
                    focuser_.reset();
                    focusers_.select(0);
                }
                // The window must not offer moves that now go nowhere.
                updateGUI();
            });
            updateDeviceList();
        }
    } else if (name == kSpeed) {
        showSpeed(property);
    } else if (name == kSteps) {
        state_.store(property->state());
        autofocusMoveSent_ = false;
        runWake_.notify_all();
        std::string image(property->stateImageName());
        main_.async([this, image] {
            if (view_) view_->showStateImage(image);
            updateGUI();
        });
    } else if (name == kPosition || name == kTemperature) {
        const auto value = numberValue(property, name == kPosition ? "POSITION" : "TEMPERATURE");
        if (!value) return;
        const bool isPosition = name == kPosition;
        main_.async([this, device, isPosition, value] {
            if (focuser() != device) return;
            (isPosition ? position_ : temperature_) = value;
            if (view_) view_->showState(focuserState());
        });
    }
}

void FocuserController::restoreSpeed(const std::shared_ptr<INDIGO::Property>& speed) {
    const std::string key = speed->device()->name() + ".speed";
    if (!defaults_.objectForKey(key) || speedRestored_.exchange(true)) return;
    indigo()->setNumberItems(speed, {{"SPEED", defaults_.doubleForKey(key, 0)}});
}

void FocuserController::showSpeed(const std::shared_ptr<INDIGO::Property>& property) {
    const auto item = property->item<INDIGO::NumberItem>("SPEED");
    if (!item) return;
    const double min = item->min(), max = item->max(), value = item->value(), step = item->step();
    auto device = property->device();
    main_.async([this, device, min, max, value, step] {
        if (focuser() != device) return;
        const double inRange = (min <= max) ? std::clamp(value, min, max) : value;
        speedEnabled_ = true;
        if (view_) {
            view_->showSpeedRange(min, max, inRange, speedIncrement(step));
            view_->showSpeedText(speedText(roundedSpeed(inRange, min, max, step)));
        }
        updateGUI();
    });
}

void FocuserController::restoreDeviceSettings(const std::shared_ptr<INDIGO::Device>& device) {
    if (focuser() != device) return;
    const std::string& name = device->name();
    const auto read = [&](const char* suffix, long long fallback) {
        const long long value = defaults_.integerForKey(name + suffix, fallback);
        return static_cast<int>(std::clamp<long long>(value, 0, 1000000));
    };
    steps_ = read(".steps", 1);
    backlash_ = read(".backlash", 0);
    initialStep_ = read(".initialStep", 4);
    finalStep_ = read(".finalStep", 1);
    if (view_) {
        view_->showSteps(steps_.load(), backlash_.load());
        view_->showAutofocusSteps(initialStep_.load(), finalStep_.load());
    }
    updateGUI();
}

// --- Actions ---------------------------------------------------------------------------------

void FocuserController::selectFocuser(int index) {
    focusers_.select(index);
    focuserAction();
}

void FocuserController::focuserAction() {
    const int selected = focusers_.selectedIndex();
    if (selected >= 0 && indigo()) indigo()->message("'" + focusers_.selectedTitle() + "' selected");
    stopRun();
    std::shared_ptr<INDIGO::Device> old;
    {
        std::lock_guard lock(mutex_);
        old.swap(focuser_);
        // Another focuser owes nothing to the last one's direction or state.
        rules_.reset();
        state_ = INDIGO_IDLE_STATE;
        speedRestored_ = false;
    }
    auto device = focusers_.selectedDevice();
    awaitingConnection_ = device != nullptr;
    if (old && indigo()) indigo()->setSwitchItem(old->connectionProperty(), "DISCONNECTED", true);
    speedEnabled_ = false;
    updateGUI();

    {
        std::lock_guard lock(mutex_);
        focuser_ = device;
    }
    if (device && indigo()) {
        indigo()->setSwitchItem(device->property("CONFIG"), "LOAD", true);
        indigo()->setSwitchItem(device->connectionProperty(), "CONNECTED", true);
        indigo()->setSwitchItem(device->property("CONFIG"), "LOAD", true);
    }
    updateDeviceList();
}

void FocuserController::speedAction(SpeedControl sender, double value, bool released) {
    const auto device = focuser();
    const auto property = device ? device->property(kSpeed) : nullptr;
    const auto item = property ? property->item<INDIGO::NumberItem>("SPEED") : nullptr;
    if (!item) return;
    const double shown = roundedSpeed(value, item->min(), item->max(), item->step());
    if (view_) view_->showSpeedText(speedText(shown));
    if (sender == SpeedControl::Stepper || released) indigo()->setNumberItems(property, {{"SPEED", shown}});
    defaults_.setDouble(shown, device->name() + ".speed");
    defaults_.synchronize();
}

void FocuserController::focusAction(Direction button, bool pressed) {
    const auto device = focuser();
    if (!device || !device->property(kDirection) || !device->property(kSteps) || button == Direction::None) return;
    const bool continuous = device->property(kAbort) && steps_.load() == 0;
    if (pressed) {
        if (continuous) sendMove(device, MoveRules::hold(button));
        return;
    }
    if (continuous)
        indigo()->setSwitchItem(device->property(kAbort), "ABORT_MOTION", true);
    else
        move(button);
}

void FocuserController::settingsAction(int steps, int backlash, std::optional<int> initialStep,
                                       std::optional<int> finalStep) {
    steps_ = std::max(steps, 0);
    backlash_ = std::max(backlash, 0);
    if (initialStep) initialStep_ = std::max(*initialStep, 1);
    if (finalStep) finalStep_ = std::max(*finalStep, 1);
    const auto device = focuser();
    if (!device) return;
    const std::string& name = device->name();
    defaults_.setInteger(steps_.load(), name + ".steps");
    defaults_.setInteger(backlash_.load(), name + ".backlash");
    if (initialStep) defaults_.setInteger(initialStep_.load(), name + ".initialStep");
    if (finalStep) defaults_.setInteger(finalStep_.load(), name + ".finalStep");
}

void FocuserController::stopAction() {
    stopRun();
    if (const auto device = focuser(); device && indigo())
        indigo()->setSwitchItem(device->property(kAbort), "ABORT_MOTION", true);
    routine_.stop();
    autofocusInProgress_ = false;
    updateGUI();
}

// --- Autofocus -------------------------------------------------------------------------------

void FocuserController::autofocusAction() {
    routine_.start(Neighbours::read(neighbours_.previewInProgress), initialStep_.load(), finalStep_.load(),
                   backlash_.load());
    if (!routine_.inProgress()) return;
    autofocusMoveSent_ = false;
    autofocusInProgress_ = true;
    updateGUI();
}

void FocuserController::autofocus() {
    if (!routine_.inProgress()) return;
    const StarReading star = neighbours_.selectedStar ? neighbours_.selectedStar() : StarReading{};
    const auto device = focuser();
    AutofocusFrame frame;
    // A number the image window has none for reads as 0, as an empty field would.
    frame.starSelected = star.selected;
    frame.peak = star.peak.value_or(0);
    frame.hfd = star.hfd.value_or(0);
    frame.fwhm = star.fwhm.value_or(0);
    frame.focuserState = autofocusMoveSent_ ? INDIGO_BUSY_STATE : state_.load();
    frame.focuserReady = device && device->property(kDirection) && device->property(kSteps);
    frame.time = clock_();
    carryOut(routine_.frame(frame));
}

void FocuserController::carryOut(const std::vector<AutofocusAction>& actions) {
    const auto device = focuser();
    for (const AutofocusAction& action : actions) {
        switch (action.kind) {
        case AutofocusAction::Kind::Direction:
            if (device && indigo()) {
                std::lock_guard lock(mutex_);
                // The backlash of the next manual move depends on where autofocus left the gears.
                rules_.record(action.outward ? Direction::Outward : Direction::Inward);
                indigo()->setSwitchItem(device->property(kDirection), action.outward ? "MOVE_OUTWARD" : "MOVE_INWARD",
                                        true);
            }
            break;
        case AutofocusAction::Kind::Steps:
            if (device && indigo()) {
                autofocusMoveSent_ = true;
                indigo()->setNumberItems(device->property(kSteps), {{"STEPS", action.steps}});
            }
            break;
        case AutofocusAction::Kind::Log:
            if (indigo()) indigo()->message(action.text);
            break;
        case AutofocusAction::Kind::Abort:
            stopAction();
            break;
        }
    }
    // The final move ends the run without a refresh: that move's own update shows it.
    autofocusInProgress_ = routine_.inProgress();
}

// --- Moves -----------------------------------------------------------------------------------

void FocuserController::sendMove(const std::shared_ptr<INDIGO::Device>& device, const FocusMove& move) {
    indigo()->setSwitchItem(device->property(kDirection),
                            move.direction == Direction::Inward ? "MOVE_INWARD" : "MOVE_OUTWARD", true);
    indigo()->setNumberItems(device->property(kSteps), {{"STEPS", move.steps}});
}

void FocuserController::move(Direction towards) {
    std::shared_ptr<INDIGO::Device> device;
    std::optional<FocusMove> next;
    {
        std::lock_guard lock(mutex_);
        device = focuser_;
        if (!device || !device->property(kDirection) || !device->property(kSteps)) return;
        // Under the lock: the run thread and the main queue may move at the same time, and
        // each move's direction must be recorded before the next one reads it.
        next = rules_.step(towards, steps_.load(), backlash_.load());
        if (next) sendMove(device, *next);
    }
}

void FocuserController::focusOut() {
    move(Direction::Outward);
}

void FocuserController::focusIn() {
    move(Direction::Inward);
}

// --- Multi-step runs -------------------------------------------------------------------------

void FocuserController::startRun(int count, Direction towards) {
    stopRun();
    std::lock_guard lock(runMutex_);
    runStop_ = false;
    running_ = true;
    run_ = std::thread([this, count, towards] { runLoop(count, towards); });
}

void FocuserController::stopRun() {
    {
        std::lock_guard lock(runMutex_);
        runStop_ = true;
    }
    runWake_.notify_all();
    if (run_.joinable() && run_.get_id() != std::this_thread::get_id()) run_.join();
}

void FocuserController::runLoop(int count, Direction towards) {
    MultiStepPacer pacer(count);
    auto movedAt = std::chrono::steady_clock::now();
    for (;;) {
        MultiStepPacer::Observation seen;
        {
            std::lock_guard lock(runMutex_);
            seen.stopped = runStop_;
        }
        seen.state = state_.load();
        seen.sinceMove =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - movedAt);
        const auto action = pacer.next(seen);
        if (action == MultiStepPacer::Action::Finish) break;
        if (action == MultiStepPacer::Action::SendMove) {
            move(towards);
            pacer.moveSent();
            movedAt = std::chrono::steady_clock::now();
            continue;
        }
        std::unique_lock lock(runMutex_);
        runWake_.wait_for(lock, MultiStepPacer::kPoll, [this] { return runStop_; });
    }
    running_ = false;
    main_.async([this] { updateGUI(); });
}

// --- Look ------------------------------------------------------------------------------------

std::string FocuserController::focuserState() const {
    return focuserStateText(position_, temperature_, useTemperature_, useFahrenheit_);
}

void FocuserController::showDevices() {
    if (view_) view_->showFocusers(focusers_.titles(), focusers_.selectedIndex(), focusers_.enabled());
}

void FocuserController::updateDeviceList() {
    main_.async([this] {
        showDevices();
        if (deviceListChanged_) deviceListChanged_();
    });
}

void FocuserController::savePreferences() {
    const bool fahrenheit = defaults_.boolForKey("useFahrenheit", false);
    if (fahrenheit != useFahrenheit_) {
        useFahrenheit_ = fahrenheit;
        if (view_) view_->showState(focuserState());
    }
    updateGUI();
}

void FocuserController::updateGUI() {
    const bool preview = Neighbours::read(neighbours_.previewInProgress);
    const bool capture = Neighbours::read(neighbours_.captureInProgress);
    const bool sequence = Neighbours::read(neighbours_.sequenceInProgress);
    const bool star = Neighbours::read(neighbours_.starSelected);
    const bool autofocus = autofocusInProgress_.load();
    FocuserControls controls;
    controls.focusersEnabled = !preview && !capture && !sequence;
    focusers_.setEnabled(controls.focusersEnabled);
    if (focuser()) {
        const bool free = !(capture || sequence) && !autofocus;
        controls.moveEnabled = free;
        controls.autofocusEnabled = !capture && preview && !sequence && !autofocus && star;
        controls.autofocusOn = autofocus;
        controls.stopEnabled = true;
        controls.speedEnabled = speedEnabled_ && !(capture || sequence);
        controls.stepsEnabled = free;
        controls.autofocusStepsEnabled = free;
        if (view_) view_->showControls(controls);
    } else {
        position_.reset();
        temperature_.reset();
        if (view_) {
            view_->showControls(controls);
            view_->showSpeedRange(0, 1, 1, 1);
            view_->showSpeedText("--");
            view_->showSteps(std::nullopt, std::nullopt);
            view_->showAutofocusSteps(std::nullopt, std::nullopt);
            view_->showState(focuserState());
            view_->showStateImage("NSStatusNone");
        }
    }
    updateDeviceList();
}

// --- Product window --------------------------------------------------------------------------

void ZTFocuserController::awakeFromNib() {
    FocuserController::awakeFromNib();
    useTemperature_ = false;
    if (!focuser() && view_) view_->showState(focuserState());
}

void ZTFocuserController::updateGUI() {
    const bool preview = Neighbours::read(neighbours_.previewInProgress);
    // A sequence is a chain of capture runs: the focuser stays locked between them too.
    const bool sequence = Neighbours::read(neighbours_.sequenceInProgress);
    const bool capture = Neighbours::read(neighbours_.captureInProgress) || sequence;
    const bool star = Neighbours::read(neighbours_.starSelected);
    const bool autofocus = autofocusInProgress_.load();
    FocuserControls controls;
    controls.focusersEnabled = !preview && !capture;
    focusers_.setEnabled(controls.focusersEnabled);
    if (focuser()) {
        const bool busy = state() == INDIGO_BUSY_STATE;
        // Autofocus moves the focuser itself: no hand moves or changed steps meanwhile.
        controls.moveEnabled = !capture && !autofocus;
        controls.multiEnabled = !capture && !autofocus;
        controls.inOn = direction() == Direction::Inward && busy;
        controls.outOn = direction() == Direction::Outward && busy;
        controls.stopEnabled = true;
        controls.speedEnabled = speedEnabled_ && !capture;
        controls.stepsEnabled = !capture && !autofocus;
        // The autofocus controls follow the general window's rules.
        controls.autofocusEnabled = !capture && preview && !sequence && !autofocus && star;
        controls.autofocusOn = autofocus;
        controls.autofocusStepsEnabled = !(capture || sequence) && !autofocus;
        if (view_) view_->showControls(controls);
    } else {
        position_.reset();
        if (view_) {
            view_->showControls(controls);
            view_->showSpeedRange(0, 1, 1, 1);
            view_->showSpeedText("--");
            view_->showSteps(std::nullopt, std::nullopt);
            view_->showAutofocusSteps(std::nullopt, std::nullopt);
            view_->showState(focuserState());
            view_->showStateImage("NSStatusNone");
        }
    }
    // The popup's enabled state may have changed: the application device republishes it.
    updateDeviceList();
}

void ZTFocuserController::multiAction(bool rewind) {
    const int count = neighbours_.frameCount ? neighbours_.frameCount() : 0;
    startRun(count, rewind ? Direction::Inward : Direction::Outward);
    updateGUI();
}

} // namespace zeta::focus
