#include "ccd_ica/ptp_delegate.h"

#include "ccd_ica/dslr_property_map.h"
#include "ccd_ica/ica_devices.h"
#include "ccd_ica/ica_private_data.h"
#include "ccd_ica/setting_rules.h"
#include "indigo/indigo_ccd_driver.h"
#include "indigo/indigo_focuser_driver.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <climits>
#include <cstring>

namespace {

// How long a camera is left to settle after tethering is enabled, before it is shown connected.
constexpr auto kTetheringSettleTime = std::chrono::seconds(1);

// The camera's CCD device while it is attached.
indigo_device* deviceOf(const PTPDelegateProtocol::Camera& camera) {
    auto* device = static_cast<indigo_device*>(camera->userData());
    if (device == nullptr || !PRIVATE_DATA->attached) return nullptr;
    return device;
}

indigo_property_perm permission(bool readOnly) {
    return readOnly ? INDIGO_RO_PERM : INDIGO_RW_PERM;
}

void defineCameraProperties(indigo_device* device) {
    ica_private_data* data = PRIVATE_DATA;
    for (indigo_property* dynamic : data->dynamic_properties) {
        if (!dynamic->hidden) indigo_define_property(device, dynamic, nullptr);
    }
    for (indigo_property* own : ica_own_switches(data))
        indigo_define_property(device, own, nullptr);
}

void deleteCameraProperties(indigo_device* device) {
    ica_private_data* data = PRIVATE_DATA;
    for (indigo_property* dynamic : data->dynamic_properties)
        indigo_delete_property(device, dynamic, nullptr);
    for (indigo_property* own : ica_own_switches(data))
        indigo_delete_property(device, own, nullptr);
}

// Whether the driver times exposures itself: CCD_EXPOSURE is opened to 0..10000 s for bulb,
// closed to 0 (the camera times the exposure) otherwise. Before the connection the range is
// only set, so that the connection defines CCD_EXPOSURE with what the session opening said.
void setBulb(indigo_device* device, bool bulb) {
    ica_private_data* data = PRIVATE_DATA;
    data->bulb = bulb;
    if ((CCD_EXPOSURE_ITEM->number.max == 0) != bulb) return;
    const bool defined = IS_CONNECTED;
    if (defined) indigo_delete_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
    if (bulb) {
        CCD_EXPOSURE_ITEM->number.min = 0;
        CCD_EXPOSURE_ITEM->number.max = 10000;
    } else {
        CCD_EXPOSURE_ITEM->number.value = CCD_EXPOSURE_ITEM->number.min = CCD_EXPOSURE_ITEM->number.max = 0;
    }
    if (defined) indigo_define_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
}

// Keeps the image-format switch in step with the camera's compression.
void setRawFormat(indigo_device* device, bool raw) {
    if (raw && CCD_IMAGE_FORMAT_JPEG_ITEM->sw.value) {
        indigo_set_switch(CCD_IMAGE_FORMAT_PROPERTY, CCD_IMAGE_FORMAT_RAW_ITEM, true);
        indigo_update_property(device, CCD_IMAGE_FORMAT_PROPERTY, nullptr);
    } else if (!raw && CCD_IMAGE_FORMAT_RAW_ITEM->sw.value) {
        indigo_set_switch(CCD_IMAGE_FORMAT_PROPERTY, CCD_IMAGE_FORMAT_JPEG_ITEM, true);
        indigo_update_property(device, CCD_IMAGE_FORMAT_PROPERTY, nullptr);
    }
}

// Ends a property's Busy state (a request the camera answered) or shows its new values.
void settle(indigo_device* device, indigo_property* property, bool changed) {
    if (changed || property->state == INDIGO_BUSY_STATE) {
        property->state = INDIGO_OK_STATE;
        indigo_update_property(device, property, nullptr);
    }
}

} // namespace

// ---- devices --------------------------------------------------------------------------------

void PTPDelegate::cameraAdded(const Camera& camera) {
    log(camera->name() + " added");
    auto* data = new ica_private_data();
    data->camera = camera;
    indigo_device* device = ica_make_ccd_device(camera->name(), data);
    camera->setUserData(device);
    // Attached here on the run loop, so that every later step of this camera follows it.
    indigo_attach_device(device);
}

