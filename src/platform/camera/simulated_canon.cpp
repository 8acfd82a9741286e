#include "platform/camera/simulated_canon.h"

#include "platform/camera/star_field.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <variant>

namespace zeta::platform {

namespace canon_records {

namespace {
void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
} // namespace

std::vector<uint8_t> words(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values)
        put32(out, v);
    return out;
}

std::vector<uint8_t> record(uint32_t type, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out = words({static_cast<uint32_t>(payload.size() + 8), type});
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> value(uint16_t code, uint32_t v) {
    return record(PTPEventCodeCanonPropValueChanged, words({code, v}));
}

std::vector<uint8_t> objectAdded(uint32_t handle, const std::string& name) {
    // Handle, then storage, parent, format, size and the rest up to the name at +40.
    std::vector<uint8_t> payload = words({handle, 0x00010001, 0, 0, 0, 0, 0, 0});
    payload.insert(payload.end(), name.begin(), name.end());
    payload.push_back(0);
    return record(PTPEventCodeCanonObjectAddedEx, payload);
}

std::vector<uint8_t> end() {
    return words({8, 0});
}

} // namespace canon_records

namespace {

using canon_records::put32;

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A PTP string: its length in characters with the terminating zero, then UTF-16LE.
void putString(std::vector<uint8_t>& out, const std::string& text) {
    if (text.empty()) {
        out.push_back(0);
        return;
    }
    out.push_back(static_cast<uint8_t>(text.size() + 1));
    for (char c : text)
        put16(out, static_cast<uint8_t>(c));
    put16(out, 0);
}
using canon_records::record;
using canon_records::words;
using Clock = SimulatedCanon::Clock;

constexpr uint16_t kImageFormat = PTPPropertyCodeCanonImageFormat;
constexpr uint16_t kCustomFunctions = PTPPropertyCodeCanonCustomFuncEx;
constexpr uint16_t kAEMode = PTPPropertyCodeCanonAutoExposureMode;
constexpr uint16_t kShutterSpeed = PTPPropertyCodeCanonShutterSpeed;
constexpr uint16_t kViewfinderOutput = PTPPropertyCodeCanonEVFOutputDevice;
constexpr uint32_t kFirstHandle = 0x91A00001;

// One setting of the body: datatype (PTP code; 0 marks the image format), value, allowed values.
struct Setting {
    uint16_t type = PTPDataTypeUInt16;
    std::variant<uint64_t, std::string> value = uint64_t{0};
    std::vector<uint64_t> allowed;
};

struct CustomFunction {
    uint16_t id;
    std::vector<uint32_t> values;
};

uint32_t read32(const std::vector<uint8_t>& data, std::size_t at) {
    if (at + 4 > data.size()) return 0;
    return static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
           static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
}

uint32_t packGroup(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a & 0xFF) << 24 | (b & 0xFF) << 16 | (c & 0xFF) << 8 | (d & 0xFF);
}

// The wire form of an image format: a group count, then four words a group.
void putImageFormat(std::vector<uint8_t>& out, uint64_t format) {
    std::vector<uint32_t> groups;
    if (format >> 32) groups.push_back(static_cast<uint32_t>(format >> 32));
    groups.push_back(static_cast<uint32_t>(format));
    put32(out, static_cast<uint32_t>(groups.size()));
    for (uint32_t g : groups)
        for (int shift : {24, 16, 8, 0})
            put32(out, (g >> shift) & 0xFF);
}

// A small file that starts as a CR2 does, different for each picture.
std::vector<uint8_t> sampleRaw(int number) {
    std::vector<uint8_t> bytes{'I', 'I', 0x2A, 0, 0x10, 0, 0, 0, 'C', 'R', 2, 0};
    for (int i = 0; i < 4096; ++i)
        bytes.push_back(static_cast<uint8_t>((i * 7 + number * 13) ^ (i >> 5)));
    return bytes;
}

} // namespace

