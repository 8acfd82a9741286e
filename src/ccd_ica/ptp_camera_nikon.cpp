#include "ccd_ica/ptp_camera_nikon.h"

#include "ccd_ica/nikon_labels.h"
#include "ccd_ica/nikon_parsers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

using namespace zeta::ccd_ica;

namespace {

using namespace std::chrono_literals;

constexpr auto kPreviewInterval = 300ms;
constexpr auto kBusyWait = 100ms;
constexpr auto kLensSettle = 500ms;

constexpr PTPCodeName kOperationNames[] = {ZETA_PTP_NIKON_OPERATION_CODES(ZETA_PTP_REQUEST_ROW)};
constexpr PTPCodeName kResponseNames[] = {ZETA_PTP_NIKON_RESPONSE_CODES(ZETA_PTP_RESPONSE_ROW)};
constexpr PTPCodeName kEventNames[] = {ZETA_PTP_NIKON_EVENT_CODES(ZETA_PTP_EVENT_ROW)};

const PTPNameTable kOperationTable(kOperationNames, &ptpOperationNameTable, "");
const PTPNameTable kResponseTable(kResponseNames, &ptpResponseNameTable, "");
const PTPNameTable kEventTable(kEventNames, &ptpEventNameTable, "");

int64_t integerOf(const PTPValue& value) {
    return value.isNull() ? 0 : value.longLongValue();
}

// The integer value of a stored description, if the camera described the property.
std::optional<int64_t> describedValue(const PTPCamera& camera, uint16_t code) {
    const auto info = camera.info();
    const auto property = info ? info->property(code) : nullptr;
    if (!property) return std::nullopt;
    return integerOf(property->value);
}

} // namespace

const PTPNameTable& PTPNikonRequest::operationNames() const {
    return kOperationTable;
}
std::string PTPNikonRequest::operationCodeName(uint16_t code) {
    return kOperationTable.name(code);
}
const PTPNameTable& PTPNikonResponse::responseNames() const {
    return kResponseTable;
}
std::string PTPNikonResponse::responseCodeName(uint16_t code) {
    return kResponseTable.name(code);
}
const PTPNameTable& PTPNikonEvent::eventNames() const {
    return kEventTable;
}
std::string PTPNikonEvent::eventCodeName(uint16_t code) {
    return kEventTable.name(code);
}
const PTPNameTable& PTPNikonProperty::propertyNames() const {
    return nikonPropertyNames();
}
std::string PTPNikonProperty::propertyCodeName(uint16_t code) {
    return nikonPropertyNames().name(code);
}
std::string PTPNikonDeviceInfo::debug() const {
    return listing(kOperationTable, kEventTable, nikonPropertyNames(), false, false);
}

PTPNikonCamera::PTPNikonCamera(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop)
    : PTPCamera(std::move(icCamera), std::move(delegate), runLoop) {
    if (const auto sensor = nikonSensor(PTPCamera::name())) {
        width_ = sensor->width;
        height_ = sensor->height;
        pixelSize_ = sensor->pixelSize;
    }
}

std::string PTPNikonCamera::name() const {
    const std::string base = PTPCamera::name();
    std::string upper = base;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find("NIKON") != std::string::npos ? base : "Nikon " + base;
}

const PTPClasses& PTPNikonCamera::classes() const {
    static const PTPClassesOf<PTPNikonRequest, PTPNikonResponse, PTPNikonEvent, PTPNikonProperty, PTPNikonDeviceInfo>
        nikon;
    return nikon;
}

void PTPNikonCamera::didRemoveDevice(const Device& device) {
    stopPreviewTimer();
    PTPCamera::didRemoveDevice(device);
}

void PTPNikonCamera::checkForEvent() {
    if (operationIsSupported(PTPRequestCodeNikonCheckEvent)) {
        sendPTPRequest(PTPRequestCodeNikonCheckEvent);
        return;
    }
    if (const auto deviceInfo = info()) {
        for (uint16_t code : deviceInfo->propertiesSupported)
            sendPTPRequest(PTPRequestCodeGetDevicePropDesc, code);
    }
}

