#include "app/number_format.h"

#include "platform/constants.h"

#include <cctype>
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

} // namespace zeta::app