struct SimulatedCanon::State {
    SimulatedCanonScript script;
    mutable std::mutex mutex;
    std::map<uint16_t, Setting> settings;
    std::map<uint32_t, std::vector<CustomFunction>> customFunctions; // by group number
    bool reportedAll = false;
    std::vector<uint8_t> pending; // records for the next GetEvent
    struct File {
        std::string name;
        std::vector<uint8_t> bytes;
    };
    std::map<uint32_t, File> files;

    static std::vector<uint8_t> objectInfo(const File& file) {
        const bool raw = file.name.ends_with(".CR2");
        std::vector<uint8_t> out;
        put32(out, 0x00010001);
        put16(out, raw ? uint16_t{0xB103} : uint16_t{PTPObjectFormatJPEG});
        put16(out, 0); // protection
        put32(out, static_cast<uint32_t>(file.bytes.size()));
        put16(out, 0); // no thumbnail
        for (int i = 0; i < 6; ++i)
            put32(out, 0); // thumbnail and image sizes, bit depth
        put32(out, 0);     // parent
        put16(out, 0);     // association
        put32(out, 0);
        put32(out, 0);
        putString(out, file.name);
        putString(out, "20240101T120000");
        putString(out, "20240101T120000");
        putString(out, "");
        return out;
    }
    uint32_t nextHandle = kFirstHandle;
    int pictureNumber = 0;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> pictures;
    uint32_t releaseParameter = 0;
    bool exposing = false;
    int warmUpLeft = 0;
    int frames = 0;
    std::vector<uint16_t> lensFailures;
    std::vector<Press> presses;
    std::vector<Step> steps;
    int32_t lensPosition = 0; // 0 is the sharpest
    bool bahtinovMask = false;
    uint32_t remoteMode = 0;
    uint32_t eventMode = 0;

    uint64_t number(uint16_t code) const {
        const auto found = settings.find(code);
        if (found == settings.end()) return 0;
        const auto* v = std::get_if<uint64_t>(&found->second.value);
        return v ? *v : 0;
    }
    bool bulb() const { return number(kAEMode) == 4 || number(kShutterSpeed) == 0x0C; }

    void putValue(std::vector<uint8_t>& out, uint16_t code, const Setting& s) const {
        std::vector<uint8_t> payload = words({code});
        if (s.type == 0) {
            putImageFormat(payload, std::get<uint64_t>(s.value));
        } else if (const auto* text = std::get_if<std::string>(&s.value)) {
            payload.insert(payload.end(), text->begin(), text->end());
            payload.push_back(0);
        } else {
            put32(payload, static_cast<uint32_t>(std::get<uint64_t>(s.value)));
        }
        const auto r = record(PTPEventCodeCanonPropValueChanged, payload);
        out.insert(out.end(), r.begin(), r.end());
    }

    void putList(std::vector<uint8_t>& out, uint16_t code, const Setting& s) const {
        if (s.allowed.empty()) return;
        std::vector<uint8_t> payload = words({code, 3, static_cast<uint32_t>(s.allowed.size())});
        for (uint64_t v : s.allowed) {
            if (s.type == 0)
                putImageFormat(payload, v);
            else
                put32(payload, static_cast<uint32_t>(v));
        }
        const auto r = record(PTPEventCodeCanonAvailListChanged, payload);
        out.insert(out.end(), r.begin(), r.end());
    }

    void putCustomFunctions(std::vector<uint8_t>& out) const {
        std::vector<uint8_t> groups;
        for (const auto& [number, items] : customFunctions) {
            std::vector<uint8_t> body = words({static_cast<uint32_t>(items.size())});
            for (const CustomFunction& item : items) {
                put32(body, item.id);
                put32(body, static_cast<uint32_t>(item.values.size()));
                for (uint32_t v : item.values)
                    put32(body, v);
            }
            put32(groups, number);
            put32(groups, static_cast<uint32_t>(body.size() + 4)); // counts its own size word
            groups.insert(groups.end(), body.begin(), body.end());
        }
        std::vector<uint8_t> payload = words({kCustomFunctions, static_cast<uint32_t>(groups.size() + 8),
                                              static_cast<uint32_t>(customFunctions.size())});
        payload.insert(payload.end(), groups.begin(), groups.end());
        const auto r = record(PTPEventCodeCanonPropValueChanged, payload);
        out.insert(out.end(), r.begin(), r.end());
    }

