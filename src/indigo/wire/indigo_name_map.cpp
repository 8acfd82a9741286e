#include "indigo/wire/indigo_name_map.h"

#include <string>
#include <unordered_map>

namespace zeta::indigo::wire {

namespace {

// A row with an empty item renames a property; a row with items renames one item of the
// property (given by its name on each side).
struct Row {
    std::string_view indigoProperty;
    std::string_view indigoItem;
    std::string_view indiProperty;
    std::string_view indiItem;
};

constexpr Row kRows[] = {
    {"CONNECTION", "CONNECTED", "CONNECTION", "CONNECT"},
    {"CONNECTION", "DISCONNECTED", "CONNECTION", "DISCONNECT"},

    {"INFO", "", "DRIVER_INFO", ""},
    {"INFO", "DEVICE_NAME", "DRIVER_INFO", "DRIVER_NAME"},
    {"INFO", "DEVICE_VERSION", "DRIVER_INFO", "DRIVER_VERSION"},
    {"INFO", "DEVICE_INTERFACE", "DRIVER_INFO", "DRIVER_INTERFACE"},

    {"CONFIG", "", "CONFIG_PROCESS", ""},
    {"CONFIG", "LOAD", "CONFIG_PROCESS", "CONFIG_LOAD"},
    {"CONFIG", "SAVE", "CONFIG_PROCESS", "CONFIG_SAVE"},
    {"CONFIG", "REMOVE", "CONFIG_PROCESS", "CONFIG_PURGE"},

    {"CCD_INFO", "WIDTH", "CCD_INFO", "CCD_MAX_X"},
    {"CCD_INFO", "HEIGHT", "CCD_INFO", "CCD_MAX_Y"},
    {"CCD_INFO", "PIXEL_SIZE", "CCD_INFO", "CCD_PIXEL_SIZE"},
    {"CCD_INFO", "PIXEL_WIDTH", "CCD_INFO", "CCD_PIXEL_SIZE_X"},
    {"CCD_INFO", "PIXEL_HEIGHT", "CCD_INFO", "CCD_PIXEL_SIZE_Y"},
    {"CCD_INFO", "BITS_PER_PIXEL", "CCD_INFO", "CCD_BITSPERPIXEL"},

    {"CCD_EXPOSURE", "EXPOSURE", "CCD_EXPOSURE", "CCD_EXPOSURE_VALUE"},
    {"CCD_ABORT_EXPOSURE", "ABORT_EXPOSURE", "CCD_ABORT_EXPOSURE", "ABORT"},

    {"CCD_IMAGE", "", "CCD1", ""},
    {"CCD_IMAGE", "IMAGE", "CCD1", "CCD1"},

    {"CCD_FRAME", "LEFT", "CCD_FRAME", "X"},
    {"CCD_FRAME", "TOP", "CCD_FRAME", "Y"},

    {"CCD_BIN", "", "CCD_BINNING", ""},
    {"CCD_BIN", "HORIZONTAL", "CCD_BINNING", "HOR_BIN"},
    {"CCD_BIN", "VERTICAL", "CCD_BINNING", "VER_BIN"},

    {"CCD_TEMPERATURE", "TEMPERATURE", "CCD_TEMPERATURE", "CCD_TEMPERATURE_VALUE"},
    {"CCD_COOLER", "ON", "CCD_COOLER", "COOLER_ON"},
    {"CCD_COOLER", "OFF", "CCD_COOLER", "COOLER_OFF"},

    {"FOCUSER_STEPS", "", "REL_FOCUS_POSITION", ""},
    {"FOCUSER_STEPS", "STEPS", "REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION"},
    {"FOCUSER_DIRECTION", "", "FOCUS_MOTION", ""},
    {"FOCUSER_DIRECTION", "MOVE_INWARD", "FOCUS_MOTION", "FOCUS_INWARD"},
    {"FOCUSER_DIRECTION", "MOVE_OUTWARD", "FOCUS_MOTION", "FOCUS_OUTWARD"},
    {"FOCUSER_POSITION", "", "ABS_FOCUS_POSITION", ""},
    {"FOCUSER_POSITION", "POSITION", "ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION"},
    {"FOCUSER_ABORT_MOTION", "", "FOCUS_ABORT_MOTION", ""},
    {"FOCUSER_ABORT_MOTION", "ABORT_MOTION", "FOCUS_ABORT_MOTION", "ABORT"},
    {"FOCUSER_SPEED", "", "FOCUS_SPEED", ""},
    {"FOCUSER_SPEED", "SPEED", "FOCUS_SPEED", "FOCUS_SPEED_VALUE"},
    {"FOCUSER_TEMPERATURE", "", "FOCUS_TEMPERATURE", ""},

    {"WHEEL_SLOT", "", "FILTER_SLOT", ""},
    {"WHEEL_SLOT", "SLOT", "FILTER_SLOT", "FILTER_SLOT_VALUE"},
    {"WHEEL_SLOT_NAME", "", "FILTER_NAME", ""},
};

std::string itemKey(std::string_view property, std::string_view item) {
    std::string key;
    key.reserve(property.size() + 1 + item.size());
    key.append(property);
    key.push_back('\0');
    key.append(item);
    return key;
}

struct Maps {
    std::unordered_map<std::string_view, std::string_view> toIndigoProperty;
    std::unordered_map<std::string_view, std::string_view> toIndiProperty;
    std::unordered_map<std::string, std::string_view> toIndigoItem; // by INDI property and item
    std::unordered_map<std::string, std::string_view> toIndiItem;   // by bus property and item

    Maps() {
        for (const Row& row : kRows) {
            if (row.indigoItem.empty()) {
                toIndigoProperty.emplace(row.indiProperty, row.indigoProperty);
                toIndiProperty.emplace(row.indigoProperty, row.indiProperty);
            } else {
                toIndigoItem.emplace(itemKey(row.indiProperty, row.indiItem), row.indigoItem);
                toIndiItem.emplace(itemKey(row.indigoProperty, row.indigoItem), row.indiItem);
            }
        }
    }
};

const Maps& maps() {
    static const Maps instance;
    return instance;
}

template <class Map, class Key>
std::string_view lookup(const Map& map, const Key& key, std::string_view fallback) {
    const auto found = map.find(key);
    return found != map.end() ? found->second : fallback;
}

} // namespace

std::string_view indigoPropertyName(std::string_view indiProperty) {
    return lookup(maps().toIndigoProperty, indiProperty, indiProperty);
}

std::string_view indigoItemName(std::string_view indiProperty, std::string_view indiItem) {
    return lookup(maps().toIndigoItem, itemKey(indiProperty, indiItem), indiItem);
}

std::string_view indiPropertyName(std::string_view indigoProperty) {
    return lookup(maps().toIndiProperty, indigoProperty, indigoProperty);
}

std::string_view indiItemName(std::string_view indigoProperty, std::string_view indigoItem) {
    return lookup(maps().toIndiItem, itemKey(indigoProperty, indigoItem), indigoItem);
}

} // namespace zeta::indigo::wire
