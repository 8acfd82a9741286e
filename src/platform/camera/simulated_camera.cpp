#include "platform/camera/simulated_camera.h"

#include "platform/camera/packet_queue.h"
#include "platform/camera/ptp_codes.h"
#include "platform/camera/ptp_usb_framing.h"
#include "platform/camera/star_field.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <turbojpeg.h>
#include <utility>

namespace zeta::platform {
namespace {

// Little-endian writers for the datasets the camera sends.
struct Writer {
    std::vector<uint8_t> bytes;
    Writer& u8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Writer& u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        return u8(static_cast<uint8_t>(v >> 8));
    }
    Writer& u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        return u16(static_cast<uint16_t>(v >> 16));
    }
    Writer& integer(uint64_t v, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            u8(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Writer& string(std::string_view text) {
        // ASCII and Latin-1 suffice for the camera's own texts.
        if (text.empty()) return u8(0);
        const std::size_t units = std::min<std::size_t>(text.size(), 254);
        u8(static_cast<uint8_t>(units + 1));
        for (std::size_t i = 0; i < units; ++i)
            u16(static_cast<unsigned char>(text[i]));
        return u16(0);
    }
    Writer& array16(const std::vector<uint16_t>& values) {
        u32(static_cast<uint32_t>(values.size()));
        for (auto v : values)
            u16(v);
        return *this;
    }
    Writer& array32(const std::vector<uint32_t>& values) {
        u32(static_cast<uint32_t>(values.size()));
        for (auto v : values)
            u32(v);
        return *this;
    }
};

std::size_t widthOf(uint16_t type) {
    switch (type) {
    case 1:
    case 2:
        return 1;
    case 3:
    case 4:
        return 2;
    case 5:
    case 6:
        return 4;
    case 7:
    case 8:
        return 8;
    default:
        return 0;
    }
}

void writeValue(Writer& w, uint16_t type, const SimulatedProperty::Value& value) {
    if (type == PTPDataTypeString) {
        w.string(std::holds_alternative<std::string>(value) ? std::get<std::string>(value)
                                                            : std::to_string(std::get<int64_t>(value)));
        return;
    }
    const int64_t number = std::holds_alternative<int64_t>(value) ? std::get<int64_t>(value)
                                                                  : std::stoll("0" + std::get<std::string>(value));
    w.integer(static_cast<uint64_t>(number), widthOf(type));
}

// Reads a value of the datatype from the whole of `data`; none when the size is wrong.
std::optional<SimulatedProperty::Value> readValue(uint16_t type, const std::vector<uint8_t>& data) {
    if (type == PTPDataTypeString) {
        if (data.empty()) return std::nullopt;
        const std::size_t count = data[0];
        if (data.size() != 1 + 2 * count) return std::nullopt;
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned unit = data[1 + 2 * i] | (data[2 + 2 * i] << 8);
            if (unit == 0) break;
            text += static_cast<char>(unit < 0x80 ? unit : '?');
        }
        return text;
    }
    const std::size_t width = widthOf(type);
    if (width == 0 || data.size() != width) return std::nullopt;
    uint64_t v = 0;
    for (std::size_t i = width; i-- > 0;)
        v = (v << 8) | data[i];
    const bool isSigned = type == 1 || type == 3 || type == 5 || type == 7;
    if (isSigned && width < 8 && (v >> (width * 8 - 1)) & 1) v |= ~((uint64_t{1} << (width * 8)) - 1);
    return static_cast<int64_t>(v);
}

std::vector<uint8_t> sampleJPEGOf(int number) {
    constexpr int width = 96, height = 64;
    std::vector<uint8_t> rgb(width * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = &rgb[(y * width + x) * 3];
            pixel[0] = static_cast<uint8_t>(x * 2 + number * 16);
            pixel[1] = static_cast<uint8_t>(y * 3);
            pixel[2] = 128;
        }
    }
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
    if (!handle) return {};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int failed =
        tjCompress2(handle.get(), rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(jpeg, tjFree);
    if (failed) return {};
    return std::vector<uint8_t>(jpeg, jpeg + size);
}

} // namespace

