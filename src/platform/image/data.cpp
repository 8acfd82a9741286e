#include "platform/image/data.h"

#include "platform/image/buffer.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace zeta::platform {

namespace {

// A block of the given size whose contents the caller fills; never null.
std::shared_ptr<std::uint8_t> allocate(std::size_t length) {
    Buffer block = allocateBuffer(length);
    return std::shared_ptr<std::uint8_t>(block.release(), BufferFree{});
}

} // namespace

Data::Data(const void* bytes, std::size_t length) {
    if (!bytes) length = 0;
    auto block = allocate(length);
    if (length) std::memcpy(block.get(), bytes, length);
    bytes_ = std::move(block);
    length_ = length;
}

Data::Data(std::vector<std::uint8_t>&& bytes) {
    auto holder = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    length_ = holder->size();
    // Points into the vector and keeps it alive; an empty vector still gives a non-null
    // pointer so that bytes() only is null for a default Data.
    bytes_ = length_ ? std::shared_ptr<const std::uint8_t>(holder, holder->data()) : allocate(0);
}

bool Data::startsWith(std::string_view prefix) const {
    return length() >= prefix.size() && std::memcmp(bytes(), prefix.data(), prefix.size()) == 0;
}

bool Data::operator==(const Data& other) const {
    return length() == other.length() && std::equal(span().begin(), span().end(), other.span().begin());
}

Data Data::contentsOfFile(const char* path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    const std::streamoff size = in.tellg();
    if (size < 0) return {};
    in.seekg(0);
    auto block = allocate(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(block.get()), size)) return {};
    Data data;
    data.bytes_ = std::move(block);
    data.length_ = static_cast<std::size_t>(size);
    return data;
}

} // namespace zeta::platform
