// The protocol parser over arbitrary bytes, fed in pieces whose size the first byte picks.
// Every message that comes out is applied to a mirror of a peer's devices on the bus (the
// records it builds and updates), and written back out, which must parse again; at the end
// the mirror's devices are removed.
#include "indigo/indigo_bus.h"
#include "indigo/indigo_log.h"
#include "indigo/wire/indigo_wire_mirror.h"
#include "indigo/wire/indigo_xml_parser.h"
#include "indigo/wire/indigo_xml_writer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace zeta::indigo::wire;

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
    return 0;
}
