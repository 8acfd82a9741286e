#include "ccd_ica/dslr_property_map.h"

#include "ccd_ica/ptp_camera.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const dslr_property_map_row dslr_property_map[] = {
    {0, 0x500E, "DSLR_PROGRAM", "Exposure program"},
    {10, 0x500E, "DSLR_PROGRAM", "Exposure program"},
    {11, 0xD105, "DSLR_PROGRAM", "Exposure program"},
    {17, 0x500E, "DSLR_PROGRAM", "Exposure program"},
    {0, 0x5007, "DSLR_APERTURE", "Aperture"},
    {10, 0x5007, "DSLR_APERTURE", "Aperture"},
    {11, 0xD101, "DSLR_APERTURE", "Aperture"},
    {17, 0x5007, "DSLR_APERTURE", "Aperture"},
    {0, 0x500D, "DSLR_SHUTTER", "Shutter"},
    {10, 0x500D, "DSLR_SHUTTER", "Shutter"},
    {11, 0xD102, "DSLR_SHUTTER", "Shutter"},
    {17, 0xD20D, "DSLR_SHUTTER", "Shutter"},
    {0, 0x5003, "CCD_MODE", "Image size"},
    {10, 0x5003, "CCD_MODE", "Image size"},
    {11, 0xD120, "CCD_MODE", "Image size"},
    {17, 0xD203, "CCD_MODE", "Image size"},
    {0, 0x5004, "DSLR_COMPRESSION", "Compression"},
    {10, 0x5004, "DSLR_COMPRESSION", "Compression"},
    {17, 0x5004, "DSLR_COMPRESSION", "Compression"},
    {0, 0x5005, "DSLR_WHITE_BALANCE", "White balance"},
    {10, 0x5005, "DSLR_WHITE_BALANCE", "White balance"},
    {11, 0xD109, "DSLR_WHITE_BALANCE", "White balance"},
    {17, 0x5005, "DSLR_WHITE_BALANCE", "White balance"},
    {0, 0x500F, "DSLR_ISO", "ISO"},
    {10, 0x500F, "DSLR_ISO", "ISO"},
    {11, 0xD103, "DSLR_ISO", "ISO"},
    {17, 0xD21E, "DSLR_ISO", "ISO"},
    {0, 0x500B, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {10, 0x500B, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {11, 0xD107, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {17, 0x500B, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {0, 0x501C, "DSLR_FOCUS_METERING", "Focus metering"},
    {17, 0x501C, "DSLR_FOCUS_METERING", "Focus metering"},
    {0, 0x500A, "DSLR_FOCUS_MODE", "Focus mode"},
    {10, 0xD161, "DSLR_FOCUS_MODE", "Focus mode"},
    {11, 0xD108, "DSLR_FOCUS_MODE", "Focus mode"},
    {17, 0x500A, "DSLR_FOCUS_MODE", "Focus mode"},
    {0, 0x5001, "DSLR_BATTERY_LEVEL", "Battery level"},
    {10, 0x5001, "DSLR_BATTERY_LEVEL", "Battery level"},
    {11, 0x5001, "DSLR_BATTERY_LEVEL", "Battery level"},
    {17, 0xD218, "DSLR_BATTERY_LEVEL", "Battery level"},
    {0, 0x5008, "DSLR_FOCAL_LENGTH", "Focal length"},
    {10, 0x5008, "DSLR_FOCAL_LENGTH", "Focal length"},
    {17, 0x5008, "DSLR_FOCAL_LENGTH", "Focal length"},
    {0, 0x5013, "DSLR_CAPTURE_MODE", "Capture mode"},
    {10, 0x5013, "DSLR_CAPTURE_MODE", "Capture mode"},
    {11, 0xD106, "DSLR_CAPTURE_MODE", "Drive mode"},
    {17, 0x5013, "DSLR_CAPTURE_MODE", "Capture mode"},
    {0, 0x500C, "DSLR_FLASH_MODE", "Flash mode"},
    {10, 0x500C, "DSLR_FLASH_MODE", "Flash mode"},
    {17, 0x500C, "DSLR_FLASH_MODE", "Flash mode"},
    {0, 0x5010, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
    {10, 0x5010, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
    {11, 0xD104, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
    {17, 0x5010, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
    {10, 0xD056, "DSLR_COMPENSATION_STEP", "Compensation step"},
    {10, 0xD126, "DSLR_FLASH_COMPENSATION", "Flash compensation"},
    {17, 0xD200, "DSLR_FLASH_COMPENSATION", "Flash compensation"},
    {10, 0xD123, "DSLR_EXT_FLASH_MODE", "External flash mode"},
    {10, 0xD124, "DSLR_EXT_FLASH_COMPENSATION", "External flash compensation"},
    {10, 0xD200, "DSLR_PICTURE_STYLE", "Picture style"},
    {0, 0, nullptr, nullptr},
};

DSLRPropertyName dslrPropertyName(const PTPCamera& camera, uint16_t code) {
    const int16_t vendor = static_cast<int16_t>(camera.extension());
    for (const dslr_property_map_row* row = dslr_property_map; row->code != 0; ++row) {
        if (row->vendor == vendor && row->code == code) return {row->name, row->label, "DSLR"};
    }
    char name[8];
    std::snprintf(name, sizeof name, "%04x", code);
    std::string label = camera.classes().propertyCodeName(code);
    constexpr std::string_view prefix = "PTPPropertyCode";
    if (label.starts_with(prefix)) label.erase(0, prefix.size());
    return {name, label, "Advanced"};
}

uint16_t dslrPropertyCode(const PTPCamera& camera, const char* name) {
    const int16_t vendor = static_cast<int16_t>(camera.extension());
    for (const dslr_property_map_row* row = dslr_property_map; row->code != 0; ++row) {
        if (row->vendor == vendor && std::strcmp(row->name, name) == 0) return row->code;
    }
    return static_cast<uint16_t>(std::strtoul(name, nullptr, 16));
}
