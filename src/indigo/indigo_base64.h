#pragma once
// Base64 as BLOBs travel: encoded on one line, decoded from text that may be wrapped and
// indented (white space between groups is skipped) and that arrives in pieces.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zeta::indigo::wire {

// Appends the encoding of size bytes, padded with "=", without line breaks.
void appendBase64(std::string& out, const void* data, std::size_t size);

// Characters the encoding of size bytes takes.
std::size_t base64Length(std::size_t size);

class Base64Decoder {
public:
    // Decodes into out (appended), refusing to let it grow past limit bytes.
    Base64Decoder(std::vector<std::uint8_t>& out, std::int64_t limit) : out_(out), limit_(limit) {}

    // False when the text holds a character outside the alphabet, data after the padding,
    // or more than limit bytes; the decoder then stays failed.
    bool feed(const char* text, std::size_t size);
    // False when the characters seen do not make whole groups of four.
    bool finish();

    bool failed() const { return failed_; }
    bool overLimit() const { return overLimit_; }
    // Alphabet and padding characters seen (white space not counted).
    std::size_t characters() const { return characters_; }

private:
    std::vector<std::uint8_t>& out_;
    std::int64_t limit_;
    std::uint32_t group_ = 0;
    int filled_ = 0;     // characters in group_
    int padding_ = 0;    // "=" seen
    std::size_t characters_ = 0;
    bool failed_ = false;
    bool overLimit_ = false;
};

}  // namespace zeta::indigo::wire
