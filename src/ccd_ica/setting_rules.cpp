#include "ccd_ica/setting_rules.h"

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

// Compression settings whose values are raw pictures; a row of vendor 0 holds for every vendor.
struct RawSetting {
    uint16_t vendor;
    uint16_t code;
    int64_t first, last; // the raw values
};

constexpr RawSetting rawSettings[] = {
    {0, PTPPropertyCodeCompressionSetting, 4, 8},
    {PTPVendorExtensionCanon, 0xD120, 0x10060002, 0x10060002}, // CRW
    {PTPVendorExtensionCanon, 0xD120, 0x10060004, 0x10060004}, // RAW
    {PTPVendorExtensionCanon, 0xD120, 0x10060006, 0x10060006}, // CR2
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

std::optional<bool> rawFormatDecision(uint16_t vendor, uint16_t code, const std::string& value) {
    const int64_t number = PTPValue(value).longLongValue();
    std::optional<bool> raw;
    for (const RawSetting& row : rawSettings) {
        if (row.code != code || (row.vendor != 0 && row.vendor != vendor)) continue;
        if (number >= row.first && number <= row.last) return true;
        raw = false;
    }
    return raw;
}