    std::vector<uint8_t> getEvent() {
        std::vector<uint8_t> out;
        if (!reportedAll) {
            reportedAll = true;
            if (script.listsBeforeValues) {
                for (const auto& [code, s] : settings)
                    putList(out, code, s);
            }
            for (const auto& [code, s] : settings) {
                putValue(out, code, s);
                if (!script.listsBeforeValues) putList(out, code, s);
            }
            putCustomFunctions(out);
        }
        out.insert(out.end(), pending.begin(), pending.end());
        pending.clear();
        const auto e = canon_records::end();
        out.insert(out.end(), e.begin(), e.end());
        return out;
    }

    void change(uint16_t code, std::variant<uint64_t, std::string> value) {
        auto found = settings.find(code);
        if (found == settings.end()) return;
        if (code == kViewfinderOutput && number(code) == 0 && value != decltype(value){uint64_t{0}})
            warmUpLeft = script.viewfinderWarmUp;
        found->second.value = std::move(value);
        if (reportedAll) putValue(pending, code, found->second);
    }

    uint32_t announce(const std::string& name, std::vector<uint8_t> bytes) {
        const uint32_t handle = nextHandle++;
        files[handle] = File{name, std::move(bytes)};
        const auto r = canon_records::objectAdded(handle, name);
        pending.insert(pending.end(), r.begin(), r.end());
        return handle;
    }

    // The picture as files by the image format, each group one file, in the format's order.
    void takePicture() {
        const int n = ++pictureNumber;
        const uint64_t format = number(kImageFormat);
        std::vector<uint32_t> groups;
        if (format >> 32) groups.push_back(static_cast<uint32_t>(format >> 32));
        groups.push_back(static_cast<uint32_t>(format));
        for (uint32_t g : groups) {
            const bool raw = ((g >> 16) & 0xFF) == 6;
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%04d.%s", n % 10000, raw ? "CR2" : "JPG");
            StarFieldScene scene;
            scene.defocus = lensPosition;
            scene.bahtinovMask = bahtinovMask;
            scene.frame = static_cast<uint32_t>(n);
            auto bytes = raw ? sampleRaw(n) : starFieldJPEG(scene);
            pictures.emplace_back(name, bytes);
            announce(name, std::move(bytes));
        }
    }

    // SetDevicePropValueEx: u32 size, u32 code, then the value.
    uint16_t write(const std::vector<uint8_t>& data) {
        if (data.size() < 12 || read32(data, 0) != data.size()) return PTPResponseCodeInvalidDevicePropValue;
        const uint16_t code = static_cast<uint16_t>(read32(data, 4));
        if (code == kCustomFunctions) return writeCustomFunctions(data);
        const auto found = settings.find(code);
        if (found == settings.end()) return PTPResponseCodeCanonOperationRefused;
        const Setting& s = found->second;
        if (s.type == 0) {
            const uint32_t count = read32(data, 8);
            if ((count != 1 && count != 2) || data.size() != 12 + 16 * count)
                return PTPResponseCodeInvalidDevicePropValue;
            uint64_t format = 0;
            for (uint32_t g = 0; g < count; ++g) {
                const std::size_t at = 12 + 16 * g;
                format = format << 32 |
                         packGroup(read32(data, at), read32(data, at + 4), read32(data, at + 8), read32(data, at + 12));
            }
            change(code, format);
        } else if (s.type == PTPDataTypeString) {
            std::string text(data.begin() + 8, data.end());
            if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
            change(code, text);
        } else {
            const uint32_t slot = read32(data, 8);
            const uint64_t v = s.type <= PTPDataTypeUInt8    ? slot & 0xFF
                               : s.type <= PTPDataTypeUInt16 ? slot & 0xFFFF
                                                             : slot;
            change(code, v);
        }
        return PTPResponseCodeOK;
    }

