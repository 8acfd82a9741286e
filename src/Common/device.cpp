#include "Common/device.h"

#include "Common/property.h"
#include "Common/utf8.h"

#include <cstring>

INDIGO::Group::Group(std::string name) : name_(std::move(name)) {}

StringMap<std::shared_ptr<INDIGO::Property>> INDIGO::Group::properties() const {
    std::lock_guard lock(mutex_);
    return properties_;
}

std::shared_ptr<INDIGO::Property> INDIGO::Group::property(std::string_view name) const {
    std::lock_guard lock(mutex_);
    const auto found = properties_.find(name);
    return found == properties_.end() ? nullptr : found->second;
}

void INDIGO::Group::addProperty(const std::shared_ptr<Property>& property) {
    std::lock_guard lock(mutex_);
    properties_[property->name()] = property;
}

bool INDIGO::Group::removeProperty(std::string_view name) {
    std::lock_guard lock(mutex_);
    if (const auto found = properties_.find(name); found != properties_.end()) properties_.erase(found);
    return properties_.empty();
}

INDIGO::Device::Device(std::string name) : name_(std::move(name)) {}

StringMap<std::shared_ptr<INDIGO::Property>> INDIGO::Device::properties() const {
    std::lock_guard lock(mutex_);
    return properties_;
}

std::shared_ptr<INDIGO::Property> INDIGO::Device::property(std::string_view name) const {
    std::lock_guard lock(mutex_);
    const auto found = properties_.find(name);
    return found == properties_.end() ? nullptr : found->second;
}

std::size_t INDIGO::Device::propertyCount() const {
    std::lock_guard lock(mutex_);
    return properties_.size();
}

StringMap<std::shared_ptr<INDIGO::Group>> INDIGO::Device::groups() const {
    std::lock_guard lock(mutex_);
    return groups_;
}

std::shared_ptr<INDIGO::Group> INDIGO::Device::group(std::string_view name) const {
    std::lock_guard lock(mutex_);
    const auto found = groups_.find(name);
    return found == groups_.end() ? nullptr : found->second;
}

std::shared_ptr<INDIGO::Property> INDIGO::Device::connectionProperty() const {
    std::lock_guard lock(mutex_);
    return connectionProperty_;
}

void INDIGO::Device::forgetConnectionProperty() {
    std::lock_guard lock(mutex_);
    connectionProperty_.reset();
}

std::shared_ptr<INDIGO::Property> INDIGO::Device::lookupProperty(indigo_property* record) {
    const std::string name = fieldText(record->name, sizeof record->name);
    if (auto existing = property(name)) return existing;

    // Built outside the lock: the items read the record, which takes a while for big ones.
    auto made = std::make_shared<Property>(shared_from_this(), record);
    std::lock_guard lock(mutex_);
    auto [slot, inserted] = properties_.try_emplace(name, made);
    if (!inserted) return slot->second;
    auto& group = groups_[made->group()];
    if (!group) group = std::make_shared<Group>(made->group());
    group->addProperty(made);
    if (name == "CONNECTION") connectionProperty_ = made;
    return made;
}

std::shared_ptr<INDIGO::Property> INDIGO::Device::removeProperty(std::string_view name) {
    std::lock_guard lock(mutex_);
    const auto found = properties_.find(name);
    if (found == properties_.end()) return nullptr;
    std::shared_ptr<Property> removed = std::move(found->second);
    properties_.erase(found);
    if (const auto group = groups_.find(removed->group()); group != groups_.end()) {
        if (group->second->removeProperty(removed->name())) groups_.erase(group);
    }
    return removed;
}

void INDIGO::Device::clear() {
    std::lock_guard lock(mutex_);
    properties_.clear();
    groups_.clear();
    connectionProperty_.reset();
}
