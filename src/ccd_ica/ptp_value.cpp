#include "ccd_ica/ptp_value.h"

#include "platform/number_text.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <limits>

std::size_t ptpIntegerWidth(uint16_t datatype) {
    switch (datatype) {
    case PTPDataTypeInt8:
    case PTPDataTypeUInt8:
    case 0x4001:
    case 0x4002:
        return 1;
    case PTPDataTypeInt16:
    case PTPDataTypeUInt16:
    case 0x4003:
    case 0x4004:
        return 2;
    case PTPDataTypeInt32:
    case PTPDataTypeUInt32:
    case 0x4005:
    case 0x4006:
        return 4;
    case PTPDataTypeInt64:
    case PTPDataTypeUInt64:
    case 0x4007:
    case 0x4008:
        return 8;
    default:
        return 0;
    }
}

std::string PTPInteger::description() const {
    return isSigned() ? std::to_string(static_cast<int64_t>(bits)) : std::to_string(bits);
}

std::string PTPValue::description() const {
    if (const auto* integer = asInteger()) return integer->description();
    if (const auto* text = asText()) return *text;
    if (const auto* list = asList()) {
        std::string out = "(";
        for (std::size_t i = 0; i < list->size(); ++i) {
            if (i) out += ", ";
            out += (*list)[i].description();
        }
        return out + ")";
    }
    return "(null)";
}

int64_t PTPValue::longLongValue() const {
    if (const auto* integer = asInteger()) return static_cast<int64_t>(integer->bits);
    if (const auto* text = asText()) return zeta::platform::leadingInteger(*text);
    return 0;
}

int32_t PTPValue::intValue() const {
    if (const auto* integer = asInteger()) return static_cast<int32_t>(static_cast<uint32_t>(integer->bits));
    if (const auto* text = asText()) {
        const long long v = zeta::platform::leadingInteger(*text);
        return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
    }
    return 0;
}

const uint8_t* PTPCursor::take(std::size_t n) {
    if (overrun || n > remaining()) {
        overrun = true;
        return nullptr;
    }
    const uint8_t* at = position;
    position += n;
    return at;
}

uint8_t* PTPWriteCursor::take(std::size_t n) {
    if (overrun || n > static_cast<std::size_t>(end - position)) {
        overrun = true;
        return nullptr;
    }
    uint8_t* at = position;
    position += n;
    return at;
}

namespace {

uint64_t readLittleEndian(PTPCursor& cursor, std::size_t width) {
    const uint8_t* p = cursor.take(width);
    if (!p) return 0;
    uint64_t v = 0;
    for (std::size_t i = width; i-- > 0;)
        v = (v << 8) | p[i];
    return v;
}

void writeLittleEndian(PTPWriteCursor& cursor, uint64_t value, std::size_t width) {
    uint8_t* p = cursor.take(width);
    if (!p) return;
    for (std::size_t i = 0; i < width; ++i, value >>= 8)
        p[i] = static_cast<uint8_t>(value);
}

bool isSignedType(uint16_t type) {
    return PTPInteger{type, 0}.isSigned();
}

// Sign- or zero-extends the low `width` bytes.
uint64_t extend(uint64_t raw, std::size_t width, bool isSigned) {
    if (width >= 8) return raw;
    const unsigned bits = static_cast<unsigned>(width * 8);
    const uint64_t mask = (uint64_t{1} << bits) - 1;
    raw &= mask;
    if (isSigned && (raw >> (bits - 1)) & 1) raw |= ~mask;
    return raw;
}

PTPInteger readInteger(PTPCursor& cursor, uint16_t type) {
    const std::size_t width = ptpIntegerWidth(type);
    return PTPInteger{type, extend(readLittleEndian(cursor, width), width, isSignedType(type))};
}

PTPValue readArray(PTPCursor& cursor, uint16_t elementType) {
    const uint32_t count = ptp_read_uint32(cursor);
    if (cursor.overrun || count == 0) return PTPValue();
    std::vector<PTPInteger> list;
    if (static_cast<int32_t>(count) > 0) {
        const std::size_t width = ptpIntegerWidth(elementType);
        // Check the whole array fits before allocating for it: the count is the camera's word.
        if (count > cursor.remaining() / width) {
            cursor.overrun = true;
            return PTPValue();
        }
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i)
            list.push_back(readInteger(cursor, elementType));
    }
    return PTPValue(std::move(list));
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-8 to UTF-16 units; malformed sequences become U+FFFD.
std::vector<uint16_t> utf16Units(std::string_view text) {
    std::vector<uint16_t> units;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        std::size_t length = 1;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c < 0xF5) {
            const std::size_t need = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            uint32_t v = c & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
            bool ok = i + need <= text.size();
            for (std::size_t k = 1; ok && k < need; ++k) {
                const auto cc = static_cast<unsigned char>(text[i + k]);
                ok = (cc & 0xC0) == 0x80;
                v = (v << 6) | (cc & 0x3F);
            }
            const uint32_t minimum = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
            if (ok && v >= minimum && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
                length = need;
            }
        }
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(static_cast<uint16_t>(0xD800 | (cp >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
        } else {
            units.push_back(static_cast<uint16_t>(cp));
        }
    }
    return units;
}

} // namespace