void PTPDelegate::cameraConnected(const Camera& camera) {
    camera->requestEnableTethering();
    auto* device = static_cast<indigo_device*>(camera->userData());
    if (device == nullptr) return;
    std::weak_ptr<int> alive = PRIVATE_DATA->ccd_token;
    std::weak_ptr<PTPCamera> weakCamera = camera;
    dispatch::after(std::chrono::duration_cast<std::chrono::milliseconds>(kTetheringSettleTime), runLoop_,
                    [this, alive, weakCamera, device] {
                        const auto token = alive.lock();
                        const auto camera = weakCamera.lock();
                        if (!token || !camera) return;
                        log(camera->name() + " connected");
                        ica_private_data* data = PRIVATE_DATA;
                        if (!data->attached) return;
                        // A disconnect asked for meanwhile wins.
                        if (!CONNECTION_CONNECTED_ITEM->sw.value || CONNECTION_PROPERTY->state != INDIGO_BUSY_STATE)
                            return;
                        defineCameraProperties(device);
                        if (data->dslr_lock_property->items[0].sw.value)
                            camera->lock();
                        else
                            camera->unlock();
                        CONNECTION_PROPERTY->state = INDIGO_OK_STATE;
                        indigo_ccd_change_property(device, nullptr, CONNECTION_PROPERTY);
                    });
}

void PTPDelegate::cameraConnectionFailed(const Camera& camera, const std::string& message) {
    log(camera->name() + ": " + message);
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    indigo_set_switch(CONNECTION_PROPERTY, CONNECTION_DISCONNECTED_ITEM, true);
    CONNECTION_PROPERTY->state = INDIGO_ALERT_STATE;
    indigo_update_property(device, CONNECTION_PROPERTY, message.c_str());
}

void PTPDelegate::cameraDisconnected(const Camera& camera) {
    log(camera->name() + " disconnected");
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    ica_private_data* data = PRIVATE_DATA;
    if (data->focuser != nullptr) {
        indigo_detach_device(data->focuser);
        delete data->focuser;
        data->focuser = nullptr;
        data->focuser_token.reset();
    }
    // Withdrawn from the clients; the records stay for the next connection.
    deleteCameraProperties(device);
    // A session that closed on its own leaves the device disconnected too.
    indigo_set_switch(CONNECTION_PROPERTY, CONNECTION_DISCONNECTED_ITEM, true);
    CONNECTION_PROPERTY->state = INDIGO_OK_STATE;
    indigo_ccd_change_property(device, nullptr, CONNECTION_PROPERTY);
}

void PTPDelegate::cameraRemoved(const Camera& camera) {
    log(camera->name() + " removed");
    auto* device = static_cast<indigo_device*>(camera->userData());
    if (device == nullptr) return;
    ica_private_data* data = PRIVATE_DATA;
    // No timer fires and no hopped request runs once the record has gone: the timer is
    // cancelled here, the bus cancels the device's others as it detaches, and queued tasks
    // find the device tokens released with the record.
    if (data->exposure_timer != nullptr) indigo_cancel_timer(device, &data->exposure_timer);
    if (data->attached) {
        // A client waiting for the exposure hears that it will not come.
        const std::string message = camera->name() + " removed";
        for (indigo_property* running : {CCD_EXPOSURE_PROPERTY, CCD_STREAMING_PROPERTY, CCD_IMAGE_PROPERTY}) {
            if (running->state != INDIGO_BUSY_STATE) continue;
            running->state = INDIGO_ALERT_STATE;
            indigo_update_property(device, running, message.c_str());
        }
    }
    if (data->focuser != nullptr) {
        indigo_detach_device(data->focuser);
        delete data->focuser;
        data->focuser = nullptr;
    }
    indigo_detach_device(device);
    camera->setUserData(nullptr);
    {
        // Left over when the device never attached or was detached by the bus.
        std::lock_guard lock(data->properties_mutex);
        for (indigo_property* dynamic : data->dynamic_properties)
            indigo_release_property(dynamic);
        data->dynamic_properties.clear();
        for (indigo_property* own : ica_own_switches(data))
            indigo_release_property(own);
    }
    delete data;
    delete device;
}

void PTPDelegate::cameraCanExposure(const Camera& camera) {
    camera->requestEnableTethering();
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    CCD_ABORT_EXPOSURE_PROPERTY->perm = INDIGO_RW_PERM;
    CCD_EXPOSURE_PROPERTY->perm = INDIGO_RW_PERM;
    indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
}

