#include "indigo/wire/indigo_xml_writer.h"

#include "indigo/wire/indigo_base64.h"
#include "indigo/wire/indigo_name_map.h"

namespace zeta::indigo::wire {

namespace {

class BusNames final : public OutgoingNames {
public:
    std::string_view property(std::string_view busProperty) const override { return busProperty; }
    std::string_view item(std::string_view, std::string_view busItem) const override { return busItem; }
};

class IndiNames final : public OutgoingNames {
public:
    std::string_view property(std::string_view busProperty) const override { return indiPropertyName(busProperty); }
    std::string_view item(std::string_view busProperty, std::string_view busItem) const override {
        return indiItemName(busProperty, busItem);
    }
};

// Length of the UTF-8 character starting at text[i] when it is well formed, else 0.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return static_cast<unsigned char>(text[k]);
    };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    if (code == 0xFFFE || code == 0xFFFF) return 0;
    return length;
}

void attribute(std::string& out, const char* key, std::string_view value) {
    out += ' ';
    out += key;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}

void numberAttribute(std::string& out, const char* key, double value) {
    out += ' ';
    out += key;
    out += "=\"";
    appendNumber(out, value);
    out += '"';
}

const char* typeWord(indigo_property_type type) {
    switch (type) {
    case INDIGO_NUMBER_VECTOR:
        return "Number";
    case INDIGO_SWITCH_VECTOR:
        return "Switch";
    case INDIGO_LIGHT_VECTOR:
        return "Light";
    case INDIGO_BLOB_VECTOR:
        return "BLOB";
    default:
        return "Text";
    }
}

void itemValue(std::string& out, indigo_property_type type, const indigo_item& item) {
    switch (type) {
    case INDIGO_TEXT_VECTOR:
        appendEscaped(out, field(item.text.value));
        break;
    case INDIGO_NUMBER_VECTOR:
        appendNumber(out, item.number.value);
        break;
    case INDIGO_SWITCH_VECTOR:
        out += item.sw.value ? "On" : "Off";
        break;
    case INDIGO_LIGHT_VECTOR:
        out += stateText(item.light.value);
        break;
    case INDIGO_BLOB_VECTOR:
        break;
    }
}

// The base64 of the bytes in pieces of 64 KiB of text: few enough writes that a frame goes
// out at the pace of the socket (smaller ones cost the loopback more per byte), small enough
// to stay in cache between encoding and writing, and to cost little beside the frame when
// every one of many peers holds one: sixteen are a fiftieth of a 24 MP frame.
bool streamBase64(const void* data, std::size_t size, const TextSink& sink) {
    constexpr std::size_t kPiece = 48 * 1024;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    // Each writer thread keeps its piece: a fresh one per frame is a page fault per page.
    thread_local std::string piece;
    piece.reserve(base64Length(kPiece));
    for (std::size_t at = 0; at < size; at += kPiece) {
        piece.clear();
        appendBase64(piece, bytes + at, std::min(kPiece, size - at));
        if (!sink(piece)) return false;
    }
    return true;
}

// A BLOB item; with a sink, out is handed over before the bytes, which follow in pieces.
bool blobItem(std::string& out, std::string_view name, const indigo_item& item, const std::string* url,
              const TextSink* sink = nullptr) {
    out += "<oneBLOB";
    attribute(out, "name", name);
    attribute(out, "format", field(item.blob.format));
    const bool inline_ = url == nullptr && item.blob.value != nullptr && item.blob.size > 0;
    const std::string_view reference = url != nullptr ? std::string_view(*url) : field(item.blob.url);
    if (!inline_ && !reference.empty()) {
        attribute(out, "size", std::to_string(item.blob.size > 0 ? item.blob.size : 0));
        attribute(out, "url", reference);
        out += "/>\n";
        return true;
    }
    const std::size_t size = inline_ ? static_cast<std::size_t>(item.blob.size) : 0;
    out += " size=\"" + std::to_string(size) + "\" len=\"" + std::to_string(size) + "\">";
    if (inline_ && sink != nullptr) {
        if (!(*sink)(out) || !streamBase64(item.blob.value, size, *sink)) return false;
        out.clear();
    } else if (inline_) {
        appendBase64(out, item.blob.value, size);
    }
    out += "</oneBLOB>\n";
    return true;
}

