// The server over real sockets on 127.0.0.1: what a client hears and when, in which names,
// changes going in, BLOB modes, HTTP on the same port, starting and stopping, clients that
// misbehave and a hundred that come and vanish at once.

#include "indigo/indigo_log.h"
#include "indigo/indigo_server.h"
#include "indigo/wire/indigo_wire_link.h"
#include "wire_fixtures.h"

#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace wire_test;
using testing::HasSubstr;
using zeta::indigo::wire::Link;
using zeta::indigo::wire::MessageKind;
using zeta::indigo::wire::WireMessage;

namespace {

constexpr const char* kDevice = "Wire Fixture";
constexpr std::size_t kProperties = 6;

class Server : public testing::Test {
protected:
    void SetUp() override {
        indigo_log_message_handler = captureLog;
        ASSERT_EQ(indigo_attach_client(&local.client), INDIGO_OK);
        ASSERT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    }
    void TearDown() override { indigo_log_message_handler = nullptr; }

    // A peer that has asked for everything and heard the device's definitions.
    std::unique_ptr<RawPeer> listener(const char* version = "1.7") {
        auto peer = std::make_unique<RawPeer>(server.port);
        peer->send(std::string("<getProperties version='") + version + "'/>\n");
        for (const char* name : {"CONNECTION", "VALUE", "NOTE", "LAMP", "BLOB_SIZE", "DATA"})
            EXPECT_TRUE(peer->waitFor(wireIs(MessageKind::Define, kDevice, name))) << name;
        return peer;
    }

    void setNumber(const char* property, const char* item, double value) {
        const char* items[] = {item};
        const double values[] = {value};
        indigo_change_number_property(&local.client, kDevice, property, 1, items, values);
    }

    RunningServer server;
    FixtureDevice device{kDevice};
    RecordingClient local{"local"};
};

TEST_F(Server, ListensTellsItsCountAndAnswersGetPropertiesInIndiNames) {
    EXPECT_NE(server.port, 0);
    EXPECT_EQ(RunningServer::counts().front(), 0);

    RawPeer peer(server.port);
    peer.send("\n");
    peer.drain(300ms);
    EXPECT_THAT(peer.messages(), testing::IsEmpty()) << "nothing before getProperties";

    peer.send("<getProperties version='1.7'/>\n");
    const auto connection = peer.waitFor(wireIs(MessageKind::Define, kDevice, "CONNECTION"));
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->type, INDIGO_SWITCH_VECTOR);
    ASSERT_EQ(connection->items.size(), 2u);
    EXPECT_EQ(connection->items[0].name, "CONNECT");
    EXPECT_EQ(connection->items[1].name, "DISCONNECT");
    EXPECT_TRUE(connection->items[1].on);
    const auto value = peer.waitFor(wireIs(MessageKind::Define, kDevice, "VALUE"));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->items.at(0).value, 1.25);
    EXPECT_EQ(value->items.at(0).step, 0.5);
    const auto note = peer.waitFor(wireIs(MessageKind::Define, kDevice, "NOTE"));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->items.at(0).text, "a <tagged> & \"quoted\" note");
    const auto lamp = peer.waitFor(wireIs(MessageKind::Define, kDevice, "LAMP"));
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->items.at(0).light, INDIGO_BUSY_STATE);
    ASSERT_TRUE(peer.waitFor(wireIs(MessageKind::Define, kDevice, "DATA")));
    EXPECT_TRUE(eventually([] { return RunningServer::lastCount() == 1; }));

    // A request naming one property is answered with that one alone.
    RawPeer narrow(server.port);
    narrow.send("<getProperties version='1.7' device='Wire Fixture' name='NOTE'/>\n");
    ASSERT_TRUE(narrow.waitFor(wireIs(MessageKind::Define, kDevice, "NOTE")));
    narrow.drain(200ms);
    EXPECT_EQ(narrow.messages().size(), 1u);
}

