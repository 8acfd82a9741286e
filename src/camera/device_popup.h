#pragma once
// The camera popup as the application's own INDIGO device sees it: the entry titles in the
// window's order, the selected entry and whether the window may switch cameras now. Unlike
// the focuser's list it has no entry without a device.
//
// Any thread may read the popup (the application device rebuilds its lists off the main
// thread); changes come from the main queue.

#include "Common/device.h"
#include "focus/device_popup.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::camera {

// The camera popup is a device popup like the focuser's and the filter wheel's, so the
// application device treats all three alike. After selectItemWithTitle() it runs
// CameraController::cameraAction() on the main queue.
using DevicePopup = zeta::focus::DevicePopup;

// The camera list: one entry per camera, titled with its device name.
class CameraList final : public DevicePopup {
public:
    std::vector<std::string> titles() const override;
    int selectedIndex() const override;
    bool enabled() const override;
    void selectItemWithTitle(std::string_view title) override;

    // Appends an entry for the device; an entry of the same title goes first (so the device
    // moves to the end). The selection stays on its entry, or on none when that one went.
    void add(const std::shared_ptr<INDIGO::Device>& device);
    // Removes the entry of that title, if any.
    void remove(std::string_view title);
    // An index outside the list selects none.
    void select(int index);
    void setEnabled(bool enabled);

    std::size_t size() const;
    std::string selectedTitle() const;
    std::shared_ptr<INDIGO::Device> selectedDevice() const;
    std::shared_ptr<INDIGO::Device> deviceAt(std::size_t index) const;

private:
    struct Entry {
        std::string title;
        std::shared_ptr<INDIGO::Device> device;
    };
    void eraseLocked(std::size_t index);

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    int selected_ = -1;
    bool enabled_ = true;
};

} // namespace zeta::camera
