#pragma once
// Module constants shared by the whole application. Each is made once, on first use,
// from whichever thread uses it first; the three colours may be replaced on the main thread.

#include "platform/bundle.h"
#include "platform/color.h"
#include "platform/file_manager.h"
#include "platform/user_defaults.h"

#include <string>
#include <string_view>
#include <vector>

zeta::platform::UserDefaults& DEFAULTS();
const zeta::platform::Bundle& MAIN_BUNDLE();
zeta::platform::FileManager& FILE_MANAGER();

const std::string& APP_NAME();
const std::string& APP_VERSION();
const std::string& APP_BUILD();
const std::string& MOUNT_DEVICE_NAME();

const std::vector<double>& EXPOSURE_TIMES();
const std::vector<int>& TIME_LAPSE_INTERVALS();
const std::vector<int>& FRAME_COUNTS();
const std::vector<std::string>& CELSIUS_SETPOINTS();
const std::vector<std::string>& FAHRENHEIT_SETPOINTS();

// Replaceable on the main thread (start-up and the preferences sheet).
zeta::platform::Color& MARKER_COLOR();
zeta::platform::Color& GRAPH_COLOR_1();
zeta::platform::Color& GRAPH_COLOR_2();

// The last "."-separated component of a bundle identifier (the whole text without ".").
std::string applicationNameFromIdentifier(std::string_view identifier);

// The integer with the current locale's grouping separators; "NaN" when it cannot be formatted.
std::string formatInteger(long long value);

// Degrees or hours, minutes and seconds separated by any of ":*' " to a real.
double parseSexagesimal(std::string_view text);
// A real as whole part, separator a, two-digit minutes, separator b, two-digit seconds.
std::string formatSexagesimal(double value, std::string_view a, std::string_view b);