TEST_F(Server, AClientSpeakingVersionTwoHearsTheBusNames) {
    auto peer = listener("2.0");
    const auto connection = std::find_if(peer->messages().begin(), peer->messages().end(),
                                         wireIs(MessageKind::Define, kDevice, "CONNECTION"));
    ASSERT_NE(connection, peer->messages().end());
    EXPECT_EQ(connection->items.at(0).name, "CONNECTED");

    peer->send("<newSwitchVector device='Wire Fixture' name='CONNECTION'><oneSwitch name='CONNECTED'>On</oneSwitch>"
               "</newSwitchVector>");
    const auto set = peer->waitFor(wireIs(MessageKind::Set, kDevice, "CONNECTION"));
    ASSERT_TRUE(set);
    EXPECT_EQ(set->items.at(0).name, "CONNECTED");
    EXPECT_TRUE(set->items.at(0).on);
}

TEST_F(Server, ChangesFromAClientReachTheDeviceAndComeBackAsSets) {
    auto peer = listener();
    peer->send("<newSwitchVector device='Wire Fixture' name='CONNECTION'>\n  <oneSwitch name='CONNECT'>On</oneSwitch>\n"
               "</newSwitchVector>\n");
    const auto connected = peer->waitFor(wireIs(MessageKind::Set, kDevice, "CONNECTION"));
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->state, INDIGO_OK_STATE);
    EXPECT_EQ(connected->items.at(0).name, "CONNECT");
    EXPECT_TRUE(connected->items.at(0).on);
    EXPECT_FALSE(connected->items.at(1).on);
    EXPECT_TRUE(device.connection->items[0].sw.value);

    peer->send(
        "<newNumberVector device='Wire Fixture' name='VALUE'><oneNumber name='X'>-1:30</oneNumber></newNumberVector>");
    const auto value = peer->waitFor(wireIs(MessageKind::Set, kDevice, "VALUE"));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->items.at(0).value, -1.5);
    EXPECT_TRUE(local.waitFor(
        [](const BusEvent& h) { return h.kind == "update" && h.name == "VALUE" && h.number("X") == -1.5; }));

    peer->send("<newTextVector device='Wire Fixture' name='NOTE'><oneText name='TEXT'>caf\xc3\xa9 &amp; more</oneText>"
               "</newTextVector>");
    const auto note = peer->waitFor(wireIs(MessageKind::Set, kDevice, "NOTE"));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->items.at(0).text, "caf\xc3\xa9 & more");

    // As indi_setprop does: the request, then the sending side closed at once.
    RawPeer quick(server.port);
    quick.send("<getProperties version='1.7'/>\n<newNumberVector device='Wire Fixture' name='VALUE'>"
               "<oneNumber name='X'>42</oneNumber></newNumberVector>\n");
    shutdown(quick.fd(), SHUT_WR);
    EXPECT_TRUE(quick.waitFor([](const WireMessage& m) {
        return m.kind == MessageKind::Set && m.name == "VALUE" && m.items.at(0).value == 42;
    }));
    EXPECT_TRUE(quick.waitForClose());
    EXPECT_EQ(device.value->items[0].number.value, 42);
}

