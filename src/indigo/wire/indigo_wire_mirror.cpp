#include "indigo/wire/indigo_wire_mirror.h"

#include "indigo/bus/blob_modes.h"
#include "indigo/bus/indigo_bus_internal.h"
#include "indigo/bus/text_field.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"
#include "indigo/wire/indigo_name_map.h"
#include "indigo/wire/indigo_xml_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace zeta::indigo::wire {

namespace {

// Names for a change request: those the peer used for the property and its items.
class PeerNames final : public OutgoingNames {
public:
    PeerNames(std::string property, std::unordered_map<std::string, std::string> items)
        : property_(std::move(property)), items_(std::move(items)) {}
    std::string_view property(std::string_view) const override { return property_; }
    std::string_view item(std::string_view, std::string_view busItem) const override {
        const auto found = items_.find(std::string(busItem));
        return found != items_.end() ? std::string_view(found->second) : busItem;
    }

private:
    std::string property_;
    std::unordered_map<std::string, std::string> items_;
};

void copyNumberFields(indigo_item& item, const WireItem& wire) {
    if (wire.hasMin) item.number.min = wire.min;
    if (wire.hasMax) item.number.max = wire.max;
    if (wire.hasStep) item.number.step = wire.step;
    if (!wire.format.empty()) copyField(item.number.format, wire.format.c_str());
}

// The value a define or set carries for a text, number, switch or light item; BLOB bytes
// go to buffers of their own (storeBlob).
void copyValue(indigo_item& item, indigo_property_type type, const WireItem& wire) {
    switch (type) {
    case INDIGO_TEXT_VECTOR:
        copyField(item.text.value, wire.text.c_str());
        break;
    case INDIGO_NUMBER_VECTOR:
        copyNumberFields(item, wire);
        item.number.value = item.number.target = wire.value;
        break;
    case INDIGO_SWITCH_VECTOR:
        item.sw.value = wire.on;
        break;
    case INDIGO_LIGHT_VECTOR:
        item.light.value = wire.light;
        break;
    case INDIGO_BLOB_VECTOR:
        break;
    }
}

} // namespace

MirrorDevices::MirrorDevices(std::string origin, std::function<void(std::string)> send, bool peerTakesEnableBlob)
    : origin_(std::move(origin)), send_(std::move(send)), peerTakesEnableBlob_(peerTakesEnableBlob) {}

MirrorDevices::~MirrorDevices() {
    removeAll();
}

void MirrorDevices::apply(WireMessage& message) {
    if (!message.invalid.empty()) {
        indigo_error("indigo: %s: message dropped: %s", origin_.c_str(), message.invalid.c_str());
        return;
    }
    switch (message.kind) {
    case MessageKind::Define:
        define(message);
        break;
    case MessageKind::Set:
        set(message);
        break;
    case MessageKind::Delete:
        remove(message);
        break;
    case MessageKind::Message:
        relayMessage(message);
        break;
    default:
        // New requests relayed from the peer's other clients, and requests to a client:
        // a device's mirror has nothing to do with them.
        break;
    }
}

MirrorDevices::DeviceMirror* MirrorDevices::deviceNamed(const std::string& name) const {
    const auto found = devices_.find(name);
    return found != devices_.end() ? found->second.get() : nullptr;
}

bool MirrorDevices::owns(const indigo_device* device) const {
    if (device == nullptr || device->enumerate_properties != &MirrorDevices::enumerateCallback) return false;
    return static_cast<const DeviceMirror*>(device->private_data)->owner == this;
}

std::string MirrorDevices::peerTimeout(const indigo_device* device, const std::string& busName) {
    if (device == nullptr || device->enumerate_properties != &MirrorDevices::enumerateCallback) return {};
    const auto* mirror = static_cast<const DeviceMirror*>(device->private_data);
    std::lock_guard lock(mirror->owner->mutex_);
    const auto found = mirror->properties.find(busName);
    return found != mirror->properties.end() ? found->second->timeout : std::string();
}

