#include "support/star_camera.h"

#include "indigo/indigo_ccd_driver.h"
#include "indigo/indigo_property.h"
#include "indigo/indigo_timer.h"

#include <mutex>
#include <random>

namespace test_support {

struct StarCamera::Driver {
    Options options;
    indigo_device device{};
    mutable std::mutex mutex;
    std::mt19937 noise;
    bool starVisible = true;
    bool detached = false;
    int frames = 0;

    static Driver* of(indigo_device* device) { return static_cast<Driver*>(device->private_data); }

    static indigo_result attach(indigo_device* device) {
        Driver* self = of(device);
        if (indigo_ccd_attach(device, 1) != INDIGO_OK) return INDIGO_FAILED;
        const StarModel& model = self->options.model;
        CCD_INFO_WIDTH_ITEM->number.value = model.width;
        CCD_INFO_HEIGHT_ITEM->number.value = model.height;
        CCD_INFO_PIXEL_SIZE_ITEM->number.value = 3.8;
        CCD_INFO_BITS_PER_PIXEL_ITEM->number.value = 16;
        CCD_FRAME_WIDTH_ITEM->number.value = CCD_FRAME_WIDTH_ITEM->number.max = model.width;
        CCD_FRAME_HEIGHT_ITEM->number.value = CCD_FRAME_HEIGHT_ITEM->number.max = model.height;
        CCD_FRAME_BITS_PER_PIXEL_ITEM->number.value = 16;
        return indigo_ccd_enumerate_properties(device, nullptr, nullptr);
    }

    static indigo_result change(indigo_device* device, indigo_client* client, indigo_property* request) {
        if (IS_CONNECTED && indigo_property_match(CCD_EXPOSURE_PROPERTY, request)) {
            std::lock_guard lock(of(device)->mutex);
            if (CCD_EXPOSURE_PROPERTY->state == INDIGO_BUSY_STATE) return INDIGO_OK;
            indigo_property_copy_values(CCD_EXPOSURE_PROPERTY, request, false);
            CCD_EXPOSURE_PROPERTY->state = INDIGO_BUSY_STATE;
            indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
            indigo_set_timer(device, CCD_EXPOSURE_ITEM->number.value, exposureEnd);
            return INDIGO_OK;
        }
        return indigo_ccd_change_property(device, client, request);
    }

    static void exposureEnd(indigo_device* device) {
        Driver* self = of(device);
        // Held throughout: the device may be going away on another thread.
        std::lock_guard lock(self->mutex);
        if (self->detached || CCD_EXPOSURE_PROPERTY->state != INDIGO_BUSY_STATE) return; // aborted
        const double position = self->options.position ? self->options.position() : 0;
        auto bytes = self->options.model.frame(position, self->noise, self->starVisible);
        ++self->frames;
        indigo_process_dslr_image(device, bytes.data(), static_cast<int>(bytes.size()), ".raw");
        CCD_EXPOSURE_ITEM->number.value = 0;
        CCD_EXPOSURE_PROPERTY->state = INDIGO_OK_STATE;
        indigo_update_property(device, CCD_EXPOSURE_PROPERTY, nullptr);
    }

    static indigo_result detach(indigo_device* device) {
        {
            std::lock_guard lock(of(device)->mutex);
            of(device)->detached = true;
        }
        return indigo_ccd_detach(device);
    }
};

StarCamera::StarCamera(Options options) : driver_(std::make_unique<Driver>()) {
    driver_->options = std::move(options);
    driver_->noise.seed(driver_->options.seed);
    indigo_device& device = driver_->device;
    indigo_copy_name(device.name, driver_->options.name.c_str());
    device.version = INDIGO_VERSION_CURRENT;
    device.private_data = driver_.get();
    device.attach = Driver::attach;
    device.enumerate_properties = indigo_ccd_enumerate_properties;
    device.change_property = Driver::change;
    device.detach = Driver::detach;
    indigo_attach_device(&device);
}

StarCamera::~StarCamera() {
    indigo_detach_device(&driver_->device);
}

const std::string& StarCamera::name() const {
    return driver_->options.name;
}

void StarCamera::setStarVisible(bool visible) {
    std::lock_guard lock(driver_->mutex);
    driver_->starVisible = visible;
}

int StarCamera::frames() const {
    std::lock_guard lock(driver_->mutex);
    return driver_->frames;
}

} // namespace test_support
