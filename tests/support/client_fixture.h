#pragma once
// A client over the in-process bus with one recording controller, and devices made for a test.

#include "platform/system_log.h"
#include "support/fixture_device.h"
#include "support/recording_controller.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace test_support {

class Client : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        indigo = std::make_shared<INDIGO>();
        controller.setIndigo(indigo);
    }
    void TearDown() override {
        devices.clear();
        indigo.reset();
        controller.setIndigo(nullptr);
        for (auto& extra : extraControllers)
            extra->setIndigo(nullptr);
        zeta::platform::setSystemLogHandler({});
    }

    void start() { indigo->startWithLocalServer(false, false); }

    // Another registered controller, living as long as the fixture (delegates outlive events).
    RecordingController& addController(const char* tag) {
        extraControllers.push_back(std::make_unique<RecordingController>(tag));
        extraControllers.back()->setIndigo(indigo);
        return *extraControllers.back();
    }

    FixtureDevice& attach(const char* name, std::vector<indigo_property*> properties) {
        devices.push_back(std::make_unique<FixtureDevice>(name));
        for (indigo_property* property : properties)
            devices.back()->add(property);
        devices.back()->attach();
        return *devices.back();
    }

    std::vector<std::string> propertyNames(const std::string& device) {
        std::vector<std::string> names;
        if (auto held = indigo->device(device))
            for (const auto& [name, property] : held->properties())
                names.push_back(name);
        std::sort(names.begin(), names.end());
        return names;
    }

    RecordingController controller;
    std::vector<std::unique_ptr<RecordingController>> extraControllers;
    std::shared_ptr<INDIGO> indigo;
    std::vector<std::unique_ptr<FixtureDevice>> devices;
};

} // namespace test_support
