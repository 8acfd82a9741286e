#include "focus/sequencer_controller.h"

#include "Common/indigo_client.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/gui/named_image.h"

#include <vector>

using zeta::platform::kStatusAvailable;
using zeta::platform::kStatusNone;
using zeta::platform::kStatusPartiallyAvailable;
using zeta::platform::kStatusUnavailable;

namespace {

std::string key(std::string_view base, int n) {
    return std::string(base) + std::to_string(n);
}

} // namespace

void SequencerController::savePreferences() {
    if (view_) view_->setHidesOnDeactivate(DEFAULTS().boolForKey("hidePanels", true));
}

void SequencerController::awakeFromNib() {
    if (!view_) return;
    auto& defaults = DEFAULTS();
    for (int n = 1; n <= SequencerView::kRows; ++n) {
        view_->showRow(n, {defaults.stringForKey(key("sequencer", n), ""),
                           defaults.stringForKey(key("sequencerDuration", n), ""),
                           defaults.stringForKey(key("sequencerTimeLapse", n), ""),
                           defaults.stringForKey(key("sequencerCount", n), ""),
                           defaults.stringForKey(key("sequencerName", n), "")});
    }
    view_->showRepeatCount(defaults.integerForKey("repeatCount", 1));
    view_->showStatusImage(kStatusNone);
}

void SequencerController::save() {
    if (!view_) return;
    auto& defaults = DEFAULTS();
    for (int n = 1; n <= SequencerView::kRows; ++n) {
        const SequencerRow row = view_->row(n);
        defaults.setObject(row.use, key("sequencer", n));
        defaults.setObject(row.duration, key("sequencerDuration", n));
        defaults.setObject(row.timeLapse, key("sequencerTimeLapse", n));
        defaults.setObject(row.count, key("sequencerCount", n));
        defaults.setObject(row.name, key("sequencerName", n));
    }
    defaults.setInteger(view_->repeatCount(), "repeatCount");
    // Kept even when the process ends without a clean quit.
    defaults.synchronize();
}

// --- Run ------------------------------------------------------------------------------------

void SequencerController::executeAction() {
    if (runner_) {
        abort();
        return;
    }
    if (!view_) return;
    save();
    view_->showExecuteTitle("Abort");
    for (int n = 1; n <= SequencerView::kRows; ++n)
        view_->showRowStatus(n, n == 1 ? kStatusPartiallyAvailable : kStatusNone);
    view_->showStatusImage(kStatusPartiallyAvailable);
    view_->showStatusText("Waiting...");
    run();
}

void SequencerController::run() {
    if (!camera_) return refuse("There is no camera window to run the plan on");
    if (const auto why = camera_->unavailable()) return refuse(*why);
    std::vector<SequencerRow> rows;
    for (int n = 1; n <= SequencerView::kRows; ++n)
        rows.push_back(view_->row(n));
    auto reading = zeta::focus::readPlan(rows, view_->repeatCount());
    if (!reading.plan) return refuse(reading.error);
    for (const zeta::focus::SequenceRow& row : reading.plan->rows) {
        if (const std::string problem = camera_->rowProblem(row); !problem.empty())
            return refuse("Row " + std::to_string(row.number) + ": " + problem);
    }
    runner_.emplace(std::move(*reading.plan));
    setInProgress(true);
    view_->showRowStatus(1, kStatusNone);
    startCapture();
}

void SequencerController::refuse(const std::string& why) {
    view_->showRowStatus(1, kStatusNone);
    view_->showStatusImage(kStatusUnavailable);
    view_->showStatusText(why);
    view_->showExecuteTitle("Execute");
    log("Sequence not started: " + why);
}

void SequencerController::startCapture() {
    const zeta::focus::SequenceRow& row = runner_->row();
    const Runner::Step& step = runner_->current();
    if (view_) {
        view_->showRowStatus(row.number, kStatusPartiallyAvailable);
        view_->showStatusImage(kStatusPartiallyAvailable);
        view_->showStatusText("Running " + rowTitle() + ", repeat " + std::to_string(step.repeat) + " of " +
                              std::to_string(runner_->plan().repeats));
    }
    const unsigned capture = ++capture_;
    // The camera may report from its own queues after this controller is gone: the report
    // hops to the main queue and is dropped there once alive_ has expired.
    auto ended = [this, alive = std::weak_ptr<const int>(alive_), capture](Runner::Outcome outcome) {
        dispatch::mainQueue().async([this, alive, capture, outcome] {
            if (!alive.expired()) captureEnded(capture, outcome);
        });
    };
    if (camera_->start(row, std::move(ended))) return;
    const std::string why = camera_->unavailable().value_or("the camera window did not start the capture");
    if (view_) view_->showRowStatus(row.number, kStatusUnavailable);
    finish(runner_->ended(Runner::Outcome::Failed), Runner::Outcome::Failed, why);
}

void SequencerController::captureEnded(unsigned capture, Runner::Outcome outcome) {
    if (!runner_ || capture != capture_) return;
    if (view_)
        view_->showRowStatus(runner_->row().number,
                             outcome == Runner::Outcome::Done ? kStatusAvailable : kStatusUnavailable);
    const Runner::Step& step = runner_->ended(outcome);
    if (step.kind == Runner::Step::Capture)
        startCapture();
    else
        finish(step, outcome, {});
}

void SequencerController::abort() {
    if (runner_->aborting()) return;
    runner_->abort();
    if (view_) view_->showStatusText("Aborting...");
    camera_->stop();
}

void SequencerController::finish(Runner::Step step, Runner::Outcome outcome, const std::string& why) {
    const std::string title = rowTitle();
    std::string text;
    std::string line;
    std::string_view light = kStatusUnavailable;
    switch (step.kind) {
    case Runner::Step::Finished:
        light = kStatusAvailable;
        text = line = "Sequence done";
        break;
    case Runner::Step::Failed:
        text = "Failed at " + title + (why.empty() ? ": see the log" : ": " + why);
        line = "Sequence stopped: " + title + " failed" + (why.empty() ? "" : ": " + why);
        break;
    case Runner::Step::Aborted:
        text = (outcome == Runner::Outcome::Done ? "Aborted after " : "Aborted at ") + title;
        line = "Sequence aborted at " + title;
        break;
    case Runner::Step::Capture:
        return;
    }
    runner_.reset();
    if (view_) {
        view_->showStatusImage(light);
        view_->showStatusText(text);
        view_->showExecuteTitle("Execute");
    }
    log(line);
    setInProgress(false);
}

void SequencerController::setInProgress(bool running) {
    inProgress_.store(running);
    if (sequenceChanged_) sequenceChanged_();
}

std::string SequencerController::rowTitle() const {
    const zeta::focus::SequenceRow& row = runner_->row();
    std::string title = "row " + std::to_string(row.number);
    if (!row.name.empty()) title += " '" + row.name + "'";
    return title;
}

void SequencerController::log(const std::string& text) {
    if (indigo()) indigo()->message(text);
}
