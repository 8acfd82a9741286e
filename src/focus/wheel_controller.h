#pragma once
// WheelController: the filter-wheel window. It lists the filter wheels of the bus, connects the
// one chosen, shows its filters by name (one entry per slot, so repeated names keep their
// slots) and moves it to the filter chosen.
//
// Threads: bus events arrive on "indigoSyncQueue" and hop to the main queue; actions,
// updateGUI() and the view run on the main queue. The lists and filter() change only there.
//
// The camera window locks the wheel while it captures: its captureInProgress reader (and the
// sequencer's) disables the filter list, and filterAction() then sends nothing. The camera
// window calls updateGUI() after changing those flags so that the lock shows at once.
//
// Lifetime: as FocuserController (outlives the bus events and the main-queue tasks it queued).

#include "Common/base_controller.h"
#include "Common/main_hop.h"
#include "focus/device_popup.h"
#include "focus/neighbours.h"
#include "focus/wheel_view.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zeta::focus {

class WheelController : public BaseController {
public:
    WheelController() = default;

    void setView(WheelView* view) { view_ = view; }
    void setNeighbours(Neighbours neighbours) { neighbours_ = std::move(neighbours); }
    // Called on the main queue after every change of the popup or its enabled state (the
    // application device republishes WHEEL_LIST from wheelsPopUp()).
    void setDeviceListChanged(std::function<void()> changed) { deviceListChanged_ = std::move(changed); }
    DevicePopup& wheelsPopUp() { return wheels_; }

    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void deleteProperty(const std::shared_ptr<INDIGO::Property>& property) override;
    void savePreferences() override { updateGUI(); }

    // Selects and connects the wheel of the popup's selected entry (main queue).
    void wheelAction();
    // The view's popup chose an entry.
    void selectWheel(int index);
    // Moves the wheel to the slot of that filter entry; an index outside the list, no wheel or
    // a locked list sends nothing (main queue).
    void filterAction(int index);

    // Enable rules, then updateDeviceList() (main queue).
    void updateGUI();
    // Tells the application device that the popup changed (any thread; runs on the main queue).
    void updateDeviceList();

    std::shared_ptr<INDIGO::Device> wheel() const;
    // Name of the slot the wheel last reported reaching (main queue).
    const std::optional<std::string>& filter() const { return filter_; }

private:
    struct Filter {
        std::string name;
        int slot = 0;
    };
    void updateFilterNames(const std::shared_ptr<INDIGO::Device>& device, std::vector<std::string> names);
    void updateSelectedFilter(const std::shared_ptr<INDIGO::Device>& device, int slot, indigo_property_state state);
    void handleNames(const std::shared_ptr<INDIGO::Property>& property);
    void handleSlot(const std::shared_ptr<INDIGO::Property>& property);
    void showFilters();
    bool locked() const;

    WheelView* view_ = nullptr;
    Neighbours neighbours_;
    DeviceList wheels_{"No wheel"};
    std::function<void()> deviceListChanged_;

    mutable std::mutex mutex_; // wheel_: written on the main queue, read by the bus handlers
    std::shared_ptr<INDIGO::Device> wheel_;
    // Set from a selection until the wheel reports itself connected: the disconnection a
    // reselection of the same wheel causes must not drop it again.
    std::atomic<bool> awaitingConnection_{false};

    // Main queue only.
    std::vector<Filter> filters_;
    int selectedFilter_ = -1;
    bool filtersEnabled_ = false;
    std::optional<std::string> filter_;
    int requestedSlot_ = 0;
    // The slot the wheel last reported reaching (0 while moving or unknown): names that arrive
    // after the slot still show it.
    int reachedSlot_ = 0;
    // Last: it goes first, and the main-queue work still queued then does nothing.
    zeta::common::MainHop main_;
};

} // namespace zeta::focus
