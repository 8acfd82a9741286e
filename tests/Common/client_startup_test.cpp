// Start-up of the client: the order of its steps, the settings it reads and what it logs.
// (Kept apart from the BLOB tests: the settings header and the image data header do not meet.)

#include "Common/base_controller.h"
#include "indigo/indigo_log.h"
#include "platform/constants.h"
#include "support/client_fixture.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace test_support;

TEST_F(Client, StartRunsInitializeBeforeAttachingAndLogsStarted) {
    RecordingController& second = addController("second");
    ::unsetenv("INDIGO_FIRMWARE_BASE");
    EXPECT_EQ(INDIGO::instance(), nullptr);
    start();
    EXPECT_EQ(INDIGO::instance(), indigo.get());
    EXPECT_EQ(controller.events(), std::vector<std::string>{"initialize"});
    EXPECT_EQ(second.events(), std::vector<std::string>{"second:initialize"});
    ASSERT_NE(std::getenv("INDIGO_FIRMWARE_BASE"), nullptr);
    EXPECT_EQ(std::string(std::getenv("INDIGO_FIRMWARE_BASE")), MAIN_BUNDLE().resourcePath().string());
    const auto log = indigo->messages();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().ends_with(" INDIGO Started...")) << log.back();
    EXPECT_EQ(controller.messages().back(), "INDIGO Started...");

    // Attached: a device that comes now is seen.
    attach("Focuser", {numberProperty("Focuser", "FOCUSER_POSITION", "Focuser", {{"POSITION", 100}})});
    EXPECT_EQ(propertyNames("Focuser"), std::vector<std::string>{"FOCUSER_POSITION"});
    start(); // a second start changes nothing
    const auto events = controller.events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "initialize"), 1);
}

TEST_F(Client, AttachIsLoggedOnlyAtLogLevelOne) {
    for (long long level : {0LL, 1LL, 2LL, 99LL}) {
        SCOPED_TRACE(level);
        DEFAULTS().setInteger(level, "indigoLogLevel");
        auto client = std::make_shared<INDIGO>();
        client->startWithLocalServer(false, false);
        const auto log = client->messages();
        const bool attachedLine = std::any_of(
            log.begin(), log.end(), [](const std::string& e) { return e.ends_with(" INDIGO Client attached..."); });
        EXPECT_EQ(attachedLine, level == 1);
        EXPECT_EQ(indigo_get_log_level(), std::min(level, 4LL));
    }
    DEFAULTS().removeObjectForKey("indigoLogLevel");
}

TEST_F(Client, StartWithLocalServerAndRemoteServicesRunsTheSameSteps) {
    indigo->startWithLocalServer(true, true);
    EXPECT_EQ(controller.events(), std::vector<std::string>{"initialize"});
    EXPECT_TRUE(indigo->messages().back().ends_with(" INDIGO Started..."));
    attach("Wheel", {numberProperty("Wheel", "WHEEL_SLOT", "Wheel", {{"SLOT", 1}})});
    EXPECT_EQ(propertyNames("Wheel"), std::vector<std::string>{"WHEEL_SLOT"});
}

namespace {

FixtureDevice* inProcessCamera = nullptr;

indigo_result inProcessDriver(indigo_driver_action action, indigo_driver_info* info) {
    if (info != nullptr) {
        indigo_copy_name(info->name, "test_in_process");
        indigo_copy_name(info->description, "In-process test driver");
    }
    if (action == INDIGO_DRIVER_INIT) inProcessCamera->attach();
    if (action == INDIGO_DRIVER_SHUTDOWN) inProcessCamera->detach();
    return INDIGO_OK;
}

} // namespace

TEST_F(Client, InProcessDriversAreAddedAfterTheClientAttaches) {
    FixtureDevice camera("ICA Camera");
    camera.add(switchProperty("ICA Camera", "CONNECTION", "Main", {{"CONNECTED", false}, {"DISCONNECTED", true}}));
    inProcessCamera = &camera;
    indigo->setInProcessDrivers({&inProcessDriver});
    start();
    EXPECT_EQ(propertyNames("ICA Camera"), std::vector<std::string>{"CONNECTION"});
    for (auto& slot : indigo_available_drivers)
        if (slot.driver == &inProcessDriver) indigo_remove_driver(&slot);
    EXPECT_EQ(indigo->device("ICA Camera"), nullptr);
    inProcessCamera = nullptr;
}
