#pragma once
// One protocol message as read off the wire, before any name is mapped: a property vector
// (def, set or new) with its items, a delProperty, a message, a getProperties, an
// enableBLOB, or a pingRequest (a driver that has sent a BLOB waits for the pingReply of
// the same uid before it sends the next).

#include "indigo/indigo_bus.h"
#include "indigo/wire/indigo_base64.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zeta::indigo::wire {

enum class MessageKind { Define, Set, New, Delete, Message, GetProperties, EnableBlob, PingRequest };

struct WireItem {
    std::string name;
    std::string label;
    // Text item value; switch and light items keep theirs below.
    std::string text;
    // Number items.
    std::string format;
    double value = 0;
    double min = 0;
    double max = 0;
    double step = 0;
    // Which of min, max and step the element carried (a def always sets all three).
    bool hasMin = false;
    bool hasMax = false;
    bool hasStep = false;
    bool on = false;
    indigo_property_state light = INDIGO_IDLE_STATE;
    // BLOB items: the decoded bytes (already cut to the declared length), the format
    // (file extension) and, for a BLOB sent by reference, its URL.
    BlobBytes bytes;
    std::string url;
    // A driver on a local socket sends a BLOB's bytes in shared memory passed beside the
    // message ("attached"); length is how many of them are the BLOB's.
    bool attached = false;
    std::int64_t length = -1;
    // Set by whoever took the attached bytes: the shared memory's descriptor, open while the
    // message is being applied; its first length bytes are the BLOB's.
    int sharedFd = -1;
};

struct WireMessage {
    MessageKind kind = MessageKind::Set;
    indigo_property_type type = INDIGO_TEXT_VECTOR; // vectors only
    std::string device;
    std::string name;
    std::string label;
    std::string group;
    std::string message; // the message attribute (or the text of a message element)
    std::string version; // getProperties
    std::string client;  // getProperties: the asking program, when it says
    std::string uid;     // pingRequest
    std::string timeout; // vectors: as the peer wrote it (trimmed), when it is a number
    std::optional<indigo_property_state> state;
    indigo_property_perm perm = INDIGO_RW_PERM;
    indigo_rule rule = INDIGO_ONE_OF_MANY_RULE;
    std::string blobMode; // enableBLOB: "Never", "Also", "Only" or "URL"
    std::vector<WireItem> items;
    // Set when the message is well formed XML but cannot be used as it stands (a value
    // that is not a number, a missing device name, ...): it is reported and dropped, the
    // connection goes on.
    std::string invalid;
};

} // namespace zeta::indigo::wire
