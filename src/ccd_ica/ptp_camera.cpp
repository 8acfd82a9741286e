#include "ccd_ica/ptp_camera.h"

#include "indigo/indigo_log.h"
#include "platform/bundle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace {

constexpr auto kEventPollInterval = std::chrono::milliseconds(500);

// Transaction and event lines are made only when the debug log will show them.
bool debugLogging() {
    return indigo_get_log_level() >= INDIGO_LOG_DEBUG;
}

using LabelMap = std::map<int64_t, std::string>;

// Standard properties reported as lists through a label map.
const std::map<uint16_t, LabelMap>& labelMaps() {
    static const std::map<uint16_t, LabelMap> maps = {
        {PTPPropertyCodeCompressionSetting,
         {{0, "JPEG Basic"},
          {1, "JPEG Norm"},
          {2, "JPEG Fine"},
          {4, "RAW"},
          {5, "RAW + JPEG Basic"},
          {6, "RAW + JPEG Norm"},
          {7, "RAW + JPEG Fine"}}},
        {PTPPropertyCodeWhiteBalance,
         {{1, "Manual"},
          {2, "Auto"},
          {3, "One-push Auto"},
          {4, "Daylight"},
          {5, "Fluorescent"},
          {6, "Incandescent"},
          {7, "Flash"}}},
        {PTPPropertyCodeFocusMode, {{1, "Manual"}, {2, "Automatic"}, {3, "Macro"}}},
        {PTPPropertyCodeExposureMeteringMode,
         {{1, "Average"}, {2, "Center-Weighted Average"}, {3, "Multi-spot"}, {4, "Center-spot"}}},
        {PTPPropertyCodeFlashMode,
         {{0, "Undefined"},
          {1, "Automatic flash"},
          {2, "Flash off"},
          {3, "Fill flash"},
          {4, "Automatic Red-eye Reduction"},
          {5, "Red-eye fill flash"},
          {6, "External sync"}}},
        {PTPPropertyCodeExposureProgramMode,
         {{1, "Manual"}, {2, "Program"}, {3, "Aperture priority"}, {4, "Shutter priority"}}},
        {PTPPropertyCodeStillCaptureMode, {{1, "Single shot"}, {2, "Continuous"}, {3, "Timelapse"}}},
        {PTPPropertyCodeFocusMeteringMode, {{1, "Center-spot"}, {2, "Multi-spot"}}},
    };
    return maps;
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// Exposure time in units of 0.1 ms.
std::string exposureTimeLabel(int32_t v) {
    static const std::map<int32_t, std::string> fixed = {{1, "1/8000 s"},
                                                         {3, "1/3200 s"},
                                                         {6, "1/1600 s"},
                                                         {12, "1/800 s"},
                                                         {15, "1/640 s"},
                                                         {80, "1/125 s"},
                                                         {static_cast<int32_t>(PTPExposureTimeTime), "Time"},
                                                         {static_cast<int32_t>(PTPExposureTimeBulb), "Bulb"}};
    if (const auto found = fixed.find(v); found != fixed.end()) return found->second;
    // Zero and other negative codes have no duration to show; they keep their number.
    if (v <= 0) return std::to_string(v);
    if (v <= 99) return format("1/%g s", std::round(1000.0 / v) * 10);
    if (v <= 9999) return format("1/%g s", std::round(10000.0 / v));
    return format("%g s", v / 10000.0);
}

std::vector<std::string> valueTexts(const std::shared_ptr<PTPProperty>& property) {
    std::vector<std::string> texts;
    if (property->supportedValues) {
        for (const PTPValue& value : *property->supportedValues)
            texts.push_back(value.description());
    }
    return texts;
}

PTPValue dividedBy100(const PTPValue& value) {
    if (value.isNull()) return value;
    const int64_t v = value.intValue() / 100;
    return PTPValue::integer(PTPDataTypeInt32, static_cast<uint64_t>(v));
}

// "GetDeviceInfo" for PTPRequestCodeGetDeviceInfo, in the request class's names.
std::string operationName(const PTPRequest& request) {
    return ptpOperationName(request.operationCode, request.operationNames());
}

// A folder of our own inside the temporary folder; the temporary folder itself if none can be made.
std::filesystem::path makeDownloadFolder() {
    std::string pattern = (zeta::platform::temporaryDirectory() / "zeta-camera-XXXXXX").string();
    if (::mkdtemp(pattern.data())) return pattern;
    return zeta::platform::temporaryDirectory();
}

} // namespace