    // One group as the host sends it back: S + 12, 1, group number, S, item count, items.
    uint16_t writeCustomFunctions(const std::vector<uint8_t>& data) {
        const std::size_t at = 8;
        const uint32_t size = read32(data, at);
        if (size + 8 != data.size() || read32(data, at + 4) != 1) return PTPResponseCodeInvalidDevicePropValue;
        const uint32_t group = read32(data, at + 8);
        auto found = customFunctions.find(group);
        if (found == customFunctions.end()) return PTPResponseCodeInvalidDevicePropValue;
        std::vector<CustomFunction> items;
        std::size_t pos = at + 20;
        const uint32_t count = read32(data, at + 16);
        for (uint32_t i = 0; i < count; ++i) {
            if (pos + 8 > data.size()) return PTPResponseCodeInvalidDevicePropValue;
            CustomFunction item{static_cast<uint16_t>(read32(data, pos)), {}};
            const uint32_t m = read32(data, pos + 4);
            pos += 8;
            if (m > (data.size() - pos) / 4) return PTPResponseCodeInvalidDevicePropValue;
            for (uint32_t k = 0; k < m; ++k, pos += 4)
                item.values.push_back(read32(data, pos));
            items.push_back(std::move(item));
        }
        found->second = std::move(items);
        if (reportedAll) putCustomFunctions(pending);
        return PTPResponseCodeOK;
    }

    void press(uint16_t operation) { presses.push_back(Press{operation, Clock::now()}); }
};

