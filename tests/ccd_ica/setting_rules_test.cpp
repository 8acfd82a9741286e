#include "ccd_ica/setting_rules.h"

#include "platform/camera/ptp_codes.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

TEST(SettingRules, EachVendorsShutterOnBulbAndNothingElse) {
    using D = BulbDecision;
    struct Case {
        uint16_t vendor, code;
        const char* value;
        bool readOnly;
        D decision;
    };
    const Case cases[] = {
        {PTPVendorExtensionNikon, 0x500D, "4294967295", false, D::Bulb},
        {PTPVendorExtensionNikon, 0x500D, "-1", false, D::Bulb},
        // Time holds the shutter open as Bulb does: the driver must end it.
        {PTPVendorExtensionNikon, 0x500D, "4294967293", false, D::Bulb},
        {PTPVendorExtensionNikon, 0x500D, "2147483647", false, D::Bulb},
        {PTPVendorExtensionNikon, 0x500D, "2147483646", false, D::NotBulb},
        {PTPVendorExtensionNikon, 0x500D, "80", false, D::NotBulb},
        {PTPVendorExtensionNikon, 0x500D, "4294967295", true, D::Unchanged},
        {PTPVendorExtensionMicrosoft, 0x500D, "4294967295", false, D::NotBulb},
        {PTPVendorExtensionCanon, 0xD102, "12", false, D::Bulb},
        {PTPVendorExtensionCanon, 0xD102, "Bulb", true, D::Unchanged},
        {PTPVendorExtensionSony, 0xD20D, "0", false, D::Bulb},
        {PTPVendorExtensionSony, 0xD20D, "65546", false, D::NotBulb},
        {PTPVendorExtensionCanon, 0xD105, "4", true, D::Bulb},
        {PTPVendorExtensionCanon, 0xD105, "3", false, D::NotBulb},
        {PTPVendorExtensionCanon, 0xD103, "4", false, D::Unchanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "vendor " << c.vendor << " code 0x" << std::hex << c.code << " " << c.value);
        EXPECT_EQ(bulbDecision(c.vendor, c.code, c.value, c.readOnly), c.decision);
    }
}

TEST(SettingRules, RawPicturesByCompressionOrCanonImageFormat) {
    struct Case {
        uint16_t vendor, code;
        const char* value;
        std::optional<bool> raw;
    };
    const Case cases[] = {
        {PTPVendorExtensionNikon, 0x5004, "4", true},
        {PTPVendorExtensionMicrosoft, 0x5004, "8", true},
        {PTPVendorExtensionNikon, 0x5004, "2", false},
        {PTPVendorExtensionSony, 0x5004, "9", false},
        {PTPVendorExtensionCanon, 0xD120, "268828676", true},            // RAW
        {PTPVendorExtensionCanon, 0xD120, "268500995", false},           // Large fine JPEG
        {PTPVendorExtensionCanon, 0xD120, "1153202992737288196", false}, // JPEG + RAW: the JPEG is shown
        {PTPVendorExtensionNikon, 0xD120, "268828676", std::nullopt},
        {PTPVendorExtensionCanon, 0x5005, "4", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "vendor " << c.vendor << " code 0x" << std::hex << c.code << " " << c.value);
        EXPECT_EQ(rawFormatDecision(c.vendor, c.code, c.value), c.raw);
    }
}

} // namespace