void PTPNikonCamera::processEvent(const std::shared_ptr<PTPEvent>& event) {
    if (event->eventCode == PTPEventCodeNikonObjectAddedInSDRAM) {
        delegate()->debug("Object added to SDRAM");
        return;
    }
    PTPCamera::processEvent(event);
}

void PTPNikonCamera::processConnect() {
    if (operationIsSupported(PTPRequestCodeInitiateCapture)) delegate()->cameraCanExposure(self());
    if (operationIsSupported(PTPRequestCodeNikonMfDrive)) delegate()->cameraCanFocus(self());
    if (operationIsSupported(PTPRequestCodeNikonGetLiveViewImg)) delegate()->cameraCanPreview(self());
    PTPCamera::processConnect();
}

// ---- transactions ---------------------------------------------------------------------------

void PTPNikonCamera::processRequest(const std::shared_ptr<PTPRequest>& request,
                                    const std::shared_ptr<PTPResponse>& response, const std::vector<uint8_t>& data) {
    const bool ok = response->responseCode == PTPResponseCodeOK;
    const bool busy = response->responseCode == PTPResponseCodeDeviceBusy;
    switch (request->operationCode) {
    case PTPRequestCodeGetDeviceInfo:
        if (!acceptDeviceInfo(*request, *response, data)) return;
        if (operationIsSupported(PTPRequestCodeNikonGetVendorPropCodes)) {
            sendPTPRequest(PTPRequestCodeNikonGetVendorPropCodes);
            return;
        }
        describeProperties();
        sendPTPRequest(PTPRequestCodeGetStorageIDs);
        return;
    case PTPRequestCodeNikonGetVendorPropCodes:
        if (const auto deviceInfo = info(); ok && deviceInfo && data.size() >= 4) {
            // A u32 count, then u16 codes; only the codes the bytes hold.
            PTPCursor cursor(data);
            const uint32_t count = ptp_read_uint32(cursor);
            for (uint32_t i = 0; i < count && cursor.remaining() >= 2; ++i)
                deviceInfo->propertiesSupported.push_back(ptp_read_uint16(cursor));
            describeProperties();
        }
        sendPTPRequest(PTPRequestCodeGetStorageIDs);
        return;
    case PTPRequestCodeNikonCheckEvent:
        for (const auto& [code, parameter] : parseNikonEvents(data)) {
            const auto event = classes().eventWithCode(code, parameter);
            delegate()->debug("Translated to " + event->description());
            processEvent(event);
        }
        return;
    case PTPRequestCodeNikonDeviceReady:
        if (!busy) {
            deviceReadyPending_ = false;
        } else if (++deviceReadyBusy_ <= kBusyRetries) {
            after(kBusyWait, [](PTPNikonCamera& camera) { camera.sendPTPRequest(PTPRequestCodeNikonDeviceReady); });
        } else {
            deviceReadyPending_ = false;
            delegate()->log("DeviceReady failed (" + responseText(*response) + ")");
        }
        return;
    case PTPRequestCodeNikonSetControlMode:
        sendPTPRequest(PTPRequestCodeGetDevicePropDesc, PTPPropertyCodeExposureProgramMode);
        return;
    case PTPRequestCodeNikonInitiateCaptureRecInMedia:
        // Busy means the camera did nothing: ask again a few times before giving up.
        if (busy && ++captureBusy_ <= kBusyRetries) {
            const uint32_t p1 = request->parameter1, p2 = request->parameter2;
            after(kBusyWait, [p1, p2](PTPNikonCamera& camera) {
                camera.sendPTPRequest(PTPRequestCodeNikonInitiateCaptureRecInMedia, p1, p2);
                camera.sendDeviceReady();
            });
            return;
        }
        captureBusy_ = 0;
        if (ok) return;
        sendPTPRequest(PTPRequestCodeNikonTerminateCapture, 0, 0);
        stopPreviewTimer();
        delegate()->cameraExposureFailed(self(), "InitiateCaptureRecInMedia failed (" + responseText(*response) + ")");
        return;
    case PTPRequestCodeGetDevicePropValue:
        if (request->parameter1 == PTPPropertyCodeNikonLiveViewProhibitCondition) onProhibitCondition(*response, data);
        return;
    case PTPRequestCodeNikonStartLiveView:
        // Refused, no LiveViewStatus change would ever come to go on with.
        if (ok) return;
        if (tempActive_) {
            failFocus(refusal(*request, *response));
        } else {
            delegate()->cameraExposureFailed(self(), refusal(*request, *response));
        }
        return;
    case PTPRequestCodeNikonGetLiveViewImg:
        onFrame(*response, data);
        return;
    case PTPRequestCodeNikonMfDrive:
        onMfDrive(*response);
        return;
    default:
        PTPCamera::processRequest(request, response, data);
        return;
    }
}

