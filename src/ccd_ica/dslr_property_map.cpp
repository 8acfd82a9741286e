#include "ccd_ica/dslr_property_map.h"

#include "ccd_ica/ptp_camera.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const dslr_property_map_row dslr_property_map[] = {
    {0, PTPPropertyCodeExposureProgramMode, "DSLR_PROGRAM", "Exposure program"},
    {10, PTPPropertyCodeExposureProgramMode, "DSLR_PROGRAM", "Exposure program"},
    {11, 0xD105, "DSLR_PROGRAM", "Exposure program"},
    {17, PTPPropertyCodeExposureProgramMode, "DSLR_PROGRAM", "Exposure program"},
    {0, PTPPropertyCodeFNumber, "DSLR_APERTURE", "Aperture"},
    {10, PTPPropertyCodeFNumber, "DSLR_APERTURE", "Aperture"},
    {11, 0xD101, "DSLR_APERTURE", "Aperture"},
    {17, PTPPropertyCodeFNumber, "DSLR_APERTURE", "Aperture"},
    {0, PTPPropertyCodeExposureTime, "DSLR_SHUTTER", "Shutter"},
    {10, PTPPropertyCodeExposureTime, "DSLR_SHUTTER", "Shutter"},
    {11, 0xD102, "DSLR_SHUTTER", "Shutter"},
    {17, 0xD20D, "DSLR_SHUTTER", "Shutter"},
    {0, PTPPropertyCodeImageSize, "CCD_MODE", "Image size"},
    {10, PTPPropertyCodeImageSize, "CCD_MODE", "Image size"},
    {11, 0xD120, "CCD_MODE", "Image size"},
    {17, 0xD203, "CCD_MODE", "Image size"},
    {0, PTPPropertyCodeCompressionSetting, "DSLR_COMPRESSION", "Compression"},
    {10, PTPPropertyCodeCompressionSetting, "DSLR_COMPRESSION", "Compression"},
    {17, PTPPropertyCodeCompressionSetting, "DSLR_COMPRESSION", "Compression"},
    {0, PTPPropertyCodeWhiteBalance, "DSLR_WHITE_BALANCE", "White balance"},
    {10, PTPPropertyCodeWhiteBalance, "DSLR_WHITE_BALANCE", "White balance"},
    {11, 0xD109, "DSLR_WHITE_BALANCE", "White balance"},
    {17, PTPPropertyCodeWhiteBalance, "DSLR_WHITE_BALANCE", "White balance"},
    {0, PTPPropertyCodeExposureIndex, "DSLR_ISO", "ISO"},
    {10, PTPPropertyCodeExposureIndex, "DSLR_ISO", "ISO"},
    {11, 0xD103, "DSLR_ISO", "ISO"},
    {17, 0xD21E, "DSLR_ISO", "ISO"},
    {0, PTPPropertyCodeExposureMeteringMode, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {10, PTPPropertyCodeExposureMeteringMode, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {11, 0xD107, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {17, PTPPropertyCodeExposureMeteringMode, "DSLR_EXPOSURE_METERING", "Exposure metering"},
    {0, PTPPropertyCodeFocusMeteringMode, "DSLR_FOCUS_METERING", "Focus metering"},
    {17, PTPPropertyCodeFocusMeteringMode, "DSLR_FOCUS_METERING", "Focus metering"},
    {0, PTPPropertyCodeFocusMode, "DSLR_FOCUS_MODE", "Focus mode"},
    {10, 0xD161, "DSLR_FOCUS_MODE", "Focus mode"},
    {11, 0xD108, "DSLR_FOCUS_MODE", "Focus mode"},
    {17, PTPPropertyCodeFocusMode, "DSLR_FOCUS_MODE", "Focus mode"},
    {0, PTPPropertyCodeBatteryLevel, "DSLR_BATTERY_LEVEL", "Battery level"},
    {10, PTPPropertyCodeBatteryLevel, "DSLR_BATTERY_LEVEL", "Battery level"},
    {11, PTPPropertyCodeBatteryLevel, "DSLR_BATTERY_LEVEL", "Battery level"},
    {17, 0xD218, "DSLR_BATTERY_LEVEL", "Battery level"},
    {0, PTPPropertyCodeFocalLength, "DSLR_FOCAL_LENGTH", "Focal length"},
    {10, PTPPropertyCodeFocalLength, "DSLR_FOCAL_LENGTH", "Focal length"},
    {17, PTPPropertyCodeFocalLength, "DSLR_FOCAL_LENGTH", "Focal length"},
    {0, PTPPropertyCodeStillCaptureMode, "DSLR_CAPTURE_MODE", "Capture mode"},
    {10, PTPPropertyCodeStillCaptureMode, "DSLR_CAPTURE_MODE", "Capture mode"},
    {11, 0xD106, "DSLR_CAPTURE_MODE", "Drive mode"},
    {17, PTPPropertyCodeStillCaptureMode, "DSLR_CAPTURE_MODE", "Capture mode"},
    {0, PTPPropertyCodeFlashMode, "DSLR_FLASH_MODE", "Flash mode"},
    {10, PTPPropertyCodeFlashMode, "DSLR_FLASH_MODE", "Flash mode"},
    {17, PTPPropertyCodeFlashMode, "DSLR_FLASH_MODE", "Flash mode"},
    {0, PTPPropertyCodeExposureBiasCompensation, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
    {10, PTPPropertyCodeExposureBiasCompensation, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
    {11, 0xD104, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
    {17, PTPPropertyCodeExposureBiasCompensation, "DSLR_EXPOSURE_COMPENSATION", "Exposure compensation"},
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
