#include "ccd_ica/ptp_value.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct ScalarCase {
    uint16_t type;
    Bytes bytes;
    std::string text;
    int32_t intValue;
};

TEST(PTPValueCodec, ReadsEachIntegerDatatypeAtItsWidth) {
    const ScalarCase cases[] = {
        {PTPDataTypeInt8, {0xFF}, "-1", -1},
        {PTPDataTypeUInt8, {0xFF}, "255", 255},
        {PTPDataTypeInt16, {0x00, 0x80}, "-32768", -32768},
        {PTPDataTypeUInt16, {0x34, 0x12}, "4660", 4660},
        {PTPDataTypeInt32, {0xFF, 0xFF, 0xFF, 0xFF}, "-1", -1},
        {PTPDataTypeUInt32, {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295", -1},
        {PTPDataTypeInt64, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-2", -2},
        {PTPDataTypeUInt64, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "18446744073709551615", -1},
        {PTPDataTypeUInt64, {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}, "4294967297", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Bytes data = c.bytes;
        data.push_back(0xAA); // a following byte that must stay unread
        PTPCursor cursor(data);
        const PTPValue value = ptp_read_value(cursor, c.type);
        ASSERT_NE(value.asInteger(), nullptr);
        EXPECT_EQ(value.asInteger()->type, c.type);
        EXPECT_EQ(value.description(), c.text);
        EXPECT_EQ(value.intValue(), c.intValue);
        EXPECT_EQ(cursor.consumed(), c.bytes.size());
        EXPECT_FALSE(cursor.overrun);

        // Written back at the same width, the bytes are the same.
        Bytes out(c.bytes.size());
        PTPWriteCursor writer(out);
        const uint64_t bits = value.asInteger()->bits;
        switch (c.bytes.size()) {
        case 1:
            ptp_write_uint8(writer, static_cast<uint8_t>(bits));
            break;
        case 2:
            ptp_write_uint16(writer, static_cast<uint16_t>(bits));
            break;
        case 4:
            ptp_write_uint32(writer, static_cast<uint32_t>(bits));
            break;
        default:
            ptp_write_uint64(writer, bits);
            break;
        }
        EXPECT_EQ(out, c.bytes);
    }
}

TEST(PTPValueCodec, WritersTruncateToTheWidthAndRefuseToPassTheEnd) {
    Bytes out(7, 0);
    PTPWriteCursor writer(out);
    ptp_write_int8(writer, -2);
    ptp_write_int16(writer, static_cast<int16_t>(0x1234));
    ptp_write_int32(writer, -1);
    EXPECT_EQ(out, (Bytes{0xFE, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF}));
    ptp_write_uint8(writer, 1); // no room left
    EXPECT_TRUE(writer.overrun);
    EXPECT_EQ(writer.written(), 7u);
}

TEST(PTPValueCodec, ReadsPastTheEndFailWithoutConsuming) {
    const Bytes data{0x01, 0x02, 0x03};
    for (uint16_t type : {PTPDataTypeUInt32, PTPDataTypeInt64, PTPDataTypeUInt128}) {
        PTPCursor cursor(data);
        EXPECT_TRUE(ptp_read_value(cursor, type).isNull());
        EXPECT_TRUE(cursor.overrun);
        EXPECT_EQ(cursor.consumed(), 0u);
    }
    // Once overrun, reads that would fit fail too: the parse has stopped.
    PTPCursor cursor(data);
    ptp_read_uint32(cursor);
    EXPECT_EQ(ptp_read_uint8(cursor), 0);
    EXPECT_TRUE(cursor.overrun);
}

TEST(PTPValueCodec, Reads128BitIntegersAsHexText) {
    Bytes data;
    for (uint8_t i = 0; i < 16; ++i)
        data.push_back(i);
    for (uint16_t type : {PTPDataTypeInt128, PTPDataTypeUInt128}) {
        PTPCursor cursor(data);
        const PTPValue value = ptp_read_value(cursor, type);
        ASSERT_NE(value.asText(), nullptr);
        EXPECT_EQ(*value.asText(), "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f");
        EXPECT_EQ(cursor.consumed(), 16u);
    }
}

TEST(PTPValueCodec, UndecodedDatatypesGiveNullAndConsumeNothing) {
    const Bytes data{0x02, 0x00, 0x00, 0x00, 0x01, 0x02};
    for (uint16_t type : {0x0000, 0x4009, 0x400A, 0x0011, 0x5000}) {
        PTPCursor cursor(data);
        EXPECT_TRUE(ptp_read_value(cursor, type).isNull()) << type;
        EXPECT_EQ(cursor.consumed(), 0u);
        EXPECT_FALSE(cursor.overrun);
    }
}

struct ArrayCase {
    const char* name;
    uint16_t type;
    Bytes bytes;
    bool isNull;
    std::vector<std::string> elements;
    std::size_t consumed;
    bool overrun;
};

TEST(PTPValueCodec, Arrays) {
    const ArrayCase cases[] = {
        {"count 0 is null", 0x4004, {0, 0, 0, 0, 9}, true, {}, 4, false},
        {"two u16", 0x4004, {2, 0, 0, 0, 0x01, 0x50, 0x07, 0x50}, false, {"20481", "20487"}, 8, false},
        {"two s8", 0x4001, {2, 0, 0, 0, 0xFF, 0x7F}, false, {"-1", "127"}, 6, false},
        {"one u64", 0x4008, {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x80}, false, {"9223372036854775809"}, 12, false},
        {"top bit count is empty", 0x4006, {0, 0, 0, 0x80, 1, 2, 3, 4}, false, {}, 4, false},
        {"count past the end", 0x4004, {3, 0, 0, 0, 1, 0, 2, 0}, true, {}, 4, true},
        {"huge count", 0x4006, {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4}, true, {}, 4, true},
        {"count cut short", 0x4004, {3, 0}, true, {}, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PTPCursor cursor(c.bytes);
        const PTPValue value = ptp_read_value(cursor, c.type);
        EXPECT_EQ(value.isNull(), c.isNull);
        if (!c.isNull) {
            ASSERT_NE(value.asList(), nullptr);
            std::vector<std::string> texts;
            for (const auto& e : *value.asList()) {
                texts.push_back(e.description());
                EXPECT_EQ(e.type, c.type & 0xFF);
            }
            EXPECT_EQ(texts, c.elements);
            EXPECT_EQ(value.intValue(), 0);
        }
        EXPECT_EQ(cursor.consumed(), c.consumed);
        EXPECT_EQ(cursor.overrun, c.overrun);
    }
}

struct StringCase {
    const char* name;
    Bytes bytes;
    std::optional<std::string> text;
    std::size_t consumed;
};

TEST(PTPValueCodec, ReadsStrings) {
    const StringCase cases[] = {
        {"count 0", {0, 'x'}, "", 1},
        {"with terminator", {3, 'h', 0, 'i', 0, 0, 0}, "hi", 7},
        {"without terminator", {2, 'h', 0, 'i', 0, 'x'}, "hi", 5},
        {"early zero consumes the declared size", {4, 'a', 0, 0, 0, 'b', 0, 0, 0, 'z'}, "a", 9},
        {"non-ASCII and a surrogate pair",
         {4, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0, 0},
         "\xC3\xA9\xF0\x9F\x98\x80",
         9},
        {"lone surrogate", {2, 0x00, 0xD8, 0, 0}, "\xEF\xBF\xBD", 5},
        {"units past the end", {5, 'a', 0, 'b', 0}, std::nullopt, 1},
        {"no count byte", {}, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PTPCursor cursor(c.bytes);
        EXPECT_EQ(ptp_read_string(cursor), c.text);
        EXPECT_EQ(cursor.consumed(), c.consumed);
        EXPECT_EQ(cursor.overrun, !c.text.has_value());
    }
}

TEST(PTPValueCodec, WritesStrings) {
    Bytes out(PTPMaxStringBytes + 10);
    {
        PTPWriteCursor writer(out);
        EXPECT_EQ(ptp_write_string(writer, ""), 3u);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{1, 0, 0}));
    }
    {
        PTPWriteCursor writer(out);
        EXPECT_EQ(ptp_write_string(writer, std::string(254, 'x')), 511u);
        EXPECT_EQ(out[0], 255);
        EXPECT_EQ(out[509], 0);
        EXPECT_EQ(out[510], 0);
        EXPECT_EQ(writer.written(), 511u);
    }
    {
        PTPWriteCursor writer(out);
        EXPECT_EQ(ptp_write_string(writer, std::string(255, 'x')), 0u);
        EXPECT_EQ(writer.written(), 0u);
    }
    {
        Bytes small(4);
        PTPWriteCursor writer(small);
        EXPECT_EQ(ptp_write_string(writer, "abc"), 0u); // needs 9 bytes
    }
    // A text written and read back is itself, non-ASCII included.
    PTPWriteCursor writer(out);
    const std::string text = "f/2.8 \xC3\xA9\xF0\x9F\x98\x80";
    const std::size_t size = ptp_write_string(writer, text);
    PTPCursor reader(std::span<const uint8_t>(out.data(), size));
    EXPECT_EQ(ptp_read_string(reader), text);
    EXPECT_EQ(reader.consumed(), size);
}

TEST(PTPValueCodec, IntegerReadingOfTexts) {
    const std::pair<const char*, int32_t> cases[] = {
        {"280", 280},
        {"  -12abc", -12},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {"4294967295", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(PTPValue(std::string(text)).intValue(), expected) << text;
    EXPECT_EQ(PTPValue().intValue(), 0);
    EXPECT_EQ(PTPValue().description(), "(null)");
}

TEST(PTPValueCodec, EncodesPropertyValuesByDatatype) {
    const struct {
        uint16_t type;
        PTPValue value;
        std::optional<Bytes> bytes;
    } cases[] = {
        {PTPDataTypeUInt8, PTPValue(std::string("300")), Bytes{0x2C}},
        {PTPDataTypeInt16, PTPValue(std::string("-1")), Bytes{0xFF, 0xFF}},
        {PTPDataTypeUInt32, PTPValue(std::string("4294967295")), Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
        {PTPDataTypeUInt64, PTPValue::integer(PTPDataTypeUInt64, ~uint64_t{0}), Bytes(8, 0xFF)},
        {PTPDataTypeString, PTPValue(std::string("ab")), Bytes{3, 'a', 0, 'b', 0, 0, 0}},
        {PTPDataTypeString, PTPValue(std::string(300, 'a')), std::nullopt},
        {PTPDataTypeUInt128, PTPValue(std::string("1")), std::nullopt},
        {0x4004, PTPValue(std::string("1")), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ptp_encode_value(c.type, c.value), c.bytes) << c.type;
}

} // namespace
