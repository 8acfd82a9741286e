#include "ccd_ica/ptp_camera_sony.h"

#include "ccd_ica/sony_labels.h"

#include <algorithm>
#include <cstdio>

namespace {

namespace sony = zeta::ccd_ica::sony;

constexpr PTPCodeName sonyOperationRows[] = {ZETA_PTP_SONY_OPERATION_CODES(ZETA_PTP_REQUEST_ROW)};
constexpr PTPCodeName sonyEventRows[] = {ZETA_PTP_SONY_EVENT_CODES(ZETA_PTP_EVENT_ROW)};
constexpr PTPCodeName sonyPropertyRows[] = {ZETA_PTP_SONY_PROPERTY_CODES(ZETA_PTP_PROPERTY_ROW)};

const PTPNameTable sonyOperationNames(sonyOperationRows, &ptpOperationNameTable, "");
const PTPNameTable sonyEventNames(sonyEventRows, &ptpEventNameTable, "");
const PTPNameTable sonyPropertyNames(sonyPropertyRows, &ptpPropertyNameTable, "");

const PTPClassesOf<PTPSonyRequest, PTPSonyResponse, PTPSonyEvent, PTPSonyProperty, PTPSonyDeviceInfo> sonyClasses;

constexpr uint16_t kPress = 2;
constexpr uint16_t kRelease = 1;

std::optional<std::size_t> positionOf(std::span<const int64_t> ladder, int64_t value) {
    const auto found = std::find(ladder.begin(), ladder.end(), value);
    if (found == ladder.end()) return std::nullopt;
    return static_cast<std::size_t>(found - ladder.begin());
}

} // namespace

const PTPNameTable& PTPSonyRequest::operationNames() const {
    return sonyOperationNames;
}
const PTPNameTable& PTPSonyEvent::eventNames() const {
    return sonyEventNames;
}
const PTPNameTable& PTPSonyProperty::propertyNames() const {
    return sonyPropertyNames;
}
std::string PTPSonyDeviceInfo::debug() const {
    return listing(sonyOperationNames, sonyEventNames, sonyPropertyNames, false, false);
}

std::vector<std::shared_ptr<PTPProperty>> sonyReadAllProperties(std::span<const uint8_t> data) {
    std::vector<std::shared_ptr<PTPProperty>> records;
    PTPCursor cursor(data);
    const uint32_t count = ptp_read_uint32(cursor);
    (void)ptp_read_uint32(cursor);
    for (uint32_t i = 0; i < count && !cursor.overrun && cursor.remaining() > 0; ++i) {
        auto property = std::make_shared<PTPSonyProperty>(ptp_read_uint16(cursor));
        property->type = ptp_read_uint16(cursor);
        property->readOnly = ptp_read_uint8(cursor) == 0;
        (void)ptp_read_uint8(cursor);
        property->defaultValue = ptp_read_value(cursor, property->type);
        property->value = ptp_read_value(cursor, property->type);
        // A datatype without a known encoding hides where the next record starts.
        if (cursor.overrun || property->value.isNull()) break;
        const uint8_t form = ptp_read_uint8(cursor);
        if (form == 1) {
            property->min = ptp_read_value(cursor, property->type);
            property->max = ptp_read_value(cursor, property->type);
            property->step = ptp_read_value(cursor, property->type);
        } else if (form == 2) {
            const uint16_t values = ptp_read_uint16(cursor);
            std::vector<PTPValue> list;
            for (uint16_t v = 0; v < values && !cursor.overrun; ++v)
                list.push_back(ptp_read_value(cursor, property->type));
            property->supportedValues = std::move(list);
        }
        if (cursor.overrun) break;
        records.push_back(std::move(property));
    }
    return records;
}

std::string PTPSonyCamera::name() const {
    return "Sony " + PTPCamera::name();
}

const PTPClasses& PTPSonyCamera::classes() const {
    return sonyClasses;
}

void PTPSonyCamera::processConnect() {
    if (propertyIsSupported(PTPPropertyCodeSonyStillImage)) delegate()->cameraCanExposure(self());
    PTPCamera::processConnect();
}

// ---- replies ----------------------------------------------------------------------------------

