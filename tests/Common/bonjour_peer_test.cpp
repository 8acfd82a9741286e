// Live DNS-SD in a private network namespace: Zeta's server is published and seen by
// avahi-browse; an indiserver published by avahi-publish-service is found, resolved and
// connected, and disconnected when the publication goes; a restart publishes the new port;
// services coming and going many times leave no server slot and no device behind.

#include "Common/indigo.h"
#include "bonjour_namespace.h"
#include "indigo/indigo_driver.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "support/free_port.h"
#include "support/indi_server.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace common_test;
using test_support::IndiServer;
using test_support::Process;

namespace {

constexpr auto kWait = std::chrono::seconds(30);

bool waitOnMain(const std::function<bool()>& done) {
    return dispatch::runMainQueueUntil(done, kWait);
}

int serversInUse() {
    int count = 0;
    for (const auto& entry : indigo_available_servers)
        count += entry.thread_started ? 1 : 0;
    return count;
}

class Bonjour : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        space = std::make_unique<BonjourNamespace>();
        if (!space->skipReason().empty()) GTEST_SKIP() << space->skipReason();
        DEFAULTS().removeAll();
        indigo = std::make_shared<INDIGO>();
    }
    void TearDown() override {
        indigo.reset();
        space.reset();
        zeta::platform::setSystemLogHandler({});
    }

    const INDIGO::Service* find(const std::vector<INDIGO::Service>& services, const std::string& name) {
        for (const auto& service : services)
            if (service.name == name) return &service;
        return nullptr;
    }
    bool connected(const std::string& name) {
        const auto services = indigo->services();
        const auto* service = find(services, name);
        return service != nullptr && service->connected;
    }
    bool logged(const std::string& line) {
        const auto log = indigo->messages();
        return std::any_of(log.begin(), log.end(), [&](const std::string& entry) {
            return entry.size() >= line.size() && entry.compare(entry.size() - line.size(), line.size(), line) == 0;
        });
    }
    // avahi-browse -p writes some characters of names as "\" and three decimal digits.
    static std::string unescape(const std::string& text) {
        std::string plain;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
                plain += static_cast<char>(std::stoi(text.substr(i + 1, 3)));
                i += 3;
            } else {
                plain += text[i];
            }
        }
        return plain;
    }
    // The resolved lines avahi-browse prints for a type: "=;lo;IPv4;name;type;local;host;address;port;txt".
    std::vector<std::vector<std::string>> browse(const std::string& type) {
        std::vector<std::vector<std::string>> resolved;
        std::stringstream lines(space->run({"avahi-browse", "-rpt", type}));
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] != '=') continue;
            std::vector<std::string> fields;
            std::stringstream parts(line);
            for (std::string field; std::getline(parts, field, ';');)
                fields.push_back(field);
            if (fields.size() < 9) continue;
            fields[3] = unescape(fields[3]);
            resolved.push_back(fields);
        }
        return resolved;
    }
    bool browsedAt(const std::string& name, int port) {
        for (const auto& fields : browse("_indigo._tcp"))
            if (fields[3] == name && fields[8] == std::to_string(port)) return true;
        return false;
    }

    std::string describe() {
        std::string text;
        for (const auto& service : indigo->services())
            text += service.name + (service.connected ? " connected; " : " not connected; ");
        text += std::to_string(indigo->devices().size()) + " devices; log:";
        const auto log = indigo->messages();
        for (std::size_t i = log.size() > 30 ? log.size() - 30 : 0; i < log.size(); ++i)
            text += "\n" + log[i];
        return text;
    }

    static std::string peerLog(const IndiServer& peer) {
        std::string text;
        for (const auto& file : std::filesystem::recursive_directory_iterator(peer.home())) {
            if (!file.is_regular_file()) continue;
            std::ifstream in(file.path());
            std::stringstream bytes;
            bytes << in.rdbuf();
            const std::string all = bytes.str();
            text += "\n" + file.path().string() + ":\n" + all.substr(all.size() > 3000 ? all.size() - 3000 : 0);
        }
        return text;
    }

    std::unique_ptr<BonjourNamespace> space;
    std::shared_ptr<INDIGO> indigo;
};