void PTPDelegate::cameraCanPreview(const Camera& camera) {
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    PRIVATE_DATA->can_preview = true;
    CCD_STREAMING_PROPERTY->hidden = false;
    CCD_ABORT_EXPOSURE_PROPERTY->perm = INDIGO_RW_PERM;
    CCD_FRAME_PROPERTY->perm = INDIGO_RW_PERM;
}

void PTPDelegate::cameraCanFocus(const Camera& camera) {
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    ica_private_data* data = PRIVATE_DATA;
    if (data->focuser != nullptr) return; // still there from an earlier connection
    data->focuser = ica_make_focuser_device(device, data);
    assert(data->focuser != nullptr && "focuser != NULL");
    data->focuser_token = std::make_shared<int>(0);
    indigo_attach_device(data->focuser);
}

// ---- images and moves -----------------------------------------------------------------------

void PTPDelegate::cameraFrame(const Camera& camera, int32_t left, int32_t top, int32_t width, int32_t height) {
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    CCD_FRAME_LEFT_ITEM->number.value = left;
    CCD_FRAME_TOP_ITEM->number.value = top;
    CCD_FRAME_WIDTH_ITEM->number.value = width > 0 ? width : CCD_INFO_WIDTH_ITEM->number.value;
    CCD_FRAME_HEIGHT_ITEM->number.value = height > 0 ? height : CCD_INFO_HEIGHT_ITEM->number.value;
    CCD_FRAME_PROPERTY->state = INDIGO_OK_STATE;
    indigo_update_property(device, CCD_FRAME_PROPERTY, nullptr);
}