PTPCamera::PTPCamera(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop)
    : icCamera_(std::move(icCamera)), delegate_(std::move(delegate)), runLoop_(runLoop),
      downloadFolder_(makeDownloadFolder()) {}

PTPCamera::~PTPCamera() {
    stopEventTimer();
    if (downloadFolder_ != zeta::platform::temporaryDirectory()) {
        std::error_code ec;
        std::filesystem::remove_all(downloadFolder_, ec);
    }
}

std::shared_ptr<PTPDeviceInfo> PTPCamera::info() const {
    std::lock_guard lock(infoMutex_);
    return info_;
}

void PTPCamera::setInfo(std::shared_ptr<PTPDeviceInfo> info) {
    std::lock_guard lock(infoMutex_);
    info_ = std::move(info);
}

std::string PTPCamera::name() const {
    return icCamera_->name();
}

// ---- session --------------------------------------------------------------------------------

void PTPCamera::requestOpenSession() {
    icCamera_->requestOpenSession();
}

void PTPCamera::requestCloseSession() {
    unlock();
    icCamera_->requestCloseSession();
}

void PTPCamera::requestEnableTethering() {
    icCamera_->requestEnableTethering();
}

void PTPCamera::didOpenSessionWithError(const Device&, const std::optional<zeta::platform::ICError>& error) {
    opening_ = true;
    // A refusal is named here like every other; a transport failure keeps its own words.
    if (!error)
        openError_.reset();
    else if (error->code > 0)
        openError_ = ptpResponseText(static_cast<uint16_t>(error->code));
    else
        openError_ = error->localizedDescription;
    sendPTPRequest(PTPRequestCodeGetDeviceInfo);
}

void PTPCamera::didCloseSessionWithError(const Device&, const std::optional<zeta::platform::ICError>&) {
    // Nothing polls a camera without a session.
    stopEventTimer();
    opening_ = false;
    if (closingAfterFailure_) {
        closingAfterFailure_ = false;
        return;
    }
    delegate_->cameraDisconnected(self());
}

void PTPCamera::failConnection(const std::string& message) {
    if (!opening_) return;
    opening_ = false;
    closingAfterFailure_ = true;
    // When the session never opened, that is the reason worth telling.
    delegate_->cameraConnectionFailed(self(), openError_ ? "OpenSession failed (" + *openError_ + ")" : message);
    icCamera_->requestCloseSession();
}

std::shared_ptr<PTPDeviceInfo> PTPCamera::acceptDeviceInfo(const PTPRequest& request, const PTPResponse& response,
                                                           const std::vector<uint8_t>& data) {
    const bool ok = response.responseCode == PTPResponseCodeOK;
    auto deviceInfo = ok && !data.empty() ? classes().deviceInfoWithData(data) : nullptr;
    if (!deviceInfo) {
        failConnection(ok ? "GetDeviceInfo failed (no device information)" : refusal(request, response));
        return nullptr;
    }
    setInfo(deviceInfo);
    return deviceInfo;
}

void PTPCamera::describeProperties(const std::function<bool(uint16_t code)>& wanted) {
    const auto deviceInfo = info();
    if (!deviceInfo) return;
    for (uint16_t code : std::vector<uint16_t>(deviceInfo->propertiesSupported)) {
        if (!wanted || wanted(code)) sendPTPRequest(PTPRequestCodeGetDevicePropDesc, code);
    }
}

void PTPCamera::didRemoveDevice(const Device&) {
    stopEventTimer();
    delegate_->cameraRemoved(self());
}

