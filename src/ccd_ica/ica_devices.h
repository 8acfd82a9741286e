#pragma once
// The two device kinds of the driver, as the camera reports make and unmake them. Run loop only.

#include "ccd_ica/ica_private_data.h"
#include "indigo/indigo_bus.h"

#include <cstdint>
#include <string>

// A CCD device record named after the camera (cut to 127 bytes), with the record as its
// private data; not attached.
indigo_device* ica_make_ccd_device(const std::string& name, ica_private_data* data);
// A focuser device record named after the CCD device + " (focuser)", sharing its record.
indigo_device* ica_make_focuser_device(const indigo_device* ccd, ica_private_data* data);

// Ends the base's connection of an attached device, deleting its connected properties: the
// device is going and no camera will answer a disconnect request.
void ica_disconnect_now(indigo_device* device, bool ccd);

// A client's number as a 32-bit integer: cut toward zero and held to the type's range; not a
// number gives 0.
int32_t ica_int32(double value);
