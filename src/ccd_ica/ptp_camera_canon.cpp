#include "ccd_ica/ptp_camera_canon.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

// Pace of live-view frames and of lens steps.
constexpr auto kStepInterval = 100ms;
constexpr uint32_t kViewfinderDataSize = 0x100000;
// One lens step with a positive count, one with a negative count.
constexpr uint32_t kDriveLensStepUp = 1;
constexpr uint32_t kDriveLensStepDown = 0x8001;

std::vector<uint32_t> readU32Array(PTPCursor& cursor) {
    std::vector<uint32_t> list;
    const uint32_t count = ptp_read_uint32(cursor);
    if (cursor.overrun || count > cursor.remaining() / 4) return list;
    for (uint32_t i = 0; i < count; ++i)
        list.push_back(ptp_read_uint32(cursor));
    return list;
}

} // namespace

PTPCanonCamera::PTPCanonCamera(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop)
    : PTPCamera(std::move(icCamera), std::move(delegate), runLoop) {
    const CanonSensor sensor = canonSensorForModel(name());
    width_ = sensor.width;
    height_ = sensor.height;
    pixelSize_ = sensor.pixelSize;
}

const PTPClasses& PTPCanonCamera::classes() const {
    static const PTPClassesOf<PTPCanonRequest, PTPCanonResponse, PTPCanonEvent, PTPCanonProperty, PTPCanonDeviceInfo>
        canon;
    return canon;
}

int32_t PTPCanonCamera::currentMode() const {
    std::lock_guard lock(eventsMutex_);
    return events_.currentMode;
}

void PTPCanonCamera::processRequest(const std::shared_ptr<PTPRequest>& request,
                                    const std::shared_ptr<PTPResponse>& response, const std::vector<uint8_t>& data) {
    switch (request->operationCode) {
    case PTPRequestCodeGetDeviceInfo: {
        if (!acceptDeviceInfo(*request, *response, data)) return;
        if (operationIsSupported(PTPRequestCodeInitiateCapture)) delegate()->cameraCanExposure(self());
        sendPTPRequest(PTPRequestCodeCanonGetDeviceInfoEx);
        break;
    }
    case PTPRequestCodeCanonGetDeviceInfoEx:
        openingAfterDeviceInfoEx(data);
        break;
    case PTPRequestCodeCanonGetObject:
        download(request, response, data);
        break;
    case PTPRequestCodeCanonRemoteRelease:
    case PTPRequestCodeCanonRemoteReleaseOn:
        // Parameter 1 = 1 is the camera saying the release did not happen (no focus, no card).
        if (response->responseCode != PTPResponseCodeOK ||
            (response->numberOfParameters >= 1 && response->parameter1 == 1)) {
            delegate()->cameraExposureFailed(self(), "RemoteRelease failed (" + responseText(*response) + ")");
        }
        break;
    case PTPRequestCodeCanonGetEvent:
        processEvents(data);
        break;
    case PTPRequestCodeCanonGetViewFinderData:
        onViewfinderData(*response, data);
        break;
    case PTPRequestCodeCanonDriveLens:
        onDriveLens(*response);
        break;
    case PTPRequestCodeCanonZoom:
        break;
    default:
        PTPCamera::processRequest(request, response, data);
    }
}

void PTPCanonCamera::openingAfterDeviceInfoEx(const std::vector<uint8_t>& data) {
    const auto deviceInfo = info();
    if (!deviceInfo) return;
    PTPCursor cursor(data);
    (void)ptp_read_uint32(cursor);
    for (uint32_t code : readU32Array(cursor))
        deviceInfo->eventsSupported.push_back(static_cast<uint16_t>(code));
    for (uint32_t code : readU32Array(cursor))
        deviceInfo->propertiesSupported.push_back(static_cast<uint16_t>(code));
    // Canon's own settings (0xD1xx) come with the events.
    describeProperties([](uint16_t code) { return (code & 0xD100) != 0xD100; });
    sendPTPRequest(PTPRequestCodeCanonSetRemoteMode, 1);
    sendPTPRequest(PTPRequestCodeCanonSetEventMode, 1);
    sendPTPRequest(PTPRequestCodeCanonGetEvent);
    sendPTPRequest(PTPRequestCodeGetStorageIDs);
}

void PTPCanonCamera::processConnect() {
    if (operationIsSupported(PTPRequestCodeCanonRemoteRelease)) delegate()->cameraCanExposure(self());
    if (operationIsSupported(PTPRequestCodeCanonDriveLens)) delegate()->cameraCanFocus(self());
    if (operationIsSupported(PTPRequestCodeCanonGetViewFinderData)) delegate()->cameraCanPreview(self());
    setProperty(PTPPropertyCodeCanonExMirrorLockup, "0");
    PTPCamera::processConnect();
}