void PTPCamera::didEncounterError(const Device&, const zeta::platform::ICError& error) {
    delegate_->log("Error '" + error.localizedDescription + "' on '" + name() + "'");
    // The framework's take-picture reports its failure here; the capture that waits for it
    // has failed.
    if (captureRequested_) {
        captureRequested_ = false;
        delegate_->cameraExposureFailed(self(), error.localizedDescription);
    }
}

void PTPCamera::processConnect() {
    const auto deviceInfo = info();
    delegate_->log("Initialized " + (deviceInfo ? deviceInfo->debug() : std::string()) + "\n");
    delegate_->cameraConnected(self());
}

void PTPCamera::startEventTimer() {
    stopEventTimer();
    std::weak_ptr<PTPCamera> weak = weak_from_this();
    ptpEventTimer_ = RunLoopTimer::scheduledTimer(
        kEventPollInterval, runLoop_,
        [weak] {
            if (const auto camera = weak.lock()) camera->checkForEvent();
        },
        true);
}

void PTPCamera::stopEventTimer() {
    if (ptpEventTimer_) ptpEventTimer_->invalidate();
    ptpEventTimer_.reset();
}

// ---- transactions ---------------------------------------------------------------------------

void PTPCamera::send(std::shared_ptr<PTPRequest> request, std::vector<uint8_t> data) {
    std::vector<uint8_t> command = request->commandBuffer();
    icCamera_->requestSendPTPCommand(std::move(command), std::move(data), weak_from_this(), std::move(request));
}

void PTPCamera::sendPTPRequest(uint16_t operationCode) {
    auto request = classes().request();
    request->operationCode = operationCode;
    send(std::move(request), {});
}

void PTPCamera::sendPTPRequest(uint16_t operationCode, uint32_t parameter1) {
    auto request = classes().request();
    request->operationCode = operationCode;
    request->numberOfParameters = 1;
    request->parameter1 = parameter1;
    send(std::move(request), {});
}

void PTPCamera::sendPTPRequest(uint16_t operationCode, uint32_t parameter1, uint32_t parameter2) {
    auto request = classes().request();
    request->operationCode = operationCode;
    request->numberOfParameters = 2;
    request->parameter1 = parameter1;
    request->parameter2 = parameter2;
    send(std::move(request), {});
}

void PTPCamera::sendPTPRequest(uint16_t operationCode, uint32_t parameter1, uint32_t parameter2, uint32_t parameter3) {
    auto request = classes().request();
    request->operationCode = operationCode;
    request->numberOfParameters = 3;
    request->parameter1 = parameter1;
    request->parameter2 = parameter2;
    request->parameter3 = parameter3;
    send(std::move(request), {});
}

void PTPCamera::sendPTPRequest(uint16_t operationCode, std::vector<uint8_t> data) {
    auto request = classes().request();
    request->operationCode = operationCode;
    send(std::move(request), std::move(data));
}

void PTPCamera::sendPTPRequest(uint16_t operationCode, uint32_t parameter1, std::vector<uint8_t> data) {
    auto request = classes().request();
    request->operationCode = operationCode;
    request->numberOfParameters = 1;
    request->parameter1 = parameter1;
    send(std::move(request), std::move(data));
}

void PTPCamera::didSendPTPCommand(const std::vector<uint8_t>&, const std::vector<uint8_t>& inData,
                                  const std::vector<uint8_t>& response,
                                  const std::optional<zeta::platform::ICError>& error, const std::any& contextInfo) {
    const auto* context = std::any_cast<std::shared_ptr<PTPRequest>>(&contextInfo);
    if (!context || !*context) return;
    const std::shared_ptr<PTPRequest>& request = *context;
    const auto parsed = response.empty() ? nullptr : classes().responseWithData(response);
    if (!parsed) {
        const std::string why = error              ? error->localizedDescription
                                : response.empty() ? "no response"
                                                   : "unreadable response";
        if (debugLogging()) delegate_->debug("Completed " + request->description() + " with error " + why);
        processRequestFailure(request, why);
        return;
    }
    if (debugLogging() && !inData.empty()) {
        delegate_->debug("Completed " + request->description() + " with " + parsed->description() + " and " +
                         std::to_string(inData.size()) + "b");
    } else if (debugLogging()) {
        delegate_->debug("Completed " + request->description() + " with " + parsed->description());
    }
    processRequest(request, parsed, inData);
}

