#include "focus/wheel_controller.h"

#include "Common/device_kind.h"
#include "Common/items.h"
#include "Common/property.h"

#include <cmath>

namespace zeta::focus {

using zeta::common::interfaceBits;
using zeta::common::numberValue;

namespace {

constexpr const char* kInfo = "INFO";
constexpr const char* kConnection = "CONNECTION";
constexpr const char* kSlot = "WHEEL_SLOT";
constexpr const char* kSlotName = "WHEEL_SLOT_NAME";
constexpr int kWheelBit = 0x10;

} // namespace

std::shared_ptr<INDIGO::Device> WheelController::wheel() const {
    std::lock_guard lock(mutex_);
    return wheel_;
}

bool WheelController::locked() const {
    return Neighbours::read(neighbours_.sequenceInProgress) || Neighbours::read(neighbours_.captureInProgress);
}

// --- Bus events ------------------------------------------------------------------------------

void WheelController::defineProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->name() != kInfo) {
        // Peers that define the slot properties after reporting the connection (INDI drivers):
        // the definition counts as the first update.
        const auto device = property->device();
        if (device && device == wheel() && device->connected() &&
            (property->name() == kSlotName || property->name() == kSlot))
            updateProperty(property);
        return;
    }
    const auto bits = interfaceBits(*property);
    if (!bits || (*bits & kWheelBit) == 0) return;
    auto device = property->device();
    main_.async([this, device] {
        wheels_.add(device);
        updateDeviceList();
    });
}

void WheelController::deleteProperty(const std::shared_ptr<INDIGO::Property>& property) {
    if (property->name() != kInfo) return;
    auto device = property->device();
    main_.async([this, device] {
        if (wheel() == device) {
            wheels_.select(0);
            wheelAction();
        }
        wheels_.remove(device->name());
        updateDeviceList();
    });
}

void WheelController::updateProperty(const std::shared_ptr<INDIGO::Property>& property) {
    const auto device = property->device();
    if (!device || device != wheel()) return;
    const std::string& name = property->name();
    if (name == kConnection) {
        if (!device->connected() && awaitingConnection_) return;
        main_.async([this] { filter_.reset(); });
        if (device->connected()) {
            awaitingConnection_ = false;
            if (auto names = device->property(kSlotName)) handleNames(names);
            if (auto slot = device->property(kSlot)) handleSlot(slot);
            return;
        }
        main_.async([this, device] {
            filters_.clear();
            selectedFilter_ = -1;
            reachedSlot_ = 0;
            {
                std::lock_guard lock(mutex_);
                if (wheel_ == device) {
                    wheel_.reset();
                    wheels_.select(0);
                }
            }
            updateGUI();
        });
    } else if (name == kSlotName) {
        handleNames(property);
    } else if (name == kSlot) {
        handleSlot(property);
    }
}

void WheelController::handleNames(const std::shared_ptr<INDIGO::Property>& property) {
    std::vector<std::string> names;
    for (const std::string& itemName : property->itemNames()) {
        // An item that is not text still stands for its slot.
        const auto text = property->item<INDIGO::TextItem>(itemName);
        names.push_back(text ? text->value() : itemName);
    }
    auto device = property->device();
    main_.async([this, device, names = std::move(names)]() mutable { updateFilterNames(device, std::move(names)); });
}

void WheelController::handleSlot(const std::shared_ptr<INDIGO::Property>& property) {
    const auto value = numberValue(property, "SLOT");
    if (!value || !std::isfinite(*value)) return;
    const double truncated = std::trunc(*value);
    const int slot = truncated > 1e6 ? 1000000 : truncated < -1e6 ? -1000000 : static_cast<int>(truncated);
    const indigo_property_state state = property->state();
    auto device = property->device();
    main_.async([this, device, slot, state] { updateSelectedFilter(device, slot, state); });
}

void WheelController::updateFilterNames(const std::shared_ptr<INDIGO::Device>& device, std::vector<std::string> names) {
    if (wheel() != device) return;
    const int remembered = selectedFilter_;
    filters_.clear();
    for (std::size_t i = 0; i < names.size(); ++i)
        filters_.push_back({std::move(names[i]), static_cast<int>(i) + 1});
    selectedFilter_ = remembered < static_cast<int>(filters_.size()) ? remembered : -1;
    if (selectedFilter_ < 0 && reachedSlot_ > 0) {
        for (std::size_t i = 0; i < filters_.size(); ++i) {
            if (filters_[i].slot != reachedSlot_) continue;
            selectedFilter_ = static_cast<int>(i);
            filter_ = filters_[i].name;
        }
    }
    updateGUI();
}

