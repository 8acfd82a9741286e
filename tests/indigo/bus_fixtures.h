#pragma once
// Small real participants for bus tests: a client that records what reaches it, and a
// device with one number property that answers changes.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "support/property_listener.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace indigo_test {

struct Event {
    std::string kind; // "define", "update", "delete", "message"
    std::string device;
    std::string name;
    std::string message;
    indigo_property_state state = INDIGO_IDLE_STATE;
    indigo_property* record = nullptr;
    std::thread::id thread;

    std::string brief() const { return kind + " " + device + "." + name; }
};

class RecordingClient : public test_support::PropertyListener {
public:
    explicit RecordingClient(const char* name) : PropertyListener(name) {
        client.attach = [](indigo_client* c) {
            self(c)->attachThread = std::this_thread::get_id();
            return INDIGO_OK;
        };
        client.send_message = [](indigo_client* c, indigo_device* d, const char* m) {
            Event event{"message", d != nullptr ? d->name : "", "", m != nullptr ? m : "", INDIGO_IDLE_STATE,
                        nullptr,   std::this_thread::get_id()};
            std::lock_guard lock(self(c)->mutex);
            self(c)->events.push_back(event);
            return INDIGO_OK;
        };
        client.detach = [](indigo_client* c) {
            self(c)->detached = true;
            return INDIGO_OK;
        };
    }
    ~RecordingClient() override { indigo_detach_client(&client); }

    std::vector<Event> take() {
        std::lock_guard lock(mutex);
        std::vector<Event> taken;
        taken.swap(events);
        return taken;
    }
    std::vector<std::string> briefs() {
        std::vector<std::string> result;
        for (const Event& event : take())
            result.push_back(event.brief());
        return result;
    }

    std::mutex mutex;
    std::vector<Event> events;
    std::thread::id attachThread;
    std::atomic<bool> detached{false};
    // Runs inside every define/update/delete, after the event is recorded.
    void setOnEvent(std::function<void(const Event&)> handler) {
        std::lock_guard lock(mutex);
        onEvent_ = std::move(handler);
    }

private:
    static RecordingClient* self(indigo_client* c) { return owner<RecordingClient>(c); }

    indigo_result record(const char* kind, indigo_property* p, const char* message) override {
        Event event{
            kind, p->device, p->name, message != nullptr ? message : "", p->state, p, std::this_thread::get_id()};
        std::function<void(const Event&)> handler;
        {
            std::lock_guard lock(mutex);
            events.push_back(event);
            handler = onEvent_;
        }
        if (handler) handler(event);
        return INDIGO_OK;
    }

    std::function<void(const Event&)> onEvent_;
};

// A device with the number property VALUE (item X) that takes every change: values
// copied in, state Ok, updated.
class NumberDevice {
public:
    explicit NumberDevice(const char* name) {
        indigo_copy_name(device.name, name);
        device.version = INDIGO_VERSION_CURRENT;
        device.private_data = this;
        value =
            indigo_init_number_property(nullptr, name, "VALUE", "Main", "Value", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
        indigo_init_number_item(value->items, "X", "X", -1e9, 1e9, 1, 0);
        device.attach = [](indigo_device* d) {
            return indigo_define_property(d, self(d)->value, nullptr);
        };
        device.enumerate_properties = [](indigo_device* d, indigo_client*, indigo_property* request) {
            if (indigo_property_match(self(d)->value, request)) indigo_define_property(d, self(d)->value, nullptr);
            return INDIGO_OK;
        };
        device.change_property = [](indigo_device* d, indigo_client* client, indigo_property* request) {
            NumberDevice* me = self(d);
            me->changes++;
            me->lastClient = client;
            if (!indigo_property_match(me->value, request)) return INDIGO_OK;
            indigo_property_copy_values(me->value, request, false);
            me->value->state = INDIGO_OK_STATE;
            return indigo_update_property(d, me->value, nullptr);
        };
        device.detach = [](indigo_device* d) {
            return indigo_delete_property(d, self(d)->value, nullptr);
        };
    }
    ~NumberDevice() {
        indigo_detach_device(&device);
        indigo_release_property(value);
    }
    NumberDevice(const NumberDevice&) = delete;
    NumberDevice& operator=(const NumberDevice&) = delete;

    indigo_device device{};
    indigo_property* value = nullptr;
    std::atomic<int> changes{0};
    std::atomic<indigo_client*> lastClient{nullptr};

private:
    static NumberDevice* self(indigo_device* d) { return static_cast<NumberDevice*>(d->private_data); }
};

inline indigo_result setNumber(indigo_client* client, const char* device, const char* name, const char* item,
                               double v) {
    const char* items[] = {item};
    const double values[] = {v};
    return indigo_change_number_property(client, device, name, 1, items, values);
}

} // namespace indigo_test
