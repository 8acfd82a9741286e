#include "ccd_ica/canon_events.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct CodeRange {
    uint16_t first, last;
};

constexpr bool inRanges(std::span<const CodeRange> ranges, uint16_t code) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [code](const CodeRange& r) { return code >= r.first && code <= r.last; });
}

constexpr CodeRange uint8Codes[] = {{0xD104, 0xD104}, {0xD107, 0xD107}, {0xD109, 0xD109}, {0xD110, 0xD110}};
constexpr CodeRange uint16Codes[] = {{0xD101, 0xD103}, {0xD105, 0xD106}, {0xD108, 0xD108}, {0xD10F, 0xD10F},
                                     {0xD111, 0xD112}, {0xD114, 0xD114}, {0xD119, 0xD119}, {0xD11D, 0xD11D},
                                     {0xD13A, 0xD13A}, {0xD1A9, 0xD1A9}, {0xD1B0, 0xD1B1}, {0xD1B8, 0xD1B8},
                                     {0xD1BF, 0xD1BF}, {0xD1D9, 0xD1D9}};
constexpr CodeRange int32Codes[] = {{0xD10B, 0xD10C}};
constexpr CodeRange uint32Codes[] = {{0xD10A, 0xD10A}, {0xD10D, 0xD10E}, {0xD113, 0xD113}, {0xD116, 0xD116},
                                     {0xD11B, 0xD11C}, {0xD11E, 0xD11F}, {0xD13C, 0xD13C}, {0xD17C, 0xD17C},
                                     {0xD17E, 0xD17E}, {0xD1A3, 0xD1A3}, {0xD1A8, 0xD1A8}, {0xD1AA, 0xD1AC},
                                     {0xD1AE, 0xD1AE}, {0xD1B2, 0xD1B7}, {0xD1BA, 0xD1BC}, {0xD1C1, 0xD1C1},
                                     {0xD1C9, 0xD1C9}, {0xD1D4, 0xD1D5}, {0xD1DC, 0xD1DD}};
constexpr CodeRange stringCodes[] = {{0xD115, 0xD115}, {0xD1AF, 0xD1AF}, {0xD1D0, 0xD1D1}, {0xD1D8, 0xD1D8}};
constexpr CodeRange readOnlyCodes[] = {
    {0xD105, 0xD106}, {0xD111, 0xD112}, {0xD114, 0xD114}, {0xD116, 0xD116}, {0xD119, 0xD11B}, {0xD11E, 0xD11F},
    {0xD180, 0xD192}, {0xD1A0, 0xD1A2}, {0xD1A5, 0xD1A8}, {0xD1AA, 0xD1AC}, {0xD1AF, 0xD1AF}, {0xD1B2, 0xD1B2},
    {0xD1B8, 0xD1B8}, {0xD1BA, 0xD1BA}, {0xD1D3, 0xD1D5}, {0xD1D7, 0xD1D8}, {0xD1DD, 0xD1DD}};

constexpr bool isImageFormat(uint16_t code) {
    return code >= 0xD120 && code <= 0xD123;
}
constexpr bool isRawDump(uint16_t code) {
    return code >= 0xD180 && code <= 0xD192;
}

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<uint8_t>(text[i]);
        std::size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<uint8_t>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// A NUL-terminated text inside `bytes` (all of it when there is no NUL).
std::string_view cString(std::span<const uint8_t> bytes) {
    const auto* p = reinterpret_cast<const char*>(bytes.data());
    const auto* nul = static_cast<const char*>(std::memchr(p, 0, bytes.size()));
    return {p, nul ? static_cast<std::size_t>(nul - p) : bytes.size()};
}

std::string hexWord(const char* format, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

uint32_t loadU32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}

