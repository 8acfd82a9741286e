// Attaching clients and devices, and carrying events and requests between them.

#include "indigo/bus/blob_modes.h"
#include "indigo/bus/indigo_bus_internal.h"
#include "indigo/bus/indigo_timer_internal.h"
#include "indigo/bus/record.h"
#include "indigo/bus/text_field.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace zeta::indigo {

std::vector<const void*>& callsOnThisThread() {
    thread_local std::vector<const void*> calls = [] {
        std::vector<const void*> reserved;
        reserved.reserve(16);
        return reserved;
    }();
    return calls;
}

Bus& Bus::instance() {
    static Bus* bus = new Bus();
    return *bus;
}

namespace {

bool sameName(const char* a, const char* b) {
    return std::strncmp(a, b, INDIGO_NAME_SIZE) == 0;
}

} // namespace

void Bus::track(const indigo_device* device, indigo_property* property) {
    std::lock_guard lock(definedMutex_);
    auto& records = defined_[device];
    if (std::find(records.begin(), records.end(), property) != records.end()) return;
    records.push_back(property);
    headerOf(property)->definitions.fetch_add(1);
    retainRecord(property);
}

std::vector<indigo_property*> Bus::untrack(const indigo_device* device, const indigo_property* deleted) {
    std::vector<indigo_property*> removed;
    std::lock_guard lock(definedMutex_);
    auto found = defined_.find(device);
    if (found == defined_.end()) return removed;
    const bool everyName = deleted->name[0] == '\0';
    const bool everyDevice = everyName && deleted->device[0] == '\0';
    auto& records = found->second;
    auto kept = std::stable_partition(records.begin(), records.end(), [&](const indigo_property* record) {
        if (everyDevice) return false;
        if (!sameName(record->device, deleted->device)) return true;
        return !everyName && !sameName(record->name, deleted->name);
    });
    removed.assign(kept, records.end());
    records.erase(kept, records.end());
    if (records.empty()) defined_.erase(found);
    for (indigo_property* record : removed)
        headerOf(record)->definitions.fetch_sub(1);
    return removed;
}

std::vector<indigo_property*> Bus::untrackAll(const indigo_device* device) {
    std::vector<indigo_property*> removed;
    std::lock_guard lock(definedMutex_);
    auto found = defined_.find(device);
    if (found == defined_.end()) return removed;
    removed.swap(found->second);
    defined_.erase(found);
    for (indigo_property* record : removed)
        headerOf(record)->definitions.fetch_sub(1);
    return removed;
}

