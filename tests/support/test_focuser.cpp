#include "support/test_focuser.h"

#include "indigo/indigo_focuser_driver.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_timer.h"
#include "support/request_text.h"

#include <algorithm>

namespace test_support {

struct TestFocuser::Driver {
    Options options;
    indigo_device device{};
    indigo_property* temperature = nullptr;
    mutable std::mutex mutex;
    std::vector<std::string> events;
    std::chrono::milliseconds moveTime{200};
    std::chrono::steady_clock::time_point moveEnd;
    bool moving = false;
    bool failNext = false;
    bool detached = false;
    double position = 0;
    double stepsToGo = 0;

    static Driver* of(indigo_device* device) { return static_cast<Driver*>(device->private_data); }

    static indigo_result attach(indigo_device* device) {
        Driver* self = of(device);
        if (indigo_focuser_attach(device, 1) != INDIGO_OK) return INDIGO_FAILED;
        FOCUSER_ABORT_MOTION_PROPERTY->hidden = !self->options.abort;
        FOCUSER_SPEED_ITEM->number.value = self->options.speed;
        FOCUSER_SPEED_ITEM->number.step = self->options.speedStep;
        self->temperature =
            indigo_init_number_property(nullptr, device->name, "FOCUSER_TEMPERATURE", FOCUSER_MAIN_GROUP, "Temperature",
                                        INDIGO_OK_STATE, INDIGO_RO_PERM, 1);
        indigo_init_number_item(self->temperature->items, "TEMPERATURE", "Temperature (°C)", -50, 70, 0,
                                self->options.celsius);
        self->temperature->hidden = !self->options.temperature;
        return indigo_focuser_enumerate_properties(device, nullptr, nullptr);
    }

    static indigo_result enumerate(indigo_device* device, indigo_client* client, indigo_property* request) {
        indigo_focuser_enumerate_properties(device, client, request);
        Driver* self = of(device);
        if (IS_CONNECTED && !self->temperature->hidden && indigo_property_match(self->temperature, request))
            indigo_define_property(device, self->temperature, nullptr);
        return INDIGO_OK;
    }

    static indigo_result change(indigo_device* device, indigo_client* client, indigo_property* request) {
        Driver* self = of(device);
        std::lock_guard lock(self->mutex);
        if (self->detached) return INDIGO_OK;
        self->events.push_back(describeRequest(request));
        if (indigo_property_match(FOCUSER_STEPS_PROPERTY, request)) {
            if (!IS_CONNECTED) return INDIGO_OK;
            indigo_property_copy_values(FOCUSER_STEPS_PROPERTY, request, false);
            self->stepsToGo = FOCUSER_STEPS_ITEM->number.value;
            self->moving = true;
            self->moveEnd = std::chrono::steady_clock::now() + self->moveTime;
            FOCUSER_STEPS_PROPERTY->state = INDIGO_BUSY_STATE;
            indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
            indigo_set_timer(device, std::chrono::duration<double>(self->moveTime).count(), moveTimer);
            return INDIGO_OK;
        }
        if (indigo_property_match(FOCUSER_ABORT_MOTION_PROPERTY, request)) {
            if (!IS_CONNECTED) return INDIGO_OK;
            if (self->moving) {
                self->moving = false;
                self->events.push_back("aborted");
                FOCUSER_STEPS_PROPERTY->state = INDIGO_ALERT_STATE;
                indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
            }
            FOCUSER_ABORT_MOTION_ITEM->sw.value = false;
            FOCUSER_ABORT_MOTION_PROPERTY->state = INDIGO_OK_STATE;
            indigo_update_property(device, FOCUSER_ABORT_MOTION_PROPERTY, nullptr);
            return INDIGO_OK;
        }
        const bool connection = indigo_property_match(CONNECTION_PROPERTY, request);
        const bool wasConnected = IS_CONNECTED;
        bool wanted = wasConnected;
        for (int i = 0; connection && i < request->count; ++i) {
            const std::string item = request->items[i].name;
            if (item == CONNECTION_CONNECTED_ITEM_NAME) wanted = request->items[i].sw.value;
            if (item == CONNECTION_DISCONNECTED_ITEM_NAME && request->items[i].sw.value) wanted = false;
        }
        // The temperature is there before the connection is reported, like the base's own.
        const bool showTemperature = connection && !self->temperature->hidden;
        if (showTemperature && wanted && !wasConnected) indigo_define_property(device, self->temperature, nullptr);
        indigo_focuser_change_property(device, client, request);
        if (showTemperature && !wanted && wasConnected) indigo_delete_property(device, self->temperature, nullptr);
        return INDIGO_OK;
    }

