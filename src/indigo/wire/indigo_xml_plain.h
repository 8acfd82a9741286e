#pragma once
// Reads one whole top-level element of the plainest XML, the shape nearly every small
// message has, into the events the XML parser would report for it: start tags with their
// attributes, text, end tags. Going through the framer and a parser reset for each of the
// thousands of small updates a second a busy bus sends costs more than the rest of their
// way to the clients.
//
// Anything outside that shape is declined, and the caller reads the element the full way:
// an element not complete in the bytes given, a declaration, comment, processing
// instruction or CDATA section, an entity or character reference, a carriage return, a
// byte outside printable ASCII (but tab and newline), an element inside an item, a BLOB
// vector's set or new (their text goes to the base64 decoder the full way), a tag over the
// size limit, and whatever the XML parser would refuse (a bad name, a missing quote, a
// duplicate attribute, an end tag that does not match). So what is read here comes out
// exactly as the full way would have it, and every error is the full way's to report.

#include <cstddef>
#include <string>
#include <vector>

namespace zeta::indigo::wire {

class PlainElementReader {
public:
    struct Event {
        enum class Kind { Start, Text, End };
        Kind kind;
        std::size_t name = 0;       // Start and End: offset of the name in text(), NUL-ended
        std::size_t attributes = 0; // Start: index in attributes() of its first pair
        std::size_t tagBytes = 0;   // Start: the tag's length, '<' to '>'
        std::size_t data = 0;       // Text: offset and length in text()
        std::size_t size = 0;
    };

    // The bytes of the element when it is read, 0 when it is declined. data starts at '<'.
    std::size_t read(const char* data, std::size_t size, std::size_t maxTagBytes);

    const std::vector<Event>& events() const { return events_; }
    // A copy of the element with names and attribute values ended by NULs, and attribute
    // values normalised as XML has it (tab and newline read as a space).
    const char* text() const { return text_.data(); }
    // Name and value pointers in pairs, each start tag's list ended by a null pointer: the
    // parser's own form.
    const char** attributes(const Event& start) { return attributePointers_.data() + start.attributes; }

private:
    // One start tag or one end tag at at (its '<'), in source_; at is left past its '>'.
    bool readStartTag(std::size_t& at, std::size_t maxTagBytes);
    bool readEndTag(std::size_t& at);
    std::size_t nameEnd(std::size_t name) const;
    bool skipSpace(std::size_t& at) const;

    const char* source_ = nullptr;
    std::size_t size_ = 0;

    std::string text_;
    std::vector<Event> events_;
    // Offsets in source_ (and text_) of each start tag's attributes, tag after tag; a
    // Start event's attributes field counts its own until the copy is made.
    struct Attribute {
        std::size_t name, nameEnd, value, valueEnd;
    };
    std::vector<Attribute> attributeOffsets_;
    std::vector<const char*> attributePointers_;
    std::vector<std::size_t> open_; // the names of the elements open, by offset
};

} // namespace zeta::indigo::wire