TEST_F(Server, BlobsFollowEachClientsEnableBlob) {
    auto never = listener();
    auto also = listener();
    also->send("<enableBLOB device='Wire Fixture'>Also</enableBLOB>\n");
    auto only = listener();
    only->send("<enableBLOB device='Wire Fixture'>Only</enableBLOB>\n");
    auto byUrl = listener("2.0");
    byUrl->send("<enableBLOB device='Wire Fixture' name='DATA'>URL</enableBLOB>\n");
    // A round trip on each peer makes sure its enableBLOB has been read.
    for (RawPeer* peer : {also.get(), only.get(), byUrl.get()}) {
        peer->send("<getProperties version='1.7' device='Wire Fixture' name='DATA'/>\n");
        ASSERT_TRUE(peer->waitFor(wireIs(MessageKind::Define, kDevice, "DATA")));
    }

    setNumber("BLOB_SIZE", "SIZE", 1000);
    setNumber("VALUE", "X", 7); // a marker after the BLOB
    const std::vector<std::uint8_t> first = pattern(1000, 7);

    const auto blobOf = [](const WireMessage& m) {
        return std::vector<std::uint8_t>(m.items.at(0).bytes.begin(), m.items.at(0).bytes.end());
    };
    const auto received = also->waitFor(wireIs(MessageKind::Set, kDevice, "DATA"));
    ASSERT_TRUE(received);
    EXPECT_EQ(blobOf(*received), first);
    EXPECT_EQ(received->items.at(0).format, ".bin");

    ASSERT_TRUE(never->waitFor(wireIs(MessageKind::Set, kDevice, "VALUE")));
    for (const WireMessage& m : never->messages())
        EXPECT_FALSE(m.kind == MessageKind::Set && m.name == "DATA") << "a BLOB reached a client that never asked";
    EXPECT_TRUE(std::any_of(never->messages().begin(), never->messages().end(),
                            wireIs(MessageKind::Set, kDevice, "BLOB_SIZE")));

    const auto onlyBlob = only->waitFor(wireIs(MessageKind::Set, kDevice, "DATA"));
    ASSERT_TRUE(onlyBlob);
    EXPECT_EQ(blobOf(*onlyBlob), first);

    const auto link = byUrl->waitFor(wireIs(MessageKind::Set, kDevice, "DATA"));
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->items.at(0).bytes.empty());
    const std::string url = link->items.at(0).url;
    ASSERT_THAT(url, HasSubstr("http://127.0.0.1:" + std::to_string(server.port) + "/blob/"));
    ASSERT_THAT(url, testing::EndsWith(".bin"));
    const std::string path = url.substr(url.find("/blob/"));
    const auto get = [&](const std::string& target) {
        RawPeer http(server.port);
        http.rawOnly();
        http.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        http.waitForClose();
        return http.bytes();
    };
    const std::string answer = get(path);
    ASSERT_THAT(answer, testing::StartsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(answer, HasSubstr("Content-Length: 1000\r\n"));
    EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), std::string(first.begin(), first.end()));

    setNumber("BLOB_SIZE", "SIZE", 10);
    ASSERT_TRUE(byUrl->waitFor(wireIs(MessageKind::Set, kDevice, "DATA")));
    EXPECT_THAT(get(path), testing::StartsWith("HTTP/1.1 404")) << "a URL names one update, not the latest";

    // Only: the BLOBs of the device and nothing else of it.
    ASSERT_TRUE(only->waitFor(wireIs(MessageKind::Set, kDevice, "DATA")));
    for (const WireMessage& m : only->messages()) {
        if (m.kind == MessageKind::Set) {
            EXPECT_EQ(m.name, "DATA");
        }
    }
}

// A frame large enough to go out in pieces as it is encoded reaches every client that asked
// whole, in either dialect, frame after frame, whatever size its last piece has.
TEST_F(Server, LargeFramesReachEveryClientWholeInPieces) {
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (const char* version : {"1.7", "2.0", "1.7", "1.7"}) {
        peers.push_back(listener(version));
        peers.back()->send("<enableBLOB device='Wire Fixture'>Also</enableBLOB>\n"
                           "<getProperties version='1.7' device='Wire Fixture' name='DATA'/>\n");
        ASSERT_TRUE(peers.back()->waitFor(wireIs(MessageKind::Define, kDevice, "DATA")));
    }
    for (const std::size_t size : {std::size_t{3} << 20, (std::size_t{2} << 20) + 5}) {
        SCOPED_TRACE(size);
        setNumber("BLOB_SIZE", "SIZE", static_cast<double>(size));
        const std::vector<std::uint8_t> sent = pattern(size, 7);
        for (auto& peer : peers) {
            const auto frame = peer->waitFor(wireIs(MessageKind::Set, kDevice, "DATA"));
            ASSERT_TRUE(frame);
            ASSERT_EQ(frame->items.size(), 1u);
            EXPECT_TRUE(
                std::equal(sent.begin(), sent.end(), frame->items[0].bytes.begin(), frame->items[0].bytes.end()));
        }
    }
}

