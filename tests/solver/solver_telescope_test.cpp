// The hand-off to the telescope device over the in-process bus: its presence, and what Sync
// and Slew send.

#include "platform/constants.h"
#include "platform/dispatch.h"
#include "solver_test_support.h"
#include "support/client_fixture.h"

#include <gtest/gtest.h>

namespace {

class SolverTelescope : public test_support::Client {
protected:
    void SetUp() override {
        Client::SetUp();
        solver.setView(&panel);
        solver.setCurrentImageSource([this] { return shown; });
        solver.setTiming({[](std::chrono::milliseconds) {}, std::chrono::seconds(60), std::chrono::seconds(60)});
        solver.awakeFromNib();
        solver.setIndigo(indigo);
        start();
    }
    void TearDown() override {
        solver.waitForWorkers();
        dispatch::drainMainQueue();
        solver.setIndigo(nullptr);
        Client::TearDown();
    }
    void attachMount() {
        mount =
            &attach(MOUNT_DEVICE_NAME().c_str(),
                    {test_support::numberProperty(MOUNT_DEVICE_NAME().c_str(), "SYNC", "Main", {{"RA", 0}, {"DEC", 0}}),
                     test_support::numberProperty(MOUNT_DEVICE_NAME().c_str(), "SLEW", "Main", {{"RA", 0}, {"DEC", 0}}),
                     test_support::numberProperty(MOUNT_DEVICE_NAME().c_str(), "FOV", "Main",
                                                  {{"WIDTH", 0}, {"HEIGHT", 0}, {"ANGLE", 0}})});
        dispatch::drainMainQueue();
    }
    void solveLocally() {
        service.script("/api/upload", {R"({"status":"success"})"});
        service.script("/api/status", {R"({"status":"done","calibration":{"ra":180,"dec":0,"orientation":90.456,)"
                                       R"("pixscale":1.006}})"});
        panel.showServiceChoice(service.url(), true, true);
        solver.solveAction();
        solver.waitForWorkers();
        dispatch::drainMainQueue();
    }

    solver_test::ScriptedService service;
    solver_test::RecordingPanel panel;
    SolverController solver;
    std::shared_ptr<Image> shown = solver_test::smallImage();
    test_support::FixtureDevice* mount = nullptr;
};

TEST_F(SolverTelescope, SyncSendsTheSolutionThenTheFieldOfView) {
    attachMount();
    EXPECT_FALSE(panel.mountEnabled); // a telescope, but no solution yet
    solveLocally();
    EXPECT_TRUE(panel.mountEnabled);
    solver.syncAction();
    ASSERT_TRUE(mount->waitForChanges(2));
    const auto changes = mount->changes();
    EXPECT_EQ(changes[0].property, "SYNC");
    EXPECT_EQ(changes[0].names, (std::vector<std::string>{"RA", "DEC"}));
    EXPECT_DOUBLE_EQ(std::stod(changes[0].values[0]), 12);
    EXPECT_DOUBLE_EQ(std::stod(changes[0].values[1]), 0);
    EXPECT_EQ(changes[1].property, "FOV");
    EXPECT_EQ(changes[1].names, (std::vector<std::string>{"WIDTH", "HEIGHT", "ANGLE"}));
    EXPECT_NEAR(std::stod(changes[1].values[0]), 1.01 * 64 / 3600, 1e-6);
    EXPECT_NEAR(std::stod(changes[1].values[1]), 1.01 * 48 / 3600, 1e-6);
    EXPECT_NEAR(std::stod(changes[1].values[2]), 90.46, 1e-9);
    const auto messages = controller.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Orvanta is found"), messages.end());
}

TEST_F(SolverTelescope, MountButtonsNeedATelescopeAndASolutionOfTheShownImage) {
    solveLocally();
    EXPECT_FALSE(panel.mountEnabled); // solved, but no telescope
    attachMount();
    EXPECT_TRUE(panel.mountEnabled);
    shown = solver_test::smallImage(); // the window moves on to another frame
    solver.currentImageChanged();
    EXPECT_FALSE(panel.mountEnabled);
    mount->detach();
    dispatch::drainMainQueue();
    const auto messages = controller.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Orvanta is lost"), messages.end());
}

TEST_F(SolverTelescope, SyncBeforeAnySolveSendsNoFieldOfView) {
    attachMount();
    panel.ra = "6:30:00";
    panel.dec = "-10:15:00";
    solver.slewAction();
    ASSERT_TRUE(mount->waitForChanges(1));
    dispatch::drainMainQueue();
    const auto changes = mount->changes();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].property, "SLEW");
    EXPECT_DOUBLE_EQ(std::stod(changes[0].values[0]), 6.5);
    EXPECT_DOUBLE_EQ(std::stod(changes[0].values[1]), -10.25);
}

} // namespace
