#include "camera/camera_controller.h"

#include "Common/device.h"
#include "Common/device_kind.h"
#include "Common/items.h"
#include "Common/property.h"
#include "camera/cooler_text.h"
#include "image_window/image_controller.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/gui/named_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zeta::camera {

namespace {

constexpr const char* kOff = "Off";

// A geometry value as a whole number, truncated toward zero; 0 where it has no integer form.
std::int64_t whole(double value) {
    if (!std::isfinite(value) || value >= 9.2e18 || value <= -9.2e18) return 0;
    return static_cast<std::int64_t>(value);
}

std::shared_ptr<INDIGO::NumberItem> numberItem(const std::shared_ptr<INDIGO::Property>& property, const char* name) {
    return property ? property->item<INDIGO::NumberItem>(name) : nullptr;
}

std::shared_ptr<INDIGO::SwitchItem> switchItem(const std::shared_ptr<INDIGO::Property>& property, const char* name) {
    return property ? property->item<INDIGO::SwitchItem>(name) : nullptr;
}

struct GroupNames {
    const char* property;
    const char* item;
    const char* setting;
};

GroupNames namesOf(Group group) {
    switch (group) {
    case Group::Offset:
        return {"CCD_OFFSET", "OFFSET", "offset"};
    case Group::Gain:
        return {"CCD_GAIN", "GAIN", "gain"};
    case Group::Gamma:
        break;
    }
    return {"CCD_GAMMA", "GAMMA", "gamma"};
}

// The properties whose stored setting the connection step restores.
bool restorable(const std::string& name) {
    return name == "CCD_MODE" || name == "CCD_OFFSET" || name == "CCD_GAIN" || name == "CCD_GAMMA" ||
           name == "CCD_COOLER" || name == "CCD_TEMPERATURE" || name == "CCD_FRAME_TYPE";
}

std::string degrees(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

CameraController::CameraController(zeta::platform::UserDefaults& defaults) : defaults_(defaults) {}

CameraController::~CameraController() {
    retireBackgroundRequests();
}

void CameraController::retireBackgroundRequests() {
    std::lock_guard lock(background_->mutex);
    background_->live = false;
}

void CameraController::setView(CameraView* view) {
    view_ = view;
    coolerPresent_.store(view != nullptr && view->hasCooler());
}

void CameraController::setCamerasPopUpEnabled(bool enabled) {
    cameras_.setEnabled(enabled);
    updateDeviceList();
}

std::string CameraController::deviceKey(const std::string& device, const char* setting) {
    return device + "." + setting;
}

template <class Task>
void CameraController::onMain(Task&& task) {
    main_.async(std::forward<Task>(task));
}

void CameraController::message(std::string_view text) {
    if (indigo()) indigo()->message(text);
}

std::shared_ptr<INDIGO::Device> CameraController::camera() const {
    std::lock_guard lock(mutex_);
    return camera_;
}

void CameraController::setCamera(std::shared_ptr<INDIGO::Device> device) {
    std::lock_guard lock(mutex_);
    camera_ = std::move(device);
    settingsApplied_ = false;
    seenConnected_ = false;
    restored_.clear();
    lastFrame_.reset();
}

bool CameraController::sameCamera(const std::shared_ptr<INDIGO::Device>& device) const {
    std::lock_guard lock(mutex_);
    return camera_ && camera_ == device;
}

std::optional<std::string> CameraController::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

std::optional<std::string> CameraController::frameType() const {
    std::lock_guard lock(mutex_);
    return frameType_;
}

void CameraController::setState(indigo_property_state state) {
    state_.store(static_cast<int>(state));
    onMain([this] { updateStateImage(); });
}

int CameraController::frameCount() const {
    const double count = view_ ? view_->count() : 0;
    if (!std::isfinite(count) || count < 0) return 0;
    return count > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(count);
}

bool CameraController::canQuit() {
    return !previewInProgress() && !captureInProgress();
}

// --- Requests --------------------------------------------------------------------------------

void CameraController::sendSwitch(const std::shared_ptr<INDIGO::Property>& property, const std::string& item) {
    if (indigo()) indigo()->setSwitchItem(property, item, true);
}

void CameraController::sendNumbers(const std::shared_ptr<INDIGO::Property>& property,
                                   const INDIGO::NumberValues& values) {
    if (indigo()) indigo()->setNumberItems(property, values);
}

void CameraController::sendEnableBLOB(const std::shared_ptr<INDIGO::Property>& property, bool enable) {
    if (indigo()) indigo()->enableBLOB(property, enable);
}

// --- Start-up ----------------------------------------------------------------------------------

void CameraController::showCoolerUnit() {
    view_->showCoolerLabel(useFarenheit_ ? "Cooler (°F):" : "Cooler (°C):");
    view_->showCoolerItems(useFarenheit_ ? FAHRENHEIT_SETPOINTS() : CELSIUS_SETPOINTS());
}

void CameraController::awakeFromNib() {
    if (view_->hasCooler()) {
        useFarenheit_ = defaults_.boolForKey("useFahrenheit", false);
        showCoolerUnit();
    }
    if (view_->hasTimelapse()) {
        view_->showTimelapseItems(TIME_LAPSE_INTERVALS());
        view_->showTimelapse(defaults_.doubleForKey("timelapse", 0));
    }
    view_->showNameTemplate(defaults_.stringForKey("nameTemplate", "IMG"));
    cameraAction();
}

// --- Camera list ---------------------------------------------------------------------------------

void CameraController::defineProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->name() == "INFO") {
        const auto bits = zeta::common::interfaceBits(*property);
        if (!bits || (*bits & 0x02) == 0) return;
        onMain([this, device = property->device()] { addCamera(device); });
        return;
    }
    // Devices that define their properties after reporting the connection (INDI drivers do)
    // are followed as if the property had been updated, and get their stored setting then.
    if (property->name() == "CONNECTION" || !sameCamera(property->device())) return;
    updateProperty(property);
    if (!restorable(property->name())) return;
    {
        // Once per connection and property: definitions sent again (an INDI server does so
        // whenever any client asks) restore nothing more.
        std::lock_guard lock(mutex_);
        if (!settingsApplied_) return;
        if (std::find(restored_.begin(), restored_.end(), property->name()) != restored_.end()) return;
        restored_.push_back(property->name());
    }
    const auto& device = property->device();
    const std::string& name = property->name();
    if (name == "CCD_MODE") restoreSwitch(device, "CCD_MODE", "mode");
    if (name == "CCD_FRAME_TYPE") restoreSwitch(device, "CCD_FRAME_TYPE", "frameType");
    if (name == "CCD_OFFSET") restoreNumber(device, "CCD_OFFSET", "OFFSET", "offset");
    if (name == "CCD_GAIN") restoreNumber(device, "CCD_GAIN", "GAIN", "gain");
    if (name == "CCD_GAMMA") restoreNumber(device, "CCD_GAMMA", "GAMMA", "gamma");
    if (coolerShownFor(device) && ((name == "CCD_COOLER" && device->property("CCD_TEMPERATURE")) ||
                                   (name == "CCD_TEMPERATURE" && device->property("CCD_COOLER"))))
        restoreCooler(device);
}

