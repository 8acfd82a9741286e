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

} // namespace zeta::app
