#pragma once
// Which rows the camera window shows for the selected camera: a camera with DSLR settings gets
// the DSLR popups (and the gain, gamma and cooler it may have); a camera without them (an
// astronomy camera) gets the frame type, offset, gain, gamma, cooler, binning and frame it has. A row
// the camera lacks is hidden, never shown empty.

#include <functional>
#include <string_view>

namespace zeta::camera {

struct CameraRows {
    bool dslr = true; // the ten DSLR popups and the battery (also without a camera)
    bool mode = true;
    bool frameType = false;
    bool offset = false;
    bool gain = false;
    bool gamma = false;
    bool cooler = false;
    bool binning = false;
    bool frame = false; // the frame region's four boxes
    bool operator==(const CameraRows&) const = default;
};

// has answers whether the camera defines the property of that name. A camera that has not
// defined CCD_EXPOSURE yet (not connected) gets the rows of no camera.
CameraRows cameraRows(const std::function<bool(std::string_view)>& has);

} // namespace zeta::camera