TEST_F(Bonjour, PublishesFindsConnectsAndRepublishesAfterRestart) {
    IndiServer peer({"indi_simulator_focus"});
    ASSERT_TRUE(peer.waitUntilListening());
    indigo->startWithLocalServer(true, true);

    ASSERT_TRUE(waitOnMain([&] { return indigo->serverPort() != 0 && indigo->publishedServiceName() == "Zeta"; }));
    const int port = indigo->serverPort();
    EXPECT_TRUE(browsedAt("Zeta", port));
    EXPECT_TRUE(logged("INDIGO Service Zeta is ready to publish"));

    {
        Process publication({"avahi-publish-service", "Focus Peer", "_indi._tcp", std::to_string(peer.port())}, {});
        ASSERT_TRUE(waitOnMain([&] { return connected("Focus Peer") && indigo->device("Focuser Simulator"); }));
        EXPECT_TRUE(logged("INDIGO Service Focus Peer was discovered"));
        const auto services = indigo->services();
        ASSERT_NE(find(services, "Focus Peer"), nullptr);
        EXPECT_EQ(find(services, "Focus Peer")->address, "127.0.0.1");
        EXPECT_EQ(find(services, "Focus Peer")->port, peer.port());
        // Our own service is found too, and left alone.
        EXPECT_EQ(find(services, "Zeta"), nullptr);
        EXPECT_EQ(serversInUse(), 1);
        EXPECT_TRUE(peer.waitUntilListening());
    }
    // The publication is withdrawn with its process.
    ASSERT_TRUE(waitOnMain([&] { return indigo->services().empty() && !indigo->device("Focuser Simulator"); }));
    EXPECT_TRUE(logged("INDIGO Service Focus Peer was removed"));
    EXPECT_EQ(serversInUse(), 0);

    const int newPort = test_support::freePort();
    DEFAULTS().setInteger(newPort, "indigoPortNumber");
    indigo->restartServer();
    ASSERT_TRUE(waitOnMain([&] { return indigo->serverPort() == newPort && !indigo->publishedServiceName().empty(); }));
    EXPECT_TRUE(test_support::eventually([&] { return browsedAt("Zeta", newPort); }));
    EXPECT_FALSE(browsedAt("Zeta", port));
}

TEST_F(Bonjour, AnotherServerUnderOurNameIsListedAndOursIsNot) {
    IndiServer peer({"indi_simulator_focus"});
    ASSERT_TRUE(peer.waitUntilListening());
    // The other machine got "Zeta" first; ours is renamed by the daemon.
    Process other({"avahi-publish-service", "Zeta", "_indigo._tcp", std::to_string(peer.port())}, {});
    ASSERT_TRUE(test_support::eventually([&] { return browsedAt("Zeta", peer.port()); }));
    indigo->startWithLocalServer(true, true);

    ASSERT_TRUE(waitOnMain([&] {
        return !indigo->publishedServiceName().empty() && connected("Zeta") && indigo->device("Focuser Simulator");
    }));
    const std::string ours = indigo->publishedServiceName();
    EXPECT_NE(ours, "Zeta");
    EXPECT_TRUE(browsedAt(ours, indigo->serverPort()));
    EXPECT_EQ(indigo->services().size(), 1u) << "our renamed service is not listed";
    EXPECT_EQ(serversInUse(), 1) << "we did not connect to ourselves";
}

TEST_F(Bonjour, AServiceThatCannotBeResolvedStaysListedWithoutAConnection) {
    indigo->startWithLocalServer(false, true);
    // Its host has no address anywhere.
    Process lost({"avahi-publish-service", "-H", "nowhere-zeta.local", "Lost Peer", "_indi._tcp", "7624"}, {});
    ASSERT_TRUE(waitOnMain([&] { return logged("INDIGO Service Lost Peer could not be resolved"); }));
    const auto services = indigo->services();
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0].name, "Lost Peer");
    EXPECT_FALSE(services[0].connected);
    EXPECT_EQ(serversInUse(), 0);
}

TEST_F(Bonjour, ServicesComingAndGoingLeaveNoSlotOrDeviceBehind) {
    constexpr int kServices = 10;
    constexpr int kRounds = 20;
    std::vector<std::unique_ptr<IndiServer>> peers;
    for (int i = 0; i < kServices; ++i) {
        // Each peer's focuser under a name of its own.
        ::setenv("INDIDEV", ("Focuser " + std::to_string(i)).c_str(), 1);
        peers.push_back(std::make_unique<IndiServer>(std::vector<std::string>{"indi_simulator_focus"}));
    }
    ::unsetenv("INDIDEV");
    for (auto& peer : peers)
        ASSERT_TRUE(peer->waitUntilListening());
    indigo->startWithLocalServer(false, true);

    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<Process>> publications;
        for (int i = 0; i < kServices; ++i) {
            publications.push_back(
                std::make_unique<Process>(std::vector<std::string>{"avahi-publish-service", "Peer " + std::to_string(i),
                                                                   "_indi._tcp", std::to_string(peers[i]->port())},
                                          std::vector<std::pair<std::string, std::string>>{}));
        }
        ASSERT_TRUE(waitOnMain([&] {
            const auto services = indigo->services();
            return services.size() == kServices &&
                   std::all_of(services.begin(), services.end(), [](const auto& s) { return s.connected; }) &&
                   indigo->devices().size() == kServices;
        })) << "round "
            << round << ": " << describe() << peerLog(*peers[0]);
        for (int i = 0; i < kServices; ++i)
            EXPECT_TRUE(indigo->device("Focuser " + std::to_string(i))) << i;
        EXPECT_EQ(serversInUse(), kServices);
        publications.clear();
        ASSERT_TRUE(waitOnMain([&] { return indigo->services().empty() && indigo->devices().empty(); }))
            << "round " << round << ": " << describe();
        EXPECT_EQ(serversInUse(), 0) << "round " << round;
    }
}

} // namespace
