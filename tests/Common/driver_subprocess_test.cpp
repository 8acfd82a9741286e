// An INDI driver of the catalogue run as a subprocess: chosen by its "load_" setting it
// brings its device onto the bus, unloading it removes the device and ends the process, and
// quitting the application leaves no driver behind. Without an avahi daemon, Bonjour costs
// one log line and nothing else.

#include "Common/driver.h"
#include "Common/indigo.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_server.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "support/eventually.h"
#include "support/process.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

using test_support::eventually;

namespace {

constexpr const char* kDriver = "indi_simulator_focus";
constexpr const char* kDevice = "Focuser Simulator";

pid_t runningDriverPid() {
    for (const auto& entry : indigo_available_subprocesses)
        if (entry.thread_started) return entry.pid;
    return -1;
}

// Gone, or a zombie waiting for whoever inherited it.
bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

std::shared_ptr<INDIGO> startWithFocuserChosen() {
    // No daemon on any bus: nothing is published outside this machine.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zeta-test-bus", 1);
    indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
    DEFAULTS().removeAll();
    DEFAULTS().setBool(true, std::string("load_") + kDriver);
    auto indigo = std::make_shared<INDIGO>();
    indigo->startWithLocalServer(true, false);
    return indigo;
}

TEST(DriverSubprocess, ChosenDriverRunsAndUnloadingEndsIt) {
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    auto indigo = startWithFocuserChosen();
    const auto driver = indigo->driver(kDriver);
    ASSERT_TRUE(driver) << "the catalogue lists it and Drivers/ links it";
    EXPECT_FALSE(driver->library());
    EXPECT_EQ(driver->description(), "Focuser Simulator [INDI]");
    EXPECT_TRUE(driver->state());
    ASSERT_TRUE(eventually([&] { return indigo->device(kDevice) != nullptr; }));
    const pid_t pid = runningDriverPid();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(processGone(pid));

    const auto bonjourLines = [&] {
        const auto log = indigo->messages();
        return std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.find("Bonjour is not available") != std::string::npos;
        });
    };
    EXPECT_TRUE(dispatch::runMainQueueUntil([&] { return bonjourLines() > 0; }, std::chrono::seconds(10)));
    dispatch::drainMainQueue();
    EXPECT_EQ(bonjourLines(), 1);

    driver->unload();
    EXPECT_FALSE(driver->state());
    EXPECT_FALSE(DEFAULTS().boolForKey(std::string("load_") + kDriver, true));
    EXPECT_TRUE(eventually([&] { return indigo->device(kDevice) == nullptr; }));
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(runningDriverPid(), -1);

    indigo.reset();
    DEFAULTS().removeAll();
    zeta::platform::setSystemLogHandler({});
}

// Run by the test below in a process of its own: starts with the driver chosen, writes the
// driver's pid and quits without unloading it.
TEST(DriverSubprocess, QuitChild) {
    const char* pidFile = std::getenv("ZETA_QUIT_CHILD_PID_FILE");
    if (pidFile == nullptr) GTEST_SKIP() << "only run by QuittingLeavesNoDriverProcess";
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    auto indigo = startWithFocuserChosen();
    ASSERT_TRUE(eventually([&] { return indigo->device(kDevice) != nullptr; }));
    std::ofstream(pidFile) << runningDriverPid();
    std::_Exit(0);
}

TEST(DriverSubprocess, QuittingLeavesNoDriverProcess) {
    test_support::TempDir temp{"zeta-quit"};
    const auto pidFile = temp.path() / "pid";
    test_support::Process child({"/proc/self/exe", "--gtest_filter=DriverSubprocess.QuitChild"},
                                {{"ZETA_QUIT_CHILD_PID_FILE", pidFile.string()}});
    // Process runs argv[0] through PATH lookup; /proc/self/exe there is the child's own image.
    EXPECT_EQ(child.wait(), 0);
    std::ifstream in(pidFile);
    pid_t pid = -1;
    in >> pid;
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(eventually([&] { return processGone(pid); }));
}

} // namespace