void CameraController::deleteProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->name() != "INFO") return;
    onMain([this, device = property->device()] { removeCamera(device); });
}

void CameraController::addCamera(const std::shared_ptr<INDIGO::Device>& device) {
    cameras_.add(device);
    updateDeviceList();
}

void CameraController::removeCamera(const std::shared_ptr<INDIGO::Device>& device) {
    if (sameCamera(device)) {
        // A leaving camera that is itself entry 0 is not chosen again: the window has none.
        cameras_.select(cameras_.deviceAt(0) == device ? -1 : 0);
        cameraAction();
    }
    cameras_.remove(device->name());
    updateDeviceList();
}

void CameraController::dropCamera(const std::shared_ptr<INDIGO::Device>& device) {
    // Another camera may have been chosen since the drop was reported: that one stays.
    if (!sameCamera(device)) return;
    setCamera(nullptr);
    // Falling back to entry 0 when that is the camera that failed would ask it to connect
    // again and again.
    cameras_.select(cameras_.deviceAt(0) == device ? -1 : 0);
    updateGUI();
    cameraAction();
}

void CameraController::selectCamera(int index) {
    cameras_.select(index);
    cameraAction();
}

void CameraController::cameraAction() {
    if (cameras_.selectedIndex() >= 0) message("'" + cameras_.selectedTitle() + "' selected");
    if (auto previous = camera()) {
        setCamera(nullptr);
        if (auto image = previous->property("CCD_IMAGE"))
            // The gate, not a weak check: the controller (and its client) may be going away
            // on another thread while this runs. Under the gate too: a camera chosen again
            // whose new connection turned the transfer on before this ran keeps it on.
            dispatch::globalQueue().async(
                [this, gate = background_, image, name = previous->name(), onBefore = transfersOnSoFar()] {
                    std::lock_guard lock(gate->mutex);
                    if (!gate->live) return;
                    const auto current = camera();
                    if (gate->transfersOn != onBefore && current && current->name() == name) return;
                    sendEnableBLOB(image, false);
                });
        if (auto connection = previous->connectionProperty()) sendSwitch(connection, "DISCONNECTED");
    }
    resetControls();
    forgetGeometry();
    auto device = cameras_.selectedDevice();
    setCamera(device);
    if (!device) {
        updateDeviceList();
        return;
    }
    if (auto config = device->property("CONFIG")) sendSwitch(config, "LOAD");
    if (auto connection = device->connectionProperty()) sendSwitch(connection, "CONNECTED");
    updateDeviceList();
}

