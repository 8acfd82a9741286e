#pragma once
// A controller that records what the client tells its delegates, as "define DEVICE.NAME" and
// the like, for tests of the client layer and the windows built on it.

#include "Common/base_controller.h"
#include "Common/device.h"
#include "Common/property.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace test_support {

class RecordingController : public BaseController {
public:
    explicit RecordingController(std::string tag = {}) : tag_(std::move(tag)) {}

    void initialize() override { add("initialize"); }
    void defineProperty(const std::shared_ptr<INDIGO::Property>& property) override { event("define", property); }
    void updateProperty(const std::shared_ptr<INDIGO::Property>& property) override { event("update", property); }
    void deleteProperty(const std::shared_ptr<INDIGO::Property>& property) override { event("delete", property); }
    void message(const std::string& text) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }

    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::shared_ptr<INDIGO::Property> last() {
        std::lock_guard lock(mutex_);
        return properties_.empty() ? nullptr : properties_.back();
    }
    // Runs inside every define, update and delete, after it is recorded.
    std::function<void(const std::string& kind, const std::shared_ptr<INDIGO::Property>&)> onProperty;

private:
    void add(const std::string& text) {
        std::lock_guard lock(mutex_);
        events_.push_back(tag_.empty() ? text : tag_ + ":" + text);
    }
    void event(const char* kind, const std::shared_ptr<INDIGO::Property>& property) {
        add(std::string(kind) + " " + property->device()->name() + "." + property->name());
        {
            std::lock_guard lock(mutex_);
            properties_.push_back(property);
        }
        if (onProperty) onProperty(kind, property);
    }

    std::string tag_;
    std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::string> messages_;
    std::vector<std::shared_ptr<INDIGO::Property>> properties_;
};

} // namespace test_support