struct SimulatedCamera::State {
    std::recursive_mutex mutex;
    SimulatedDeviceInfo info;
    std::map<uint16_t, SimulatedProperty> properties;
    std::vector<uint16_t> propertyOrder;
    std::map<uint16_t, std::vector<uint8_t>> descriptionOverrides;
    std::map<uint16_t, Handler> handlers;
    struct Object {
        std::string filename;
        std::vector<uint8_t> bytes;
        uint16_t format;
    };
    std::map<uint32_t, Object> objects;
    uint32_t nextHandle = 0x00010001;
    std::optional<std::pair<std::string, std::vector<uint8_t>>> captureFile;
    int captures = 0;
    int32_t lensPosition = 0; // 0 is the sharpest
    bool bahtinovMask = false;
    EventDelivery delivery = EventDelivery::interrupt;
    std::vector<std::pair<uint16_t, uint32_t>> polledEvents;

    std::map<uint16_t, int> busy, lost;
    std::map<uint16_t, std::size_t> truncate;
    std::set<uint16_t> removeDuring;

    std::size_t maxPacketSize = 512;
    std::chrono::milliseconds responseTimeout{1000};
    bool plugged = true;
    bool sessionOpen = false;
    std::function<void()> removalHandler;

    // The connection of the port now open.
    std::shared_ptr<PacketQueue> bulkIn, interrupt;
    std::vector<uint8_t> outStream;
    std::optional<SimulatedRequest> pending;

    std::vector<SimulatedRequest> log;
    int cancels = 0, resets = 0;

    void queueEvent(uint16_t code, const std::vector<uint32_t>& parameters) {
        if (delivery == EventDelivery::polled) {
            polledEvents.emplace_back(code, parameters.empty() ? 0 : parameters[0]);
            return;
        }
        if (!interrupt) return;
        Writer payload;
        for (std::size_t i = 0; i < std::min<std::size_t>(parameters.size(), 3); ++i)
            payload.u32(parameters[i]);
        interrupt->write(makeContainer(PTPContainerTypeEvent, code, 0xFFFFFFFF, payload.bytes));
    }

    std::vector<uint16_t> propertyCodes() const { return info.properties.empty() ? propertyOrder : info.properties; }

    std::vector<uint8_t> deviceInfoData() const {
        Writer w;
        w.u16(info.standardVersion)
            .u32(info.vendorExtension)
            .u16(info.vendorExtensionVersion)
            .string(info.vendorExtensionDesc);
        w.u16(info.functionalMode).array16(info.operations).array16(info.events).array16(propertyCodes());
        w.array16(info.captureFormats).array16(info.imageFormats);
        w.string(info.manufacturer).string(info.model).string(info.version).string(info.serial);
        return w.bytes;
    }

    std::vector<uint8_t> descriptionData(const SimulatedProperty& p) const {
        Writer w;
        w.u16(p.code).u16(p.type).u8(p.writable ? 1 : 0);
        writeValue(w, p.type, p.defaultValue);
        writeValue(w, p.type, p.value);
        if (p.range && p.range->size() == 3) {
            w.u8(1);
            for (const auto& v : *p.range)
                writeValue(w, p.type, v);
        } else if (p.enumeration) {
            w.u8(2).u16(static_cast<uint16_t>(p.enumeration->size()));
            for (const auto& v : *p.enumeration)
                writeValue(w, p.type, v);
        } else {
            w.u8(0);
        }
        return w.bytes;
    }

    uint32_t storeObject(std::string filename, std::vector<uint8_t> bytes, uint16_t format) {
        const uint32_t handle = nextHandle++;
        objects[handle] = Object{std::move(filename), std::move(bytes), format};
        return handle;
    }

    std::vector<uint8_t> objectInfo(const Object& o) const {
        Writer w;
        w.u32(0x00010001).u16(o.format).u16(0).u32(static_cast<uint32_t>(o.bytes.size()));
        w.u16(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0); // no thumbnail, sizes unknown
        w.u32(0).u16(0).u32(0).u32(0);                      // parent, association, sequence
        w.string(o.filename).string("20240101T120000").string("20240101T120000").string("");
        return w.bytes;
    }

    SimulatedReply capture() {
        ++captures;
        std::pair<std::string, std::vector<uint8_t>> file;
        if (captureFile) {
            file = *captureFile;
        } else {
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%04d.JPG", captures);
            StarFieldScene scene;
            scene.defocus = lensPosition;
            scene.bahtinovMask = bahtinovMask;
            scene.frame = static_cast<uint32_t>(captures);
            file = {name, starFieldJPEG(scene)};
        }
        const uint32_t handle = storeObject(file.first, std::move(file.second), PTPObjectFormatJPEG);
        queueEvent(PTPEventCodeObjectAdded, {handle});
        queueEvent(PTPEventCodeCaptureComplete, {});
        return {};
    }