// A client that sends a change and goes without reading makes the server's next write fail;
// the change it sent first must not be lost to that. The client reads little, so that the
// server is in the middle of writing a frame to it when it goes.
TEST_F(Server, AChangeSentBeforeTheClientClosedUnreadIsDeliveredHoweverTheWriteEnds) {
    setNumber("BLOB_SIZE", "SIZE", 4 << 20);
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE(round);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 16 << 10;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(server.port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        {
            RawPeer peer(RawPeer::Adopt{}, fd);
            peer.send("<getProperties version='1.7'/>\n<enableBLOB device='Wire Fixture'>Also</enableBLOB>\n");
            ASSERT_TRUE(peer.waitFor(wireIs(MessageKind::Define, kDevice, "DATA")));
            // The frame the server is still writing when the client goes.
            setNumber("BLOB_SIZE", "SIZE", (4 << 20) + round);
            ASSERT_TRUE(peer.waitFor(wireIs(MessageKind::Set, kDevice, "BLOB_SIZE")));
            const std::string change = "<newNumberVector device='Wire Fixture' name='VALUE'><oneNumber name='X'>" +
                                       std::to_string(1000 + round) + "</oneNumber></newNumberVector>\n";
            ASSERT_TRUE(peer.send(change));
            shutdown(fd, SHUT_WR);
        } // closed with the frame unread
        EXPECT_TRUE(local.waitFor([&](const BusEvent& h) {
            return h.kind == "update" && h.name == "VALUE" && h.number("X") == 1000 + round;
        })) << "the change was lost";
    }
    EXPECT_TRUE(eventually([] { return RunningServer::lastCount() == 0; }));
}

