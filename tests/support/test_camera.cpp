#include "support/test_camera.h"

#include "support/request_text.h"

#include <cstring>

namespace test_support {

TestCamera::TestCamera(const std::string& name, const std::string& deviceInterface) : name_(name) {
    indigo_copy_name(device_.name, name.c_str());
    device_.version = INDIGO_VERSION_CURRENT;
    device_.private_data = this;
    device_.attach = [](indigo_device* d) {
        std::lock_guard lock(self(d)->mutex_);
        for (indigo_property* property : self(d)->properties_)
            indigo_define_property(d, property, nullptr);
        return INDIGO_OK;
    };
    device_.enumerate_properties = [](indigo_device* d, indigo_client*, indigo_property* request) {
        std::lock_guard lock(self(d)->mutex_);
        for (indigo_property* property : self(d)->properties_)
            if (indigo_property_match(property, request)) indigo_define_property(d, property, nullptr);
        return INDIGO_OK;
    };
    device_.change_property = [](indigo_device* d, indigo_client*, indigo_property* request) {
        self(d)->change(request);
        return INDIGO_OK;
    };
    device_.enable_blob = [](indigo_device* d, indigo_client*, indigo_property* property,
                             indigo_enable_blob_mode mode) {
        std::lock_guard lock(self(d)->mutex_);
        self(d)->blobModes_.push_back(std::string(property ? property->name : "") + "=" +
                                      (mode == INDIGO_ENABLE_BLOB_NEVER ? "Never" : "Also"));
        self(d)->changed_.notify_all();
        return INDIGO_OK;
    };

    auto* info =
        indigo_init_text_property(nullptr, name.c_str(), "INFO", "Main", "Info", INDIGO_OK_STATE, INDIGO_RO_PERM, 1);
    indigo_init_text_item(&info->items[0], "DEVICE_INTERFACE", "Interface", deviceInterface.c_str());
    keep(info);
    addSwitch("CONNECTION", {{"CONNECTED", "Connected", false}, {"DISCONNECTED", "Disconnected", true}});
    addSwitch("CONFIG", {{"LOAD", "Load", false}, {"SAVE", "Save", false}});
    property("CONFIG")->rule = INDIGO_AT_MOST_ONE_RULE;
}

TestCamera::~TestCamera() {
    detach();
    for (indigo_property* property : properties_)
        indigo_release_property(property);
}

indigo_property* TestCamera::keep(indigo_property* property) {
    std::lock_guard lock(mutex_);
    properties_.push_back(property);
    if (attached_) indigo_define_property(&device_, property, nullptr);
    return property;
}

indigo_property* TestCamera::addNumber(const std::string& name, const std::vector<Number>& items,
                                       indigo_property_perm perm) {
    auto* property = indigo_init_number_property(nullptr, name_.c_str(), name.c_str(), "Camera", name.c_str(),
                                                 INDIGO_OK_STATE, perm, static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        indigo_init_number_item(&property->items[i], items[i].name.c_str(), items[i].name.c_str(), items[i].min,
                                items[i].max, items[i].step, items[i].value);
    return keep(property);
}

indigo_property* TestCamera::addSwitch(const std::string& name, const std::vector<Switch>& items,
                                       indigo_property_perm perm) {
    auto* property =
        indigo_init_switch_property(nullptr, name_.c_str(), name.c_str(), "Camera", name.c_str(), INDIGO_OK_STATE, perm,
                                    INDIGO_ONE_OF_MANY_RULE, static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        indigo_init_switch_item(&property->items[i], items[i].name.c_str(), items[i].label.c_str(), items[i].value);
    return keep(property);
}

indigo_property* TestCamera::addBlob(const std::string& name, const std::string& item) {
    auto* property =
        indigo_init_blob_property(nullptr, name_.c_str(), name.c_str(), "Camera", name.c_str(), INDIGO_OK_STATE, 1);
    indigo_init_blob_item(&property->items[0], item.c_str(), item.c_str());
    return keep(property);
}

void TestCamera::addCameraProperties() {
    addNumber("CCD_INFO",
              {{"WIDTH", 0, 100000, 1, 1280}, {"HEIGHT", 0, 100000, 1, 1024}, {"PIXEL_SIZE", 0, 100, 0, 5.2}},
              INDIGO_RO_PERM);
    addNumber(
        "CCD_FRAME",
        {{"LEFT", 0, 1279, 1, 0}, {"TOP", 0, 1023, 1, 0}, {"WIDTH", 1, 1280, 1, 1280}, {"HEIGHT", 1, 1024, 1, 1024}});
    addNumber("CCD_BIN", {{"HORIZONTAL", 1, 4, 1, 1}, {"VERTICAL", 1, 4, 1, 1}});
    addNumber("CCD_EXPOSURE", {{"EXPOSURE", 0, 3600, 0, 0}});
    addBlob("CCD_IMAGE", "IMAGE");
    addNumber("CCD_GAIN", {{"GAIN", 0, 300, 10, 90}});
    addNumber("CCD_OFFSET", {{"OFFSET", 0, 255, 0, 10}});
    addNumber("CCD_GAMMA", {{"GAMMA", 0.5, 2, 0.1, 1}});
    addSwitch("CCD_MODE", {{"RAW16_1x1", "RAW 16 1x1", true}, {"RAW8_1x1", "RAW 8 1x1", false}});
    addSwitch("CCD_FRAME_TYPE", {{"LIGHT", "Light", true}, {"DARK", "Dark", false}, {"FLAT", "Flat", false}});
    addSwitch("CCD_COOLER", {{"ON", "On", false}, {"OFF", "Off", true}});
    addNumber("CCD_TEMPERATURE", {{"TEMPERATURE", -40, 40, 0, 20}});
    addNumber("CCD_COOLER_POWER", {{"POWER", 0, 100, 0, 0}}, INDIGO_RO_PERM);
}

void TestCamera::attach() {
    {
        std::lock_guard lock(mutex_);
        if (attached_) return;
        attached_ = true;
    }
    indigo_attach_device(&device_);
}

void TestCamera::detach() {
    {
        std::lock_guard lock(mutex_);
        if (!attached_) return;
        attached_ = false;
    }
    indigo_detach_device(&device_);
}

indigo_property* TestCamera::property(const std::string& name) {
    std::lock_guard lock(mutex_);
    for (indigo_property* property : properties_)
        if (name == property->name) return property;
    return nullptr;
}

void TestCamera::define(const std::string& name) {
    std::lock_guard lock(mutex_);
    indigo_define_property(&device_, property(name), nullptr);
}

void TestCamera::update(const std::string& name, indigo_property_state state) {
    std::lock_guard lock(mutex_);
    indigo_property* held = property(name);
    held->state = state;
    indigo_update_property(&device_, held, nullptr);
}

void TestCamera::setNumber(const std::string& name, const std::string& item, double value) {
    std::lock_guard lock(mutex_);
    indigo_get_item(property(name), item.c_str())->number.value = value;
}

void TestCamera::setSwitch(const std::string& name, const std::string& item, bool value) {
    std::lock_guard lock(mutex_);
    indigo_property* held = property(name);
    indigo_set_switch(held, indigo_get_item(held, item.c_str()), value);
}

bool TestCamera::switchValue(const std::string& name, const std::string& item) {
    std::lock_guard lock(mutex_);
    const indigo_item* held = indigo_get_item(property(name), item.c_str());
    return held != nullptr && held->sw.value;
}

void TestCamera::reportConnected(bool connected, indigo_property_state state) {
    std::lock_guard lock(mutex_);
    setSwitch("CONNECTION", connected ? "CONNECTED" : "DISCONNECTED", true);
    update("CONNECTION", state);
}

void TestCamera::change(const indigo_property* request) {
    std::lock_guard lock(mutex_);
    changes_.push_back(describeRequest(request));
    changed_.notify_all();

    if (onChange && onChange(*this, request)) return;
    indigo_property* held = property(request->name);
    if (held == nullptr || held->perm == INDIGO_RO_PERM) return;
    if (std::strcmp(request->name, "CONFIG") == 0) {
        held->state = INDIGO_OK_STATE;
        indigo_update_property(&device_, held, nullptr);
        return;
    }
    if (std::strcmp(request->name, "CONNECTION") == 0) {
        const indigo_item* connect = indigo_get_item(const_cast<indigo_property*>(request), "CONNECTED");
        const bool on = connect != nullptr && connect->sw.value;
        if (on && failConnect) {
            setSwitch("CONNECTION", "DISCONNECTED", true);
            update("CONNECTION", INDIGO_ALERT_STATE);
            return;
        }
        setSwitch("CONNECTION", on ? "CONNECTED" : "DISCONNECTED", true);
        update("CONNECTION", INDIGO_OK_STATE);
        return;
    }
    indigo_property_copy_values(held, request, false);
    held->state = INDIGO_OK_STATE;
    indigo_update_property(&device_, held, nullptr);
}

void TestCamera::setBlob(const std::string& name, const std::string& item, std::vector<unsigned char> bytes,
                         const std::string& format) {
    std::lock_guard lock(mutex_);
    indigo_item* held = indigo_get_item(property(name), item.c_str());
    blobs_.push_back(std::move(bytes));
    if (blobs_.size() > 4) blobs_.pop_front();
    held->blob.value = blobs_.back().data();
    held->blob.size = static_cast<int64_t>(blobs_.back().size());
    indigo_copy_name(held->blob.format, format.c_str());
}

std::vector<std::string> TestCamera::changes() {
    std::lock_guard lock(mutex_);
    return changes_;
}

void TestCamera::clearChanges() {
    std::lock_guard lock(mutex_);
    changes_.clear();
}

bool TestCamera::waitForChanges(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return changes_.size() >= count; });
}

std::vector<std::string> TestCamera::blobModes() {
    std::lock_guard lock(mutex_);
    return blobModes_;
}

} // namespace test_support
