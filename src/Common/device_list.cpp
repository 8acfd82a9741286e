#include "Common/device_list.h"

namespace zeta::common {

DeviceList::DeviceList(std::string placeholder) : firstDevice_(1), selected_(0) {
    entries_.push_back({std::move(placeholder), nullptr});
}

std::vector<std::string> DeviceList::titles() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    result.reserve(entries_.size());
    for (const Entry& entry : entries_)
        result.push_back(entry.title);
    return result;
}

int DeviceList::selectedIndex() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

bool DeviceList::enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void DeviceList::selectItemWithTitle(std::string_view title) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].title == title) {
            selected_ = static_cast<int>(i);
            return;
        }
    }
}

bool DeviceList::eraseLocked(std::string_view title) {
    for (std::size_t i = firstDevice_; i < entries_.size(); ++i) {
        if (entries_[i].title != title) continue;
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
        const int removed = static_cast<int>(i);
        if (selected_ == removed)
            selected_ = -1;
        else if (selected_ > removed)
            --selected_;
        return true;
    }
    return false;
}

void DeviceList::add(const std::shared_ptr<INDIGO::Device>& device) {
    if (!device) return;
    std::lock_guard lock(mutex_);
    eraseLocked(device->name());
    entries_.push_back({device->name(), device});
}

void DeviceList::remove(std::string_view title) {
    std::lock_guard lock(mutex_);
    eraseLocked(title);
}

void DeviceList::select(int index) {
    std::lock_guard lock(mutex_);
    selected_ = (index >= 0 && index < static_cast<int>(entries_.size())) ? index : -1;
}

void DeviceList::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

std::size_t DeviceList::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::string DeviceList::selectedTitle() const {
    std::lock_guard lock(mutex_);
    return selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)].title : std::string();
}

std::shared_ptr<INDIGO::Device> DeviceList::selectedDevice() const {
    std::lock_guard lock(mutex_);
    return selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)].device : nullptr;
}

std::shared_ptr<INDIGO::Device> DeviceList::deviceAt(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < entries_.size() ? entries_[index].device : nullptr;
}

} // namespace zeta::common