namespace {

// While a device enumerates for a client, its defines on this thread go to that client only.
struct EnumerationTarget {
    bool active = false;
    indigo_client* client = nullptr;
};

EnumerationTarget& enumerationTarget() {
    thread_local EnumerationTarget target;
    return target;
}

class EnumerationScope {
public:
    explicit EnumerationScope(indigo_client* client) : saved_(enumerationTarget()) {
        enumerationTarget() = EnumerationTarget{client != nullptr, client};
    }
    ~EnumerationScope() { enumerationTarget() = saved_; }
    EnumerationScope(const EnumerationScope&) = delete;
    EnumerationScope& operator=(const EnumerationScope&) = delete;

private:
    EnumerationTarget saved_;
};

std::atomic<std::uint64_t> eventCounter{0};
thread_local std::uint64_t eventOnThisThread = 0;

// Numbers one event for the length of its hand-out (a callback may post events of its own).
class EventScope {
public:
    EventScope() : saved_(eventOnThisThread) {
        eventOnThisThread = eventCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    ~EventScope() { eventOnThisThread = saved_; }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

private:
    std::uint64_t saved_;
};

// Calls fn(client) for every attached client, each inside a CallGuard, as one event.
template <class Fn>
void forEachClient(Fn&& fn) {
    EventScope event;
    auto clients = Bus::instance().clients.snapshot();
    for (const auto& entry : *clients) {
        CallGuard<indigo_client> guard(*entry);
        if (guard.entered()) fn(entry->record);
    }
}

// Calls fn(device) for every attached device of that name (empty: every device).
template <class Fn>
void forEachDeviceNamed(const char* name, Fn&& fn) {
    auto devices = Bus::instance().devices.snapshot();
    for (const auto& entry : *devices) {
        // Inside the guard even to read the name: a device detached meanwhile may be freed.
        CallGuard<indigo_device> guard(*entry);
        if (!guard.entered() || (name[0] != '\0' && !sameName(entry->record->name, name))) continue;
        fn(entry->record);
    }
}

void sendDelete(indigo_device* device, indigo_property* property, const char* message) {
    forEachClient([&](indigo_client* client) {
        if (client->delete_property != nullptr) client->delete_property(client, device, property, message);
    });
}

void releaseAll(const std::vector<indigo_property*>& records) {
    for (indigo_property* record : records)
        releaseRecord(record);
}

// Deletes from every client what the device still has defined; used when it detaches.
void deleteRemaining(indigo_device* device) {
    const std::vector<indigo_property*> remaining = Bus::instance().untrackAll(device);
    for (indigo_property* record : remaining)
        sendDelete(device, record, nullptr);
    releaseAll(remaining);
}

indigo_result dispatchChange(indigo_client* client, indigo_property* request) {
    if (request->device[0] == '\0') return INDIGO_OK;
    forEachDeviceNamed(request->device, [&](indigo_device* device) {
        if (device->change_property != nullptr) device->change_property(device, client, request);
    });
    return INDIGO_OK;
}

bool validRequest(const char* device, const char* name, int count, const char** items, const void* values) {
    if (device == nullptr || name == nullptr || name[0] == '\0' || count < 0) {
        indigo_error("indigo: change request without a device or property name refused");
        return false;
    }
    if (count > 0 && (items == nullptr || values == nullptr)) {
        indigo_error("indigo: change request for %s.%s without items refused", device, name);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (items[i] == nullptr) {
            indigo_error("indigo: change request for %s.%s with an unnamed item refused", device, name);
            return false;
        }
    }
    return true;
}

// Makes the request record, lets fill set each item's value, and sends it.
template <class Fill>
indigo_result sendRequest(indigo_client* client, indigo_property* request, int count, const char** items, Fill&& fill) {
    if (request == nullptr) return INDIGO_FAILED;
    for (int i = 0; i < count; ++i) {
        copyField(request->items[i].name, items[i]);
        fill(request->items[i], i);
    }
    const indigo_result result = dispatchChange(client, request);
    releaseRecord(request);
    return result;
}

} // namespace

std::uint64_t currentEventSerial() {
    return eventOnThisThread;
}

} // namespace zeta::indigo

using zeta::indigo::Bus;
using zeta::indigo::CallGuard;
using zeta::indigo::headerOf;

