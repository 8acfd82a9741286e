// A driver library for the catalogue tests, found in the bundle's drivers folder under a name
// holding "simulator". Its entry point attaches one device with one property.

#include "indigo/indigo_driver.h"
#include "indigo/indigo_property.h"

#include <cstdlib>

namespace {

indigo_device* device = nullptr;
indigo_property* status = nullptr;

indigo_result attach(indigo_device* d) {
    status =
        indigo_init_text_property(nullptr, d->name, "STATUS", "Main", "Status", INDIGO_OK_STATE, INDIGO_RO_PERM, 1);
    indigo_init_text_item(status->items, "STATE", "State", "loaded");
    return indigo_define_property(d, status, nullptr);
}

indigo_result detach(indigo_device* d) {
    indigo_delete_property(d, status, nullptr);
    indigo_release_property(status);
    status = nullptr;
    return INDIGO_OK;
}

} // namespace

extern "C" indigo_result zeta_catalogue_simulator(indigo_driver_action action, indigo_driver_info* info) {
    if (info != nullptr) {
        indigo_copy_name(info->description, "Catalogue Simulator");
        indigo_copy_name(info->name, "zeta_catalogue_simulator");
        info->version = 1;
    }
    if (action == INDIGO_DRIVER_INIT && device == nullptr) {
        device = static_cast<indigo_device*>(std::calloc(1, sizeof(indigo_device)));
        indigo_copy_name(device->name, "Catalogue Simulator Device");
        device->version = INDIGO_VERSION_CURRENT;
        device->attach = attach;
        device->detach = detach;
        indigo_attach_device(device);
    } else if (action == INDIGO_DRIVER_SHUTDOWN && device != nullptr) {
        indigo_detach_device(device);
        std::free(device);
        device = nullptr;
    }
    return INDIGO_OK;
}