void CameraController::resetControls() {
    resetCameraState();
    if (imageController_) imageController_->removeSelection();
    updateGUI();
}

void CameraController::resetCameraState() {
    modeEnabled_ = offsetEnabled_ = gainEnabled_ = gammaEnabled_ = coolerEnabled_ = durationEnabled_ = false;
    setPreviewInProgress(false);
    setCaptureInProgress(false);
    state_.store(0);
    onMain([this] { updateStateImage(); });
    fps_.clear();
    exposureDuration_ = 0;
    coolerReading_ = CoolerReading{};
    if (view_) {
        view_->showFps("");
        view_->showProgress(std::nullopt);
    }
}

void CameraController::updateGUI() {
    if (view_) {
        ControlFlags flags;
        flags.cameraListEnabled = cameras_.enabled();
        flags.mode = modeEnabled_;
        flags.frameType = frameTypeEnabled_;
        flags.offset = offsetEnabled_;
        flags.gain = gainEnabled_;
        flags.gamma = gammaEnabled_;
        flags.cooler = coolerEnabled_;
        flags.duration = durationEnabled_;
        flags.frame = frameEnabled();
        flags.binning = binningEnabled();
        view_->showControls(flags);
    }
    updateDeviceList();
}

void CameraController::updateDeviceList() {
    onMain([this] {
        if (view_) view_->showCameras(cameras_.titles(), cameras_.selectedIndex(), cameras_.enabled());
        if (deviceListChanged_) deviceListChanged_();
    });
}

void CameraController::updateStateImage() {
    if (view_) view_->showState(zeta::platform::statusImageNameForState(state_.load()));
}

// --- Events of the window's camera ------------------------------------------------------------------

