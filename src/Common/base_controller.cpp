#include "Common/base_controller.h"

BaseController::BaseController() = default;
BaseController::~BaseController() = default;

void BaseController::lock() {
    semaphore_.wait();
}

void BaseController::unlock() {
    semaphore_.signal();
}

bool BaseController::tryLock() {
    return semaphore_.tryWait();
}

bool BaseController::canQuit() {
    return true;
}

void BaseController::setIndigo(std::shared_ptr<INDIGO> indigo) {
    indigo_ = std::move(indigo);
    if (indigo_) indigo_->addDelegate(this);
}