int8_t ptp_read_int8(PTPCursor& c) {
    return static_cast<int8_t>(readLittleEndian(c, 1));
}
uint8_t ptp_read_uint8(PTPCursor& c) {
    return static_cast<uint8_t>(readLittleEndian(c, 1));
}
int16_t ptp_read_int16(PTPCursor& c) {
    return static_cast<int16_t>(readLittleEndian(c, 2));
}
uint16_t ptp_read_uint16(PTPCursor& c) {
    return static_cast<uint16_t>(readLittleEndian(c, 2));
}
int32_t ptp_read_int32(PTPCursor& c) {
    return static_cast<int32_t>(readLittleEndian(c, 4));
}
uint32_t ptp_read_uint32(PTPCursor& c) {
    return static_cast<uint32_t>(readLittleEndian(c, 4));
}
int64_t ptp_read_int64(PTPCursor& c) {
    return static_cast<int64_t>(readLittleEndian(c, 8));
}
uint64_t ptp_read_uint64(PTPCursor& c) {
    return readLittleEndian(c, 8);
}

void ptp_write_int8(PTPWriteCursor& c, int8_t v) {
    writeLittleEndian(c, static_cast<uint8_t>(v), 1);
}
void ptp_write_uint8(PTPWriteCursor& c, uint8_t v) {
    writeLittleEndian(c, v, 1);
}
void ptp_write_int16(PTPWriteCursor& c, int16_t v) {
    writeLittleEndian(c, static_cast<uint16_t>(v), 2);
}
void ptp_write_uint16(PTPWriteCursor& c, uint16_t v) {
    writeLittleEndian(c, v, 2);
}
void ptp_write_int32(PTPWriteCursor& c, int32_t v) {
    writeLittleEndian(c, static_cast<uint32_t>(v), 4);
}
void ptp_write_uint32(PTPWriteCursor& c, uint32_t v) {
    writeLittleEndian(c, v, 4);
}
void ptp_write_int64(PTPWriteCursor& c, int64_t v) {
    writeLittleEndian(c, static_cast<uint64_t>(v), 8);
}
void ptp_write_uint64(PTPWriteCursor& c, uint64_t v) {
    writeLittleEndian(c, v, 8);
}

std::string ptp_read_int128(PTPCursor& cursor) {
    const uint8_t* p = cursor.take(16);
    if (!p) return {};
    std::string text;
    char hex[4];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02x" : "%02x", p[i]);
        text += hex;
    }
    return text;
}

