// The CCD device base.

#include "indigo/indigo_ccd_driver.h"

#include "indigo/bus/indigo_device_base_internal.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// Image bytes published through CCD_IMAGE. A buffer that is outgrown is kept until the
// device detaches, because a client may still be reading the image it held.
struct indigo_ccd_image_store {
    std::unique_ptr<unsigned char[]> current;
    std::size_t capacity = 0;
    std::vector<std::unique_ptr<unsigned char[]>> outgrown;

    unsigned char* hold(const void* data, std::size_t size) {
        if (size > capacity) {
            const std::size_t grown = size > capacity * 2 ? size : capacity * 2;
            auto larger = std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[grown]);
            if (larger == nullptr) return nullptr;
            if (current != nullptr) outgrown.push_back(std::move(current));
            current = std::move(larger);
            capacity = grown;
        }
        std::memcpy(current.get(), data, size);
        return current.get();
    }
};

namespace {

using zeta::indigo::ConnectedProperties;

std::array<indigo_property*, 9> ccdProperties(indigo_device* device) {
    return {CCD_INFO_PROPERTY,      CCD_MODE_PROPERTY,         CCD_BIN_PROPERTY,
            CCD_FRAME_PROPERTY,     CCD_EXPOSURE_PROPERTY,     CCD_ABORT_EXPOSURE_PROPERTY,
            CCD_STREAMING_PROPERTY, CCD_IMAGE_FORMAT_PROPERTY, CCD_IMAGE_PROPERTY};
}

bool makeCcdProperties(indigo_device* device) {
    const char* name = device->name;
    CCD_INFO_PROPERTY = indigo_init_number_property(nullptr, name, CCD_INFO_PROPERTY_NAME, CCD_MAIN_GROUP, "CCD info",
                                                    INDIGO_IDLE_STATE, INDIGO_RO_PERM, 8);
    CCD_MODE_PROPERTY =
        indigo_init_switch_property(nullptr, name, CCD_MODE_PROPERTY_NAME, CCD_MAIN_GROUP, "Capture mode",
                                    INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 0);
    CCD_BIN_PROPERTY = indigo_init_number_property(nullptr, name, CCD_BIN_PROPERTY_NAME, CCD_MAIN_GROUP, "Binning",
                                                   INDIGO_IDLE_STATE, INDIGO_RW_PERM, 2);
    CCD_FRAME_PROPERTY = indigo_init_number_property(nullptr, name, CCD_FRAME_PROPERTY_NAME, CCD_MAIN_GROUP,
                                                     "Frame size", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 5);
    CCD_EXPOSURE_PROPERTY = indigo_init_number_property(nullptr, name, CCD_EXPOSURE_PROPERTY_NAME, CCD_MAIN_GROUP,
                                                        "Start exposure", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1);
    CCD_ABORT_EXPOSURE_PROPERTY =
        indigo_init_switch_property(nullptr, name, CCD_ABORT_EXPOSURE_PROPERTY_NAME, CCD_MAIN_GROUP, "Abort exposure",
                                    INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_AT_MOST_ONE_RULE, 1);
    CCD_STREAMING_PROPERTY = indigo_init_number_property(nullptr, name, CCD_STREAMING_PROPERTY_NAME, CCD_MAIN_GROUP,
                                                         "Start streaming", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 2);
    CCD_IMAGE_FORMAT_PROPERTY =
        indigo_init_switch_property(nullptr, name, CCD_IMAGE_FORMAT_PROPERTY_NAME, CCD_MAIN_GROUP, "Image format",
                                    INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 3);
    CCD_IMAGE_PROPERTY = indigo_init_blob_property(nullptr, name, CCD_IMAGE_PROPERTY_NAME, CCD_MAIN_GROUP, "Image data",
                                                   INDIGO_IDLE_STATE, 1);
    for (indigo_property* property : ccdProperties(device)) {
        if (property == nullptr) return false;
    }

    indigo_init_number_item(CCD_INFO_WIDTH_ITEM, CCD_INFO_WIDTH_ITEM_NAME, "Horizontal resolution", 0, 0xFFFF, 1, 0);
    indigo_init_number_item(CCD_INFO_HEIGHT_ITEM, CCD_INFO_HEIGHT_ITEM_NAME, "Vertical resolution", 0, 0xFFFF, 1, 0);
    indigo_init_number_item(CCD_INFO_MAX_HORIZONTAL_BIN_ITEM, CCD_INFO_MAX_HORIZONTAL_BIN_ITEM_NAME,
                            "Max horizontal binning", 1, 16, 1, 1);
    indigo_init_number_item(CCD_INFO_MAX_VERTICAL_BIN_ITEM, CCD_INFO_MAX_VERTICAL_BIN_ITEM_NAME, "Max vertical binning",
                            1, 16, 1, 1);
    indigo_init_number_item(CCD_INFO_PIXEL_SIZE_ITEM, CCD_INFO_PIXEL_SIZE_ITEM_NAME, "Pixel size", 0, 100, 0.01, 0);
    indigo_init_number_item(CCD_INFO_PIXEL_WIDTH_ITEM, CCD_INFO_PIXEL_WIDTH_ITEM_NAME, "Pixel width", 0, 100, 0.01, 0);
    indigo_init_number_item(CCD_INFO_PIXEL_HEIGHT_ITEM, CCD_INFO_PIXEL_HEIGHT_ITEM_NAME, "Pixel height", 0, 100, 0.01,
                            0);
    indigo_init_number_item(CCD_INFO_BITS_PER_PIXEL_ITEM, CCD_INFO_BITS_PER_PIXEL_ITEM_NAME, "Bits/pixel", 0, 128, 1,
                            0);

    indigo_init_number_item(CCD_BIN_HORIZONTAL_ITEM, CCD_BIN_HORIZONTAL_ITEM_NAME, "Horizontal binning", 1, 1, 1, 1);
    indigo_init_number_item(CCD_BIN_VERTICAL_ITEM, CCD_BIN_VERTICAL_ITEM_NAME, "Vertical binning", 1, 1, 1, 1);

    indigo_init_number_item(CCD_FRAME_LEFT_ITEM, CCD_FRAME_LEFT_ITEM_NAME, "Left", 0, 0xFFFF, 1, 0);
    indigo_init_number_item(CCD_FRAME_TOP_ITEM, CCD_FRAME_TOP_ITEM_NAME, "Top", 0, 0xFFFF, 1, 0);
    indigo_init_number_item(CCD_FRAME_WIDTH_ITEM, CCD_FRAME_WIDTH_ITEM_NAME, "Width", 0, 0xFFFF, 1, 0);
    indigo_init_number_item(CCD_FRAME_HEIGHT_ITEM, CCD_FRAME_HEIGHT_ITEM_NAME, "Height", 0, 0xFFFF, 1, 0);
    indigo_init_number_item(CCD_FRAME_BITS_PER_PIXEL_ITEM, CCD_FRAME_BITS_PER_PIXEL_ITEM_NAME, "Bits per pixel", 8, 16,
                            8, 16);

    indigo_init_number_item(CCD_EXPOSURE_ITEM, CCD_EXPOSURE_ITEM_NAME, "Start exposure", 0, 10000, 1, 0);
    indigo_init_switch_item(CCD_ABORT_EXPOSURE_ITEM, CCD_ABORT_EXPOSURE_ITEM_NAME, "Abort exposure", false);

    CCD_STREAMING_PROPERTY->hidden = true;
    indigo_init_number_item(CCD_STREAMING_EXPOSURE_ITEM, CCD_STREAMING_EXPOSURE_ITEM_NAME, "Shutter time", 0, 10000, 1,
                            0);
    indigo_init_number_item(CCD_STREAMING_COUNT_ITEM, CCD_STREAMING_COUNT_ITEM_NAME, "Frame count", -1, 100000, 1, -1);

    indigo_init_switch_item(CCD_IMAGE_FORMAT_FITS_ITEM, CCD_IMAGE_FORMAT_FITS_ITEM_NAME, "FITS format", true);
    indigo_init_switch_item(CCD_IMAGE_FORMAT_RAW_ITEM, CCD_IMAGE_FORMAT_RAW_ITEM_NAME, "Raw data", false);
    indigo_init_switch_item(CCD_IMAGE_FORMAT_JPEG_ITEM, CCD_IMAGE_FORMAT_JPEG_ITEM_NAME, "JPEG format", false);

    indigo_init_blob_item(CCD_IMAGE_ITEM, CCD_IMAGE_ITEM_NAME, "Image data");
    return true;
}

void freeContext(indigo_device* device) {
    delete CCD_CONTEXT->image_store;
    std::free(device->device_context);
    device->device_context = nullptr;
}

void abortExposure(indigo_device* device, indigo_property* request) {
    indigo_property* abort = CCD_ABORT_EXPOSURE_PROPERTY;
    if (request != abort) indigo_property_copy_values(abort, request, false);
    if (CCD_ABORT_EXPOSURE_ITEM->sw.value) {
        for (indigo_property* running : {CCD_EXPOSURE_PROPERTY, CCD_STREAMING_PROPERTY, CCD_IMAGE_PROPERTY}) {
            if (running->state == INDIGO_BUSY_STATE) {
                running->state = INDIGO_ALERT_STATE;
                indigo_update_property(device, running, nullptr);
            }
        }
    }
    CCD_ABORT_EXPOSURE_ITEM->sw.value = false;
    abort->state = INDIGO_OK_STATE;
    indigo_update_property(device, abort, nullptr);
}

} // namespace

