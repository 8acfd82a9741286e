#include "focus/capture_values.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zeta::focus {

namespace {

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The whole text as a finite number; "+" is allowed as a user may type it.
std::optional<double> number(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

Checked<double> exposureSeconds(std::string_view text) {
    const auto value = number(trimmed(text));
    // 0 as the camera window takes it: a camera timed by its own shutter is sent 0.
    if (!value || *value < 0) return {std::nullopt, "the exposure must be a number of seconds, 0 or more"};
    return {value, {}};
}

Checked<double> intervalSeconds(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) return {0.0, {}};
    const auto value = number(text);
    if (!value || *value < 0) return {std::nullopt, "the interval must be a number of seconds, 0 or more"};
    return {value, {}};
}

Checked<int> frameCount(std::string_view text) {
    const auto value = number(trimmed(text));
    if (!value || *value < 1 || *value != std::floor(*value) || *value > std::numeric_limits<int>::max())
        return {std::nullopt, "the frame count must be a whole number, 1 or more"};
    return {static_cast<int>(*value), {}};
}

} // namespace zeta::focus
