#pragma once
// Small real participants for bus tests: the recording client, and a device with one number
// property that answers changes.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"
#include "support/recording_client.h"

#include <atomic>

namespace indigo_test {

using test_support::BusEvent;
using test_support::RecordingClient;

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
