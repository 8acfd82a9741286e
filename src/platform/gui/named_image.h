#pragma once
// Images the application asks for by name: the four status lights
// "NSStatusNone" (grey, Idle), "NSStatusAvailable" (green, Ok),
// "NSStatusPartiallyAvailable" (yellow, Busy) and "NSStatusUnavailable" (red, Alert); and
// the battery levels "Bat" (unknown), "Bat0", "Bat25", "Bat50", "Bat75", "Bat100", twice as
// wide as high.

#include <QImage>
#include <string_view>

namespace zeta::platform {

inline constexpr std::string_view kStatusNone = "NSStatusNone";
inline constexpr std::string_view kStatusAvailable = "NSStatusAvailable";
inline constexpr std::string_view kStatusPartiallyAvailable = "NSStatusPartiallyAvailable";
inline constexpr std::string_view kStatusUnavailable = "NSStatusUnavailable";

// The status image of an INDIGO state code: 1 Ok, 2 Busy, 3 Alert, anything else Idle.
std::string_view statusImageNameForState(int state);

// The named image drawn at the given size; a null image for an unknown name.
QImage namedImage(std::string_view name, int size = 16);

} // namespace zeta::platform