std::string PTPCamera::responseText(const PTPResponse& response) {
    return ptpHex4(response.responseCode) + " = " + response.description();
}

std::string PTPCamera::refusal(const PTPRequest& request, const PTPResponse& response) {
    return operationName(request) + " failed (" + responseText(response) + ")";
}

void PTPCamera::processRequest(const std::shared_ptr<PTPRequest>& request, const std::shared_ptr<PTPResponse>& response,
                               const std::vector<uint8_t>& data) {
    switch (request->operationCode) {
    case PTPRequestCodeGetDeviceInfo:
        if (!acceptDeviceInfo(*request, *response, data)) return;
        if (operationIsSupported(PTPRequestCodeInitiateCapture)) delegate_->cameraCanExposure(self());
        describeProperties();
        sendPTPRequest(PTPRequestCodeGetStorageIDs);
        break;
    case PTPRequestCodeGetStorageIDs:
        if (response->responseCode != PTPResponseCodeOK) {
            failConnection(refusal(*request, *response));
            return;
        }
        if (!opening_) return; // an answer to someone else's question
        opening_ = false;
        processConnect();
        startEventTimer();
        break;
    case PTPRequestCodeGetDevicePropDesc: {
        const auto property = data.empty() ? nullptr : classes().propertyWithData(data);
        delegate_->debug("Translated to " + (property ? property->description() : std::string("(null)")));
        if (!property) {
            if (response->responseCode != PTPResponseCodeOK) {
                delegate_->cameraPropertyFailed(self(), static_cast<uint16_t>(request->parameter1),
                                                refusal(*request, *response));
            }
            return;
        }
        if (const auto deviceInfo = info()) deviceInfo->setProperty(property);
        processPropertyDescription(property);
        break;
    }
    case PTPRequestCodeSetDevicePropValue:
        if (response->responseCode != PTPResponseCodeOK) {
            delegate_->cameraPropertyFailed(self(), static_cast<uint16_t>(request->parameter1),
                                            refusal(*request, *response));
        }
        // Every setting is read back, so the client sees the value the camera settled on.
        sendPTPRequest(PTPRequestCodeGetDevicePropDesc, request->parameter1);
        break;
    default:
        break;
    }
}

void PTPCamera::processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error) {
    switch (request->operationCode) {
    case PTPRequestCodeGetDeviceInfo:
    case PTPRequestCodeGetStorageIDs:
        failConnection(operationName(*request) + " failed (" + error + ")");
        break;
    case PTPRequestCodeGetDevicePropDesc:
    case PTPRequestCodeSetDevicePropValue:
        delegate_->cameraPropertyFailed(self(), static_cast<uint16_t>(request->parameter1),
                                        operationName(*request) + " failed (" + error + ")");
        break;
    default:
        break;
    }
}

bool PTPCamera::operationIsSupported(uint16_t code) const {
    const auto deviceInfo = info();
    if (!deviceInfo) return false;
    const auto& list = deviceInfo->operationsSupported;
    return std::find(list.begin(), list.end(), code) != list.end();
}

bool PTPCamera::propertyIsSupported(uint16_t code) const {
    const auto deviceInfo = info();
    if (!deviceInfo) return false;
    const auto& list = deviceInfo->propertiesSupported;
    return std::find(list.begin(), list.end(), code) != list.end();
}

// ---- events and new files -------------------------------------------------------------------

void PTPCamera::didReceivePTPEvent(const Device&, const std::vector<uint8_t>& container) {
    const auto event = classes().eventWithData(container);
    if (!event) return;
    if (debugLogging()) delegate_->debug("Received " + event->description());
    // Cameras of this family are polled for their events.
    if (const auto deviceInfo = info(); deviceInfo && deviceInfo->vendorExtension == PTPVendorExtensionNikon) return;
    processEvent(event);
}

