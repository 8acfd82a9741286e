#pragma once
// Reads the protocol's stream of messages as the bytes arrive, in pieces of any size.
//
// The stream has no root element: each top-level element is one message, and a driver puts
// an XML declaration before each of its messages. Every message is parsed as a document of
// its own, so those declarations are legal where they stand. A message goes to the sink
// only once its closing tag has been read, complete; nothing of a message that breaks off
// is handed on.
//
// Limits bound what one peer can make us hold: the input between two parser events (one
// tag with its attributes), the text of one item, the decoded BLOB bytes of one message
// and its number of items. Going over one, malformed XML, a DOCTYPE, base64 that does not
// decode, or BLOB data shorter than its declared length is a stream error: feed returns
// false, error() says why, and the stream cannot go on (the connection is to be closed).
// A message that is well formed but unusable (a number that is not one, a missing device)
// is still handed on, with WireMessage::invalid set, and the stream goes on.

#include "indigo/wire/indigo_xml_message.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zeta::indigo::wire {

struct ParserLimits {
    std::size_t maxPendingBytes = std::size_t{1} << 20;
    std::size_t maxTextBytes = std::size_t{64} << 10;
    std::int64_t maxBlobBytes = std::int64_t{1} << 30;
    std::size_t maxItems = 4096;
};

class XmlStreamParser {
public:
    // The sink may move what it wants out of the message.
    using Sink = std::function<void(WireMessage&)>;

    explicit XmlStreamParser(Sink sink, ParserLimits limits = {});
    ~XmlStreamParser();
    XmlStreamParser(const XmlStreamParser&) = delete;
    XmlStreamParser& operator=(const XmlStreamParser&) = delete;

    // Parses the bytes, handing every message completed in them to the sink.
    bool feed(const char* data, std::size_t size);
    // The end of the stream: false (with error()) when it ends inside a message.
    bool finish();

    const std::string& error() const;
    // True when part of a message has been fed and its end has not.
    bool midMessage() const;

    class State;

private:
    std::unique_ptr<State> state_;
};

} // namespace zeta::indigo::wire
