#include "focus/autofocus_routine.h"

#include <cmath>
#include <cstdio>

namespace zeta::focus {
namespace {

using Kind = AutofocusAction::Kind;

AutofocusAction direction(bool outward) {
    return {Kind::Direction, outward, 0, {}};
}
AutofocusAction steps(double count) {
    return {Kind::Steps, false, count, {}};
}
AutofocusAction log(std::string text) {
    return {Kind::Log, false, 0, std::move(text)};
}

double roundToHundredths(double value) {
    return std::round(value * 100) / 100;
}

} // namespace

std::string AutofocusRoutine::formatNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    std::string result = text;
    if (std::isfinite(value) && result.find_first_of(".e") == std::string::npos) result += ".0";
    return result;
}

void AutofocusRoutine::start(bool previewing, double initialStep, double finalStep, double backlash) {
    if (!previewing) return;
    averageSum_ = 0;
    averageCount_ = 0;
    prevQuality_ = 0;
    firstMove_ = true;
    stepSize_ = initialStep;
    finalStep_ = finalStep;
    backlash_ = backlash;
    movingOut_ = true;
    busySince_.reset();
    inProgress_ = true;
}

std::vector<AutofocusAction> AutofocusRoutine::end(std::string line) {
    inProgress_ = false;
    return {{Kind::Abort, false, 0, {}}, log(std::move(line))};
}

std::vector<AutofocusAction> AutofocusRoutine::frame(const AutofocusFrame& frame) {
    if (!inProgress_) return {};
    if (!frame.starSelected || frame.focuserState == 3) return end("Autofocus - lost star");
    if (frame.focuserState == 2) {
        // Frames taken while the focuser moves are not rated; but a move that never ends
        // must not hold the run forever.
        if (!busySince_)
            busySince_ = frame.time;
        else if (frame.time - *busySince_ >= kBusyLimit)
            return end("Autofocus - failed, the focuser did not finish its move");
        return {};
    }
    busySince_.reset();
    if (!frame.focuserReady) return {};

    const double quality = frame.peak / frame.hfd / frame.fwhm;
    // An HFD or FWHM of 0 (no measurable star) would make every later group compare as worse
    // and walk the focuser to a "done" that means nothing.
    if (!std::isfinite(quality)) return end("Autofocus - failed, the star can't be measured");

    if (averageCount_ < 4) {
        averageSum_ += quality;
        ++averageCount_;
        return {log("Autofocus - stacking images (" + std::to_string(averageCount_) + "/4)")};
    }
    const double average = (averageSum_ + quality) / 5;
    averageSum_ = 0;
    averageCount_ = 0;
    const std::string shown = formatNumber(roundToHundredths(average));

    if (average > prevQuality_) {
        prevQuality_ = average;
        return {direction(movingOut_),
                log("Autofocus - quality = " + shown + (movingOut_ ? ", moving out" : ", moving in") +
                    ", step size = " + formatNumber(stepSize_)),
                steps(stepSize_)};
    }
    if (!(finalStep_ >= stepSize_)) {
        prevQuality_ = average;
        if (!firstMove_) stepSize_ = std::max(1.0, std::round(stepSize_ * 0.5));
        firstMove_ = false;
        movingOut_ = !movingOut_;
        return {direction(movingOut_), steps(stepSize_ + backlash_),
                log("Autofocus - quality = " + shown + (movingOut_ ? ", switching out" : ", switching in") +
                    ", step size = " + formatNumber(stepSize_))};
    }
    inProgress_ = false;
    return {direction(!movingOut_), steps(stepSize_ + backlash_), log("Autofocus - done")};
}

} // namespace zeta::focus
