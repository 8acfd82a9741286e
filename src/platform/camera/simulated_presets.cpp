// The simulated cameras that ZETA_SIMULATED_CAMERAS can plug in: a generic PTP camera and
// stand-ins of the three vendor families with their vendor ids and the vendor operations the
// driver starts with.
#include "platform/camera/simulated_camera.h"
#include "platform/camera/simulated_canon.h"
#include "platform/camera/simulated_sony.h"
#include "platform/camera/star_field.h"

#include <algorithm>
#include <string>
#include <utility>
#include <variant>

namespace zeta::platform {
namespace {

using Values = std::vector<SimulatedProperty::Value>;

Values integers(std::initializer_list<int64_t> values) {
    return Values(values.begin(), values.end());
}

void addStandardProperties(SimulatedCamera& camera) {
    camera.setProperty({PTPPropertyCodeBatteryLevel, PTPDataTypeUInt8, false, int64_t{100}, int64_t{80}, std::nullopt,
                        integers({0, 100, 1})});
    camera.setProperty(
        {PTPPropertyCodeImageSize, PTPDataTypeString, true, std::string("6000x4000"), std::string("6000x4000"),
         Values{std::string("6000x4000"), std::string("4496x3000"), std::string("2992x2000")}, std::nullopt});
    camera.setProperty({PTPPropertyCodeCompressionSetting, PTPDataTypeUInt8, true, int64_t{2}, int64_t{2},
                        integers({0, 1, 2, 4, 7}), std::nullopt});
    camera.setProperty({PTPPropertyCodeWhiteBalance, PTPDataTypeUInt16, true, int64_t{2}, int64_t{2},
                        integers({2, 4, 5, 6, 7}), std::nullopt});
    camera.setProperty({PTPPropertyCodeFNumber, PTPDataTypeUInt16, true, int64_t{560}, int64_t{560},
                        integers({280, 400, 560, 800, 1100, 1600}), std::nullopt});
    camera.setProperty({PTPPropertyCodeFocalLength, PTPDataTypeUInt32, false, int64_t{5000}, int64_t{5000},
                        std::nullopt, integers({1800, 5500, 1})});
    camera.setProperty({PTPPropertyCodeExposureTime, PTPDataTypeUInt32, true, int64_t{80}, int64_t{80},
                        integers({1, 12, 80, 125, 2500, 10000, 300000}), std::nullopt});
    camera.setProperty({PTPPropertyCodeExposureProgramMode, PTPDataTypeUInt16, true, int64_t{1}, int64_t{1},
                        integers({1, 2, 3, 4}), std::nullopt});
    camera.setProperty({PTPPropertyCodeExposureIndex, PTPDataTypeUInt16, true, int64_t{100}, int64_t{100},
                        integers({100, 200, 400, 800, 1600, 3200, 6400}), std::nullopt});
    camera.setProperty({PTPPropertyCodeExposureBiasCompensation, PTPDataTypeInt16, true, int64_t{0}, int64_t{0},
                        integers({-1000, -667, -333, 0, 333, 667, 1000}), std::nullopt});
}

std::shared_ptr<SimulatedCamera> generic() {
    auto camera = std::make_shared<SimulatedCamera>("Simulated Camera", 0xF055, 0x0001);
    addStandardProperties(*camera);
    return camera;
}

// The property changes as the body makes it, announced for the next CheckEvent.
void changeProperty(SimulatedCamera& camera, uint16_t code, int64_t value) {
    auto property = camera.property(code);
    if (!property) return;
    property->value = value;
    camera.setProperty(*property);
    camera.sendEvent(PTPEventCodeDevicePropChanged, {code});
}

int64_t integerProperty(const SimulatedCamera& camera, uint16_t code) {
    const auto property = camera.property(code);
    const int64_t* value = property ? std::get_if<int64_t>(&property->value) : nullptr;
    return value ? *value : 0;
}

void putBE16(std::vector<uint8_t>& bytes, std::size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<uint8_t>(value);
}

} // namespace

std::vector<uint8_t> SimulatedCamera::nikonLiveViewFrame(std::size_t headerSize, bool shifted, uint16_t width,
                                                         uint16_t height, uint16_t centreX, uint16_t centreY,
                                                         int number) {
    std::vector<uint8_t> bytes(headerSize, 0);
    const std::size_t at = shifted ? 16 : 8;
    if (shifted) bytes[2] = 0x01, bytes[3] = 0x78;
    putBE16(bytes, at, width);
    putBE16(bytes, at + 2, height);
    putBE16(bytes, at + 4, centreX);
    putBE16(bytes, at + 6, centreY);
    const auto jpeg = sampleJPEG(number);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    return bytes;
}

namespace {

// A D800 as it answers the Nikon operations: vendor property codes, events held for
// CheckEvent, captures into the card, live view (the status, a prohibit condition, frames with
// the 384-byte header) and the lens drive, which only works in live view.
std::shared_ptr<SimulatedCamera> nikon() {
    auto camera = std::make_shared<SimulatedCamera>("D800", 0x04B0, 0x0428);
    SimulatedDeviceInfo info = camera->deviceInfo();
    info.vendorExtension = 10;
    info.vendorExtensionDesc = "microsoft.com: 1.0";
    info.manufacturer = "Nikon Corporation";
    info.model = "D800";
    for (uint16_t code : {0x90C2, 0x90C7, 0x90C8, 0x90CA, 0x9201, 0x9202, 0x9203, 0x9204, 0x9207, 0x920C})
        info.operations.push_back(code);
    info.properties = {PTPPropertyCodeBatteryLevel,
                       PTPPropertyCodeImageSize,
                       PTPPropertyCodeCompressionSetting,
                       PTPPropertyCodeWhiteBalance,
                       PTPPropertyCodeFNumber,
                       PTPPropertyCodeFocalLength,
                       PTPPropertyCodeExposureTime,
                       PTPPropertyCodeExposureProgramMode,
                       PTPPropertyCodeExposureIndex,
                       PTPPropertyCodeExposureBiasCompensation};
    camera->setDeviceInfo(info);
    addStandardProperties(*camera);
    // The vendor's own properties, named by GetVendorPropCodes.
    const std::vector<SimulatedProperty> vendor = {
        {0xD10B, PTPDataTypeUInt8, true, int64_t{0}, int64_t{0}, integers({0, 1, 2}), std::nullopt}, // SaveMedia
        {0xD161, PTPDataTypeUInt8, true, int64_t{0}, int64_t{0}, std::nullopt, integers({0, 4, 1})}, // AutofocusMode
        {0xD061, PTPDataTypeUInt8, true, int64_t{0}, int64_t{0}, std::nullopt, integers({0, 4, 1})}, // LiveViewAFFocus
        {0xD06A, PTPDataTypeUInt8, true, int64_t{3}, int64_t{3}, std::nullopt,
         integers({0, 3, 1})},                                                                    // ExposureDelayMode
        {0xD056, PTPDataTypeUInt8, true, int64_t{0}, int64_t{0}, integers({0, 1}), std::nullopt}, // EVStep
        {0xD126, PTPDataTypeInt8, true, int64_t{0}, int64_t{0}, std::nullopt, integers({-18, 6, 1})}, // FlashExpComp
        {0xD0E0, PTPDataTypeUInt16, false, int64_t{147}, int64_t{147}, std::nullopt, std::nullopt},   // LensID
        {0xD1A2, PTPDataTypeUInt8, false, int64_t{0}, int64_t{0}, std::nullopt, integers({0, 2, 1})}, // LiveViewStatus
        {0xD1A3, PTPDataTypeUInt8, true, int64_t{0}, int64_t{0}, integers({0, 1, 2, 3, 4, 5}), std::nullopt},
        {0xD1A4, PTPDataTypeUInt32, false, int64_t{0}, int64_t{0}, std::nullopt, std::nullopt}, // ProhibitCondition
    };
    std::vector<uint8_t> vendorCodes{static_cast<uint8_t>(vendor.size()), 0, 0, 0};
    for (const SimulatedProperty& property : vendor) {
        camera->setProperty(property);
        vendorCodes.push_back(static_cast<uint8_t>(property.code));
        vendorCodes.push_back(static_cast<uint8_t>(property.code >> 8));
    }
    camera->setEventDelivery(SimulatedCamera::EventDelivery::polled);
    std::weak_ptr<SimulatedCamera> weak = camera;
    // CheckEvent: a u16 count and {u16 code, u32 parameter} records.
    camera->setHandler(0x90C7, [weak](const SimulatedRequest&) {
        SimulatedReply reply;
        std::vector<uint8_t> data;
        const auto self = weak.lock();
        const auto events = self ? self->takePolledEvents() : std::vector<std::pair<uint16_t, uint32_t>>{};
        data.push_back(static_cast<uint8_t>(events.size()));
        data.push_back(static_cast<uint8_t>(events.size() >> 8));
        for (const auto& [code, parameter] : events) {
            for (int i = 0; i < 2; ++i)
                data.push_back(static_cast<uint8_t>(code >> (8 * i)));
            for (int i = 0; i < 4; ++i)
                data.push_back(static_cast<uint8_t>(parameter >> (8 * i)));
        }
        reply.data = std::move(data);
        return reply;
    });
    camera->setHandler(0x90CA, [vendorCodes](const SimulatedRequest&) {
        return SimulatedReply{PTPResponseCodeOK, {}, vendorCodes};
    });
    for (uint16_t code : {0x90C2, 0x90C8})
        camera->setHandler(code, [](const SimulatedRequest&) { return SimulatedReply{}; });
    // InitiateCaptureRecInMedia takes a picture like InitiateCapture; with the shutter on bulb
    // the picture comes when TerminateCapture closes it.
    auto exposing = std::make_shared<bool>(false);
    camera->setHandler(0x9207, [weak, exposing](const SimulatedRequest&) {
        const auto self = weak.lock();
        if (!self) return SimulatedReply{};
        if (integerProperty(*self, PTPPropertyCodeExposureTime) == PTPExposureTimeBulb) {
            *exposing = true;
        } else {
            self->takePicture();
        }
        return SimulatedReply{};
    });
    camera->setHandler(0x920C, [weak, exposing](const SimulatedRequest&) {
        const auto self = weak.lock();
        if (!self || !*exposing) return SimulatedReply{0x2018, {}, std::nullopt}; // CaptureAlreadyTerminated
        *exposing = false;
        self->takePicture();
        return SimulatedReply{};
    });
    // StartLiveView: refused (InvalidStatus) while a prohibit condition stands.
    camera->setHandler(0x9201, [weak](const SimulatedRequest&) {
        const auto self = weak.lock();
        if (!self || integerProperty(*self, 0xD1A4) != 0) return SimulatedReply{0xA004, {}, std::nullopt};
        changeProperty(*self, 0xD1A2, 1);
        return SimulatedReply{};
    });
    camera->setHandler(0x9202, [weak](const SimulatedRequest&) {
        if (const auto self = weak.lock()) changeProperty(*self, 0xD1A2, 0);
        return SimulatedReply{};
    });
    // GetLiveViewImg and MfDrive only in live view (NotLiveView otherwise).
    auto frames = std::make_shared<int>(0);
    camera->setHandler(0x9203, [weak, frames](const SimulatedRequest&) {
        const auto self = weak.lock();
        if (!self || integerProperty(*self, 0xD1A2) == 0) return SimulatedReply{0xA00B, {}, std::nullopt};
        return SimulatedReply{PTPResponseCodeOK,
                              {},
                              SimulatedCamera::nikonLiveViewFrame(384, true, 640, 424, 3680, 2456, (*frames)++ % 8)};
    });
    // MfDrive: direction 1 towards the near end (counted up here), 2 towards infinity.
    camera->setHandler(0x9204, [weak](const SimulatedRequest& request) {
        const auto self = weak.lock();
        if (!self || integerProperty(*self, 0xD1A2) == 0) return SimulatedReply{0xA00B, {}, std::nullopt};
        if (request.parameters.size() >= 2) {
            const auto amount = static_cast<int32_t>(std::min<uint32_t>(request.parameters[1], 32767));
            self->moveLens(request.parameters[0] == 2 ? -amount : amount);
        }
        return SimulatedReply{};
    });
    return camera;
}

} // namespace

std::shared_ptr<SimulatedCamera> SimulatedCamera::preset(std::string_view name) {
    std::shared_ptr<SimulatedCamera> camera;
    if (name == "generic") camera = generic();
    if (name == "nikon") camera = nikon();
    if (name == "canon") {
        SimulatedCanon canon;
        canon.setBahtinovMask(simulatedBahtinovMask());
        camera = canon.camera();
    }
    if (name == "sony") camera = makeSimulatedSony();
    if (camera) camera->setBahtinovMask(simulatedBahtinovMask());
    return camera;
}

} // namespace zeta::platform
