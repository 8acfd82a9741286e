#pragma once
// The autofocus decision: fed one rating per new frame shown during a preview (the selected
// star's peak, HFD and FWHM and the focuser's state), it averages five frames, climbs
// towards the sharper side, reverses with a halved step (the first reversal keeps its step)
// and ends with one step back once the step is down to the final step. It sends nothing
// itself: each frame gives the actions the focuser window carries out, in order.
//
// Plain data in and out; one thread at a time (the focuser window calls it on the main queue).

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zeta::focus {

// What the routine needs to know about one new frame.
struct AutofocusFrame {
    bool starSelected = false;
    double peak = 0;
    double hfd = 0;
    double fwhm = 0;
    // State of the focuser's FOCUSER_STEPS: 0 Idle, 1 Ok, 2 Busy, 3 Alert.
    int focuserState = 0;
    // A focuser is selected and has FOCUSER_DIRECTION and FOCUSER_STEPS.
    bool focuserReady = true;
    std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
};

// One thing for the window to do, in the order given.
struct AutofocusAction {
    enum class Kind {
        Direction, // turn on MOVE_OUTWARD (outward) or MOVE_INWARD
        Steps,     // send FOCUSER_STEPS with STEPS = steps
        Log,       // a line for the message log
        Abort,     // stop: abort the motion in progress
    };
    Kind kind;
    bool outward = false;
    double steps = 0;
    std::string text;
    bool operator==(const AutofocusAction&) const = default;
};

class AutofocusRoutine {
public:
    // A focuser still Busy this long after the first frame that found it Busy ends the run.
    static constexpr std::chrono::seconds kBusyLimit{120};

    // Starts a run with fresh averages, the initial step and the outward direction; nothing
    // is sent until the first group of five frames is complete. Ignored outside a preview.
    void start(bool previewing, double initialStep, double finalStep, double backlash);
    // Ends the run (the stop button, the camera window's stop).
    void stop() { inProgress_ = false; }
    bool inProgress() const { return inProgress_; }

    // One step of the routine for a new frame.
    std::vector<AutofocusAction> frame(const AutofocusFrame& frame);

    double stepSize() const { return stepSize_; }
    bool movingOut() const { return movingOut_; }

    // Numbers in the log lines: up to 15 significant digits, ".0" added to whole numbers.
    static std::string formatNumber(double value);

private:
    std::vector<AutofocusAction> end(std::string line);

    bool inProgress_ = false;
    double averageSum_ = 0;
    int averageCount_ = 0;
    double prevQuality_ = 0;
    double stepSize_ = 0;
    double finalStep_ = 0;
    double backlash_ = 0;
    bool firstMove_ = true;
    bool movingOut_ = true;
    std::optional<std::chrono::steady_clock::time_point> busySince_;
};

} // namespace zeta::focus