void PTPSonyCamera::processRequest(const std::shared_ptr<PTPRequest>& request,
                                   const std::shared_ptr<PTPResponse>& response, const std::vector<uint8_t>& data) {
    switch (request->operationCode) {
    case PTPRequestCodeGetDeviceInfo: {
        if (!acceptDeviceInfo(*request, *response, data)) return;
        describeProperties();
        if (operationIsSupported(PTPRequestCodeSonyGetSDIOGetExtDeviceInfo)) {
            sendPTPRequest(PTPRequestCodeSonySDIOConnect, 1, 0, 0);
            sendPTPRequest(PTPRequestCodeSonySDIOConnect, 2, 0, 0);
            sendPTPRequest(PTPRequestCodeSonyGetSDIOGetExtDeviceInfo, 200);
        } else {
            sendPTPRequest(PTPRequestCodeGetStorageIDs);
        }
        return;
    }
    case PTPRequestCodeSonyGetSDIOGetExtDeviceInfo: {
        if (const auto deviceInfo = info(); deviceInfo && data.size() >= 4) {
            // The first word is a version; the others are codes, sorted into their lists.
            for (std::size_t i = 1; i < data.size() / 2; ++i) {
                const uint16_t code = static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
                switch (code & 0x7000) {
                case 0x1000:
                    deviceInfo->operationsSupported.push_back(code);
                    break;
                case 0x4000:
                    deviceInfo->eventsSupported.push_back(code);
                    break;
                case 0x5000:
                    deviceInfo->propertiesSupported.push_back(code);
                    break;
                default:
                    break;
                }
            }
        }
        sendPTPRequest(PTPRequestCodeSonySDIOConnect, 3, 0, 0);
        sendPTPRequest(PTPRequestCodeSonyGetAllDevicePropData);
        sendPTPRequest(PTPRequestCodeGetStorageIDs);
        return;
    }
    case PTPRequestCodeSonyGetAllDevicePropData:
        readAllProperties(data);
        return;
    case PTPRequestCodeSonyGetDevicePropDesc:
    case PTPRequestCodeSonySetControlDeviceA:
    case PTPRequestCodeSonySetControlDeviceB:
        return;
    case PTPRequestCodeGetObjectInfo: {
        if (imageCount_ == 0) return;
        if (response->responseCode != PTPResponseCodeOK || data.size() < 6) {
            failCapture(response->responseCode != PTPResponseCodeOK ? refusal(*request, *response)
                                                                    : "GetObjectInfo failed (no object information)");
            return;
        }
        format_ = static_cast<uint32_t>(data[4] | (data[5] << 8));
        sendPTPRequest(PTPRequestCodeGetObject, request->parameter1);
        return;
    }
    case PTPRequestCodeGetObject: {
        if (imageCount_ == 0) return;
        if (response->responseCode != PTPResponseCodeOK) {
            failCapture(refusal(*request, *response));
            return;
        }
        if (format_ == PTPObjectFormatSonyRAW) {
            delegate()->cameraExposureDone(self(), data, "image.arw");
        } else if (format_ == PTPObjectFormatJPEG) {
            delegate()->cameraExposureDone(self(), data, "image.jpeg");
        } else {
            // An image nobody can read must not leave the exposure waiting for it.
            failCapture("Unsupported image format " + ptpHex4(format_));
            return;
        }
        if (--imageCount_ > 0) sendPTPRequest(PTPRequestCodeGetObjectInfo, request->parameter1);
        return;
    }
    default:
        PTPCamera::processRequest(request, response, data);
        return;
    }
}

void PTPSonyCamera::processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error) {
    switch (request->operationCode) {
    case PTPRequestCodeGetObjectInfo:
    case PTPRequestCodeGetObject:
        if (imageCount_ > 0) failCapture(ptpOperationName(request->operationCode) + " failed (" + error + ")");
        return;
    case PTPRequestCodeSonyGetAllDevicePropData:
        // The refresh that ends a walk will not come: tell what went wrong now.
        if (iteratedProperty_ == 0 && walkFailure_) {
            const auto [code, message] = *walkFailure_;
            walkFailure_.reset();
            delegate()->cameraPropertyFailed(self(), code, message);
        }
        return;
    default:
        PTPCamera::processRequestFailure(request, error);
        return;
    }
}

void PTPSonyCamera::failCapture(const std::string& message) {
    imageCount_ = 0;
    waitForCapture_ = false;
    delegate()->cameraExposureFailed(self(), message);
}