void PTPCanonCamera::processEvents(const std::vector<uint8_t>& data) {
    const auto deviceInfo = info();
    if (!deviceInfo || data.empty()) return;
    CanonEventWalk walk;
    {
        std::lock_guard lock(eventsMutex_);
        walk = canonWalkEvents(
            data, *deviceInfo, events_, [](uint16_t code) { return std::make_shared<PTPCanonProperty>(code); },
            canonEventNames());
        for (const CanonObjectAdded& added : walk.objectsAdded)
            pendingFiles_[added.handle] = added.fileName;
    }
    for (const std::string& line : walk.debug)
        delegate()->debug(line);
    for (const CanonObjectAdded& added : walk.objectsAdded)
        sendPTPRequest(PTPRequestCodeCanonGetObject, added.handle);
    for (const auto& property : walk.changed)
        report(property);
}

void PTPCanonCamera::download(const std::shared_ptr<PTPRequest>& request, const std::shared_ptr<PTPResponse>& response,
                              const std::vector<uint8_t>& data) {
    std::string fileName;
    {
        std::lock_guard lock(eventsMutex_);
        if (auto found = pendingFiles_.find(request->parameter1); found != pendingFiles_.end()) {
            fileName = std::move(found->second);
            pendingFiles_.erase(found);
        }
    }
    if (response->responseCode != PTPResponseCodeOK || data.empty()) {
        delegate()->cameraExposureFailed(self(), "Download failed (" + responseText(*response) + ")");
        return;
    }
    delegate()->cameraExposureDone(self(), data, fileName);
    if (deleteDownloadedImage()) sendPTPRequest(PTPRequestCodeCanonDeleteObject, request->parameter1);
}

void PTPCanonCamera::report(const std::shared_ptr<PTPProperty>& property) {
    const uint16_t code = property->propertyCode;
    const int32_t mode = currentMode();
    const CanonReportRule rule = canonReportRule(code, mode);
    if (rule.overridesReadOnly) property->readOnly = rule.readOnly;
    auto single = [&](const std::string& label) {
        delegate()->cameraPropertyChanged(self(), code, label, {label}, {label}, true);
    };
    switch (rule.kind) {
    case CanonReportKind::MapList:
        mapValueList(property, *rule.map);
        break;
    case CanonReportKind::MapInterval:
        mapValueInterval(property, *rule.map, canonCustomFunctionSetting(property->value.description()));
        break;
    case CanonReportKind::SingleAuto:
        single("Auto");
        break;
    case CanonReportKind::SingleBulb:
        single("Bulb");
        break;
    case CanonReportKind::AEMode:
        mapValueInterval(property, *rule.map);
        for (const auto& [setting, readOnly] : canonModePermissions(mode))
            delegate()->cameraPropertyChanged(self(), setting, readOnly);
        break;
    case CanonReportKind::Numbers: {
        std::vector<std::string> values;
        for (const PTPValue& v : property->supportedValues.value_or(std::vector<PTPValue>{}))
            values.push_back(std::to_string(v.intValue()));
        delegate()->cameraPropertyChanged(self(), code, property->value.description(), values, values,
                                          property->readOnly);
        break;
    }
    case CanonReportKind::Battery:
        delegate()->cameraPropertyChanged(
            self(), PTPPropertyCodeBatteryLevel,
            PTPValue::integer(PTPDataTypeUInt8, static_cast<uint64_t>(canonBatteryLevel(property->value.intValue()))),
            PTPValue::integer(PTPDataTypeUInt8, 0), PTPValue::integer(PTPDataTypeUInt8, 100),
            PTPValue::integer(PTPDataTypeUInt8, 25), true);
        break;
    case CanonReportKind::BatteryLevel:
        delegate()->cameraPropertyChanged(self(), code, property->value, PTPValue::integer(PTPDataTypeUInt8, 0),
                                          PTPValue::integer(PTPDataTypeUInt8, 100),
                                          PTPValue::integer(PTPDataTypeUInt8, 25), true);
        break;
    case CanonReportKind::Text:
        delegate()->cameraPropertyChanged(self(), code, property->value.description(), property->readOnly);
        break;
    case CanonReportKind::ImageFormat: {
        std::vector<std::string> values, labels;
        for (const PTPValue& v : property->supportedValues.value_or(std::vector<PTPValue>{})) {
            values.push_back(v.description());
            labels.push_back(canonImageFormatLabel(static_cast<uint64_t>(v.longLongValue())));
        }
        delegate()->cameraPropertyChanged(self(), code, property->value.description(), values, labels,
                                          property->value.isNull() ? true : property->readOnly);
        break;
    }
    case CanonReportKind::ViewfinderOutput:
        delegate()->cameraCanPreview(self());
        mapValueList(property, *rule.map);
        viewfinderOutputChanged(property->value.intValue());
        break;
    case CanonReportKind::Generic:
        if (property->supportedValues) {
            std::vector<std::string> values;
            for (const PTPValue& v : *property->supportedValues)
                values.push_back(v.description());
            delegate()->cameraPropertyChanged(self(), code, property->value.description(), values, values,
                                              property->readOnly);
        } else if (property->type == PTPDataTypeString) {
            delegate()->cameraPropertyChanged(self(), code, property->value.description(), property->readOnly);
        } else {
            delegate()->cameraPropertyChanged(self(), code, property->value, property->min, property->max,
                                              property->step, property->readOnly);
        }
        break;
    }
    if (code == 0xD102) currentShutterSpeed_ = property->value.intValue();
}

