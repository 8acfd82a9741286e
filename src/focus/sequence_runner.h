#pragma once
// The run of a sequencer plan as decisions: for each repeat, each row in use in row order is
// one capture run; the runner says which comes next and how the sequence ends. It sends
// nothing and waits for nothing: its owner starts each capture and reports how it ended.

#include "focus/sequence_plan.h"

#include <cstddef>

namespace zeta::focus {

class SequenceRunner {
public:
    // How one capture run ended.
    enum class Outcome {
        Done,    // every frame taken and handed to the batch writer
        Failed,  // the camera refused or went, or a frame could not be written
        Stopped, // a stop (the sequencer's Abort or the camera window's Stop)
    };

    struct Step {
        enum Kind {
            Capture,  // start the capture of row() in repeat
            Finished, // every capture done
            Failed,   // the capture of row() failed: nothing more starts
            Aborted,  // stopped at row(): nothing more starts
        };
        Kind kind = Capture;
        std::size_t row = 0; // index into the plan's rows
        long long repeat = 1;
        bool operator==(const Step&) const = default;
    };

    explicit SequenceRunner(SequencePlan plan);

    const SequencePlan& plan() const { return plan_; }
    // The step under way: at first the capture of the first row in the first repeat.
    const Step& current() const { return current_; }
    const SequenceRow& row() const { return plan_.rows[current_.row]; }
    // The capture of the current step ended: the step after it (a capture, or the end).
    // Once the sequence has ended it stays at its end.
    const Step& ended(Outcome outcome);
    // No capture starts after the current one; its end ends the sequence as aborted.
    void abort() { aborting_ = true; }
    bool aborting() const { return aborting_; }
    bool over() const { return current_.kind != Step::Capture; }

private:
    SequencePlan plan_;
    Step current_;
    bool aborting_ = false;
};

} // namespace zeta::focus