std::vector<std::string> MirrorDevices::deviceNames() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, device] : devices_)
        names.push_back(name);
    return names;
}

std::shared_ptr<MirrorDevices::PropertyMirror> MirrorDevices::build(const WireMessage& message,
                                                                    const std::string& busName) const {
    const int count = static_cast<int>(message.items.size());
    const char* device = message.device.c_str();
    const char* name = busName.c_str();
    const char* group = message.group.c_str();
    const char* label = message.label.c_str();
    const indigo_property_state state = message.state.value_or(INDIGO_IDLE_STATE);
    indigo_property* record = nullptr;
    switch (message.type) {
    case INDIGO_TEXT_VECTOR:
        record = indigo_init_text_property(nullptr, device, name, group, label, state, message.perm, count);
        break;
    case INDIGO_NUMBER_VECTOR:
        record = indigo_init_number_property(nullptr, device, name, group, label, state, message.perm, count);
        break;
    case INDIGO_SWITCH_VECTOR:
        record =
            indigo_init_switch_property(nullptr, device, name, group, label, state, message.perm, message.rule, count);
        break;
    case INDIGO_LIGHT_VECTOR:
        record = indigo_init_light_property(nullptr, device, name, group, label, state, count);
        break;
    case INDIGO_BLOB_VECTOR:
        record = indigo_init_blob_property(nullptr, device, name, group, label, state, count);
        if (record != nullptr) record->perm = message.perm;
        break;
    }
    if (record == nullptr) return nullptr;
    auto mirror = std::make_shared<PropertyMirror>();
    mirror->record = record;
    mirror->wireName = message.name;
    if (message.type == INDIGO_BLOB_VECTOR) mirror->blobs.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const WireItem& wire = message.items[static_cast<std::size_t>(i)];
        indigo_item* item = record->items + i;
        const std::string itemName(indigoItemName(message.name, wire.name));
        switch (message.type) {
        case INDIGO_TEXT_VECTOR:
            indigo_init_text_item(item, itemName.c_str(), wire.label.c_str(), wire.text.c_str());
            break;
        case INDIGO_NUMBER_VECTOR:
            indigo_init_number_item(item, itemName.c_str(), wire.label.c_str(), wire.min, wire.max, wire.step,
                                    wire.value);
            copyNumberFields(*item, wire);
            break;
        case INDIGO_SWITCH_VECTOR:
            indigo_init_switch_item(item, itemName.c_str(), wire.label.c_str(), wire.on);
            break;
        case INDIGO_LIGHT_VECTOR:
            indigo_init_light_item(item, itemName.c_str(), wire.label.c_str(), wire.light);
            break;
        case INDIGO_BLOB_VECTOR:
            indigo_init_blob_item(item, itemName.c_str(), wire.label.c_str());
            break;
        }
        mirror->wireItems.push_back(wire.name);
        mirror->itemByWire.emplace(wire.name, i);
        mirror->itemByBus.emplace(std::string(field(item->name)), i);
    }
    return mirror;
}

