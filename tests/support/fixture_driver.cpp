// A driver library for the tests that load drivers. Its entry point, named by
// ZETA_FIXTURE_ENTRY, attaches one device ("<ZETA_FIXTURE_TITLE> Device") on initialisation
// and detaches it on shutdown; the device defines a text property STATUS. With
// ZETA_FIXTURE_LONG_TIMER it also sets a long timer whose callback lives in this library, so
// a test can show that unloading the library cancels it.

#include "indigo/indigo_driver.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_timer.h"

#include <cstdlib>

#define ZETA_FIXTURE_TEXT(x) ZETA_FIXTURE_TEXT_OF(x)
#define ZETA_FIXTURE_TEXT_OF(x) #x

namespace {

indigo_device* device = nullptr;
indigo_property* status = nullptr;

[[maybe_unused]] void neverDue(indigo_device*) {
    std::abort(); // the library is gone by the time this would run
}

indigo_result attach(indigo_device* d) {
    status =
        indigo_init_text_property(nullptr, d->name, "STATUS", "Main", "Status", INDIGO_OK_STATE, INDIGO_RO_PERM, 1);
    indigo_init_text_item(status->items, "STATE", "State", "loaded");
#ifdef ZETA_FIXTURE_LONG_TIMER
    indigo_set_timer(d, 3600, neverDue);
#endif
    return indigo_define_property(d, status, nullptr);
}

indigo_result detach(indigo_device* d) {
    indigo_delete_property(d, status, nullptr);
    indigo_release_property(status);
    status = nullptr;
    return INDIGO_OK;
}

} // namespace

extern "C" indigo_result ZETA_FIXTURE_ENTRY(indigo_driver_action action, indigo_driver_info* info) {
    if (info != nullptr) {
        indigo_copy_name(info->description, ZETA_FIXTURE_TITLE);
        indigo_copy_name(info->name, ZETA_FIXTURE_TEXT(ZETA_FIXTURE_ENTRY));
        info->version = 1;
    }
    if (action == INDIGO_DRIVER_INIT && device == nullptr) {
        device = static_cast<indigo_device*>(std::calloc(1, sizeof(indigo_device)));
        indigo_copy_name(device->name, ZETA_FIXTURE_TITLE " Device");
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