void PTPNikonCamera::processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error) {
    switch (request->operationCode) {
    case PTPRequestCodeNikonGetLiveViewImg:
        // A lost frame does not hold up the next one.
        frameInFlight_ = false;
        break;
    case PTPRequestCodeNikonGetVendorPropCodes:
        sendPTPRequest(PTPRequestCodeGetStorageIDs);
        break;
    case PTPRequestCodeNikonMfDrive:
        failFocus("MfDrive failed (" + error + ")");
        break;
    case PTPRequestCodeNikonDeviceReady:
        deviceReadyPending_ = false;
        break;
    default:
        PTPCamera::processRequestFailure(request, error);
        break;
    }
}

void PTPNikonCamera::sendDeviceReady() {
    // One wait for the camera at a time: a DeviceReady already asked answers for this one too.
    if (deviceReadyPending_) return;
    deviceReadyPending_ = true;
    deviceReadyBusy_ = 0;
    sendPTPRequest(PTPRequestCodeNikonDeviceReady);
}

// ---- control and capture --------------------------------------------------------------------

void PTPNikonCamera::lock() {
    sendPTPRequest(PTPRequestCodeNikonSetControlMode, 1);
}

void PTPNikonCamera::unlock() {
    sendPTPRequest(PTPRequestCodeNikonSetControlMode, 0);
}

double PTPNikonCamera::startExposure() {
    double extra = 0.0;
    if (propertyIsSupported(PTPPropertyCodeNikonExposureDelayMode)) {
        // Only a mode whose values are known (maximum 1 or 3) can be switched; any other keeps
        // the camera's own setting and adds no delay.
        const auto& mode = useMirrorLockup() ? delayModeOn_ : delayModeOff_;
        if (mode) {
            setProperty(PTPPropertyCodeNikonExposureDelayMode, *mode);
            if (useMirrorLockup()) extra = 2.0;
        }
    }
    if (operationIsSupported(PTPRequestCodeNikonInitiateCaptureRecInMedia)) {
        captureBusy_ = 0;
        sendPTPRequest(PTPRequestCodeNikonInitiateCaptureRecInMedia, avoidAF() ? 0xFFFFFFFF : 0xFFFFFFFE, 0);
        sendDeviceReady();
    } else {
        PTPCamera::startExposure();
    }
    return extra;
}

void PTPNikonCamera::stopExposure() {
    sendPTPRequest(PTPRequestCodeNikonTerminateCapture, 0, 0);
    sendDeviceReady();
}

// ---- live view --------------------------------------------------------------------------------

void PTPNikonCamera::stopPreviewTimer() {
    if (ptpPreviewTimer_) ptpPreviewTimer_->invalidate();
    ptpPreviewTimer_.reset();
    frameInFlight_ = false;
    frameBusy_ = 0;
}