    SimulatedReply builtIn(const SimulatedRequest& r) {
        const uint32_t p1 = r.parameters.empty() ? 0 : r.parameters[0];
        const uint16_t code = r.operationCode;
        if (code == PTPRequestCodeGetDeviceInfo) return {PTPResponseCodeOK, {}, deviceInfoData()};
        if (code == PTPRequestCodeOpenSession) {
            if (sessionOpen) return {PTPResponseCodeSessionAlreadyOpen, {}, std::nullopt};
            sessionOpen = true;
            return {};
        }
        if (!sessionOpen) return {PTPResponseCodeSessionNotOpen, {}, std::nullopt};
        switch (code) {
        case PTPRequestCodeCloseSession:
            sessionOpen = false;
            return {};
        case PTPRequestCodeGetStorageIDs:
            return {PTPResponseCodeOK, {}, Writer().array32({0x00010001}).bytes};
        case PTPRequestCodeGetObjectHandles: {
            std::vector<uint32_t> handles;
            for (const auto& entry : objects)
                handles.push_back(entry.first);
            return {PTPResponseCodeOK, {}, Writer().array32(handles).bytes};
        }
        case PTPRequestCodeGetObjectInfo:
        case PTPRequestCodeGetObject:
        case PTPRequestCodeDeleteObject: {
            const auto found = objects.find(p1);
            if (found == objects.end()) return {PTPResponseCodeInvalidObjectHandle, {}, std::nullopt};
            if (code == PTPRequestCodeGetObjectInfo) return {PTPResponseCodeOK, {}, objectInfo(found->second)};
            if (code == PTPRequestCodeGetObject) return {PTPResponseCodeOK, {}, found->second.bytes};
            objects.erase(found);
            return {};
        }
        case PTPRequestCodeInitiateCapture:
            return capture();
        case PTPRequestCodeGetDevicePropDesc:
        case PTPRequestCodeGetDevicePropValue:
        case PTPRequestCodeSetDevicePropValue: {
            const auto found = properties.find(static_cast<uint16_t>(p1));
            if (code == PTPRequestCodeGetDevicePropDesc && descriptionOverrides.count(static_cast<uint16_t>(p1))) {
                return {PTPResponseCodeOK, {}, descriptionOverrides.at(static_cast<uint16_t>(p1))};
            }
            if (found == properties.end()) return {PTPResponseCodeDevicePropNotSupported, {}, std::nullopt};
            SimulatedProperty& p = found->second;
            if (code == PTPRequestCodeGetDevicePropDesc) return {PTPResponseCodeOK, {}, descriptionData(p)};
            if (code == PTPRequestCodeGetDevicePropValue) {
                Writer w;
                writeValue(w, p.type, p.value);
                return {PTPResponseCodeOK, {}, w.bytes};
            }
            if (!p.writable) return {PTPResponseCodeAccessDenied, {}, std::nullopt};
            const auto value = readValue(p.type, r.data);
            if (!value) return {PTPResponseCodeInvalidDevicePropValue, {}, std::nullopt};
            if (p.enumeration &&
                std::find(p.enumeration->begin(), p.enumeration->end(), *value) == p.enumeration->end()) {
                return {PTPResponseCodeInvalidDevicePropValue, {}, std::nullopt};
            }
            p.value = *value;
            queueEvent(PTPEventCodeDevicePropChanged, {p.code});
            return {};
        }
        default:
            return {PTPResponseCodeOperationNotSupported, {}, std::nullopt};
        }
    }

