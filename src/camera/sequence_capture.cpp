#include "camera/sequence_capture.h"

#include "Common/device.h"
#include "batch/batch_controller.h"
#include "camera/zt_camera_controller.h"

namespace zeta::camera {

std::optional<std::string> SequenceCapture::unavailable() const {
    const auto device = camera_.camera();
    if (!device) return "No camera is selected in the camera window";
    if (!device->connected()) return "The camera '" + device->name() + "' is not connected";
    if (!device->property("CCD_EXPOSURE")) return "The camera '" + device->name() + "' takes no exposures";
    if (!batch_.folder()) return std::string("No capture folder: choose one with the camera window's Folder button");
    if (camera_.previewInProgress() || camera_.captureInProgress())
        return std::string("The camera window is busy: stop its run first");
    return std::nullopt;
}

std::string SequenceCapture::rowProblem(const zeta::focus::SequenceRow& row) const {
    return camera_.batchProblem({row.count, row.duration, row.interval, row.name});
}

bool SequenceCapture::start(const zeta::focus::SequenceRow& row, Ended ended) {
    const ZTCameraController::BatchRun run{row.count, row.duration, row.interval, row.name};
    return camera_.captureBatch(run, [ended = std::move(ended)](ZTCameraController::RunEnd end) {
        switch (end) {
        case ZTCameraController::RunEnd::Done:
            return ended(Outcome::Done);
        case ZTCameraController::RunEnd::Stopped:
            return ended(Outcome::Stopped);
        case ZTCameraController::RunEnd::Failed:
            return ended(Outcome::Failed);
        }
    });
}

void SequenceCapture::stop() {
    camera_.stopAction();
}

} // namespace zeta::camera