void MirrorDevices::define(WireMessage& message) {
    const std::string busName(indigoPropertyName(message.name));
    DeviceMirror* device = deviceNamed(message.device);
    if (device == nullptr) {
        auto made = std::make_unique<DeviceMirror>();
        made->owner = this;
        made->name = message.device;
        copyField(made->device.name, message.device.c_str());
        made->device.is_remote = true;
        made->device.version = INDIGO_VERSION_CURRENT;
        made->device.private_data = made.get();
        made->device.enumerate_properties = &MirrorDevices::enumerateCallback;
        made->device.change_property = &MirrorDevices::changeCallback;
        made->device.enable_blob = &MirrorDevices::enableBlobCallback;
        device = made.get();
        std::lock_guard lock(mutex_);
        devices_[message.device] = std::move(made);
    }
    if (!device->attached) {
        if (indigo_attach_device(&device->device) != INDIGO_OK) {
            indigo_error("indigo: %s: device '%s' could not be attached", origin_.c_str(), message.device.c_str());
            removeDevice(message.device);
            return;
        }
        device->attached = true;
        // The bus hands BLOBs to a client unless it says otherwise; ask the peer for them.
        sendBlobMode(*device, std::string(), std::string(), "Also");
    }

    std::shared_ptr<PropertyMirror> existing;
    {
        const auto found = device->properties.find(busName);
        if (found != device->properties.end()) existing = found->second;
    }
    const char* text = message.message.empty() ? nullptr : message.message.c_str();
    if (existing != nullptr) {
        indigo_property* record = existing->record;
        bool sameLayout = record->type == message.type && existing->wireItems.size() == message.items.size();
        for (std::size_t i = 0; sameLayout && i < message.items.size(); ++i)
            sameLayout = existing->wireItems[i] == message.items[i].name;
        if (sameLayout) {
            // Peers define some properties twice; the record is refreshed and defined again.
            {
                std::lock_guard lock(mutex_);
                existing->timeout = message.timeout;
            }
            copyField(record->label, message.label.c_str());
            copyField(record->group, message.group.c_str());
            record->state = message.state.value_or(INDIGO_IDLE_STATE);
            record->perm = message.perm;
            if (record->type == INDIGO_SWITCH_VECTOR) record->rule = message.rule;
            for (std::size_t i = 0; i < message.items.size(); ++i) {
                const WireItem& wire = message.items[i];
                indigo_item& item = record->items[i];
                copyField(item.label, wire.label.c_str());
                copyValue(item, record->type, wire);
            }
            indigo_define_property(&device->device, record, text);
            return;
        }
        removeProperty(*device, busName, nullptr);
    }

    std::shared_ptr<PropertyMirror> mirror = build(message, busName);
    if (mirror == nullptr) {
        indigo_error("indigo: %s: no memory for %s.%s", origin_.c_str(), message.device.c_str(), message.name.c_str());
        return;
    }
    {
        std::lock_guard lock(mutex_);
        mirror->order = ++definitions_;
        mirror->timeout = message.timeout;
        device->properties[busName] = mirror;
    }
    indigo_define_property(&device->device, mirror->record, text);
}

