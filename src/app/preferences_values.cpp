#include "app/preferences_values.h"

#include "app/port_text.h"
#include "platform/constants.h"

#include <algorithm>

namespace zeta::app {

const std::vector<std::string>& logLevelTitles() {
    static const std::vector<std::string> titles{"Errors", "Info", "Debug", "Bus trace", "Trace"};
    return titles;
}

PreferencesValues loadPreferences(const platform::UserDefaults& defaults, const platform::Color& background) {
    PreferencesValues values;
    values.useMirrorLockup = defaults.boolForKey("useMirrorLockup", false);
    values.avoidAF = defaults.boolForKey("avoidAF", true);
    values.deleteDownloadedImages = defaults.boolForKey("deleteDownloadedImages", true);
    values.lockCameraGUI = defaults.boolForKey("lockCameraGUI", false);
    values.markerColor = defaults.colorForKey("markerColor", MARKER_COLOR());
    values.graphColor1 = defaults.colorForKey("graphColor1", GRAPH_COLOR_1());
    values.graphColor2 = defaults.colorForKey("graphColor2", GRAPH_COLOR_2());
    values.backgroundColor = defaults.colorForKey("backgroundColor", background);
    values.portText = std::to_string(defaults.integerForKey("indigoPortNumber", 0));
    values.serviceName = defaults.stringForKey("indigoServiceName", APP_NAME());
    values.serviceType = defaults.stringForKey("indigoServiceType", "_indigo._tcp");
    const long long level = defaults.integerForKey("indigoLogLevel", 0);
    const long long last = static_cast<long long>(logLevelTitles().size()) - 1;
    values.logLevel = static_cast<int>(std::clamp<long long>(level, 0, last));
    values.outputFormat = defaults.stringForKey("outputFormat", "FITS");
    values.encodeFilter = defaults.boolForKey("encodeFilter", true);
    values.encodeMode = defaults.boolForKey("encodeMode", true);
    values.encodeDuration = defaults.boolForKey("encodeDuration", true);
    values.encodeTemperature = defaults.boolForKey("encodeTemperature", false);
    values.aperture = defaults.doubleForKey("aperture", 0);
    values.focalLength = defaults.doubleForKey("focalLength", 0);
    values.useFahrenheit = defaults.boolForKey("useFahrenheit", false);
    values.showCrosshair = defaults.boolForKey("showCrosshair", false);
    values.hidePanels = defaults.boolForKey("hidePanels", true);
    values.enableBLOBTransfer = defaults.boolForKey("enableBLOBTransfer", false);
    return values;
}

void storePreferences(platform::UserDefaults& defaults, const PreferencesValues& values) {
    defaults.setBool(values.lockCameraGUI, "lockCameraGUI");
    defaults.setBool(values.useMirrorLockup, "useMirrorLockup");
    defaults.setBool(values.avoidAF, "avoidAF");
    defaults.setBool(values.deleteDownloadedImages, "deleteDownloadedImages");
    defaults.setColor(values.markerColor, "markerColor");
    defaults.setColor(values.graphColor1, "graphColor1");
    defaults.setColor(values.graphColor2, "graphColor2");
    defaults.setColor(values.backgroundColor, "backgroundColor");
    defaults.setInteger(localPort(values.portText), "indigoPortNumber");
    defaults.setObject(values.serviceName.empty() ? APP_NAME() : values.serviceName, "indigoServiceName");
    defaults.setObject(values.serviceType.empty() ? std::string("_indigo._tcp") : values.serviceType,
                       "indigoServiceType");
    defaults.setInteger(values.logLevel, "indigoLogLevel");
    defaults.setObject(values.outputFormat, "outputFormat");
    defaults.setBool(values.encodeFilter, "encodeFilter");
    defaults.setBool(values.encodeMode, "encodeMode");
    defaults.setBool(values.encodeDuration, "encodeDuration");
    defaults.setBool(values.encodeTemperature, "encodeTemperature");
    defaults.setDouble(values.aperture, "aperture");
    defaults.setDouble(values.focalLength, "focalLength");
    defaults.setBool(values.useFahrenheit, "useFahrenheit");
    defaults.setBool(values.showCrosshair, "showCrosshair");
    defaults.setBool(values.hidePanels, "hidePanels");
    defaults.setBool(values.enableBLOBTransfer, "enableBLOBTransfer");
}

std::string preferencesError(const PreferencesValues& values) {
    if (!values.portText.empty() && !parsePortText(values.portText))
        return "The port must be a whole number from 0 to 65535 (0: any free port).";
    return {};
}

int localPort(std::string_view text) {
    return parsePortText(text).value_or(0);
}

} // namespace zeta::app
