#include "Common/property.h"

#include "Common/blob_item.h"
#include "Common/device.h"
#include "Common/items.h"
#include "Common/record_fields.h"
#include "Common/utf8.h"
#include "platform/gui/named_image.h"

namespace {

std::shared_ptr<INDIGO::Item> makeItem(int type, indigo_item* item,
                                       const std::shared_ptr<const RecordReference>& record) {
    switch (type) {
    case INDIGO_TEXT_VECTOR:
        return std::make_shared<INDIGO::TextItem>(item, record);
    case INDIGO_NUMBER_VECTOR:
        return std::make_shared<INDIGO::NumberItem>(item, record);
    case INDIGO_SWITCH_VECTOR:
        return std::make_shared<INDIGO::SwitchItem>(item, record);
    case INDIGO_LIGHT_VECTOR:
        return std::make_shared<INDIGO::LightItem>(item, record);
    case INDIGO_BLOB_VECTOR:
        return std::make_shared<INDIGO::BLOBItem>(item, record);
    default:
        return nullptr;
    }
}

} // namespace

INDIGO::Property::Property(std::shared_ptr<Device> device, indigo_property* record)
    : device_(std::move(device)), record_(std::make_shared<const RecordReference>(record)),
      group_(fieldText(record->group, sizeof record->group)), name_(fieldText(record->name, sizeof record->name)) {
    const int type = readCode(record->type);
    const int count = record->count > 0 ? record->count : 0;
    itemNames_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        indigo_item* item = record->items + i;
        std::string itemName = fieldText(item->name, sizeof item->name);
        itemNames_.push_back(itemName);
        if (auto made = makeItem(type, item, record_)) items_[std::move(itemName)] = std::move(made);
    }
}

INDIGO::Property::~Property() = default;

std::shared_ptr<INDIGO::Item> INDIGO::Property::item(std::string_view name) const {
    const auto found = items_.find(name);
    return found == items_.end() ? nullptr : found->second;
}

std::string INDIGO::Property::description() const {
    return fieldText(property()->label, sizeof property()->label);
}

indigo_property_state INDIGO::Property::state() const {
    const int code = readCode(property()->state);
    return code >= INDIGO_IDLE_STATE && code <= INDIGO_ALERT_STATE ? static_cast<indigo_property_state>(code)
                                                                   : INDIGO_IDLE_STATE;
}

int INDIGO::Property::type() const {
    return readCode(property()->type);
}

bool INDIGO::Property::readOnly() const {
    return readCode(property()->perm) == INDIGO_RO_PERM;
}

int INDIGO::Property::version() const {
    // The bus never writes a negative version; one that is there reads as 0.
    const int version = property()->version;
    return version < 0 ? 0 : version;
}

std::string INDIGO::Property::stateDescription() const {
    switch (readCode(property()->state)) {
    case INDIGO_OK_STATE:
        return "OK";
    case INDIGO_BUSY_STATE:
        return "Busy";
    case INDIGO_ALERT_STATE:
        return "Alert";
    default:
        return "Idle";
    }
}

std::string_view INDIGO::Property::stateImageName() const {
    return zeta::platform::statusImageNameForState(readCode(property()->state));
}

QImage INDIGO::Property::stateImage() const {
    return zeta::platform::namedImage(stateImageName());
}

void INDIGO::Property::markDeleted() {
    deleted_.store(true, std::memory_order_release);
    for (const auto& [name, item] : items_)
        if (auto* blob = dynamic_cast<BLOBItem*>(item.get())) blob->detach();
}
