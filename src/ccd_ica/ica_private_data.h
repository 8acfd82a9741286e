#pragma once
// The driver's record per camera, shared by the camera's CCD device and its focuser device
// (both point to it as their private data).
//
// Threads: the record is read and written on the driver's run loop only, with two
// exceptions. The bus's enumeration (on the enumerating client's thread) reads the CCD
// base's records, the dynamic properties and the six own switches: the run loop builds and
// tears down the base (attach, detach) and changes that list and the records it holds (a
// resize may move one) only under `properties_mutex`, and enumeration runs under the same
// lock. And the device callbacks on bus threads read the device tokens to hop onto the run
// loop; those are set before a device attaches and reset only after it has detached.

#include "ccd_ica/ptp_camera.h"
#include "indigo/indigo_bus.h"
#include "indigo/indigo_timer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct ica_private_data {
    std::shared_ptr<PTPCamera> camera;
    indigo_device* focuser = nullptr;
    indigo_property* dslr_lock_property = nullptr;
    indigo_property* dslr_mirror_lockup_property = nullptr;
    indigo_property* dslr_af_property = nullptr;
    indigo_property* dslr_avoid_af_property = nullptr;
    indigo_property* dslr_zoom_preview_property = nullptr;
    indigo_property* dslr_delete_image_property = nullptr;
    // One per camera property reported, in the order first reported.
    std::vector<indigo_property*> dynamic_properties;
    // Reused for every downloaded image; grows only.
    std::vector<uint8_t> buffer;
    bool bulb = false;
    indigo_timer* exposure_timer = nullptr;

    // Between a successful ccd_attach and ccd_detach: the CCD base's records exist.
    bool attached = false;
    // The camera has said it has live view.
    bool can_preview = false;
    // Alive while the device is: a task hopping onto the run loop holds it weakly and does
    // nothing once the device has gone.
    std::shared_ptr<int> ccd_token = std::make_shared<int>(0);
    std::shared_ptr<int> focuser_token;
    // Recursive: a client may enumerate from inside a define or delete the run loop posts
    // while holding it.
    std::recursive_mutex properties_mutex;
};

#define PRIVATE_DATA (static_cast<ica_private_data*>(device->private_data))

// The six own switches, in the order they are defined.
inline std::vector<indigo_property*> ica_own_switches(const ica_private_data* data) {
    return {data->dslr_lock_property,     data->dslr_mirror_lockup_property, data->dslr_af_property,
            data->dslr_avoid_af_property, data->dslr_zoom_preview_property,  data->dslr_delete_image_property};
}
