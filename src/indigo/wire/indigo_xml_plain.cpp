#include "indigo/wire/indigo_xml_plain.h"

#include <array>
#include <cstring>
#include <string_view>

namespace zeta::indigo::wire {

namespace {

enum CharClass : unsigned char {
    kPlain = 1,     // may stand in text and attribute values
    kSpace = 2,     // tab, newline and space: white space between the parts of a tag
    kNameStart = 4, // may begin a name
    kName = 8,      // may stand in a name after its first character
};

constexpr std::array<unsigned char, 256> makeClasses() {
    std::array<unsigned char, 256> classes{};
    for (int c = 0x20; c < 0x7f; ++c)
        classes[c] = kPlain;
    classes['\t'] = kPlain | kSpace;
    classes['\n'] = kPlain | kSpace;
    classes[' '] |= kSpace;
    classes['&'] = 0; // a reference: the parser expands it
    classes['<'] = 0; // markup, where text or a value would be
    for (int c = 'a'; c <= 'z'; ++c)
        classes[c] |= kNameStart | kName;
    for (int c = 'A'; c <= 'Z'; ++c)
        classes[c] |= kNameStart | kName;
    for (int c = '0'; c <= '9'; ++c)
        classes[c] |= kName;
    classes['_'] |= kNameStart | kName;
    classes[':'] |= kNameStart | kName;
    classes['-'] |= kName;
    classes['.'] |= kName;
    return classes;
}

constexpr std::array<unsigned char, 256> kClasses = makeClasses();

bool is(char c, CharClass cls) {
    return (kClasses[static_cast<unsigned char>(c)] & cls) != 0;
}

constexpr int kMaxDepth = 2; // a vector and its items

} // namespace

std::size_t PlainElementReader::nameEnd(std::size_t name) const {
    while (name < size_ && is(source_[name], kName))
        ++name;
    return name;
}

// Skips white space; false when none was there.
bool PlainElementReader::skipSpace(std::size_t& at) const {
    const std::size_t from = at;
    while (at < size_ && is(source_[at], kSpace))
        ++at;
    return at > from;
}

std::size_t PlainElementReader::read(const char* data, std::size_t size, std::size_t maxTagBytes) {
    events_.clear();
    attributeOffsets_.clear();
    open_.clear();
    source_ = data;
    size_ = size;
    if (size < 2 || data[0] != '<') return 0;
    std::size_t at = 0;
    for (;;) {
        // at is on a '<'.
        if (at + 1 >= size) return 0;
        if (data[at + 1] == '/') {
            if (!readEndTag(at)) return 0;
        } else if (is(data[at + 1], kNameStart)) {
            if (!readStartTag(at, maxTagBytes)) return 0;
        } else {
            return 0; // a declaration, comment, instruction, CDATA, or no tag at all
        }
        if (open_.empty()) break;
        const std::size_t begin = at;
        while (at < size && data[at] != '<') {
            const char c = data[at];
            if (!is(c, kPlain)) return 0;
            // "]]>" may not stand in text.
            if (c == '>' && at >= begin + 2 && data[at - 1] == ']' && data[at - 2] == ']') return 0;
            ++at;
        }
        if (at == size) return 0; // the element goes on past these bytes
        if (at > begin) events_.push_back(Event{Event::Kind::Text, 0, 0, 0, begin, at - begin});
    }

    // The copy the events point into, its names and values ended there.
    text_.assign(data, at);
    char* copy = text_.data();
    attributePointers_.clear();
    auto attribute = attributeOffsets_.begin();
    for (Event& event : events_) {
        if (event.kind != Event::Kind::Start) continue;
        copy[nameEnd(event.name)] = '\0';
        const auto end = attribute + static_cast<std::ptrdiff_t>(event.attributes);
        event.attributes = attributePointers_.size();
        for (; attribute != end; ++attribute) {
            copy[attribute->nameEnd] = '\0';
            for (std::size_t k = attribute->value; k < attribute->valueEnd; ++k) {
                if (copy[k] == '\t' || copy[k] == '\n') copy[k] = ' ';
            }
            copy[attribute->valueEnd] = '\0';
            attributePointers_.push_back(copy + attribute->name);
            attributePointers_.push_back(copy + attribute->value);
        }
        attributePointers_.push_back(nullptr);
    }
    return at;
}

bool PlainElementReader::readStartTag(std::size_t& at, std::size_t maxTagBytes) {
    const std::size_t begin = at;
    const std::size_t name = at + 1;
    const std::size_t end = nameEnd(name);
    if (open_.size() == kMaxDepth) return false;
    // A BLOB's data goes to the decoder the full way.
    const std::string_view tagName(source_ + name, end - name);
    if (open_.empty() && (tagName == "setBLOBVector" || tagName == "newBLOBVector")) return false;
    const std::size_t firstAttribute = attributeOffsets_.size();
    at = end;
    bool empty = false;
    for (;;) {
        const bool spaced = skipSpace(at);
        if (at >= size_) return false;
        if (source_[at] == '>') {
            ++at;
            break;
        }
        if (source_[at] == '/') {
            if (at + 1 >= size_ || source_[at + 1] != '>') return false;
            at += 2;
            empty = true;
            break;
        }
        // Attributes stand apart from the name and from each other.
        if (!spaced || !is(source_[at], kNameStart)) return false;
        const std::size_t attribute = at;
        at = nameEnd(at);
        const std::size_t attributeEnd = at;
        skipSpace(at);
        if (at >= size_ || source_[at] != '=') return false;
        ++at;
        skipSpace(at);
        if (at >= size_ || (source_[at] != '"' && source_[at] != '\'')) return false;
        const char quote = source_[at++];
        const std::size_t value = at;
        while (at < size_ && source_[at] != quote) {
            if (!is(source_[at], kPlain)) return false;
            ++at;
        }
        if (at >= size_) return false;
        const std::string_view attributeName(source_ + attribute, attributeEnd - attribute);
        for (std::size_t k = firstAttribute; k < attributeOffsets_.size(); ++k) {
            const Attribute& other = attributeOffsets_[k];
            if (attributeName == std::string_view(source_ + other.name, other.nameEnd - other.name)) return false;
        }
        attributeOffsets_.push_back({attribute, attributeEnd, value, at});
        ++at;
    }
    if (at - begin > maxTagBytes) return false;
    const std::size_t count = attributeOffsets_.size() - firstAttribute;
    events_.push_back(Event{Event::Kind::Start, name, count, at - begin, 0, 0});
    if (empty)
        events_.push_back(Event{Event::Kind::End, name, 0, 0, 0, 0});
    else
        open_.push_back(name);
    return true;
}

bool PlainElementReader::readEndTag(std::size_t& at) {
    if (open_.empty()) return false;
    const std::size_t open = open_.back();
    const std::size_t openLength = nameEnd(open) - open;
    const std::size_t name = at + 2;
    if (name + openLength > size_ || std::memcmp(source_ + open, source_ + name, openLength) != 0) return false;
    at = name + openLength;
    if (at < size_ && is(source_[at], kName)) return false; // a longer name
    skipSpace(at);
    if (at >= size_ || source_[at] != '>') return false;
    ++at;
    events_.push_back(Event{Event::Kind::End, open, 0, 0, 0, 0});
    open_.pop_back();
    return true;
}

} // namespace zeta::indigo::wire