    // Answers the operation waiting for its answer, writing the containers the host will read.
    // Returns true when the cable is to be pulled once the answer is out.
    bool answerPending() {
        if (!pending || !bulkIn) return false;
        SimulatedRequest request = std::move(*pending);
        pending.reset();
        log.push_back(request);
        const uint16_t code = request.operationCode;

        SimulatedReply reply;
        if (auto b = busy.find(code); b != busy.end() && b->second > 0) {
            --b->second;
            reply.responseCode = PTPResponseCodeDeviceBusy;
        } else if (auto h = handlers.find(code); h != handlers.end()) {
            reply = h->second(request);
        } else {
            reply = builtIn(request);
        }

        bool pullCable = false;
        if (reply.data) {
            std::vector<uint8_t> payload = std::move(*reply.data);
            if (auto t = truncate.find(code); t != truncate.end()) {
                payload.resize(std::min(payload.size(), t->second));
                truncate.erase(t);
            }
            const std::vector<uint8_t> container = makeContainer(2, code, request.transactionID, payload);
            if (removeDuring.erase(code)) {
                // Half of the data phase, then nothing: the camera has gone.
                const std::size_t half = std::max<std::size_t>(container.size() / 2 / maxPacketSize, 1) * maxPacketSize;
                bulkIn->write(std::span(container.data(), std::min(half, container.size() - 1)));
                return true;
            }
            bulkIn->write(container);
            if (container.size() % maxPacketSize == 0) bulkIn->write({});
        }
        if (auto l = lost.find(code); l != lost.end() && l->second > 0) {
            --l->second;
            return pullCable;
        }
        Writer parameters;
        for (std::size_t i = 0; i < std::min<std::size_t>(reply.parameters.size(), 5); ++i)
            parameters.u32(reply.parameters[i]);
        bulkIn->write(makeContainer(3, reply.responseCode, request.transactionID, parameters.bytes));
        return pullCable;
    }

    // Cuts complete containers from what the host has written.
    void takeContainers() {
        while (true) {
            const auto header = parseContainerHeader(outStream);
            if (!header || header->length < PTPContainerHeaderSize || outStream.size() < header->length) {
                if (header && header->length < PTPContainerHeaderSize) outStream.clear(); // garbage
                return;
            }
            std::vector<uint8_t> payload(outStream.begin() + PTPContainerHeaderSize,
                                         outStream.begin() + header->length);
            outStream.erase(outStream.begin(), outStream.begin() + header->length);
            if (header->type == 1) {
                answerPending(); // an earlier command without data
                SimulatedRequest request;
                request.operationCode = header->code;
                request.transactionID = header->transactionID;
                for (std::size_t i = 0; i + 4 <= payload.size(); i += 4) {
                    request.parameters.push_back(payload[i] | (payload[i + 1] << 8) | (payload[i + 2] << 16) |
                                                 (static_cast<uint32_t>(payload[i + 3]) << 24));
                }
                pending = std::move(request);
            } else if (header->type == 2 && pending && pending->transactionID == header->transactionID) {
                pending->data = std::move(payload);
            }
        }
    }
};

class SimulatedCamera::Port final : public PTPPort {
public:
    Port(std::shared_ptr<State> state, std::shared_ptr<PacketQueue> bulkIn, std::shared_ptr<PacketQueue> interrupt)
        : state_(std::move(state)), bulkIn_(std::move(bulkIn)), interrupt_(std::move(interrupt)) {}
    ~Port() override { close(); }

    std::size_t maxPacketSize() const override { return bulkIn_->maxPacketSize(); }
    std::chrono::milliseconds responseTimeout() const override {
        std::lock_guard lock(state_->mutex);
        return state_->responseTimeout;
    }

    PTPPortStatus bulkOut(std::span<const uint8_t> data, std::chrono::milliseconds) override {
        std::lock_guard lock(state_->mutex);
        if (!connected()) return PTPPortStatus::removed;
        state_->outStream.insert(state_->outStream.end(), data.begin(), data.end());
        state_->takeContainers();
        return PTPPortStatus::ok;
    }

    PTPPortStatus bulkIn(std::span<uint8_t> buffer, std::size_t& received, std::chrono::milliseconds timeout) override {
        bool pullCable = false;
        {
            std::lock_guard lock(state_->mutex);
            if (connected() && state_->pending) pullCable = state_->answerPending();
        }
        if (pullCable) pull();
        return bulkIn_->read(buffer, received, timeout);
    }

    PTPPortStatus interruptIn(std::span<uint8_t> buffer, std::size_t& received,
                              std::chrono::milliseconds timeout) override {
        return interrupt_->read(buffer, received, timeout);
    }

    PTPPortStatus cancelRequest(uint32_t) override {
        std::lock_guard lock(state_->mutex);
        if (!connected()) return PTPPortStatus::removed;
        ++state_->cancels;
        state_->pending.reset();
        state_->outStream.clear();
        bulkIn_->clear();
        return PTPPortStatus::ok;
    }
    PTPPortStatus deviceReset() override {
        std::lock_guard lock(state_->mutex);
        if (!connected()) return PTPPortStatus::removed;
        ++state_->resets;
        state_->pending.reset();
        state_->outStream.clear();
        state_->sessionOpen = false;
        bulkIn_->clear();
        return PTPPortStatus::ok;
    }
    PTPPortStatus getDeviceStatus(PTPPortDeviceStatus& status) override {
        std::lock_guard lock(state_->mutex);
        if (!connected()) return PTPPortStatus::removed;
        status.code = PTPResponseCodeOK;
        return PTPPortStatus::ok;
    }