extern "C" {

indigo_result indigo_attach_device(indigo_device* device) {
    if (device == nullptr) return INDIGO_FAILED;
    Bus& bus = Bus::instance();
    if (!bus.devices.add(device)) {
        indigo_error("indigo: device '%s' is attached already", device->name);
        return INDIGO_FAILED;
    }
    auto entry = bus.devices.find(device);
    indigo_result result = INDIGO_OK;
    if (entry != nullptr && device->attach != nullptr) {
        CallGuard<indigo_device> guard(*entry);
        if (guard.entered()) result = device->attach(device);
    }
    device->last_result = result;
    return result;
}

indigo_result indigo_detach_device(indigo_device* device) {
    if (device == nullptr) return INDIGO_FAILED;
    Bus& bus = Bus::instance();
    auto entry = bus.devices.find(device);
    if (entry == nullptr || entry->detaching.exchange(true)) return INDIGO_FAILED;
    // Calls in flight on other threads end before the device frees what they read.
    bus.devices.remove(device);
    zeta::indigo::retireAttachment(*entry);
    const indigo_result result = device->detach != nullptr ? device->detach(device) : INDIGO_OK;
    zeta::indigo::cancelTimersOf(device);
    zeta::indigo::deleteRemaining(device);
    return result;
}

indigo_result indigo_define_property(indigo_device* device, indigo_property* property, const char* message) {
    if (headerOf(property) == nullptr) return INDIGO_FAILED;
    Bus::instance().track(device, property);
    const zeta::indigo::EnumerationTarget target = zeta::indigo::enumerationTarget();
    zeta::indigo::forEachClient([&](indigo_client* client) {
        if (target.active && client != target.client) return;
        if (client->define_property != nullptr) client->define_property(client, device, property, message);
    });
    return INDIGO_OK;
}

indigo_result indigo_update_property(indigo_device* device, indigo_property* property, const char* message) {
    zeta::indigo::RecordHeader* header = headerOf(property);
    if (header == nullptr) return INDIGO_FAILED;
    if (header->definitions.load(std::memory_order_relaxed) == 0) return INDIGO_OK; // nobody has it defined
    const bool blob = property->type == INDIGO_BLOB_VECTOR;
    zeta::indigo::forEachClient([&](indigo_client* client) {
        if (client->update_property == nullptr) return;
        if (blob && zeta::indigo::blobMode(client, property->device, property->name) == INDIGO_ENABLE_BLOB_NEVER)
            return;
        client->update_property(client, device, property, message);
    });
    return INDIGO_OK;
}

indigo_result indigo_delete_property(indigo_device* device, indigo_property* property, const char* message) {
    if (property == nullptr || (property->device[0] == '\0' && property->name[0] == '\0')) {
        if (device == nullptr) return INDIGO_FAILED;
        // Withdraw everything of the device, named by a record of our own.
        indigo_property* all =
            indigo_init_text_property(nullptr, device->name, "", "", "", INDIGO_IDLE_STATE, INDIGO_RO_PERM, 0);
        if (all == nullptr) return INDIGO_FAILED;
        const indigo_result result = indigo_delete_property(device, all, message);
        indigo_release_property(all);
        return result;
    }
    zeta::indigo::RecordHeader* header = headerOf(property);
    if (header == nullptr) return INDIGO_FAILED;
    const std::vector<indigo_property*> removed = Bus::instance().untrack(device, property);
    const bool everything = property->name[0] == '\0';
    if (!everything && removed.empty() && header->definitions.load() == 0)
        return INDIGO_OK; // never defined: nothing to withdraw
    zeta::indigo::sendDelete(device, property, message);
    zeta::indigo::releaseAll(removed);
    return INDIGO_OK;
}

indigo_result indigo_send_message(indigo_device* device, const char* message) {
    zeta::indigo::forEachClient([&](indigo_client* client) {
        if (client->send_message != nullptr) client->send_message(client, device, message);
    });
    return INDIGO_OK;
}

indigo_result indigo_attach_client(indigo_client* client) {
    if (client == nullptr) return INDIGO_FAILED;
    if (client->enable_blob_mode_records != nullptr) {
        indigo_error("indigo: client '%s' attached with BLOB mode records of its own", client->name);
        return INDIGO_FAILED;
    }
    Bus& bus = Bus::instance();
    if (!bus.clients.add(client)) {
        indigo_error("indigo: client '%s' is attached already", client->name);
        return INDIGO_FAILED;
    }
    auto entry = bus.clients.find(client);
    indigo_result result = INDIGO_OK;
    if (entry != nullptr && client->attach != nullptr) {
        CallGuard<indigo_client> guard(*entry);
        if (guard.entered()) result = client->attach(client);
    }
    client->last_result = result;
    return result;
}

indigo_result indigo_detach_client(indigo_client* client) {
    if (client == nullptr) return INDIGO_FAILED;
    Bus& bus = Bus::instance();
    auto entry = bus.clients.find(client);
    if (entry == nullptr || entry->detaching.exchange(true)) return INDIGO_FAILED;
    // Callbacks in flight on other threads end before the client lets go of what they use.
    bus.clients.remove(client);
    zeta::indigo::retireAttachment(*entry);
    const indigo_result result = client->detach != nullptr ? client->detach(client) : INDIGO_OK;
    zeta::indigo::forgetBlobModes(client);
    return result;
}

indigo_result indigo_enumerate_properties(indigo_client* client, indigo_property* property) {
    if (property == nullptr) property = INDIGO_ALL_PROPERTIES;
    // Enumeration goes by device and name: a request made with a typed record must not
    // narrow it to properties of that type.
    indigo_property* typeless = nullptr;
    if (property->type != 0) {
        typeless = indigo_init_text_property(nullptr, property->device, property->name, "", "", INDIGO_IDLE_STATE,
                                             INDIGO_RO_PERM, 0);
        if (typeless == nullptr) return INDIGO_FAILED;
        typeless->type = static_cast<indigo_property_type>(0);
        property = typeless;
    }
    zeta::indigo::forEachDeviceNamed(property->device, [&](indigo_device* device) {
        if (device->enumerate_properties == nullptr) return;
        zeta::indigo::EnumerationScope scope(client);
        device->enumerate_properties(device, client, property);
    });
    indigo_release_property(typeless);
    return INDIGO_OK;
}

indigo_result indigo_change_text_property(indigo_client* client, const char* device, const char* name, int count,
                                          const char** items, const char** values) {
    if (!zeta::indigo::validRequest(device, name, count, items, values)) return INDIGO_FAILED;
    indigo_property* request =
        indigo_init_text_property(nullptr, device, name, "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, count);
    return zeta::indigo::sendRequest(client, request, count, items, [&](indigo_item& item, int i) {
        zeta::indigo::copyField(item.text.value, values[i]);
    });
}

indigo_result indigo_change_number_property(indigo_client* client, const char* device, const char* name, int count,
                                            const char** items, const double* values) {
    if (!zeta::indigo::validRequest(device, name, count, items, values)) return INDIGO_FAILED;
    indigo_property* request =
        indigo_init_number_property(nullptr, device, name, "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, count);
    return zeta::indigo::sendRequest(client, request, count, items, [&](indigo_item& item, int i) {
        item.number.value = values[i];
        item.number.target = values[i];
    });
}

indigo_result indigo_change_switch_property(indigo_client* client, const char* device, const char* name, int count,
                                            const char** items, const bool* values) {
    if (!zeta::indigo::validRequest(device, name, count, items, values)) return INDIGO_FAILED;
    indigo_property* request = indigo_init_switch_property(nullptr, device, name, "", "", INDIGO_IDLE_STATE,
                                                           INDIGO_RW_PERM, INDIGO_ANY_OF_MANY_RULE, count);
    return zeta::indigo::sendRequest(client, request, count, items,
                                     [&](indigo_item& item, int i) { item.sw.value = values[i]; });
}

indigo_result indigo_change_property(indigo_client* client, indigo_property* property) {
    if (property == nullptr || property->device[0] == '\0' || property->name[0] == '\0') return INDIGO_FAILED;
    return zeta::indigo::dispatchChange(client, property);
}

indigo_result indigo_enable_blob(indigo_client* client, indigo_property* property, indigo_enable_blob_mode mode) {
    // The records live with the attachment: a client not attached would keep them forever.
    if (client == nullptr || Bus::instance().clients.find(client) == nullptr) return INDIGO_FAILED;
    if (property == nullptr) property = INDIGO_ALL_PROPERTIES;
    zeta::indigo::setBlobMode(client, property->device, property->name, mode);
    zeta::indigo::forEachDeviceNamed(property->device, [&](indigo_device* device) {
        if (device->enable_blob != nullptr) device->enable_blob(device, client, property, mode);
    });
    return INDIGO_OK;
}

indigo_enable_blob_mode indigo_get_enable_blob_mode(const indigo_client* client, const char* device, const char* name) {
    return zeta::indigo::blobMode(client, device, name);
}

} // extern "C"
