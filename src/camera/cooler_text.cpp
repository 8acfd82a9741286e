#include "camera/cooler_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zeta::camera {

namespace {

double micro(double value) {
    const double rounded = std::round(value * 1e6) / 1e6;
    return rounded == 0 ? 0.0 : rounded; // no "-0"
}

} // namespace

double celsiusToFahrenheit(double celsius) {
    return micro(celsius * 1.8 + 32);
}

double fahrenheitToCelsius(double fahrenheit) {
    return micro((fahrenheit - 32) / 1.8);
}

std::optional<double> parseSetpoint(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    if (begin == end) return std::nullopt;
    const std::string copy(text.substr(begin, end - begin));
    char* stop = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &stop);
    if (stop != copy.c_str() + copy.size() || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string formatSetpoint(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", micro(value));
    return text;
}

double groupStep(double itemStep) {
    return itemStep == 0 ? 1 : itemStep;
}

double roundToStep(double value, double step) {
    return std::round(value / step) * step;
}

} // namespace zeta::camera