void vectorHead(std::string& out, const char* verb, const indigo_property& property, const OutgoingNames& names) {
    out += '<';
    out += verb;
    out += typeWord(property.type);
    out += "Vector";
    attribute(out, "device", field(property.device));
    attribute(out, "name", names.property(field(property.name)));
}

// The attributes that close the head of a def and of a set vector alike. timeout: as a
// peer gave it, for a property relayed from one; the bus's own properties say 60.
void vectorHeadEnd(std::string& out, const indigo_property& property, const char* message, std::string_view timeout) {
    if (property.type != INDIGO_LIGHT_VECTOR) attribute(out, "timeout", timeout.empty() ? "60" : timeout);
    attribute(out, "timestamp", timestampNow());
    if (message != nullptr && message[0] != '\0') attribute(out, "message", message);
    out += ">\n";
}

// One item element; a definition also carries the label and a number's format, and a
// defBLOB has no value.
void itemElement(std::string& out, std::string_view element, std::string_view name, indigo_property_type type,
                 const indigo_item& item, bool definition) {
    out += '<';
    out += element;
    attribute(out, "name", name);
    if (definition) attribute(out, "label", field(item.label));
    if (type == INDIGO_NUMBER_VECTOR) {
        if (definition) attribute(out, "format", field(item.number.format));
        numberAttribute(out, "min", item.number.min);
        numberAttribute(out, "max", item.number.max);
        numberAttribute(out, "step", item.number.step);
    }
    if (type == INDIGO_BLOB_VECTOR) {
        out += "/>\n";
        return;
    }
    out += '>';
    itemValue(out, type, item);
    out += "</";
    out += element;
    out += ">\n";
}

void vectorEnd(std::string& out, const char* verb, indigo_property_type type) {
    out += "</";
    out += verb;
    out += typeWord(type);
    out += "Vector>\n";
}

} // namespace

const OutgoingNames& namesFor(Dialect dialect) {
    static const BusNames bus;
    static const IndiNames indi;
    return dialect == Dialect::Indi ? static_cast<const OutgoingNames&>(indi) : bus;
}

void appendEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\t':
            case '\n':
            case '\r':
                out += "&#";
                out += std::to_string(c);
                out += ';';
                break;
            default:
                out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            out += '?';
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
}

void writeDefinition(std::string& out, const indigo_property& property, const char* message, const OutgoingNames& names,
                     std::string_view timeout) {
    vectorHead(out, "def", property, names);
    attribute(out, "label", field(property.label));
    attribute(out, "group", field(property.group));
    attribute(out, "state", stateText(property.state));
    if (property.type != INDIGO_LIGHT_VECTOR) attribute(out, "perm", permText(property.perm));
    if (property.type == INDIGO_SWITCH_VECTOR) attribute(out, "rule", ruleText(property.rule));
    vectorHeadEnd(out, property, message, timeout);
    const std::string_view propertyName = field(property.name);
    const std::string element = std::string("def") + typeWord(property.type);
    for (int i = 0; i < property.count; ++i) {
        const indigo_item& item = property.items[i];
        itemElement(out, element, names.item(propertyName, field(item.name)), property.type, item, true);
    }
    vectorEnd(out, "def", property.type);
}

