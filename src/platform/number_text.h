#pragma once
// Reading numbers the way the platform's string classes do: the leading number of a text,
// anything after it ignored, 0 when there is none.

#include <string>
#include <string_view>

namespace zeta::platform {

// Leading decimal number: optional white space, sign, digits, decimal point, exponent.
// Only the sign is reported for "-0" and the like through std::signbit of the result.
double leadingDouble(std::string_view text);

// Leading integer: optional white space, sign, digits; clamped to the 64-bit range.
long long leadingInteger(std::string_view text);

// Shortest decimal text that reads back as the same double ("2.5", "1e+20", "3").
std::string shortestDecimal(double value);

} // namespace zeta::platform
