#pragma once
// The fixture device of the tests: an in-process bus device that defines the properties it is
// given, records every change request and BLOB mode that reaches it, and posts whatever
// events a test asks for; and makers of the property records it is given.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "support/request_text.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace test_support {

// One change request as the device saw it; values written as text ("On"/"Off" for switches).
struct Change {
    std::string property;
    std::vector<std::string> names;
    std::vector<std::string> values;

    std::string brief() const {
        std::string text = property;
        for (std::size_t i = 0; i < names.size(); ++i)
            text += " " + names[i] + "=" + values[i];
        return text;
    }
};

class FixtureDevice {
public:
    explicit FixtureDevice(const char* name) {
        indigo_copy_name(device.name, name);
        device.version = INDIGO_VERSION_CURRENT;
        device.private_data = this;
        device.attach = [](indigo_device* d) {
            for (indigo_property* property : self(d)->snapshot())
                indigo_define_property(d, property, nullptr);
            return INDIGO_OK;
        };
        device.enumerate_properties = [](indigo_device* d, indigo_client*, indigo_property* request) {
            for (indigo_property* property : self(d)->snapshot())
                if (indigo_property_match(property, request)) indigo_define_property(d, property, nullptr);
            return INDIGO_OK;
        };
        device.change_property = [](indigo_device* d, indigo_client*, indigo_property* request) {
            self(d)->record(request);
            if (self(d)->onChange) self(d)->onChange(request);
            return INDIGO_OK;
        };
        device.enable_blob = [](indigo_device* d, indigo_client*, indigo_property* property,
                                indigo_enable_blob_mode mode) {
            std::lock_guard lock(self(d)->mutex_);
            self(d)->blobModes_.emplace_back(property != nullptr ? property->name : "", mode);
            self(d)->changed_.notify_all();
            return INDIGO_OK;
        };
    }
    ~FixtureDevice() {
        if (attached_) indigo_detach_device(&device);
        for (indigo_property* property : properties_)
            indigo_release_property(property);
    }
    FixtureDevice(const FixtureDevice&) = delete;
    FixtureDevice& operator=(const FixtureDevice&) = delete;

    // Keeps the record (taking over the maker's reference); defined at attach and enumeration.
    indigo_property* add(indigo_property* property) {
        std::lock_guard lock(mutex_);
        properties_.push_back(property);
        return property;
    }

    void attach() {
        attached_ = true;
        indigo_attach_device(&device);
    }
    void detach() {
        if (attached_) indigo_detach_device(&device);
        attached_ = false;
    }

    void define(indigo_property* property, const char* message = nullptr) {
        indigo_define_property(&device, property, message);
    }
    void update(indigo_property* property, const char* message = nullptr) {
        indigo_update_property(&device, property, message);
    }
    void remove(indigo_property* property, const char* message = nullptr) {
        indigo_delete_property(&device, property, message);
    }

    std::vector<Change> changes() {
        std::lock_guard lock(mutex_);
        return changes_;
    }
    std::vector<std::string> briefs() {
        std::vector<std::string> result;
        for (const Change& change : changes())
            result.push_back(change.brief());
        return result;
    }
    std::vector<std::pair<std::string, indigo_enable_blob_mode>> blobModes() {
        std::lock_guard lock(mutex_);
        return blobModes_;
    }
    // Waits until at least count changes (and count BLOB modes, for the second form) arrived.
    bool waitForChanges(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return changes_.size() >= count; });
    }
    bool waitForBlobModes(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return blobModes_.size() >= count; });
    }

    indigo_device device{};
    // Runs on the requesting thread after a change is recorded (set before attaching).
    std::function<void(const indigo_property* request)> onChange;

private:
    static FixtureDevice* self(indigo_device* d) { return static_cast<FixtureDevice*>(d->private_data); }

    std::vector<indigo_property*> snapshot() {
        std::lock_guard lock(mutex_);
        return properties_;
    }

    void record(const indigo_property* request) {
        Change change{request->name, {}, {}};
        for (int i = 0; i < request->count; ++i) {
            change.names.emplace_back(request->items[i].name);
            change.values.push_back(requestValue(request, request->items[i]));
        }
        std::lock_guard lock(mutex_);
        changes_.push_back(std::move(change));
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<indigo_property*> properties_;
    std::vector<Change> changes_;
    std::vector<std::pair<std::string, indigo_enable_blob_mode>> blobModes_;
    bool attached_ = false;
};

// Property records for tests.
inline indigo_property* switchProperty(const char* device, const char* name, const char* group,
                                       std::vector<std::pair<const char*, bool>> items,
                                       indigo_property_state state = INDIGO_OK_STATE) {
    indigo_property* property = indigo_init_switch_property(nullptr, device, name, group, name, state, INDIGO_RW_PERM,
                                                            INDIGO_ONE_OF_MANY_RULE, static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        indigo_init_switch_item(property->items + i, items[i].first, items[i].first, items[i].second);
    return property;
}

inline indigo_property* numberProperty(const char* device, const char* name, const char* group,
                                       std::vector<std::pair<const char*, double>> items) {
    indigo_property* property = indigo_init_number_property(nullptr, device, name, group, name, INDIGO_IDLE_STATE,
                                                            INDIGO_RW_PERM, static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        indigo_init_number_item(property->items + i, items[i].first, items[i].first, -1e9, 1e9, 1, items[i].second);
    return property;
}

inline indigo_property* textProperty(const char* device, const char* name, const char* group,
                                     std::vector<std::pair<const char*, const char*>> items) {
    indigo_property* property = indigo_init_text_property(nullptr, device, name, group, name, INDIGO_IDLE_STATE,
                                                          INDIGO_RW_PERM, static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        indigo_init_text_item(property->items + i, items[i].first, items[i].first, items[i].second);
    return property;
}

inline indigo_property* blobProperty(const char* device, const char* name, const char* group, const char* item) {
    indigo_property* property = indigo_init_blob_property(nullptr, device, name, group, name, INDIGO_IDLE_STATE, 1);
    indigo_init_blob_item(property->items, item, item);
    return property;
}

} // namespace test_support