void storeU32(std::vector<uint8_t>& out, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void appendU32(std::vector<uint8_t>& out, uint32_t value) {
    out.resize(out.size() + 4);
    storeU32(out, out.size() - 4, value);
}

std::shared_ptr<PTPProperty> descriptionFor(uint16_t code, const PTPDeviceInfo& info,
                                            const CanonPropertyFactory& makeProperty) {
    if (auto known = info.property(code)) return known;
    return makeProperty ? makeProperty(code) : std::make_shared<PTPProperty>(code);
}

class Walker {
public:
    Walker(PTPDeviceInfo& info, CanonEventState& state, const CanonPropertyFactory& makeProperty,
           const PTPNameTable& eventNames)
        : info_(info), state_(state), makeProperty_(makeProperty), eventNames_(eventNames) {}

    CanonEventWalk walk(std::span<const uint8_t> data) {
        std::size_t position = 0;
        while (position + 8 <= data.size()) {
            const uint32_t size = loadU32(data.data() + position);
            const uint32_t type = loadU32(data.data() + position + 4);
            if (size == 8 && type == 0) break;
            if (size < 8) break; // would not move on: the answer is damaged from here
            const std::size_t length = std::min<std::size_t>(size, data.size() - position);
            record(type, size, data.subspan(position, length));
            if (size > data.size() - position) break;
            position += size;
        }
        return std::move(result_);
    }

private:
    void record(uint32_t type, uint32_t size, std::span<const uint8_t> bytes) {
        switch (type) {
        case kCanonEventObjectAddedEx:
            objectAdded(bytes);
            break;
        case kCanonEventPropValueChanged:
            propValueChanged(bytes);
            break;
        case kCanonEventAvailListChanged:
            availListChanged(bytes);
            break;
        default:
            result_.debug.push_back(eventNames_.name(static_cast<uint16_t>(type)) + " + " + std::to_string(size) +
                                    "bytes");
        }
    }

    void objectAdded(std::span<const uint8_t> bytes) {
        if (bytes.size() < 12) return;
        CanonObjectAdded added;
        added.handle = loadU32(bytes.data() + 8);
        if (bytes.size() > 40) {
            const std::string_view name = cString(bytes.subspan(40));
            if (isValidUtf8(name)) added.fileName = std::string(name);
        }
        result_.objectsAdded.push_back(std::move(added));
    }

    void propValueChanged(std::span<const uint8_t> bytes) {
        if (bytes.size() < 12) return;
        const auto code = static_cast<uint16_t>(loadU32(bytes.data() + 8));
        const std::span<const uint8_t> valueBytes = bytes.subspan(12);
        auto property = descriptionFor(code, info_, makeProperty_);
        property->readOnly = canonPropertyReadOnly(code);
        property->type = canonPropertyDatatype(code);
        PTPCursor cursor(valueBytes);
        switch (property->type) {
        case PTPDataTypeUInt8:
        case PTPDataTypeUInt16:
        case PTPDataTypeInt32:
        case PTPDataTypeUInt32: {
            PTPValue value = ptp_read_value(cursor, property->type);
            if (cursor.overrun) return; // the value is cut off: keep what we had
            property->value = value;
            property->defaultValue = value;
            break;
        }
        case PTPDataTypeString: {
            const std::string_view text = cString(valueBytes);
            property->value = PTPValue(isValidUtf8(text) ? std::string(text) : std::string());
            property->defaultValue = property->value;
            break;
        }
        default:
            if (isRawDump(code)) {
                property->type = PTPDataTypeString;
                std::string text;
                for (std::size_t i = 0; i < valueBytes.size(); ++i)
                    text += hexWord(i == 0 ? "%02x" : " %02x", valueBytes[i]);
                property->value = PTPValue(std::move(text));
                property->defaultValue = PTPValue(std::string());
            } else if (isImageFormat(code)) {
                const uint64_t format = ptp_read_canon_image_format(cursor);
                if (cursor.overrun) return;
                property->type = PTPDataTypeUInt64;
                property->value = PTPValue::integer(PTPDataTypeUInt64, format);
                property->defaultValue = property->value;
            } else if (code == kCanonPropertyCustomFuncEx) {
                customFunctions(valueBytes);
            }
        }
        if (property->type != 0) {
            info_.setProperty(property);
            result_.changed.push_back(property);
        }
        if (code == 0xD105 && property->type != 0) state_.currentMode = property->value.intValue();
        result_.debug.push_back("PTPEventCodeCanonPropValueChanged " + property->description());
    }

    void availListChanged(std::span<const uint8_t> bytes) {
        if (bytes.size() < 20) return;
        const auto code = static_cast<uint16_t>(loadU32(bytes.data() + 8));
        const uint32_t form = loadU32(bytes.data() + 12);
        const uint32_t count = loadU32(bytes.data() + 16);
        if (form != 3 || count == 0 || count > 0xFFFE) return;
        PTPCursor cursor(bytes.subspan(20));
        std::vector<PTPValue> values;
        values.reserve(std::min<std::size_t>(count, cursor.remaining() / 4));
        for (uint32_t i = 0; i < count && !cursor.overrun; ++i) {
            if (isImageFormat(code))
                values.push_back(PTPValue::integer(PTPDataTypeUInt64, ptp_read_canon_image_format(cursor)));
            else
                values.push_back(PTPValue::integer(PTPDataTypeUInt32, ptp_read_uint32(cursor)));
        }
        if (cursor.overrun) return; // a list cut short would offer values the camera never sent
        // Kept even before the property has a value: a list that comes first is not lost to the
        // value that follows it.
        auto property = descriptionFor(code, info_, makeProperty_);
        property->supportedValues = std::move(values);
        info_.setProperty(property);
        result_.changed.push_back(property);
        result_.debug.push_back("PTPEventCodeCanonAvailListChanged " + property->description());
    }

    void customFunctions(std::span<const uint8_t> value) {
        PTPCursor cursor(value);
        (void)ptp_read_uint32(cursor); // total size
        const uint32_t groups = ptp_read_uint32(cursor);
        for (uint32_t g = 0; g < groups && !cursor.overrun; ++g) {
            const uint32_t number = ptp_read_uint32(cursor);
            const uint32_t size = ptp_read_uint32(cursor);
            if (cursor.overrun || size < 8 || size - 4 > cursor.remaining()) return;
            const std::span<const uint8_t> body(cursor.position, size - 4);
            cursor.take(size - 4);
            if (number >= kCanonCustomFunctionGroups) {
                result_.debug.push_back("customFuncEx - group " + std::to_string(number) + " skipped");
                continue;
            }
            std::vector<uint8_t>& buffer = state_.customFuncGroup[number];
            if (buffer.empty() || loadU32(buffer.data() + 12) != size) {
                result_.debug.push_back("customFuncEx - group " + std::to_string(number) + " buffer " +
                                        (buffer.empty() ? "allocated" : "reallocated"));
                buffer.assign(std::size_t{size} + 12, 0);
                storeU32(buffer, 0, size + 12);
                storeU32(buffer, 4, 1);
                storeU32(buffer, 8, number);
                storeU32(buffer, 12, size);
            }
            std::copy(body.begin(), body.end(), buffer.begin() + 16);
            std::string words;
            for (std::size_t at = 0; at + 4 <= buffer.size(); at += 4)
                words += hexWord(at == 0 ? "0x%x" : ", 0x%x", loadU32(buffer.data() + at));
            result_.debug.push_back("customFuncEx - group " + std::to_string(number) + " [" + words + "]");
            items(body);
        }
    }

    void items(std::span<const uint8_t> body) {
        PTPCursor cursor(body);
        const uint32_t count = ptp_read_uint32(cursor);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t id = ptp_read_uint32(cursor);
            const uint32_t m = ptp_read_uint32(cursor);
            if (cursor.overrun || m > cursor.remaining() / 4) return; // the item does not fit its group
            std::string text;
            for (uint32_t k = 0; k < m; ++k)
                text += (k ? " " : "") + std::to_string(ptp_read_uint32(cursor));
            const auto code = static_cast<uint16_t>((id & 0xFFFF) | 0x8000);
            auto property = descriptionFor(code, info_, makeProperty_);
            property->type = PTPDataTypeString;
            property->value = PTPValue(text);
            property->defaultValue = PTPValue(text);
            auto& supported = info_.propertiesSupported;
            if (std::find(supported.begin(), supported.end(), code) == supported.end()) supported.push_back(code);
            info_.setProperty(property);
            result_.changed.push_back(property);
            result_.debug.push_back("PTPEventCodeCanonPropValueChanged " + property->description());
        }
    }

    PTPDeviceInfo& info_;
    CanonEventState& state_;
    const CanonPropertyFactory& makeProperty_;
    const PTPNameTable& eventNames_;
    CanonEventWalk result_;
};

