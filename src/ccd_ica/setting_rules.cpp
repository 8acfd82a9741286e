#include "ccd_ica/setting_rules.h"

#include "ccd_ica/ptp_value.h"
#include "platform/camera/ptp_codes.h"

namespace {

struct BulbSetting {
    uint16_t vendor;
    uint16_t code;
    uint32_t value;
    bool shutter;   // a shutter setting, which decides only when read-write
    bool saturated; // the value text read as a signed 32-bit integer, saturating
};

// Nikon's ExposureTime marks the long exposures the camera cannot time on its own above
// 0x7FFFFFFF: Bulb (0xFFFFFFFF) and Time (0xFFFFFFFD) alike. Time holds the shutter open
// until it is told to close; left to the camera, such an exposure would never end, so the
// driver times and ends it as it does Bulb.
constexpr uint32_t kNikonLongExposure = 0x7FFFFFFF;

constexpr BulbSetting bulbSettings[] = {
    {PTPVendorExtensionNikon, PTPPropertyCodeExposureTime, kNikonLongExposure, true, true},
    {PTPVendorExtensionCanon, 0xD102, 0x0C, true, false}, // shutter speed
    {PTPVendorExtensionSony, 0xD20D, 0, true, false},     // shutter speed
    {PTPVendorExtensionCanon, 0xD105, 4, false, false},   // AE mode
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
    const PTPValue reading(value);
    // The value's 32 bits, so that 4294967295 and -1 are both the bulb of ExposureTime.
    const auto bits = static_cast<uint32_t>(reading.longLongValue());
    const auto saturated = static_cast<uint32_t>(reading.intValue());
    bool decides = false;
    for (const BulbSetting& row : bulbSettings) {
        if (row.code != code || (row.shutter && readOnly)) continue;
        decides = true;
        const bool match = row.saturated ? row.value == saturated || bits == PTPExposureTimeBulb : row.value == bits;
        if (row.vendor == vendor && match) return BulbDecision::Bulb;
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