void CameraController::updateProperty(const std::shared_ptr<INDIGO::Property>& property) {
    const auto& device = property->device();
    if (!sameCamera(device)) return;
    const std::string& name = property->name();
    if (name == "CONNECTION") {
        connectionStep(device);
    } else if (name == "CCD_MODE") {
        onMain([this, reading = readSwitches(property)] { updateSwitchPopup(reading, true); });
    } else if (name == "CCD_OFFSET" || name == "CCD_GAIN" || name == "CCD_GAMMA") {
        const Group group = name == "CCD_OFFSET" ? Group::Offset : name == "CCD_GAIN" ? Group::Gain : Group::Gamma;
        if (const auto item = numberItem(property, namesOf(group).item)) {
            const NumberReading reading{item->min(), item->max(), item->step(), item->value(), property->readOnly()};
            onMain([this, group, reading] {
                if (view_ && view_->hasGroup(group)) updateGroup(group, reading);
            });
        }
    } else if (name == "CCD_COOLER") {
        updateCooler(property);
    } else if (name == "CCD_TEMPERATURE" || name == "CCD_COOLER_POWER") {
        onMain([this, reading = readCooler(device)] {
            coolerReading_ = reading;
            updateCoolerState();
        });
    } else if (name == "CCD_FRAME_TYPE") {
        onMain([this, reading = readSwitches(property)] {
            if (view_ && view_->hasFrameTypes()) updateSwitchPopup(reading, false);
        });
    } else if (name == "CCD_INFO") {
        const auto width = numberItem(property, "WIDTH");
        const auto height = numberItem(property, "HEIGHT");
        const auto pixelSize = numberItem(property, "PIXEL_SIZE");
        if (width && height && pixelSize) {
            ccdWidth_.store(whole(width->value()));
            ccdHeight_.store(whole(height->value()));
            pixelSize_.store(pixelSize->value());
            defaults_.setDouble(pixelSize->value(), "pixelSize");
        }
        showSensor();
    } else if (name == "CCD_FRAME") {
        const auto left = numberItem(property, "LEFT");
        const auto top = numberItem(property, "TOP");
        const auto width = numberItem(property, "WIDTH");
        const auto height = numberItem(property, "HEIGHT");
        if (left && top && width && height) {
            frameLeft_.store(whole(left->value()));
            frameTop_.store(whole(top->value()));
            frameWidth_.store(whole(width->value()));
            frameHeight_.store(whole(height->value()));
        }
        frameEnabled_.store(!property->readOnly());
        showSensor();
    } else if (name == "CCD_BIN") {
        const auto horizontal = numberItem(property, "HORIZONTAL");
        const auto vertical = numberItem(property, "VERTICAL");
        if (horizontal && vertical) {
            horizontalBin_.store(whole(horizontal->value()));
            verticalBin_.store(whole(vertical->value()));
            maxBin_.store(std::min(whole(horizontal->max()), whole(vertical->max())));
            defaults_.setInteger(horizontalBin_.load(), "binning");
        }
        binningEnabled_.store(horizontal && vertical && !property->readOnly());
        showSensor();
        onMain([this] { updateGUI(); });
    } else if (name == "CCD_EXPOSURE") {
        // The countdown is taken now: by the time the main queue runs, later updates may
        // have written the record.
        if (const auto item = numberItem(property, "EXPOSURE")) {
            const bool busy = property->state() == INDIGO_BUSY_STATE;
            const double remaining = item->value();
            onMain([this, busy, remaining] { updateExposure(busy, remaining); });
        }
    } else if (name == "CCD_IMAGE") {
        if (property->state() == INDIGO_OK_STATE && previewInProgress()) {
            const auto now = std::chrono::steady_clock::now();
            onMain([this, now] { frameArrived(now); });
        }
    }
}

void CameraController::forgetGeometry() {
    // The next camera reports its own on connection; one that reports none must not show the
    // last camera's sensor, nor have its frames judged against it.
    ccdWidth_.store(0);
    ccdHeight_.store(0);
    pixelSize_.store(0);
    frameLeft_.store(0);
    frameTop_.store(0);
    frameWidth_.store(0);
    frameHeight_.store(0);
    horizontalBin_.store(1);
    verticalBin_.store(1);
    maxBin_.store(0);
    binningEnabled_.store(false);
    showSensor();
}

SensorInfo CameraController::sensor() const {
    SensorInfo info;
    info.width = ccdWidth();
    info.height = ccdHeight();
    info.pixelSize = pixelSize();
    info.frameLeft = frameLeft();
    info.frameTop = frameTop();
    info.frameWidth = frameWidth();
    info.frameHeight = frameHeight();
    info.horizontalBin = horizontalBin();
    info.verticalBin = verticalBin();
    info.maxBin = maxBin_.load();
    return info;
}