void PTPNikonCamera::saveFocusMode() {
    const auto mode = describedValue(*this, PTPPropertyCodeNikonAutofocusMode);
    focusMode_ = mode ? static_cast<int32_t>(*mode) : -1;
}

void PTPNikonCamera::beginLiveView() {
    saveFocusMode();
    setProperty(PTPPropertyCodeNikonSaveMedia, "1");
    sendPTPRequest(PTPRequestCodeGetDevicePropValue, PTPPropertyCodeNikonLiveViewProhibitCondition);
    sendDeviceReady();
}

void PTPNikonCamera::endLiveView() {
    sendPTPRequest(PTPRequestCodeNikonEndLiveView);
    sendDeviceReady();
    setProperty(PTPPropertyCodeNikonSaveMedia, "0");
    if (focusMode_ != -1) setProperty(PTPPropertyCodeNikonAutofocusMode, std::to_string(focusMode_));
}

void PTPNikonCamera::startPreview() {
    tempLiveView_ = false;
    beginLiveView();
}

void PTPNikonCamera::stopPreview() {
    tempLiveView_ = true;
    stopPreviewTimer();
    endLiveView();
}

void PTPNikonCamera::setZoomPreview(bool flag) {
    PTPCamera::setZoomPreview(flag);
    setProperty(PTPPropertyCodeNikonLiveViewImageZoomRatio, flag ? "5" : "0");
}

void PTPNikonCamera::onProhibitCondition(const PTPResponse& response, const std::vector<uint8_t>& data) {
    std::optional<std::string> failure;
    if (response.responseCode != PTPResponseCodeOK || data.size() < 4) {
        failure = "LiveViewProhibiCondition failed (" + responseText(response) + ")";
    } else {
        const uint32_t condition = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                                   (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
        if (condition != 0) failure = nikonProhibitText(condition);
    }
    if (!failure) {
        sendPTPRequest(PTPRequestCodeNikonStartLiveView);
        return;
    }
    stopPreviewTimer();
    // A live view wanted only for the lens fails the lens move, not an exposure.
    if (tempActive_) {
        failFocus(*failure);
    } else {
        delegate()->cameraExposureFailed(self(), *failure);
    }
}

void PTPNikonCamera::onLiveViewStatus(const std::shared_ptr<PTPProperty>& property) {
    if (integerOf(property->value) == 0) {
        stopPreviewTimer();
        return;
    }
    if (tempLiveView_) {
        // One drive per temporary live view, however often the status is read again.
        if (!tempActive_ || driveSent_ || focusSteps_ == 0) return;
        driveSent_ = true;
        sendMfDrive(focusSteps_);
        return;
    }
    stopPreviewTimer();
    std::weak_ptr<PTPCamera> weak = weak_from_this();
    ptpPreviewTimer_ = RunLoopTimer::scheduledTimer(
        kPreviewInterval, runLoop(),
        [weak] {
            if (const auto camera = weak.lock()) camera->getPreviewImage();
        },
        true);
}

void PTPNikonCamera::getPreviewImage() {
    // One frame at a time: a slow camera is not sent a queue of requests.
    if (frameInFlight_) return;
    frameInFlight_ = true;
    sendPTPRequest(PTPRequestCodeNikonGetLiveViewImg);
}

void PTPNikonCamera::onFrame(const PTPResponse& response, const std::vector<uint8_t>& data) {
    frameInFlight_ = false;
    if (!liveViewRunning()) return; // a frame that arrives after live view ended
    if (response.responseCode == PTPResponseCodeDeviceBusy && ++frameBusy_ <= kBusyRetries) {
        delegate()->debug("PTPResponseCodeDeviceBusy");
        frameInFlight_ = true;
        after(kBusyWait, [](PTPNikonCamera& camera) {
            if (!camera.liveViewRunning()) {
                camera.frameInFlight_ = false;
                return;
            }
            camera.sendPTPRequest(PTPRequestCodeNikonGetLiveViewImg);
        });
        return;
    }
    frameBusy_ = 0;
    if (response.responseCode != PTPResponseCodeOK || data.empty()) {
        delegate()->cameraExposureFailed(self(), "No data received (" + responseText(response) + ")");
        stopPreviewTimer();
        return;
    }
    const auto frame = parseNikonLiveView(data);
    if (!frame) {
        stopPreviewTimer();
        delegate()->cameraExposureFailed(self(), std::string("JPEG magic not found"));
        return;
    }
    delegate()->cameraFrame(self(), frame->left, frame->top, frame->width, frame->height);
    delegate()->cameraExposureDone(
        self(), std::vector<uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(frame->headerSize), data.end()),
        "preview.jpeg");
}

