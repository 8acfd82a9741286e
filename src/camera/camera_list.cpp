#include "camera/device_popup.h"

namespace zeta::camera {

std::vector<std::string> CameraList::titles() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    result.reserve(entries_.size());
    for (const Entry& entry : entries_)
        result.push_back(entry.title);
    return result;
}

int CameraList::selectedIndex() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

bool CameraList::enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void CameraList::selectItemWithTitle(std::string_view title) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].title == title) {
            selected_ = static_cast<int>(i);
            return;
        }
    }
}

void CameraList::eraseLocked(std::size_t index) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    const int removed = static_cast<int>(index);
    if (selected_ == removed)
        selected_ = -1;
    else if (selected_ > removed)
        --selected_;
}

void CameraList::add(const std::shared_ptr<INDIGO::Device>& device) {
    if (!device) return;
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].title == device->name()) {
            eraseLocked(i);
            break;
        }
    }
    entries_.push_back({device->name(), device});
}

void CameraList::remove(std::string_view title) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].title == title) {
            eraseLocked(i);
            return;
        }
    }
}

void CameraList::select(int index) {
    std::lock_guard lock(mutex_);
    selected_ = (index >= 0 && index < static_cast<int>(entries_.size())) ? index : -1;
}

void CameraList::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

std::size_t CameraList::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::string CameraList::selectedTitle() const {
    std::lock_guard lock(mutex_);
    return selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)].title : std::string();
}

std::shared_ptr<INDIGO::Device> CameraList::selectedDevice() const {
    std::lock_guard lock(mutex_);
    return selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)].device : nullptr;
}

std::shared_ptr<INDIGO::Device> CameraList::deviceAt(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < entries_.size() ? entries_[index].device : nullptr;
}

} // namespace zeta::camera
