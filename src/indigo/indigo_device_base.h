#ifndef ZETA_INDIGO_DEVICE_BASE_H
#define ZETA_INDIGO_DEVICE_BASE_H
/*
 * What every device base (CCD, focuser) gives a device: CONNECTION, INFO and CONFIG in
 * group "Main", and the connection rule: the kind-specific properties are defined when the
 * device becomes connected and deleted when it becomes disconnected.
 *
 * The bases take no lock. Their calls run on whatever thread the driver calls them from
 * (bus threads for the device callbacks, the driver's own threads otherwise); a driver
 * that calls them from several threads orders those calls itself.
 *
 * The macros below read the context of a variable named device (indigo_device *).
 */

#include "indigo/indigo_bus.h"
#include "indigo/indigo_names.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bits of INFO's DEVICE_INTERFACE, written in decimal. */
#define INDIGO_INTERFACE_CCD 0x02
#define INDIGO_INTERFACE_FOCUSER 0x08
#define INDIGO_INTERFACE_WHEEL 0x10

/* The first member of every base's context. */
typedef struct {
    indigo_property* connection_property; /* switch: CONNECTED, DISCONNECTED */
    indigo_property*
        info_property; /* text: DEVICE_NAME, DEVICE_VERSION, DEVICE_INTERFACE, FRAMEWORK_NAME, FRAMEWORK_VERSION */
    indigo_property* config_property;  /* switch: LOAD, SAVE, REMOVE */
    bool connected_properties_defined; /* kept by the base */
} indigo_device_context;

#define DEVICE_CONTEXT ((indigo_device_context*)device->device_context)

#define CONNECTION_PROPERTY (DEVICE_CONTEXT->connection_property)
#define CONNECTION_CONNECTED_ITEM (CONNECTION_PROPERTY->items + 0)
#define CONNECTION_DISCONNECTED_ITEM (CONNECTION_PROPERTY->items + 1)

#define INFO_PROPERTY (DEVICE_CONTEXT->info_property)
#define INFO_DEVICE_NAME_ITEM (INFO_PROPERTY->items + 0)
#define INFO_DEVICE_VERSION_ITEM (INFO_PROPERTY->items + 1)
#define INFO_DEVICE_INTERFACE_ITEM (INFO_PROPERTY->items + 2)
#define INFO_FRAMEWORK_NAME_ITEM (INFO_PROPERTY->items + 3)
#define INFO_FRAMEWORK_VERSION_ITEM (INFO_PROPERTY->items + 4)

#define CONFIG_PROPERTY (DEVICE_CONTEXT->config_property)
#define CONFIG_LOAD_ITEM (CONFIG_PROPERTY->items + 0)
#define CONFIG_SAVE_ITEM (CONFIG_PROPERTY->items + 1)
#define CONFIG_REMOVE_ITEM (CONFIG_PROPERTY->items + 2)

/* Connected: CONNECTED is on and CONNECTION is Ok. */
#define IS_CONNECTED (CONNECTION_CONNECTED_ITEM->sw.value && CONNECTION_PROPERTY->state == INDIGO_OK_STATE)

/* Asks the named device to disconnect: a change of CONNECTION turning DISCONNECTED on,
 * sent as client (may be NULL) and handled synchronously like any change. */
indigo_result indigo_device_disconnect(indigo_client* client, const char* device);

#ifdef __cplusplus
}
#endif

#endif
