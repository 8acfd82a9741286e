#pragma once
// Writes protocol messages from the bus's records. Every text is escaped for XML, and
// bytes that are not UTF-8 or are control characters XML cannot carry are replaced, so a
// record never makes a message its peer must reject.

#include "indigo/indigo_bus.h"
#include "indigo/wire/indigo_wire_codes.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::indigo::wire {

// The names a peer is given for the bus's property and item names.
class OutgoingNames {
public:
    virtual ~OutgoingNames() = default;
    virtual std::string_view property(std::string_view busProperty) const = 0;
    virtual std::string_view item(std::string_view busProperty, std::string_view busItem) const = 0;
};

// The bus's own names (protocol 2.0) or INDI's (the name table).
const OutgoingNames& namesFor(Dialect dialect);

// A field of a record as text (up to its terminator, never past the field).
template <std::size_t N>
std::string_view field(const char (&text)[N]) {
    std::size_t length = 0;
    while (length < N && text[length] != '\0')
        ++length;
    return std::string_view(text, length);
}

// timeout, when not empty, is sent as it stands (a relayed property's, as its peer gave
// it); otherwise 60.
void writeDefinition(std::string& out, const indigo_property& property, const char* message, const OutgoingNames& names,
                     std::string_view timeout = {});

// blobUrls, when given, holds for each item of a BLOB property the URL sent in place of
// its bytes; otherwise the bytes go inline, base64-encoded.
void writeUpdate(std::string& out, const indigo_property& property, const char* message, const OutgoingNames& names,
                 const std::vector<std::string>* blobUrls = nullptr, std::string_view timeout = {});

// Receives text in pieces; false stops the writing.
using TextSink = std::function<bool(std::string_view)>;

// The same as writeUpdate with the bytes inline, handed to sink in pieces as they are
// made: a frame's base64 is never held whole. False when sink refused a piece.
bool streamUpdate(const indigo_property& property, const char* message, const OutgoingNames& names,
                  const TextSink& sink, std::string_view timeout = {});

// name empty: every property of the device.
void writeDelete(std::string& out, std::string_view device, std::string_view busName, const char* message,
                 const OutgoingNames& names);

// device empty: a message of no device.
void writeMessage(std::string& out, std::string_view device, const char* message);

// A change request: the items of the record with their values.
void writeNew(std::string& out, const indigo_property& request, const OutgoingNames& names);

// client, when not empty, names the asking program.
void writeGetProperties(std::string& out, std::string_view version, std::string_view device, std::string_view name,
                        std::string_view client = {});

void writeEnableBlob(std::string& out, std::string_view device, std::string_view name, std::string_view mode);

void writePingReply(std::string& out, std::string_view uid);

// Escapes text for an attribute value or element content.
void appendEscaped(std::string& out, std::string_view text);

} // namespace zeta::indigo::wire
