#pragma once
// What the DSLR window adds to the camera window's view: the run buttons, the ten DSLR
// setting popups, the battery image, the batch progress and the folder panel. The widget
// implements it beside CameraView; tests use a recording fake. Every call comes on the main
// thread.

#include "camera/camera_rows.h"
#include "camera/camera_view.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::camera {

// The ten DSLR settings, in the order of their restore.
enum class DslrSetting {
    Program,
    Compression,
    Iso,
    Compensation,
    Metering,
    Focusing,
    WhiteBalance,
    Aperture,
    Shutter,
    CaptureMode
};
inline constexpr std::size_t kDslrSettings = 10;

// A setting's property and the suffix of its per-camera key.
struct DslrSettingNames {
    DslrSetting setting;
    const char* property;
    const char* suffix;
};
inline constexpr std::array<DslrSettingNames, kDslrSettings> kDslrTable{{
    {DslrSetting::Program, "DSLR_PROGRAM", ".programMode"},
    {DslrSetting::Compression, "DSLR_COMPRESSION", ".compression"},
    {DslrSetting::Iso, "DSLR_ISO", ".iso"},
    {DslrSetting::Compensation, "DSLR_EXPOSURE_COMPENSATION", ".compensation"},
    {DslrSetting::Metering, "DSLR_EXPOSURE_METERING", ".metering"},
    {DslrSetting::Focusing, "DSLR_FOCUS_MODE", ".focusing"},
    {DslrSetting::WhiteBalance, "DSLR_WHITE_BALANCE", ".wb"},
    {DslrSetting::Aperture, "DSLR_APERTURE", ".aperture"},
    {DslrSetting::Shutter, "DSLR_SHUTTER", ".shutter"},
    {DslrSetting::CaptureMode, "DSLR_CAPTURE_MODE", ".captureMode"},
}};

inline std::size_t indexOf(DslrSetting setting) {
    return static_cast<std::size_t>(setting);
}

// Enabled state (and on state for the toggles) of the run controls.
struct RunControls {
    bool prefs = false, captureFolder = false;
    bool liveView = false, liveViewOn = false;
    bool liveViewZoom = false, liveViewZoomOn = false;
    bool liveViewStop = false;
    bool preview1 = false;
    bool preview = false, previewOn = false;
    bool capture = false, captureOn = false;
    bool captureStop = false;
    bool batchFields = false; // countsCombo, nameTemplateField
    bool interval = false;    // timelapsesCombo: also during a capture run, which reads it per frame
    std::array<bool, kDslrSettings> dslr{};
    bool operator==(const RunControls&) const = default;
};

class ZTCameraView {
public:
    virtual ~ZTCameraView() = default;

    virtual void showRunControls(const RunControls& controls) = 0;
    virtual void showDslrPopup(DslrSetting setting, const std::vector<SwitchEntry>& entries, int selected) = 0;
    // The selected entry's title and item name (none without a selection).
    virtual std::optional<std::string> dslrSelectedTitle(DslrSetting setting) const = 0;
    virtual std::optional<std::string> dslrSelectedItem(DslrSetting setting) const = 0;
    virtual void showBattery(std::string_view image) = 0;
    virtual void showBatchProgress(const std::string& text) = 0;
    // The lists of the duration and count boxes, and the count shown.
    virtual void showDurationItems(const std::vector<int>& seconds) = 0;
    virtual void showCountItems(const std::vector<int>& counts) = 0;
    virtual void showCount(double count) = 0;
    // The interval box, seconds (NaN when empty or not a number).
    virtual double timelapse() const = 0;
    // Asks for a directory, starting in start; none when the user cancels.
    virtual std::optional<std::string> chooseFolder(const std::string& start) = 0;
    // The rows shown for the selected camera.
    virtual void showRows(const CameraRows& /*rows*/) {}
    // The folder a capture run writes into ("" before one is chosen).
    virtual void showCaptureFolder(const std::string& /*folder*/) {}
    // What a capture run will do to the focuser selected in the focuser window ("" none).
    virtual void showFocusStacking(const std::string& /*text*/) {}
};

} // namespace zeta::camera
