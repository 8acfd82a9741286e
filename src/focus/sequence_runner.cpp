#include "focus/sequence_runner.h"

#include <utility>

namespace zeta::focus {

SequenceRunner::SequenceRunner(SequencePlan plan) : plan_(std::move(plan)) {}

const SequenceRunner::Step& SequenceRunner::ended(Outcome outcome) {
    if (over()) return current_;
    if (outcome == Outcome::Failed) {
        current_.kind = Step::Failed;
    } else if (outcome == Outcome::Stopped || aborting_) {
        current_.kind = Step::Aborted;
    } else if (current_.row + 1 < plan_.rows.size()) {
        ++current_.row;
    } else if (current_.repeat < plan_.repeats) {
        current_.row = 0;
        ++current_.repeat;
    } else {
        current_.kind = Step::Finished;
    }
    return current_;
}

} // namespace zeta::focus
