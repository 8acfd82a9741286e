#pragma once
// PropertiesController: hands the bus's define, update and delete events to the property
// browser on the main queue, and asks for BLOB delivery of newly defined BLOB properties when
// "enableBLOBTransfer" is on. The events carry the model objects themselves (reference
// counted), so the browser may read a property after the bus has deleted it.

#include "Common/base_controller.h"
#include "Common/indigo.h"
#include "Common/main_hop.h"

#include <memory>

namespace zeta::app {

class PropertiesView {
public:
    virtual ~PropertiesView() = default;
    virtual void propertyDefined(const std::shared_ptr<INDIGO::Property>& property) = 0;
    virtual void propertyUpdated(const std::shared_ptr<INDIGO::Property>& property) = 0;
    virtual void propertyDeleted(const std::shared_ptr<INDIGO::Property>& property) = 0;
};

class PropertiesController : public BaseController {
public:
    // The browser; set and cleared on the main queue.
    void setView(PropertiesView* view) { view_ = view; }

    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void deleteProperty(const std::shared_ptr<INDIGO::Property>& property) override;

private:
    PropertiesView* view_ = nullptr;
    zeta::common::MainHop main_;
};

} // namespace zeta::app
