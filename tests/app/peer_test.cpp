// The application against real INDI peers: a remote indiserver with its CCD simulator, an INDI
// focuser simulator run as a driver subprocess, and the simulated camera of the in-process
// driver.

#include "Common/device.h"
#include "app/preferences_dialog.h"
#include "app/services_panel.h"
#include "app_fixture.h"
#include "indigo/indigo_remote.h"
#include "platform/constants.h"
#include "support/indi_server.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace app_test;

namespace {

// The pids of this process's children, from /proc.
std::vector<pid_t> childProcesses() {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return children;
    while (dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        // The fields after the command name (which may hold blanks) in parentheses.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == ::getpid()) children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

bool onBus(INDIGO& client, const std::string& device) {
    return client.device(device) != nullptr;
}

} // namespace

TEST(Shutdown, LeavesNoDriverServerOrChildProcess) {
    ::setenv("ZETA_SIMULATED_CAMERAS", "generic", 1);
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    test_support::IndiServer peer({"indi_simulator_ccd"});
    ASSERT_TRUE(peer.waitUntilListening());

    // The peer's indiserver is a child of this process too.
    const std::vector<pid_t> before = childProcesses();
    const auto started = [&] {
        std::vector<pid_t> added;
        for (const pid_t pid : childProcesses()) {
            if (std::find(before.begin(), before.end(), pid) == before.end()) added.push_back(pid);
        }
        return added;
    };

    Launch launch;
    INDIGO& client = *launch.delegate.indigo();
    ASSERT_TRUE(waitFor([&] { return onBus(client, "Simulated Camera"); }));

    indigo_server_entry* server = nullptr;
    ASSERT_EQ(indigo_connect_server(nullptr, "127.0.0.1", peer.port(), &server), INDIGO_OK);
    indigo_subprocess_entry* focuser = nullptr;
    ASSERT_EQ(indigo_start_subprocess("indi_simulator_focus", &focuser), INDIGO_OK);
    const pid_t focuserPid = focuser->pid;
    ASSERT_TRUE(waitFor([&] { return onBus(client, "CCD Simulator") && onBus(client, "Focuser Simulator"); }));
    EXPECT_EQ(started(), std::vector<pid_t>{focuserPid});

    launch.terminate();

    EXPECT_TRUE(started().empty());
    EXPECT_EQ(::kill(focuserPid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    for (const auto& entry : indigo_available_drivers)
        EXPECT_EQ(entry.driver, nullptr) << entry.name;
    for (const auto& entry : indigo_available_servers)
        EXPECT_FALSE(entry.thread_started) << entry.host;
    for (const auto& entry : indigo_available_subprocesses)
        EXPECT_FALSE(entry.thread_started) << entry.executable;
    // Every device went with its driver, server or process.
    EXPECT_FALSE(onBus(client, "CCD Simulator"));
    EXPECT_FALSE(onBus(client, "Focuser Simulator"));
    EXPECT_FALSE(onBus(client, "Simulated Camera"));
}
