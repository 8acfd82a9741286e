#pragma once
// The focuser window's decisions as plain arithmetic: which direction and how many steps a
// move sends (backlash on reversal), how the speed shows, what the state text reads, and how
// a multi-step run is paced. Nothing here touches the bus or a widget; the controllers feed
// numbers in and send what comes out.

#include "indigo/indigo_bus.h"

#include <chrono>
#include <optional>
#include <string>

namespace zeta::focus {

// Direction of the last step move: +1 inward, -1 outward, 0 before the first.
enum class Direction : int { None = 0, Inward = 1, Outward = -1 };

// One move: turn on the direction's switch, then send this many steps (always at least 1).
struct FocusMove {
    Direction direction = Direction::None;
    double steps = 0;
    bool operator==(const FocusMove&) const = default;
};

// Steps sent by a press-and-hold move; the release aborts it.
inline constexpr double kContinuousSteps = 65535;

// Backlash compensation. Not synchronised: the owner serialises calls.
class MoveRules {
public:
    Direction direction() const { return direction_; }
    // Forgets the last direction (another focuser: its backlash owes nothing to the last one).
    void reset() { direction_ = Direction::None; }

    // A single move towards the given side. Steps below 1 send nothing and leave the direction
    // as it was; a reversal adds the backlash (negative backlash counts as 0) once.
    std::optional<FocusMove> step(Direction towards, int steps, int backlash);

    // A move sent outside these rules (autofocus): the next reversal counts from its side.
    void record(Direction sent) {
        if (sent != Direction::None) direction_ = sent;
    }

    // The press of a held button: continuous move, the recorded direction is left alone.
    static FocusMove hold(Direction towards) { return {towards, kContinuousSteps}; }

private:
    Direction direction_ = Direction::None;
};

// The increment of a speed item: its step, or 1 when the step is 0 (or not a number).
double speedIncrement(double step);
// The speed shown: the value clamped into [min, max], then rounded to a whole number of
// increments (halves away from zero).
double roundedSpeed(double value, double min, double max, double step);
// The speed as the window shows it ("%g" style, no trailing zeros).
std::string speedText(double speed);

// "1250 / 18 °C", "1250 / 65 °F", "--" parts for unknown values; the position alone without
// useTemperature.
std::string focuserStateText(std::optional<double> position, std::optional<double> celsius, bool useTemperature,
                             bool fahrenheit);

// Paces a run of single moves: each move waits for the focuser to settle before the next.
// An Alert state ends the run (after a move, or before any move but the first); so does stop.
class MultiStepPacer {
public:
    enum class Action { SendMove, Wait, Finish };
    struct Observation {
        indigo_property_state state = INDIGO_IDLE_STATE; // last FOCUSER_STEPS state
        bool stopped = false;
        std::chrono::milliseconds sinceMove{0}; // time since the last move was sent
    };
    // A move is given this long to show Busy before a settled state counts as done.
    static constexpr std::chrono::milliseconds kSettle{1000};
    // How often a waiting run looks again.
    static constexpr std::chrono::milliseconds kPoll{100};

    // Counts below 0 move nothing.
    explicit MultiStepPacer(int count) : count_(count < 0 ? 0 : count) {}

    // What to do now. After SendMove the caller sends the move, then calls moveSent().
    Action next(const Observation& seen);
    void moveSent();
    int movesSent() const { return sent_; }
    bool finished() const { return phase_ == Phase::Finished; }

private:
    enum class Phase { Ready, JustMoved, Settling, Finished };
    Action finish();

    int count_;
    int sent_ = 0;
    Phase phase_ = Phase::Ready;
};

} // namespace zeta::focus
