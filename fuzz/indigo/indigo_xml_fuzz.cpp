// The protocol parser over arbitrary bytes, fed in pieces whose size the first byte picks.
// Every message that comes out is applied to a mirror of a peer's devices on the bus (the
// records it builds and updates), and written back out, which must parse again; at the end
// the mirror's devices are removed. The same bytes given all at once (where small messages
// go around the XML parser) and a byte at a time (where none can) must give the same
// messages, and fail or not alike.
#include "indigo/indigo_bus.h"
#include "indigo/indigo_log.h"
#include "indigo/wire/indigo_wire_mirror.h"
#include "indigo/wire/indigo_xml_parser.h"
#include "indigo/wire/indigo_xml_writer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zeta::indigo::wire;

namespace {

std::string summary(const WireMessage& m) {
    std::string out = std::to_string(static_cast<int>(m.kind)) + '|' + std::to_string(m.type) + '|' + m.device + '|' +
                      m.name + '|' + m.label + '|' + m.group + '|' + m.message + '|' + m.version + '|' + m.client +
                      '|' + m.uid + '|' + m.timeout + '|' + (m.state ? std::to_string(*m.state) : "-") + '|' +
                      std::to_string(m.perm) + '|' + std::to_string(m.rule) + '|' + m.blobMode + '|' + m.invalid;
    for (const WireItem& i : m.items) {
        out += '[' + i.name + '|' + i.label + '|' + i.text + '|' + i.format + '|' + std::to_string(i.value) + '|' +
               std::to_string(i.min) + '|' + std::to_string(i.max) + '|' + std::to_string(i.step) + '|' +
               std::to_string(i.hasMin + 2 * i.hasMax + 4 * i.hasStep + 8 * i.on + 16 * i.attached) + '|' +
               std::to_string(i.light) + '|' + std::string(i.bytes.begin(), i.bytes.end()) + '|' + i.url + ']';
    }
    return out;
}

// The messages, and whether the stream was read to its end without a fault.
std::pair<std::vector<std::string>, bool> parseIn(const char* data, std::size_t size, std::size_t piece,
                                                  const ParserLimits& limits) {
    std::vector<std::string> messages;
    XmlStreamParser parser([&](WireMessage& message) { messages.push_back(summary(message)); }, limits);
    bool ok = true;
    for (std::size_t at = 0; at < size && ok; at += piece)
        ok = parser.feed(data + at, std::min(piece, size - at));
    return {messages, ok && parser.finish()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // Dropped messages are logged; a million log lines a minute would only slow the search.
    indigo_log_message_handler = [](const char*) {
    };
    const std::size_t piece = data[0] % 17; // 0: all at once
    ++data;
    --size;
    ParserLimits limits;
    limits.maxPendingBytes = 4096;
    limits.maxTextBytes = 1024;
    limits.maxBlobBytes = 1 << 16;
    limits.maxItems = 64;
    MirrorDevices mirror(
        "fuzz", [](std::string) {}, true);
    XmlStreamParser parser(
        [&](WireMessage& message) {
            mirror.apply(message);
            if (message.kind == MessageKind::Define && message.invalid.empty() && !message.items.empty()) {
                // What a peer said, written out again by the bus's writer, parses again.
                std::string out;
                writeGetProperties(out, "2.0", message.device, message.name);
                writeEnableBlob(out, message.device, message.name, "Also");
                writeDelete(out, message.device, message.name, message.message.c_str(), namesFor(Dialect::Indi));
                bool fine = true;
                XmlStreamParser again([](WireMessage&) {});
                fine = again.feed(out.data(), out.size()) && again.finish();
                if (!fine) std::abort();
            }
        },
        limits);
    bool ok = true;
    for (std::size_t at = 0; at < size && ok;) {
        const std::size_t n = piece == 0 ? size - at : std::min(piece, size - at);
        ok = parser.feed(reinterpret_cast<const char*>(data + at), n);
        at += n;
    }
    if (ok) parser.finish();
    mirror.removeAll();

    const char* bytes = reinterpret_cast<const char*>(data);
    if (parseIn(bytes, size, size == 0 ? 1 : size, limits) != parseIn(bytes, size, 1, limits)) std::abort();
    return 0;
}