namespace {

bool updateBody(std::string& out, const indigo_property& property, const char* message, const OutgoingNames& names,
                const std::vector<std::string>* blobUrls, const TextSink* sink, std::string_view timeout) {
    vectorHead(out, "set", property, names);
    attribute(out, "state", stateText(property.state));
    vectorHeadEnd(out, property, message, timeout);
    if (property.type == INDIGO_BLOB_VECTOR && blobUrls == nullptr && sink == nullptr) {
        std::size_t bytes = 0;
        for (int i = 0; i < property.count; ++i) {
            const indigo_item& item = property.items[i];
            if (item.blob.value != nullptr && item.blob.size > 0)
                bytes += base64Length(static_cast<std::size_t>(item.blob.size));
        }
        out.reserve(out.size() + bytes + 256 * static_cast<std::size_t>(property.count) + 64);
    }
    const std::string_view propertyName = field(property.name);
    const std::string element = std::string("one") + typeWord(property.type);
    for (int i = 0; i < property.count; ++i) {
        const indigo_item& item = property.items[i];
        const std::string_view name = names.item(propertyName, field(item.name));
        if (property.type == INDIGO_BLOB_VECTOR) {
            const std::string* url = blobUrls != nullptr && static_cast<std::size_t>(i) < blobUrls->size()
                                         ? &(*blobUrls)[static_cast<std::size_t>(i)]
                                         : nullptr;
            if (!blobItem(out, name, item, url, sink)) return false;
            continue;
        }
        itemElement(out, element, name, property.type, item, false);
    }
    vectorEnd(out, "set", property.type);
    return true;
}

} // namespace

void writeUpdate(std::string& out, const indigo_property& property, const char* message, const OutgoingNames& names,
                 const std::vector<std::string>* blobUrls, std::string_view timeout) {
    updateBody(out, property, message, names, blobUrls, nullptr, timeout);
}

bool streamUpdate(const indigo_property& property, const char* message, const OutgoingNames& names,
                  const TextSink& sink, std::string_view timeout) {
    std::string out;
    return updateBody(out, property, message, names, nullptr, &sink, timeout) && sink(out);
}

void writeDelete(std::string& out, std::string_view device, std::string_view busName, const char* message,
                 const OutgoingNames& names) {
    out += "<delProperty";
    attribute(out, "device", device);
    if (!busName.empty()) attribute(out, "name", names.property(busName));
    attribute(out, "timestamp", timestampNow());
    if (message != nullptr && message[0] != '\0') attribute(out, "message", message);
    out += "/>\n";
}

void writeMessage(std::string& out, std::string_view device, const char* message) {
    out += "<message";
    if (!device.empty()) attribute(out, "device", device);
    attribute(out, "timestamp", timestampNow());
    attribute(out, "message", message != nullptr ? message : "");
    out += "/>\n";
}

void writeNew(std::string& out, const indigo_property& request, const OutgoingNames& names) {
    vectorHead(out, "new", request, names);
    out += ">\n";
    const std::string_view propertyName = field(request.name);
    const std::string element = std::string("one") + typeWord(request.type);
    for (int i = 0; i < request.count; ++i) {
        const indigo_item& item = request.items[i];
        const std::string_view name = names.item(propertyName, field(item.name));
        if (request.type == INDIGO_BLOB_VECTOR) {
            blobItem(out, name, item, nullptr);
            continue;
        }
        out += '<';
        out += element;
        attribute(out, "name", name);
        out += '>';
        itemValue(out, request.type, item);
        out += "</";
        out += element;
        out += ">\n";
    }
    out += "</new";
    out += typeWord(request.type);
    out += "Vector>\n";
}

void writeGetProperties(std::string& out, std::string_view version, std::string_view device, std::string_view name,
                        std::string_view client) {
    out += "<getProperties";
    attribute(out, "version", version);
    if (!client.empty()) attribute(out, "client", client);
    if (!device.empty()) attribute(out, "device", device);
    if (!name.empty()) attribute(out, "name", name);
    out += "/>\n";
}

void writeEnableBlob(std::string& out, std::string_view device, std::string_view name, std::string_view mode) {
    out += "<enableBLOB";
    if (!device.empty()) attribute(out, "device", device);
    if (!name.empty()) attribute(out, "name", name);
    out += '>';
    out += mode;
    out += "</enableBLOB>\n";
}

void writePingReply(std::string& out, std::string_view uid) {
    out += "<pingReply";
    attribute(out, "uid", uid);
    out += "/>\n";
}

} // namespace zeta::indigo::wire