void CameraController::showSensor() {
    onMain([this] {
        if (view_) view_->showSensor(sensor());
    });
}

void CameraController::redispatch(const std::shared_ptr<INDIGO::Device>& device, const char* name) {
    if (auto property = device->property(name)) updateProperty(property);
}

void CameraController::restoreSwitch(const std::shared_ptr<INDIGO::Device>& device, const char* property,
                                     const char* setting) {
    const auto held = device->property(property);
    const std::string key = deviceKey(device->name(), setting);
    if (!held || !defaults_.objectForKey(key)) return;
    sendSwitch(held, defaults_.stringForKey(key, ""));
}

void CameraController::restoreNumber(const std::shared_ptr<INDIGO::Device>& device, const char* property,
                                     const char* item, const char* setting) {
    const auto held = device->property(property);
    const std::string key = deviceKey(device->name(), setting);
    if (!held || !defaults_.objectForKey(key)) return;
    sendNumbers(held, {{item, defaults_.doubleForKey(key, 0)}});
}

void CameraController::restoreCooler(const std::shared_ptr<INDIGO::Device>& device) {
    const auto cooler = device->property("CCD_COOLER");
    const auto temperature = device->property("CCD_TEMPERATURE");
    const std::string key = deviceKey(device->name(), "temperature");
    if (!defaults_.objectForKey(key)) {
        // The user never set this camera's cooler here: it stays as the camera has it, and the
        // box says whether it is off.
        if (const auto off = switchItem(cooler, "OFF"); off && off->value())
            onMain([this] {
                if (view_ && view_->hasCooler()) view_->showCoolerText(kOff);
            });
        return;
    }
    if (defaults_.stringForKey(key, kOff) == kOff) {
        sendSwitch(cooler, "OFF");
        onMain([this] {
            if (view_ && view_->hasCooler()) view_->showCoolerText(kOff);
        });
        return;
    }
    const double t = defaults_.doubleForKey(key, 0);
    sendSwitch(cooler, "ON");
    sendNumbers(temperature, {{"TEMPERATURE", t}});
    onMain([this, t] {
        if (view_ && view_->hasCooler())
            view_->showCoolerText(formatSetpoint(useFarenheit_ ? celsiusToFahrenheit(t) : t));
    });
}

void CameraController::connectionStep(const std::shared_ptr<INDIGO::Device>& device) {
    {
        std::lock_guard lock(mutex_);
        mode_.reset();
        frameType_.reset();
    }
    if (!device->connected()) {
        {
            std::lock_guard lock(mutex_);
            settingsApplied_ = false;
            // Before the chosen camera has reported itself connected, a disconnected report
            // is its old state or the answer to our own disconnect (choosing the same camera
            // again); only a failed connection (Alert) drops it then.
            const auto connection = device->connectionProperty();
            const bool failed = connection && connection->state() == INDIGO_ALERT_STATE;
            if (!seenConnected_ && !failed) return;
        }
        onMain([this, device] { dropCamera(device); });
        return;
    }
    {
        std::lock_guard lock(mutex_);
        seenConnected_ = true;
    }
    // One load of the saved configuration per connection, then the stored settings over it:
    // a connection reported again (Busy, then Ok) must not load the configuration over values
    // the user has set since.
    {
        std::lock_guard lock(mutex_);
        if (settingsApplied_) return;
        settingsApplied_ = true;
        restored_.clear();
        for (const char* name :
             {"CCD_MODE", "CCD_OFFSET", "CCD_GAIN", "CCD_GAMMA", "CCD_COOLER", "CCD_TEMPERATURE", "CCD_FRAME_TYPE"})
            if (device->property(name)) restored_.emplace_back(name);
    }
    if (auto config = device->property("CONFIG")) sendSwitch(config, "LOAD");
    redispatch(device, "CCD_MODE");
    restoreSwitch(device, "CCD_MODE", "mode");
    for (Group group : {Group::Offset, Group::Gain, Group::Gamma}) {
        const GroupNames names = namesOf(group);
        redispatch(device, names.property);
        restoreNumber(device, names.property, names.item, names.setting);
    }
    if (coolerShownFor(device) && device->property("CCD_COOLER") && device->property("CCD_TEMPERATURE")) {
        redispatch(device, "CCD_COOLER");
        redispatch(device, "CCD_TEMPERATURE");
        restoreCooler(device);
    }
    redispatch(device, "CCD_COOLER_POWER");
    redispatch(device, "CCD_FRAME_TYPE");
    restoreSwitch(device, "CCD_FRAME_TYPE", "frameType");
    redispatch(device, "CCD_INFO");
    redispatch(device, "CCD_FRAME");
    redispatch(device, "CCD_BIN");
    if (auto image = device->property("CCD_IMAGE")) {
        // Counted, so that a switch-off still pending from this camera's last selection
        // does not follow it.
        std::lock_guard lock(background_->mutex);
        ++background_->transfersOn;
        sendEnableBLOB(image, true);
    }
    connectionRestored(device);
    onMain([this, device] { restoreDuration(device); });
}

