#include "platform/constants.h"

#include "platform/number_text.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

zeta::platform::UserDefaults& DEFAULTS() {
    return zeta::platform::UserDefaults::standard();
}
const zeta::platform::Bundle& MAIN_BUNDLE() {
    return zeta::platform::Bundle::main();
}
zeta::platform::FileManager& FILE_MANAGER() {
    return zeta::platform::FileManager::defaultManager();
}

std::string applicationNameFromIdentifier(std::string_view identifier) {
    const auto dot = identifier.rfind('.');
    return std::string(dot == std::string_view::npos ? identifier : identifier.substr(dot + 1));
}

const std::string& APP_NAME() {
    static const std::string name = applicationNameFromIdentifier(MAIN_BUNDLE().bundleIdentifier());
    return name;
}

const std::string& APP_VERSION() {
    static const std::string version =
        MAIN_BUNDLE().objectForInfoDictionaryKey("CFBundleShortVersionString").value_or("");
    return version;
}

const std::string& APP_BUILD() {
    static const std::string build = MAIN_BUNDLE().objectForInfoDictionaryKey("CFBundleVersion").value_or("");
    return build;
}

const std::string& MOUNT_DEVICE_NAME() {
    static const std::string name = "Orvanta @ Orvanta";
    return name;
}

const std::vector<double>& EXPOSURE_TIMES() {
    static const std::vector<double> times = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1,   2,
                                              5,     10,     20,    30,   60,    90,   120, 240,  300, 600, 900};
    return times;
}

const std::vector<int>& TIME_LAPSE_INTERVALS() {
    static const std::vector<int> intervals = {0, 5, 10, 30, 60, 120, 300, 600, 900, 1800, 3600};
    return intervals;
}

const std::vector<int>& FRAME_COUNTS() {
    static const std::vector<int> counts = {1, 5, 10, 15, 20, 30, 50, 100};
    return counts;
}

const std::vector<std::string>& CELSIUS_SETPOINTS() {
    static const std::vector<std::string> points = {"Off", "0", "-5", "-10", "-15", "-20", "-25", "-30", "-35"};
    return points;
}

const std::vector<std::string>& FAHRENHEIT_SETPOINTS() {
    static const std::vector<std::string> points = {"Off", "32", "23", "14", "5", "-4", "-13", "-22", "-31"};
    return points;
}

zeta::platform::Color& MARKER_COLOR() {
    static zeta::platform::Color color = zeta::platform::Color::systemGreen();
    return color;
}

zeta::platform::Color& GRAPH_COLOR_1() {
    static zeta::platform::Color color = zeta::platform::Color::systemBlue();
    return color;
}

zeta::platform::Color& GRAPH_COLOR_2() {
    static zeta::platform::Color color = zeta::platform::Color::systemRed();
    return color;
}

std::string formatInteger(long long value) {
    // Made once with the locale of the first call, as every later call expects the same grouping.
    static const QLocale locale = QLocale::system();
    const QString text = locale.toString(static_cast<qlonglong>(value));
    return text.isEmpty() ? std::string("NaN") : text.toStdString();
}

double parseSexagesimal(std::string_view text) {
    double fields[3] = {0, 0, 0};
    bool negative = false;
    std::size_t start = 0;
    for (int index = 0; index < 3; ++index) {
        const std::size_t end = text.find_first_of(":*' ", start);
        const std::string_view field =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        fields[index] = zeta::platform::leadingDouble(field);
        if (index == 0) negative = std::signbit(fields[0]);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    const double fraction = fields[2] / 3600 + fields[1] / 60;
    return negative ? fields[0] - fraction : fields[0] + fraction;
}

std::string formatSexagesimal(double value, std::string_view a, std::string_view b) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.2233720368547758e18) return "NaN";
    const double x = std::fabs(value);
    long long whole = static_cast<long long>(std::floor(x));
    const double m = (x - std::floor(x)) * 60;
    long long minutes = static_cast<long long>(std::floor(m));
    // Rounded as "%02.0f" rounds: to the nearest, a half to the even neighbour (22.5 s shows 22).
    long long seconds = static_cast<long long>(std::nearbyint((m - std::floor(m)) * 60));
    // Seconds that round to 60 make a whole minute: carry, so that no "60" is ever shown.
    if (seconds >= 60) {
        seconds -= 60;
        ++minutes;
    }
    if (minutes >= 60) {
        minutes -= 60;
        ++whole;
    }
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s%lld", value < 0 ? "-" : "", whole);
    char tail[24];
    std::snprintf(tail, sizeof tail, "%02lld", minutes);
    std::string result = buffer;
    result.append(a).append(tail).append(b);
    std::snprintf(tail, sizeof tail, "%02lld", seconds);
    result.append(tail);
    return result;
}