uint32_t packGroup(PTPCursor& cursor) {
    uint32_t packed = 0;
    for (int i = 0; i < 4; ++i)
        packed = (packed << 8) | (ptp_read_uint32(cursor) & 0xFF);
    return packed;
}

std::vector<std::string_view> splitAtSpaces(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t space = text.find(' ', start);
        parts.push_back(text.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return parts;
}

int64_t integerOf(std::string_view text) {
    return PTPValue(std::string(text)).longLongValue();
}

CanonPropertyWrite sendData(uint16_t code, const std::vector<uint8_t>& payload) {
    CanonPropertyWrite write;
    write.outcome = CanonPropertyWrite::Outcome::Send;
    appendU32(write.data, static_cast<uint32_t>(payload.size() + 8));
    appendU32(write.data, code);
    write.data.insert(write.data.end(), payload.begin(), payload.end());
    return write;
}

CanonPropertyWrite writeCustomFunction(uint16_t code, std::string_view text, CanonEventState& state) {
    for (std::vector<uint8_t>& buffer : state.customFuncGroup) {
        if (buffer.size() < 20) continue;
        const uint32_t count = loadU32(buffer.data() + 16);
        std::size_t at = 20;
        for (uint32_t i = 0; i < count && at + 8 <= buffer.size(); ++i) {
            const uint32_t id = loadU32(buffer.data() + at);
            const uint32_t m = loadU32(buffer.data() + at + 4);
            if (m > (buffer.size() - at - 8) / 4) break;
            if (((id & 0x7FFF) | 0x8000) == code) {
                // A shorter text sets the leading values (the setting) and keeps the parameters.
                const std::vector<std::string_view> parts = splitAtSpaces(text);
                for (uint32_t k = 0; k < m && k < parts.size(); ++k)
                    storeU32(buffer, at + 8 + 4 * k, static_cast<uint32_t>(integerOf(parts[k])));
                return sendData(kCanonPropertyCustomFuncEx, buffer);
            }
            at += 8 + 4 * std::size_t{m};
        }
    }
    return {};
}

} // namespace