void PTPDelegate::cameraExposureDone(const Camera& camera, const std::vector<uint8_t>& data,
                                     const std::string& filename) {
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    ica_private_data* record = PRIVATE_DATA;
    std::string format = ".";
    if (const std::size_t dot = filename.rfind('.'); dot != std::string::npos) format += filename.substr(dot + 1);
    std::transform(format.begin(), format.end(), format.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (format == ".jpg") format = ".jpeg";
    if (data.size() > static_cast<std::size_t>(INT_MAX)) {
        cameraExposureFailed(camera, std::string("Image too large"));
        return;
    }
    // The buffer keeps its size; it only grows.
    if (record->buffer.size() < data.size()) record->buffer.resize(data.size());
    std::copy(data.begin(), data.end(), record->buffer.begin());
    indigo_process_dslr_image(device, record->buffer.data(), static_cast<int>(data.size()), format.c_str());
    if (CCD_EXPOSURE_PROPERTY->state == INDIGO_BUSY_STATE) {
        CCD_EXPOSURE_PROPERTY->state = INDIGO_OK_STATE;
        indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
    }
    if (CCD_STREAMING_PROPERTY->state == INDIGO_BUSY_STATE && CCD_STREAMING_COUNT_ITEM->number.value > 0) {
        CCD_STREAMING_COUNT_ITEM->number.value -= 1;
        if (CCD_STREAMING_COUNT_ITEM->number.value <= 0) {
            camera->stopPreview();
            CCD_STREAMING_PROPERTY->state = INDIGO_OK_STATE;
        }
        indigo_update_property(device, CCD_STREAMING_PROPERTY, nullptr);
    }
}

void PTPDelegate::cameraExposureFailed(const Camera& camera, const std::optional<std::string>& message) {
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return;
    CCD_IMAGE_PROPERTY->state = INDIGO_ALERT_STATE;
    indigo_update_property(device, CCD_IMAGE_PROPERTY, nullptr);
    const char* text = message ? message->c_str() : "Failed to exposure";
    if (CCD_EXPOSURE_PROPERTY->state == INDIGO_BUSY_STATE) {
        CCD_EXPOSURE_PROPERTY->state = INDIGO_ALERT_STATE;
        indigo_update_property(device, CCD_EXPOSURE_PROPERTY, text);
    } else if (CCD_STREAMING_PROPERTY->state == INDIGO_BUSY_STATE) {
        CCD_STREAMING_PROPERTY->state = INDIGO_ALERT_STATE;
        indigo_update_property(device, CCD_STREAMING_PROPERTY, text);
    }
}

void PTPDelegate::cameraFocusDone(const Camera& camera) {
    indigo_device* ccd = deviceOf(camera);
    if (ccd == nullptr || static_cast<ica_private_data*>(ccd->private_data)->focuser == nullptr) return;
    indigo_device* device = static_cast<ica_private_data*>(ccd->private_data)->focuser;
    // An aborted move ends with the step in flight; its end must not undo the abort's Alert.
    if (FOCUSER_STEPS_PROPERTY->state != INDIGO_BUSY_STATE) return;
    FOCUSER_STEPS_PROPERTY->state = INDIGO_OK_STATE;
    indigo_update_property(device, FOCUSER_STEPS_PROPERTY, nullptr);
}

void PTPDelegate::cameraFocusFailed(const Camera& camera, const std::optional<std::string>& message) {
    indigo_device* ccd = deviceOf(camera);
    if (ccd == nullptr || static_cast<ica_private_data*>(ccd->private_data)->focuser == nullptr) return;
    indigo_device* device = static_cast<ica_private_data*>(ccd->private_data)->focuser;
    FOCUSER_STEPS_PROPERTY->state = INDIGO_ALERT_STATE;
    indigo_update_property(device, FOCUSER_STEPS_PROPERTY, message ? message->c_str() : "Failed to focus");
}

// ---- camera properties ----------------------------------------------------------------------

int PTPDelegate::propertyIndex(const Camera& camera, uint16_t code, int type) {
    indigo_device* device = deviceOf(camera);
    if (device == nullptr) return -1;
    ica_private_data* data = PRIVATE_DATA;
    const DSLRPropertyName name = dslrPropertyName(*camera, code);
    for (std::size_t i = 0; i < data->dynamic_properties.size(); ++i) {
        if (std::strncmp(data->dynamic_properties[i]->name, name.name.c_str(), INDIGO_NAME_SIZE) == 0)
            return static_cast<int>(i);
    }
    if (type == 0) return -1;
    indigo_property* property = nullptr;
    if (type == 2) {
        property = indigo_init_number_property(nullptr, device->name, name.name.c_str(), name.group.c_str(),
                                               name.label.c_str(), INDIGO_IDLE_STATE, INDIGO_RO_PERM, 1);
        assert(property != nullptr && "property");
        indigo_init_number_item(property->items, "VALUE", "Value", 0, 65535, 1, 0);
    } else if (type == 3) {
        property = indigo_init_switch_property(nullptr, device->name, name.name.c_str(), name.group.c_str(),
                                               name.label.c_str(), INDIGO_IDLE_STATE, INDIGO_RO_PERM,
                                               INDIGO_ONE_OF_MANY_RULE, 0);
        assert(property != nullptr && "property");
    } else {
        property = indigo_init_text_property(nullptr, device->name, name.name.c_str(), name.group.c_str(),
                                             name.label.c_str(), INDIGO_IDLE_STATE, INDIGO_RO_PERM, 1);
        assert(property != nullptr && "property");
        indigo_init_text_item(property->items, "VALUE", "Value", "");
    }
    std::lock_guard lock(data->properties_mutex);
    data->dynamic_properties.push_back(property);
    return static_cast<int>(data->dynamic_properties.size() - 1);
}

void PTPDelegate::cameraPropertyChanged(const Camera& camera, uint16_t code, const std::string& value,
                                        const std::vector<std::string>& values, const std::vector<std::string>& labels,
                                        bool readOnly) {
    const int index = propertyIndex(camera, code, 3);
    if (index < 0) return;
    indigo_device* device = deviceOf(camera);
    ica_private_data* data = PRIVATE_DATA;
    indigo_property* property = data->dynamic_properties[static_cast<std::size_t>(index)];
    const indigo_property_perm wanted = permission(readOnly);
    bool keep = property->perm == wanted && property->count == static_cast<int>(values.size());
    for (std::size_t i = 0; keep && i < values.size(); ++i) {
        keep = std::strncmp(property->items[i].name, values[i].c_str(), INDIGO_NAME_SIZE - 1) == 0;
    }

    // Shutter and exposure mode decide who times the exposure.
    const uint16_t vendor = camera->extension();
    if (const BulbDecision bulb = bulbDecision(vendor, code, value, readOnly); bulb != BulbDecision::Unchanged)
        setBulb(device, bulb == BulbDecision::Bulb);
    if (const auto raw = rawFormatDecision(vendor, code, value)) setRawFormat(device, *raw);

    property->hidden = false;
    if (keep) {
        bool changed = false;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const bool on = values[i] == value;
            changed |= property->items[i].sw.value != on;
            property->items[i].sw.value = on;
        }
        settle(device, property, changed);
        return;
    }
    const bool connected = IS_CONNECTED;
    if (connected) indigo_delete_property(device, property, nullptr);
    {
        // The resize may free the record enumeration would walk: both change under the lock.
        std::lock_guard lock(data->properties_mutex);
        property = indigo_resize_property(property, static_cast<int>(values.size()));
        assert(property != nullptr && "property");
        data->dynamic_properties[static_cast<std::size_t>(index)] = property;
        property->perm = wanted;
        for (std::size_t i = 0; i < values.size(); ++i) {
            indigo_init_switch_item(property->items + i, values[i].c_str(),
                                    i < labels.size() ? labels[i].c_str() : values[i].c_str(), values[i] == value);
        }
        // A setting the camera answered with a new list has been carried out.
        if (property->state == INDIGO_BUSY_STATE) property->state = INDIGO_OK_STATE;
    }
    if (connected) indigo_define_property(device, property, nullptr);
}

