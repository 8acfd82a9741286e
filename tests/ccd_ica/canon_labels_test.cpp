#include "ccd_ica/canon_labels.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CanonNames, CanonNamesFirstThenTheBaseTables) {
    EXPECT_EQ(canonOperationNames().name(0x9116), "PTPRequestCodeCanonGetEvent");
    EXPECT_EQ(canonOperationNames().name(0x1001), "PTPRequestCodeGetDeviceInfo");
    EXPECT_EQ(canonOperationNames().name(0x9111), "PTPRequestCode0x9111");
    EXPECT_EQ(canonResponseNames().name(0xA102), "PTPResponseCodeCanonNotReady");
    EXPECT_EQ(canonEventNames().name(0xC189), "PTPEventCodeCanonPropValueChanged");
    EXPECT_EQ(canonEventNames().name(0xC1FF), "PTPEventCodeCode0xc1ff");
    EXPECT_EQ(canonPropertyNames().name(0x860F), "PTPPropertyCodeCanonExMirrorLockup");
    EXPECT_EQ(canonPropertyNames().name(0xD192), "PTPPropertyCodeCanonCustomFunc19");
    EXPECT_EQ(canonPropertyNames().name(0xD144), "PTPPropertyCodeCanonPCWhiteBalance5");
    // A Canon code means nothing to the base tables.
    EXPECT_EQ(ptpOperationNames().name(0x9116), "PTPRequestCode0x9116");
}

TEST(CanonLabels, MapsHoldTheirLabels) {
    EXPECT_EQ(canonLabelMap(0xD101)->size(), 53u);
    EXPECT_EQ(canonLabelMap(0xD102)->size(), 74u);
    EXPECT_EQ(canonLabelMap(0xD103)->size(), 29u);
    EXPECT_EQ(canonLabelMap(0xD104)->size(), 41u);
    EXPECT_EQ(canonLabelMap(0xD104)->at(0xFD), "-1/3");
    EXPECT_EQ(canonLabelMap(0xD102)->at(0x0C), "Bulb");
    EXPECT_EQ(canonLabelMap(0xD110)->at(0x42), "PC 2");
    EXPECT_EQ(canonLabelMap(0xD13A), canonLabelMap(0x860F));
    EXPECT_EQ(canonLabelMap(0xD1B4), canonLabelMap(0xD109));
    EXPECT_EQ(canonLabelMap(0xD101)->count(0x0E), 0u);
    EXPECT_EQ(canonLabelMap(0xD111), nullptr);
}

TEST(CanonLabels, ImageFormatLabelsOneOrTwoGroups) {
    EXPECT_EQ(canonImageFormatLabel(0x10010003), "Large fine JPEG");
    EXPECT_EQ(canonImageFormatLabel(0x1001000310060004ull), "Large fine JPEG + RAW");
    EXPECT_EQ(canonImageFormatLabel(0x10060006), "CR2");
    EXPECT_EQ(canonImageFormatLabel(0x10099999), "");
}

// What the AE mode makes of each setting: the kind of report and whether it is read-only.
TEST(CanonLabels, SettingsFollowTheAEMode) {
    using K = CanonReportKind;
    struct Case {
        int32_t mode;
        uint16_t code;
        K kind;
        bool readOnly;
    };
    const Case cases[] = {
        {2, 0xD101, K::MapList, false},   {2, 0xD102, K::SingleAuto, true}, {2, 0xD103, K::MapList, false},
        {2, 0xD104, K::MapList, false},   {4, 0xD102, K::SingleBulb, true}, {4, 0xD101, K::MapList, false},
        {3, 0xD104, K::SingleAuto, true}, {3, 0xD102, K::MapList, false},   {1, 0xD101, K::SingleAuto, true},
        {9, 0xD103, K::SingleAuto, true}, {9, 0xD107, K::SingleAuto, true}, {9, 0xD108, K::SingleAuto, true},
        {9, 0xD109, K::SingleAuto, true}, {9, 0xD110, K::SingleAuto, true}, {7, 0xD110, K::MapList, false},
        {0, 0xD1B4, K::MapList, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " code 0x" << std::hex << c.code);
        const CanonReportRule rule = canonReportRule(c.code, c.mode);
        EXPECT_EQ(rule.kind, c.kind);
        EXPECT_TRUE(rule.overridesReadOnly);
        EXPECT_EQ(rule.readOnly, c.readOnly);
        EXPECT_EQ(rule.map, canonLabelMap(c.code));
    }
    EXPECT_EQ(canonReportRule(0xD105, 0).kind, K::AEMode);
    EXPECT_EQ(canonReportRule(0x8811, 0).kind, K::MapInterval);
    EXPECT_EQ(canonReportRule(0xD13A, 0).kind, K::MapInterval);
    EXPECT_EQ(canonReportRule(0x8999, 0).kind, K::Generic);
    EXPECT_EQ(canonReportRule(0xD121, 0).kind, K::ImageFormat);
    EXPECT_EQ(canonReportRule(0xD1B0, 0).kind, K::ViewfinderOutput);
    EXPECT_EQ(canonReportRule(0xD11C, 0).map->size(), 0u);

    const auto manual = canonModePermissions(3);
    ASSERT_EQ(manual.size(), 7u);
    EXPECT_EQ(manual[0], (std::pair<uint16_t, bool>{0xD101, false}));
    EXPECT_EQ(manual[3], (std::pair<uint16_t, bool>{0xD104, true}));
    EXPECT_EQ(manual[6], (std::pair<uint16_t, bool>{0xD110, false}));
    EXPECT_EQ(canonModePermissions(10)[6], (std::pair<uint16_t, bool>{0xD110, true}));
}

TEST(CanonLabels, BatteryCodesBecomeALevel) {
    const std::pair<int64_t, int32_t> cases[] = {{1, 50}, {2, 100}, {4, 75}, {5, 25}, {3, 0}, {0, 0}};
    for (const auto& [code, level] : cases)
        EXPECT_EQ(canonBatteryLevel(code), level) << code;
}

TEST(CanonSensors, BodiesMatchTheirWholeName) {
    struct Case {
        const char* name;
        int32_t width, height;
        float pixelSize;
    };
    const Case cases[] = {
        {"Canon EOS 5D Mark II", 5616, 3744, 6.41f},
        {"Canon EOS 5D", 4368, 2912, 8.2f},
        {"CANON EOS 5D MARK III", 0, 0, 0},
        {"Canon EOS 7D Mark II", 5472, 3648, 4.07f},
        {"Canon EOS Rebel T3", 4272, 2848, 5.19f},
        {"Canon EOS 5D\xC3\xA9", 0, 0, 0},
        {"", 0, 0, 0},
    };
    for (const Case& c : cases) {
        const CanonSensor sensor = canonSensorForModel(c.name);
        EXPECT_EQ(sensor.width, c.width) << c.name;
        EXPECT_EQ(sensor.height, c.height) << c.name;
        EXPECT_FLOAT_EQ(sensor.pixelSize, c.pixelSize) << c.name;
    }
}

} // namespace
