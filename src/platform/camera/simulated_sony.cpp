#include "platform/camera/simulated_sony.h"

#include "platform/camera/star_field.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace zeta::platform {
namespace {

using Clock = std::chrono::steady_clock;
using Values = std::vector<SimulatedProperty::Value>;

constexpr uint32_t kInMemoryHandle = 0xFFFFC001;

Values integers(std::initializer_list<int64_t> values) {
    return Values(values.begin(), values.end());
}

int64_t number(const SimulatedProperty::Value& value) {
    return std::holds_alternative<int64_t>(value) ? std::get<int64_t>(value) : 0;
}

std::size_t widthOf(uint16_t type) {
    switch (type) {
    case PTPDataTypeInt8:
    case PTPDataTypeUInt8:
        return 1;
    case PTPDataTypeInt16:
    case PTPDataTypeUInt16:
        return 2;
    case PTPDataTypeInt32:
    case PTPDataTypeUInt32:
        return 4;
    default:
        return 8;
    }
}

void put(std::vector<uint8_t>& out, uint64_t v, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An integer the host wrote, sign-extended from its width.
int64_t readSigned(const std::vector<uint8_t>& data) {
    if (data.empty() || data.size() > 8) return 0;
    uint64_t v = 0;
    for (std::size_t i = data.size(); i-- > 0;)
        v = (v << 8) | data[i];
    const std::size_t bits = data.size() * 8;
    if (bits < 64 && (v >> (bits - 1)) & 1) v |= ~((uint64_t{1} << bits) - 1);
    return static_cast<int64_t>(v);
}

struct Sony {
    SimulatedSonyScript script;
    std::weak_ptr<SimulatedCamera> camera;
    std::vector<uint16_t> codes; // record order of the all-properties data

    std::mutex mutex;
    struct Step {
        int64_t value;
        Clock::time_point due;
    };
    std::map<uint16_t, Step> steps;
    std::deque<uint16_t> memory; // formats of the images waiting in the camera
    std::vector<uint8_t> jpeg;   // every JPEG picture

    void define(SimulatedCamera& c, SimulatedProperty property) {
        codes.push_back(property.code);
        c.setProperty(std::move(property));
    }

    void set(SimulatedCamera& c, uint16_t code, int64_t value) {
        if (auto p = c.property(code)) {
            p->value = value;
            c.setProperty(*p);
        }
    }

    std::vector<uint8_t> allProperties(SimulatedCamera& c) {
        {
            std::lock_guard lock(mutex);
            for (auto it = steps.begin(); it != steps.end();) {
                if (Clock::now() < it->second.due) {
                    ++it;
                    continue;
                }
                set(c, it->first, it->second.value);
                it = steps.erase(it);
            }
            // As the bodies count them: 0x8000 and up while images wait. An initiator that
            // read an event out of order asks this instead of waiting for ObjectAdded.
            set(c, PTPPropertyCodeSonyObjectInMemory,
                memory.empty() ? 0 : 0x8000 + static_cast<int64_t>(memory.size()));
        }
        std::vector<uint8_t> out;
        put(out, codes.size(), 4);
        put(out, 0, 4);
        for (uint16_t code : codes) {
            const auto p = c.property(code);
            const std::size_t width = widthOf(p->type);
            put(out, p->code, 2);
            put(out, p->type, 2);
            out.push_back(p->writable ? 1 : 0);
            out.push_back(0);
            put(out, static_cast<uint64_t>(number(p->defaultValue)), width);
            put(out, static_cast<uint64_t>(number(p->value)), width);
            if (p->enumeration) {
                out.push_back(2);
                put(out, p->enumeration->size(), 2);
                for (const auto& v : *p->enumeration)
                    put(out, static_cast<uint64_t>(number(v)), width);
            } else {
                out.push_back(0);
            }
        }
        return out;
    }

    // SetControlDeviceB: the shutter controls, or one step of a stepped setting.
    void control(SimulatedCamera& c, uint16_t code, int64_t value) {
        if (code == PTPPropertyCodeSonyAutofocus) {
            const bool manual = number(c.property(PTPPropertyCodeFocusMode)->value) == 1;
            if (manual) return;
            set(c, PTPPropertyCodeSonyFocusStatus, value == 2 ? script.focusResult : 1);
            c.sendEvent(PTPEventCodeSonyPropertyChanged, {PTPPropertyCodeSonyFocusStatus});
            return;
        }
        if (code == PTPPropertyCodeSonyCapture) {
            if (value != 2) return;
            std::vector<uint16_t> formats = script.imageFormats;
            if (formats.empty()) {
                const int64_t compression = number(c.property(PTPPropertyCodeCompressionSetting)->value);
                if (compression == 19)
                    formats = {PTPObjectFormatSonyRAW, PTPObjectFormatJPEG};
                else if (compression == 16)
                    formats = {PTPObjectFormatSonyRAW};
                else
                    formats = {PTPObjectFormatJPEG};
            }
            {
                std::lock_guard lock(mutex);
                memory.insert(memory.end(), formats.begin(), formats.end());
            }
            // A timed exposure is announced at once; a bulb one is fetched when it ends.
            if (number(c.property(PTPPropertyCodeSonyShutterSpeed)->value) != 0)
                c.sendEvent(PTPEventCodeSonyObjectAdded, {kInMemoryHandle});
            return;
        }
        const auto p = c.property(code);
        if (!p || !p->enumeration || !script.confirmSteps) return;
        const auto& ladder = *p->enumeration;
        const auto at = std::find(ladder.begin(), ladder.end(), p->value);
        if (at == ladder.end()) return;
        const auto index = (at - ladder.begin()) + (value < 0 ? -1 : 1);
        if (index < 0 || index >= static_cast<std::ptrdiff_t>(ladder.size())) return;
        std::lock_guard lock(mutex);
        steps[code] = Step{number(ladder[static_cast<std::size_t>(index)]), Clock::now() + script.stepDelay};
    }

    // What GetObject delivers for an image of the format: the star field for a JPEG (the body
    // has no lens drive, so it is always the same picture, made once), a 64-byte stand-in for
    // a raw file.
    std::vector<uint8_t> image(uint16_t format) const {
        if (format == PTPObjectFormatJPEG) return jpeg;
        std::vector<uint8_t> bytes{'I', 'I', 42, 0};
        bytes.resize(64, static_cast<uint8_t>(format));
        return bytes;
    }

    // A whole ObjectInfo dataset; its size is the one GetObject delivers, which initiators
    // that read the size first rely on.
    std::vector<uint8_t> objectInfo(uint16_t format) const {
        std::vector<uint8_t> out;
        put(out, 0x00010001, 4); // storage
        put(out, format, 2);
        put(out, 0, 2); // protection
        put(out, image(format).size(), 4);
        out.resize(52, 0);
        const std::string filename = format == PTPObjectFormatJPEG ? "DSC00001.JPG" : "DSC00001.ARW";
        out.push_back(static_cast<uint8_t>(filename.size() + 1));
        for (char c : filename)
            put(out, static_cast<uint8_t>(c), 2);
        put(out, 0, 2);
        out.insert(out.end(), 3, 0); // no dates, no keywords
        return out;
    }
};

} // namespace

std::shared_ptr<SimulatedCamera> makeSimulatedSony(SimulatedSonyScript script) {
    auto camera = std::make_shared<SimulatedCamera>("ILCE-7RM2", 0x054C, 0x0994);
    auto sony = std::make_shared<Sony>();
    sony->script = std::move(script);
    sony->camera = camera;
    StarFieldScene scene;
    scene.bahtinovMask = simulatedBahtinovMask();
    sony->jpeg = starFieldJPEG(scene);

    SimulatedDeviceInfo info = camera->deviceInfo();
    info.vendorExtension = 17;
    info.vendorExtensionDesc = "Sony PTP Extensions";
    info.manufacturer = "Sony Corporation";
    info.model = "ILCE-7RM2";
    info.operations = {PTPRequestCodeGetDeviceInfo,     PTPRequestCodeOpenSession,    PTPRequestCodeCloseSession,
                       PTPRequestCodeGetStorageIDs,     PTPRequestCodeGetObjectInfo,  PTPRequestCodeGetObject,
                       PTPRequestCodeGetDevicePropDesc, PTPRequestCodeSonySDIOConnect};
    if (sony->script.extendedInfo) info.operations.push_back(PTPRequestCodeSonyGetSDIOGetExtDeviceInfo);
    for (uint16_t code : {PTPRequestCodeSonySetControlDeviceA, PTPRequestCodeSonySetControlDeviceB,
                          PTPRequestCodeSonyGetAllDevicePropData})
        info.operations.push_back(code);
    info.captureFormats = info.imageFormats = {PTPObjectFormatJPEG, PTPObjectFormatSonyRAW};
    camera->setDeviceInfo(info);

    Sony& s = *sony;
    s.define(*camera, {PTPPropertyCodeCompressionSetting, PTPDataTypeUInt8, true, int64_t{3}, int64_t{3},
                       integers({2, 3, 16, 19}), std::nullopt});
    s.define(*camera, {PTPPropertyCodeWhiteBalance, PTPDataTypeUInt16, true, int64_t{2}, int64_t{2},
                       integers({2, 4, 6, 0x8011, 0x8099}), std::nullopt});
    s.define(*camera, {PTPPropertyCodeFNumber, PTPDataTypeUInt16, true, int64_t{560}, int64_t{560},
                       integers({350, 400, 450, 500, 560, 630, 710, 800, 900, 1000, 1100}), std::nullopt});
    s.define(*camera, {PTPPropertyCodeFocusMode, PTPDataTypeUInt16, true, int64_t{2}, int64_t{2},
                       integers({2, 0x8004, 0x8006, 1}), std::nullopt});
    s.define(*camera, {PTPPropertyCodeExposureProgramMode, PTPDataTypeUInt16, true, int64_t{1}, int64_t{1},
                       integers({1, 2, 3, 4, 0x8050, 0x8051, 0x8052, 0x8053}), std::nullopt});
    s.define(*camera, {PTPPropertyCodeExposureBiasCompensation, PTPDataTypeInt16, true, int64_t{0}, int64_t{0},
                       integers({-1000, -700, -300, 0, 300, 700, 1000}), std::nullopt});
    s.define(*camera, {PTPPropertyCodeSonyImageSize, PTPDataTypeUInt8, true, int64_t{1}, int64_t{1},
                       integers({1, 2, 3, 4}), std::nullopt});
    s.define(*camera,
             {PTPPropertyCodeSonyShutterSpeed, PTPDataTypeUInt32, true, int64_t{65536 + 125}, int64_t{65536 + 125},
              integers({0, 65536 * 10 + 10, 65536 + 4, 65536 + 60, 65536 + 125, 65536 + 640, 65536 + 4000}),
              std::nullopt});
    s.define(*camera, {PTPPropertyCodeSonyFocusStatus, PTPDataTypeUInt8, false, int64_t{1}, int64_t{1}, std::nullopt,
                       std::nullopt});
    s.define(*camera, {PTPPropertyCodeSonyObjectInMemory, PTPDataTypeUInt16, false, int64_t{0}, int64_t{0},
                       std::nullopt, std::nullopt});
    s.define(*camera, {PTPPropertyCodeSonyISO, PTPDataTypeUInt32, true, int64_t{100}, int64_t{100},
                       integers({0xFFFFFF, 100, 125, 160, 200, 250, 320, 400, 500, 640, 800}), std::nullopt});
    s.define(*camera, {PTPPropertyCodeSonyAutofocus, PTPDataTypeUInt16, true, int64_t{1}, int64_t{1}, std::nullopt,
                       std::nullopt});
    s.define(*camera,
             {PTPPropertyCodeSonyCapture, PTPDataTypeUInt16, true, int64_t{1}, int64_t{1}, std::nullopt, std::nullopt});
    s.define(*camera, {PTPPropertyCodeSonyStillImage, PTPDataTypeUInt16, true, int64_t{1}, int64_t{1}, std::nullopt,
                       std::nullopt});

    // The handlers hold the camera weakly: it owns them.
    std::weak_ptr<SimulatedCamera> weak = camera;
    // Each handshake step answers with a data phase of two words, as the bodies do.
    camera->setHandler(PTPRequestCodeSonySDIOConnect, [](const SimulatedRequest&) {
        return SimulatedReply{PTPResponseCodeOK, {}, std::vector<uint8_t>(8, 0)};
    });
    camera->setHandler(PTPRequestCodeSonyGetSDIOGetExtDeviceInfo, [](const SimulatedRequest&) {
        std::vector<uint8_t> words;
        for (uint16_t code :
             {uint16_t{0x00C8}, uint16_t{PTPRequestCodeSonySetControlDeviceB}, uint16_t{PTPEventCodeSonyObjectAdded},
              uint16_t{PTPEventCodeSonyPropertyChanged}, uint16_t{PTPPropertyCodeSonyStillImage}, uint16_t{0x2001}})
            put(words, code, 2);
        return SimulatedReply{PTPResponseCodeOK, {}, std::move(words)};
    });
    camera->setHandler(PTPRequestCodeSonyGetAllDevicePropData, [sony, weak](const SimulatedRequest&) {
        const auto c = weak.lock();
        if (!c) return SimulatedReply{PTPResponseCodeGeneralError, {}, std::nullopt};
        return SimulatedReply{PTPResponseCodeOK, {}, sony->allProperties(*c)};
    });
    camera->setHandler(PTPRequestCodeSonySetControlDeviceA, [sony, weak](const SimulatedRequest& request) {
        const auto c = weak.lock();
        if (!c || request.parameters.empty()) return SimulatedReply{PTPResponseCodeParameterNotSupported, {}, {}};
        const uint16_t code = static_cast<uint16_t>(request.parameters[0]);
        sony->set(*c, code, readSigned(request.data));
        c->sendEvent(PTPEventCodeSonyPropertyChanged, {code});
        return SimulatedReply{};
    });
    camera->setHandler(PTPRequestCodeSonySetControlDeviceB, [sony, weak](const SimulatedRequest& request) {
        const auto c = weak.lock();
        if (!c || request.parameters.empty()) return SimulatedReply{PTPResponseCodeParameterNotSupported, {}, {}};
        sony->control(*c, static_cast<uint16_t>(request.parameters[0]), readSigned(request.data));
        return SimulatedReply{};
    });
    camera->setHandler(PTPRequestCodeGetObjectInfo, [sony](const SimulatedRequest& request) {
        std::lock_guard lock(sony->mutex);
        if (request.parameters.empty() || request.parameters[0] != kInMemoryHandle || sony->memory.empty())
            return SimulatedReply{PTPResponseCodeInvalidObjectHandle, {}, std::nullopt};
        return SimulatedReply{PTPResponseCodeOK, {}, sony->objectInfo(sony->memory.front())};
    });
    camera->setHandler(PTPRequestCodeGetObject, [sony](const SimulatedRequest& request) {
        std::lock_guard lock(sony->mutex);
        if (request.parameters.empty() || request.parameters[0] != kInMemoryHandle || sony->memory.empty())
            return SimulatedReply{PTPResponseCodeInvalidObjectHandle, {}, std::nullopt};
        const uint16_t format = sony->memory.front();
        sony->memory.pop_front();
        return SimulatedReply{PTPResponseCodeOK, {}, sony->image(format)};
    });
    return camera;
}

} // namespace zeta::platform
