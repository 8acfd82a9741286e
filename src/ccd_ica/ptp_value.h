#pragma once
// Picture Transfer Protocol primitive fields: little-endian integers, arrays and strings read
// and written at a moving cursor, and PTPValue, the decoded value of one field.
//
// Every cursor knows where its bytes end. A read or write that would pass the end consumes
// and writes nothing, returns zero (or a null value) and marks the cursor overrun; once
// overrun, every further operation on it fails the same way. A parser checks `overrun` after
// each field and stops there, so camera data that lies about its own sizes can never make us
// read or write outside the buffer.

#include "platform/camera/ptp_codes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Width in bytes of an integer datatype of up to 64 bits (1..8, or 0x4001..0x4008 for the
// elements of an array); 0 for every other code.
std::size_t ptpIntegerWidth(uint16_t datatype);

// An integer that keeps its PTP datatype (width and signedness).
struct PTPInteger {
    uint16_t type = PTPDataTypeInt32; // PTPDataTypeInt8 .. PTPDataTypeUInt64
    // The value: sign-extended for signed types, zero-extended for unsigned ones.
    uint64_t bits = 0;

    bool isSigned() const {
        return type == PTPDataTypeInt8 || type == PTPDataTypeInt16 || type == PTPDataTypeInt32 ||
               type == PTPDataTypeInt64;
    }
    // Decimal digits, with a minus sign only for negative signed values.
    std::string description() const;
    friend bool operator==(const PTPInteger&, const PTPInteger&) = default;
};

// The decoded value of one PTP field: an integer, a text (strings, and 128-bit integers in hex),
// an ordered list of integers (arrays), or null.
class PTPValue {
public:
    PTPValue() = default; // null
    PTPValue(PTPInteger integer) : value_(integer) {}
    explicit PTPValue(std::string text) : value_(std::move(text)) {}
    explicit PTPValue(std::vector<PTPInteger> list) : value_(std::move(list)) {}
    static PTPValue integer(uint16_t type, uint64_t bits) { return PTPValue(PTPInteger{type, bits}); }

    bool isNull() const { return std::holds_alternative<std::monostate>(value_); }
    const PTPInteger* asInteger() const { return std::get_if<PTPInteger>(&value_); }
    const std::string* asText() const { return std::get_if<std::string>(&value_); }
    const std::vector<PTPInteger>* asList() const { return std::get_if<std::vector<PTPInteger>>(&value_); }
    std::vector<PTPInteger>* asList() { return std::get_if<std::vector<PTPInteger>>(&value_); }

    // The text form: an integer's decimal digits, a text itself, a list as "(a, b)",
    // null as "(null)".
    std::string description() const;
    // Reading as a signed 32-bit integer: an integer truncated to 32 bits; a text gives the
    // integer its leading characters spell (blanks, sign, digits; saturating; 0 when none);
    // a list and null give 0.
    int32_t intValue() const;
    // Reading as a signed 64-bit integer, by the same rules (a text saturates at 64 bits).
    int64_t longLongValue() const;

    friend bool operator==(const PTPValue&, const PTPValue&) = default;

private:
    std::variant<std::monostate, PTPInteger, std::string, std::vector<PTPInteger>> value_;
};

// A read position in received bytes.
struct PTPCursor {
    explicit PTPCursor(std::span<const uint8_t> data)
        : begin(data.data()), position(data.data()), end(data.data() + data.size()) {}

    const uint8_t* begin;
    const uint8_t* position;
    const uint8_t* end;
    bool overrun = false;

    std::size_t consumed() const { return static_cast<std::size_t>(position - begin); }
    std::size_t remaining() const { return static_cast<std::size_t>(end - position); }
    // Takes n bytes, or marks the cursor overrun and gives nullptr.
    const uint8_t* take(std::size_t n);
};

// A write position in a caller's buffer.
struct PTPWriteCursor {
    explicit PTPWriteCursor(std::span<uint8_t> buffer)
        : begin(buffer.data()), position(buffer.data()), end(buffer.data() + buffer.size()) {}

    uint8_t* begin;
    uint8_t* position;
    uint8_t* end;
    bool overrun = false;

    std::size_t written() const { return static_cast<std::size_t>(position - begin); }
    uint8_t* take(std::size_t n);
};

int8_t ptp_read_int8(PTPCursor& cursor);
uint8_t ptp_read_uint8(PTPCursor& cursor);
int16_t ptp_read_int16(PTPCursor& cursor);
uint16_t ptp_read_uint16(PTPCursor& cursor);
int32_t ptp_read_int32(PTPCursor& cursor);
uint32_t ptp_read_uint32(PTPCursor& cursor);
int64_t ptp_read_int64(PTPCursor& cursor);
uint64_t ptp_read_uint64(PTPCursor& cursor);

void ptp_write_int8(PTPWriteCursor& cursor, int8_t value);
void ptp_write_uint8(PTPWriteCursor& cursor, uint8_t value);
void ptp_write_int16(PTPWriteCursor& cursor, int16_t value);
void ptp_write_uint16(PTPWriteCursor& cursor, uint16_t value);
void ptp_write_int32(PTPWriteCursor& cursor, int32_t value);
void ptp_write_uint32(PTPWriteCursor& cursor, uint32_t value);
void ptp_write_int64(PTPWriteCursor& cursor, int64_t value);
void ptp_write_uint64(PTPWriteCursor& cursor, uint64_t value);

// 16 bytes as sixteen two-digit lowercase hex numbers separated by blanks, first byte first;
// empty when the bytes run out.
std::string ptp_read_int128(PTPCursor& cursor);

// A u32 count and that many elements. A count of 0 gives null; a count with its top bit set
// an empty list (only the count consumed); elements that would run past the end give null
// and an overrun cursor.
PTPValue ptp_read_int8_array(PTPCursor& cursor);
PTPValue ptp_read_uint8_array(PTPCursor& cursor);
PTPValue ptp_read_int16_array(PTPCursor& cursor);
PTPValue ptp_read_uint16_array(PTPCursor& cursor);
PTPValue ptp_read_int32_array(PTPCursor& cursor);
PTPValue ptp_read_uint32_array(PTPCursor& cursor);
PTPValue ptp_read_int64_array(PTPCursor& cursor);
PTPValue ptp_read_uint64_array(PTPCursor& cursor);
// The elements of a u16 array as plain numbers (empty for null).
std::vector<uint16_t> ptp_read_uint16_list(PTPCursor& cursor);

// A count byte N (UTF-16 units with the terminator) and 2 x N bytes, all consumed; the text is
// the units before the first zero unit, as UTF-8. Gives nullopt (and an overrun cursor) when
// the units run past the end.
std::optional<std::string> ptp_read_string(PTPCursor& cursor);
// Writes the count byte, the units and a zero unit; returns the bytes written. Texts of 255
// UTF-16 units or more, and texts that do not fit the buffer, write nothing and return 0.
std::size_t ptp_write_string(PTPWriteCursor& cursor, std::string_view text);
// The longest string encoding: a count byte and 255 units.
inline constexpr std::size_t PTPMaxStringBytes = 511;

// The value of the datatype at the cursor. Datatypes the codec does not decode (0, 0x4009,
// 0x400A and every unknown code) give null and consume nothing.
PTPValue ptp_read_value(PTPCursor& cursor, uint16_t datatype);

// The data phase that sets a property of the datatype to the value read as a 64-bit integer
// (truncated to the datatype's width) or, for strings, to its text. Nothing for datatypes
// that cannot be written this way, and for texts too long for a PTP string.
std::optional<std::vector<uint8_t>> ptp_encode_value(uint16_t datatype, const PTPValue& value);