// Points slot.current at a buffer of size bytes that no peer is sending: the current one
// when it is free, else the other (or a new second one). False when memory runs out.
bool MirrorDevices::takeBlobBuffer(DeviceMirror& device, BlobSlot& slot, std::size_t size) {
    constexpr std::size_t kMaxBuffers = 2;
    auto& buffers = slot.buffers;
    std::size_t chosen = buffers.size();
    if (chosen > 0 && !buffers[slot.current]->onLoan()) {
        chosen = slot.current;
    } else {
        for (std::size_t i = 0; i < buffers.size() && chosen == buffers.size(); ++i) {
            if (!buffers[i]->onLoan()) chosen = i;
        }
    }
    try {
        if (chosen == buffers.size()) buffers.push_back(std::make_shared<LendableBytes>());
        std::shared_ptr<LendableBytes>& buffer = buffers[chosen];
        if (buffer->bytes.capacity() < size) {
            // Grown in a buffer of its own: the old one's address may still be held.
            auto larger = std::make_shared<LendableBytes>();
            larger->bytes.resize(size);
            if (buffer->bytes.capacity() > 0) {
                std::lock_guard lock(mutex_);
                device.retired.push_back(std::move(buffer));
            }
            buffer = std::move(larger);
        } else {
            buffer->bytes.resize(size);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    slot.current = chosen;
    slot.lendable = buffers.size() < kMaxBuffers;
    for (std::size_t i = 0; i < buffers.size() && !slot.lendable; ++i)
        slot.lendable = i != chosen && !buffers[i]->onLoan();
    return true;
}

namespace {

bool readPart(int fd, std::uint8_t* into, std::size_t offset, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, into + offset + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The first size bytes of a driver's shared memory. Read rather than mapped: a driver that
// shrinks it meanwhile costs a short read, not a fault, and there is no mapping to undo. A
// frame of many megabytes is read in parts by a few threads at once: one thread copies at
// well below what memory allows, and the peers get no byte of a frame before all of it is in.
bool readShared(int fd, std::uint8_t* into, std::size_t size) {
    constexpr std::size_t kPartSize = std::size_t{4} << 20;
    constexpr std::size_t kMaxParts = 4;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t parts = std::min({size / kPartSize, kMaxParts, cores});
    if (parts <= 1) return readPart(fd, into, 0, size);
    const std::size_t part = (size / parts + 4095) / 4096 * 4096;
    std::atomic<bool> ok{true};
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(parts - 1);
    } catch (const std::bad_alloc&) {
        return readPart(fd, into, 0, size);
    }
    for (std::size_t offset = part; offset < size; offset += part) {
        const std::size_t length = std::min(part, size - offset);
        auto read = [fd, into, offset, length, &ok] {
            if (!readPart(fd, into, offset, length)) ok.store(false);
        };
        try {
            helpers.emplace_back(read);
        } catch (const std::system_error&) {
            read();
        }
    }
    if (!readPart(fd, into, 0, std::min(part, size))) ok.store(false);
    for (std::thread& helper : helpers)
        helper.join();
    return ok.load();
}

} // namespace

void MirrorDevices::storeBlob(DeviceMirror& device, PropertyMirror& property, int index, WireItem& wire) {
    indigo_item& item = property.record->items[index];
    copyField(item.blob.format, wire.format.c_str());
    if (!wire.url.empty() && wire.bytes.empty()) {
        copyField(item.blob.url, wire.url.c_str());
        item.blob.value = nullptr;
        item.blob.size = 0;
        return;
    }
    item.blob.url[0] = '\0';
    item.blob.value = nullptr;
    item.blob.size = 0;
    const bool shared = wire.sharedFd >= 0 && wire.bytes.empty();
    const std::size_t size =
        shared ? static_cast<std::size_t>(std::max<std::int64_t>(wire.length, 0)) : wire.bytes.size();
    BlobSlot& slot = property.blobs[static_cast<std::size_t>(index)];
    if (!shared && size > 0) {
        // The decoded bytes become the item's buffer, no copy; the buffer they replace goes
        // back with the message, for the parser to decode the next frame into.
        if (!takeBlobBuffer(device, slot, 0)) {
            indigo_error("indigo: %s: no memory for a BLOB of %zu bytes", origin_.c_str(), size);
            return;
        }
        BlobBytes& bytes = slot.buffers[slot.current]->bytes;
        bytes.swap(wire.bytes);
        item.blob.value = bytes.data();
        item.blob.size = static_cast<std::int64_t>(size);
        return;
    }
    if (!takeBlobBuffer(device, slot, size)) {
        indigo_error("indigo: %s: no memory for a BLOB of %zu bytes", origin_.c_str(), size);
        return;
    }
    if (size == 0) return;
    std::uint8_t* const into = slot.buffers[slot.current]->bytes.data();
    if (!shared) {
        std::memcpy(into, wire.bytes.data(), size);
    } else if (!readShared(wire.sharedFd, into, size)) {
        indigo_error("indigo: %s: BLOB %s.%s: its shared memory could not be read", origin_.c_str(),
                     property.record->device, property.record->name);
        return;
    }
    item.blob.value = into;
    item.blob.size = static_cast<std::int64_t>(size);
}

void MirrorDevices::set(WireMessage& message) {
    DeviceMirror* device = deviceNamed(message.device);
    const std::string busName(indigoPropertyName(message.name));
    std::shared_ptr<PropertyMirror> property;
    if (device != nullptr) {
        const auto found = device->properties.find(busName);
        if (found != device->properties.end()) property = found->second;
    }
    if (property == nullptr || property->record->type != message.type) {
        // Peers do send sets for properties they have deleted or never defined.
        indigo_debug("indigo: %s: set of %s.%s, which is not defined, dropped", origin_.c_str(), message.device.c_str(),
                     message.name.c_str());
        return;
    }
    indigo_property* record = property->record;
    if (message.state) record->state = *message.state;
    if (!message.timeout.empty()) {
        std::lock_guard lock(mutex_);
        property->timeout = message.timeout;
    }
    for (WireItem& wire : message.items) {
        const auto found = property->itemByWire.find(wire.name);
        if (found == property->itemByWire.end()) continue;
        if (record->type == INDIGO_BLOB_VECTOR)
            storeBlob(*device, *property, found->second, wire);
        else
            copyValue(record->items[found->second], record->type, wire);
    }
    std::vector<std::shared_ptr<LendableBytes>> lent;
    for (const BlobSlot& slot : property->blobs) {
        if (slot.lendable && !slot.buffers.empty()) lent.push_back(slot.buffers[slot.current]);
    }
    const LoanScope loans(std::move(lent));
    indigo_update_property(&device->device, record, message.message.empty() ? nullptr : message.message.c_str());
}

void MirrorDevices::removeProperty(DeviceMirror& device, const std::string& busName, const char* message) {
    std::shared_ptr<PropertyMirror> property;
    {
        std::lock_guard lock(mutex_);
        const auto found = device.properties.find(busName);
        if (found == device.properties.end()) return;
        property = found->second;
        device.properties.erase(found);
        property->deleted.store(true);
        for (BlobSlot& slot : property->blobs) {
            for (auto& buffer : slot.buffers)
                device.retired.push_back(std::move(buffer));
            slot.buffers.clear();
        }
    }
    indigo_delete_property(&device.device, property->record, message);
    indigo_release_property(property->record);
}

void MirrorDevices::remove(WireMessage& message) {
    if (message.name.empty()) {
        removeDevice(message.device);
        return;
    }
    DeviceMirror* device = deviceNamed(message.device);
    if (device == nullptr) return;
    removeProperty(*device, std::string(indigoPropertyName(message.name)),
                   message.message.empty() ? nullptr : message.message.c_str());
    if (device->properties.empty()) removeDevice(message.device);
}

void MirrorDevices::removeDevice(const std::string& name) {
    std::unique_ptr<DeviceMirror> device;
    {
        std::lock_guard lock(mutex_);
        const auto found = devices_.find(name);
        if (found == devices_.end()) return;
        device = std::move(found->second);
        devices_.erase(found);
        device->gone = true;
    }
    detachAndFree(std::move(device));
}

void MirrorDevices::detachAndFree(std::unique_ptr<DeviceMirror> device) {
    // The bus deletes what is still defined from every client, then no call reaches the
    // device any more: only then do the records and buffers go.
    if (device->attached) indigo_detach_device(&device->device);
    for (auto& [name, property] : device->properties)
        indigo_release_property(property->record);
}

void MirrorDevices::removeAll() {
    std::map<std::string, std::unique_ptr<DeviceMirror>> devices;
    {
        std::lock_guard lock(mutex_);
        devices.swap(devices_);
        for (auto& [name, device] : devices)
            device->gone = true;
    }
    for (auto& [name, device] : devices)
        detachAndFree(std::move(device));
}

void MirrorDevices::relayMessage(const WireMessage& message) {
    DeviceMirror* device = message.device.empty() ? nullptr : deviceNamed(message.device);
    if (device != nullptr && device->attached) {
        indigo_send_message(&device->device, message.message.c_str());
        return;
    }
    // A message of a device we do not hold (or of none): the clients still learn its name.
    indigo_device named{};
    copyField(named.name, message.device.c_str());
    named.is_remote = true;
    indigo_send_message(message.device.empty() ? nullptr : &named, message.message.c_str());
}

indigo_result MirrorDevices::enumerateCallback(indigo_device* device, indigo_client* client, indigo_property* request) {
    auto* mirror = static_cast<DeviceMirror*>(device->private_data);
    mirror->owner->enumerate(*mirror, client, request);
    return INDIGO_OK;
}

indigo_result MirrorDevices::changeCallback(indigo_device* device, indigo_client*, indigo_property* request) {
    auto* mirror = static_cast<DeviceMirror*>(device->private_data);
    mirror->owner->forwardChange(*mirror, request);
    return INDIGO_OK;
}

indigo_result MirrorDevices::enableBlobCallback(indigo_device* device, indigo_client*, indigo_property* property,
                                                indigo_enable_blob_mode mode) {
    auto* mirror = static_cast<DeviceMirror*>(device->private_data);
    mirror->owner->forwardBlobMode(*mirror, property, mode);
    return INDIGO_OK;
}

void MirrorDevices::enumerate(DeviceMirror& device, indigo_client*, indigo_property* request) {
    std::vector<std::shared_ptr<PropertyMirror>> properties;
    {
        std::lock_guard lock(mutex_);
        if (device.gone) return;
        for (const auto& [name, property] : device.properties) {
            if (indigo_property_match(property->record, request)) {
                indigo_retain_property(property->record);
                properties.push_back(property);
            }
        }
    }
    std::sort(properties.begin(), properties.end(), [](const auto& a, const auto& b) { return a->order < b->order; });
    for (const auto& property : properties) {
        indigo_define_property(&device.device, property->record, nullptr);
        // The reader may have deleted it meanwhile: make sure the delete has the last word.
        if (property->deleted.load()) indigo_delete_property(&device.device, property->record, nullptr);
        indigo_release_property(property->record);
    }
}

void MirrorDevices::forwardChange(DeviceMirror& device, indigo_property* request) {
    std::string wireName;
    std::unordered_map<std::string, std::string> items;
    {
        std::lock_guard lock(mutex_);
        if (device.gone) return;
        const auto found = device.properties.find(std::string(field(request->name)));
        if (found == device.properties.end() || found->second->record->type != request->type) {
            indigo_debug("indigo: %s: change of %s.%s, which the peer has not defined, dropped", origin_.c_str(),
                         device.name.c_str(), request->name);
            return;
        }
        const PropertyMirror& property = *found->second;
        wireName = property.wireName;
        for (const auto& [busItem, index] : property.itemByBus)
            items.emplace(busItem, property.wireItems[static_cast<std::size_t>(index)]);
    }
    std::string text;
    writeNew(text, *request, PeerNames(std::move(wireName), std::move(items)));
    send_(std::move(text));
}

void MirrorDevices::forwardBlobMode(DeviceMirror& device, indigo_property* property, indigo_enable_blob_mode mode) {
    if (!peerTakesEnableBlob_) return;
    const std::string busName = property != nullptr ? std::string(field(property->name)) : std::string();
    bool wanted = mode != INDIGO_ENABLE_BLOB_NEVER;
    // One connection serves every client of the bus: BLOBs stop only when none wants them.
    if (!wanted) {
        for (const auto& entry : *Bus::instance().clients.snapshot()) {
            if (blobMode(entry->record, device.name.c_str(), busName.c_str()) != INDIGO_ENABLE_BLOB_NEVER) {
                wanted = true;
                break;
            }
        }
    }
    std::string wireName;
    if (!busName.empty()) {
        std::lock_guard lock(mutex_);
        const auto found = device.properties.find(busName);
        wireName = found != device.properties.end() ? found->second->wireName : std::string(indiPropertyName(busName));
    }
    sendBlobMode(device, busName, wireName, wanted ? "Also" : "Never");
}

void MirrorDevices::sendBlobMode(DeviceMirror& device, const std::string& busName, const std::string& wireName,
                                 const char* mode) {
    if (!peerTakesEnableBlob_) return;
    {
        std::lock_guard lock(mutex_);
        if (device.gone) return;
        std::string& sent = device.blobModeSent[busName];
        if (sent == mode) return;
        sent = mode;
    }
    std::string text;
    writeEnableBlob(text, device.name, wireName, mode);
    send_(std::move(text));
}

} // namespace zeta::indigo::wire
