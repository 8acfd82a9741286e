#include "app/window_set.h"

#include "app/main_window.h"
#include "app/zt_app_delegate.h"
#include "imaging/batch/batch_controller.h"
#include "imaging/batch/batch_widget.h"
#include "imaging/window/focus_panel_widgets.h"
#include "imaging/window/image_controller.h"
#include "imaging/window/image_window.h"
#include "solver/solver_browser.h"
#include "solver/solver_controller.h"
#include "solver/solver_panel.h"

namespace zeta::app {

WindowSet::WindowSet()
    : image_(std::make_unique<ZTImageController>()), batch_(std::make_unique<BatchController>()),
      solver_(std::make_unique<SolverController>()) {
    batch_->setImageHandler([image = image_.get()](std::shared_ptr<Image> frame) { image->setImage(std::move(frame)); });
    solver_->setCurrentImageSource([image = image_.get()] { return image->current(); });
}

WindowSet::~WindowSet() = default;

void WindowSet::registerControllers(ZTAppDelegate& delegate) {
    delegate.addWindowController(image_.get());
    delegate.addWindowController(batch_.get());
    delegate.addWindowController(solver_.get());
}

void WindowSet::buildWidgets(MainWindow& window) {
    auto* imageWindow = new ImageWindow(*image_);
    image_->setView(imageWindow);
    image_->awakeFromNib();
    window.setCentralView(imageWindow);
    window.addWindow(QObject::tr("PSF"), imageWindow->psfPanel());
    window.addWindow(QObject::tr("Drift"), imageWindow->driftPanel());
    window.addWindow(QObject::tr("Bahtinov"), imageWindow->bahtinovPanel());

    batchWidget_ = std::make_unique<BatchWidget>(*batch_);
    window.addWindow(QObject::tr("Capture Batches"), batchWidget_.get());

    solverPanel_ = std::make_unique<SolverPanel>(*solver_);
    if (solver_->awakeFromNib()) {
        solverBrowser_ = std::make_unique<zeta::solver::SolverBrowser>(*solver_);
        solverBrowser_->start();
    }
    window.addWindow(QObject::tr("Plate Solver"), solverPanel_.get());
}

void WindowSet::detachViews() {
    solverBrowser_.reset();
    image_->setView(nullptr);
    batch_->setView(nullptr);
    solver_->setView(nullptr);
}

} // namespace zeta::app