void WheelController::updateSelectedFilter(const std::shared_ptr<INDIGO::Device>& device, int slot,
                                           indigo_property_state state) {
    if (wheel() != device || !indigo()) return;
    const std::string& wheelName = device->name();
    if (slot <= 0 || state == INDIGO_BUSY_STATE) {
        reachedSlot_ = 0;
        selectedFilter_ = -1;
        filter_.reset();
        updateGUI();
        indigo()->message("'" + wheelName + "' is moving");
        return;
    }
    reachedSlot_ = slot;
    selectedFilter_ = -1;
    filter_.reset();
    for (std::size_t i = 0; i < filters_.size(); ++i) {
        if (filters_[i].slot == slot) {
            selectedFilter_ = static_cast<int>(i);
            filter_ = filters_[i].name;
        }
    }
    const int requested = requestedSlot_;
    requestedSlot_ = 0;
    updateGUI();
    if (state == INDIGO_ALERT_STATE) {
        // The wheel refused or failed the move; the slot it reports is where it stayed.
        std::string line = "'" + wheelName + "' failed to move";
        for (const Filter& f : filters_)
            if (requested > 0 && f.slot == requested) line += " to '" + f.name + "'";
        indigo()->message(line);
    } else if (filter_) {
        indigo()->message("'" + *filter_ + "' selected in '" + wheelName + "'");
    } else {
        indigo()->message("Slot " + std::to_string(slot) + " selected in '" + wheelName + "'");
    }
}

// --- Actions ---------------------------------------------------------------------------------

void WheelController::selectWheel(int index) {
    wheels_.select(index);
    wheelAction();
}

void WheelController::wheelAction() {
    if (wheels_.selectedIndex() >= 0 && indigo()) indigo()->message("'" + wheels_.selectedTitle() + "' selected");
    std::shared_ptr<INDIGO::Device> old;
    {
        std::lock_guard lock(mutex_);
        old.swap(wheel_);
    }
    auto device = wheels_.selectedDevice();
    awaitingConnection_ = device != nullptr;
    if (old && indigo()) indigo()->setSwitchItem(old->connectionProperty(), "DISCONNECTED", true);
    requestedSlot_ = 0;
    updateGUI();
    {
        std::lock_guard lock(mutex_);
        wheel_ = device;
    }
    if (device && indigo()) {
        indigo()->setSwitchItem(device->property("CONFIG"), "LOAD", true);
        indigo()->setSwitchItem(device->connectionProperty(), "CONNECTED", true);
        indigo()->setSwitchItem(device->property("CONFIG"), "LOAD", true);
    }
    updateDeviceList();
}

void WheelController::filterAction(int index) {
    const auto device = wheel();
    if (!device || !indigo()) return;
    if (index < 0 || index >= static_cast<int>(filters_.size()) || locked()) {
        showFilters(); // the view shows the selection it had
        return;
    }
    const int slot = filters_[static_cast<std::size_t>(index)].slot;
    if (const auto property = device->property(kSlot)) {
        requestedSlot_ = slot;
        reachedSlot_ = 0;
        indigo()->setNumberItems(property, {{"SLOT", static_cast<double>(slot)}});
    }
    selectedFilter_ = -1;
    updateGUI();
}

// --- Look ------------------------------------------------------------------------------------

void WheelController::showFilters() {
    if (!view_) return;
    std::vector<std::string> names;
    names.reserve(filters_.size());
    for (const Filter& f : filters_)
        names.push_back(f.name);
    view_->showFilters(names, selectedFilter_, filtersEnabled_);
}

void WheelController::updateGUI() {
    const bool preview = Neighbours::read(neighbours_.previewInProgress);
    const bool capture = Neighbours::read(neighbours_.captureInProgress);
    const bool sequence = Neighbours::read(neighbours_.sequenceInProgress);
    wheels_.setEnabled(!preview && !capture && !sequence);
    if (wheel()) {
        filtersEnabled_ = !sequence && !capture;
    } else {
        filter_.reset();
        filters_.clear();
        selectedFilter_ = -1;
        reachedSlot_ = 0;
        filtersEnabled_ = false;
    }
    showFilters();
    updateDeviceList();
}

void WheelController::updateDeviceList() {
    main_.async([this] {
        if (view_) view_->showWheels(wheels_.titles(), wheels_.selectedIndex(), wheels_.enabled());
        if (deviceListChanged_) deviceListChanged_();
    });
}

} // namespace zeta::focus
