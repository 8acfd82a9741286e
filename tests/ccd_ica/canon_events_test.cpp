#include "ccd_ica/canon_events.h"

#include "ccd_ica/canon_labels.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes words(std::initializer_list<uint32_t> list) {
    Bytes out;
    for (uint32_t w : list)
        put32(out, w);
    return out;
}

// One record: size, type, then the payload.
Bytes record(uint32_t type, const Bytes& payload) {
    Bytes out;
    put32(out, static_cast<uint32_t>(payload.size() + 8));
    put32(out, type);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes valueRecord(uint16_t code, const Bytes& value) {
    Bytes payload = words({code});
    payload.insert(payload.end(), value.begin(), value.end());
    return record(kCanonEventPropValueChanged, payload);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kEnd = words({8, 0});

struct Fixture {
    PTPDeviceInfo info;
    CanonEventState state;
    CanonEventWalk walk(const Bytes& data) { return canonWalkEvents(data, info, state, nullptr, ptpEventNames()); }
};

TEST(CanonEventWalk, DecodesPropertyValuesByTheirCanonDatatype) {
    struct Case {
        const char* what;
        uint16_t code;
        Bytes value;
        uint16_t type;
        std::string text;
        bool readOnly;
    };
    const Case cases[] = {
        {"AE mode u16, read-only", 0xD105, {3, 0, 0, 0}, PTPDataTypeUInt16, "3", true},
        {"aperture u16, writable", 0xD101, {0x28, 0, 0, 0}, PTPDataTypeUInt16, "40", false},
        {"exposure compensation u8", 0xD104, {0xFD, 0, 0, 0}, PTPDataTypeUInt8, "253", false},
        {"white balance shift signed", 0xD10B, {0xFE, 0xFF, 0xFF, 0xFF}, PTPDataTypeInt32, "-2", false},
        {"owner text", 0xD115, {'Z', 'e', 't', 'a', 0, 'x'}, PTPDataTypeString, "Zeta", false},
        {"text without NUL stays in its record", 0xD1D8, {'E', 'F'}, PTPDataTypeString, "EF", true},
        {"text that is no UTF-8 is empty", 0xD1D0, {0xFF, 0xFE, 0}, PTPDataTypeString, "", false},
        {"raw dump in hex", 0xD185, {0x01, 0x0A, 0xFF}, PTPDataTypeString, "01 0a ff", true},
        {"one image format", 0xD120, words({1, 0x10, 1, 0, 3}), PTPDataTypeUInt64, "268500995", false},
        {"RAW + JPEG image format", 0xD120, words({2, 0x10, 1, 0, 3, 0x10, 6, 0, 4}), PTPDataTypeUInt64,
         std::to_string(0x1001000310060004ull), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        const CanonEventWalk walk = f.walk(join({valueRecord(c.code, c.value), kEnd}));
        ASSERT_EQ(walk.changed.size(), 1u);
        EXPECT_EQ(walk.changed[0]->type, c.type);
        EXPECT_EQ(walk.changed[0]->value.description(), c.text);
        EXPECT_EQ(walk.changed[0]->readOnly, c.readOnly);
        EXPECT_EQ(f.info.property(c.code), walk.changed[0]);
    }
}

TEST(CanonEventWalk, FollowsTheAEModeAndReportsEachRecord) {
    Fixture f;
    const CanonEventWalk walk =
        f.walk(join({valueRecord(0xD105, {3, 0}), valueRecord(0xD105, {4, 0}), valueRecord(0x1234, {1, 2})}));
    EXPECT_EQ(f.state.currentMode, 4);
    ASSERT_EQ(walk.changed.size(), 2u); // an unknown code is dropped
    EXPECT_EQ(walk.changed[0], walk.changed[1]);
    EXPECT_EQ(f.info.property(0x1234), nullptr);
}

TEST(CanonEventWalk, ReadsListsAndNewObjectsEachUnderItsOwnName) {
    Fixture f;
    Bytes added = words({7, 0, 0, 0, 0, 0, 0, 0});
    const std::string name = "IMG_0001.CR2";
    added.insert(added.end(), name.begin(), name.end());
    added.push_back(0);
    Bytes added2 = words({8, 0, 0, 0, 0, 0, 0, 0});
    for (char c : std::string("IMG_0001.JPG"))
        added2.push_back(static_cast<uint8_t>(c));
    const CanonEventWalk walk = f.walk(join({
        record(kCanonEventAvailListChanged, words({0xD103, 3, 3, 0x48, 0x50, 0x58})),
        record(kCanonEventAvailListChanged, words({0xD120, 3, 1, 2, 0x10, 1, 0, 3, 0x10, 6, 0, 4})),
        record(kCanonEventAvailListChanged, words({0xD101, 1, 2, 0x20, 0x28})), // form 1: ignored
        record(kCanonEventObjectAddedEx, added),
        record(kCanonEventObjectAddedEx, added2),
        kEnd,
    }));
    ASSERT_EQ(walk.changed.size(), 2u);
    const auto& iso = walk.changed[0]->supportedValues;
    ASSERT_TRUE(iso);
    ASSERT_EQ(iso->size(), 3u);
    EXPECT_EQ((*iso)[0].intValue(), 72);
    EXPECT_EQ((*iso)[2].intValue(), 88);
    EXPECT_EQ(walk.changed[1]->supportedValues->at(0).longLongValue(), 0x1001000310060004ll);
    ASSERT_EQ(walk.objectsAdded.size(), 2u);
    EXPECT_EQ(walk.objectsAdded[0].handle, 7u);
    EXPECT_EQ(walk.objectsAdded[0].fileName, "IMG_0001.CR2");
    EXPECT_EQ(walk.objectsAdded[1].handle, 8u);
    EXPECT_EQ(walk.objectsAdded[1].fileName, "IMG_0001.JPG");
}

// A list that comes before its property's first value stays with the property, in the same
// answer or in a later one.
TEST(CanonEventWalk, ListBeforeTheFirstValueIsKept) {
    Fixture f;
    f.walk(join({record(kCanonEventAvailListChanged, words({0xD102, 3, 3, 0x0C, 0x38, 0x68})),
                 valueRecord(0xD102, words({0x68})), kEnd}));
    f.walk(join({record(kCanonEventAvailListChanged, words({0xD103, 3, 2, 0x48, 0x50})), kEnd}));
    const CanonEventWalk later = f.walk(join({valueRecord(0xD103, words({0x50})), kEnd}));
    for (const uint16_t code : {0xD102, 0xD103}) {
        SCOPED_TRACE(code);
        const auto property = f.info.property(code);
        ASSERT_TRUE(property);
        ASSERT_TRUE(property->supportedValues);
        EXPECT_EQ(property->supportedValues->size(), code == 0xD102 ? 3u : 2u);
    }
    ASSERT_EQ(later.changed.size(), 1u);
    EXPECT_EQ(later.changed[0]->value.intValue(), 0x50);
    EXPECT_EQ(later.changed[0]->supportedValues->at(1).intValue(), 0x50);
}

// Damaged answers end where they stop making sense, and nothing is read past the data.
TEST(CanonEventWalk, DamagedAnswersEndTheWalk) {
    struct Case {
        const char* what;
        Bytes data;
        std::size_t changed;
    };
    const Case cases[] = {
        {"empty", {}, 0},
        {"end record first", join({kEnd, valueRecord(0xD101, {1, 0})}), 0},
        {"size below the head", join({words({4, kCanonEventPropValueChanged}), valueRecord(0xD101, {1, 0})}), 0},
        {"size zero", join({words({0, 0x1234}), valueRecord(0xD101, {1, 0})}), 0},
        {"size past the data", join({valueRecord(0xD101, {1, 0}), words({4000, 0xC189, 0xD102})}), 1},
        {"value cut off", words({14, kCanonEventPropValueChanged, 0xD10B, 0x0101}), 0},
        {"list count past the data", record(kCanonEventAvailListChanged, words({0xD103, 3, 0xFFFE, 1})), 0},
        {"list count zero", record(kCanonEventAvailListChanged, words({0xD103, 3, 0})), 0},
        {"head only", Bytes{0x20, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        EXPECT_EQ(f.walk(c.data).changed.size(), c.changed);
    }
}

// CustomFuncEx value: total size, group count, then groups {number, size, count, items}.
Bytes customFunctions(std::initializer_list<Bytes> groups) {
    Bytes out = words({0, static_cast<uint32_t>(groups.size())});
    for (const Bytes& g : groups)
        out.insert(out.end(), g.begin(), g.end());
    return out;
}

Bytes group(uint32_t number, std::initializer_list<Bytes> items) {
    Bytes body;
    for (const Bytes& i : items)
        body.insert(body.end(), i.begin(), i.end());
    Bytes out = words({number, static_cast<uint32_t>(body.size() + 8), static_cast<uint32_t>(items.size())});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(CanonCustomFunctions, EachItemBecomesAPropertyAndWritesSendTheWholeGroup) {
    Fixture f;
    const Bytes value = customFunctions({group(1, {words({0x0101, 1, 1}), words({0x010F, 2, 0, 1})})});
    const CanonEventWalk walk = f.walk(join({valueRecord(kCanonPropertyCustomFuncEx, value), kEnd}));
    ASSERT_EQ(walk.changed.size(), 2u);
    EXPECT_EQ(f.info.property(0x8101)->value.description(), "1");
    EXPECT_EQ(f.info.property(0x810F)->value.description(), "0 1");
    EXPECT_EQ(f.info.property(0x810F)->type, PTPDataTypeString);
    EXPECT_EQ(f.info.property(kCanonPropertyCustomFuncEx), nullptr);
    EXPECT_NE(std::find(f.info.propertiesSupported.begin(), f.info.propertiesSupported.end(), 0x810F),
              f.info.propertiesSupported.end());

    const CanonPropertyWrite write = canonEncodePropertyWrite(0x810F, "1 1", f.info, f.state);
    ASSERT_EQ(write.outcome, CanonPropertyWrite::Outcome::Send);
    // S = 8 + 12 + 16 = 36; group buffer S + 12 = 48; total S + 20 = 56.
    EXPECT_EQ(write.data, words({56, 0xD1A0, 48, 1, 1, 36, 2, 0x0101, 1, 1, 0x010F, 2, 1, 1}));
    // The written values stay in the buffer for the next write.
    const CanonPropertyWrite again = canonEncodePropertyWrite(0x8101, "0", f.info, f.state);
    EXPECT_EQ(again.data, words({56, 0xD1A0, 48, 1, 1, 36, 2, 0x0101, 1, 0, 0x010F, 2, 1, 1}));
}

TEST(CanonCustomFunctions, BadGroupsAreDroppedAndShortWritesKeepTheRest) {
    Fixture f;
    const Bytes value = customFunctions({
        group(12, {words({0x0201, 1, 1})}),                       // no slot for group 12
        group(2, {words({0x0202, 1, 1}), words({0x0203, 9, 1})}), // second item overruns its group
        group(3, {words({0x0301, 1, 5})}),
    });
    f.walk(valueRecord(kCanonPropertyCustomFuncEx, value));
    EXPECT_EQ(f.info.property(0x8201), nullptr);
    EXPECT_NE(f.info.property(0x8202), nullptr);
    EXPECT_EQ(f.info.property(0x8203), nullptr);
    EXPECT_EQ(f.info.property(0x8301)->value.description(), "5");
    EXPECT_TRUE(f.state.customFuncGroup[2].size() > 0);

    // A group whose size is smaller than its own head ends the value.
    Fixture g;
    g.walk(valueRecord(kCanonPropertyCustomFuncEx, join({words({0, 2, 1, 4}), group(1, {words({0x0101, 1, 1})})})));
    EXPECT_EQ(g.info.property(0x8101), nullptr);

    Fixture h;
    h.walk(valueRecord(kCanonPropertyCustomFuncEx, customFunctions({group(1, {words({0x010F, 2, 0, 1})})})));
    // A text shorter than the item sets its leading value and keeps the others.
    const CanonPropertyWrite shortWrite = canonEncodePropertyWrite(0x810F, "1", h.info, h.state);
    ASSERT_EQ(shortWrite.outcome, CanonPropertyWrite::Outcome::Send);
    EXPECT_EQ(shortWrite.data, words({44, 0xD1A0, 36, 1, 1, 24, 1, 0x010F, 2, 1, 1}));
    EXPECT_EQ(canonEncodePropertyWrite(0x8888, "1", h.info, h.state).outcome, CanonPropertyWrite::Outcome::Skip);
}

// The debug lines tell what a value did to the group buffers, and name records not acted on.
TEST(CanonCustomFunctions, BuffersAreMadeResizedAndReused) {
    Fixture f;
    f.info.propertiesSupported.clear();
    const Bytes one = customFunctions({group(1, {words({0x0101, 1, 1})})});
    const Bytes two = customFunctions({group(1, {words({0x0101, 1, 0}), words({0x0103, 1, 1})})});
    auto debugOf = [&](const Bytes& value) {
        return f.walk(join({valueRecord(kCanonPropertyCustomFuncEx, value), kEnd})).debug;
    };
    auto lines = debugOf(one);
    ASSERT_NE(f.info.property(0x8101), nullptr);
    ASSERT_EQ(lines.size(), 4u); // the last names the record itself
    lines.pop_back();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "customFuncEx - group 1 buffer allocated",
                         "customFuncEx - group 1 [0x20, 0x1, 0x1, 0x14, 0x1, 0x101, 0x1, 0x1]",
                         "PTPEventCodeCanonPropValueChanged " + f.info.property(0x8101)->description(),
                     }));
    lines = debugOf(two);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "customFuncEx - group 1 buffer reallocated");
    EXPECT_EQ(lines[1], "customFuncEx - group 1 [0x2c, 0x1, 0x1, 0x20, 0x2, 0x101, 0x1, 0x0, 0x103, 0x1, 0x1]");
    lines = debugOf(two);
    EXPECT_EQ(lines[0], "customFuncEx - group 1 [0x2c, 0x1, 0x1, 0x20, 0x2, 0x101, 0x1, 0x0, 0x103, 0x1, 0x1]");
    EXPECT_EQ(std::count(f.info.propertiesSupported.begin(), f.info.propertiesSupported.end(), 0x8101), 1);

    Fixture g;
    const CanonEventWalk walk =
        canonWalkEvents(join({record(0xC18B, words({1})), kEnd}), g.info, g.state, nullptr, canonEventNames());
    EXPECT_EQ(walk.debug, std::vector<std::string>{"PTPEventCodeCanonCameraStatusChanged + 12bytes"});
}

TEST(CanonPropertyWrites, EncodeByDatatype) {
    Fixture f;
    f.walk(join({valueRecord(0xD120, words({1, 0x10, 1, 0, 3})), valueRecord(0xD101, {0x20, 0}),
                 valueRecord(0xD104, {0}), valueRecord(0xD115, {'a', 0})}));
    struct Case {
        const char* what;
        uint16_t code;
        std::string text;
        Bytes data;
    };
    const Case cases[] = {
        {"one image-format group", 0xD120, std::to_string(0x10010003), words({28, 0xD120, 1, 0x10, 1, 0, 3})},
        {"two image-format groups", 0xD120, std::to_string(0x1001000310060004ull),
         words({44, 0xD120, 2, 0x10, 1, 0, 3, 0x10, 6, 0, 4})},
        {"u16 in a 4-byte slot", 0xD101, "5", join({words({12, 0xD101}), Bytes{5, 0, 0, 0}})},
        {"u8 from a signed text", 0xD104, " -3", join({words({12, 0xD104}), Bytes{0xFD, 0, 0, 0}})},
        {"text with its NUL", 0xD115, "Zeta", join({words({13, 0xD115}), Bytes{'Z', 'e', 't', 'a', 0}})},
        {"no description", 0xD102, "5", {}},
        {"text that is no UTF-8", 0xD115, "\xFF", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CanonPropertyWrite write = canonEncodePropertyWrite(c.code, c.text, f.info, f.state);
        EXPECT_EQ(write.outcome,
                  c.data.empty() ? CanonPropertyWrite::Outcome::Skip : CanonPropertyWrite::Outcome::Send);
        EXPECT_EQ(write.data, c.data);
    }
}

TEST(CanonViewfinder, TheFirstFrameRecordIsTheFrame) {
    const Bytes jpeg{0xFF, 0xD8, 0xFF, 0xD9};
    struct Case {
        const char* what;
        Bytes data;
        Bytes frame;
    };
    const Case cases[] = {
        {"frame first", join({record(1, jpeg), record(1, {1})}), jpeg},
        {"frame after another record", join({record(2, {9, 9, 9}), record(1, jpeg)}), jpeg},
        {"empty", {}, {}},
        {"no frame record", record(2, jpeg), {}},
        {"size below the head", join({words({4, 2}), record(1, jpeg)}), {}},
        {"frame cut off", join({words({100, 1}), jpeg}), {}},
        {"half a head", Bytes{12, 0, 0, 0, 1}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::span<const uint8_t> frame = canonViewfinderFrame(c.data);
        EXPECT_EQ(Bytes(frame.begin(), frame.end()), c.frame);
    }
}

} // namespace
