#pragma once
// Base64 as BLOBs travel: encoded on one line, decoded from text that may be wrapped and
// indented (white space between groups is skipped) and that arrives in pieces.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace zeta::indigo::wire {

// An allocator whose resize leaves new bytes as they are: BLOB buffers are written in full
// right after they grow, and clearing megabytes first would only cost time.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using BlobBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

// Appends the encoding of size bytes, padded with "=", without line breaks.
void appendBase64(std::string& out, const void* data, std::size_t size);

// Characters the encoding of size bytes takes.
std::size_t base64Length(std::size_t size);

class Base64Decoder {
public:
    // Decodes into out (appended), refusing to let it grow past limit bytes.
    Base64Decoder(BlobBytes& out, std::int64_t limit) : out_(out), limit_(limit) {}

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
    BlobBytes& out_;
    std::int64_t limit_;
    std::uint32_t group_ = 0;
    int filled_ = 0;  // characters in group_
    int padding_ = 0; // "=" seen
    std::size_t characters_ = 0;
    bool failed_ = false;
    bool overLimit_ = false;
};

} // namespace zeta::indigo::wire
