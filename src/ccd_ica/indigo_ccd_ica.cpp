// The driver entry and the two device kinds: their bus callbacks, the driver's own DSLR
// switches, and what each change request does to the camera.
#include "ccd_ica/indigo_ccd_ica.h"

#include "ccd_ica/dslr_property_map.h"
#include "ccd_ica/ica_devices.h"
#include "ccd_ica/ica_private_data.h"
#include "ccd_ica/ptp_browser.h"
#include "ccd_ica/ptp_delegate.h"
#include "indigo/indigo_ccd_driver.h"
#include "indigo/indigo_focuser_driver.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_timer.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace {

constexpr unsigned kDriverVersion = 1;

// Driver-wide state: made on the first call of the entry and kept for the process.
std::mutex driverMutex;
indigo_driver_action lastAction = INDIGO_DRIVER_SHUTDOWN;
std::shared_ptr<PTPDelegate> driverDelegate;
PTPBrowser* driverBrowser = nullptr;
std::optional<std::vector<std::shared_ptr<zeta::platform::ICDeviceSource>>> driverSources;

dispatch::Queue& runLoop() {
    return indigo_ccd_ica_run_loop();
}

// A copy of a change request that outlives the call (numbers, switches and texts only).
indigo_property* copyRequest(const indigo_property* request) {
    indigo_property* copy = nullptr;
    switch (request->type) {
    case INDIGO_TEXT_VECTOR:
        copy = indigo_init_text_property(nullptr, request->device, request->name, request->group, request->label,
                                         request->state, request->perm, request->count);
        break;
    case INDIGO_NUMBER_VECTOR:
        copy = indigo_init_number_property(nullptr, request->device, request->name, request->group, request->label,
                                           request->state, request->perm, request->count);
        break;
    case INDIGO_SWITCH_VECTOR:
        copy = indigo_init_switch_property(nullptr, request->device, request->name, request->group, request->label,
                                           request->state, request->perm, request->rule, request->count);
        break;
    default:
        return nullptr;
    }
    if (copy != nullptr && request->count > 0)
        std::memcpy(copy->items, request->items, sizeof(indigo_item) * request->count);
    return copy;
}

// Runs the work on the run loop: at once when already there, else waiting for it.
void onRunLoop(const std::function<void()>& work) {
    if (runLoop().isCurrent())
        work();
    else
        runLoop().sync(work);
}

void setSwitchProperty(indigo_property*& target, indigo_device* device, const char* name, const char* label,
                       const char* item1, const char* label1, bool value1, const char* item2, const char* label2,
                       bool value2) {
    const int count = item2 ? 2 : 1;
    target = indigo_init_switch_property(nullptr, device->name, name, "DSLR", label, INDIGO_IDLE_STATE, INDIGO_RW_PERM,
                                         INDIGO_ONE_OF_MANY_RULE, count);
    assert(target != nullptr && "property");
    indigo_init_switch_item(target->items + 0, item1, label1, value1);
    if (item2) indigo_init_switch_item(target->items + 1, item2, label2, value2);
}

bool isBusy(const indigo_property* property) {
    return property->state == INDIGO_BUSY_STATE;
}

// ---- CCD device ------------------------------------------------------------------------------

indigo_result ccd_enumerate_properties(indigo_device* device, indigo_client* client, indigo_property* property);

void exposure_timer_callback(indigo_device* device);

