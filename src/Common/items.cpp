#include "Common/items.h"

#include "Common/record_fields.h"
#include "Common/utf8.h"

INDIGO::Item::Item(indigo_item* item, std::shared_ptr<const RecordReference> record)
    : item_(item), record_(std::move(record)), name_(fieldText(item->name, sizeof item->name)) {}

INDIGO::Item::~Item() = default;

std::string INDIGO::Item::description() const {
    return fieldText(item_->label, sizeof item_->label);
}

std::string INDIGO::TextItem::value() const {
    return fieldText(item()->text.value, sizeof item()->text.value);
}

std::string INDIGO::NumberItem::format() const {
    return fieldText(item()->number.format, sizeof item()->number.format);
}

bool INDIGO::SwitchItem::value() const {
    return readFlag(item()->sw.value);
}

int INDIGO::LightItem::value() const {
    return readCode(item()->light.value);
}
