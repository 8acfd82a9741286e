#pragma once
// The camera window as the sequencer runs its rows on it: each row is a capture batch of the
// selected camera into the capture folder (ZTCameraController::captureBatch), stopped as the
// window's Stop does. Main queue, as the sequencer calls it.

#include "focus/sequence_camera.h"

class BatchController;
class ZTCameraController;

namespace zeta::camera {

class SequenceCapture final : public zeta::focus::SequenceCamera {
public:
    SequenceCapture(ZTCameraController& camera, BatchController& batch) : camera_(camera), batch_(batch) {}

    std::optional<std::string> unavailable() const override;
    std::string rowProblem(const zeta::focus::SequenceRow& row) const override;
    bool start(const zeta::focus::SequenceRow& row, Ended ended) override;
    void stop() override;

private:
    ZTCameraController& camera_;
    BatchController& batch_;
};

} // namespace zeta::camera
