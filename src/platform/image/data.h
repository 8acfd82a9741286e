#pragma once
// Immutable bytes shared by reference, in the manner of the platform's data object: copying
// a Data shares the same bytes, so a decoder may keep the frame it was given without a copy.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace zeta::platform {

class Data {
public:
    Data() = default;
    // Copies the bytes.
    Data(const void* bytes, std::size_t length);
    // Takes the bytes over.
    explicit Data(std::vector<std::uint8_t>&& bytes);

    const std::uint8_t* bytes() const { return bytes_.get(); }
    std::size_t length() const { return length_; }
    bool empty() const { return length() == 0; }
    std::span<const std::uint8_t> span() const { return {bytes(), length()}; }
    // True when the bytes begin with the given prefix.
    bool startsWith(std::string_view prefix) const;

    // Byte-wise equality.
    bool operator==(const Data& other) const;

    // The whole file, or empty Data when it cannot be read.
    static Data contentsOfFile(const char* path);

private:
    std::shared_ptr<const std::uint8_t> bytes_;
    std::size_t length_ = 0;
};

} // namespace zeta::platform
