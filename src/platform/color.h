#pragma once
// A colour as the settings and the drawing code share it: sRGB components from 0 to 1.

#include <optional>
#include <string>
#include <string_view>

namespace zeta::platform {

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;

    static Color systemGreen() { return {0, 1, 0, 1}; }
    static Color systemBlue() { return {0, 0, 1, 1}; }
    static Color systemRed() { return {1, 0, 0, 1}; }
    static Color black() { return {0, 0, 0, 1}; }
    static Color white() { return {1, 1, 1, 1}; }

    bool operator==(const Color&) const = default;
};

// The archived form of a colour, kept as the data of a setting: the text
// "srgb R G B A" with each component a decimal number from 0 to 1, e.g. "srgb 0 1 0 1".
std::string archiveColor(const Color& color);
// The colour of an archived form; none for anything else (other data, components out of range).
std::optional<Color> unarchiveColor(std::string_view data);

} // namespace zeta::platform
