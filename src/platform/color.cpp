#include "platform/color.h"

#include "platform/number_text.h"

#include <cmath>
#include <sstream>

namespace zeta::platform {

std::string archiveColor(const Color& color) {
    return "srgb " + shortestDecimal(color.red) + " " + shortestDecimal(color.green) + " " +
           shortestDecimal(color.blue) + " " + shortestDecimal(color.alpha);
}

std::optional<Color> unarchiveColor(std::string_view data) {
    constexpr std::string_view prefix = "srgb ";
    if (data.substr(0, prefix.size()) != prefix) return std::nullopt;
    std::istringstream in{std::string(data.substr(prefix.size()))};
    in.imbue(std::locale::classic());
    double c[4];
    for (double& v : c) {
        if (!(in >> v) || !std::isfinite(v) || v < 0 || v > 1) return std::nullopt;
    }
    std::string rest;
    if (in >> rest) return std::nullopt;
    return Color{c[0], c[1], c[2], c[3]};
}

} // namespace zeta::platform