void CameraController::restoreDuration(const std::shared_ptr<INDIGO::Device>& device) {
    if (view_) view_->showDuration(defaults_.doubleForKey(deviceKey(device->name(), "duration"), view_->duration()));
    durationEnabled_ = true;
    state_.store(0);
    onMain([this] { updateStateImage(); });
    updateGUI();
}

// --- Refreshes -------------------------------------------------------------------------------------

CameraController::SwitchReading CameraController::readSwitches(const std::shared_ptr<INDIGO::Property>& property) {
    SwitchReading reading;
    for (const std::string& name : property->itemNames()) {
        const auto item = property->item<INDIGO::SwitchItem>(name);
        if (!item) continue;
        const std::string title = item->description();
        auto& entries = reading.entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].title != title) continue;
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            if (reading.selected == static_cast<int>(i))
                reading.selected = -1;
            else if (reading.selected > static_cast<int>(i))
                --reading.selected;
            break;
        }
        entries.push_back({title, name});
        if (item->value()) {
            reading.on = name;
            reading.selected = static_cast<int>(entries.size()) - 1;
        }
    }
    reading.readOnly = property->readOnly();
    return reading;
}

void CameraController::updateSwitchPopup(const SwitchReading& reading, bool modes) {
    if (reading.on) {
        std::lock_guard lock(mutex_);
        (modes ? mode_ : frameType_) = reading.on;
    }
    if (view_) {
        if (modes)
            view_->showModes(reading.entries, reading.selected);
        else
            view_->showFrameTypes(reading.entries, reading.selected);
    }
    (modes ? modeEnabled_ : frameTypeEnabled_) = !reading.readOnly;
    updateGUI();
}

void CameraController::updateGroup(Group group, const NumberReading& reading) {
    const double step = groupStep(reading.step);
    view_->setGroupRange(group, reading.min, reading.max, step);
    view_->setSliderValue(group, reading.value);
    view_->setStepperValue(group, reading.value);
    view_->showFieldValue(group, roundToStep(view_->sliderValue(group), step));
    const bool enabled = !reading.readOnly;
    switch (group) {
    case Group::Offset:
        offsetEnabled_ = enabled;
        break;
    case Group::Gain:
        gainEnabled_ = enabled;
        break;
    case Group::Gamma:
        gammaEnabled_ = enabled;
        break;
    }
    updateGUI();
}

void CameraController::updateCooler(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->readOnly()) return;
    onMain([this] {
        coolerEnabled_ = true;
        updateGUI();
    });
}

CameraController::CoolerReading CameraController::readCooler(const std::shared_ptr<INDIGO::Device>& device) {
    CoolerReading reading;
    if (const auto power = numberItem(device->property("CCD_COOLER_POWER"), "POWER")) reading.power = power->value();
    const auto temperatureProperty = device->property("CCD_TEMPERATURE");
    if (const auto temperature = numberItem(temperatureProperty, "TEMPERATURE")) {
        reading.celsius = temperature->value();
        reading.image = temperatureProperty->stateImageName();
    }
    return reading;
}

