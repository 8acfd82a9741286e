#include "ccd_ica/bulb_settings.h"

#include "ccd_ica/ptp_value.h"
#include "platform/camera/ptp_codes.h"

namespace {

struct BulbSetting {
    uint16_t vendor;
    uint16_t code;
    uint32_t value;
    bool shutter; // a shutter setting, which decides only when read-write
};

constexpr BulbSetting bulbSettings[] = {
    {PTPVendorExtensionNikon, PTPPropertyCodeExposureTime, PTPExposureTimeBulb, true},
    {PTPVendorExtensionCanon, 0xD102, 0x0C, true}, // shutter speed
    {PTPVendorExtensionSony, 0xD20D, 0, true},     // shutter speed
    {PTPVendorExtensionCanon, 0xD105, 4, false},   // AE mode
};

} // namespace

BulbDecision bulbDecision(uint16_t vendor, uint16_t code, const std::string& value, bool readOnly) {
    // The value's 32 bits, so that 4294967295 and -1 are both the bulb of ExposureTime.
    const auto bits = static_cast<uint32_t>(PTPValue(value).longLongValue());
    bool decides = false;
    for (const BulbSetting& row : bulbSettings) {
        if (row.code != code || (row.shutter && readOnly)) continue;
        decides = true;
        if (row.vendor == vendor && row.value == bits) return BulbDecision::Bulb;
    }
    return decides ? BulbDecision::NotBulb : BulbDecision::Unchanged;
}