void PTPSonyCamera::readAllProperties(const std::vector<uint8_t>& data) {
    const auto deviceInfo = info();
    if (!deviceInfo || data.empty()) return;
    const auto records = sonyReadAllProperties(data);
    for (const auto& property : records) {
        if (property->propertyCode == PTPPropertyCodeExposureProgramMode)
            mode_ = static_cast<uint16_t>(property->value.intValue());
        deviceInfo->setProperty(property);
    }
    if (iteratedProperty_ != 0) return;
    for (const auto& property : records)
        processPropertyDescription(property);
    if (walkFailure_) {
        const auto [code, message] = *walkFailure_;
        walkFailure_.reset();
        delegate()->cameraPropertyFailed(self(), code, message);
    }
}

// ---- events -------------------------------------------------------------------------------------

void PTPSonyCamera::processEvent(const std::shared_ptr<PTPEvent>& event) {
    switch (event->eventCode) {
    case PTPEventCodeSonyObjectAdded:
        imageCount_ = compression_ == 19 ? 2 : 1;
        sendPTPRequest(PTPRequestCodeGetObjectInfo, event->parameter1);
        break;
    case PTPEventCodeSonyPropertyChanged:
        if (iteratedProperty_ == 0) sendPTPRequest(PTPRequestCodeSonyGetAllDevicePropData);
        break;
    default:
        PTPCamera::processEvent(event);
        break;
    }
}

// ---- labels -------------------------------------------------------------------------------------

void PTPSonyCamera::processPropertyDescription(const std::shared_ptr<PTPProperty>& property) {
    const uint16_t code = property->propertyCode;
    switch (code) {
    case PTPPropertyCodeCompressionSetting:
        compression_ = static_cast<uint32_t>(property->value.intValue());
        break;
    case PTPPropertyCodeFocusMode:
        focusMode_ = static_cast<uint32_t>(property->value.intValue());
        break;
    case PTPPropertyCodeSonyShutterSpeed:
        shutterSpeed_ = static_cast<uint32_t>(property->value.intValue());
        break;
    case PTPPropertyCodeSonyFocusStatus:
        PTPCamera::processPropertyDescription(property);
        focusStatusChanged(property);
        return;
    default:
        break;
    }
    const sony::SonyRule* rule = sony::rule(code);
    if (!rule) {
        PTPCamera::processPropertyDescription(property);
        return;
    }
    property->readOnly = !rule->writableIn(mode_, !property->readOnly);
    std::map<int64_t, std::string> labels;
    if (rule->form == sony::SonyRule::Form::cameraList) {
        for (const sony::SonyLabel& entry : rule->labels)
            labels.emplace(entry.value, entry.label);
        mapValueList(property, labels);
        return;
    }
    std::vector<std::string> values, texts;
    for (const sony::SonyLabel& entry : rule->labels) {
        values.push_back(std::to_string(entry.value));
        texts.emplace_back(entry.label);
    }
    delegate()->cameraPropertyChanged(self(), code, property->value.description(), values, texts, property->readOnly);
}

// ---- settings -----------------------------------------------------------------------------------

void PTPSonyCamera::setProperty(uint16_t code, const std::string& value) {
    if (const auto ladder = sony::ladder(code); !ladder.empty()) {
        iterate(code, value, ladder);
    } else if (code == PTPPropertyCodeSonyAutofocus || code == PTPPropertyCodeSonyCapture) {
        setProperty(code, PTPRequestCodeSonySetControlDeviceB, value);
    } else {
        setProperty(code, PTPRequestCodeSonySetControlDeviceA, value);
    }
}

void PTPSonyCamera::setProperty(uint16_t code, uint16_t operation, const std::string& value) {
    const auto deviceInfo = info();
    const auto property = deviceInfo ? deviceInfo->property(code) : nullptr;
    if (!property) return;
    const bool integer = property->type >= PTPDataTypeInt8 && property->type <= PTPDataTypeUInt64;
    if (!integer && property->type != PTPDataTypeString) return;
    auto data = ptp_encode_value(property->type, PTPValue(value));
    sendPTPRequest(operation, code, data ? std::move(*data) : std::vector<uint8_t>());
}

void PTPSonyCamera::iterate(uint16_t code, const std::string& target, std::span<const int64_t> ladder) {
    if (walk_) {
        delegate()->cameraPropertyFailed(self(), code,
                                         "Property " + ptpHex4(walk_->code) + " is still being changed, try again");
        return;
    }
    const auto deviceInfo = info();
    const auto property = deviceInfo ? deviceInfo->property(code) : nullptr;
    if (!property) return;
    const auto from = positionOf(ladder, property->value.longLongValue());
    const auto to = positionOf(ladder, PTPValue(target).longLongValue());
    // The camera only steps between the values it knows; off the ladder there is no way there.
    if (!from || !to) {
        delegate()->cameraPropertyFailed(self(), code,
                                         "Value " + (from ? target : property->value.description()) + " of property " +
                                             ptpHex4(code) + " cannot be reached by stepping");
        return;
    }
    iteratedProperty_ = code;
    walk_ = Walk{code, ladder, *from, *to, 0};
    startStep();
}

