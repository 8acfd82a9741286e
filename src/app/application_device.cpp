#include "app/application_device.h"

#include "indigo/indigo_property.h"
#include "platform/constants.h"

#include <cstring>

namespace zeta::app {

namespace {

const char* const kListNames[3] = {"CAMERA_LIST", "WHEEL_LIST", "FOCUSER_LIST"};
const char* const kListLabels[3] = {"Camera list", "Wheel list", "Focuser list"};
const char* const kBusyMessages[3] = {"Camera is busy", "Wheel is busy", "Focuser is busy"};

// The device's calls reach the controller that owns it; it stays attached until the controller goes.
DeviceController& owner(indigo_device* device) {
    return *static_cast<DeviceController*>(device->private_data);
}

indigo_result attachCallback(indigo_device* device) {
    return owner(device).attach();
}

indigo_result enumerateCallback(indigo_device* device, indigo_client* client, indigo_property* property) {
    return owner(device).enumerateProperties(client, property);
}

indigo_result changeCallback(indigo_device* device, indigo_client* client, indigo_property* property) {
    return owner(device).changeProperty(client, property);
}

indigo_result enableBlobCallback(indigo_device*, indigo_client*, indigo_property*, indigo_enable_blob_mode) {
    return INDIGO_OK;
}

indigo_result detachCallback(indigo_device*) {
    return INDIGO_OK;
}

indigo_property_perm permissionFor(bool enabled) {
    return enabled ? INDIGO_RW_PERM : INDIGO_RO_PERM;
}

} // namespace

const char* listPropertyName(DeviceController::Panel panel) {
    return kListNames[panel];
}

DeviceController::DeviceController() : alive_(std::make_shared<DeviceController*>(this)) {
    indigo_copy_name(device_.name, APP_NAME().c_str());
    device_.version = INDIGO_VERSION_2_0;
    device_.last_result = INDIGO_OK;
    device_.attach = attachCallback;
    device_.enumerate_properties = enumerateCallback;
    device_.change_property = changeCallback;
    device_.enable_blob = enableBlobCallback;
    device_.detach = detachCallback;
    device_.private_data = this;
}

DeviceController::~DeviceController() {
    alive_.reset();
    waitForRebuilds();
    if (attached_) indigo_detach_device(&device_);
    for (auto& list : lists_)
        indigo_release_property(list.property);
    indigo_release_property(infoProperty_);
}

void DeviceController::connectPanel(Panel panel, std::weak_ptr<DevicePopup> popup, std::function<void()> action) {
    std::lock_guard lock(mutex_);
    lists_[panel].popup = std::move(popup);
    lists_[panel].action = std::move(action);
    lists_[panel].connected = true;
}

void DeviceController::initialize() {
    if (attached_) return;
    attached_ = indigo_attach_device(&device_) == INDIGO_OK;
}

indigo_result DeviceController::attach() {
    std::lock_guard lock(mutex_);
    if (infoProperty_ == nullptr) {
        infoProperty_ = indigo_init_text_property(nullptr, device_.name, "INFO", "Main", "Device info",
                                                  INDIGO_IDLE_STATE, INDIGO_RO_PERM, 3);
        const std::string version = APP_VERSION() + "_" + APP_BUILD();
        indigo_init_text_item(&infoProperty_->items[0], "DEVICE_NAME", "Device name", APP_NAME().c_str());
        indigo_init_text_item(&infoProperty_->items[1], "DEVICE_VERSION", "Device version", version.c_str());
        indigo_init_text_item(&infoProperty_->items[2], "DEVICE_INTERFACE", "Interface", "0");
    }
    for (int panel = Camera; panel <= Focuser; ++panel) {
        List& list = lists_[panel];
        if (!list.connected || list.property != nullptr) continue;
        list.property =
            indigo_init_switch_property(nullptr, device_.name, kListNames[panel], "Main", kListLabels[panel],
                                        INDIGO_IDLE_STATE, INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 0);
    }
    return enumerateProperties(nullptr, nullptr);
}

indigo_result DeviceController::enumerateProperties(indigo_client*, indigo_property* request) {
    std::lock_guard lock(mutex_);
    if (infoProperty_ != nullptr && indigo_property_match(infoProperty_, request))
        indigo_define_property(&device_, infoProperty_, nullptr);
    for (auto& list : lists_) {
        if (list.property != nullptr && indigo_property_match(list.property, request))
            indigo_define_property(&device_, list.property, nullptr);
    }
    return INDIGO_OK;
}

indigo_result DeviceController::changeProperty(indigo_client*, indigo_property* request) {
    std::lock_guard lock(mutex_);
    for (int panel = Camera; panel <= Focuser; ++panel) {
        List& list = lists_[panel];
        if (list.property == nullptr || request == nullptr || request->type != INDIGO_SWITCH_VECTOR ||
            std::strcmp(request->device, device_.name) != 0 || std::strcmp(request->name, list.property->name) != 0)
            continue;
        const std::shared_ptr<DevicePopup> popup = list.popup.lock();
        if (!popup) continue;
        // A busy window refuses before anything is copied, so the list never shows the
        // refused choice.
        if (!popup->enabled()) {
            list.property->state = INDIGO_ALERT_STATE;
            indigo_update_property(&device_, list.property, kBusyMessages[panel]);
            return INDIGO_OK;
        }
        const indigo_item* chosen = nullptr;
        for (int i = 0; i < request->count && chosen == nullptr; ++i) {
            if (request->items[i].sw.value && indigo_get_item(list.property, request->items[i].name) != nullptr)
                chosen = &request->items[i];
        }
        if (chosen == nullptr) return INDIGO_OK;
        const std::string title = chosen->name;
        indigo_property_copy_values(list.property, request, false);
        list.property->state = INDIGO_BUSY_STATE;
        indigo_update_property(&device_, list.property, nullptr);
        std::weak_ptr<DevicePopup> weakPopup = list.popup;
        std::weak_ptr<DeviceController*> alive = alive_;
        std::function<void()> action = list.action;
        dispatch::mainQueue().async([alive, weakPopup, title, action] {
            if (alive.expired()) return;
            const std::shared_ptr<DevicePopup> target = weakPopup.lock();
            if (!target) return;
            target->selectItemWithTitle(title);
            if (action) action();
        });
        return INDIGO_OK;
    }
    return INDIGO_OK;
}

void DeviceController::updateList(Panel panel) {
    // Queued without waiting: a rebuild defines to every client, and the main queue must not
    // wait on that.
    std::weak_ptr<DeviceController*> alive = alive_;
    indigoSyncQueue_.async([this, alive, panel] {
        if (alive.expired()) return;
        rebuild(panel);
    });
}

void DeviceController::waitForRebuilds() {
    indigoSyncQueue_.sync([] {});
}

void DeviceController::rebuild(Panel panel) {
    std::lock_guard lock(mutex_);
    List& list = lists_[panel];
    if (list.property == nullptr) return;
    const std::shared_ptr<DevicePopup> popup = list.popup.lock();
    if (!popup) return;
    const std::vector<std::string> titles = popup->titles();
    const int selected = popup->selectedIndex();
    const bool enabled = popup->enabled();
    const int count = static_cast<int>(titles.size());

    // The same entries (names as the bus keeps them, cut to fit) only move the selection.
    bool same = count == list.property->count;
    for (int i = 0; same && i < count; ++i) {
        char name[INDIGO_NAME_SIZE];
        indigo_copy_name(name, titles[static_cast<std::size_t>(i)].c_str());
        same = std::strcmp(name, list.property->items[i].name) == 0;
    }
    if (same) {
        for (int i = 0; i < count; ++i)
            list.property->items[i].sw.value = i == selected;
        list.property->state = INDIGO_OK_STATE;
        if (list.property->perm == permissionFor(enabled)) {
            indigo_update_property(&device_, list.property, nullptr);
            return;
        }
        indigo_delete_property(&device_, list.property, nullptr);
    } else {
        indigo_delete_property(&device_, list.property, nullptr);
        list.property = indigo_resize_property(list.property, count);
        for (int i = 0; i < count; ++i) {
            const char* title = titles[static_cast<std::size_t>(i)].c_str();
            indigo_init_switch_item(&list.property->items[i], title, title, i == selected);
        }
        list.property->state = INDIGO_OK_STATE;
    }
    list.property->perm = permissionFor(enabled);
    indigo_define_property(&device_, list.property, nullptr);
}

} // namespace zeta::app
