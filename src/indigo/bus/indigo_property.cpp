// Making, sizing and comparing property records.

#include "indigo/indigo_property.h"

#include "indigo/bus/record.h"
#include "indigo/bus/text_field.h"
#include "indigo/indigo_log.h"

#include <cstring>

using zeta::indigo::allocateRecord;
using zeta::indigo::copyField;
using zeta::indigo::headerOf;
using zeta::indigo::RecordHeader;
using zeta::indigo::recordSize;

namespace {

// A record with room for count items, cleared: the one given when it is big enough,
// otherwise a new one (and the given one released).
indigo_property* prepareRecord(indigo_property* property, int count) {
    if (count < 0) {
        indigo_error("indigo: property of %d items refused", count);
        return nullptr;
    }
    RecordHeader* header = property != nullptr ? headerOf(property) : nullptr;
    if (header != nullptr && header->capacity >= count) {
        std::memset(static_cast<void*>(property), 0, recordSize(count));
        return property;
    }
    indigo_property* fresh = allocateRecord(count);
    if (fresh == nullptr) {
        indigo_error("indigo: out of memory for a property of %d items", count);
        return nullptr;
    }
    if (header != nullptr) zeta::indigo::releaseRecord(property);
    return fresh;
}

indigo_property* initProperty(indigo_property* property, indigo_property_type type, const char* device,
                              const char* name, const char* group, const char* label, indigo_property_state state,
                              indigo_property_perm perm, int count) {
    property = prepareRecord(property, count);
    if (property == nullptr) return nullptr;
    copyField(property->device, device);
    copyField(property->name, name);
    copyField(property->group, group);
    copyField(property->label, label);
    property->state = state;
    property->type = type;
    property->perm = perm;
    property->version = INDIGO_VERSION_CURRENT;
    property->count = count;
    return property;
}

void initItem(indigo_item* item, const char* name, const char* label) {
    std::memset(static_cast<void*>(item), 0, sizeof(*item));
    copyField(item->name, name);
    copyField(item->label, label);
}

bool sameName(const char* a, const char* b) {
    return std::strncmp(a, b, INDIGO_NAME_SIZE) == 0;
}

indigo_item* findItem(indigo_property* property, const char* name) {
    for (int i = 0; i < property->count; ++i) {
        if (sameName(property->items[i].name, name)) return property->items + i;
    }
    return nullptr;
}

} // namespace

