#pragma once
// UTF-8 checks for texts that come from the bus's fixed-width fields and from its messages.

#include <cstddef>
#include <string>
#include <string_view>

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool isValidUTF8(std::string_view text);

// The field's text up to its first zero byte (at most width bytes); the empty text when it
// is not valid UTF-8.
std::string fieldText(const char* field, std::size_t width);

// The text with every ill-formed sequence replaced by U+FFFD.
std::string replacingInvalidUTF8(std::string_view text);