void PTPCamera::processEvent(const std::shared_ptr<PTPEvent>& event) {
    switch (event->eventCode) {
    case PTPEventCodeObjectAdded:
        objectAdded_ = true;
        break;
    case PTPEventCodeCaptureComplete:
        if (objectAdded_) {
            objectAdded_ = false;
        } else {
            delegate_->cameraExposureFailed(self(), std::string("Image data out of sequence"));
        }
        break;
    case PTPEventCodeDevicePropChanged:
        sendPTPRequest(PTPRequestCodeGetDevicePropDesc, event->parameter1);
        break;
    default:
        break;
    }
}

void PTPCamera::didAddItem(const Device&, const std::shared_ptr<zeta::platform::ICCameraItem>& item) {
    auto file = std::dynamic_pointer_cast<zeta::platform::ICCameraFile>(item);
    if (!file || !file->wasAddedAfterContentCatalogCompleted()) return;
    objectAdded_ = true;
    captureRequested_ = false;
    zeta::platform::ICDownloadOptions options;
    options.ICDeleteAfterSuccessfulDownload = deleteDownloadedImage();
    options.ICOverwrite = true;
    options.ICDownloadsDirectoryURL = downloadFolder_;
    icCamera_->requestDownloadFile(std::move(file), std::move(options), weak_from_this(), {});
}

void PTPCamera::didDownloadFile(const std::shared_ptr<zeta::platform::ICCameraFile>&,
                                const std::optional<zeta::platform::ICError>& error,
                                const zeta::platform::ICDownloadOptions& options, const std::any&) {
    if (error || !options.ICDownloadsDirectoryURL || !options.ICSavedFilename) {
        const std::string why = error ? error->localizedDescription : "no file saved";
        delegate_->cameraExposureFailed(self(), "requestDownloadFile failed (" + why + ")");
        return;
    }
    const std::filesystem::path path = *options.ICDownloadsDirectoryURL / *options.ICSavedFilename;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool readable = in.good() || in.eof();
    in.close();
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!readable) {
        delegate_->cameraExposureFailed(self(), "requestDownloadFile failed (cannot read " + path.string() + ")");
        return;
    }
    delegate_->cameraFrame(self(), 0, 0, -1, -1);
    delegate_->cameraExposureDone(self(), bytes, *options.ICSavedFilename);
}

// ---- capture --------------------------------------------------------------------------------

double PTPCamera::startExposure() {
    captureRequested_ = true;
    icCamera_->requestTakePicture();
    return 0.0;
}

// ---- properties -----------------------------------------------------------------------------

void PTPCamera::setProperty(uint16_t code, const std::string& value) {
    const auto deviceInfo = info();
    const auto property = deviceInfo ? deviceInfo->property(code) : nullptr;
    if (!property) {
        delegate_->cameraPropertyFailed(self(), code, "Property " + ptpHex4(code) + " is not described by the camera");
        return;
    }
    const bool integer = property->type >= PTPDataTypeInt8 && property->type <= PTPDataTypeUInt64;
    if (!integer && property->type != PTPDataTypeString) {
        delegate_->cameraPropertyFailed(
            self(), code, "Property " + ptpHex4(code) + " has an unsupported datatype (" + property->typeName() + ")");
        return;
    }
    auto data = ptp_encode_value(property->type, PTPValue(value));
    if (!data) {
        delegate_->cameraPropertyFailed(self(), code, "Value too long for property " + ptpHex4(code));
        return;
    }
    sendPTPRequest(PTPRequestCodeSetDevicePropValue, code, std::move(*data));
}

void PTPCamera::mapValueList(const std::shared_ptr<PTPProperty>& property, const LabelMap& map) {
    if (property->value.isNull()) {
        delegate_->cameraPropertyChanged(self(), property->propertyCode, std::string(), std::vector<std::string>(),
                                         std::vector<std::string>(), true);
        return;
    }
    std::vector<std::string> values, labels;
    if (property->supportedValues) {
        for (const PTPValue& value : *property->supportedValues) {
            values.push_back(value.description());
            const auto found = map.find(value.longLongValue());
            labels.push_back(found != map.end() ? found->second : ptpHex4(static_cast<uint32_t>(value.intValue())));
        }
    }
    delegate_->cameraPropertyChanged(self(), property->propertyCode, property->value.description(), values, labels,
                                     property->readOnly);
}

