#pragma once
// The sequencer's plan: the panel's rows as typed, and the rows in use read into the values
// a capture run takes.

#include <optional>
#include <string>
#include <vector>

// One row as the panel's controls hold it: every value is the control's text.
struct SequencerRow {
    std::string use; // the checkbox's state as text, "1" on and "0" off
    std::string duration;
    std::string timeLapse;
    std::string count;
    std::string name;
    bool operator==(const SequencerRow&) const = default;
};

namespace zeta::focus {

// A row in use, as one capture run takes it.
struct SequenceRow {
    int number = 0; // 1 to 16, as the panel numbers its rows
    int count = 0;
    double duration = 0; // seconds
    double interval = 0; // seconds between frames
    std::string name;    // the batch name
    bool operator==(const SequenceRow&) const = default;
};

struct SequencePlan {
    std::vector<SequenceRow> rows; // in row order, at least one
    long long repeats = 1;         // at least 1
};

struct PlanReading {
    std::optional<SequencePlan> plan;
    std::string error; // set when plan is not: the first reason, for the user
};

// rows[0] is row 1. A row is in use when its checkbox text is a positive number. A repeat
// count below 1 runs the plan once.
PlanReading readPlan(const std::vector<SequencerRow>& rows, long long repeatCount);

} // namespace zeta::focus
