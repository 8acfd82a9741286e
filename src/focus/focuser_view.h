#pragma once
// What FocuserController shows: the view interface its widget implements. Every call comes on
// the main queue.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::focus {

// Enabled flags and button states of the focuser window's controls.
struct FocuserControls {
    bool focusersEnabled = false;
    bool moveEnabled = false;      // focus in and out buttons
    bool multiEnabled = false;     // rewind and forward (product window)
    bool autofocusEnabled = false; // autofocus button (general window)
    bool autofocusOn = false;
    bool stopEnabled = false;
    bool speedEnabled = false; // slider and stepper
    bool stepsEnabled = false; // steps and backlash fields
    bool autofocusStepsEnabled = false;
    bool inOn = false; // the in button shows a move in progress (product window)
    bool outOn = false;
    bool operator==(const FocuserControls&) const = default;
};

class FocuserView {
public:
    virtual ~FocuserView() = default;
    // The device popup: titles, selected entry (-1 none), enabled.
    virtual void showFocusers(const std::vector<std::string>& titles, int selected, bool enabled) = 0;
    virtual void showControls(const FocuserControls& controls) = 0;
    // Slider and stepper range and value; the stepper moves by the increment.
    virtual void showSpeedRange(double min, double max, double value, double increment) = 0;
    virtual void showSpeedText(const std::string& text) = 0;
    // The step fields; none shows "N/A".
    virtual void showSteps(std::optional<int> steps, std::optional<int> backlash) = 0;
    virtual void showAutofocusSteps(std::optional<int> initialStep, std::optional<int> finalStep) = 0;
    virtual void showState(const std::string& text) = 0;
    // "NSStatusNone", "NSStatusAvailable", "NSStatusPartiallyAvailable" or "NSStatusUnavailable".
    virtual void showStateImage(std::string_view name) = 0;
};

} // namespace zeta::focus
