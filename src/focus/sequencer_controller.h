#pragma once
// SequencerController: the sequencer panel's sixteen rows (use, exposure, interval, count,
// name) and repeat count, kept in the settings from one launch to the next. The run itself
// does nothing yet, so the panel never claims to be running one: sequenceInProgress() stays
// false and the window keeps Execute disabled.
//
// Main thread only.

#include "Common/base_controller.h"

#include <array>
#include <string>
#include <string_view>

// One row as the panel's controls hold it: every value is the control's text.
struct SequencerRow {
    std::string use; // the checkbox's state as text, "1" on and "0" off
    std::string duration;
    std::string timeLapse;
    std::string count;
    std::string name;
    bool operator==(const SequencerRow&) const = default;
};

class SequencerView {
public:
    virtual ~SequencerView() = default;
    static constexpr int kRows = 16;
    // Rows are numbered 1 to 16.
    virtual SequencerRow row(int n) const = 0;
    virtual void showRow(int n, const SequencerRow& row) = 0;
    virtual long long repeatCount() const = 0;
    virtual void showRepeatCount(long long count) = 0;
    // The overall status light (a status image name).
    virtual void showStatusImage(std::string_view imageName) = 0;
};

class SequencerController : public BaseController {
public:
    void setView(SequencerView* view) { view_ = view; }

    // Restores the plan into the rows and shows the idle light.
    void awakeFromNib();
    // Stores every row and the repeat count (empty texts too).
    virtual void save();
    // Hide, losing key status, quitting: the plan is kept.
    void hideAction() { save(); }
    void windowDidResignKey() { save(); }
    void savePreferences() override {}

    // A sequence is running; the focuser and wheel windows lock their controls while it is.
    bool sequenceInProgress() const { return false; }

private:
    SequencerView* view_ = nullptr;
};
