#include "platform/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace zeta::platform {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

double leadingDouble(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    // An exponent counts only when digits follow it ("1e" reads as 1).
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    // strtod on exactly the matched characters: copy, since the view need not be terminated.
    const std::string number(text.substr(start, i - start));
    return std::strtod(number.c_str(), nullptr);
}

long long leadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long long magnitude = 0;
    const unsigned long long limit = negative
                                         ? static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + 1
                                         : static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    bool clamped = false;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (clamped || magnitude > (limit - digit) / 10) {
            clamped = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (clamped) magnitude = limit;
    if (negative) {
        return magnitude == limit ? std::numeric_limits<long long>::min() : -static_cast<long long>(magnitude);
    }
    return static_cast<long long>(magnitude);
}

std::string shortestDecimal(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace zeta::platform
