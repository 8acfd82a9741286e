#pragma once
// Showing a number item the way its device asks, without letting the device's format text
// drive printf beyond one floating-point conversion.

#include <optional>
#include <string>
#include <string_view>

namespace zeta::app {

// True when the format is sexagesimal (it ends with "m"): shown as h:mm:ss.
bool isSexagesimalFormat(std::string_view format);

// The format to hand to printf for a double: the device's own when it holds exactly one
// conversion of e, f or g (flags, width and precision of at most two digits, an optional "l")
// and otherwise only text and "%%"; "%g" for anything else.
std::string safeNumberFormat(std::string_view format);

// The value as the item's format shows it: sexagesimal "%…m" as h:mm:ss, else printf with the
// safe format.
std::string formatNumber(std::string_view format, double value);

// What the user typed, read back for a format: sexagesimal text for "%…m", else the leading
// number of the text (0 when there is none).
double parseNumber(std::string_view format, std::string_view text);

// What the user typed, when it is a number for the format: the whole text (blanks around it
// aside) one finite decimal number, or for "%…m" up to three such fields separated by ":",
// "*", "'" or blanks. None for anything else (letters, an empty text), which must not be
// sent as 0.
std::optional<double> readNumber(std::string_view format, std::string_view text);

} // namespace zeta::app
