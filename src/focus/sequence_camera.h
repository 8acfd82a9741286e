#pragma once
// What the sequencer needs of the camera window: whether a capture run can start, one capture
// run of a row on the selected camera into the capture folder, and its stop. The camera
// window implements it (camera/sequence_capture.h); tests use a recording fake.

#include "focus/sequence_plan.h"
#include "focus/sequence_runner.h"

#include <functional>
#include <optional>
#include <string>

namespace zeta::focus {

class SequenceCamera {
public:
    using Outcome = SequenceRunner::Outcome;
    // Called once per run that started, on whichever thread ended it.
    using Ended = std::function<void(Outcome)>;

    virtual ~SequenceCamera() = default;
    // Main queue. Why no capture run can start now (no camera, no capture folder, the camera
    // window busy), for the user; nothing when one can.
    virtual std::optional<std::string> unavailable() const = 0;
    // Main queue. What the camera window's own checks of typed values say of the row's ("" when
    // it may run), for the user.
    virtual std::string rowProblem(const SequenceRow& row) const = 0;
    // Main queue. Starts the row's capture run; false, with nothing sent, when it cannot start.
    virtual bool start(const SequenceRow& row, Ended ended) = 0;
    // Main queue. Stops the run under way as the camera window's Stop does.
    virtual void stop() = 0;
};

} // namespace zeta::focus
