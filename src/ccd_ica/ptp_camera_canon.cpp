#include "ccd_ica/ptp_camera_canon.h"

#include <algorithm>

namespace {

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
        if (response->responseCode != PTPResponseCodeOK || data.empty()) return;
        auto deviceInfo = classes().deviceInfoWithData(data);
        if (!deviceInfo) return;
        setInfo(deviceInfo);
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
    for (uint16_t code : std::vector<uint16_t>(deviceInfo->propertiesSupported)) {
        if ((code & 0xD100) != 0xD100) sendPTPRequest(PTPRequestCodeGetDevicePropDesc, code);
    }
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
        mapValueInterval(property, *rule.map);
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
    case CanonPropertyWrite::Outcome::Refuse:
        delegate()->cameraPropertyFailed(self(), code, write.message);
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
    sendPTPRequest(PTPRequestCodeCanonSetRemoteMode, 0);
    sendPTPRequest(PTPRequestCodeCanonSetEventMode, 0);
    PTPCamera::requestCloseSession();
    std::lock_guard lock(eventsMutex_);
    for (auto& group : events_.customFuncGroup)
        group.clear();
}
