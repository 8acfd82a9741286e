// Making, sizing, comparing and copying property records.

#include "indigo/indigo_property.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Released {
    void operator()(indigo_property* p) const { indigo_release_property(p); }
};
using Record = std::unique_ptr<indigo_property, Released>;

Record numberProperty(const char* device, const char* name,
                      std::initializer_list<std::pair<const char*, double>> items) {
    Record p(indigo_init_number_property(nullptr, device, name, "G", "L", INDIGO_IDLE_STATE, INDIGO_RW_PERM,
                                         static_cast<int>(items.size())));
    int i = 0;
    for (const auto& [item, value] : items)
        indigo_init_number_item(p->items + i++, item, item, -100, 100, 1, value);
    return p;
}

Record switchProperty(indigo_rule rule, std::initializer_list<std::pair<const char*, bool>> items) {
    Record p(indigo_init_switch_property(nullptr, "D", "S", "G", "L", INDIGO_IDLE_STATE, INDIGO_RW_PERM, rule,
                                         static_cast<int>(items.size())));
    int i = 0;
    for (const auto& [item, value] : items)
        indigo_init_switch_item(p->items + i++, item, item, value);
    return p;
}

std::string switches(const indigo_property* p) {
    std::string on;
    for (int i = 0; i < p->count; ++i)
        on += p->items[i].sw.value ? '1' : '0';
    return on;
}

TEST(PropertyInit, EveryKindGetsItsTypePermissionAndFields) {
    struct Case {
        const char* label;
        indigo_property* (*make)();
        indigo_property_type type;
        indigo_property_perm perm;
    };
    const Case cases[] = {
        {"text",
         [] {
             return indigo_init_text_property(nullptr, "Dev", "P", "Grp", "Lbl", INDIGO_OK_STATE, INDIGO_RW_PERM, 2);
         },
         INDIGO_TEXT_VECTOR, INDIGO_RW_PERM},
        {"number",
         [] {
             return indigo_init_number_property(nullptr, "Dev", "P", "Grp", "Lbl", INDIGO_OK_STATE, INDIGO_RO_PERM, 2);
         },
         INDIGO_NUMBER_VECTOR, INDIGO_RO_PERM},
        {"switch",
         [] {
             return indigo_init_switch_property(nullptr, "Dev", "P", "Grp", "Lbl", INDIGO_OK_STATE, INDIGO_WO_PERM,
                                                INDIGO_AT_MOST_ONE_RULE, 2);
         },
         INDIGO_SWITCH_VECTOR, INDIGO_WO_PERM},
        {"light", [] { return indigo_init_light_property(nullptr, "Dev", "P", "Grp", "Lbl", INDIGO_OK_STATE, 2); },
         INDIGO_LIGHT_VECTOR, INDIGO_RO_PERM},
        {"blob", [] { return indigo_init_blob_property(nullptr, "Dev", "P", "Grp", "Lbl", INDIGO_OK_STATE, 2); },
         INDIGO_BLOB_VECTOR, INDIGO_RO_PERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Record p(c.make());
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p->device, "Dev");
        EXPECT_STREQ(p->name, "P");
        EXPECT_STREQ(p->group, "Grp");
        EXPECT_STREQ(p->label, "Lbl");
        EXPECT_EQ(p->state, INDIGO_OK_STATE);
        EXPECT_EQ(p->type, c.type);
        EXPECT_EQ(p->perm, c.perm);
        EXPECT_EQ(p->version, 0x200);
        EXPECT_FALSE(p->hidden);
        ASSERT_EQ(p->count, 2);
        EXPECT_STREQ(p->items[1].name, ""); // items start empty
    }
    Record s(indigo_init_switch_property(nullptr, "D", "S", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM,
                                         INDIGO_AT_MOST_ONE_RULE, 0));
    EXPECT_EQ(s->rule, INDIGO_AT_MOST_ONE_RULE);
    EXPECT_EQ(s->count, 0);
    EXPECT_EQ(indigo_init_text_property(nullptr, "D", "T", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, -1), nullptr);
}

TEST(PropertyInit, ItemsOfEachKindHoldTheirValues) {
    indigo_item item;
    std::memset(&item, 0x5a, sizeof item);
    indigo_init_number_item(&item, "N", "Number", -1, 2, 0.5, 1.5);
    EXPECT_STREQ(item.name, "N");
    EXPECT_STREQ(item.label, "Number");
    EXPECT_STREQ(item.number.format, "%g");
    EXPECT_EQ(item.number.min, -1);
    EXPECT_EQ(item.number.max, 2);
    EXPECT_EQ(item.number.step, 0.5);
    EXPECT_EQ(item.number.value, 1.5);
    EXPECT_EQ(item.number.target, 1.5);

    indigo_init_text_item(&item, "T", "Text", "%s%n"); // plain text, never a format
    EXPECT_STREQ(item.text.value, "%s%n");
    indigo_init_switch_item(&item, "S", "Switch", true);
    EXPECT_TRUE(item.sw.value);
    indigo_init_light_item(&item, "L", "Light", INDIGO_ALERT_STATE);
    EXPECT_EQ(item.light.value, INDIGO_ALERT_STATE);
    indigo_init_blob_item(&item, "B", "Blob");
    EXPECT_EQ(item.blob.value, nullptr);
    EXPECT_EQ(item.blob.size, 0);
    EXPECT_STREQ(item.blob.format, "");
}