// ---- lens -----------------------------------------------------------------------------------

void PTPNikonCamera::focus(int32_t steps) {
    if (steps == 0) return;
    // A temporary live view is already on its way: the move goes in it, never in a second one.
    if (tempActive_) {
        if (driveSent_)
            queuedSteps_ = steps;
        else
            focusSteps_ = steps;
        return;
    }
    if (const auto afFocus = describedValue(*this, PTPPropertyCodeNikonLiveViewAFFocus); afFocus && *afFocus != 0)
        setProperty(PTPPropertyCodeNikonLiveViewAFFocus, "0");
    if (liveViewRunning()) {
        sendMfDrive(steps);
        return;
    }
    tempLiveView_ = true;
    tempActive_ = true;
    driveSent_ = false;
    focusSteps_ = steps;
    queuedSteps_ = 0;
    beginLiveView();
}

void PTPNikonCamera::sendMfDrive(int32_t steps) {
    sendPTPRequest(PTPRequestCodeNikonMfDrive, steps > 0 ? 1 : 2,
                   static_cast<uint32_t>(steps > 0 ? steps : -static_cast<int64_t>(steps)));
}

void PTPNikonCamera::onMfDrive(const PTPResponse& response) {
    if (response.responseCode != PTPResponseCodeOK) {
        failFocus("MfDrive failed (" + responseText(response) + ")");
        return;
    }
    after(kLensSettle, [](PTPNikonCamera& camera) {
        if (camera.tempActive_ && camera.queuedSteps_ != 0) {
            camera.sendMfDrive(std::exchange(camera.queuedSteps_, 0));
            return;
        }
        if (camera.tempActive_) {
            camera.tempActive_ = false;
            camera.endLiveView();
        }
        camera.delegate()->cameraFocusDone(camera.self());
    });
}

void PTPNikonCamera::failFocus(const std::string& message) {
    queuedSteps_ = 0;
    if (tempActive_) {
        tempActive_ = false;
        endLiveView();
    }
    delegate()->cameraFocusFailed(self(), message);
}

// ---- property labels ------------------------------------------------------------------------

void PTPNikonCamera::reportLadder(const std::shared_ptr<PTPProperty>& property) {
    const auto evStep = describedValue(*this, PTPPropertyCodeNikonEVStep);
    const int64_t step = evStep && *evStep != 0 ? 3 : 2;
    std::vector<std::string> values, labels;
    // 64-bit, and a bounded number of entries whatever range the camera claims.
    for (int64_t v = integerOf(property->min); v <= integerOf(property->max) && values.size() < kLadderCap; v += step) {
        values.push_back(std::to_string(v));
        char label[32];
        std::snprintf(label, sizeof label, "%.1f", static_cast<double>(v) * 0.16666);
        labels.push_back(label);
    }
    delegate()->cameraPropertyChanged(self(), property->propertyCode, property->value.description(), values, labels,
                                      property->readOnly);
}

