#pragma once
// A hashed map keyed by text that can be searched with a string_view, without making a
// std::string for every lookup.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

template <class Value>
using StringMap = std::unordered_map<std::string, Value, StringHash, std::equal_to<>>;
