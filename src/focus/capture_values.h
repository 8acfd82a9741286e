#pragma once
// The checks of a capture run's typed values (exposure, interval, frame count): what a capture
// run will take, or a message that says why not. Texts are read without the locale, blanks
// around them ignored.

#include <optional>
#include <string>
#include <string_view>

namespace zeta::focus {

template <class T>
struct Checked {
    std::optional<T> value;
    std::string error; // set when value is not
};

// Seconds, 0 or more (whether a camera takes them is its own check).
Checked<double> exposureSeconds(std::string_view text);
// Seconds, 0 or more; an empty box is 0 (no wait).
Checked<double> intervalSeconds(std::string_view text);
// A whole number from 1 up.
Checked<int> frameCount(std::string_view text);

} // namespace zeta::focus
