#pragma once
// The camera popup: a device list with one entry per camera, titled with its device name,
// and no entry without a device. After selectItemWithTitle() the application device runs
// CameraController::cameraAction() on the main queue.

#include "Common/device_list.h"

namespace zeta::camera {

using DevicePopup = zeta::common::DevicePopup;
using CameraList = zeta::common::DeviceList;

} // namespace zeta::camera
