#pragma once
// Nikon's data: the sensor of each body by model name, lens names by LensID, the names of the
// vendor property codes, the value labels of the properties that have them, and the reasons a
// body gives for refusing live view. Plain tables, looked up by the Nikon camera class.

#include "platform/camera/ptp_names.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zeta::ccd_ica {

struct NikonSensor {
    std::string_view model;
    int32_t width;
    int32_t height;
    float pixelSize; // micrometres
};

// The row whose model equals the name upper-cased (ASCII only); none for any other name.
std::optional<NikonSensor> nikonSensor(std::string_view deviceName);

// The lens name for a LensID value; none for values without one.
std::optional<std::string_view> nikonLensName(int64_t lensID);

// The property names of the vendor ("PTPPropertyCodeNikon..."), extending the base table.
const PTPNameTable& nikonPropertyNames();

using NikonLabelMap = std::map<int64_t, std::string>;
struct NikonLabels {
    // Reported as the whole map (every value the map has) rather than the camera's own list.
    bool wholeRange;
    const NikonLabelMap* map;
};
// The label map of a property code, if it has one.
std::optional<NikonLabels> nikonLabels(uint16_t propertyCode);

// "LiveViewProhibitCondition 0x%08x" followed by the reason of every known bit.
std::string nikonProhibitText(uint32_t condition);

} // namespace zeta::ccd_ica