    void close() override {
        bulkIn_->close();
        interrupt_->close();
        std::lock_guard lock(state_->mutex);
        if (state_->bulkIn == bulkIn_) {
            state_->bulkIn.reset();
            state_->interrupt.reset();
            state_->pending.reset();
            state_->outStream.clear();
        }
    }

private:
    bool connected() const { return state_->plugged && state_->bulkIn == bulkIn_; }
    void pull() {
        std::function<void()> handler;
        {
            std::lock_guard lock(state_->mutex);
            state_->plugged = false;
            handler = std::move(state_->removalHandler);
            state_->removalHandler = nullptr;
        }
        bulkIn_->close();
        interrupt_->close();
        if (handler) handler();
    }

    std::shared_ptr<State> state_;
    std::shared_ptr<PacketQueue> bulkIn_, interrupt_;
};

SimulatedCamera::SimulatedCamera(std::string name, uint16_t usbVendorID, uint16_t usbProductID)
    : name_(std::move(name)), usbVendorID_(usbVendorID), usbProductID_(usbProductID),
      state_(std::make_shared<State>()) {
    state_->info.model = name_;
    state_->info.operations = {
        PTPRequestCodeGetDeviceInfo,     PTPRequestCodeOpenSession,        PTPRequestCodeCloseSession,
        PTPRequestCodeGetStorageIDs,     PTPRequestCodeGetObjectHandles,   PTPRequestCodeGetObjectInfo,
        PTPRequestCodeGetObject,         PTPRequestCodeDeleteObject,       PTPRequestCodeInitiateCapture,
        PTPRequestCodeGetDevicePropDesc, PTPRequestCodeGetDevicePropValue, PTPRequestCodeSetDevicePropValue};
    state_->info.events = {PTPEventCodeObjectAdded, PTPEventCodeDevicePropChanged, PTPEventCodeCaptureComplete};
}

std::vector<uint8_t> SimulatedCamera::sampleJPEG(int number) {
    return sampleJPEGOf(number);
}

SimulatedCamera::~SimulatedCamera() {
    std::shared_ptr<PacketQueue> bulkIn, interrupt;
    {
        std::lock_guard lock(state_->mutex);
        bulkIn = state_->bulkIn;
        interrupt = state_->interrupt;
    }
    if (bulkIn) bulkIn->close();
    if (interrupt) interrupt->close();
}

void SimulatedCamera::setDeviceInfo(SimulatedDeviceInfo info) {
    std::lock_guard lock(state_->mutex);
    state_->info = std::move(info);
}

SimulatedDeviceInfo SimulatedCamera::deviceInfo() const {
    std::lock_guard lock(state_->mutex);
    return state_->info;
}

void SimulatedCamera::setProperty(SimulatedProperty property) {
    std::lock_guard lock(state_->mutex);
    if (!state_->properties.count(property.code)) state_->propertyOrder.push_back(property.code);
    state_->properties[property.code] = std::move(property);
}

std::optional<SimulatedProperty> SimulatedCamera::property(uint16_t code) const {
    std::lock_guard lock(state_->mutex);
    const auto found = state_->properties.find(code);
    if (found == state_->properties.end()) return std::nullopt;
    return found->second;
}

void SimulatedCamera::setPropertyDescriptionData(uint16_t code, std::vector<uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    if (!state_->properties.count(code) && !state_->descriptionOverrides.count(code))
        state_->propertyOrder.push_back(code);
    state_->descriptionOverrides[code] = std::move(bytes);
}

void SimulatedCamera::setHandler(uint16_t operationCode, Handler handler) {
    std::lock_guard lock(state_->mutex);
    state_->handlers[operationCode] = std::move(handler);
}

uint32_t SimulatedCamera::addObject(std::string filename, std::vector<uint8_t> bytes, bool announce, uint16_t format) {
    std::lock_guard lock(state_->mutex);
    const uint32_t handle = state_->storeObject(std::move(filename), std::move(bytes), format);
    if (announce) state_->queueEvent(PTPEventCodeObjectAdded, {handle});
    return handle;
}

