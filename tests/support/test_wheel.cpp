#include "support/test_wheel.h"

#include "indigo/bus/indigo_device_base_internal.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_timer.h"
#include "support/request_text.h"

#include <array>
#include <cstdlib>
#include <mutex>

namespace test_support {

namespace {

struct WheelContext {
    indigo_device_context base; // first: the device base reads it through DEVICE_CONTEXT
    indigo_property* slot;
    indigo_property* names;
};

#define WHEEL_CONTEXT ((WheelContext*)device->device_context)

} // namespace

struct TestWheel::Driver {
    std::string name;
    std::vector<std::string> filterNames;
    indigo_device device{};
    mutable std::mutex mutex;
    std::vector<std::string> requests;
    std::chrono::milliseconds moveTime{100};
    double target = 1;
    bool failNext = false;
    bool detached = false;

    static Driver* of(indigo_device* device) { return static_cast<Driver*>(device->private_data); }
    static std::array<indigo_property*, 2> own(indigo_device* device) {
        return {WHEEL_CONTEXT->slot, WHEEL_CONTEXT->names};
    }

    static indigo_result attach(indigo_device* device) {
        Driver* self = of(device);
        device->device_context = std::calloc(1, sizeof(WheelContext));
        if (device->device_context == nullptr ||
            !zeta::indigo::attachDeviceBase(device, DEVICE_CONTEXT, 1, INDIGO_INTERFACE_WHEEL))
            return INDIGO_FAILED;
        const int count = static_cast<int>(self->filterNames.size());
        WHEEL_CONTEXT->slot = indigo_init_number_property(nullptr, device->name, "WHEEL_SLOT", "Filter Wheel", "Slot",
                                                          INDIGO_OK_STATE, INDIGO_RW_PERM, 1);
        indigo_init_number_item(WHEEL_CONTEXT->slot->items, "SLOT", "Slot", 1, count, 1, 1);
        WHEEL_CONTEXT->names = indigo_init_text_property(nullptr, device->name, "WHEEL_SLOT_NAME", "Filter Wheel",
                                                         "Slot names", INDIGO_OK_STATE, INDIGO_RW_PERM, count);
        for (int i = 0; i < count; ++i) {
            const std::string item = "SLOT_NAME_" + std::to_string(i + 1);
            indigo_init_text_item(WHEEL_CONTEXT->names->items + i, item.c_str(), item.c_str(),
                                  self->filterNames[static_cast<std::size_t>(i)].c_str());
        }
        zeta::indigo::enumerateDeviceBase(device, nullptr, own(device));
        return INDIGO_OK;
    }

    static indigo_result enumerate(indigo_device* device, indigo_client*, indigo_property* request) {
        zeta::indigo::enumerateDeviceBase(device, request, own(device));
        return INDIGO_OK;
    }

    static indigo_result change(indigo_device* device, indigo_client*, indigo_property* request) {
        Driver* self = of(device);
        std::lock_guard lock(self->mutex);
        if (self->detached) return INDIGO_OK;
        self->requests.push_back(describeRequest(request));
        indigo_property* slot = WHEEL_CONTEXT->slot;
        if (zeta::indigo::changeDeviceBase(device, request, own(device))) return INDIGO_OK;
        if (!IS_CONNECTED || !indigo_property_match(slot, request)) return INDIGO_OK;
        double wanted = slot->items[0].number.value;
        for (int i = 0; i < request->count; ++i)
            if (std::string(request->items[i].name) == "SLOT") wanted = request->items[i].number.value;
        const bool fail = self->failNext;
        self->failNext = false;
        if (fail || wanted < 1 || wanted > static_cast<double>(self->filterNames.size())) {
            slot->state = INDIGO_ALERT_STATE;
            indigo_update_property(device, slot, "Slot out of range");
            return INDIGO_OK;
        }
        self->target = wanted;
        slot->state = INDIGO_BUSY_STATE;
        indigo_update_property(device, slot, nullptr);
        indigo_set_timer(device, std::chrono::duration<double>(self->moveTime).count(), arrived);
        return INDIGO_OK;
    }

    static void arrived(indigo_device* device) {
        Driver* self = of(device);
        std::lock_guard lock(self->mutex);
        if (self->detached) return; // the device is going: its records may be freed
        indigo_property* slot = WHEEL_CONTEXT->slot;
        if (!IS_CONNECTED || slot->state != INDIGO_BUSY_STATE) return;
        slot->items[0].number.value = self->target;
        slot->state = INDIGO_OK_STATE;
        indigo_update_property(device, slot, nullptr);
    }

    static indigo_result detach(indigo_device* device) {
        Driver* self = of(device);
        std::lock_guard lock(self->mutex);
        self->detached = true;
        zeta::indigo::detachDeviceBase(device, own(device));
        std::free(device->device_context);
        device->device_context = nullptr;
        return INDIGO_OK;
    }
};

TestWheel::TestWheel(std::string name, std::vector<std::string> filterNames) : driver_(std::make_unique<Driver>()) {
    driver_->name = std::move(name);
    driver_->filterNames = std::move(filterNames);
    indigo_copy_name(driver_->device.name, driver_->name.c_str());
    driver_->device.version = INDIGO_VERSION_CURRENT;
    driver_->device.private_data = driver_.get();
    driver_->device.attach = Driver::attach;
    driver_->device.enumerate_properties = Driver::enumerate;
    driver_->device.change_property = Driver::change;
    driver_->device.detach = Driver::detach;
    indigo_attach_device(&driver_->device);
}

TestWheel::~TestWheel() {
    indigo_detach_device(&driver_->device);
}

const std::string& TestWheel::name() const {
    return driver_->name;
}

void TestWheel::setMoveTime(std::chrono::milliseconds time) {
    std::lock_guard lock(driver_->mutex);
    driver_->moveTime = time;
}

void TestWheel::failNextMove() {
    std::lock_guard lock(driver_->mutex);
    driver_->failNext = true;
}

int TestWheel::slot() const {
    std::lock_guard lock(driver_->mutex);
    indigo_device* device = &driver_->device;
    if (driver_->detached) return 0;
    return WHEEL_CONTEXT && WHEEL_CONTEXT->slot ? static_cast<int>(WHEEL_CONTEXT->slot->items[0].number.value) : 0;
}

std::vector<std::string> TestWheel::requests() const {
    std::lock_guard lock(driver_->mutex);
    return driver_->requests;
}

} // namespace test_support
