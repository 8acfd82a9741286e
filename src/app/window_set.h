#pragma once
// The windows beside the shell's own (image window and its panels, camera, focuser, filter wheel,
// sequencer, capture batches, plate solver): their controllers and widgets, and the outlets between them.
//
// Lifetime: the controllers are made first and go last. Declare the set before the app
// delegate, so the controllers outlive the client that calls them, and build the widgets
// once the main window exists; the main window owns the docked and central widgets, the set
// owns the separate windows.

#include <memory>
#include <vector>

class BatchController;
class SequencerController;
class SequencerPanel;

class ZTCameraController;

namespace zeta::camera {
class CameraController;
class DslrWindow;
class SequenceCapture;
} // namespace zeta::camera

namespace zeta::focus {
class WheelController;
class ZTFocuserController;
} // namespace zeta::focus
class BatchWidget;
class ImageController;
class ImageWindow;
class SolverController;
class SolverPanel;

namespace zeta::solver {
class SolverBrowser;
}

namespace zeta::app {

class MainWindow;
class ZTAppDelegate;

class WindowSet {
public:
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet&) = delete;
    WindowSet& operator=(const WindowSet&) = delete;

    // Hands every controller to the delegate (before it finishes launching).
    void registerControllers(ZTAppDelegate& delegate);
    // Joins the camera, focuser and wheel popups to the application device's lists (before the
    // delegate finishes launching).
    void connectDeviceLists(ZTAppDelegate& delegate);
    // Makes the widgets, connects the outlets and puts each window in its place.
    void buildWidgets(MainWindow& window);
    // Lets go of the views before the widgets go (after the bus has stopped).
    void detachViews();

    ImageController& imageController() { return *image_; }
    zeta::camera::CameraController& cameraController();
    // The camera window is the DSLR window: previews and capture runs.
    ZTCameraController& dslrController() { return *camera_; }
    zeta::camera::DslrWindow* dslrWindow() const { return dslrWindow_; }
    BatchController& batchController() { return *batch_; }
    SolverController& solverController() { return *solver_; }
    zeta::focus::ZTFocuserController& focuserController() { return *focuser_; }
    zeta::focus::WheelController& wheelController() { return *wheel_; }
    SequencerController& sequencerController() { return *sequencer_; }

private:
    std::unique_ptr<ImageController> image_;
    std::unique_ptr<ZTCameraController> camera_;
    std::unique_ptr<BatchController> batch_;
    std::unique_ptr<SolverController> solver_;
    std::unique_ptr<zeta::focus::ZTFocuserController> focuser_;
    std::unique_ptr<zeta::focus::WheelController> wheel_;
    std::unique_ptr<SequencerController> sequencer_;
    std::unique_ptr<zeta::camera::SequenceCapture> sequenceCapture_; // the sequencer's rows on the camera window
    std::unique_ptr<zeta::solver::SolverBrowser> solverBrowser_;
    // The windows' popups as the application device holds them (weakly).
    std::vector<std::shared_ptr<void>> popupHandles_;

    // Separate windows (the central and docked ones belong to the main window).
    std::unique_ptr<BatchWidget> batchWidget_;
    zeta::camera::DslrWindow* dslrWindow_ = nullptr; // docked: the main window owns it
    ZTAppDelegate* delegate_ = nullptr;
    std::unique_ptr<SolverPanel> solverPanel_;
    std::unique_ptr<SequencerPanel> sequencerPanel_;
};

} // namespace zeta::app