void PTPCamera::mapValueInterval(const std::shared_ptr<PTPProperty>& property, const LabelMap& map) {
    mapValueInterval(property, map, property->value.description());
}

void PTPCamera::mapValueInterval(const std::shared_ptr<PTPProperty>& property, const LabelMap& map,
                                 const std::string& value) {
    std::vector<std::string> values, labels;
    for (const auto& [value, label] : map) {
        values.push_back(std::to_string(value));
        labels.push_back(label);
    }
    delegate_->cameraPropertyChanged(self(), property->propertyCode, value, values, labels, property->readOnly);
}

void PTPCamera::processPropertyDescription(const std::shared_ptr<PTPProperty>& property) {
    const uint16_t code = property->propertyCode;
    const std::string value = property->value.description();
    const bool readOnly = property->readOnly;
    auto sameTexts = [&] {
        const auto texts = valueTexts(property);
        delegate_->cameraPropertyChanged(self(), code, value, texts, texts, readOnly);
    };

    if (const auto map = labelMaps().find(code); map != labelMaps().end()) {
        mapValueList(property, map->second);
        return;
    }
    switch (code) {
    case PTPPropertyCodeImageSize:
    case PTPPropertyCodeExposureIndex:
        sameTexts();
        return;
    case PTPPropertyCodeFNumber: {
        std::vector<std::string> labels;
        if (property->supportedValues) {
            for (const PTPValue& v : *property->supportedValues)
                labels.push_back(format("f/%g", v.intValue() / 100.0));
        }
        delegate_->cameraPropertyChanged(self(), code, value, valueTexts(property), labels, readOnly);
        return;
    }
    case PTPPropertyCodeFocalLength:
        delegate_->cameraPropertyChanged(self(), code, dividedBy100(property->value), dividedBy100(property->min),
                                         dividedBy100(property->max), PTPValue::integer(PTPDataTypeInt32, 0), true);
        return;
    case PTPPropertyCodeExposureTime:
        reportExposureTime(property);
        return;
    case PTPPropertyCodeExposureBiasCompensation: { // in thousandths of a stop
        std::vector<std::string> labels;
        if (property->supportedValues) {
            for (const PTPValue& v : *property->supportedValues)
                labels.push_back(format("%.1f", std::round(v.intValue() / 100.0) / 10));
        }
        delegate_->cameraPropertyChanged(self(), code, value, valueTexts(property), labels, readOnly);
        return;
    }
    case PTPPropertyCodeBatteryLevel: // a number, whatever form the camera chose
        property->supportedValues.reset();
        break;
    default:
        break;
    }

    if (property->supportedValues) {
        sameTexts();
        return;
    }
    switch (property->type) {
    case PTPDataTypeInt8:
    case PTPDataTypeUInt8:
    case PTPDataTypeInt16:
    case PTPDataTypeUInt16:
    case PTPDataTypeInt32:
    case PTPDataTypeUInt32:
    case PTPDataTypeInt64:
    case PTPDataTypeUInt64:
        delegate_->cameraPropertyChanged(self(), code, property->value, property->min, property->max, property->step,
                                         readOnly);
        break;
    case PTPDataTypeInt128:
    case PTPDataTypeUInt128:
        delegate_->cameraPropertyChanged(self(), code, value, true);
        break;
    case PTPDataTypeString:
        delegate_->cameraPropertyChanged(self(), code, value, readOnly);
        break;
    default:
        delegate_->debug("Ignored " + property->description());
        break;
    }
}

void PTPCamera::reportExposureTime(const std::shared_ptr<PTPProperty>& property) {
    std::vector<std::string> labels;
    if (property->supportedValues) {
        for (const PTPValue& v : *property->supportedValues)
            labels.push_back(exposureTimeLabel(v.intValue()));
    }
    delegate_->cameraPropertyChanged(self(), property->propertyCode, property->value.description(),
                                     valueTexts(property), labels, property->readOnly);
}
