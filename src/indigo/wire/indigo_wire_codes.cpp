#include "indigo/wire/indigo_wire_codes.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <random>

namespace zeta::indigo::wire {

const char* stateText(indigo_property_state state) {
    switch (state) {
    case INDIGO_OK_STATE:
        return "Ok";
    case INDIGO_BUSY_STATE:
        return "Busy";
    case INDIGO_ALERT_STATE:
        return "Alert";
    default:
        return "Idle";
    }
}

std::optional<indigo_property_state> parseState(std::string_view text) {
    text = trimmed(text);
    if (text == "Idle") return INDIGO_IDLE_STATE;
    if (text == "Ok") return INDIGO_OK_STATE;
    if (text == "Busy") return INDIGO_BUSY_STATE;
    if (text == "Alert") return INDIGO_ALERT_STATE;
    return std::nullopt;
}

const char* permText(indigo_property_perm perm) {
    switch (perm) {
    case INDIGO_RW_PERM:
        return "rw";
    case INDIGO_WO_PERM:
        return "wo";
    default:
        return "ro";
    }
}

std::optional<indigo_property_perm> parsePerm(std::string_view text) {
    text = trimmed(text);
    if (text == "ro") return INDIGO_RO_PERM;
    if (text == "rw") return INDIGO_RW_PERM;
    if (text == "wo") return INDIGO_WO_PERM;
    return std::nullopt;
}

const char* ruleText(indigo_rule rule) {
    switch (rule) {
    case INDIGO_AT_MOST_ONE_RULE:
        return "AtMostOne";
    case INDIGO_ANY_OF_MANY_RULE:
        return "AnyOfMany";
    default:
        return "OneOfMany";
    }
}

std::optional<indigo_rule> parseRule(std::string_view text) {
    text = trimmed(text);
    if (text == "OneOfMany") return INDIGO_ONE_OF_MANY_RULE;
    if (text == "AtMostOne") return INDIGO_AT_MOST_ONE_RULE;
    if (text == "AnyOfMany") return INDIGO_ANY_OF_MANY_RULE;
    return std::nullopt;
}

std::optional<bool> parseSwitch(std::string_view text) {
    text = trimmed(text);
    if (text == "On") return true;
    if (text == "Off") return false;
    return std::nullopt;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

namespace {

// The whole of text as a decimal number, whatever the process's locale says about points.
std::optional<double> parsePlain(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace

std::optional<double> parseNumber(std::string_view text) {
    text = trimmed(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return parsePlain(text);
    // Sexagesimal: the sign of the first part applies to the whole ("-0:30" is -0.5).
    bool negative = false;
    std::string_view rest = text;
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    double total = 0;
    double scale = 1;
    for (int part = 0; part < 3; ++part) {
        const std::size_t next = rest.find(':');
        const std::string_view piece = rest.substr(0, next);
        if (piece.empty() || piece.front() == '-' || piece.front() == '+') return std::nullopt;
        const std::optional<double> value = parsePlain(piece);
        if (!value || !std::isfinite(*value)) return std::nullopt;
        total += *value / scale;
        scale *= 60;
        if (next == std::string_view::npos) return negative ? -total : total;
        rest.remove_prefix(next + 1);
    }
    return std::nullopt; // more than three parts
}

void appendNumber(std::string& out, double value) {
    char buffer[64];
    // INDI clients print a value as it came, so "1e+05" would reach a user where the driver
    // meant 100000: plain decimals, except where they would take too many digits.
    const double magnitude = std::fabs(value);
    if (magnitude == 0 || (magnitude >= 1e-6 && magnitude < 1e16)) {
        const auto plain = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
        if (plain.ec == std::errc()) {
            out.append(buffer, plain.ptr);
            return;
        }
    }
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::optional<long long> parseCount(std::string_view text) {
    text = trimmed(text);
    long long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

const std::string& processClientName() {
    static const std::string name = [] {
        std::random_device random;
        return "Zeta " + std::to_string(random()) + "-" + std::to_string(random());
    }();
    return name;
}

std::string timestampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &utc);
    return buffer;
}

} // namespace zeta::indigo::wire