indigo_result ccd_attach(indigo_device* device) {
    assert(device != nullptr && "device != NULL");
    assert(PRIVATE_DATA != nullptr && "PRIVATE_DATA != NULL");
    ica_private_data* data = PRIVATE_DATA;
    std::unique_lock lock(data->properties_mutex);
    if (indigo_ccd_attach(device, kDriverVersion) != INDIGO_OK) return INDIGO_FAILED;
    const PTPCamera& camera = *data->camera;
    if (camera.width() != 0 && camera.height() != 0 && camera.pixelSize() != 0) {
        CCD_INFO_PROPERTY->hidden = false;
        CCD_INFO_WIDTH_ITEM->number.value = camera.width();
        CCD_INFO_HEIGHT_ITEM->number.value = camera.height();
        CCD_INFO_PIXEL_SIZE_ITEM->number.value = camera.pixelSize();
        CCD_INFO_BITS_PER_PIXEL_ITEM->number.value = 16;
    } else {
        CCD_INFO_PROPERTY->hidden = true;
    }
    // The camera's image size is a property of its own named CCD_MODE.
    CCD_MODE_PROPERTY->hidden = true;
    CCD_FRAME_PROPERTY->hidden = true;
    CCD_BIN_PROPERTY->hidden = true;
    // Until the camera says it can take pictures.
    CCD_EXPOSURE_PROPERTY->perm = INDIGO_RO_PERM;
    CCD_ABORT_EXPOSURE_PROPERTY->perm = INDIGO_RO_PERM;
    CCD_IMAGE_FORMAT_PROPERTY->perm = INDIGO_RO_PERM;
    indigo_set_switch(CCD_IMAGE_FORMAT_PROPERTY, CCD_IMAGE_FORMAT_JPEG_ITEM, true);
    setSwitchProperty(data->dslr_lock_property, device, "DSLR_LOCK", "Lock camera GUI", "LOCK", "Lock", true, "UNLOCK",
                      "Unlock", false);
    setSwitchProperty(data->dslr_mirror_lockup_property, device, "DSLR_MIRROR_LOCKUP", "Use mirror lockup", "LOCK",
                      "Lock", false, "UNLOCK", "Unlock", true);
    setSwitchProperty(data->dslr_af_property, device, "DSLR_AF", "Autofocus", "AF", "Start autofocus", false, nullptr,
                      nullptr, false);
    setSwitchProperty(data->dslr_avoid_af_property, device, "DSLR_AVOID_AF", "Avoid AF", "ON", "On", true, "OFF", "Off",
                      false);
    setSwitchProperty(data->dslr_zoom_preview_property, device, "DSLR_ZOOM_PREVIEW", "Zoom preview", "ON", "On", false,
                      "OFF", "Off", true);
    setSwitchProperty(data->dslr_delete_image_property, device, "DSLR_DELETE_IMAGE", "Delete downloaded image", "ON",
                      "On", true, "OFF", "Off", false);
    data->attached = true;
    lock.unlock();
    indigo_log("%s attached", device->name);
    return ccd_enumerate_properties(device, nullptr, nullptr);
}

// On the enumerating client's thread (see indigo_ccd_ica.h).
indigo_result ccd_enumerate_properties(indigo_device* device, indigo_client* client, indigo_property* property) {
    assert(device != nullptr && "device != NULL");
    ica_private_data* data = PRIVATE_DATA;
    // The device is reachable while it attaches and detaches; its base exists only between.
    std::lock_guard lock(data->properties_mutex);
    if (!data->attached) return INDIGO_OK;
    const indigo_result result = indigo_ccd_enumerate_properties(device, client, property);
    if (result != INDIGO_OK) return result;
    if (IS_CONNECTED) {
        for (indigo_property* dynamic : data->dynamic_properties) {
            if (!dynamic->hidden && indigo_property_match(dynamic, property))
                indigo_define_property(device, dynamic, nullptr);
        }
        for (indigo_property* own : ica_own_switches(data)) {
            if (own != nullptr && indigo_property_match(own, property)) indigo_define_property(device, own, nullptr);
        }
    }
    return INDIGO_OK;
}

// A change request on the run loop, for the handler of the property it names.
struct CcdChange {
    indigo_device* device;
    ica_private_data* data;
    PTPCamera& camera;
    indigo_property* request;
    indigo_property* target; // the device's own property of that name
};

bool exposureRunning(const CcdChange& change) {
    indigo_device* device = change.device;
    return isBusy(CCD_EXPOSURE_PROPERTY) || isBusy(CCD_STREAMING_PROPERTY);
}

void changeConnection(const CcdChange& change) {
    indigo_device* device = change.device;
    indigo_property_copy_values(CONNECTION_PROPERTY, change.request, false);
    if (CONNECTION_CONNECTED_ITEM->sw.value)
        change.camera.requestOpenSession();
    else
        change.camera.requestCloseSession();
    CONNECTION_PROPERTY->state = INDIGO_BUSY_STATE;
    indigo_update_property(device, CONNECTION_PROPERTY, nullptr);
}

void changeLock(const CcdChange& change) {
    indigo_property_copy_values(change.target, change.request, false);
    change.target->state = INDIGO_OK_STATE;
    indigo_update_property(change.device, change.target, nullptr);
    if (change.target->items[0].sw.value)
        change.camera.lock();
    else
        change.camera.unlock();
}

