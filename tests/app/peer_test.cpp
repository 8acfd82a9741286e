// The application against real INDI peers: a remote indiserver with its CCD simulator, an INDI
// focuser simulator run as a driver subprocess, and the simulated camera of the in-process
// driver.

#include "Common/device.h"
#include "app/preferences_dialog.h"
#include "app/services_panel.h"
#include "app_fixture.h"
#include "indigo/indigo_remote.h"
#include "platform/constants.h"
#include "support/free_port.h"
#include "support/indi_server.h"
#include "support/process.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace app_test;

namespace {

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
    const std::vector<pid_t> before = test_support::childrenOf(::getpid());
    const auto started = [&] {
        std::vector<pid_t> added;
        for (const pid_t pid : test_support::childrenOf(::getpid())) {
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

TEST(ServicesPanel, ARemoteServerConnectsOnOKAndDisconnectsWhenRemoved) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    test_support::IndiServer peer({"indi_simulator_ccd"});
    ASSERT_TRUE(peer.waitUntilListening());
    Launch launch;
    INDIGO& client = *launch.delegate.indigo();
    auto* sheet = launch.window.preferencesDialog();
    auto* panel = sheet->servicesPanel();

    launch.delegate.preferences();
    panel->hostnameField()->setText("127.0.0.1");
    panel->portField()->setText(QString::number(peer.port()));
    QTest::mouseClick(panel->addButton(), Qt::LeftButton);
    const QString row = QString("127.0.0.1 (%1)").arg(peer.port());
    ASSERT_EQ(panel->servicesTableView()->findItems(row, Qt::MatchExactly).size(), 1);
    // Nothing is connected before OK.
    EXPECT_TRUE(client.configuredServers().empty());
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return onBus(client, "CCD Simulator"); }));
    ASSERT_EQ(client.configuredServers().size(), 1u);

    launch.delegate.preferences();
    QListWidgetItem* item = panel->servicesTableView()->findItems(row, Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr);
    panel->servicesTableView()->setCurrentItem(item);
    EXPECT_TRUE(panel->removeButton()->isEnabled());
    QTest::mouseClick(panel->removeButton(), Qt::LeftButton);
    EXPECT_TRUE(panel->servicesTableView()->findItems(row, Qt::MatchExactly).isEmpty());
    EXPECT_TRUE(onBus(client, "CCD Simulator"));
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return !onBus(client, "CCD Simulator"); }));
    EXPECT_TRUE(client.configuredServers().empty());
}

namespace {

bool listening(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return up;
}

} // namespace

TEST(PreferencesSheet, OKRestartsTheServerOnTheNewPortAndEnumeratesAgain) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    const int first = test_support::freePort();
    DEFAULTS().setInteger(first, "indigoPortNumber");
    Launch launch;
    INDIGO& client = *launch.delegate.indigo();
    ASSERT_TRUE(waitFor([&] { return client.serverPort() == first && listening(first); }));

    // A client of the old server sees it go.
    const int old = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(first));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(old, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const timeval patience{30, 0};
    ::setsockopt(old, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    // Only an accepted client is closed by the server; one still in the listen queue when the
    // server stops is reset by the kernel. An answer shows the server took this one.
    const std::string ask = "<getProperties version=\"1.7\"/>\n";
    ASSERT_EQ(::send(old, ask.data(), ask.size(), MSG_NOSIGNAL), static_cast<ssize_t>(ask.size()));
    char answer = 0;
    ASSERT_TRUE(waitFor([&] { return ::recv(old, &answer, 1, MSG_DONTWAIT) == 1; }));

    const int second = test_support::freePort();
    launch.delegate.preferences();
    launch.window.preferencesDialog()->findChild<QLineEdit*>("indigoPortNumberField")->setText(QString::number(second));
    QTest::mouseClick(launch.window.preferencesDialog()->okButton(), Qt::LeftButton);

    char byte = 0;
    ssize_t got = 0;
    do {
        got = ::recv(old, &byte, 1, 0);
    } while (got > 0);
    EXPECT_EQ(got, 0);
    ::close(old);
    ASSERT_TRUE(waitFor([&] { return client.serverPort() == second && listening(second); }));
    EXPECT_FALSE(listening(first));
    EXPECT_EQ(DEFAULTS().integerForKey("indigoPortNumber", 0), second);
}
