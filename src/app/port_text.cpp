#include "app/port_text.h"

namespace zeta::app {

std::optional<int> parsePortText(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 65535) return std::nullopt;
    return value;
}

} // namespace zeta::app
