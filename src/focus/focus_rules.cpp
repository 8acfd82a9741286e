#include "focus/focus_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zeta::focus {

namespace {

Direction opposite(Direction d) {
    return d == Direction::Inward ? Direction::Outward : d == Direction::Outward ? Direction::Inward : Direction::None;
}

std::string formatWhole(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

} // namespace

std::optional<FocusMove> MoveRules::step(Direction towards, int steps, int backlash) {
    if (steps < 1 || towards == Direction::None) return std::nullopt;
    double n = steps;
    if (direction_ == opposite(towards)) n += std::max(backlash, 0);
    direction_ = towards;
    return FocusMove{towards, n};
}

double speedIncrement(double step) {
    return (step == 0 || !std::isfinite(step)) ? 1 : std::fabs(step);
}

double roundedSpeed(double value, double min, double max, double step) {
    const double s = speedIncrement(step);
    if (min <= max) value = std::clamp(value, min, max);
    return std::round(value / s) * s;
}

std::string speedText(double speed) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", speed == 0 ? 0.0 : speed); // no "-0"
    return text;
}

std::string focuserStateText(std::optional<double> position, std::optional<double> celsius, bool useTemperature,
                             bool fahrenheit) {
    std::string text = position ? formatWhole(*position) : "--";
    if (!useTemperature) return text;
    if (fahrenheit) return text + " / " + (celsius ? formatWhole(*celsius * 1.8 + 32) : "--") + " °F";
    return text + " / " + (celsius ? formatWhole(*celsius) : "--") + " °C";
}

MultiStepPacer::Action MultiStepPacer::finish() {
    phase_ = Phase::Finished;
    return Action::Finish;
}

MultiStepPacer::Action MultiStepPacer::next(const Observation& seen) {
    if (phase_ == Phase::Finished) return Action::Finish;
    if (seen.stopped) return finish();
    switch (phase_) {
    case Phase::JustMoved:
        // Straight after the request, before the device answered: an Alert still standing
        // from the move before ends the run too.
        if (seen.state == INDIGO_ALERT_STATE) return finish();
        phase_ = Phase::Settling;
        return Action::Wait;
    case Phase::Settling:
        // Any Alert now is the answer to this move (a standing one ended the run above).
        if (seen.state == INDIGO_ALERT_STATE) return finish();
        if (seen.sinceMove < kSettle || seen.state == INDIGO_BUSY_STATE) return Action::Wait;
        phase_ = Phase::Ready;
        [[fallthrough]];
    case Phase::Ready:
        if (sent_ >= count_) return finish();
        if (sent_ > 0 && seen.state == INDIGO_ALERT_STATE) return finish();
        return Action::SendMove;
    case Phase::Finished:
        break;
    }
    return Action::Finish;
}

void MultiStepPacer::moveSent() {
    if (phase_ != Phase::Ready) return;
    ++sent_;
    phase_ = Phase::JustMoved;
}

} // namespace zeta::focus
