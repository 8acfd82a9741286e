#include "indigo/bus/indigo_device_base_internal.h"
#include "indigo/indigo_property.h"

#include <cstdio>

namespace zeta::indigo {

bool attachDeviceBase(indigo_device* device, indigo_device_context* context, unsigned version, int interfaceBits) {
    context->connection_property =
        indigo_init_switch_property(nullptr, device->name, CONNECTION_PROPERTY_NAME, MAIN_GROUP, "Connection status",
                                    INDIGO_OK_STATE, INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 2);
    context->info_property = indigo_init_text_property(nullptr, device->name, INFO_PROPERTY_NAME, MAIN_GROUP,
                                                       "Device info", INDIGO_IDLE_STATE, INDIGO_RO_PERM, 5);
    context->config_property =
        indigo_init_switch_property(nullptr, device->name, CONFIG_PROPERTY_NAME, MAIN_GROUP, "Configuration control",
                                    INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_AT_MOST_ONE_RULE, 3);
    if (context->connection_property == nullptr || context->info_property == nullptr ||
        context->config_property == nullptr)
        return false;

    indigo_property* connection = context->connection_property;
    indigo_init_switch_item(connection->items + 0, CONNECTION_CONNECTED_ITEM_NAME, "Connected", false);
    indigo_init_switch_item(connection->items + 1, CONNECTION_DISCONNECTED_ITEM_NAME, "Disconnected", true);

    char versionText[32];
    std::snprintf(versionText, sizeof versionText, "%u.%u", (version >> 8) & 0xFFu, version & 0xFFu);
    char interfaceText[16];
    std::snprintf(interfaceText, sizeof interfaceText, "%d", interfaceBits);
    char frameworkVersion[32];
    std::snprintf(frameworkVersion, sizeof frameworkVersion, "%d.%d-%d", INDIGO_VERSION_MAJOR, INDIGO_VERSION_MINOR,
                  INDIGO_BUILD);
    indigo_property* info = context->info_property;
    indigo_init_text_item(info->items + 0, INFO_DEVICE_NAME_ITEM_NAME, "Device name", device->name);
    indigo_init_text_item(info->items + 1, INFO_DEVICE_VERSION_ITEM_NAME, "Device version", versionText);
    indigo_init_text_item(info->items + 2, INFO_DEVICE_INTERFACE_ITEM_NAME, "Interface", interfaceText);
    indigo_init_text_item(info->items + 3, INFO_FRAMEWORK_NAME_ITEM_NAME, "Framework name", "INDIGO");
    indigo_init_text_item(info->items + 4, INFO_FRAMEWORK_VERSION_ITEM_NAME, "Framework version", frameworkVersion);

    indigo_property* config = context->config_property;
    indigo_init_switch_item(config->items + 0, CONFIG_LOAD_ITEM_NAME, "Load", false);
    indigo_init_switch_item(config->items + 1, CONFIG_SAVE_ITEM_NAME, "Save", false);
    indigo_init_switch_item(config->items + 2, CONFIG_REMOVE_ITEM_NAME, "Remove", false);
    return true;
}

void defineIfMatching(indigo_device* device, indigo_property* property, const indigo_property* request) {
    if (property != nullptr && !property->hidden && indigo_property_match(property, request))
        indigo_define_property(device, property, nullptr);
}

void enumerateDeviceBase(indigo_device* device, const indigo_property* request, ConnectedProperties connected) {
    defineIfMatching(device, CONNECTION_PROPERTY, request);
    defineIfMatching(device, INFO_PROPERTY, request);
    defineIfMatching(device, CONFIG_PROPERTY, request);
    if (!IS_CONNECTED) return;
    for (indigo_property* property : connected)
        defineIfMatching(device, property, request);
}

namespace {

void defineConnected(indigo_device* device, ConnectedProperties connected) {
    if (DEVICE_CONTEXT->connected_properties_defined) return;
    DEVICE_CONTEXT->connected_properties_defined = true;
    for (indigo_property* property : connected) {
        if (property != nullptr && !property->hidden) indigo_define_property(device, property, nullptr);
    }
}

void deleteConnected(indigo_device* device, ConnectedProperties connected) {
    if (!DEVICE_CONTEXT->connected_properties_defined) return;
    DEVICE_CONTEXT->connected_properties_defined = false;
    // Hidden ones too: one may have been hidden after it was defined.
    for (indigo_property* property : connected) {
        if (property != nullptr) indigo_delete_property(device, property, nullptr);
    }
}

} // namespace

bool changeDeviceBase(indigo_device* device, indigo_property* request, ConnectedProperties connected) {
    indigo_property* connection = CONNECTION_PROPERTY;
    if (indigo_property_match(connection, request)) {
        if (connection->state == INDIGO_BUSY_STATE) return true; // the driver is still connecting or disconnecting
        if (request != connection) indigo_property_copy_values(connection, request, false);
        if (connection->state != INDIGO_ALERT_STATE) {
            // Exactly one item on again, whatever the request turned off.
            const bool on = CONNECTION_CONNECTED_ITEM->sw.value;
            indigo_set_switch(connection, on ? CONNECTION_CONNECTED_ITEM : CONNECTION_DISCONNECTED_ITEM, true);
            if (on)
                defineConnected(device, connected);
            else
                deleteConnected(device, connected);
            connection->state = INDIGO_OK_STATE;
        }
        indigo_update_property(device, connection, nullptr);
        return true;
    }
    indigo_property* config = CONFIG_PROPERTY;
    if (indigo_property_match(config, request)) {
        // No configuration is stored: every action is acknowledged as done.
        for (int i = 0; i < config->count; ++i)
            config->items[i].sw.value = false;
        config->state = INDIGO_OK_STATE;
        indigo_update_property(device, config, nullptr);
        return true;
    }
    return false;
}

bool acceptSetting(indigo_device* device, indigo_property* property, indigo_property* request) {
    if (property == nullptr || property->hidden || property->perm == INDIGO_RO_PERM ||
        !indigo_property_match(property, request))
        return false;
    if (request != property) indigo_property_copy_values(property, request, false);
    property->state = INDIGO_OK_STATE;
    indigo_update_property(device, property, nullptr);
    return true;
}

void detachDeviceBase(indigo_device* device, ConnectedProperties connected) {
    deleteConnected(device, connected);
    for (indigo_property* property : {CONNECTION_PROPERTY, INFO_PROPERTY, CONFIG_PROPERTY}) {
        if (property != nullptr) indigo_delete_property(device, property, nullptr);
    }
    for (indigo_property* property : connected)
        indigo_release_property(property);
    indigo_release_property(CONNECTION_PROPERTY);
    indigo_release_property(INFO_PROPERTY);
    indigo_release_property(CONFIG_PROPERTY);
    CONNECTION_PROPERTY = nullptr;
    INFO_PROPERTY = nullptr;
    CONFIG_PROPERTY = nullptr;
}

} // namespace zeta::indigo

extern "C" indigo_result indigo_device_disconnect(indigo_client* client, const char* device) {
    const char* items[] = {CONNECTION_DISCONNECTED_ITEM_NAME};
    const bool values[] = {true};
    return indigo_change_switch_property(client, device, CONNECTION_PROPERTY_NAME, 1, items, values);
}
