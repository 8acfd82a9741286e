// The local server's start, bind failure and restart, and servers connected by host and
// port. No avahi daemon is reachable here, so nothing is published.

#include "Common/indigo.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_remote.h"
#include "indigo/indigo_server.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "support/eventually.h"
#include "support/fixture_device.h"
#include "support/free_port.h"
#include "support/indi_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using test_support::eventually;

namespace {

class ServicesCounter : public BaseController {
public:
    void updateServices() override { ++count; }
    std::atomic<int> count{0};
};

class Server : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zeta-test-bus", 1);
        indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
        DEFAULTS().removeAll();
        counter.setIndigo(indigo);
    }
    void TearDown() override {
        indigo.reset();
        counter.setIndigo(nullptr);
        DEFAULTS().removeAll();
        zeta::platform::setSystemLogHandler({});
    }
    long lines(const std::string& part) {
        const auto log = indigo->messages();
        return std::count_if(log.begin(), log.end(),
                             [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }

    std::shared_ptr<INDIGO> indigo = std::make_shared<INDIGO>();
    ServicesCounter counter;
};

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

TEST_F(Server, RestartWaitsForTheOldServerAndBindsTheSamePortAgain) {
    const int port = test_support::freePort();
    DEFAULTS().setInteger(port, "indigoPortNumber");
    DEFAULTS().setInteger(1, "indigoLogLevel");
    indigo->startWithLocalServer(true, false);
    const std::string listening = "listening on port " + std::to_string(port);
    ASSERT_TRUE(eventually([&] { return indigo->serverPort() == port && lines(listening) == 1; }));
    EXPECT_TRUE(accepts(port));
    EXPECT_GE(lines(" clients connected"), 1);

    indigo->restartServer();
    ASSERT_TRUE(eventually([&] { return lines(listening) == 2 && indigo->serverPort() == port; }));
    EXPECT_EQ(lines("already running"), 0);
    EXPECT_EQ(lines("cannot listen"), 0);
    EXPECT_TRUE(accepts(port));
    dispatch::drainMainQueue();
    EXPECT_EQ(lines("Bonjour is not available"), 1);
}

TEST_F(Server, BindFailureIsLogged) {
    const int blocker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(blocker, reinterpret_cast<sockaddr*>(&address), &length);
    DEFAULTS().setInteger(ntohs(address.sin_port), "indigoPortNumber");

    indigo->startWithLocalServer(true, false);
    EXPECT_TRUE(
        eventually([&] { return lines("cannot listen on port " + std::to_string(ntohs(address.sin_port))) == 1; }));
    EXPECT_EQ(indigo->serverPort(), 0);
    ::close(blocker);
}

TEST_F(Server, PortOutOfRangeIsRefusedWithALine) {
    DEFAULTS().setInteger(70000, "indigoPortNumber");
    indigo->startWithLocalServer(true, false);
    EXPECT_TRUE(eventually([&] { return lines("INDIGO Server port 70000 is not a TCP port") == 1; }));
}

TEST_F(Server, ServersByHostAndPort) {
    test_support::IndiServer peer({"indi_simulator_focus"});
    ASSERT_TRUE(peer.waitUntilListening());
    indigo->startWithLocalServer(false, false);

    EXPECT_EQ(indigo->addServer("127.0.0.1", test_support::freePort()), nullptr) << "nobody listens there";
    EXPECT_TRUE(indigo->configuredServers().empty());
    EXPECT_EQ(counter.count, 0);

    indigo_server_entry* entry = indigo->addServer("127.0.0.1", peer.port());
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(indigo->configuredServers().size(), 1u);
    EXPECT_EQ(indigo->configuredServers()[0].host, "127.0.0.1");
    EXPECT_EQ(indigo->configuredServers()[0].port, peer.port());
    EXPECT_EQ(counter.count, 1);
    ASSERT_TRUE(eventually([&] { return indigo->device("Focuser Simulator") != nullptr; }));

    indigo->removeServer(entry);
    EXPECT_TRUE(indigo->configuredServers().empty());
    EXPECT_EQ(counter.count, 2);
    EXPECT_TRUE(eventually([&] { return indigo->device("Focuser Simulator") == nullptr; }));

    // An entry the client did not record is still disconnected; nobody is told.
    indigo_server_entry* other = nullptr;
    ASSERT_EQ(indigo_connect_server(nullptr, "127.0.0.1", peer.port(), &other), INDIGO_OK);
    indigo->removeServer(other);
    EXPECT_FALSE(other->thread_started);
    EXPECT_EQ(counter.count, 2);
}

} // namespace

namespace {

TEST_F(Server, RestartAsksEveryDeviceForItsPropertiesAgain) {
    // Attached before the client: the client hears of it only when it asks.
    test_support::FixtureDevice early("Early Device");
    early.add(test_support::switchProperty("Early Device", "CONNECTION", "Main",
                                           {{"CONNECTED", false}, {"DISCONNECTED", true}}));
    early.attach();
    indigo->startWithLocalServer(false, false);
    EXPECT_EQ(indigo->device("Early Device"), nullptr);

    indigo->restart();
    EXPECT_TRUE(eventually([&] { return indigo->device("Early Device") != nullptr; }));
    indigo.reset();
}

} // namespace
