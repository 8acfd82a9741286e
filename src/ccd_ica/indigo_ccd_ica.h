#pragma once
// The in-process INDIGO driver "indigo_ccd_ica" ("ICA Camera"): every PTP camera the camera
// browser finds becomes a CCD device named after the camera, and a camera that can drive its
// lens also a focuser device named after the CCD device + " (focuser)".
//
// Threads. All camera work runs on the driver's own run loop, a serial queue that lives for
// the whole process and is the callback queue of the camera framework's device browser:
// every camera callback and report, every camera operation, every change of the devices'
// properties and every define, update and delete the driver posts. The device callbacks the
// bus calls on its threads only hop: a change request is copied and handled later on the run
// loop (so the call returns INDIGO_OK at once and the outcome arrives as property updates),
// the bulb timer's callback queues the end of the exposure there, and a detach arriving on
// another thread (the bus stopping) is carried out on the run loop while the caller waits.
// Enumeration is the one exception: it defines on the enumerating thread, as the bus
// requires, reading the records under the record's lock. Nothing on the run loop waits for
// a bus thread, so a change request never blocks.

#include <memory>
#include <vector>

class PTPDelegate;

#include "indigo/indigo_driver.h"
#include "platform/camera/ic_device_source.h"
#include "platform/dispatch.h"

extern "C" indigo_result indigo_ccd_ica(indigo_driver_action action, indigo_driver_info* info);

// The driver's run loop.
dispatch::Queue& indigo_ccd_ica_run_loop();

// The driver's one camera delegate, once the entry has been called (for cameras made
// outside the browser, as tests do).
std::shared_ptr<PTPDelegate> indigo_ccd_ica_delegate();

// Where the driver's browser looks for cameras, to be set before the driver entry is first
// called (by default USB cameras and the simulated ones ZETA_SIMULATED_CAMERAS names). False
// when the browser has already been made.
bool indigo_ccd_ica_use_device_sources(std::vector<std::shared_ptr<zeta::platform::ICDeviceSource>> sources);
