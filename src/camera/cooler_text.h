#pragma once
// Cooler set-points as the window shows them: the unit conversions, the box's text read as a
// number and the number written back as text.

#include <optional>
#include <string>
#include <string_view>

namespace zeta::camera {

// c × 1.8 + 32 and (f − 32) / 1.8, rounded to a millionth of a degree so that a listed
// set-point converts to its whole number (14 °F gives -10 °C, not -9.999999999999998).
double celsiusToFahrenheit(double celsius);
double fahrenheitToCelsius(double fahrenheit);

// The text as a finite number (blanks around it allowed); none for anything else.
std::optional<double> parseSetpoint(std::string_view text);

// A number as the set-point box shows it ("-10", "5", "-12.5").
std::string formatSetpoint(double value);

// Steps of a slider, field and stepper group: step, or 1 when the item's step is 0; the value
// brought to the nearest multiple of it (halves away from zero).
double groupStep(double itemStep);
double roundToStep(double value, double step);

} // namespace zeta::camera
