#pragma once
// Canon's vocabulary: the names of its operation, response, event and property codes, the
// labels of its property values, and how each property is reported to the user depending on
// the AE mode (settings the mode decides are shown read-only as "Auto" or "Bulb").
//
// A decision core: the camera class reports, these tables and rules say what.

#include "platform/camera/ptp_names.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

using CanonLabelMap = std::map<int64_t, std::string>;

// Canon names first, then the base tables and their fallback texts.
const PTPNameTable& canonOperationNames();
const PTPNameTable& canonResponseNames();
const PTPNameTable& canonEventNames();
const PTPNameTable& canonPropertyNames();

// The labels of a property's values; null for a property without a map.
const CanonLabelMap* canonLabelMap(uint16_t code);

// The label of an image-format value (one group, or two groups joined by " + "); an unknown
// group adds nothing.
std::string canonImageFormatLabel(uint64_t value);

// The setting of a custom function: the first of its values, the one its labels name (the
// values after it are the setting's parameters).
std::string canonCustomFunctionSetting(const std::string& valueText);

enum class CanonReportKind {
    MapList,          // the camera's values, labelled from the map ("0x%04x" when missing)
    MapInterval,      // every value of the map
    SingleAuto,       // only "Auto", read-only
    SingleBulb,       // only "Bulb", read-only
    AEMode,           // MapInterval, then the permissions the mode gives the other settings
    Numbers,          // values and labels both the values in decimal
    Battery,          // the standard battery level 0..100 from Canon's battery code
    BatteryLevel,     // the standard battery level as it is
    Text,             // the value as text
    ImageFormat,      // values in decimal, labels from canonImageFormatLabel
    ViewfinderOutput, // preview capability, MapList, then the live-view reactions
    Generic,          // value texts, text, or number by datatype
};

struct CanonReportRule {
    CanonReportKind kind = CanonReportKind::Generic;
    const CanonLabelMap* map = nullptr;
    bool overridesReadOnly = false; // the AE mode decides: use `readOnly` below
    bool readOnly = false;
};

// How property `code` is reported in AE mode `mode`.
CanonReportRule canonReportRule(uint16_t code, int32_t mode);

// After the AE mode changes: the read-only flag of each setting it decides, in report order.
std::vector<std::pair<uint16_t, bool>> canonModePermissions(int32_t mode);

// Canon's battery code as a percentage: 1 is 50, 2 is 100, 4 is 75, 5 is 25, anything else 0.
int32_t canonBatteryLevel(int64_t batteryCode);

// The sensor of a known body by its model name (exact match, case-insensitive).
struct CanonSensor {
    int32_t width = 0, height = 0;
    float pixelSize = 0;
};
CanonSensor canonSensorForModel(const std::string& model);