// The link alone on a socket pair, its reader held inside a message while the test acts.
class LinkEnd : public testing::Test {
protected:
    void SetUp() override {
        indigo_log_message_handler = captureLog;
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends_), 0);
        link = std::make_unique<Link>("link under test", ends_[0], ends_[0]);
        link->start(
            [this](WireMessage& message) {
                const bool first = heard.fetch_add(1) == 0;
                {
                    std::lock_guard lock(mutex_);
                    devices_.push_back(message.device);
                }
                if (first) {
                    released_.wait();
                    if (closeOnFirst) link->close();
                }
            },
            [this](const std::string& reason) {
                std::lock_guard lock(mutex_);
                reason_ = reason;
            });
    }
    void TearDown() override {
        release();
        link.reset();
        ::close(ends_[0]);
        if (ends_[1] >= 0) ::close(ends_[1]);
        indigo_log_message_handler = nullptr;
    }

    void peerSends(const std::string& device) {
        const std::string text = "<getProperties version='1.7' device='" + device + "'/>\n";
        ASSERT_EQ(::write(ends_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void peerCloses() {
        ::close(ends_[1]);
        ends_[1] = -1;
    }
    void release() {
        if (!releasedOnce_) release_.set_value();
        releasedOnce_ = true;
    }
    std::vector<std::string> devices() {
        std::lock_guard lock(mutex_);
        return devices_;
    }
    std::string reason() {
        std::lock_guard lock(mutex_);
        return reason_;
    }

    std::unique_ptr<Link> link;
    std::atomic<int> heard{0};
    bool closeOnFirst = false;

private:
    int ends_[2] = {-1, -1};
    std::promise<void> release_;
    std::shared_future<void> released_ = release_.get_future().share();
    bool releasedOnce_ = false;
    std::mutex mutex_;
    std::vector<std::string> devices_;
    std::string reason_;
};

TEST_F(LinkEnd, WhatThePeerSentBeforeItWentIsReadAfterAWriteToItFailed) {
    peerSends("first");
    ASSERT_TRUE(eventually([&] { return heard.load() == 1; }));
    peerSends("second");
    peerCloses();
    // The writing side ends while the reader is still busy with the first message.
    EXPECT_TRUE(eventually([&] { return !link->send("<pingReply uid='1'/>\n"); }));
    release();
    link->join();
    EXPECT_THAT(devices(), testing::ElementsAre("first", "second"));
    EXPECT_EQ(reason(), Link::kPeerGone);
    EXPECT_FALSE(logged("link under test: the connection ended with")) << "nothing was left unread";
}

TEST_F(LinkEnd, InputLeftUnreadWhenTheOwnerClosesIsLogged) {
    closeOnFirst = true;
    peerSends("first");
    ASSERT_TRUE(eventually([&] { return heard.load() == 1; }));
    peerSends("second");
    release();
    link->join();
    EXPECT_THAT(devices(), testing::ElementsAre("first"));
    EXPECT_EQ(reason(), Link::kClosedHere);
    EXPECT_TRUE(
        eventually([] { return logged("link under test: the connection ended with 47 bytes of input unread"); }));
}

TEST_F(Server, AnswersHttpForItsResourcesOnTheSamePort) {
    unsigned char page[] = "<html>control</html>";
    indigo_server_add_resource("/ctrl", page, sizeof page - 1, "text/html");
    const auto ask = [&](const std::string& request) {
        RawPeer http(server.port);
        http.rawOnly();
        http.send(request);
        EXPECT_TRUE(http.waitForClose());
        return http.bytes();
    };
    const std::string got = ask("GET /ctrl?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_THAT(got, testing::StartsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(got, HasSubstr("Content-Type: text/html\r\n"));
    EXPECT_THAT(got, testing::EndsWith("\r\n\r\n<html>control</html>"));
    const std::string head = ask("HEAD /ctrl HTTP/1.0\r\n\r\n");
    EXPECT_THAT(head, HasSubstr("Content-Length: 20\r\n"));
    EXPECT_THAT(head, testing::EndsWith("\r\n\r\n"));
    EXPECT_THAT(ask("GET /nothing HTTP/1.1\r\n\r\n"), testing::StartsWith("HTTP/1.1 404"));
    EXPECT_THAT(ask("POST /ctrl HTTP/1.1\r\nContent-Length: 0\r\n\r\n"), testing::StartsWith("HTTP/1.1 405"));
    for (int count : RunningServer::counts())
        EXPECT_EQ(count, 0) << "an HTTP request is not a protocol client";
}

TEST_F(Server, ABadClientIsClosedWithALogLineAndTheOthersGoOn) {
    struct Case {
        const char* what;
        std::string bytes;
        bool endsHere; // the sending side closes after the bytes
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"malformed XML", "<newNumberVector device='Wire Fixture' name='VALUE'><<oneNumber/>", false, "malformed XML"},
        {"base64 that does not decode",
         "<newBLOBVector device='Wire Fixture' name='DATA'><oneBLOB name='IMAGE' size='3' format='.bin'>QU!D</oneBLOB>"
         "</newBLOBVector>",
         false, "not base64"},
        {"a BLOB whose size disagrees with its data",
         "<newBLOBVector device='Wire Fixture' name='DATA'><oneBLOB name='IMAGE' size='30' format='.bin'>QUJD</oneBLOB>"
         "</newBLOBVector>",
         false, "where its size says 30"},
        {"a message cut off by the end of the stream",
         "<newNumberVector device='Wire Fixture' name='VALUE'><oneNumber name='X'>5", true, "middle of a message"},
    };
    auto good = listener();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int changesBefore = device.changes.load();
        RawPeer bad(server.port);
        bad.send("<getProperties version='1.7' device='Wire Fixture' name='LAMP'/>\n");
        ASSERT_TRUE(bad.waitFor(wireIs(MessageKind::Define, kDevice, "LAMP")));
        bad.send(c.bytes);
        if (c.endsHere) shutdown(bad.fd(), SHUT_WR);
        EXPECT_TRUE(bad.waitForClose());
        EXPECT_TRUE(eventually([&] { return logged(c.reason); })) << "no log line for it";
        EXPECT_EQ(device.changes.load(), changesBefore) << "nothing of the bad message reached the device";
        EXPECT_EQ(device.value->items[0].number.value, 1.25);

        good->send("<newTextVector device='Wire Fixture' name='NOTE'><oneText name='TEXT'>still "
                   "here</oneText></newTextVector>");
        EXPECT_TRUE(good->waitFor([](const WireMessage& m) {
            return m.kind == MessageKind::Set && m.name == "NOTE" && m.items.at(0).text == "still here";
        }));
        good->send(
            "<newTextVector device='Wire Fixture' name='NOTE'><oneText name='TEXT'>reset</oneText></newTextVector>");
        EXPECT_TRUE(good->waitFor([](const WireMessage& m) { return m.kind == MessageKind::Set && m.name == "NOTE"; }));
    }
    EXPECT_TRUE(eventually([] { return RunningServer::lastCount() == 1; }));
}

TEST_F(Server, AHundredClientsEachGetEveryPropertyAndTheServerOutlivesTheirVanishing) {
    constexpr int kClients = 100;
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int i = 0; i < kClients; ++i) {
        peers.push_back(std::make_unique<RawPeer>(server.port));
        peers.back()->keepBytes(false);
    }
    for (auto& peer : peers)
        peer->send("<getProperties version='1.7'/>\n");
    for (int i = 0; i < kClients; ++i) {
        for (const char* name : {"CONNECTION", "VALUE", "NOTE", "LAMP", "BLOB_SIZE", "DATA"})
            ASSERT_TRUE(peers[static_cast<std::size_t>(i)]->waitFor(wireIs(MessageKind::Define, kDevice, name)))
                << "client " << i << " lacks " << name;
    }
    EXPECT_TRUE(eventually([] { return RunningServer::lastCount() == kClients; }));
    // Every client hears an update too.
    setNumber("VALUE", "X", 3);
    for (auto& peer : peers)
        ASSERT_TRUE(peer->waitFor(wireIs(MessageKind::Set, kDevice, "VALUE")));

    for (auto& peer : peers)
        peer->vanish();
    setNumber("VALUE", "X", 4); // posted while the server finds out they are gone
    EXPECT_TRUE(eventually([] { return RunningServer::lastCount() == 0; }));

    auto after = listener();
    after->send(
        "<newNumberVector device='Wire Fixture' name='VALUE'><oneNumber name='X'>5</oneNumber></newNumberVector>");
    EXPECT_TRUE(after->waitFor(wireIs(MessageKind::Set, kDevice, "VALUE")));
    EXPECT_EQ(device.value->items[0].number.value, 5);
}

