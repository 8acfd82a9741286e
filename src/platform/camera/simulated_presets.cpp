// The simulated cameras that ZETA_SIMULATED_CAMERAS can plug in: a generic PTP camera and
// stand-ins of the three vendor families with their vendor ids and the vendor operations the
// driver starts with.
#include "platform/camera/simulated_camera.h"

#include <string>

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

std::shared_ptr<SimulatedCamera> nikon() {
    auto camera = std::make_shared<SimulatedCamera>("D800", 0x04B0, 0x0428);
    SimulatedDeviceInfo info = camera->deviceInfo();
    info.vendorExtension = 10;
    info.vendorExtensionDesc = "microsoft.com: 1.0";
    info.manufacturer = "Nikon Corporation";
    info.model = "D800";
    for (uint16_t code : {0x90C2, 0x90C7, 0x90C8, 0x90CA, 0x9207, 0x920C})
        info.operations.push_back(code);
    camera->setDeviceInfo(info);
    addStandardProperties(*camera);
    camera->setEventDelivery(SimulatedCamera::EventDelivery::polled);
    std::weak_ptr<SimulatedCamera> weak = camera;
    // CheckEvent: a u16 count and {u16 code, u32 parameter} records.
    camera->setHandler(0x90C7, [weak](const SimulatedRequest&) {
        SimulatedReply reply;
        std::vector<uint8_t> data;
        const auto events = weak.lock() ? weak.lock()->takePolledEvents() : decltype(weak.lock()->takePolledEvents()){};
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
    camera->setHandler(0x90CA, [](const SimulatedRequest&) {
        return SimulatedReply{PTPResponseCodeOK, {}, std::vector<uint8_t>(4, 0)};
    });
    for (uint16_t code : {0x90C2, 0x90C8, 0x920C})
        camera->setHandler(code, [](const SimulatedRequest&) { return SimulatedReply{}; });
    // InitiateCaptureRecInMedia takes a picture like InitiateCapture.
    camera->setHandler(0x9207, [weak](const SimulatedRequest&) {
        if (auto self = weak.lock()) self->takePicture();
        return SimulatedReply{};
    });
    return camera;
}

std::shared_ptr<SimulatedCamera> canon() {
    auto camera = std::make_shared<SimulatedCamera>("Canon EOS 5D Mark III", 0x04A9, 0x3218);
    SimulatedDeviceInfo info = camera->deviceInfo();
    info.vendorExtension = 11;
    info.vendorExtensionDesc = "Canon PTP Extensions";
    info.manufacturer = "Canon Inc.";
    info.model = "Canon EOS 5D Mark III";
    for (uint16_t code : {0x9110, 0x9114, 0x9115, 0x9116, 0x911B, 0x911C})
        info.operations.push_back(code);
    camera->setDeviceInfo(info);
    addStandardProperties(*camera);
    for (uint16_t code : {0x9110, 0x9114, 0x9115, 0x911B, 0x911C})
        camera->setHandler(code, [](const SimulatedRequest&) { return SimulatedReply{}; });
    // GetEvent: no records, only the terminating {size 8, type 0}.
    camera->setHandler(0x9116, [](const SimulatedRequest&) {
        return SimulatedReply{PTPResponseCodeOK, {}, std::vector<uint8_t>{8, 0, 0, 0, 0, 0, 0, 0}};
    });
    return camera;
}

std::shared_ptr<SimulatedCamera> sony() {
    auto camera = std::make_shared<SimulatedCamera>("ILCE-7RM2", 0x054C, 0x0994);
    SimulatedDeviceInfo info = camera->deviceInfo();
    info.vendorExtension = 17;
    info.vendorExtensionDesc = "Sony PTP Extensions";
    info.manufacturer = "Sony Corporation";
    info.model = "ILCE-7RM2";
    for (uint16_t code : {0x9201, 0x9202, 0x9205, 0x9207, 0x9209})
        info.operations.push_back(code);
    camera->setDeviceInfo(info);
    addStandardProperties(*camera);
    for (uint16_t code : {0x9201, 0x9205, 0x9207})
        camera->setHandler(code, [](const SimulatedRequest&) { return SimulatedReply{}; });
    // Extended device information: a version word, then no further codes.
    camera->setHandler(0x9202, [](const SimulatedRequest&) {
        return SimulatedReply{PTPResponseCodeOK, {}, std::vector<uint8_t>{0xC8, 0x00}};
    });
    // All properties: no records.
    camera->setHandler(0x9209, [](const SimulatedRequest&) {
        return SimulatedReply{PTPResponseCodeOK, {}, std::vector<uint8_t>(8, 0)};
    });
    return camera;
}

} // namespace

std::shared_ptr<SimulatedCamera> SimulatedCamera::preset(std::string_view name) {
    if (name == "generic") return generic();
    if (name == "nikon") return nikon();
    if (name == "canon") return canon();
    if (name == "sony") return sony();
    return nullptr;
}

} // namespace zeta::platform
