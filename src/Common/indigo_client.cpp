#include "Common/indigo_client.h"

#include "Common/blob_item.h"
#include "Common/device.h"
#include "Common/indigo_delegate.h"
#include "Common/items.h"
#include "Common/property.h"
#include "Common/record_fields.h"
#include "Common/utf8.h"
#include "indigo/indigo_log.h"
#include "platform/system_log.h"

#include <exception>

namespace {

constexpr const char* kConnectionProperty = "CONNECTION";
constexpr const char* kConnectedItem = "CONNECTED";

// Nothing may be thrown back into the bus, which is C.
template <class Step>
void guarded(Step&& step) {
    try {
        step();
    } catch (const std::exception& error) {
        zeta::platform::systemLog(std::string("INDIGO event failed: ") + error.what());
    } catch (...) {
        zeta::platform::systemLog("INDIGO event failed");
    }
}

} // namespace

INDIGO* INDIGO::instance() {
    return publishedInstance().load(std::memory_order_acquire);
}

// --- Model -------------------------------------------------------------------------------------

StringMap<std::shared_ptr<INDIGO::Device>> INDIGO::devices() const {
    std::shared_lock lock(modelMutex_);
    return devices_;
}

std::shared_ptr<INDIGO::Device> INDIGO::device(std::string_view name) const {
    std::shared_lock lock(modelMutex_);
    const auto found = devices_.find(name);
    return found == devices_.end() ? nullptr : found->second;
}

std::shared_ptr<INDIGO::Device> INDIGO::lookupDevice(const indigo_property* record) {
    const std::string name = fieldText(record->device, sizeof record->device);
    std::unique_lock lock(modelMutex_);
    auto& slot = devices_[name];
    if (!slot) slot = std::make_shared<Device>(name);
    return slot;
}

void INDIGO::defineProperty(indigo_property* record) {
    if (record != nullptr) runOnSyncQueue([this, record] { defineStep(record); });
}

void INDIGO::updateProperty(indigo_property* record) {
    if (record != nullptr) runOnSyncQueue([this, record] { updateStep(record); });
}

void INDIGO::deleteProperty(indigo_property* record) {
    if (record != nullptr) runOnSyncQueue([this, record] { deleteStep(record); });
}

void INDIGO::runOnSyncQueue(const std::function<void()>& step) {
    // An event raised from a delegate already running on the queue is applied in place:
    // waiting for the queue from its own thread would never end.
    if (indigoSyncQueue_.isCurrent())
        step();
    else
        indigoSyncQueue_.sync(step);
}

void INDIGO::defineStep(indigo_property* record) {
    const auto device = lookupDevice(record);
    if (device->property(fieldText(record->name, sizeof record->name))) return;
    const auto property = device->lookupProperty(record);
    if (property->name() == kConnectionProperty) {
        if (const auto connected = property->item<SwitchItem>(kConnectedItem))
            device->setConnected(property->state() == INDIGO_OK_STATE && connected->value());
    }
    tellDelegates([&](INDIGODelegate* delegate) { delegate->defineProperty(property); });
}

void INDIGO::updateStep(indigo_property* record) {
    // A device the model does not hold is not made here: only a definition brings one in.
    const auto device = this->device(fieldText(record->device, sizeof record->device));
    if (!device) return;
    const auto property = device->property(fieldText(record->name, sizeof record->name));
    if (!property) return;
    if (property->name() == kConnectionProperty) {
        if (const auto connected = property->item<SwitchItem>(kConnectedItem)) device->setConnected(connected->value());
    } else if (property->type() == INDIGO_BLOB_VECTOR) {
        for (const auto& [name, item] : property->items())
            if (auto* blob = dynamic_cast<BLOBItem*>(item.get())) blob->reset();
    }
    tellDelegates([&](INDIGODelegate* delegate) { delegate->updateProperty(property); });
}

