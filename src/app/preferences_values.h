#pragma once
// The settings the preferences sheet shows, read from and stored to the preferences store.
// Plain data: the sheet's widget shows and edits it, the app delegate applies it.

#include "platform/color.h"
#include "platform/user_defaults.h"

#include <string>
#include <string_view>
#include <vector>

namespace zeta::app {

struct PreferencesValues {
    bool useMirrorLockup = false;
    bool avoidAF = true;
    bool deleteDownloadedImages = true;
    bool lockCameraGUI = false;
    platform::Color markerColor;
    platform::Color graphColor1;
    platform::Color graphColor2;
    platform::Color backgroundColor;
    std::string portText = "0";
    std::string serviceName;
    std::string serviceType = "_indigo._tcp";
    int logLevel = 0;
    // Read by other windows: what a capture run writes and how its files are named, the
    // Bahtinov panel's optics (millimetres, 0 unknown), temperatures, the image view's
    // crosshair, panels that hide with the application, and BLOB delivery to the browser.
    std::string outputFormat = "FITS";
    bool encodeFilter = true;
    bool encodeMode = true;
    bool encodeDuration = true;
    bool encodeTemperature = false;
    double aperture = 0;
    double focalLength = 0;
    bool useFahrenheit = false;
    bool showCrosshair = false;
    bool hidePanels = true;
    bool enableBLOBTransfer = false;

    bool operator==(const PreferencesValues&) const = default;
};

// Titles of the log-level popup, one per INDIGO log level from 0.
const std::vector<std::string>& logLevelTitles();

// What the sheet shows: the stored values, with the current colours as the colours' defaults.
PreferencesValues loadPreferences(const platform::UserDefaults& defaults, const platform::Color& background);

// Stores the values (empty name and type fall back to their defaults, the port after
// localPort()); does not synchronise.
void storePreferences(platform::UserDefaults& defaults, const PreferencesValues& values);

// The local server's port: digits only, 0 to 65535 (0: any free port); 0 for anything else.
int localPort(std::string_view text);

// Why the values cannot be stored as they are (a port that is not a number from 0 to 65535);
// empty when they can.
std::string preferencesError(const PreferencesValues& values);

} // namespace zeta::app