void CameraController::updateCoolerState() {
    if (!camera() || !view_ || !view_->hasCooler()) return;
    const CoolerReading& reading = coolerReading_;
    std::string text = reading.power ? degrees("%.0f %%", *reading.power) : "-- %";
    if (reading.celsius) {
        const double c = *reading.celsius;
        if (useFarenheit_) {
            const double f = c * 1.8 + 32;
            temperature_ = degrees("%.0fF", f);
            text += degrees(" / %.0f °F", f);
        } else {
            temperature_ = degrees(" %.0fC", c);
            text += degrees(" / %.0f °C", c);
        }
    } else {
        text += useFarenheit_ ? " / -- °F" : " / -- °C";
    }
    view_->showCoolerState(text, reading.celsius ? std::string_view(reading.image) : zeta::platform::kStatusNone);
}

void CameraController::updateExposure(bool busy, double remaining) {
    if (!view_) return;
    if (!busy || !std::isfinite(remaining)) {
        exposureDuration_ = 0;
        view_->showProgress(std::nullopt);
        return;
    }
    remaining = std::max(0.0, remaining);
    exposureDuration_ = std::max(exposureDuration_, remaining);
    view_->showProgress(exposureDuration_ > 0 ? 1 - remaining / exposureDuration_ : 0.0);
}

void CameraController::frameArrived(std::chrono::steady_clock::time_point when) {
    if (!previewInProgress()) return;
    std::optional<std::chrono::steady_clock::time_point> last;
    {
        std::lock_guard lock(mutex_);
        last = lastFrame_;
        lastFrame_ = when;
    }
    if (!last || when <= *last) return;
    fps_.push_back(1.0 / std::chrono::duration<double>(when - *last).count());
    while (fps_.size() > kFpsHistory)
        fps_.pop_front();
    double sum = 0;
    for (double rate : fps_)
        sum += rate;
    if (view_) view_->showFps(degrees("%.1f fps", sum / static_cast<double>(fps_.size())));
}

// --- Actions -----------------------------------------------------------------------------------------

void CameraController::modeAction(const std::optional<std::string>& itemName) {
    const auto device = camera();
    if (!device || !itemName) return;
    if (auto property = device->property("CCD_MODE")) sendSwitch(property, *itemName);
    defaults_.setObject(*itemName, deviceKey(device->name(), "mode"));
}

void CameraController::frameTypeAction(const std::optional<std::string>& itemName) {
    const auto device = camera();
    if (!device || !itemName || !view_ || !view_->hasFrameTypes()) return;
    if (auto property = device->property("CCD_FRAME_TYPE")) sendSwitch(property, *itemName);
    defaults_.setObject(*itemName, deviceKey(device->name(), "frameType"));
}

void CameraController::durationAction() {
    const auto device = camera();
    if (!device || !view_) return;
    const double seconds = view_->duration();
    if (std::isfinite(seconds) && seconds >= 0) {
        defaults_.setDouble(seconds, deviceKey(device->name(), "duration"));
        defaults_.synchronize();
    }
    fps_.clear();
}

void CameraController::clearFrameRate() {
    fps_.clear();
    {
        std::lock_guard lock(mutex_);
        lastFrame_.reset();
    }
    if (view_) view_->showFps("");
}

void CameraController::groupAction(Group group, GroupSender sender, bool released) {
    if (!view_ || !view_->hasGroup(group)) return;
    if (sender == GroupSender::Stepper)
        view_->setSliderValue(group, view_->stepperValue(group));
    else
        view_->setStepperValue(group, view_->sliderValue(group));
    const auto device = camera();
    const GroupNames names = namesOf(group);
    const auto property = device ? device->property(names.property) : nullptr;
    const auto item = numberItem(property, names.item);
    if (!item) return;
    const double value = roundToStep(view_->sliderValue(group), groupStep(item->step()));
    view_->showFieldValue(group, value);
    // A drag sends one request, at its end; the setting is stored all along.
    if (sender == GroupSender::Stepper || released) sendNumbers(property, {{names.item, view_->fieldValue(group)}});
    defaults_.setDouble(view_->fieldValue(group), deviceKey(device->name(), names.setting));
    defaults_.synchronize();
}