TEST(PropertyInit, ReusesARecordWithRoomAndReplacesOneWithout) {
    indigo_property* p = indigo_init_text_property(nullptr, "D", "A", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 3);
    indigo_init_text_item(p->items, "I", "I", "old");
    indigo_property* same = indigo_init_number_property(p, "D", "B", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 2);
    EXPECT_EQ(same, p);
    EXPECT_STREQ(same->name, "B");
    EXPECT_EQ(same->type, INDIGO_NUMBER_VECTOR);
    EXPECT_STREQ(same->items[0].name, "");
    indigo_property* bigger =
        indigo_init_number_property(same, "D", "C", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 40);
    ASSERT_NE(bigger, nullptr);
    EXPECT_EQ(bigger->count, 40);
    indigo_release_property(bigger);
}

TEST(TextFields, LongTextsAreCutAtACharacterBoundary) {
    const std::string e_acute = "\xC3\xA9";       // 2 bytes
    const std::string degree_sign = "\xC2\xB0";   // 2 bytes
    const std::string emoji = "\xF0\x9F\x94\xAD"; // 4 bytes
    struct Case {
        std::string source;
        std::string name; // expected in a 128-byte field
    };
    const Case cases[] = {
        {"CCD_EXPOSURE", "CCD_EXPOSURE"},
        {std::string(127, 'a'), std::string(127, 'a')},
        {std::string(200, 'a'), std::string(127, 'a')},
        {std::string(126, 'a') + e_acute, std::string(126, 'a')},
        {std::string(125, 'a') + e_acute + "b", std::string(125, 'a') + e_acute},
        {std::string(124, 'a') + emoji, std::string(124, 'a')},
        {std::string(123, 'a') + emoji + "z", std::string(123, 'a') + emoji},
        {"20" + degree_sign + "C", "20" + degree_sign + "C"},
    };
    for (const Case& c : cases) {
        char field[INDIGO_NAME_SIZE];
        std::memset(field, 'x', sizeof field);
        indigo_copy_name(field, c.source.c_str());
        EXPECT_EQ(std::string(field), c.name) << c.source.size();
    }
    char value[INDIGO_VALUE_SIZE];
    indigo_copy_value(value, (std::string(510, 'v') + emoji).c_str());
    EXPECT_EQ(std::strlen(value), 510u);
    indigo_copy_value(value, nullptr);
    EXPECT_STREQ(value, "");

    Record p(indigo_init_text_property(nullptr, std::string(300, 'd').c_str(), "N", "", (std::string(600, 'l')).c_str(),
                                       INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1));
    EXPECT_EQ(std::strlen(p->device), 127u);
    EXPECT_EQ(std::strlen(p->label), 511u);
}

