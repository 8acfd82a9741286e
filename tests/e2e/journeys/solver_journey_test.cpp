// A user solving a frame: the local solving service's URL typed into the solver panel (a
// scripted service on 127.0.0.1), a preview solved there, the telescope synced to the solution;
// a new frame takes Sync and Slew away again.

#include "../../solver/solver_test_support.h"
#include "journey_app.h"
#include "journey_camera.h"
#include "journey_user.h"
#include "platform/constants.h"
#include "support/fixture_device.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>

using journey::chooseCamera;
using journey::JourneyApp;
using journey::JourneyUser;
using namespace std::chrono_literals;

namespace {

int filesIn(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

// A capture of one frame, which ends with that frame on the picture (a preview stopped by hand
// may still bring a frame after the stop).
void captureOneFrame(const JourneyUser& camera, const std::filesystem::path& folder, int filesAfter) {
    camera.type("Frames", "1");
    camera.click("Capture");
    JourneyUser::waitUntil([&] { return filesIn(folder) == filesAfter && camera.button("Capture")->isEnabled(); },
                           "the frame captured", 60s);
}

JourneyUser openSolver() {
    JourneyUser::menu({"Window", "Plate Solver"});
    return JourneyUser().within("Plate Solver");
}

bool mountButtonsEnabled(const JourneyUser& solver) {
    return solver.button("Sync")->isEnabled() && solver.button("Slew")->isEnabled();
}

// The telescope of the sibling application, recording what it is asked.
std::unique_ptr<test_support::FixtureDevice> attachTelescope() {
    const char* name = MOUNT_DEVICE_NAME().c_str();
    auto mount = std::make_unique<test_support::FixtureDevice>(name);
    mount->add(test_support::numberProperty(name, "SYNC", "Main", {{"RA", 0}, {"DEC", 0}}));
    mount->add(test_support::numberProperty(name, "SLEW", "Main", {{"RA", 0}, {"DEC", 0}}));
    mount->add(test_support::numberProperty(name, "FOV", "Main", {{"WIDTH", 0}, {"HEIGHT", 0}, {"ANGLE", 0}}));
    mount->attach();
    return mount;
}

} // namespace

TEST(JourneySolver, SolvedFrameSyncsTheTelescopeUntilANewFrameComes) {
    solver_test::ScriptedService service;
    // 83.75 degrees is 5:35:00 hours: a value the panel's sexagesimal text keeps exactly.
    service.script("/api/upload", {R"({"status":"success"})"});
    service.script("/api/status", {R"({"status":"busy","message":"Solving..."})",
                                   R"({"status":"done","calibration":{"ra":83.75,"dec":-5.5,)"
                                   R"("orientation":12.5,"pixscale":2}})"});
    JourneyApp app("canon");
    const auto mount = attachTelescope();
    JourneyUser::waitUntil([] { return JourneyUser::logged("Orvanta is found"); }, "the telescope found");

    const JourneyUser solver = openSolver();
    solver.type("Local service URL", service.url());
    EXPECT_TRUE(solver.button("Local service")->isChecked());

    const JourneyUser camera = chooseCamera("Canon EOS 5D Mark III");
    const test_support::TempDir folder("zeta-journey-solver");
    JourneyUser::chooseFolderInNextDialog(folder.path().string());
    camera.click("Folder");
    JourneyUser::waitUntil([&] { return camera.text("Capture folder") == folder.path().string(); }, "the folder");
    captureOneFrame(camera, folder.path(), 1);
    EXPECT_FALSE(mountButtonsEnabled(solver)); // a telescope, but no solution yet

    solver.click("Solve");
    JourneyUser::waitUntil([&] { return mountButtonsEnabled(solver); }, "Sync and Slew for the solution", 60s);
    EXPECT_EQ(solver.text("RA"), "5:35:00");
    EXPECT_EQ(solver.text("Dec"), "-5:30:00");
    EXPECT_EQ(solver.button("Solve")->text(), "Solve");
    const auto paths = service.paths();
    ASSERT_GE(paths.size(), 3U);
    EXPECT_EQ(paths[0], "PUT /api/upload");
    EXPECT_EQ(paths.back(), "GET /api/status");

    solver.click("Sync");
    ASSERT_TRUE(mount->waitForChanges(2));
    const auto changes = mount->changes();
    EXPECT_EQ(changes[0].property, "SYNC");
    EXPECT_EQ(changes[0].names, (std::vector<std::string>{"RA", "DEC"}));
    // The request's text carries six significant digits.
    EXPECT_NEAR(std::stod(changes[0].values[0]), 83.75 / 15, 1e-4);
    EXPECT_NEAR(std::stod(changes[0].values[1]), -5.5, 1e-4);
    EXPECT_EQ(changes[1].property, "FOV");

    captureOneFrame(camera, folder.path(), 2);
    JourneyUser::waitUntil([&] { return !solver.button("Sync")->isEnabled(); }, "Sync off for the new frame");
    EXPECT_FALSE(solver.button("Slew")->isEnabled());
}

TEST(JourneySolver, LocalServiceURLIsRefusedUnlessHttpAndKeptForTheNextStart) {
    {
        JourneyApp app;
        const JourneyUser solver = openSolver();
        EXPECT_TRUE(solver.button("Web service")->isChecked());
        solver.type("Local service URL", "127.0.0.1:5000");
        EXPECT_NE(solver.text("Local service URL refused").find("is not an http URL"), std::string::npos);
        EXPECT_TRUE(solver.button("Web service")->isChecked());
        solver.type("Local service URL", "http://127.0.0.1:5000");
        EXPECT_FALSE(solver.sees("Local service URL refused"));
        EXPECT_TRUE(solver.button("Local service")->isChecked());
    }
    {
        JourneyApp app;
        const JourneyUser solver = openSolver();
        EXPECT_EQ(solver.text("Local service URL"), "http://127.0.0.1:5000");
        EXPECT_TRUE(solver.button("Local service")->isChecked());
        solver.type("Local service URL", "");
        EXPECT_TRUE(solver.button("Web service")->isChecked());
    }
    {
        JourneyApp app;
        const JourneyUser solver = openSolver();
        EXPECT_EQ(solver.text("Local service URL"), "");
        EXPECT_TRUE(solver.button("Web service")->isChecked());
        EXPECT_FALSE(solver.button("Local service")->isEnabled());
    }
}