void PTPCanonCamera::setProperty(uint16_t code, const std::string& value) {
    const auto deviceInfo = info();
    if (!deviceInfo) return;
    CanonPropertyWrite write;
    {
        std::lock_guard lock(eventsMutex_);
        write = canonEncodePropertyWrite(code, value, *deviceInfo, events_);
    }
    switch (write.outcome) {
    case CanonPropertyWrite::Outcome::Send:
        sendPTPRequest(PTPRequestCodeCanonSetDevicePropValueEx, std::move(write.data));
        break;
    case CanonPropertyWrite::Outcome::Skip:
        break;
    }
}

double PTPCanonCamera::startExposure() {
    if (!operationIsSupported(PTPRequestCodeCanonRemoteReleaseOn)) {
        sendPTPRequest(bulb() ? PTPRequestCodeCanonBulbStart : PTPRequestCodeCanonRemoteRelease);
        return 0;
    }
    const uint16_t mirror = propertyIsSupported(PTPPropertyCodeCanonMirrorUpSetting)
                                ? uint16_t{PTPPropertyCodeCanonMirrorUpSetting}
                                : uint16_t{PTPPropertyCodeCanonExMirrorLockup};
    double extra = 0;
    if (useMirrorLockup()) {
        setProperty(mirror, "1");
        setProperty(PTPPropertyCodeCanonDriveMode, "17"); // 2 s self-timer: the mirror settles
        extra = 2.0;
    } else {
        setProperty(mirror, "0");
        setProperty(PTPPropertyCodeCanonDriveMode, "0");
    }
    sendPTPRequest(PTPRequestCodeCanonRemoteReleaseOn, 3, avoidAF() ? 1 : 0);
    if (!bulb()) sendPTPRequest(PTPRequestCodeCanonRemoteReleaseOff, 3);
    return extra;
}

void PTPCanonCamera::stopExposure() {
    if (operationIsSupported(PTPRequestCodeCanonRemoteReleaseOff))
        sendPTPRequest(PTPRequestCodeCanonRemoteReleaseOff, 3);
    else
        sendPTPRequest(PTPRequestCodeCanonBulbEnd);
}

void PTPCanonCamera::requestCloseSession() {
    if (inPreview_) stopPreview();
    sendPTPRequest(PTPRequestCodeCanonSetRemoteMode, 0);
    sendPTPRequest(PTPRequestCodeCanonSetEventMode, 0);
    focusSteps_ = 0;
    lensDriving_ = false;
    PTPCamera::requestCloseSession();
    std::lock_guard lock(eventsMutex_);
    for (auto& group : events_.customFuncGroup)
        group.clear();
}

void PTPCanonCamera::didRemoveDevice(const Device& device) {
    inPreview_ = false;
    PTPCamera::didRemoveDevice(device);
}

void PTPCanonCamera::processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error) {
    // Without an answer nothing would ever end these: each fails as a refusal would.
    switch (request->operationCode) {
    case PTPRequestCodeCanonGetViewFinderData:
        frameRequested_ = false;
        if (!inPreview_) return;
        stopPreview();
        delegate()->cameraExposureFailed(self(), "Preview failed (" + error + ")");
        break;
    case PTPRequestCodeCanonDriveLens:
        failFocus("DriveLens failed (" + error + ")");
        break;
    case PTPRequestCodeCanonGetObject: {
        {
            std::lock_guard lock(eventsMutex_);
            pendingFiles_.erase(request->parameter1);
        }
        delegate()->cameraExposureFailed(self(), "Download failed (" + error + ")");
        break;
    }
    case PTPRequestCodeCanonRemoteRelease:
    case PTPRequestCodeCanonRemoteReleaseOn:
        delegate()->cameraExposureFailed(self(), "RemoteRelease failed (" + error + ")");
        break;
    default:
        PTPCamera::processRequestFailure(request, error);
    }
}

// ---- live view --------------------------------------------------------------------------------

void PTPCanonCamera::switchViewfinderOn() {
    setProperty(PTPPropertyCodeCanonEVFMode, "1");
    setProperty(PTPPropertyCodeCanonEVFOutputDevice, "2");
}

