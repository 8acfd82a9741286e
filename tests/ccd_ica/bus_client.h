#pragma once
// An in-process client of the INDIGO bus for the driver tests: it copies every define,
// update and delete that reaches it (values, state, BLOB bytes), keeps the properties that
// are defined now, and lets a test wait for what it expects. Callbacks arrive on the
// driver's run loop; the test reads on its own thread.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "support/property_listener.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct ItemCopy {
    std::string name, label, text;
    double value = 0, min = 0, max = 0, step = 0;
    bool on = false;
};

struct PropertyCopy {
    std::string kind; // "define", "update", "delete"
    std::string device, name, group, label, message;
    indigo_property_state state = INDIGO_IDLE_STATE;
    indigo_property_perm perm = INDIGO_RO_PERM;
    indigo_property_type type = INDIGO_TEXT_VECTOR;
    std::vector<ItemCopy> items;
    std::vector<uint8_t> blob;
    std::string blobFormat;

    const ItemCopy* item(const std::string& itemName) const {
        for (const auto& i : items) {
            if (i.name == itemName) return &i;
        }
        return nullptr;
    }
    // The names of the items that are on.
    std::vector<std::string> on() const {
        std::vector<std::string> names;
        for (const auto& i : items) {
            if (i.on) names.push_back(i.name);
        }
        return names;
    }
    std::vector<std::string> itemNames() const {
        std::vector<std::string> names;
        for (const auto& i : items)
            names.push_back(i.name);
        return names;
    }
};

class BusClient : public test_support::PropertyListener {
public:
    explicit BusClient(const char* name) : PropertyListener(name) {}

    // Every event so far for the device (all devices when empty).
    std::vector<PropertyCopy> events(const std::string& device = "") {
        std::lock_guard lock(mutex_);
        std::vector<PropertyCopy> found;
        for (const auto& e : events_) {
            if (device.empty() || e.device == device) found.push_back(e);
        }
        return found;
    }
    std::size_t eventCount() {
        std::lock_guard lock(mutex_);
        return events_.size();
    }
    // Events from the index on, for one device and property (empty name: any).
    std::vector<PropertyCopy> eventsSince(std::size_t index, const std::string& device, const std::string& name = "") {
        std::lock_guard lock(mutex_);
        std::vector<PropertyCopy> found;
        for (std::size_t i = index; i < events_.size(); ++i) {
            if (events_[i].device == device && (name.empty() || events_[i].name == name)) found.push_back(events_[i]);
        }
        return found;
    }
    // The property as defined now (its last define or update), none when it is not defined.
    std::optional<PropertyCopy> property(const std::string& device, const std::string& name) {
        std::lock_guard lock(mutex_);
        const auto found = defined_.find({device, name});
        if (found == defined_.end()) return std::nullopt;
        return found->second;
    }
    std::vector<std::string> definedNames(const std::string& device) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> names;
        for (const auto& [key, copy] : defined_) {
            if (key.first == device) names.push_back(key.second);
        }
        return names;
    }
    // Waits until the predicate holds for the client's state; it runs under the client's lock.
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, done);
    }
    // Waits for an event of the property, from the index on, that satisfies the predicate.
    std::optional<PropertyCopy> waitFor(std::size_t from, const std::string& device, const std::string& name,
                                        const std::function<bool(const PropertyCopy&)>& match,
                                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::optional<PropertyCopy> found;
        waitUntil(
            [&] {
                for (std::size_t i = from; i < events_.size(); ++i) {
                    if (events_[i].device == device && events_[i].name == name && match(events_[i])) {
                        found = events_[i];
                        return true;
                    }
                }
                return false;
            },
            timeout);
        return found;
    }
    // Lock-free reads for use inside waitUntil predicates.
    const std::vector<PropertyCopy>& eventsLocked() const { return events_; }
    bool definedLocked(const std::string& device, const std::string& name) const {
        return defined_.count({device, name}) != 0;
    }
    bool anyDefinedLocked(const std::string& device) const {
        for (const auto& [key, copy] : defined_) {
            if (key.first == device) return true;
        }
        return false;
    }

private:
    indigo_result record(const char* kind, indigo_property* p, const char* message) override {
        PropertyCopy copy;
        copy.kind = kind;
        copy.device = p->device;
        copy.name = p->name;
        copy.group = p->group;
        copy.label = p->label;
        copy.message = message != nullptr ? message : "";
        copy.state = p->state;
        copy.perm = p->perm;
        copy.type = p->type;
        for (int i = 0; i < p->count; ++i) {
            const indigo_item& item = p->items[i];
            ItemCopy c;
            c.name = item.name;
            c.label = item.label;
            switch (p->type) {
            case INDIGO_TEXT_VECTOR:
                c.text = item.text.value;
                break;
            case INDIGO_NUMBER_VECTOR:
                c.value = item.number.value;
                c.min = item.number.min;
                c.max = item.number.max;
                c.step = item.number.step;
                break;
            case INDIGO_SWITCH_VECTOR:
                c.on = item.sw.value;
                break;
            case INDIGO_BLOB_VECTOR:
                if (item.blob.value != nullptr && item.blob.size > 0) {
                    const auto* bytes = static_cast<const uint8_t*>(item.blob.value);
                    copy.blob.assign(bytes, bytes + item.blob.size);
                }
                copy.blobFormat = item.blob.format;
                break;
            default:
                break;
            }
            copy.items.push_back(c);
        }
        {
            std::lock_guard lock(mutex_);
            if (copy.kind == "delete") {
                // A delete names one property, or every property of the device.
                for (auto it = defined_.begin(); it != defined_.end();) {
                    const bool match =
                        it->first.first == copy.device && (copy.name.empty() || it->first.second == copy.name);
                    it = match ? defined_.erase(it) : std::next(it);
                }
            } else if (copy.kind == "define" || defined_.count({copy.device, copy.name})) {
                defined_[{copy.device, copy.name}] = copy;
            }
            events_.push_back(std::move(copy));
        }
        changed_.notify_all();
        return INDIGO_OK;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PropertyCopy> events_;
    std::map<std::pair<std::string, std::string>, PropertyCopy> defined_;
};