// An on/off switch that sets one flag of the camera.
template <void (PTPCamera::*Set)(bool)>
void changeFlag(const CcdChange& change) {
    indigo_property_copy_values(change.target, change.request, false);
    (change.camera.*Set)(change.target->items[0].sw.value);
    change.target->state = INDIGO_OK_STATE;
    indigo_update_property(change.device, change.target, nullptr);
}

void changeExposure(const CcdChange& change) {
    if (exposureRunning(change)) return;
    indigo_device* device = change.device;
    indigo_property_copy_values(CCD_EXPOSURE_PROPERTY, change.request, false);
    CCD_EXPOSURE_PROPERTY->state = INDIGO_BUSY_STATE;
    indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
    CCD_IMAGE_PROPERTY->state = INDIGO_BUSY_STATE;
    indigo_update_property(device, CCD_IMAGE_PROPERTY, nullptr);
    const double extra = change.camera.startExposure();
    if (extra > 0) {
        CCD_EXPOSURE_ITEM->number.value += extra;
        indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
    }
    if (change.data->bulb)
        change.data->exposure_timer =
            indigo_set_timer(device, CCD_EXPOSURE_ITEM->number.value, exposure_timer_callback);
    indigo_ccd_change_property(device, nullptr, change.request);
}

void changeStreaming(const CcdChange& change) {
    if (exposureRunning(change)) return;
    indigo_device* device = change.device;
    indigo_property_copy_values(CCD_STREAMING_PROPERTY, change.request, false);
    if (CCD_STREAMING_COUNT_ITEM->number.value == 0) {
        CCD_STREAMING_PROPERTY->state = INDIGO_ALERT_STATE;
        indigo_update_property(device, CCD_STREAMING_PROPERTY, nullptr);
        return;
    }
    // Without live view no frame would ever come.
    if (!change.data->can_preview) {
        CCD_STREAMING_PROPERTY->state = INDIGO_ALERT_STATE;
        indigo_update_property(device, CCD_STREAMING_PROPERTY, "Live view is not available on this camera");
        return;
    }
    CCD_STREAMING_PROPERTY->state = INDIGO_BUSY_STATE;
    indigo_update_property(device, CCD_STREAMING_PROPERTY, nullptr);
    CCD_IMAGE_PROPERTY->state = INDIGO_BUSY_STATE;
    indigo_update_property(device, CCD_IMAGE_PROPERTY, nullptr);
    change.camera.startPreview();
}

void changeAutofocus(const CcdChange& change) {
    if (exposureRunning(change)) return;
    indigo_property_copy_values(change.target, change.request, false);
    if (change.target->items[0].sw.value) {
        change.target->state = INDIGO_OK_STATE;
        indigo_update_property(change.device, change.target, nullptr);
        change.camera.startAutofocus();
    }
}

void changeAbort(const CcdChange& change) {
    indigo_device* device = change.device;
    if (isBusy(CCD_EXPOSURE_PROPERTY)) {
        if (change.data->exposure_timer != nullptr) indigo_cancel_timer(device, &change.data->exposure_timer);
        change.camera.stopExposure();
    } else if (isBusy(CCD_STREAMING_PROPERTY)) {
        change.camera.stopPreview();
    }
    indigo_ccd_change_property(device, nullptr, change.request);
}

// A camera setting: its value goes to the camera as text, and the property stays busy
// until the camera reads it back.
void changeSetting(const CcdChange& change) {
    indigo_property* setting = change.target;
    indigo_property_copy_values(setting, change.request, false);
    const uint16_t code = dslrPropertyCode(change.camera, setting->name);
    std::string value;
    switch (setting->type) {
    case INDIGO_NUMBER_VECTOR: {
        value = std::to_string(ica_int32(setting->items[0].number.value));
        break;
    }
    case INDIGO_SWITCH_VECTOR: {
        const indigo_item* on = nullptr;
        for (int i = 0; i < setting->count && on == nullptr; ++i) {
            if (setting->items[i].sw.value) on = setting->items + i;
        }
        if (on == nullptr) return;
        value = on->name;
        break;
    }
    default:
        value = setting->count > 0 ? setting->items[0].text.value : "";
        break;
    }
    setting->state = INDIGO_BUSY_STATE;
    indigo_update_property(change.device, setting, nullptr);
    change.camera.setProperty(code, value);
}

