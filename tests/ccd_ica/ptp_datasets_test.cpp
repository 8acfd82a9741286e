#include "ccd_ica/ptp_datasets.h"

#include "ccd_ica/ptp_classes.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Little builders for datasets as a camera sends them.
struct Data {
    Bytes b;
    Data& u8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Data& u16(uint16_t v) {
        u8(v & 0xFF);
        return u8(v >> 8);
    }
    Data& u32(uint32_t v) {
        u16(v & 0xFFFF);
        return u16(v >> 16);
    }
    Data& str(const std::string& s) {
        if (s.empty()) return u8(0);
        u8(static_cast<uint8_t>(s.size() + 1));
        for (char c : s)
            u16(static_cast<uint8_t>(c));
        return u16(0);
    }
    Data& list(std::vector<uint16_t> codes) {
        u32(static_cast<uint32_t>(codes.size()));
        for (auto c : codes)
            u16(c);
        return *this;
    }
};

TEST(PTPProperty, ParsesTheForms) {
    // FNumber, UINT16, settable, default 280, value 560, enumeration 280 560 800.
    const Bytes enumeration =
        Data().u16(0x5007).u16(4).u8(1).u16(280).u16(560).u8(2).u16(3).u16(280).u16(560).u16(800).b;
    auto p = PTPProperty::withData(enumeration);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->propertyCode, 0x5007);
    EXPECT_FALSE(p->readOnly);
    EXPECT_EQ(p->value.intValue(), 560);
    ASSERT_TRUE(p->supportedValues);
    EXPECT_EQ(p->supportedValues->size(), 3u);
    EXPECT_EQ(p->description(),
              "PTPPropertyCodeFNumber PTPDataTypeCodeUInt16 rw, values = [280, 560, 800], default = 280, value = 560");

    // BatteryLevel, UINT8, get only, range 0..100 step 1.
    auto range = PTPProperty::withData(Data().u16(0x5001).u16(2).u8(0).u8(100).u8(75).u8(1).u8(0).u8(100).u8(1).b);
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(
        range->description(),
        "PTPPropertyCodeBatteryLevel PTPDataTypeCodeUInt8 ro, min = 0, max = 100, step = 1, default = 100, value = 75");
    EXPECT_FALSE(range->supportedValues);

    // An enumeration of no values keeps an empty list, and says so.
    auto empty = PTPProperty::withData(Data().u16(0x500E).u16(4).u8(1).u16(1).u16(2).u8(2).u16(0).b);
    ASSERT_TRUE(empty && empty->supportedValues);
    EXPECT_TRUE(empty->supportedValues->empty());
    EXPECT_EQ(empty->description(),
              "PTPPropertyCodeExposureProgramMode PTPDataTypeCodeUInt16 rw, values = [], default = 1, value = 2");

    // A string property and an unknown code.
    auto text = PTPProperty::withData(Data().u16(0xD1A0).u16(0xFFFF).u8(1).str("").str("Zeta").u8(0).b);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->description(), "PTPPropertyCode0xd1a0 PTPDataTypeCodeUnicodeString rw, default = , value = Zeta");
}

struct ShortCase {
    const char* name;
    Bytes bytes;
    bool parses;
    bool hasDefault, hasValue, hasRange, hasValues;
};

