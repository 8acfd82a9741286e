#pragma once
// SequencerController: the sequencer panel's sixteen rows (use, exposure, interval, count,
// name) and repeat count, kept in the settings from one launch to the next, and the run of
// that plan. Execute checks the plan and the camera, then runs, for each repeat, each row in
// use as one capture run of the camera window (SequenceCamera); the same button aborts.
// While a sequence runs, sequenceInProgress() is true: the focuser and filter-wheel windows
// lock their controls, the camera window refuses runs of its own and the application does
// not quit.
//
// Threads: main queue only. The end of a capture is reported on any thread and hops here;
// the runs themselves go on the camera window's queues, so nothing here waits.

#include "Common/base_controller.h"
#include "focus/sequence_camera.h"
#include "focus/sequence_plan.h"
#include "focus/sequence_runner.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class SequencerView {
public:
    virtual ~SequencerView() = default;
    static constexpr int kRows = 16;
    // Rows are numbered 1 to 16.
    virtual SequencerRow row(int n) const = 0;
    virtual void showRow(int n, const SequencerRow& row) = 0;
    virtual long long repeatCount() const = 0;
    virtual void showRepeatCount(long long count) = 0;
    // The status lights (status image names): row n's and the overall one.
    virtual void showRowStatus(int n, std::string_view imageName) = 0;
    virtual void showStatusImage(std::string_view imageName) = 0;
    virtual void showStatusText(const std::string& text) = 0;
    // "Execute", or "Abort" while a sequence runs.
    virtual void showExecuteTitle(const std::string& title) = 0;
    // Whether the panel hides while the application is inactive.
    virtual void setHidesOnDeactivate(bool) {}
};

class SequencerController : public BaseController {
public:
    void setView(SequencerView* view) { view_ = view; }
    // The camera window the rows run on (wiring, before any execute).
    void setCamera(zeta::focus::SequenceCamera* camera) { camera_ = camera; }
    // Runs each time sequenceInProgress() changes, so the windows it locks look again.
    void setSequenceChanged(std::function<void()> changed) { sequenceChanged_ = std::move(changed); }

    // Restores the plan into the rows and shows the idle light.
    void awakeFromNib();
    // Stores every row and the repeat count (empty texts too).
    virtual void save();
    // Hide, losing key status, quitting: the plan is kept.
    void hideAction() { save(); }
    void windowDidResignKey() { save(); }
    // The panel takes "hidePanels" again.
    void savePreferences() override;

    // The execute button: stores the plan and runs it, or aborts the sequence under way.
    void executeAction();

    // True from Execute until the sequence has ended (between rows too).
    bool sequenceInProgress() const { return inProgress_.load(); }
    bool canQuit() override { return !sequenceInProgress(); }

private:
    using Runner = zeta::focus::SequenceRunner;

    void run();
    void abort();
    void startCapture();
    void captureEnded(unsigned capture, Runner::Outcome outcome);
    // The sequence ended: lights, text and log say how; the flag drops.
    void finish(Runner::Step step, Runner::Outcome outcome, const std::string& why);
    void refuse(const std::string& why);
    void setInProgress(bool running);
    void log(const std::string& text);
    std::string rowTitle() const;

    SequencerView* view_ = nullptr;
    zeta::focus::SequenceCamera* camera_ = nullptr;
    std::function<void()> sequenceChanged_;
    std::optional<Runner> runner_;
    unsigned capture_ = 0; // counts the captures started: a late report of an earlier one is ignored
    std::atomic<bool> inProgress_{false};
    // Expires with the controller: the camera's late reports check it on the main queue.
    std::shared_ptr<const int> alive_ = std::make_shared<const int>(0);
};