void handleCcdChange(indigo_device* device, indigo_property* property) {
    ica_private_data* data = PRIVATE_DATA;
    if (!data->attached) return;
    struct Route {
        indigo_property* target;
        void (*handle)(const CcdChange&);
    };
    const Route routes[] = {
        {CONNECTION_PROPERTY, &changeConnection},
        {data->dslr_lock_property, &changeLock},
        {data->dslr_mirror_lockup_property, &changeFlag<&PTPCamera::setUseMirrorLockup>},
        {data->dslr_avoid_af_property, &changeFlag<&PTPCamera::setAvoidAF>},
        {data->dslr_zoom_preview_property, &changeFlag<&PTPCamera::setZoomPreview>},
        {data->dslr_delete_image_property, &changeFlag<&PTPCamera::setDeleteDownloadedImage>},
        {CCD_EXPOSURE_PROPERTY, &changeExposure},
        {CCD_STREAMING_PROPERTY, &changeStreaming},
        {data->dslr_af_property, &changeAutofocus},
        {CCD_ABORT_EXPOSURE_PROPERTY, &changeAbort},
    };
    for (const Route& route : routes) {
        if (!indigo_property_match(route.target, property)) continue;
        route.handle({device, data, *data->camera, property, route.target});
        return;
    }
    for (indigo_property* setting : data->dynamic_properties) {
        if (!indigo_property_match(setting, property)) continue;
        changeSetting({device, data, *data->camera, property, setting});
        return;
    }
    indigo_ccd_change_property(device, nullptr, property);
}

// On the client's thread: the request is copied and handled on the run loop, while the device
// that `alive` stands for is still there.
indigo_result handOnToRunLoop(indigo_device* device, indigo_property* property, std::weak_ptr<int> alive,
                              void (*handle)(indigo_device*, indigo_property*)) {
    indigo_property* request = copyRequest(property);
    if (request == nullptr) return INDIGO_OK;
    runLoop().async([device, alive = std::move(alive), request, handle] {
        if (const auto token = alive.lock()) handle(device, request);
        indigo_release_property(request);
    });
    return INDIGO_OK;
}

indigo_result ccd_change_property(indigo_device* device, indigo_client*, indigo_property* property) {
    assert(device != nullptr && "device != NULL");
    assert(property != nullptr && "property != NULL");
    assert(PRIVATE_DATA != nullptr && "PRIVATE_DATA != NULL");
    return handOnToRunLoop(device, property, PRIVATE_DATA->ccd_token, &handleCcdChange);
}

// The end of a bulb exposure: on a bus worker, handed to the run loop.
void exposure_timer_callback(indigo_device* device) {
    std::weak_ptr<int> alive = PRIVATE_DATA->ccd_token;
    runLoop().async([device, alive] {
        const auto token = alive.lock();
        if (!token) return;
        ica_private_data* data = PRIVATE_DATA;
        data->exposure_timer = nullptr;
        if (!data->attached || !isBusy(CCD_EXPOSURE_PROPERTY)) return;
        CCD_EXPOSURE_ITEM->number.value = 0;
        indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
        data->camera->stopExposure();
    });
}

indigo_result ccd_detach(indigo_device* device) {
    assert(device != nullptr && "device != NULL");
    indigo_result result = INDIGO_OK;
    onRunLoop([&] {
        ica_private_data* data = PRIVATE_DATA;
        if (data->exposure_timer != nullptr) indigo_cancel_timer(device, &data->exposure_timer);
        if (CONNECTION_CONNECTED_ITEM->sw.value) {
            {
                std::lock_guard lock(data->properties_mutex);
                for (indigo_property* dynamic : data->dynamic_properties)
                    indigo_delete_property(device, dynamic, nullptr);
                for (indigo_property* own : ica_own_switches(data)) {
                    if (own != nullptr) indigo_delete_property(device, own, nullptr);
                }
            }
            ica_disconnect_now(device, true);
        }
        {
            std::lock_guard lock(data->properties_mutex);
            for (indigo_property* dynamic : data->dynamic_properties)
                indigo_release_property(dynamic);
            data->dynamic_properties.clear();
            for (indigo_property** own : {&data->dslr_lock_property, &data->dslr_mirror_lockup_property,
                                          &data->dslr_af_property, &data->dslr_avoid_af_property,
                                          &data->dslr_zoom_preview_property, &data->dslr_delete_image_property}) {
                indigo_release_property(*own);
                *own = nullptr;
            }
        }
        indigo_log("%s detached", device->name);
        std::lock_guard lock(data->properties_mutex);
        data->attached = false;
        result = indigo_ccd_detach(device);
    });
    return result;
}