TEST(PropertyMatch, DeviceNameAndTypeAreCheckedWhenGiven) {
    Record p = numberProperty("Cam", "CCD_EXPOSURE", {{"EXPOSURE", 0}});
    struct Case {
        const char* device;
        const char* name;
        int type;
        bool matches;
    };
    const Case cases[] = {
        {"", "", 0, true},
        {"Cam", "", 0, true},
        {"", "CCD_EXPOSURE", 0, true},
        {"Cam", "CCD_EXPOSURE", INDIGO_NUMBER_VECTOR, true},
        {"Other", "CCD_EXPOSURE", 0, false},
        {"Cam", "CCD_EXPOSURE_X", 0, false},
        {"Cam", "CCD_EXPOSURE", INDIGO_SWITCH_VECTOR, false},
        {"cam", "", 0, false},
    };
    for (const Case& c : cases) {
        Record request(
            indigo_init_text_property(nullptr, c.device, c.name, "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 0));
        request->type = static_cast<indigo_property_type>(c.type);
        EXPECT_EQ(indigo_property_match(p.get(), request.get()), c.matches)
            << c.device << "." << c.name << " " << c.type;
    }
    EXPECT_TRUE(indigo_property_match(p.get(), nullptr));
    EXPECT_TRUE(indigo_property_match(p.get(), INDIGO_ALL_PROPERTIES));
    EXPECT_FALSE(indigo_property_match(nullptr, INDIGO_ALL_PROPERTIES));
}

TEST(PropertyCopyValues, ItemsAreMatchedByNameAndSwitchesKeepTheirRule) {
    struct SwitchCase {
        indigo_rule rule;
        const char* before;
        std::initializer_list<std::pair<const char*, bool>> request;
        const char* after;
    };
    const SwitchCase cases[] = {
        {INDIGO_ONE_OF_MANY_RULE, "100", {{"B", true}}, "010"},
        {INDIGO_ONE_OF_MANY_RULE, "100", {{"A", true}, {"C", true}}, "001"},
        {INDIGO_ONE_OF_MANY_RULE, "100", {{"A", false}}, "000"},
        {INDIGO_AT_MOST_ONE_RULE, "010", {{"C", true}}, "001"},
        {INDIGO_ANY_OF_MANY_RULE, "100", {{"C", true}}, "101"},
        {INDIGO_ANY_OF_MANY_RULE, "101", {{"A", false}, {"Z", true}}, "001"},
    };
    for (const SwitchCase& c : cases) {
        Record target =
            switchProperty(c.rule, {{"A", c.before[0] == '1'}, {"B", c.before[1] == '1'}, {"C", c.before[2] == '1'}});
        Record request(indigo_init_switch_property(nullptr, "D", "S", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM,
                                                   INDIGO_ANY_OF_MANY_RULE, static_cast<int>(c.request.size())));
        int i = 0;
        for (const auto& [name, value] : c.request)
            indigo_init_switch_item(request->items + i++, name, name, value);
        indigo_property_copy_values(target.get(), request.get(), false);
        EXPECT_EQ(switches(target.get()), c.after) << "rule " << c.rule << " from " << c.before;
    }

    Record numbers = numberProperty("D", "N", {{"X", 1}, {"Y", 2}});
    Record request = numberProperty("D", "N", {{"Y", 7}, {"Unknown", 9}});
    request->state = INDIGO_ALERT_STATE;
    indigo_property_copy_values(numbers.get(), request.get(), false);
    EXPECT_EQ(numbers->items[0].number.value, 1);
    EXPECT_EQ(numbers->items[1].number.value, 7);
    EXPECT_EQ(numbers->items[1].number.target, 7);
    EXPECT_EQ(numbers->items[1].number.min, -100); // only values move
    EXPECT_EQ(numbers->state, INDIGO_IDLE_STATE);
    indigo_property_copy_values(numbers.get(), request.get(), true);
    EXPECT_EQ(numbers->state, INDIGO_ALERT_STATE);

    Record texts(indigo_init_text_property(nullptr, "D", "T", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1));
    indigo_init_text_item(texts->items, "V", "V", "old");
    Record textRequest(indigo_init_text_property(nullptr, "D", "T", "", "", INDIGO_IDLE_STATE, INDIGO_RW_PERM, 1));
    indigo_init_text_item(textRequest->items, "V", "V", "new");
    indigo_property_copy_values(texts.get(), textRequest.get(), false);
    EXPECT_STREQ(texts->items[0].text.value, "new");

    // A request of another type changes nothing.
    indigo_property_copy_values(texts.get(), numbers.get(), true);
    EXPECT_STREQ(texts->items[0].text.value, "new");
    EXPECT_EQ(texts->state, INDIGO_IDLE_STATE);
}

TEST(PropertyResize, KeepsValuesAndZeroFillsNewItems) {
    indigo_property* p = numberProperty("D", "N", {{"A", 1}, {"B", 2}}).release();
    p = indigo_resize_property(p, 1);
    EXPECT_EQ(p->count, 1);
    p = indigo_resize_property(p, 2); // within the allocation: the old B is gone
    EXPECT_STREQ(p->items[1].name, "");
    EXPECT_EQ(p->items[1].number.value, 0);
    indigo_init_number_item(p->items + 1, "B", "B", 0, 10, 1, 5);

    indigo_retain_property(p); // someone still reads the old record
    indigo_property* old = p;
    p = indigo_resize_property(p, 50);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->count, 50);
    EXPECT_STREQ(p->device, "D");
    EXPECT_STREQ(p->items[0].name, "A");
    EXPECT_EQ(p->items[0].number.value, 1);
    EXPECT_EQ(p->items[1].number.value, 5);
    EXPECT_STREQ(p->items[49].name, "");
    EXPECT_EQ(old->count, 2); // the reader's copy is intact
    EXPECT_EQ(old->items[1].number.value, 5);
    indigo_release_property(old);

    EXPECT_EQ(indigo_resize_property(p, -3), p);
    EXPECT_EQ(p->count, 50);
    indigo_release_property(p);
    EXPECT_EQ(indigo_resize_property(nullptr, 3), nullptr);
}

TEST(SetSwitch, FollowsTheRuleAndIgnoresForeignItems) {
    Record one = switchProperty(INDIGO_ONE_OF_MANY_RULE, {{"A", true}, {"B", false}});
    indigo_set_switch(one.get(), one->items + 1, true);
    EXPECT_EQ(switches(one.get()), "01");
    indigo_set_switch(one.get(), one->items + 1, false);
    EXPECT_EQ(switches(one.get()), "00");

    Record any = switchProperty(INDIGO_ANY_OF_MANY_RULE, {{"A", true}, {"B", false}});
    indigo_set_switch(any.get(), any->items + 1, true);
    EXPECT_EQ(switches(any.get()), "11");

    indigo_set_switch(one.get(), any->items, true); // not an item of one
    EXPECT_EQ(switches(one.get()), "00");

    EXPECT_EQ(indigo_get_item(any.get(), "B"), any->items + 1);
    EXPECT_EQ(indigo_get_item(any.get(), "C"), nullptr);
}

} // namespace
