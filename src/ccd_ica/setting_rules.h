#pragma once
// What a camera setting decides for the driver, one table row per vendor setting: whether the
// driver times exposures itself (bulb), and whether the pictures are raw.

#include <cstdint>
#include <optional>
#include <string>

enum class BulbDecision { Unchanged, Bulb, NotBulb };

// What a report of property `code` with `value` (its value text) says about bulb. A shutter
// report decides only when read-write (a first, read-only report says nothing yet); an
// exposure-mode report decides whatever its permission; other properties decide nothing.
BulbDecision bulbDecision(uint16_t vendor, uint16_t code, const std::string& value, bool readOnly);

// Whether a report of property `code` with `value` says the pictures are raw (true) or JPEG
// (false); nothing when the property says nothing about the format.
std::optional<bool> rawFormatDecision(uint16_t vendor, uint16_t code, const std::string& value);