SimulatedCanon::SimulatedCanon(SimulatedCanonScript script)
    : state_(std::make_shared<State>()),
      camera_(std::make_shared<SimulatedCamera>(script.model, 0x04A9, script.productID)) {
    State& s = *state_;
    s.script = script;

    using Values = std::vector<uint64_t>;
    auto setting = [&](uint16_t code, uint16_t type, uint64_t value, Values allowed) {
        s.settings[code] = Setting{type, value, std::move(allowed)};
    };
    setting(0xD101, PTPDataTypeUInt16, 0x28, {0x20, 0x23, 0x25, 0x28, 0x2B, 0x2D, 0x30, 0x33});
    setting(kShutterSpeed, PTPDataTypeUInt16, 0x68, {0x0C, 0x10, 0x38, 0x48, 0x58, 0x68, 0x78, 0x88});
    setting(0xD103, PTPDataTypeUInt16, 0x48, {0x48, 0x50, 0x58, 0x60, 0x68});
    setting(0xD104, PTPDataTypeUInt8, 0, {0xF8, 0xFB, 0xFD, 0x00, 0x03, 0x05, 0x08});
    setting(kAEMode, PTPDataTypeUInt16, 3, {0, 1, 2, 3, 4});
    setting(PTPPropertyCodeCanonDriveMode, PTPDataTypeUInt16, 0, {0x00, 0x01, 0x10, 0x11});
    setting(0xD107, PTPDataTypeUInt8, 3, {1, 3, 4, 5});
    setting(0xD108, PTPDataTypeUInt16, 0, {0, 1, 2});
    setting(0xD109, PTPDataTypeUInt8, 0, {0, 1, 2, 3, 4, 5, 8});
    setting(0xD10F, PTPDataTypeUInt16, 1, {1, 2});
    setting(0xD110, PTPDataTypeUInt8, 0x81, {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87});
    setting(0xD111, PTPDataTypeUInt16, 2, {});
    setting(kImageFormat, 0, 0x10010003, {0x10010003, 0x10010002, 0x10060004, 0x1001000310060004});
    setting(PTPPropertyCodeCanonEVFMode, PTPDataTypeUInt16, 0, {0, 1});
    setting(kViewfinderOutput, PTPDataTypeUInt16, 0, {0, 1, 2});
    if (script.mirrorUpSetting) setting(PTPPropertyCodeCanonMirrorUpSetting, PTPDataTypeUInt16, 0, {0, 1});
    s.settings[0xD1D8] = Setting{PTPDataTypeString, std::string("EF24-105mm f/4L IS USM"), {}};
    s.customFunctions[1] = {{0x0101, {0}}, {0x010F, {0, 1}}};
    s.customFunctions[6] = {{0x060F, {0}}};

    SimulatedDeviceInfo info = camera_->deviceInfo();
    info.vendorExtension = PTPVendorExtensionCanon;
    info.vendorExtensionDesc = "Canon PTP Extensions";
    info.manufacturer = "Canon Inc.";
    info.model = script.model;
    info.operations.erase(
        std::remove(info.operations.begin(), info.operations.end(), uint16_t{PTPRequestCodeInitiateCapture}),
        info.operations.end());
    for (uint16_t code :
         {PTPRequestCodeCanonGetObject, PTPRequestCodeCanonDeleteObject, PTPRequestCodeCanonGetDeviceInfoEx,
          PTPRequestCodeCanonRemoteRelease, PTPRequestCodeCanonSetDevicePropValueEx, PTPRequestCodeCanonSetRemoteMode,
          PTPRequestCodeCanonSetEventMode, PTPRequestCodeCanonGetEvent, PTPRequestCodeCanonSetUILock,
          PTPRequestCodeCanonResetUILock, PTPRequestCodeCanonGetViewFinderData, PTPRequestCodeCanonDoAf,
          PTPRequestCodeCanonDriveLens, PTPRequestCodeCanonZoom, PTPRequestCodeCanonAfCancel})
        info.operations.push_back(code);
    const std::vector<uint16_t> release =
        script.remoteReleaseOn
            ? std::vector<uint16_t>{PTPRequestCodeCanonRemoteReleaseOn, PTPRequestCodeCanonRemoteReleaseOff}
            : std::vector<uint16_t>{PTPRequestCodeCanonBulbStart, PTPRequestCodeCanonBulbEnd};
    info.operations.insert(info.operations.end(), release.begin(), release.end());
    info.properties = {PTPPropertyCodeBatteryLevel};
    camera_->setDeviceInfo(info);
    camera_->setProperty({PTPPropertyCodeBatteryLevel, PTPDataTypeUInt8, false, int64_t{100}, int64_t{100},
                          std::nullopt, std::vector<SimulatedProperty::Value>{int64_t{0}, int64_t{100}, int64_t{25}}});

    // The handlers hold the state, and the camera only weakly: it owns them.
    const std::shared_ptr<State> state = state_;
    auto ok = [](const SimulatedRequest&) {
        return SimulatedReply{};
    };
    auto locked = [state](auto&& body) {
        return [state, body](const SimulatedRequest& request) {
            std::lock_guard lock(state->mutex);
            return body(*state, request);
        };
    };
    auto first = [](const SimulatedRequest& request) {
        return request.parameters.empty() ? 0u : request.parameters[0];
    };

    camera_->setHandler(PTPRequestCodeCanonGetDeviceInfoEx, locked([](State& st, const SimulatedRequest&) {
                            std::vector<uint8_t> data =
                                words({0, 3, PTPEventCodeCanonObjectAddedEx, PTPEventCodeCanonPropValueChanged,
                                       PTPEventCodeCanonAvailListChanged});
                            put32(data, static_cast<uint32_t>(st.settings.size() + 2));
                            put32(data, PTPPropertyCodeBatteryLevel);
                            for (const auto& [code, setting] : st.settings)
                                put32(data, code);
                            put32(data, kCustomFunctions);
                            return SimulatedReply{PTPResponseCodeOK, {}, std::move(data)};
                        }));
    camera_->setHandler(PTPRequestCodeCanonSetRemoteMode, locked([first](State& st, const SimulatedRequest& r) {
                            st.remoteMode = first(r);
                            return SimulatedReply{};
                        }));
    camera_->setHandler(PTPRequestCodeCanonSetEventMode, locked([first](State& st, const SimulatedRequest& r) {
                            st.eventMode = first(r);
                            // Each host entering event mode learns every setting again, as a
                            // body does for a new session.
                            if (st.eventMode != 0) st.reportedAll = false;
                            return SimulatedReply{};
                        }));
    camera_->setHandler(PTPRequestCodeCanonGetEvent, locked([](State& st, const SimulatedRequest&) {
                            // Outside event mode the body keeps its news.
                            if (st.eventMode == 0) return SimulatedReply{PTPResponseCodeOK, {}, canon_records::end()};
                            return SimulatedReply{PTPResponseCodeOK, {}, st.getEvent()};
                        }));
    camera_->setHandler(PTPRequestCodeCanonSetDevicePropValueEx, locked([](State& st, const SimulatedRequest& r) {
                            return SimulatedReply{st.write(r.data), {}, std::nullopt};
                        }));
    camera_->setHandler(PTPRequestCodeCanonGetObject, locked([first](State& st, const SimulatedRequest& r) {
                            const auto found = st.files.find(first(r));
                            if (found == st.files.end())
                                return SimulatedReply{PTPResponseCodeInvalidObjectHandle, {}, std::nullopt};
                            return SimulatedReply{PTPResponseCodeOK, {}, found->second.bytes};
                        }));
    // Initiators that read the card the standard way get the same bytes.
    camera_->setHandler(PTPRequestCodeGetObject, locked([first](State& st, const SimulatedRequest& r) {
                            const auto found = st.files.find(first(r));
                            if (found == st.files.end())
                                return SimulatedReply{PTPResponseCodeInvalidObjectHandle, {}, std::nullopt};
                            return SimulatedReply{PTPResponseCodeOK, {}, found->second.bytes};
                        }));
    // The files of the card, described as the standard ObjectInfo dataset.
    camera_->setHandler(PTPRequestCodeGetObjectInfo, locked([first](State& st, const SimulatedRequest& r) {
                            const auto found = st.files.find(first(r));
                            if (found == st.files.end())
                                return SimulatedReply{PTPResponseCodeInvalidObjectHandle, {}, std::nullopt};
                            return SimulatedReply{PTPResponseCodeOK, {}, State::objectInfo(found->second)};
                        }));
    camera_->setHandler(PTPRequestCodeCanonDeleteObject, locked([first](State& st, const SimulatedRequest& r) {
                            return SimulatedReply{st.files.erase(first(r))
                                                      ? uint16_t{PTPResponseCodeOK}
                                                      : uint16_t{PTPResponseCodeInvalidObjectHandle},
                                                  {},
                                                  std::nullopt};
                        }));
    // A full press: a timed picture is taken at once, a bulb one when the release lets go.
    auto pressed = [](State& st, const SimulatedRequest& r) {
        st.press(r.operationCode);
        // RemoteReleaseOn 1 is a half press: it focuses and takes nothing.
        const bool halfPress = r.operationCode == PTPRequestCodeCanonRemoteReleaseOn && !r.parameters.empty() &&
                               (r.parameters[0] & 2) == 0;
        if (halfPress) return SimulatedReply{};
        if (st.releaseParameter == 1) return SimulatedReply{PTPResponseCodeOK, {1}, std::nullopt};
        if (r.operationCode == PTPRequestCodeCanonBulbStart || st.bulb())
            st.exposing = true;
        else
            st.takePicture();
        return SimulatedReply{PTPResponseCodeOK, {st.releaseParameter}, std::nullopt};
    };
    camera_->setHandler(PTPRequestCodeCanonRemoteReleaseOn, locked(pressed));
    camera_->setHandler(PTPRequestCodeCanonRemoteRelease, locked(pressed));
    camera_->setHandler(PTPRequestCodeCanonBulbStart, locked(pressed));
    auto released = [](State& st, const SimulatedRequest& r) {
        st.press(r.operationCode);
        if (st.exposing) {
            st.exposing = false;
            st.takePicture();
        }
        return SimulatedReply{};
    };
    camera_->setHandler(PTPRequestCodeCanonRemoteReleaseOff, locked(released));
    camera_->setHandler(PTPRequestCodeCanonBulbEnd, locked(released));
    camera_->setHandler(PTPRequestCodeCanonGetViewFinderData, locked([](State& st, const SimulatedRequest&) {
                            if (st.number(kViewfinderOutput) == 0 || st.warmUpLeft > 0) {
                                if (st.warmUpLeft > 0) --st.warmUpLeft;
                                return SimulatedReply{PTPResponseCodeCanonNotReady, {}, std::nullopt};
                            }
                            // An information record first, then the frame.
                            std::vector<uint8_t> data = record(2, words({1, 0, 0, 0}));
                            const auto frame = record(1, SimulatedCamera::sampleJPEG(st.frames++ % 8));
                            data.insert(data.end(), frame.begin(), frame.end());
                            return SimulatedReply{PTPResponseCodeOK, {}, std::move(data)};
                        }));
    // One step a request, only with the viewfinder on.
    camera_->setHandler(PTPRequestCodeCanonDriveLens, locked([first](State& st, const SimulatedRequest& r) {
                            const uint32_t parameter = first(r);
                            st.steps.push_back(Step{parameter, Clock::now()});
                            if (!st.lensFailures.empty()) {
                                const uint16_t code = st.lensFailures.front();
                                st.lensFailures.erase(st.lensFailures.begin());
                                return SimulatedReply{code, {}, std::nullopt};
                            }
                            if (st.number(kViewfinderOutput) == 0)
                                return SimulatedReply{PTPResponseCodeCanonNotReady, {}, std::nullopt};
                            const int32_t distance = static_cast<int32_t>(parameter & 0x7FFF);
                            st.lensPosition += (parameter & 0x8000) ? -distance : distance;
                            return SimulatedReply{};
                        }));
    for (uint16_t code : {PTPRequestCodeCanonSetUILock, PTPRequestCodeCanonResetUILock, PTPRequestCodeCanonDoAf,
                          PTPRequestCodeCanonAfCancel, PTPRequestCodeCanonZoom})
        camera_->setHandler(code, ok);
}