void CameraController::coolerAction() {
    const auto device = camera();
    if (!device || !view_ || !view_->hasCooler()) return;
    const std::string text = view_->coolerText();
    const auto cooler = device->property("CCD_COOLER");
    const std::string key = deviceKey(device->name(), "temperature");
    if (text == kOff) {
        if (auto off = switchItem(cooler, "OFF"); off && !off->value()) sendSwitch(cooler, "OFF");
        defaults_.setObject(std::string(kOff), key);
        defaults_.synchronize();
        return;
    }
    const auto value = parseSetpoint(text);
    if (!value) {
        message("Cooler set-point '" + text + "' is not a number");
        return;
    }
    const double t = useFarenheit_ ? fahrenheitToCelsius(*value) : *value;
    const auto temperatureProperty = device->property("CCD_TEMPERATURE");
    if (const auto item = numberItem(temperatureProperty, "TEMPERATURE"); item && item->max() > item->min()) {
        if (t < item->min() || t > item->max()) {
            const char* unit = useFarenheit_ ? "°F" : "°C";
            const double low = useFarenheit_ ? celsiusToFahrenheit(item->min()) : item->min();
            const double high = useFarenheit_ ? celsiusToFahrenheit(item->max()) : item->max();
            message("Cooler set-point " + formatSetpoint(*value) + " " + unit + " is outside the camera's range " +
                    formatSetpoint(low) + " to " + formatSetpoint(high) + " " + unit);
            return;
        }
    }
    if (auto on = switchItem(cooler, "ON"); on && !on->value()) sendSwitch(cooler, "ON");
    if (temperatureProperty) sendNumbers(temperatureProperty, {{"TEMPERATURE", t}});
    defaults_.setDouble(t, key);
    defaults_.synchronize();
}

void CameraController::binningAction(int bin) {
    const auto device = camera();
    const auto property = device ? device->property("CCD_BIN") : nullptr;
    if (!property || bin < 1) return;
    sendNumbers(property, {{"HORIZONTAL", static_cast<double>(bin)}, {"VERTICAL", static_cast<double>(bin)}});
}

void CameraController::frameAction() {
    const auto device = camera();
    const auto property = device ? device->property("CCD_FRAME") : nullptr;
    if (!property || !view_) return;
    const std::optional<TypedFrame> typed = view_->typedFrame();
    if (!typed) return;
    const std::string problem = frameProblem(*typed);
    view_->showInputProblem(problem);
    if (!problem.empty()) {
        message(problem);
        return;
    }
    sendNumbers(property,
                {{"LEFT", typed->left}, {"TOP", typed->top}, {"WIDTH", typed->width}, {"HEIGHT", typed->height}});
}

void CameraController::batchAction() {
    if (!view_) return;
    if (const double count = view_->count(); std::isfinite(count)) defaults_.setDouble(count, "count");
    defaults_.setObject(view_->nameTemplate(), "nameTemplate");
    if (view_->hasTimelapse()) defaults_.setObject(view_->timelapseText(), "timelapse");
    defaults_.synchronize();
}

void CameraController::savePreferences() {
    if (!view_ || !view_->hasCooler()) return;
    const bool fahrenheit = defaults_.boolForKey("useFahrenheit", false);
    if (fahrenheit == useFarenheit_) return;
    const std::string text = view_->coolerText();
    useFarenheit_ = fahrenheit;
    showCoolerUnit();
    if (text != kOff) {
        const double v = parseSetpoint(text).value_or(0);
        view_->showCoolerText(formatSetpoint(fahrenheit ? celsiusToFahrenheit(v) : fahrenheitToCelsius(v)));
    } else {
        view_->showCoolerText(text);
    }
    updateCoolerState();
}

} // namespace zeta::camera