extern "C" {

indigo_result indigo_ccd_attach(indigo_device* device, unsigned version) {
    if (device == nullptr || device->device_context != nullptr) {
        indigo_error("indigo: CCD base needs a device without a context");
        return INDIGO_FAILED;
    }
    device->device_context = std::calloc(1, sizeof(indigo_ccd_context));
    if (device->device_context == nullptr) return INDIGO_FAILED;
    CCD_CONTEXT->image_store = new (std::nothrow) indigo_ccd_image_store();
    if (CCD_CONTEXT->image_store == nullptr ||
        !zeta::indigo::attachDeviceBase(device, DEVICE_CONTEXT, version, INDIGO_INTERFACE_CCD) ||
        !makeCcdProperties(device)) {
        indigo_error("indigo: out of memory attaching CCD '%s'", device->name);
        zeta::indigo::detachDeviceBase(device, ccdProperties(device));
        freeContext(device);
        return INDIGO_FAILED;
    }
    return INDIGO_OK;
}

indigo_result indigo_ccd_enumerate_properties(indigo_device* device, indigo_client*, indigo_property* property) {
    if (device == nullptr || device->device_context == nullptr) return INDIGO_FAILED;
    zeta::indigo::enumerateDeviceBase(device, property, ccdProperties(device));
    return INDIGO_OK;
}

indigo_result indigo_ccd_change_property(indigo_device* device, indigo_client*, indigo_property* property) {
    if (device == nullptr || device->device_context == nullptr || property == nullptr) return INDIGO_FAILED;
    if (zeta::indigo::changeDeviceBase(device, property, ccdProperties(device)) || !IS_CONNECTED) return INDIGO_OK;
    for (indigo_property* setting :
         {CCD_MODE_PROPERTY, CCD_BIN_PROPERTY, CCD_FRAME_PROPERTY, CCD_IMAGE_FORMAT_PROPERTY}) {
        if (zeta::indigo::acceptSetting(device, setting, property)) return INDIGO_OK;
    }
    indigo_property* abort = CCD_ABORT_EXPOSURE_PROPERTY;
    if (!abort->hidden && abort->perm != INDIGO_RO_PERM && indigo_property_match(abort, property))
        abortExposure(device, property);
    return INDIGO_OK;
}

indigo_result indigo_ccd_detach(indigo_device* device) {
    if (device == nullptr || device->device_context == nullptr) return INDIGO_FAILED;
    zeta::indigo::detachDeviceBase(device, ccdProperties(device));
    freeContext(device);
    return INDIGO_OK;
}

void indigo_process_dslr_image(indigo_device* device, void* data, int blobsize, const char* suffix) {
    if (device == nullptr || device->device_context == nullptr) {
        indigo_error("indigo: image for a device without a CCD base dropped");
        return;
    }
    indigo_property* image = CCD_IMAGE_PROPERTY;
    unsigned char* held = nullptr;
    if (data != nullptr && blobsize > 0)
        held = CCD_CONTEXT->image_store->hold(data, static_cast<std::size_t>(blobsize));
    if (held == nullptr) {
        image->state = INDIGO_ALERT_STATE;
        indigo_update_property(device, image, blobsize > 0 ? "Out of memory for the image" : "No image data");
        return;
    }
    indigo_item* item = CCD_IMAGE_ITEM;
    item->blob.value = held;
    item->blob.size = blobsize;
    indigo_copy_name(item->blob.format, suffix);
    item->blob.url[0] = '\0';
    image->state = INDIGO_OK_STATE;
    indigo_update_property(device, image, nullptr);
}

} // extern "C"
