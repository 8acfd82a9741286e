#include "app/properties_controller.h"

#include "Common/indigo_client.h"
#include "Common/property.h"
#include "platform/constants.h"
#include "platform/dispatch.h"

namespace zeta::app {

PropertiesController::PropertiesController() : alive_(std::make_shared<PropertiesController*>(this)) {}

PropertiesController::~PropertiesController() = default;

void PropertiesController::defineProperty(const std::shared_ptr<INDIGO::Property>& property) {
    std::weak_ptr<PropertiesController*> alive = alive_;
    dispatch::mainQueue().async([alive, property] {
        const auto self = alive.lock();
        if (!self) return;
        PropertiesController& controller = **self;
        if (property->type() == INDIGO_BLOB_VECTOR && DEFAULTS().boolForKey("enableBLOBTransfer", false)) {
            if (auto client = controller.indigo())
                dispatch::globalQueue().async([client, property] { client->enableBLOB(property, true); });
        }
        if (controller.view_ != nullptr) controller.view_->propertyDefined(property);
    });
}

void PropertiesController::updateProperty(const std::shared_ptr<INDIGO::Property>& property) {
    std::weak_ptr<PropertiesController*> alive = alive_;
    dispatch::mainQueue().async([alive, property] {
        const auto self = alive.lock();
        if (self && (*self)->view_ != nullptr) (*self)->view_->propertyUpdated(property);
    });
}

void PropertiesController::deleteProperty(const std::shared_ptr<INDIGO::Property>& property) {
    std::weak_ptr<PropertiesController*> alive = alive_;
    dispatch::mainQueue().async([alive, property] {
        const auto self = alive.lock();
        if (self && (*self)->view_ != nullptr) (*self)->view_->propertyDeleted(property);
    });
}

} // namespace zeta::app