// ---- focuser device --------------------------------------------------------------------------

indigo_result focuser_attach(indigo_device* device) {
    assert(device != nullptr && "device != NULL");
    if (indigo_focuser_attach(device, kDriverVersion) != INDIGO_OK) return INDIGO_FAILED;
    // The lens moves only by relative steps.
    FOCUSER_SPEED_PROPERTY->hidden = true;
    FOCUSER_POSITION_PROPERTY->hidden = true;
    indigo_log("%s attached", device->name);
    return indigo_focuser_enumerate_properties(device, nullptr, nullptr);
}

void handleFocuserChange(indigo_device* device, indigo_property* property) {
    ica_private_data* data = PRIVATE_DATA;
    if (data->focuser != device) return;
    if (indigo_property_match(CONNECTION_PROPERTY, property)) {
        indigo_property_copy_values(CONNECTION_PROPERTY, property, false);
        CONNECTION_PROPERTY->state = INDIGO_OK_STATE;
        indigo_focuser_change_property(device, nullptr, property);
        return;
    }
    if (indigo_property_match(FOCUSER_STEPS_PROPERTY, property)) {
        if (isBusy(FOCUSER_STEPS_PROPERTY)) {
            // One move at a time: a second would race the first or vanish into it.
            indigo_update_property(device, FOCUSER_STEPS_PROPERTY, "The lens is still moving");
            return;
        }
        indigo_property_copy_values(FOCUSER_STEPS_PROPERTY, property, false);
        const int32_t steps = ica_int32(FOCUSER_STEPS_ITEM->number.value);
        const bool inward = FOCUSER_DIRECTION_MOVE_INWARD_ITEM->sw.value;
        if (!inward && !FOCUSER_DIRECTION_MOVE_OUTWARD_ITEM->sw.value) {
            // Nothing would move, and nothing would ever say the move is over.
            FOCUSER_STEPS_PROPERTY->state = INDIGO_ALERT_STATE;
            indigo_update_property(device, FOCUSER_STEPS_PROPERTY, "No focuser direction selected");
            return;
        }
        if (steps == 0) {
            // The camera takes 0 as a stop and would never report a move: there is none.
            FOCUSER_STEPS_PROPERTY->state = INDIGO_OK_STATE;
            indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
            return;
        }
        // Outward is the other sign; the most negative steps turn into the most positive.
        data->camera->focus(inward ? steps : static_cast<int32_t>(std::min<int64_t>(-int64_t{steps}, INT32_MAX)));
        FOCUSER_STEPS_PROPERTY->state = INDIGO_BUSY_STATE;
        indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
        return;
    }
    if (indigo_property_match(FOCUSER_ABORT_MOTION_PROPERTY, property)) {
        indigo_property_copy_values(FOCUSER_ABORT_MOTION_PROPERTY, property, false);
        if (isBusy(FOCUSER_STEPS_PROPERTY)) {
            FOCUSER_STEPS_PROPERTY->state = INDIGO_ALERT_STATE;
            indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
            FOCUSER_ABORT_MOTION_PROPERTY->state = INDIGO_OK_STATE;
        } else {
            FOCUSER_ABORT_MOTION_PROPERTY->state = INDIGO_ALERT_STATE;
        }
        data->camera->focus(0);
        FOCUSER_ABORT_MOTION_ITEM->sw.value = false;
        indigo_update_property(device, FOCUSER_ABORT_MOTION_PROPERTY, nullptr);
        indigo_focuser_change_property(device, nullptr, property);
        return;
    }
    indigo_focuser_change_property(device, nullptr, property);
}

indigo_result focuser_change_property(indigo_device* device, indigo_client*, indigo_property* property) {
    assert(device != nullptr && "device != NULL");
    assert(property != nullptr && "property != NULL");
    assert(PRIVATE_DATA != nullptr && "PRIVATE_DATA != NULL");
    return handOnToRunLoop(device, property, PRIVATE_DATA->focuser_token, &handleFocuserChange);
}

