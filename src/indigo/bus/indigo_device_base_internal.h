#pragma once
// What the CCD and focuser bases share: CONNECTION, INFO and CONFIG, and defining or
// deleting the kind's own properties as the device connects and disconnects.

#include "indigo/indigo_device_base.h"

#include <span>

namespace zeta::indigo {

// The kind's own properties, defined only while the device is connected.
using ConnectedProperties = std::span<indigo_property* const>;

// Makes CONNECTION, INFO and CONFIG into the context; false when memory runs out.
bool attachDeviceBase(indigo_device* device, indigo_device_context* context, unsigned version, int interfaceBits);

// Defines the property when it is not hidden and matches the request.
void defineIfMatching(indigo_device* device, indigo_property* property, const indigo_property* request);

void enumerateDeviceBase(indigo_device* device, const indigo_property* request, ConnectedProperties connected);

// Handles a request for CONNECTION or CONFIG; false when the request is for neither.
bool changeDeviceBase(indigo_device* device, indigo_property* request, ConnectedProperties connected);

// Takes a request for the property: values copied in, state Ok, updated. False when the
// property is hidden, read-only or not the one requested.
bool acceptSetting(indigo_device* device, indigo_property* property, indigo_property* request);

// Deletes whatever the base defined and releases the base's and the kind's properties.
void detachDeviceBase(indigo_device* device, ConnectedProperties connected);

} // namespace zeta::indigo
