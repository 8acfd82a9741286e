// The focuser device base.

#include "indigo/indigo_focuser_driver.h"

#include "indigo/bus/indigo_device_base_internal.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"

#include <array>
#include <cstdlib>

namespace {

std::array<indigo_property*, 5> focuserProperties(indigo_device* device) {
    return {FOCUSER_SPEED_PROPERTY, FOCUSER_DIRECTION_PROPERTY, FOCUSER_STEPS_PROPERTY, FOCUSER_POSITION_PROPERTY,
            FOCUSER_ABORT_MOTION_PROPERTY};
}

bool makeFocuserProperties(indigo_device* device) {
    const char* name = device->name;
    FOCUSER_SPEED_PROPERTY = indigo_init_number_property(nullptr, name, FOCUSER_SPEED_PROPERTY_NAME, FOCUSER_MAIN_GROUP,
                                                         "Focuser speed", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
    FOCUSER_DIRECTION_PROPERTY = indigo_init_switch_property(
        nullptr, name, FOCUSER_DIRECTION_PROPERTY_NAME, FOCUSER_MAIN_GROUP, "Movement direction", INDIGO_IDLE_STATE,
        INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 2);
    FOCUSER_STEPS_PROPERTY = indigo_init_number_property(nullptr, name, FOCUSER_STEPS_PROPERTY_NAME, FOCUSER_MAIN_GROUP,
                                                         "Relative move", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
    FOCUSER_POSITION_PROPERTY =
        indigo_init_number_property(nullptr, name, FOCUSER_POSITION_PROPERTY_NAME, FOCUSER_MAIN_GROUP,
                                    "Absolute position", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
    FOCUSER_ABORT_MOTION_PROPERTY =
        indigo_init_switch_property(nullptr, name, FOCUSER_ABORT_MOTION_PROPERTY_NAME, FOCUSER_MAIN_GROUP,
                                    "Abort motion", INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_AT_MOST_ONE_RULE, 1);
    for (indigo_property* property : focuserProperties(device)) {
        if (property == nullptr) return false;
    }
    indigo_init_number_item(FOCUSER_SPEED_ITEM, FOCUSER_SPEED_ITEM_NAME, "Speed", 1, 100, 1, 1);
    indigo_init_switch_item(FOCUSER_DIRECTION_MOVE_INWARD_ITEM, FOCUSER_DIRECTION_MOVE_INWARD_ITEM_NAME, "Move inward",
                            true);
    indigo_init_switch_item(FOCUSER_DIRECTION_MOVE_OUTWARD_ITEM, FOCUSER_DIRECTION_MOVE_OUTWARD_ITEM_NAME,
                            "Move outward", false);
    indigo_init_number_item(FOCUSER_STEPS_ITEM, FOCUSER_STEPS_ITEM_NAME, "Relative move (steps)", 0, 65535, 1, 0);
    indigo_init_number_item(FOCUSER_POSITION_ITEM, FOCUSER_POSITION_ITEM_NAME, "Absolute position", -1000000, 1000000,
                            1, 0);
    indigo_init_switch_item(FOCUSER_ABORT_MOTION_ITEM, FOCUSER_ABORT_MOTION_ITEM_NAME, "Abort motion", false);
    return true;
}

} // namespace

extern "C" {

indigo_result indigo_focuser_attach(indigo_device* device, unsigned version) {
    if (device == nullptr || device->device_context != nullptr) {
        indigo_error("indigo: focuser base needs a device without a context");
        return INDIGO_FAILED;
    }
    device->device_context = std::calloc(1, sizeof(indigo_focuser_context));
    if (device->device_context == nullptr) return INDIGO_FAILED;
    if (!zeta::indigo::attachDeviceBase(device, DEVICE_CONTEXT, version, INDIGO_INTERFACE_FOCUSER) ||
        !makeFocuserProperties(device)) {
        indigo_error("indigo: out of memory attaching focuser '%s'", device->name);
        indigo_focuser_detach(device);
        return INDIGO_FAILED;
    }
    return INDIGO_OK;
}

indigo_result indigo_focuser_enumerate_properties(indigo_device* device, indigo_client*, indigo_property* property) {
    if (device == nullptr || device->device_context == nullptr) return INDIGO_FAILED;
    zeta::indigo::enumerateDeviceBase(device, property, focuserProperties(device));
    return INDIGO_OK;
}

indigo_result indigo_focuser_change_property(indigo_device* device, indigo_client*, indigo_property* property) {
    if (device == nullptr || device->device_context == nullptr || property == nullptr) return INDIGO_FAILED;
    if (zeta::indigo::changeDeviceBase(device, property, focuserProperties(device)) || !IS_CONNECTED) return INDIGO_OK;
    for (indigo_property* setting : {FOCUSER_SPEED_PROPERTY, FOCUSER_DIRECTION_PROPERTY}) {
        if (zeta::indigo::acceptSetting(device, setting, property)) break;
    }
    return INDIGO_OK;
}

indigo_result indigo_focuser_detach(indigo_device* device) {
    if (device == nullptr || device->device_context == nullptr) return INDIGO_FAILED;
    zeta::indigo::detachDeviceBase(device, focuserProperties(device));
    std::free(device->device_context);
    device->device_context = nullptr;
    return INDIGO_OK;
}

} // extern "C"