void PTPSonyCamera::startStep() {
    if (walk_->position == walk_->target) {
        endWalk(std::nullopt);
        return;
    }
    setProperty(walk_->code, PTPRequestCodeSonySetControlDeviceB, walk_->position < walk_->target ? "1" : "-1");
    walk_->polls = 0;
    poll();
}

void PTPSonyCamera::poll() {
    sendPTPRequest(PTPRequestCodeSonyGetAllDevicePropData);
    std::weak_ptr<PTPCamera> weak = weak_from_this();
    pollTimer_ = RunLoopTimer::scheduledTimer(
        kStepPollInterval, runLoop(),
        [weak] {
            const auto camera = std::static_pointer_cast<PTPSonyCamera>(weak.lock());
            if (!camera || !camera->walk_) return;
            Walk& walk = *camera->walk_;
            const std::size_t next = walk.position < walk.target ? walk.position + 1 : walk.position - 1;
            const auto deviceInfo = camera->info();
            const auto property = deviceInfo ? deviceInfo->property(walk.code) : nullptr;
            if (property && property->value.longLongValue() == walk.ladder[next]) {
                walk.position = next;
                camera->startStep();
            } else if (++walk.polls >= kStepPolls) {
                camera->endWalk("Property " + ptpHex4(walk.code) + " did not reach " +
                                std::to_string(walk.ladder[walk.target]) + ": the camera stopped at " +
                                std::to_string(walk.ladder[walk.position]));
            } else {
                camera->poll();
            }
        },
        false);
}

void PTPSonyCamera::endWalk(std::optional<std::string> failure) {
    if (failure) walkFailure_ = std::make_pair(walk_->code, std::move(*failure));
    walk_.reset();
    pollTimer_.reset();
    iteratedProperty_ = 0;
    sendPTPRequest(PTPRequestCodeSonyGetAllDevicePropData);
}

// ---- capture and focus --------------------------------------------------------------------------

void PTPSonyCamera::press(uint16_t control, bool down) {
    setProperty(control, PTPRequestCodeSonySetControlDeviceB, std::to_string(down ? kPress : kRelease));
}

double PTPSonyCamera::startExposure() {
    waitForCapture_ = true;
    press(PTPPropertyCodeSonyAutofocus, true);
    if (focusMode_ != 1) return 0.0; // the focus status goes on
    press(PTPPropertyCodeSonyCapture, true);
    if (shutterSpeed_ != 0) {
        waitForCapture_ = false;
        press(PTPPropertyCodeSonyCapture, false);
        press(PTPPropertyCodeSonyAutofocus, false);
    }
    return 0.0;
}

void PTPSonyCamera::stopExposure() {
    waitForCapture_ = false;
    press(PTPPropertyCodeSonyCapture, false);
    press(PTPPropertyCodeSonyAutofocus, false);
    imageCount_ = compression_ == 19 ? 2 : 1;
    sendPTPRequest(PTPRequestCodeGetObjectInfo, kInMemoryHandle);
}

void PTPSonyCamera::startAutofocus() {
    setProperty(PTPPropertyCodeSonyAutofocus, std::to_string(kPress));
}

void PTPSonyCamera::stopAutofocus() {
    setProperty(PTPPropertyCodeSonyAutofocus, std::to_string(kRelease));
}

void PTPSonyCamera::focusStatusChanged(const std::shared_ptr<PTPProperty>& property) {
    if (focusMode_ == 1) return;
    switch (property->value.intValue()) {
    case 2:
    case 6:
        if (waitForCapture_) {
            waitForCapture_ = false;
            press(PTPPropertyCodeSonyCapture, true);
            if (shutterSpeed_ != 0) {
                press(PTPPropertyCodeSonyCapture, false);
                press(PTPPropertyCodeSonyAutofocus, false);
            }
        } else {
            press(PTPPropertyCodeSonyAutofocus, false);
        }
        break;
    case 3:
        if (waitForCapture_) {
            waitForCapture_ = false;
            delegate()->cameraExposureFailed(self(), std::string("Failed to focus"));
        }
        press(PTPPropertyCodeSonyAutofocus, false);
        break;
    default:
        break;
    }
}