extern "C" {

indigo_property* indigo_init_text_property(indigo_property* property, const char* device, const char* name,
                                           const char* group, const char* label, indigo_property_state state,
                                           indigo_property_perm perm, int count) {
    return initProperty(property, INDIGO_TEXT_VECTOR, device, name, group, label, state, perm, count);
}

indigo_property* indigo_init_number_property(indigo_property* property, const char* device, const char* name,
                                             const char* group, const char* label, indigo_property_state state,
                                             indigo_property_perm perm, int count) {
    return initProperty(property, INDIGO_NUMBER_VECTOR, device, name, group, label, state, perm, count);
}

indigo_property* indigo_init_switch_property(indigo_property* property, const char* device, const char* name,
                                             const char* group, const char* label, indigo_property_state state,
                                             indigo_property_perm perm, indigo_rule rule, int count) {
    property = initProperty(property, INDIGO_SWITCH_VECTOR, device, name, group, label, state, perm, count);
    if (property != nullptr) property->rule = rule;
    return property;
}

indigo_property* indigo_init_light_property(indigo_property* property, const char* device, const char* name,
                                            const char* group, const char* label, indigo_property_state state,
                                            int count) {
    return initProperty(property, INDIGO_LIGHT_VECTOR, device, name, group, label, state, INDIGO_RO_PERM, count);
}

indigo_property* indigo_init_blob_property(indigo_property* property, const char* device, const char* name,
                                           const char* group, const char* label, indigo_property_state state,
                                           int count) {
    return initProperty(property, INDIGO_BLOB_VECTOR, device, name, group, label, state, INDIGO_RO_PERM, count);
}

void indigo_init_text_item(indigo_item* item, const char* name, const char* label, const char* value) {
    if (item == nullptr) return;
    initItem(item, name, label);
    copyField(item->text.value, value);
}

void indigo_init_number_item(indigo_item* item, const char* name, const char* label, double min, double max,
                             double step, double value) {
    if (item == nullptr) return;
    initItem(item, name, label);
    copyField(item->number.format, "%g");
    item->number.min = min;
    item->number.max = max;
    item->number.step = step;
    item->number.value = value;
    item->number.target = value;
}

void indigo_init_switch_item(indigo_item* item, const char* name, const char* label, bool value) {
    if (item == nullptr) return;
    initItem(item, name, label);
    item->sw.value = value;
}

void indigo_init_light_item(indigo_item* item, const char* name, const char* label, indigo_property_state value) {
    if (item == nullptr) return;
    initItem(item, name, label);
    item->light.value = value;
}

void indigo_init_blob_item(indigo_item* item, const char* name, const char* label) {
    if (item == nullptr) return;
    initItem(item, name, label);
}

indigo_property* indigo_resize_property(indigo_property* property, int count) {
    if (property == nullptr) return nullptr;
    if (count < 0) {
        indigo_error("indigo: resize of %s.%s to %d items refused", property->device, property->name, count);
        return property;
    }
    RecordHeader* header = headerOf(property);
    if (header == nullptr) return property;
    if (count <= header->capacity) {
        if (count > property->count) {
            std::memset(static_cast<void*>(property->items + property->count), 0,
                        static_cast<std::size_t>(count - property->count) * sizeof(indigo_item));
        }
        property->count = count;
        return property;
    }
    // Others may hold the old record (a client reading it after its delete): it is left as
    // it is for them and the caller moves to a copy.
    indigo_property* fresh = allocateRecord(count);
    if (fresh == nullptr) {
        indigo_error("indigo: out of memory resizing %s.%s to %d items", property->device, property->name, count);
        return property;
    }
    std::memcpy(static_cast<void*>(fresh), property, recordSize(property->count));
    fresh->count = count;
    zeta::indigo::releaseRecord(property);
    return fresh;
}

void indigo_retain_property(indigo_property* property) {
    zeta::indigo::retainRecord(property);
}

void indigo_release_property(indigo_property* property) {
    zeta::indigo::releaseRecord(property);
}

bool indigo_property_match(const indigo_property* property, const indigo_property* other) {
    if (property == nullptr) return false;
    if (other == nullptr) return true;
    if (other->type != 0 && other->type != property->type) return false;
    if (other->device[0] != '\0' && !sameName(property->device, other->device)) return false;
    if (other->name[0] != '\0' && !sameName(property->name, other->name)) return false;
    return true;
}

void indigo_property_copy_values(indigo_property* property, const indigo_property* other, bool with_state) {
    if (property == nullptr || other == nullptr || property->type != other->type) return;
    if (with_state) property->state = other->state;
    if (property == other) return;
    for (int i = 0; i < other->count; ++i) {
        const indigo_item& source = other->items[i];
        indigo_item* target = findItem(property, source.name);
        if (target == nullptr) continue;
        switch (property->type) {
        case INDIGO_TEXT_VECTOR:
            copyField(target->text.value, source.text.value);
            break;
        case INDIGO_NUMBER_VECTOR:
            target->number.value = source.number.value;
            target->number.target = source.number.target;
            break;
        case INDIGO_SWITCH_VECTOR:
            indigo_set_switch(property, target, source.sw.value);
            break;
        case INDIGO_LIGHT_VECTOR:
            target->light.value = source.light.value;
            break;
        case INDIGO_BLOB_VECTOR:
            copyField(target->blob.format, source.blob.format);
            copyField(target->blob.url, source.blob.url);
            target->blob.size = source.blob.size;
            target->blob.value = source.blob.value;
            break;
        }
    }
}

void indigo_set_switch(indigo_property* property, indigo_item* item, bool value) {
    if (property == nullptr || item == nullptr || property->type != INDIGO_SWITCH_VECTOR) return;
    if (item < property->items || item >= property->items + property->count) return;
    if (value && (property->rule == INDIGO_ONE_OF_MANY_RULE || property->rule == INDIGO_AT_MOST_ONE_RULE)) {
        for (int i = 0; i < property->count; ++i)
            property->items[i].sw.value = false;
    }
    item->sw.value = value;
}

indigo_item* indigo_get_item(indigo_property* property, const char* name) {
    if (property == nullptr || name == nullptr) return nullptr;
    return findItem(property, name);
}

} // extern "C"