uint16_t canonPropertyDatatype(uint16_t code) {
    if (inRanges(uint8Codes, code)) return PTPDataTypeUInt8;
    if (inRanges(uint16Codes, code)) return PTPDataTypeUInt16;
    if (inRanges(int32Codes, code)) return PTPDataTypeInt32;
    if (inRanges(uint32Codes, code)) return PTPDataTypeUInt32;
    if (inRanges(stringCodes, code)) return PTPDataTypeString;
    return PTPDataTypeUndefined;
}

bool canonPropertyReadOnly(uint16_t code) {
    return inRanges(readOnlyCodes, code);
}

uint64_t ptp_read_canon_image_format(PTPCursor& cursor) {
    const uint32_t count = ptp_read_uint32(cursor);
    const uint64_t first = packGroup(cursor);
    if (count != 2) return cursor.overrun ? 0 : first;
    const uint64_t second = packGroup(cursor);
    return cursor.overrun ? 0 : (first << 32) | second;
}

CanonEventWalk canonWalkEvents(std::span<const uint8_t> data, PTPDeviceInfo& info, CanonEventState& state,
                               const CanonPropertyFactory& makeProperty, const PTPNameTable& eventNames) {
    return Walker(info, state, makeProperty, eventNames).walk(data);
}

CanonPropertyWrite canonEncodePropertyWrite(uint16_t code, std::string_view text, const PTPDeviceInfo& info,
                                            CanonEventState& state) {
    const auto property = info.property(code);
    if (!property) return {};
    if (isImageFormat(code)) {
        const auto v = static_cast<uint64_t>(integerOf(text));
        std::vector<uint8_t> payload;
        const bool two = (v >> 32) != 0;
        appendU32(payload, two ? 2 : 1);
        for (int group = two ? 1 : 0; group >= 0; --group) {
            const auto bits = static_cast<uint32_t>(v >> (32 * group));
            for (int shift = 24; shift >= 0; shift -= 8)
                appendU32(payload, (bits >> shift) & 0xFF);
        }
        return sendData(code, payload);
    }
    if ((code & 0xF000) == 0x8000) return writeCustomFunction(code, text, state);
    const std::size_t width = ptpIntegerWidth(property->type);
    if (property->type >= PTPDataTypeInt8 && property->type <= PTPDataTypeUInt32) {
        const auto v = static_cast<uint32_t>(integerOf(text));
        std::vector<uint8_t> payload(4, 0);
        for (std::size_t i = 0; i < width; ++i)
            payload[i] = static_cast<uint8_t>(v >> (8 * i));
        return sendData(code, payload);
    }
    if (property->type == PTPDataTypeString) {
        if (!isValidUtf8(text)) return {};
        std::vector<uint8_t> payload(text.begin(), text.end());
        payload.push_back(0);
        return sendData(code, payload);
    }
    return {};
}

std::span<const uint8_t> canonViewfinderFrame(std::span<const uint8_t> data) {
    std::size_t position = 0;
    while (position + 8 <= data.size()) {
        const uint32_t size = loadU32(data.data() + position);
        const uint32_t type = loadU32(data.data() + position + 4);
        if (size < 8 || size > data.size() - position) break;
        if (type == 1) return data.subspan(position + 8, size - 8);
        position += size;
    }
    return {};
}
