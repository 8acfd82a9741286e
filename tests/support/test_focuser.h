#pragma once
// A focuser of ours on the in-process bus, for the windows that move one (focuser, capture,
// autofocus). Built on the focuser base: FOCUSER_SPEED, FOCUSER_DIRECTION, FOCUSER_STEPS,
// FOCUSER_POSITION, FOCUSER_ABORT_MOTION (unless left out) and FOCUSER_TEMPERATURE, defined
// while connected. Connections complete at once.
//
// A FOCUSER_STEPS request makes STEPS Busy; after the move time the position moves by the
// steps (outward adds, inward subtracts) and STEPS becomes Ok, or Alert when a failure was
// injected. ABORT_MOTION ends a move at once with STEPS Alert. Every request and every end of
// a move goes into an event log, in order.

#include "indigo/indigo_bus.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace test_support {

class TestFocuser {
public:
    struct Options {
        std::string name = "Test Focuser";
        bool abort = true;
        bool temperature = true;
        double celsius = 18.4;
        double speed = 1;
        double speedStep = 1;
    };

    explicit TestFocuser(Options options);
    TestFocuser() : TestFocuser(Options{}) {}
    ~TestFocuser();
    TestFocuser(const TestFocuser&) = delete;
    TestFocuser& operator=(const TestFocuser&) = delete;

    const std::string& name() const { return options_.name; }

    // How long a move stays Busy.
    void setMoveTime(std::chrono::milliseconds time);
    // The next move to finish ends in Alert instead of Ok.
    void failNextMove();
    // Reports FOCUSER_STEPS in the given state now (an Alert out of the blue).
    void injectStepsState(indigo_property_state state);

    double position() const;
    bool moving() const;
    // The log, oldest first: "FOCUSER_DIRECTION MOVE_OUTWARD=On", "FOCUSER_STEPS STEPS=10",
    // "FOCUSER_ABORT_MOTION ABORT_MOTION=On", ... for requests; "moved Ok", "moved Alert",
    // "aborted" for the ends of moves.
    std::vector<std::string> events() const;
    // The requests only (lines of events() that name a property).
    std::vector<std::string> requests() const;
    void clearEvents();

private:
    struct Driver;
    Options options_;
    std::unique_ptr<Driver> driver_;
};

} // namespace test_support
