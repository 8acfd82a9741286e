/* Compiled as C: the headers must be plain C, with the same layouts as C++ sees. */

#include "indigo/indigo_bus.h"
#include "indigo/indigo_ccd_driver.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_focuser_driver.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_timer.h"

#include <stddef.h>

size_t c_layout(int which) {
    switch (which) {
    case 0:
        return sizeof(indigo_item);
    case 1:
        return sizeof(indigo_property);
    case 2:
        return offsetof(indigo_property, items);
    case 3:
        return offsetof(indigo_item, number.target);
    case 4:
        return offsetof(indigo_item, blob.value);
    case 5:
        return sizeof(indigo_device);
    case 6:
        return sizeof(indigo_client);
    case 7:
        return sizeof(indigo_driver_entry);
    case 8:
        return sizeof(indigo_server_entry);
    case 9:
        return sizeof(indigo_subprocess_entry);
    case 10:
        return sizeof(indigo_ccd_context);
    case 11:
        return sizeof(indigo_focuser_context);
    case 12:
        return offsetof(indigo_property, version);
    default:
        return 0;
    }
}

/* A C driver's view: make a property, read it through the base macros' shapes. */
int c_make_and_read(void) {
    indigo_property* property = indigo_init_switch_property(
        NULL, "C device", "C_SWITCH", "Main", "C", INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 2);
    indigo_init_switch_item(property->items + 0, "A", "A", true);
    indigo_init_switch_item(property->items + 1, "B", "B", false);
    indigo_set_switch(property, property->items + 1, true);
    int result = property->items[0].sw.value ? 0 : 1;
    indigo_release_property(property);
    return result;
}