void PTPDelegate::cameraPropertyChanged(const Camera& camera, uint16_t code, const PTPValue& value, const PTPValue& min,
                                        const PTPValue& max, const PTPValue& step, bool readOnly) {
    const int index = propertyIndex(camera, code, 2);
    if (index < 0) return;
    indigo_device* device = deviceOf(camera);
    indigo_property* property = PRIVATE_DATA->dynamic_properties[static_cast<std::size_t>(index)];
    indigo_item* item = property->items;
    const indigo_property_perm wanted = permission(readOnly);
    property->hidden = false;
    if (property->perm == wanted && ica_int32(item->number.min) == min.intValue() &&
        ica_int32(item->number.max) == max.intValue() && ica_int32(item->number.step) == step.intValue()) {
        const bool changed = item->number.value != value.intValue();
        item->number.value = item->number.target = value.intValue();
        settle(device, property, changed);
        return;
    }
    const bool connected = IS_CONNECTED;
    if (connected) indigo_delete_property(device, property, nullptr);
    property->perm = wanted;
    item->number.min = min.intValue();
    item->number.max = max.intValue();
    item->number.step = step.intValue();
    item->number.value = item->number.target = value.intValue();
    if (property->state == INDIGO_BUSY_STATE) property->state = INDIGO_OK_STATE;
    if (connected) indigo_define_property(device, property, nullptr);
}

void PTPDelegate::cameraPropertyChanged(const Camera& camera, uint16_t code, const std::string& value, bool readOnly) {
    const int index = propertyIndex(camera, code, 1);
    if (index < 0) return;
    indigo_device* device = deviceOf(camera);
    indigo_property* property = PRIVATE_DATA->dynamic_properties[static_cast<std::size_t>(index)];
    char text[INDIGO_VALUE_SIZE];
    indigo_copy_value(text, value.c_str());
    const indigo_property_perm wanted = permission(readOnly);
    property->hidden = false;
    if (property->perm == wanted) {
        const bool changed = std::strcmp(property->items[0].text.value, text) != 0;
        indigo_copy_value(property->items[0].text.value, text);
        settle(device, property, changed);
        return;
    }
    const bool connected = IS_CONNECTED;
    if (connected) indigo_delete_property(device, property, nullptr);
    property->perm = wanted;
    indigo_copy_value(property->items[0].text.value, text);
    if (property->state == INDIGO_BUSY_STATE) property->state = INDIGO_OK_STATE;
    if (connected) indigo_define_property(device, property, nullptr);
}

void PTPDelegate::cameraPropertyChanged(const Camera& camera, uint16_t code, bool readOnly) {
    const int index = propertyIndex(camera, code, 0);
    if (index < 0) return;
    indigo_device* device = deviceOf(camera);
    indigo_property* property = PRIVATE_DATA->dynamic_properties[static_cast<std::size_t>(index)];
    if (property->perm == permission(readOnly)) return;
    property->perm = permission(readOnly);
    property->state = INDIGO_OK_STATE;
    indigo_update_property(device, property, nullptr);
}

void PTPDelegate::cameraPropertyFailed(const Camera& camera, uint16_t code, const std::string& message) {
    const int index = propertyIndex(camera, code, 0);
    if (index < 0) return;
    indigo_device* device = deviceOf(camera);
    indigo_property* property = PRIVATE_DATA->dynamic_properties[static_cast<std::size_t>(index)];
    property->state = INDIGO_ALERT_STATE;
    indigo_update_property(device, property, message.c_str());
}

// ---- log ------------------------------------------------------------------------------------

void PTPDelegate::log(const std::string& text) {
    indigo_log("%s", text.c_str());
}

void PTPDelegate::debug(const std::string& text) {
    indigo_debug("%s", text.c_str());
}