indigo_result focuser_detach(indigo_device* device) {
    assert(device != nullptr && "device != NULL");
    indigo_result result = INDIGO_OK;
    onRunLoop([&] {
        if (CONNECTION_CONNECTED_ITEM->sw.value) ica_disconnect_now(device, false);
        indigo_log("%s detached", device->name);
        result = indigo_focuser_detach(device);
    });
    return result;
}

} // namespace

// ---- device records ------------------------------------------------------------------------

indigo_device* ica_make_ccd_device(const std::string& name, ica_private_data* data) {
    auto* device = new indigo_device{};
    indigo_copy_name(device->name, name.c_str());
    device->version = INDIGO_VERSION_CURRENT;
    device->private_data = data;
    device->attach = ccd_attach;
    device->enumerate_properties = ccd_enumerate_properties;
    device->change_property = ccd_change_property;
    device->detach = ccd_detach;
    return device;
}

indigo_device* ica_make_focuser_device(const indigo_device* ccd, ica_private_data* data) {
    auto* device = new indigo_device{};
    indigo_copy_name(device->name, (std::string(ccd->name) + " (focuser)").c_str());
    device->version = INDIGO_VERSION_CURRENT;
    device->private_data = data;
    device->attach = focuser_attach;
    device->change_property = focuser_change_property;
    device->detach = focuser_detach;
    return device;
}

int32_t ica_int32(double value) {
    return std::isfinite(value) ? static_cast<int32_t>(std::fmax(std::fmin(value, INT32_MAX), INT32_MIN)) : 0;
}

void ica_disconnect_now(indigo_device* device, bool ccd) {
    indigo_set_switch(CONNECTION_PROPERTY, CONNECTION_DISCONNECTED_ITEM, true);
    CONNECTION_PROPERTY->state = INDIGO_OK_STATE;
    if (ccd)
        indigo_ccd_change_property(device, nullptr, CONNECTION_PROPERTY);
    else
        indigo_focuser_change_property(device, nullptr, CONNECTION_PROPERTY);
}

// ---- driver entry ----------------------------------------------------------------------------

dispatch::Queue& indigo_ccd_ica_run_loop() {
    // Lives for the process: camera timers and hopped requests may find it at any time.
    static auto* queue = new dispatch::SerialQueue("indigo_ccd_ica");
    return *queue;
}

namespace {

// A driver shut down lets go of its cameras: each one's devices go as if it had been
// unplugged, and the browser with its camera objects is dropped, so nothing of them (their
// download folders included) outlives the driver. The next start finds the cameras again.
void releaseBrowser() {
    driverBrowser->stop();
    onRunLoop([] {
        const std::vector<std::shared_ptr<PTPCamera>> cameras = driverBrowser->cameras();
        for (const auto& camera : cameras)
            driverDelegate->cameraRemoved(camera);
        delete driverBrowser;
        driverBrowser = nullptr;
    });
}

} // namespace

bool indigo_ccd_ica_use_device_sources(std::vector<std::shared_ptr<zeta::platform::ICDeviceSource>> sources) {
    std::lock_guard lock(driverMutex);
    if (driverBrowser != nullptr) return false;
    driverSources = std::move(sources);
    return true;
}

std::shared_ptr<PTPDelegate> indigo_ccd_ica_delegate() {
    std::lock_guard lock(driverMutex);
    return driverDelegate;
}

extern "C" indigo_result indigo_ccd_ica(indigo_driver_action action, indigo_driver_info* info) {
    std::lock_guard lock(driverMutex);
    if (info != nullptr) {
        indigo_copy_name(info->description, "ICA Camera");
        indigo_copy_name(info->name, "indigo_ccd_ica");
        info->version = 1;
        info->status = lastAction;
    }
    if (!driverDelegate) driverDelegate = std::make_shared<PTPDelegate>(runLoop());
    if (driverBrowser == nullptr) {
        driverBrowser =
            new PTPBrowser(driverDelegate, runLoop(),
                           driverSources ? *driverSources : zeta::platform::ICDeviceBrowser::defaultSources());
    }
    if (action != lastAction) {
        if (action == INDIGO_DRIVER_INIT) {
            lastAction = INDIGO_DRIVER_INIT;
            driverBrowser->start();
        } else if (action == INDIGO_DRIVER_SHUTDOWN) {
            lastAction = INDIGO_DRIVER_SHUTDOWN;
            releaseBrowser();
        }
    }
    return INDIGO_OK;
}