TEST(ServerLifecycle, ABindFailureReturnsAtOnceAndTheServerStopsAndRunsAgain) {
    indigo_log_message_handler = captureLog;
    // A port someone else holds.
    const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    socklen_t length = sizeof address;
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    indigo_copy_name(indigo_server_bind_address, "127.0.0.1");
    indigo_server_tcp_port = ntohs(address.sin_port);
    EXPECT_EQ(indigo_server_start(nullptr), INDIGO_FAILED);
    EXPECT_TRUE(logged("cannot listen on port " + std::to_string(ntohs(address.sin_port))));
    close(holder);

    FixtureDevice device(kDevice);
    indigo_attach_device(&device.device);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        RunningServer server;
        EXPECT_EQ(indigo_server_start(nullptr), INDIGO_FAILED) << "one server at a time";
        EXPECT_TRUE(logged("already running"));
        RawPeer peer(server.port);
        peer.send("<getProperties version='1.7' device='Wire Fixture' name='VALUE'/>\n");
        ASSERT_TRUE(peer.waitFor(wireIs(MessageKind::Define, kDevice, "VALUE")));
        indigo_server_shutdown();
        EXPECT_TRUE(peer.waitForClose()) << "shutting down closes every connection";
        EXPECT_TRUE(eventually([] { return RunningServer::lastCount() == 0; }));
    }
    indigo_server_shutdown(); // with no server running: nothing happens
    indigo_log_message_handler = nullptr;
}

} // namespace
