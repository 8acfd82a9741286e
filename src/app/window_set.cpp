#include "app/window_set.h"

#include "app/application_device.h"
#include "app/main_window.h"
#include "app/zt_app_delegate.h"
#include "batch/batch_controller.h"
#include "batch/batch_widget.h"
#include "camera/camera_controller.h"
#include "camera/camera_widget.h"
#include "camera/dslr_window.h"
#include "camera/sequence_capture.h"
#include "camera/zt_camera_controller.h"
#include "focus/focuser_controller.h"
#include "focus/focuser_widget.h"
#include "focus/sequencer_controller.h"
#include "focus/sequencer_panel.h"
#include "focus/wheel_controller.h"
#include "focus/wheel_widget.h"
#include "image_window/focus_panel_widgets.h"
#include "image_window/image_controller.h"
#include "image_window/image_window.h"
#include "solver/solver_browser.h"
#include "solver/solver_controller.h"
#include "solver/solver_panel.h"

#include <QMenu>

namespace zeta::app {

WindowSet::WindowSet()
    : image_(std::make_unique<ZTImageController>()), camera_(std::make_unique<ZTCameraController>()),
      batch_(std::make_unique<BatchController>()), solver_(std::make_unique<SolverController>()),
      focuser_(std::make_unique<zeta::focus::ZTFocuserController>()),
      wheel_(std::make_unique<zeta::focus::WheelController>()), sequencer_(std::make_unique<SequencerController>()),
      sequenceCapture_(std::make_unique<zeta::camera::SequenceCapture>(*camera_, *batch_)) {
    batch_->setImageHandler(
        [image = image_.get()](std::shared_ptr<Image> frame) { image->setImage(std::move(frame)); });
    solver_->setCurrentImageSource([image = image_.get()] { return image->current(); });
    image_->setImageChanged([solver = solver_.get()] { solver->currentImageChanged(); });
    camera_->setImageController(image_.get());
    camera_->setBatchController(batch_.get());
    camera_->setFocuserController(focuser_.get());
    image_->setCameraController(camera_.get());
    batch_->setPreviewInProgress([camera = camera_.get()] { return camera->previewInProgress(); });
    zeta::focus::Neighbours neighbours;
    neighbours.previewInProgress = [camera = camera_.get()] {
        return camera->previewInProgress();
    };
    neighbours.captureInProgress = [camera = camera_.get()] {
        return camera->captureInProgress();
    };
    neighbours.frameCount = [camera = camera_.get()] {
        return camera->frameCount();
    };
    neighbours.sequenceInProgress = [sequencer = sequencer_.get()] {
        return sequencer->sequenceInProgress();
    };
    neighbours.starSelected = [image = image_.get()] {
        return image->selectedStar().has_value();
    };
    neighbours.selectedStar = [image = image_.get()] {
        zeta::focus::StarReading star;
        star.selected = image->selectedStar().has_value();
        star.peak = image->peakValue();
        star.hfd = image->hfdValue();
        star.fwhm = image->fwhmValue();
        return star;
    };
    image_->setFrameShown([focuser = focuser_.get(), image = image_.get(), starShown = false]() mutable {
        focuser->autofocus();
        // The autofocus button follows the selected star; a refresh per change, not per frame.
        const bool star = image->selectedStar().has_value();
        if (star != starShown) {
            starShown = star;
            focuser->updateGUI();
        }
    });
    focuser_->setNeighbours(neighbours);
    wheel_->setNeighbours(neighbours);
    sequencer_->setCamera(sequenceCapture_.get());
    camera_->setRunsHeld([sequencer = sequencer_.get()] { return sequencer->sequenceInProgress(); });
    // The camera window's refresh takes the focuser window's along.
    sequencer_->setSequenceChanged([camera = camera_.get(), wheel = wheel_.get()] {
        camera->updateGUI();
        wheel->updateGUI();
    });
}

WindowSet::~WindowSet() {
    // The capture worker steps the focuser and closes batches: it ends before they go.
    camera_->shutDown();
}

zeta::camera::CameraController& WindowSet::cameraController() {
    return *camera_;
}

void WindowSet::registerControllers(ZTAppDelegate& delegate) {
    delegate_ = &delegate;
    delegate.addWindowController(image_.get());
    delegate.addWindowController(camera_.get());
    delegate.addWindowController(batch_.get());
    delegate.addWindowController(solver_.get());
    delegate.addWindowController(focuser_.get());
    delegate.addWindowController(wheel_.get());
    delegate.addWindowController(sequencer_.get());
}

void WindowSet::connectDeviceLists(ZTAppDelegate& delegate) {
    DeviceController& device = delegate.deviceController();
    const auto join = [&](DeviceController::Panel panel, DevicePopup& popup, std::function<void()> action) {
        // The controllers own the popups; the handle only tells the device while the set lives.
        std::shared_ptr<DevicePopup> handle(&popup, [](DevicePopup*) {});
        device.connectPanel(panel, handle, std::move(action));
        popupHandles_.push_back(std::move(handle));
    };
    join(DeviceController::Camera, camera_->camerasPopUp(), [camera = camera_.get()] { camera->cameraAction(); });
    join(DeviceController::Focuser, focuser_->focusersPopUp(),
         [focuser = focuser_.get()] { focuser->focuserAction(); });
    join(DeviceController::Wheel, wheel_->wheelsPopUp(), [wheel = wheel_.get()] { wheel->wheelAction(); });
    camera_->setDeviceListChanged([&device] { device.updateCameraList(); });
    // The camera window says what a capture run will do to the focuser chosen here.
    focuser_->setDeviceListChanged([&device, camera = camera_.get()] {
        device.updateFocuserList();
        camera->showFocusStacking();
    });
    wheel_->setDeviceListChanged([&device] { device.updateWheelList(); });
}

void WindowSet::buildWidgets(MainWindow& window) {
    auto* imageWindow = new ImageWindow(*image_);
    window.setCentralView(imageWindow);
    // The panels open from the menu as from their buttons, which analyse what is selected.
    window.windowMenu()->addAction(QObject::tr("PSF"), imageWindow, [imageWindow] { imageWindow->showPSF(); });
    window.windowMenu()->addAction(QObject::tr("Drift"), imageWindow, [imageWindow] { imageWindow->showDrift(); });
    window.windowMenu()->addAction(QObject::tr("Bahtinov"), imageWindow,
                                   [imageWindow] { imageWindow->showBahtinov(); });
    window.viewMenu()->addAction(imageWindow->selectStarsAction());

    dslrWindow_ = new zeta::camera::DslrWindow(*camera_);
    if (delegate_) dslrWindow_->setPreferencesHandler([delegate = delegate_] { delegate->preferences(); });
    dslrWindow_->setOutputFormatHandlers(
        [batch = batch_.get()] { return batch->outputFormat(); },
        [batch = batch_.get()](const std::string& format) { batch->setOutputFormat(format); });
    camera_->awakeFromNib();
    window.addDock(QObject::tr("Camera"), dslrWindow_, Qt::LeftDockWidgetArea);
    window.viewMenu()->addSeparator();
    window.viewMenu()->addAction(dslrWindow_->liveViewMenu());

    auto* focuserWidget = new zeta::focus::FocuserWidget(*focuser_);
    focuser_->awakeFromNib();
    window.addDock(QObject::tr("Focuser"), focuserWidget);
    window.viewMenu()->addAction(focuserWidget->rewindAction());
    auto* wheelWidget = new zeta::focus::WheelWidget(*wheel_);
    window.addDock(QObject::tr("Filter Wheel"), wheelWidget);

    sequencerPanel_ = std::make_unique<SequencerPanel>(*sequencer_);
    sequencer_->awakeFromNib();
    window.addWindow(QObject::tr("Sequencer"), sequencerPanel_.get(), true);

    batchWidget_ = std::make_unique<BatchWidget>(*batch_);
    window.addWindow(QObject::tr("Capture Batches"), batchWidget_.get());

    solverPanel_ = std::make_unique<SolverPanel>(*solver_);
    if (solver_->awakeFromNib()) {
        solverBrowser_ = std::make_unique<zeta::solver::SolverBrowser>(*solver_);
        solverBrowser_->start();
    }
    window.addWindow(QObject::tr("Plate Solver"), solverPanel_.get(), true);
}

void WindowSet::detachViews() {
    solverBrowser_.reset();
    image_->setView(nullptr);
    camera_->setView(nullptr);
    camera_->setZTView(nullptr);
    batch_->setView(nullptr);
    solver_->setView(nullptr);
    focuser_->setView(nullptr);
    wheel_->setView(nullptr);
    sequencer_->setView(nullptr);
}

} // namespace zeta::app
