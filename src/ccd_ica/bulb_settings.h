#pragma once
// Which shutter reports leave the exposure to the driver's timer: one row per vendor setting
// that means bulb.

#include <cstdint>
#include <string>

enum class BulbDecision { Unchanged, Bulb, NotBulb };

// What a report of property `code` with `value` (its value text) says about bulb. A shutter
// report decides only when read-write (a first, read-only report says nothing yet); an
// exposure-mode report decides whatever its permission; other properties decide nothing.
BulbDecision bulbDecision(uint16_t vendor, uint16_t code, const std::string& value, bool readOnly);
