#include "app/number_format.h"

#include "platform/constants.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace zeta::app {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads at most two digits at i; false when a third follows.
bool shortNumber(std::string_view text, std::size_t& i) {
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    return digits <= 2;
}

bool validFormat(std::string_view format) {
    int conversions = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '\0') return false;
        if (format[i] != '%') continue;
        ++i;
        if (i < format.size() && format[i] == '%') continue;
        while (i < format.size() &&
               (format[i] == '-' || format[i] == '+' || format[i] == ' ' || format[i] == '#' || format[i] == '0'))
            ++i;
        if (!shortNumber(format, i)) return false;
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (!shortNumber(format, i)) return false;
        }
        if (i < format.size() && format[i] == 'l') ++i;
        if (i >= format.size()) return false;
        switch (format[i]) {
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
            ++conversions;
            break;
        default:
            return false;
        }
    }
    return conversions == 1;
}

} // namespace

bool isSexagesimalFormat(std::string_view format) {
    return !format.empty() && format.back() == 'm';
}

std::string safeNumberFormat(std::string_view format) {
    if (validFormat(format)) return std::string(format);
    return "%g";
}

std::string formatNumber(std::string_view format, double value) {
    if (isSexagesimalFormat(format)) return formatSexagesimal(value, ":", ":");
    const std::string safe = safeNumberFormat(format);
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, safe.c_str(), value);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(length));
    std::vector<char> large(static_cast<std::size_t>(length) + 1);
    std::snprintf(large.data(), large.size(), safe.c_str(), value);
    return std::string(large.data(), static_cast<std::size_t>(length));
}

double parseNumber(std::string_view format, std::string_view text) {
    if (isSexagesimalFormat(format)) return parseSexagesimal(text);
    const std::string copy(text);
    const char* start = copy.c_str();
    while (std::isspace(static_cast<unsigned char>(*start)))
        ++start;
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    if (end == start) return 0;
    return value;
}

namespace {

// The whole of text as one finite decimal number.
std::optional<double> wholeNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (const char c : text) {
        // strtod also reads "inf", "nan" and hexadecimal, which no user means here.
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
            return std::nullopt;
    }
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<double> readNumber(std::string_view format, std::string_view text) {
    text = trimmed(text);
    if (!isSexagesimalFormat(format)) return wholeNumber(text);
    if (text.empty()) return std::nullopt;
    int fields = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of(":*' ", start);
        const std::string_view field = text.substr(start, end == std::string_view::npos ? end : end - start);
        // An empty field reads 0 ("12::30"); anything else must be a number.
        if (!field.empty() && !wholeNumber(field)) return std::nullopt;
        if (++fields > 3) return std::nullopt;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parseSexagesimal(text);
}

} // namespace zeta::app
