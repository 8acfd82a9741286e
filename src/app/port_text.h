#pragma once
// Port numbers typed by the user.

#include <optional>
#include <string_view>

namespace zeta::app {

// Digits only (no sign, no blanks), 0 to 65535; none for anything else.
std::optional<int> parsePortText(std::string_view text);

} // namespace zeta::app