TEST(PTPProperty, ShortDataStopsAtTheFieldThatRunsPast) {
    const Bytes full = Data().u16(0x5003).u16(4).u8(1).u16(1).u16(2).u8(1).u16(0).u16(10).u16(1).b;
    const ShortCase cases[] = {
        {"4 bytes", Bytes(full.begin(), full.begin() + 4), false, false, false, false, false},
        {"5 bytes: the default runs past", Bytes(full.begin(), full.begin() + 5), true, false, false, false, false},
        {"ends inside the current value", Bytes(full.begin(), full.begin() + 8), true, true, false, false, false},
        {"ends after the current value", Bytes(full.begin(), full.begin() + 9), true, true, true, false, false},
        {"ends inside the range", Bytes(full.begin(), full.begin() + 14), true, true, true, false, false},
        {"complete", full, true, true, true, true, false},
        {"enumeration longer than the data", Data().u16(0x5003).u16(4).u8(1).u16(1).u16(2).u8(2).u16(500).u16(1).b,
         true, true, true, false, false},
        {"unknown form", Data().u16(0x5003).u16(4).u8(1).u16(1).u16(2).u8(7).b, true, true, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = PTPProperty::withData(c.bytes);
        ASSERT_EQ(p != nullptr, c.parses);
        if (!p) continue;
        EXPECT_EQ(!p->defaultValue.isNull(), c.hasDefault);
        EXPECT_EQ(!p->value.isNull(), c.hasValue);
        EXPECT_EQ(!p->min.isNull() && !p->max.isNull() && !p->step.isNull(), c.hasRange);
        EXPECT_EQ(p->supportedValues.has_value(), c.hasValues);
        p->description(); // printable in every state
    }
    EXPECT_EQ(PTPProperty::withData(Bytes{}), nullptr);
    // An unknown datatype reads no values, so nothing runs away.
    auto unknown = PTPProperty::withData(Data().u16(0x5003).u16(0x0011).u8(1).u8(2).u16(0xFFFF).b);
    ASSERT_NE(unknown, nullptr);
    EXPECT_TRUE(unknown->value.isNull());
}

TEST(PTPProperty, TypeNames) {
    const std::pair<uint16_t, const char*> cases[] = {
        {0, "PTPDataTypeCodeUndefined"},
        {1, "PTPDataTypeCodeSInt8"},
        {10, "PTPDataTypeCodeUInt128"},
        {0x4001, "PTPDataTypeCodeArrayOfSInt8"},
        {0x400A, "PTPDataTypeCodeArrayOfUInt128"},
        {0xFFFF, "PTPDataTypeCodeUnicodeString"},
        {0x0011, "PTPDataTypeCode0x0011"},
    };
    for (const auto& [code, name] : cases)
        EXPECT_EQ(PTPProperty::typeName(code), name);
    EXPECT_EQ(PTPProperty::propertyCodeName(0x502C), "PTPPropertyCodeAudioVolume");
    EXPECT_EQ(PTPProperty::propertyCodeName(0xD413), "PTPPropertyCodeMTPPlaybackPosition");
    EXPECT_EQ(PTPProperty::propertyCodeName(0xD404), "PTPPropertyCode0xd404");
    EXPECT_EQ(PTPProperty(0x5007).propertyCodeName(), "PTPPropertyCodeFNumber");
}

Data deviceInfoUpToProperties(uint32_t vendor, uint16_t extensionVersion, const std::string& description) {
    return Data()
        .u16(100)
        .u32(vendor)
        .u16(extensionVersion)
        .str(description)
        .u16(0)
        .list({0x1001, 0x100E, 0x1014})
        .list({0x4002})
        .list({0x5007, 0x5003});
}

TEST(PTPDeviceInfo, ParsesAndCorrectsTheVendor) {
    struct Case {
        const char* name;
        uint32_t vendor;
        std::string manufacturer;
        uint16_t extension, extensionVersion;
        std::string description;
    };
    const Case cases[] = {
        {"Microsoft + Nikon", 6, "Nikon Corporation", 10, 100, "Nikon & Microsoft PTP Extensions"},
        {"Microsoft + Canon", 6, "Canon Inc.", 11, 100, "Canon & Microsoft PTP Extensions"},
        {"Microsoft + Sony stays", 6, "Sony Corporation", 6, 110, "microsoft.com: 1.0"},
        {"Nikon as read", 10, "Nikon Corporation", 10, 110, "microsoft.com: 1.0"},
        {"Sony under another id", 0x10011, "Sony Corporation", 17, 110, "Sony PTP Extensions"},
        {"case matters", 6, "NIKON", 6, 110, "microsoft.com: 1.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = deviceInfoUpToProperties(c.vendor, 110, "microsoft.com: 1.0")
                                .list({0x3801})
                                .list({0x3801, 0x3000})
                                .str(c.manufacturer)
                                .str("D800")
                                .str("V1.10")
                                .str("1234")
                                .b;
        auto info = PTPDeviceInfo::withData(bytes);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->vendorExtension, c.extension);
        EXPECT_EQ(info->vendorExtensionVersion, c.extensionVersion);
        EXPECT_EQ(info->vendorExtensionDesc, c.description);
        EXPECT_EQ(info->operationsSupported, (std::vector<uint16_t>{0x1001, 0x100E, 0x1014}));
        EXPECT_EQ(info->eventsSupported, (std::vector<uint16_t>{0x4002}));
        EXPECT_EQ(info->propertiesSupported, (std::vector<uint16_t>{0x5007, 0x5003}));
        EXPECT_EQ(info->model, "D800");
        EXPECT_EQ(info->version, "V1.10");
        EXPECT_EQ(info->serial, "1234");
    }
}

TEST(PTPDeviceInfo, ShortData) {
    EXPECT_EQ(PTPDeviceInfo::withData(Bytes(11, 0)), nullptr);

    // Ends after the properties list: no manufacturer and no correction, but still a map that
    // keeps the descriptions the camera classes store.
    auto info = PTPDeviceInfo::withData(deviceInfoUpToProperties(6, 100, "microsoft.com: 1.0").b);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->vendorExtension, 6);
    EXPECT_TRUE(info->manufacturer.empty());
    EXPECT_EQ(info->propertiesSupported.size(), 2u);
    info->setProperty(PTPProperty::withData(Data().u16(0x5007).u16(4).u8(1).u16(280).u16(560).b));
    ASSERT_NE(info->property(0x5007), nullptr);
    EXPECT_EQ(info->property(0x5007)->value.intValue(), 560);

    // An operations list whose count runs past the data ends the parse there.
    auto cut = PTPDeviceInfo::withData(Data().u16(100).u32(10).u16(100).str("x").u16(0).u32(1000).u16(0x1001).b);
    ASSERT_NE(cut, nullptr);
    EXPECT_TRUE(cut->operationsSupported.empty());
    EXPECT_TRUE(cut->eventsSupported.empty());

    // A description string whose units run past the end leaves it empty.
    auto cutString = PTPDeviceInfo::withData(Data().u16(100).u32(10).u16(100).u8(200).u16('a').u16('b').b);
    ASSERT_NE(cutString, nullptr);
    EXPECT_TRUE(cutString->vendorExtensionDesc.empty());
    EXPECT_EQ(cutString->vendorExtension, 10);
}