void INDIGO::deleteStep(indigo_property* record) {
    const auto device = this->device(fieldText(record->device, sizeof record->device));
    if (!device) return;
    const std::string name = fieldText(record->name, sizeof record->name);
    if (record->name[0] == '\0') {
        std::vector<std::string> names;
        for (const auto& [held, property] : device->properties())
            names.push_back(held);
        for (const std::string& held : names)
            removeProperty(device, held);
    } else if (!name.empty()) {
        removeProperty(device, name);
    }
}

void INDIGO::removeProperty(const std::shared_ptr<Device>& device, const std::string& name) {
    const auto property = device->removeProperty(name);
    if (!property) return;
    property->markDeleted();
    if (device->propertyCount() == 0) {
        {
            std::unique_lock lock(modelMutex_);
            if (const auto found = devices_.find(device->name()); found != devices_.end() && found->second == device)
                devices_.erase(found);
        }
        // The device is gone from the bus; its remembered CONNECTION would otherwise keep it
        // (and itself) alive for ever through the property's owning reference.
        device->forgetConnectionProperty();
    }
    tellDelegates([&](INDIGODelegate* delegate) { delegate->deleteProperty(property); });
}

// --- Delegates -----------------------------------------------------------------------------------

void INDIGO::addDelegate(INDIGODelegate* delegate) {
    if (delegate == nullptr) return;
    std::lock_guard lock(delegatesMutex_);
    auto grown = std::make_shared<std::vector<INDIGODelegate*>>(*delegates_);
    grown->push_back(delegate);
    delegates_ = std::move(grown);
}

std::vector<INDIGODelegate*> INDIGO::delegates() const {
    return *delegateList();
}

std::shared_ptr<const std::vector<INDIGODelegate*>> INDIGO::delegateList() const {
    std::lock_guard lock(delegatesMutex_);
    return delegates_;
}

// --- Bus callbacks -------------------------------------------------------------------------------

void INDIGO::logEventMessage(INDIGO* self, const char* message) {
    if (self == nullptr || message == nullptr) return;
    const std::string_view text(message);
    // A message the bus could not have meant as text is not shown.
    if (isValidUTF8(text)) self->message(text);
}

indigo_result INDIGO::clientAttach(indigo_client*) {
    const InstanceUse use;
    if (use.self != nullptr && indigo_get_log_level() == INDIGO_LOG_INFO)
        use.self->message("INDIGO Client attached...");
    return INDIGO_OK;
}

indigo_result INDIGO::clientDetach(indigo_client*) {
    const InstanceUse use;
    if (use.self != nullptr && indigo_get_log_level() == INDIGO_LOG_INFO)
        use.self->message("INDIGO Client detached...");
    return INDIGO_OK;
}

indigo_result INDIGO::clientDefineProperty(indigo_client*, indigo_device*, indigo_property* property,
                                           const char* message) {
    const InstanceUse use;
    if (use.self == nullptr || property == nullptr) return INDIGO_OK;
    guarded([&] { use.self->defineProperty(property); });
    logEventMessage(use.self, message);
    return INDIGO_OK;
}

indigo_result INDIGO::clientUpdateProperty(indigo_client*, indigo_device*, indigo_property* property,
                                           const char* message) {
    const InstanceUse use;
    if (use.self == nullptr || property == nullptr) return INDIGO_OK;
    guarded([&] { use.self->updateProperty(property); });
    logEventMessage(use.self, message);
    return INDIGO_OK;
}

indigo_result INDIGO::clientDeleteProperty(indigo_client*, indigo_device*, indigo_property* property,
                                           const char* message) {
    const InstanceUse use;
    if (use.self == nullptr || property == nullptr) return INDIGO_OK;
    guarded([&] { use.self->deleteProperty(property); });
    logEventMessage(use.self, message);
    return INDIGO_OK;
}

indigo_result INDIGO::clientSendMessage(indigo_client*, indigo_device*, const char* message) {
    const InstanceUse use;
    logEventMessage(use.self, message);
    return INDIGO_OK;
}

void INDIGO::logMessageHandler(const char* message) {
    const InstanceUse use;
    if (use.self == nullptr || message == nullptr) return;
    use.self->message(replacingInvalidUTF8(message));
}
