#pragma once
// The device popups of the camera, focuser and filter-wheel windows, as the application's
// own INDIGO device sees them: the entry titles in the window's order, the selected entry and
// whether the window may switch devices now.
//
// Any thread may read a popup (the application device rebuilds its lists off the main
// thread); changes come from the main queue.

#include "Common/device.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::common {

// What the application device reads of a window's device popup and how it picks an entry.
// After selectItemWithTitle() the device runs the window's selection action (cameraAction(),
// focuserAction() or wheelAction()) on the main queue.
class DevicePopup {
public:
    virtual ~DevicePopup() = default;
    virtual std::vector<std::string> titles() const = 0;
    // The selected entry, -1 when none is.
    virtual int selectedIndex() const = 0;
    virtual bool enabled() const = 0;
    // Selects the entry of that title; no change when there is none.
    virtual void selectItemWithTitle(std::string_view title) = 0;
};

// The popup's entries: a title and the device it stands for. A list made with a placeholder
// has it as entry 0, carrying no device, selected at first and never removed: the window
// falls back to it when its device goes away. One without starts empty, nothing selected.
class DeviceList final : public DevicePopup {
public:
    DeviceList() = default;
    explicit DeviceList(std::string placeholder);

    std::vector<std::string> titles() const override;
    int selectedIndex() const override;
    bool enabled() const override;
    void selectItemWithTitle(std::string_view title) override;

    // Appends an entry titled with the device's name; an entry of that title is replaced
    // (the replacement goes to the end). The selection stays on the entry it was on, or on
    // none when that entry was replaced.
    void add(const std::shared_ptr<INDIGO::Device>& device);
    // Removes the entry of that title, if any (never the placeholder).
    void remove(std::string_view title);
    // Selects an entry; an index outside the list selects none.
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
    // With the lock held: removes the device entry of that title; false when there is none.
    bool eraseLocked(std::string_view title);

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::size_t firstDevice_ = 0; // 1 past a placeholder
    int selected_ = -1;
    bool enabled_ = true;
};

} // namespace zeta::common
