#include "platform/image/data.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace platform {

Data::Data(const void* bytes, std::size_t length) {
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    storage_ = std::make_shared<const std::vector<std::uint8_t>>(first, first + (bytes ? length : 0));
}

Data::Data(std::vector<std::uint8_t>&& bytes)
    : storage_(std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes))) {}

bool Data::startsWith(std::string_view prefix) const {
    return length() >= prefix.size() && std::memcmp(bytes(), prefix.data(), prefix.size()) == 0;
}

bool Data::operator==(const Data& other) const {
    return length() == other.length() && std::equal(span().begin(), span().end(), other.span().begin());
}

Data Data::contentsOfFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return {};
    return Data(std::move(bytes));
}

}  // namespace platform