SimulatedCanon::~SimulatedCanon() = default;

void SimulatedCanon::setValue(uint16_t code, uint32_t value) {
    std::lock_guard lock(state_->mutex);
    state_->change(code, uint64_t{value});
}

uint32_t SimulatedCanon::value(uint16_t code) const {
    std::lock_guard lock(state_->mutex);
    return static_cast<uint32_t>(state_->number(code));
}

void SimulatedCanon::setImageFormat(uint64_t format) {
    std::lock_guard lock(state_->mutex);
    state_->change(kImageFormat, format);
}

void SimulatedCanon::queueRecords(std::vector<uint8_t> records) {
    std::lock_guard lock(state_->mutex);
    state_->pending.insert(state_->pending.end(), records.begin(), records.end());
}

uint32_t SimulatedCanon::announceFile(const std::string& name, std::vector<uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    return state_->announce(name, std::move(bytes));
}

bool SimulatedCanon::hasFile(uint32_t handle) const {
    std::lock_guard lock(state_->mutex);
    return state_->files.count(handle) != 0;
}

std::vector<uint32_t> SimulatedCanon::customFunction(uint16_t id) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& [group, items] : state_->customFunctions)
        for (const CustomFunction& item : items)
            if (item.id == id) return item.values;
    return {};
}

void SimulatedCanon::setReleaseParameter(uint32_t parameter) {
    std::lock_guard lock(state_->mutex);
    state_->releaseParameter = parameter;
}

void SimulatedCanon::setBahtinovMask(bool mask) {
    std::lock_guard lock(state_->mutex);
    state_->bahtinovMask = mask;
}

void SimulatedCanon::failDriveLens(uint16_t responseCode, int times) {
    std::lock_guard lock(state_->mutex);
    state_->lensFailures.insert(state_->lensFailures.end(), static_cast<std::size_t>(times), responseCode);
}

std::vector<SimulatedCanon::Press> SimulatedCanon::presses() const {
    std::lock_guard lock(state_->mutex);
    return state_->presses;
}

std::vector<SimulatedCanon::Step> SimulatedCanon::lensSteps() const {
    std::lock_guard lock(state_->mutex);
    return state_->steps;
}

int32_t SimulatedCanon::lensPosition() const {
    std::lock_guard lock(state_->mutex);
    return state_->lensPosition;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> SimulatedCanon::pictures() const {
    std::lock_guard lock(state_->mutex);
    return state_->pictures;
}

} // namespace zeta::platform