void PTPCanonCamera::startPreview() {
    startPreview_ = true;
    switchViewfinderOn();
}

void PTPCanonCamera::stopPreview() {
    inPreview_ = false;
    tempLiveView_ = false;
    setProperty(PTPPropertyCodeCanonEVFOutputDevice, "0");
}

void PTPCanonCamera::viewfinderOutputChanged(int64_t value) {
    if (startPreview_ && value != 0) {
        startPreview_ = false;
        inPreview_ = true;
        getPreviewImage();
    } else if (tempLiveView_ && value != 0) {
        inPreview_ = true;
    } else if (value == 0) {
        inPreview_ = false;
    }
}

void PTPCanonCamera::getPreviewImage() {
    // One frame at a time, however often the viewfinder is reported on.
    if (frameRequested_) return;
    frameRequested_ = true;
    after(kStepInterval, [](PTPCanonCamera& camera) {
        if (!camera.liveViewWanted()) {
            camera.frameRequested_ = false;
            return;
        }
        camera.sendPTPRequest(PTPRequestCodeCanonGetEvent);
        camera.sendPTPRequest(PTPRequestCodeCanonGetViewFinderData, kViewfinderDataSize);
    });
}

void PTPCanonCamera::onViewfinderData(const PTPResponse& response, const std::vector<uint8_t>& data) {
    frameRequested_ = false;
    // Live view ended while this frame was on its way: the loop ends here, quietly.
    if (!inPreview_) return;
    if (response.responseCode == PTPResponseCodeOK) {
        const auto frame = canonViewfinderFrame(data);
        if (frame.empty()) {
            stopPreview();
            delegate()->cameraExposureFailed(self(), std::string("No preview data received"));
            return;
        }
        delegate()->cameraExposureDone(self(), std::vector<uint8_t>(frame.begin(), frame.end()), "preview.jpeg");
        getPreviewImage();
        return;
    }
    if (response.responseCode == PTPResponseCodeCanonNotReady && liveViewWanted()) {
        getPreviewImage(); // the viewfinder is still starting
        return;
    }
    stopPreview();
    delegate()->cameraExposureFailed(self(), "Preview failed (" + responseText(response) + ")");
}

void PTPCanonCamera::setZoomPreview(bool flag) {
    PTPCamera::setZoomPreview(flag);
    sendPTPRequest(PTPRequestCodeCanonZoom, flag ? 5 : 1);
    sendPTPRequest(PTPRequestCodeCanonGetEvent);
}

// ---- lens -----------------------------------------------------------------------------------

void PTPCanonCamera::focus(int32_t steps) {
    if (steps == 0) {
        focusSteps_ = 0; // the step in flight is the last
        return;
    }
    focusSteps_ = steps;
    // A drive already running (its last step after an abort) takes the new count on with its
    // next step: one drive, one report, never two chains of steps.
    if (lensDriving_) return;
    lensDriving_ = true;
    if (!inPreview_) {
        tempLiveView_ = true;
        switchViewfinderOn();
    }
    driveLensStep();
}

// One step toward `focusSteps_`, counted off as it is sent.
void PTPCanonCamera::driveLensStep() {
    const bool up = focusSteps_ > 0;
    focusSteps_ += up ? -1 : 1;
    sendPTPRequest(PTPRequestCodeCanonDriveLens, up ? kDriveLensStepUp : kDriveLensStepDown);
}

void PTPCanonCamera::onDriveLens(const PTPResponse& response) {
    if (response.responseCode != PTPResponseCodeOK) {
        failFocus("DriveLens failed (" + responseText(response) + ")");
        return;
    }
    if (focusSteps_ != 0) {
        after(kStepInterval, [](PTPCanonCamera& camera) {
            if (camera.focusSteps_ != 0) {
                camera.driveLensStep();
            } else { // stopped meanwhile: this step was the last
                camera.finishLensDrive();
            }
        });
        return;
    }
    finishLensDrive();
}

void PTPCanonCamera::finishLensDrive() {
    if (tempLiveView_) {
        tempLiveView_ = false;
        setProperty(PTPPropertyCodeCanonEVFOutputDevice, "0");
    }
    after(kStepInterval, [](PTPCanonCamera& camera) {
        camera.lensDriving_ = false;
        // Asked for while the end was on its way: a drive of its own.
        if (const int32_t steps = camera.focusSteps_; steps != 0) {
            camera.focus(steps);
            return;
        }
        camera.delegate()->cameraFocusDone(camera.self());
    });
}

void PTPCanonCamera::failFocus(const std::string& message) {
    lensDriving_ = false;
    // A live view switched on only for the lens goes off with the failed drive.
    if (tempLiveView_) {
        tempLiveView_ = false;
        setProperty(PTPPropertyCodeCanonEVFOutputDevice, "0");
    }
    delegate()->cameraFocusFailed(self(), message);
}
