#pragma once
// The device popup of the focuser and filter-wheel windows: a device list whose entry 0
// carries no device ("No focuser", "No wheel").

#include "Common/device_list.h"

namespace zeta::focus {

using DevicePopup = zeta::common::DevicePopup;
using DeviceList = zeta::common::DeviceList;

} // namespace zeta::focus
