#pragma once
// What CameraController needs of its window: the controls it fills and reads. The widget
// implements it; tests use a recording fake. Every call comes on the main thread.

#include "camera/typed_input.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::camera {

// The three slider, field and stepper groups.
enum class Group { Offset, Gain, Gamma };

// Which control of a group acted.
enum class GroupSender { Slider, Stepper };

// A popup entry that stands for a switch item: shown by label, carrying the item's name.
struct SwitchEntry {
    std::string title;
    std::string name;
    bool operator==(const SwitchEntry&) const = default;
};

// The enabled state of the controls, as the controller's flags say.
struct ControlFlags {
    bool cameraListEnabled = true;
    bool mode = false;
    bool frameType = false;
    bool offset = false;
    bool gain = false;
    bool gamma = false;
    bool cooler = false;
    bool duration = false;
    bool frame = false;
    bool binning = false;
    bool operator==(const ControlFlags&) const = default;
};

struct SensorInfo {
    std::int64_t width = 0, height = 0;
    double pixelSize = 0;
    std::int64_t frameLeft = 0, frameTop = 0, frameWidth = 0, frameHeight = 0;
    std::int64_t horizontalBin = 1, verticalBin = 1;
    std::int64_t maxBin = 0; // the largest binning the camera offers (0 none)
    bool operator==(const SensorInfo&) const = default;
};

class CameraView {
public:
    virtual ~CameraView() = default;

    // The camera popup: titles, the selected entry (-1 none), enabled.
    virtual void showCameras(const std::vector<std::string>& titles, int selected, bool enabled) = 0;
    // A status image name ("NSStatusNone", "NSStatusAvailable", ...).
    virtual void showState(std::string_view statusImage) = 0;
    virtual void showControls(const ControlFlags& flags) = 0;
    // Sensor size and pixel size (micrometres, 0 unknown), frame and binning.
    virtual void showSensor(const SensorInfo& sensor) = 0;

    virtual void showModes(const std::vector<SwitchEntry>& entries, int selected) = 0;
    // Windows without a frame-type popup answer false and are never asked to show one.
    virtual bool hasFrameTypes() const = 0;
    virtual void showFrameTypes(const std::vector<SwitchEntry>& entries, int selected) = 0;

    // The exposure duration box, seconds; NaN when its text is no number.
    virtual double duration() const = 0;
    virtual void showDuration(double seconds) = 0;

    // The slider, field and stepper groups; a window that lacks any of a group's three controls
    // answers false and is never asked about that group.
    virtual bool hasGroup(Group group) const = 0;
    // Slider and stepper take the range; the stepper's increment is step.
    virtual void setGroupRange(Group group, double min, double max, double step) = 0;
    // The slider holds its value within its range: sliderValue() after setSliderValue() gives
    // the value clamped.
    virtual double sliderValue(Group group) const = 0;
    virtual void setSliderValue(Group group, double value) = 0;
    virtual double stepperValue(Group group) const = 0;
    virtual void setStepperValue(Group group, double value) = 0;
    virtual double fieldValue(Group group) const = 0;
    virtual void showFieldValue(Group group, double value) = 0;

    // The cooler controls: label, set-point box, state text and image. Windows without them
    // answer false and are never asked to show them.
    virtual bool hasCooler() const = 0;
    virtual void showCoolerLabel(const std::string& text) = 0;
    virtual void showCoolerItems(const std::vector<std::string>& items) = 0;
    virtual std::string coolerText() const = 0;
    virtual void showCoolerText(const std::string& text) = 0;
    virtual void showCoolerState(const std::string& text, std::string_view statusImage) = 0;

    // The batch fields; the count is NaN when its text is no number.
    virtual double count() const = 0;
    virtual std::string nameTemplate() const = 0;
    virtual void showNameTemplate(const std::string& text) = 0;
    virtual bool hasTimelapse() const = 0;
    virtual std::string timelapseText() const = 0;
    virtual void showTimelapseItems(const std::vector<int>& seconds) = 0;
    virtual void showTimelapse(double seconds) = 0;

    // The frame rate of streaming and live view ("" hides it), and the exposure progress
    // (0 to 1; none hides it).
    virtual void showFps(const std::string& text) = 0;
    virtual void showProgress(std::optional<double> fraction) = 0;

    // The frame region's boxes; a window without them answers none and is never asked.
    virtual std::optional<TypedFrame> typedFrame() const { return std::nullopt; }

    // What is wrong with a value the user typed, where the user sees it ("" hides it).
    virtual void showInputProblem(const std::string& /*text*/) {}
};

} // namespace zeta::camera