bool SimulatedCamera::hasObject(uint32_t handle) const {
    std::lock_guard lock(state_->mutex);
    return state_->objects.count(handle) != 0;
}

void SimulatedCamera::moveLens(int32_t steps) {
    std::lock_guard lock(state_->mutex);
    state_->lensPosition += steps;
}

int32_t SimulatedCamera::lensPosition() const {
    std::lock_guard lock(state_->mutex);
    return state_->lensPosition;
}

void SimulatedCamera::setBahtinovMask(bool mask) {
    std::lock_guard lock(state_->mutex);
    state_->bahtinovMask = mask;
}

void SimulatedCamera::setCaptureFile(std::string filename, std::vector<uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    state_->captureFile.emplace(std::move(filename), std::move(bytes));
}

void SimulatedCamera::takePicture() {
    std::lock_guard lock(state_->mutex);
    state_->capture();
}

void SimulatedCamera::sendEvent(uint16_t code, std::vector<uint32_t> parameters) {
    std::lock_guard lock(state_->mutex);
    state_->queueEvent(code, parameters);
}

void SimulatedCamera::setEventDelivery(EventDelivery delivery) {
    std::lock_guard lock(state_->mutex);
    state_->delivery = delivery;
}

std::vector<std::pair<uint16_t, uint32_t>> SimulatedCamera::takePolledEvents() {
    std::lock_guard lock(state_->mutex);
    return std::exchange(state_->polledEvents, {});
}

void SimulatedCamera::answerBusy(uint16_t operationCode, int times) {
    std::lock_guard lock(state_->mutex);
    state_->busy[operationCode] = times;
}

void SimulatedCamera::loseResponse(uint16_t operationCode, int times) {
    std::lock_guard lock(state_->mutex);
    state_->lost[operationCode] = times;
}

void SimulatedCamera::truncateData(uint16_t operationCode, std::size_t bytes) {
    std::lock_guard lock(state_->mutex);
    state_->truncate[operationCode] = bytes;
}

void SimulatedCamera::removeDuringData(uint16_t operationCode) {
    std::lock_guard lock(state_->mutex);
    state_->removeDuring.insert(operationCode);
}

void SimulatedCamera::unplug() {
    std::function<void()> handler;
    std::shared_ptr<PacketQueue> bulkIn, interrupt;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->plugged) return;
        state_->plugged = false;
        handler = std::move(state_->removalHandler);
        state_->removalHandler = nullptr;
        bulkIn = state_->bulkIn;
        interrupt = state_->interrupt;
    }
    if (bulkIn) bulkIn->close();
    if (interrupt) interrupt->close();
    if (handler) handler();
}

bool SimulatedCamera::isPlugged() const {
    std::lock_guard lock(state_->mutex);
    return state_->plugged;
}

void SimulatedCamera::setMaxPacketSize(std::size_t size) {
    std::lock_guard lock(state_->mutex);
    state_->maxPacketSize = std::max<std::size_t>(size, 8);
}

void SimulatedCamera::setResponseTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard lock(state_->mutex);
    state_->responseTimeout = timeout;
}

std::unique_ptr<PTPPort> SimulatedCamera::open() {
    std::shared_ptr<PacketQueue> oldBulk, oldInterrupt;
    std::unique_ptr<PTPPort> port;
    {
        std::lock_guard lock(state_->mutex);
        oldBulk = state_->bulkIn;
        oldInterrupt = state_->interrupt;
        state_->bulkIn = std::make_shared<PacketQueue>(state_->maxPacketSize);
        state_->interrupt = std::make_shared<PacketQueue>(64);
        state_->outStream.clear();
        state_->pending.reset();
        state_->sessionOpen = false; // a new connection starts without a session
        port = std::make_unique<Port>(state_, state_->bulkIn, state_->interrupt);
        if (!state_->plugged) port->close();
    }
    if (oldBulk) oldBulk->close();
    if (oldInterrupt) oldInterrupt->close();
    return port;
}

void SimulatedCamera::setRemovalHandler(std::function<void()> handler) {
    std::lock_guard lock(state_->mutex);
    state_->removalHandler = std::move(handler);
}

std::vector<SimulatedRequest> SimulatedCamera::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->log;
}

int SimulatedCamera::cancelRequests() const {
    std::lock_guard lock(state_->mutex);
    return state_->cancels;
}

int SimulatedCamera::resetRequests() const {
    std::lock_guard lock(state_->mutex);
    return state_->resets;
}

} // namespace zeta::platform