    static void moveTimer(indigo_device* device) {
        Driver* self = of(device);
        std::lock_guard lock(self->mutex);
        if (!self->moving || self->detached) return; // aborted, or the device is going
        const auto left = self->moveEnd - std::chrono::steady_clock::now();
        if (left > std::chrono::steady_clock::duration::zero()) {
            // The timer of an earlier, aborted move: this move has time left.
            indigo_set_timer(device, std::chrono::duration<double>(left).count(), moveTimer);
            return;
        }
        self->moving = false;
        const bool outward = FOCUSER_DIRECTION_MOVE_OUTWARD_ITEM->sw.value;
        self->position += outward ? self->stepsToGo : -self->stepsToGo;
        FOCUSER_POSITION_ITEM->number.value = self->position;
        FOCUSER_POSITION_PROPERTY->state = INDIGO_OK_STATE;
        indigo_update_property(device, FOCUSER_POSITION_PROPERTY, nullptr);
        const bool fail = self->failNext;
        self->failNext = false;
        FOCUSER_STEPS_PROPERTY->state = fail ? INDIGO_ALERT_STATE : INDIGO_OK_STATE;
        self->events.push_back(fail ? "moved Alert" : "moved Ok");
        indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
    }

    static indigo_result detach(indigo_device* device) {
        Driver* self = of(device);
        // A move's timer may fire while the device goes: it finds the flag, not freed records.
        std::lock_guard lock(self->mutex);
        self->detached = true;
        self->moving = false;
        if (self->temperature) {
            if (IS_CONNECTED && !self->temperature->hidden) indigo_delete_property(device, self->temperature, nullptr);
            indigo_release_property(self->temperature);
            self->temperature = nullptr;
        }
        return indigo_focuser_detach(device);
    }
};

TestFocuser::TestFocuser(Options options) : options_(std::move(options)), driver_(std::make_unique<Driver>()) {
    driver_->options = options_;
    indigo_copy_name(driver_->device.name, options_.name.c_str());
    driver_->device.version = INDIGO_VERSION_CURRENT;
    driver_->device.private_data = driver_.get();
    driver_->device.attach = Driver::attach;
    driver_->device.enumerate_properties = Driver::enumerate;
    driver_->device.change_property = Driver::change;
    driver_->device.detach = Driver::detach;
    indigo_attach_device(&driver_->device);
}

TestFocuser::~TestFocuser() {
    indigo_detach_device(&driver_->device);
}

void TestFocuser::setMoveTime(std::chrono::milliseconds time) {
    std::lock_guard lock(driver_->mutex);
    driver_->moveTime = time;
}

void TestFocuser::failNextMove() {
    std::lock_guard lock(driver_->mutex);
    driver_->failNext = true;
}

void TestFocuser::injectStepsState(indigo_property_state state) {
    indigo_device* device = &driver_->device;
    std::lock_guard lock(driver_->mutex);
    if (driver_->detached || !IS_CONNECTED) return;
    FOCUSER_STEPS_PROPERTY->state = state;
    indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
}

double TestFocuser::position() const {
    std::lock_guard lock(driver_->mutex);
    return driver_->position;
}

bool TestFocuser::moving() const {
    std::lock_guard lock(driver_->mutex);
    return driver_->moving;
}

std::vector<std::string> TestFocuser::events() const {
    std::lock_guard lock(driver_->mutex);
    return driver_->events;
}

std::vector<std::string> TestFocuser::requests() const {
    auto all = events();
    std::erase_if(all, [](const std::string& e) { return e.rfind("moved", 0) == 0 || e == "aborted"; });
    return all;
}

void TestFocuser::clearEvents() {
    std::lock_guard lock(driver_->mutex);
    driver_->events.clear();
}

} // namespace test_support
