#include "app/properties_controller.h"

#include "Common/indigo_client.h"
#include "Common/property.h"
#include "platform/constants.h"
#include "platform/dispatch.h"

namespace zeta::app {

void PropertiesController::defineProperty(const std::shared_ptr<INDIGO::Property>& property) {
    main_.async([this, property] {
        if (property->type() == INDIGO_BLOB_VECTOR && DEFAULTS().boolForKey("enableBLOBTransfer", false)) {
            if (auto client = indigo())
                dispatch::globalQueue().async([client, property] { client->enableBLOB(property, true); });
        }
        if (view_ != nullptr) view_->propertyDefined(property);
    });
}

void PropertiesController::updateProperty(const std::shared_ptr<INDIGO::Property>& property) {
    main_.async([this, property] {
        if (view_ != nullptr) view_->propertyUpdated(property);
    });
}

void PropertiesController::deleteProperty(const std::shared_ptr<INDIGO::Property>& property) {
    main_.async([this, property] {
        if (view_ != nullptr) view_->propertyDeleted(property);
    });
}

} // namespace zeta::app