TEST(PTPDeviceInfo, LogTexts) {
    const Bytes bytes =
        deviceInfoUpToProperties(10, 100, "Nikon").list({}).list({}).str("Nikon").str("D810A").str("V1.0").str("9").b;
    auto info = PTPDeviceInfo::withData(bytes);
    ASSERT_NE(info, nullptr);
    for (int level : {0, 1})
        EXPECT_EQ(info->description(level), "D810A V1.0, PTP V1.00 +    Nikon V1.00");
    info->setProperty(PTPProperty::withData(Data().u16(0x5007).u16(4).u8(0).u16(280).u16(560).b));
    const std::string listing =
        "D810A V1.0, PTP V1.00 +    Nikon V1.00\n"
        "\nOperations:\n"
        "PTPRequestCodeGetDeviceInfo\nPTPRequestCodeInitiateCapture\nPTPRequestCodeGetDevicePropDesc\n"
        "\nEvents:\n"
        "PTPEventCodeObjectAdded\n"
        "\nProperties:\n"
        "PTPPropertyCodeFNumber PTPDataTypeCodeUInt16 ro, default = 280, value = 560\n"
        "PTPPropertyCodeImageSize\n";
    EXPECT_EQ(info->description(2), listing);
    EXPECT_EQ(info->description(-1), listing); // -1 counts as above
    EXPECT_EQ(info->debug(), listing);
}

} // namespace
