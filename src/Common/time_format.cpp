#include "Common/time_format.h"

#include <cstdio>
#include <ctime>
#include <string_view>

namespace {

void appendNumber(std::string& out, long value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*ld", digits, value);
    out += text;
}

} // namespace

std::string TimeFormat::stringFromDate(std::chrono::system_clock::time_point time) const {
    if (format_.empty()) return {};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    auto sinceEpoch = time.time_since_epoch();
    long millis = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000);
    if (millis < 0) millis += 1000;

    std::string out;
    const std::string_view format = format_;
    for (std::size_t i = 0; i < format.size();) {
        const std::string_view rest = format.substr(i);
        if (rest.starts_with("HH")) {
            appendNumber(out, local.tm_hour, 2);
            i += 2;
        } else if (rest.starts_with("mm")) {
            appendNumber(out, local.tm_min, 2);
            i += 2;
        } else if (rest.starts_with("ss")) {
            appendNumber(out, local.tm_sec, 2);
            i += 2;
        } else if (rest.starts_with("SSS")) {
            appendNumber(out, millis, 3);
            i += 3;
        } else {
            out += format[i++];
        }
    }
    return out;
}