void PTPNikonCamera::processPropertyDescription(const std::shared_ptr<PTPProperty>& property) {
    const uint16_t code = property->propertyCode;
    switch (code) {
    case PTPPropertyCodeFocusMode: {
        if (propertyIsSupported(PTPPropertyCodeNikonAutofocusMode)) return;
        // Published as the camera's autofocus mode; the stored description keeps its own code.
        auto asAutofocus = std::make_shared<PTPNikonProperty>(*property);
        asAutofocus->propertyCode = PTPPropertyCodeNikonAutofocusMode;
        asAutofocus->readOnly = true;
        mapValueList(asAutofocus, *nikonLabels(PTPPropertyCodeFocusMode)->map);
        return;
    }
    case PTPPropertyCodeNikonAutofocusMode:
    case PTPPropertyCodeNikonLiveViewAFFocus: {
        const bool autofocus = code == PTPPropertyCodeNikonAutofocusMode;
        const std::string value = property->value.description();
        if (integerOf(property->value) == 3) {
            delegate()->cameraPropertyChanged(self(), code, "3", {"3"}, {"M (fixed)"}, true);
            return;
        }
        const bool two = integerOf(property->max) == 1;
        std::vector<std::string> values, labels;
        if (autofocus) {
            values = two ? std::vector<std::string>{"0", "1"} : std::vector<std::string>{"0", "1", "2", "4"};
            labels =
                two ? std::vector<std::string>{"AF-S", "AF-C"} : std::vector<std::string>{"AF-S", "AF-C", "AF-A", "M"};
        } else {
            values = two ? std::vector<std::string>{"0", "2"} : std::vector<std::string>{"0", "2", "4"};
            labels = two ? std::vector<std::string>{"AF-S", "AF-F"} : std::vector<std::string>{"AF-S", "AF-F", "M"};
        }
        delegate()->cameraPropertyChanged(self(), code, value, values, labels, property->readOnly);
        return;
    }
    case PTPPropertyCodeNikonEVStep:
        mapValueInterval(property, *nikonLabels(code)->map);
        sendPTPRequest(PTPRequestCodeGetDevicePropDesc, PTPPropertyCodeExposureBiasCompensation);
        sendPTPRequest(PTPRequestCodeGetDevicePropDesc, PTPPropertyCodeNikonFlashExposureCompensation);
        sendPTPRequest(PTPRequestCodeGetDevicePropDesc, PTPPropertyCodeNikonExternalFlashCompensation);
        return;
    case PTPPropertyCodeNikonExternalFlashCompensation:
    case PTPPropertyCodeNikonFlashExposureCompensation:
        reportLadder(property);
        return;
    case PTPPropertyCodeNikonExposureDelayMode: {
        const int64_t max = integerOf(property->max);
        if (!property->max.isNull() && max == 1) {
            mapValueInterval(property, {{0, "Off"}, {1, "On"}});
            delayModeOff_ = "0";
            delayModeOn_ = "1";
            return;
        }
        if (!property->max.isNull() && max == 3) {
            mapValueInterval(property, {{0, "3s"}, {1, "2s"}, {2, "1s"}, {3, "Off"}});
            delayModeOff_ = "3";
            delayModeOn_ = "1";
            return;
        }
        // Values of unknown meaning: mirror lock-up is not switched through them.
        delayModeOn_.reset();
        delayModeOff_.reset();
        PTPCamera::processPropertyDescription(property);
        return;
    }
    case PTPPropertyCodeNikonLensID: {
        const int64_t id = integerOf(property->value);
        property->type = PTPDataTypeString;
        const auto lens = nikonLensName(id);
        delegate()->cameraPropertyChanged(self(), code, lens ? std::string(*lens) : std::to_string(id), true);
        return;
    }
    case PTPPropertyCodeNikonACPower:
        sendPTPRequest(PTPRequestCodeGetDevicePropDesc, PTPPropertyCodeBatteryLevel);
        return;
    case PTPPropertyCodeNikonLiveViewStatus:
        onLiveViewStatus(property);
        return;
    default:
        break;
    }
    if (const auto labels = nikonLabels(code)) {
        if (labels->wholeRange) {
            mapValueInterval(property, *labels->map);
        } else {
            mapValueList(property, *labels->map);
        }
        return;
    }
    PTPCamera::processPropertyDescription(property);
}