PTPValue ptp_read_int8_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeInt8);
}
PTPValue ptp_read_uint8_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeUInt8);
}
PTPValue ptp_read_int16_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeInt16);
}
PTPValue ptp_read_uint16_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeUInt16);
}
PTPValue ptp_read_int32_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeInt32);
}
PTPValue ptp_read_uint32_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeUInt32);
}
PTPValue ptp_read_int64_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeInt64);
}
PTPValue ptp_read_uint64_array(PTPCursor& c) {
    return readArray(c, PTPDataTypeUInt64);
}

std::vector<uint16_t> ptp_read_uint16_list(PTPCursor& cursor) {
    std::vector<uint16_t> codes;
    const PTPValue array = ptp_read_uint16_array(cursor);
    if (const auto* list = array.asList()) {
        codes.reserve(list->size());
        for (const auto& element : *list)
            codes.push_back(static_cast<uint16_t>(element.bits));
    }
    return codes;
}

std::optional<std::string> ptp_read_string(PTPCursor& cursor) {
    const uint8_t count = ptp_read_uint8(cursor);
    if (cursor.overrun) return std::nullopt;
    const uint8_t* p = cursor.take(2 * std::size_t{count});
    if (!p) return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        uint32_t unit = p[2 * i] | (p[2 * i + 1] << 8);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            const uint32_t low = p[2 * i + 2] | (p[2 * i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD; // a lone surrogate
        appendUtf8(text, unit);
    }
    return text;
}

std::size_t ptp_write_string(PTPWriteCursor& cursor, std::string_view text) {
    const std::vector<uint16_t> units = utf16Units(text);
    const std::size_t count = units.size() + 1;
    if (count > 255) return 0;
    const std::size_t size = 1 + 2 * count;
    if (cursor.overrun || size > static_cast<std::size_t>(cursor.end - cursor.position)) return 0;
    ptp_write_uint8(cursor, static_cast<uint8_t>(count));
    for (uint16_t unit : units)
        ptp_write_uint16(cursor, unit);
    ptp_write_uint16(cursor, 0);
    return size;
}

PTPValue ptp_read_value(PTPCursor& cursor, uint16_t datatype) {
    switch (datatype) {
    case PTPDataTypeInt8:
    case PTPDataTypeUInt8:
    case PTPDataTypeInt16:
    case PTPDataTypeUInt16:
    case PTPDataTypeInt32:
    case PTPDataTypeUInt32:
    case PTPDataTypeInt64:
    case PTPDataTypeUInt64: {
        const PTPInteger integer = readInteger(cursor, datatype);
        return cursor.overrun ? PTPValue() : PTPValue(integer);
    }
    case PTPDataTypeInt128:
    case PTPDataTypeUInt128: {
        std::string text = ptp_read_int128(cursor);
        return cursor.overrun ? PTPValue() : PTPValue(std::move(text));
    }
    case 0x4001:
    case 0x4002:
    case 0x4003:
    case 0x4004:
    case 0x4005:
    case 0x4006:
    case 0x4007:
    case 0x4008:
        return readArray(cursor, static_cast<uint16_t>(datatype & 0x00FF));
    case PTPDataTypeString: {
        auto text = ptp_read_string(cursor);
        return text ? PTPValue(std::move(*text)) : PTPValue();
    }
    default:
        return PTPValue();
    }
}

std::optional<std::vector<uint8_t>> ptp_encode_value(uint16_t datatype, const PTPValue& value) {
    if (datatype == PTPDataTypeString) {
        std::vector<uint8_t> buffer(PTPMaxStringBytes);
        PTPWriteCursor cursor(buffer);
        const std::size_t size =
            ptp_write_string(cursor, value.asText() ? std::string_view(*value.asText()) : value.description());
        if (size == 0) return std::nullopt;
        buffer.resize(size);
        return buffer;
    }
    const std::size_t width =
        datatype >= PTPDataTypeInt8 && datatype <= PTPDataTypeUInt64 ? ptpIntegerWidth(datatype) : 0;
    if (width == 0) return std::nullopt;
    std::vector<uint8_t> buffer(width);
    PTPWriteCursor cursor(buffer);
    writeLittleEndian(cursor, static_cast<uint64_t>(value.longLongValue()), width);
    return buffer;
}
