#include "camera/camera_rows.h"

#include "camera/zt_camera_view.h"

namespace zeta::camera {

CameraRows cameraRows(const std::function<bool(std::string_view)>& has) {
    CameraRows rows;
    // Until the camera has defined its exposure it has told nothing of its kind.
    if (!has("CCD_EXPOSURE")) return rows;
    rows.dslr = false;
    rows.mode = has("CCD_MODE");
    for (const auto& row : kDslrTable)
        rows.dslr = rows.dslr || has(row.property);
    rows.gain = has("CCD_GAIN");
    rows.gamma = has("CCD_GAMMA");
    // The set-point needs both: the switch and the temperature it aims at.
    rows.cooler = has("CCD_COOLER") && has("CCD_TEMPERATURE");
    if (!rows.dslr) {
        rows.frameType = has("CCD_FRAME_TYPE");
        rows.offset = has("CCD_OFFSET");
        rows.binning = has("CCD_BIN");
        rows.frame = has("CCD_FRAME");
    }
    return rows;
}

} // namespace zeta::camera
