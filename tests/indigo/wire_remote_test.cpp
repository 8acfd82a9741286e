// Devices from elsewhere on the bus: a second bus in its own process reached with
// indigo_connect_server, a scripted peer speaking INDI's names and quirks on a socket of
// the test, and small driver scripts run as subprocesses.

#include "indigo/indigo_log.h"
#include "indigo/indigo_remote.h"
#include "indigo/wire/indigo_base64.h"
#include "wire_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace wire_test;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using zeta::indigo::wire::MessageKind;
using zeta::indigo::wire::WireMessage;

namespace {

bool anyServerInUse() {
    for (const indigo_server_entry& entry : indigo_available_servers) {
        if (entry.thread_started) return true;
    }
    return false;
}

// A second bus, serving "Remote Fixture" (pattern seed 11).
class PeerBus {
public:
    PeerBus() : process_({WIRE_PEER_PATH, dir_.path() / "port"}, {}) {
        EXPECT_TRUE(eventually([&] { return std::filesystem::exists(dir_.path() / "port"); }))
            << "the peer bus did not start";
        port = std::atoi(readFile(dir_.path() / "port").c_str());
    }
    Process& process() { return process_; }
    int port = 0;

private:
    TempDir dir_;
    Process process_;
};

class Remote : public testing::Test {
protected:
    void SetUp() override {
        indigo_log_message_handler = captureLog;
        ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    }
    void TearDown() override {
        if (entry != nullptr) indigo_disconnect_server(entry);
        indigo_log_message_handler = nullptr;
    }

    void connect() {
        ASSERT_EQ(indigo_connect_server("peer bus", "127.0.0.1", peer.port, &entry), INDIGO_OK);
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(client.waitFor(heard("define", "Remote Fixture", "DATA")));
    }

    RecordingClient client{"local"};
    PeerBus peer;
    indigo_server_entry* entry = nullptr;
};

TEST_F(Remote, TheOtherBussDevicesAppearUnderTheirOwnNamesAndTakeChanges) {
    connect();
    EXPECT_TRUE(entry->thread_started);
    EXPECT_STREQ(entry->name, "peer bus");
    EXPECT_STREQ(entry->host, "127.0.0.1");
    EXPECT_EQ(entry->port, peer.port);
    EXPECT_THAT(client.definedNames("Remote Fixture"),
                ElementsAre("CONNECTION", "VALUE", "NOTE", "LAMP", "BLOB_SIZE", "DATA"));
    const auto connection = client.waitFor(heard("define", "Remote Fixture", "CONNECTION"));
    EXPECT_EQ(connection->value("CONNECTED"), "Off");
    EXPECT_EQ(connection->value("DISCONNECTED"), "On");
    EXPECT_EQ(client.waitFor(heard("define", "Remote Fixture", "VALUE"))->number("X"), 1.25);
    EXPECT_EQ(client.waitFor(heard("define", "Remote Fixture", "NOTE"))->value("TEXT"), "a <tagged> & \"quoted\" note");
    EXPECT_EQ(client.waitFor(heard("define", "Remote Fixture", "LAMP"))->value("LIGHT"), "2");

    const std::size_t mark = client.count();
    changeSwitch(&client.client, "Remote Fixture", "CONNECTION", "CONNECTED");
    const auto connected = client.waitFor(heard("update", "Remote Fixture", "CONNECTION", INDIGO_OK_STATE), mark);
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->value("CONNECTED"), "On");
    changeNumber(&client.client, "Remote Fixture", "VALUE", "X", -0.125);
    const auto value = client.waitFor(heard("update", "Remote Fixture", "VALUE"), mark);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->number("X"), -0.125);

    // A client enumerating later hears the mirrored properties from the mirror itself.
    RecordingClient late{"late"};
    ASSERT_EQ(indigo_attach_client(&late.client), INDIGO_OK);
    indigo_enumerate_properties(&late.client, nullptr);
    EXPECT_THAT(late.definedNames("Remote Fixture"),
                ElementsAre("CONNECTION", "VALUE", "NOTE", "LAMP", "BLOB_SIZE", "DATA"));
}

TEST_F(Remote, ATwentyMegabyteBlobCrossesByteForByte) {
    connect();
    constexpr std::size_t kSize = 20u << 20;
    const std::size_t mark = client.count();
    changeNumber(&client.client, "Remote Fixture", "BLOB_SIZE", "SIZE", kSize);
    const auto blob = client.waitFor(heard("update", "Remote Fixture", "DATA", INDIGO_OK_STATE), mark);
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->blobFormat, ".bin");
    ASSERT_EQ(blob->blob.size(), kSize);
    EXPECT_TRUE(blob->blob == pattern(kSize, 11)) << "the bytes differ";
}

TEST_F(Remote, DisconnectingDeletesTheMirroredDevicesAndIsSafeOnAnEntryAlreadyDown) {
    connect();
    EXPECT_EQ(indigo_disconnect_server(entry), INDIGO_OK);
    EXPECT_THAT(client.definedNames("Remote Fixture"), IsEmpty())
        << "every mirrored property deleted before it returns";
    EXPECT_FALSE(entry->thread_started);
    EXPECT_EQ(indigo_disconnect_server(entry), INDIGO_FAILED);
    EXPECT_EQ(indigo_disconnect_server(nullptr), INDIGO_FAILED);
    entry = nullptr;
    EXPECT_FALSE(anyServerInUse());
}

TEST_F(Remote, APeerThatVanishesTakesItsDevicesWithItAndTheEntryWaitsToBeDisconnected) {
    connect();
    peer.process().signal(SIGKILL);
    EXPECT_TRUE(eventually([&] { return client.definedNames("Remote Fixture").empty(); }));
    EXPECT_TRUE(entry->thread_started);
    EXPECT_EQ(indigo_disconnect_server(entry), INDIGO_OK);
    entry = nullptr;
}

TEST(RemoteConnect, AConnectionToTheProcesssOwnServerIsRefusedRatherThanMirroredWithoutEnd) {
    indigo_log_message_handler = captureLog;
    RunningServer server;
    FixtureDevice device("Wire Fixture");
    ASSERT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    RecordingClient client{"local"};
    ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    indigo_server_entry* entry = nullptr;
    ASSERT_EQ(indigo_connect_server("myself", "127.0.0.1", server.port, &entry), INDIGO_OK);
    EXPECT_TRUE(eventually([] { return logged("connected to its own server"); }));
    EXPECT_TRUE(eventually([] { return logged("server myself: connection closed"); }));
    EXPECT_EQ(client.count(), 0u) << "nothing was mirrored";
    EXPECT_EQ(indigo_disconnect_server(entry), INDIGO_OK);
    indigo_log_message_handler = nullptr;
}

TEST(RemoteConnect, AFailedConnectLeavesNoEntry) {
    indigo_log_message_handler = captureLog;
    indigo_server_entry* entry = nullptr;
    EXPECT_EQ(indigo_connect_server(nullptr, "127.0.0.1", freePort(), &entry), INDIGO_FAILED);
    EXPECT_EQ(entry, nullptr);
    EXPECT_TRUE(logged("cannot connect to 127.0.0.1:"));
    EXPECT_EQ(indigo_connect_server(nullptr, "", 7624, &entry), INDIGO_FAILED);
    EXPECT_EQ(indigo_connect_server(nullptr, "127.0.0.1", 0, &entry), INDIGO_FAILED);
    EXPECT_FALSE(anyServerInUse());
    indigo_log_message_handler = nullptr;
}

// A peer of the test's own on a socket: it says what a test scripts, and shows what it gets.
class ScriptedPeer : public testing::Test {
protected:
    // Attached once: a test may set up again for a fresh connection.
    ScriptedPeer() { EXPECT_EQ(indigo_attach_client(&client.client), INDIGO_OK); }
    void SetUp() override {
        indigo_log_message_handler = captureLog;
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener_, 1), 0);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        ASSERT_EQ(indigo_connect_server(nullptr, "127.0.0.1", ntohs(address.sin_port), &entry), INDIGO_OK);
        EXPECT_STREQ(entry->name, ("127.0.0.1:" + std::to_string(ntohs(address.sin_port))).c_str());
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(fd, 0);
        remote = std::make_unique<RawPeer>(RawPeer::Adopt{}, fd);
        const auto hello = remote->waitFor([](const WireMessage& m) { return m.kind == MessageKind::GetProperties; });
        ASSERT_TRUE(hello);
        EXPECT_EQ(hello->version, "1.7") << "a higher version stops the INDI drivers behind a server";
    }
    void TearDown() override {
        if (entry != nullptr) indigo_disconnect_server(entry);
        close(listener_);
        indigo_log_message_handler = nullptr;
    }

    // What the CCD simulator sends, shortened, in the driver's and the server's styles.
    void defineCamera() {
        remote->send(
            "<defSwitchVector device=\"CCD Simulator\" name=\"CONNECTION\" label=\"Connection\" group=\"Main Control\" "
            "state=\"Idle\" perm=\"rw\" rule=\"OneOfMany\" timeout=\"60\">\n    <defSwitch name=\"CONNECT\" "
            "label=\"Connect\">\n"
            "Off\n    </defSwitch>\n    <defSwitch name=\"DISCONNECT\" label=\"Disconnect\">\nOn\n    </defSwitch>\n"
            "</defSwitchVector>\n"
            "<?xml version='1.0'?>\n<defNumberVector\n  device='CCD Simulator'\n  name='CCD_EXPOSURE'\n  "
            "label='Expose'\n"
            "  group='Main Control'\n  state='Idle'\n  perm='rw'\n  timeout='60'\n>\n  <defNumber\n    "
            "name='CCD_EXPOSURE_VALUE'\n"
            "    label='Duration (s)'\n    format='%5.2f'\n    min='0.01'\n    max='3600'\n    step='1'>\n      1\n  "
            "</defNumber>\n"
            "</defNumberVector>\n"
            "<defBLOBVector device=\"CCD Simulator\" name=\"CCD1\" label=\"Image Data\" group=\"Image Info\" "
            "state=\"Idle\" "
            "perm=\"ro\" timeout=\"60\">\n    <defBLOB name=\"CCD1\" label=\"Image\"/>\n</defBLOBVector>\n"
            "<defSwitchVector device=\"CCD Simulator\" name=\"CCD_COOLER\" state=\"Idle\" perm=\"wo\" "
            "rule=\"OneOfMany\">"
            "<defSwitch name=\"COOLER_ON\">Off</defSwitch><defSwitch "
            "name=\"COOLER_OFF\">On</defSwitch></defSwitchVector>\n"
            "<defNumberVector device=\"CCD Simulator\" name=\"CCD_FRAME\" state=\"Idle\" perm=\"rw\">"
            "<defNumber name=\"X\" min=\"0\" max=\"0\" step=\"0\">0</defNumber></defNumberVector>\n");
        ASSERT_TRUE(client.waitFor(heard("define", "CCD Simulator", "CCD_FRAME")));
    }

    RecordingClient client{"local"};
    std::unique_ptr<RawPeer> remote;
    indigo_server_entry* entry = nullptr;

private:
    int listener_ = -1;
};

TEST_F(ScriptedPeer, IndiNamesArriveAsTheBusNamesAndRequestsGoBackInIndiNames) {
    defineCamera();
    const auto connection = client.waitFor(heard("define", "CCD Simulator", "CONNECTION"));
    ASSERT_EQ(connection->items.size(), 2u);
    EXPECT_EQ(connection->items[0].name, "CONNECTED");
    EXPECT_EQ(connection->items[1].name, "DISCONNECTED");
    const auto exposure = client.waitFor(heard("define", "CCD Simulator", "CCD_EXPOSURE"));
    EXPECT_EQ(exposure->items.at(0).name, "EXPOSURE");
    EXPECT_EQ(exposure->number("EXPOSURE"), 1);
    EXPECT_EQ(client.waitFor(heard("define", "CCD Simulator", "CCD_IMAGE"))->items.at(0).name, "IMAGE");
    EXPECT_EQ(client.waitFor(heard("define", "CCD Simulator", "CCD_COOLER"))->perm, INDIGO_WO_PERM);
    EXPECT_TRUE(remote->waitFor([](const WireMessage& m) {
        return m.kind == MessageKind::EnableBlob && m.device == "CCD Simulator" && m.blobMode == "Also";
    })) << "the bus hands BLOBs out unless told otherwise, so the peer is asked for them";

    changeSwitch(&client.client, "CCD Simulator", "CONNECTION", "CONNECTED");
    const auto connect = remote->waitFor(wireIs(MessageKind::New, "CCD Simulator", "CONNECTION"));
    ASSERT_TRUE(connect);
    ASSERT_EQ(connect->items.size(), 1u);
    EXPECT_EQ(connect->items[0].name, "CONNECT");
    EXPECT_TRUE(connect->items[0].on);
    changeNumber(&client.client, "CCD Simulator", "CCD_EXPOSURE", "EXPOSURE", 0.1);
    const auto expose = remote->waitFor(wireIs(MessageKind::New, "CCD Simulator", "CCD_EXPOSURE"));
    ASSERT_TRUE(expose);
    EXPECT_EQ(expose->items.at(0).name, "CCD_EXPOSURE_VALUE");
    EXPECT_EQ(expose->items.at(0).value, 0.1);

    // The answers, in INDI's names, reach the client in the bus's.
    std::string fits = "SIMPLE  =                    T";
    fits.resize(2880, ' ');
    std::string encoded;
    zeta::indigo::wire::appendBase64(encoded, fits.data(), fits.size());
    remote->send(
        "<setNumberVector device=\"CCD Simulator\" name=\"CCD_EXPOSURE\" state=\"Busy\"><oneNumber "
        "name=\"CCD_EXPOSURE_VALUE\">0.1</oneNumber></setNumberVector>\n"
        "<setBLOBVector device=\"CCD Simulator\" name=\"CCD1\" state=\"Ok\"><oneBLOB name=\"CCD1\" size=\"2880\" "
        "format=\".fits\" len=\"2880\">\n" +
        encoded +
        "\n    </oneBLOB></setBLOBVector>\n"
        "<setNumberVector device=\"CCD Simulator\" name=\"CCD_EXPOSURE\" state=\"Ok\"><oneNumber "
        "name=\"CCD_EXPOSURE_VALUE\">0</oneNumber></setNumberVector>\n");
    const auto image = client.waitFor(heard("update", "CCD Simulator", "CCD_IMAGE", INDIGO_OK_STATE));
    ASSERT_TRUE(image);
    EXPECT_EQ(std::string(image->blob.begin(), image->blob.end()), fits);
    EXPECT_EQ(image->blobFormat, ".fits");
    EXPECT_TRUE(client.waitFor(heard("update", "CCD Simulator", "CCD_EXPOSURE", INDIGO_OK_STATE)));
}

TEST_F(ScriptedPeer, PeerQuirksAreSurvived) {
    defineCamera();
    remote->send(
        // a definition sent again, same items, new values
        "<defNumberVector device=\"CCD Simulator\" name=\"CCD_FRAME\" state=\"Ok\" perm=\"rw\">"
        "<defNumber name=\"X\" min=\"0\" max=\"0\" step=\"0\">5</defNumber></defNumberVector>\n"
        // a range that arrives through a set, with a message
        "<setNumberVector device=\"CCD Simulator\" name=\"CCD_FRAME\" state=\"Idle\" message=\"frame set\">"
        "<oneNumber name=\"X\" min=\"0\" max=\"1279\" step=\"1\">0</oneNumber></setNumberVector>\n"
        // a set for a property that was never defined, and one of the wrong type
        "<setNumberVector device=\"CCD Simulator\" name=\"FILTER_SLOT\" state=\"Ok\"><oneNumber "
        "name=\"FILTER_SLOT_VALUE\">"
        "2</oneNumber></setNumberVector>\n"
        "<setTextVector device=\"CCD Simulator\" name=\"CCD_FRAME\" state=\"Ok\"><oneText "
        "name=\"X\">no</oneText></setTextVector>\n"
        // a change another client sent, relayed by the server: not ours to act on
        "<newNumberVector device=\"CCD Simulator\" name=\"CCD_EXPOSURE\"><oneNumber "
        "name=\"CCD_EXPOSURE_VALUE\">9</oneNumber>"
        "</newNumberVector>\n"
        // log lines, of a known device and of another
        "<message device=\"CCD Simulator\" message=\"[ERROR] Got no stars\"/>\n<message device=\"Elsewhere\" "
        "message=\"hi\"/>\n"
        // a definition with other items replaces the old one
        "<defSwitchVector device=\"CCD Simulator\" name=\"CCD_COOLER\" state=\"Ok\" perm=\"rw\" rule=\"AtMostOne\">"
        "<defSwitch name=\"COOLER_ON\">On</defSwitch></defSwitchVector>\n"
        "<delProperty device=\"CCD Simulator\" name=\"CCD1\"/>\n");
    ASSERT_TRUE(client.waitFor(heard("delete", "CCD Simulator", "CCD_IMAGE")));

    std::vector<std::string> frameEvents;
    for (const BusEvent& h : client.events()) {
        if (h.name == "CCD_FRAME") frameEvents.push_back(h.kind + " " + h.value("LEFT"));
    }
    EXPECT_THAT(frameEvents, ElementsAre("define 0", "define 5", "update 0"));
    const auto ranged = client.waitFor(heard("update", "CCD Simulator", "CCD_FRAME"));
    EXPECT_EQ(ranged->message, "frame set");
    for (const BusEvent& h : client.events()) {
        EXPECT_NE(h.name, "FILTER_SLOT") << "a set for an undefined property passed";
        EXPECT_NE(h.name, "WHEEL_SLOT") << "a set for an undefined property passed";
        if (h.name == "CCD_EXPOSURE") {
            EXPECT_EQ(h.kind, "define") << "a relayed new changed something";
        }
    }
    const auto stars =
        client.waitFor([](const BusEvent& h) { return h.kind == "message" && h.device == "CCD Simulator"; });
    ASSERT_TRUE(stars);
    EXPECT_EQ(stars->message, "[ERROR] Got no stars");
    EXPECT_TRUE(client.waitFor([](const BusEvent& h) { return h.kind == "message" && h.device == "Elsewhere"; }));
    std::vector<std::string> coolerEvents;
    for (const BusEvent& h : client.events()) {
        if (h.name == "CCD_COOLER") coolerEvents.push_back(h.kind + " " + std::to_string(h.items.size()));
    }
    EXPECT_THAT(coolerEvents, ElementsAre("define 2", "delete 2", "define 1"));
    EXPECT_THAT(client.definedNames("CCD Simulator"),
                ElementsAre("CONNECTION", "CCD_EXPOSURE", "CCD_FRAME", "CCD_COOLER"));

    // The whole device withdrawn by the peer leaves it and the entry stays up.
    remote->send("<delProperty device=\"CCD Simulator\"/>\n");
    EXPECT_TRUE(eventually([&] { return client.definedNames("CCD Simulator").empty(); }));
    EXPECT_TRUE(entry->thread_started);
}

TEST_F(ScriptedPeer, ABadPeerIsDroppedWithALogLineItsDevicesDeletedAndNothingHalfWritten) {
    struct Case {
        const char* what;
        std::string bytes;
        bool thenClose;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"malformed XML", "<setNumberVector device=\"CCD Simulator\" name=\"CCD_FRAME\"><oneNumber name=\"X\">1</one>",
         false, "malformed XML"},
        {"a BLOB shorter than it says",
         "<setBLOBVector device=\"CCD Simulator\" name=\"CCD1\" state=\"Ok\"><oneBLOB name=\"CCD1\" size=\"2880\" "
         "format=\".fits\" len=\"2880\">QUJD</oneBLOB></setBLOBVector>",
         false, "where its size says 2880"},
        {"a peer that stops in the middle of a BLOB",
         "<setBLOBVector device=\"CCD Simulator\" name=\"CCD1\" state=\"Ok\"><oneBLOB name=\"CCD1\" size=\"2880\" "
         "format=\".fits\" len=\"2880\">QUJDQUJDQUJD",
         true, "middle of a message"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (remote == nullptr) {
            // A fresh connection for each case after the first.
            TearDown();
            SetUp();
        }
        defineCamera();
        remote->send(c.bytes);
        if (c.thenClose) remote.reset();
        EXPECT_TRUE(eventually([&] { return client.definedNames("CCD Simulator").empty(); })) << "devices left behind";
        EXPECT_TRUE(eventually([&] { return logged(c.reason); })) << "no log line";
        for (const BusEvent& h : client.events())
            EXPECT_FALSE(h.kind == "update") << "an update came of the broken message: " << h.name;
        EXPECT_TRUE(entry->thread_started) << "the entry waits for its disconnect";
        EXPECT_EQ(indigo_disconnect_server(entry), INDIGO_OK);
        entry = nullptr;
        remote.reset();
    }
}

// Driver scripts: /bin/sh programs that speak a little of the protocol.
class ScriptDriver : public testing::Test {
protected:
    void SetUp() override {
        indigo_log_message_handler = captureLog;
        ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    }
    void TearDown() override {
        if (entry != nullptr) indigo_kill_subprocess(entry);
        indigo_log_message_handler = nullptr;
    }
    std::string script(const std::string& name, const std::string& body, const char* interpreter = "/bin/sh") {
        const std::string path = dir.path() / name;
        std::ofstream(path) << "#!" << interpreter << "\n" << body;
        chmod(path.c_str(), 0755);
        return path;
    }
    static bool alive(pid_t pid) { return ::kill(pid, 0) == 0; }

    TempDir dir;
    RecordingClient client{"local"};
    indigo_subprocess_entry* entry = nullptr;
};

TEST_F(ScriptDriver, ADriversDevicesComeAndGoAndTheProcessIsReapedEvenWhenItWillNotLeave) {
    // It answers getProperties, then ignores its stdin and SIGTERM.
    const std::string path =
        script("stubborn", "trap '' TERM\nread line\n"
                           "printf '<?xml version=\"1.0\"?>\\n<defTextVector device=\"Script\" name=\"T\" "
                           "state=\"Ok\" perm=\"ro\"><defText name=\"A\">hi</defText></defTextVector>\\n'\n"
                           "while :; do sleep 1; done\n");
    ASSERT_EQ(indigo_start_subprocess(path.c_str(), &entry), INDIGO_OK);
    EXPECT_TRUE(entry->thread_started);
    EXPECT_STREQ(entry->executable, path.c_str());
    const pid_t pid = entry->pid;
    const auto defined = client.waitFor(heard("define", "Script", "T"));
    ASSERT_TRUE(defined);
    EXPECT_EQ(defined->value("A"), "hi");

    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_OK);
    EXPECT_FALSE(alive(pid)) << "gone, and reaped: no zombie answers";
    EXPECT_THAT(client.definedNames("Script"), IsEmpty());
    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_FAILED);
    entry = nullptr;
}

TEST_F(ScriptDriver, ADriverThatExitsOnItsOwnHasItsDevicesDeletedAndIsReaped) {
    const std::string path =
        script("brief", "read line\nprintf '<defTextVector device=\"Brief\" name=\"T\" state=\"Ok\" "
                        "perm=\"ro\"><defText name=\"A\">x</defText></defTextVector>\\n'\nexit 3\n");
    ASSERT_EQ(indigo_start_subprocess(path.c_str(), &entry), INDIGO_OK);
    const pid_t pid = entry->pid;
    ASSERT_TRUE(client.waitFor(heard("define", "Brief", "T")));
    EXPECT_TRUE(eventually([&] { return client.definedNames("Brief").empty(); }));
    EXPECT_TRUE(eventually([&] { return logged("exited"); }));
    EXPECT_TRUE(eventually([&] { return !alive(pid); })) << "reaped";
    EXPECT_TRUE(entry->thread_started) << "the entry waits for its kill";
    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_OK);
    entry = nullptr;
}

// The element of the first message that starts with head, as the raw bytes have it.
std::string element(const std::string& bytes, const std::string& head, const std::string& end) {
    const std::size_t from = bytes.find(head);
    if (from == std::string::npos) return {};
    const std::size_t to = bytes.find(end, from);
    return to == std::string::npos ? bytes.substr(from) : bytes.substr(from, to + end.size() - from);
}

TEST_F(ScriptDriver, ItsTimeoutsNumbersAndStderrLinesReachClientsAndTheLogAsItGaveThem) {
    RunningServer server;
    const std::string go = dir.path() / "go";
    const std::string child = dir.path() / "child";
    // It leaves a child behind that holds its stderr open: the entry's end must not wait for it.
    const std::string path =
        script("plain", "read line\necho 'gsc: not found' >&2\n"
                        "printf \"<defNumberVector device='Script' name='N' state='Idle' perm='rw' timeout='0'>"
                        "<defNumber name='V' format='%%.0f' min='0' max='1000000' step='1'>100000</defNumber>"
                        "</defNumberVector>\\n\"\n"
                        "while [ ! -e '" +
                            go +
                            "' ]; do sleep 0.02; done\n"
                            "printf \"<setNumberVector device='Script' name='N' state='Ok' timeout='7'>"
                            "<oneNumber name='V'>0.25</oneNumber></setNumberVector>\\n\"\n"
                            "sleep 600 &\necho $! > '" +
                            child + "'\ncat > /dev/null\n");
    ASSERT_EQ(indigo_start_subprocess(path.c_str(), &entry), INDIGO_OK);
    ASSERT_TRUE(client.waitFor(heard("define", "Script", "N")));
    EXPECT_TRUE(eventually([&] { return logged("driver " + path + ": gsc: not found"); }));

    RawPeer peer(server.port);
    peer.send("<getProperties version='1.7'/>\n");
    ASSERT_TRUE(peer.waitFor(wireIs(MessageKind::Define, "Script", "N")));
    const std::string defined = element(peer.bytes(), "<defNumberVector device=\"Script\"", "</defNumberVector>");
    EXPECT_THAT(defined, HasSubstr(" timeout=\"0\""));
    EXPECT_THAT(defined, HasSubstr(">100000</defNumber>"));
    EXPECT_THAT(defined, HasSubstr(" max=\"1000000\""));

    std::ofstream(go) << "go";
    ASSERT_TRUE(peer.waitFor(wireIs(MessageKind::Set, "Script", "N")));
    const std::string set = element(peer.bytes(), "<setNumberVector device=\"Script\"", "</setNumberVector>");
    EXPECT_THAT(set, HasSubstr(" timeout=\"7\""));
    EXPECT_THAT(set, HasSubstr(">0.25</oneNumber>"));
    ASSERT_TRUE(eventually([&] { return std::atoi(readFile(child).c_str()) > 0; }));
    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_OK);
    entry = nullptr;
    const pid_t left = std::atoi(readFile(child).c_str());
    EXPECT_TRUE(alive(left)) << "the child outlived the driver, as it was made to";
    ::kill(left, SIGTERM);
}

TEST_F(ScriptDriver, ADriverHearsOnlyWhatItWatches) {
    FixtureDevice device("Wire Fixture");
    ASSERT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    const std::string heardPath = dir.path() / "heard";
    const std::string path =
        script("watcher", "read line\n"
                          "printf '<defTextVector device=\"Watcher\" name=\"T\" state=\"Ok\" perm=\"ro\">"
                          "<defText name=\"A\">x</defText></defTextVector>\\n'\n"
                          "printf \"<getProperties version='1.7' device='Wire Fixture' name='VALUE'/>\\n\"\n"
                          "printf '<defTextVector device=\"Watcher\" name=\"U\" state=\"Ok\" perm=\"ro\">"
                          "<defText name=\"A\">y</defText></defTextVector>\\n'\n"
                          "cat > '" +
                              heardPath + "'\n");
    ASSERT_EQ(indigo_start_subprocess(path.c_str(), &entry), INDIGO_OK);
    // U comes after the request on the same reader thread: once it is heard, the fixture's
    // record has been copied for the driver, and the changes below do not race that copy.
    ASSERT_TRUE(client.waitFor(heard("define", "Watcher", "U")));
    EXPECT_TRUE(eventually([&] { return readFile(heardPath).find("VALUE") != std::string::npos; }));
    changeNumber(&client.client, "Wire Fixture", "VALUE", "X", 8);
    changeNumber(&client.client, "Wire Fixture", "BLOB_SIZE", "SIZE", 10);
    changeSwitch(&client.client, "Watcher", "T", "A"); // wrong type: not forwarded
    EXPECT_TRUE(eventually([&] { return readFile(heardPath).find("setNumberVector") != std::string::npos; }));
    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_OK);
    entry = nullptr;
    const std::string text = readFile(heardPath);
    EXPECT_THAT(text, HasSubstr("<defNumberVector device=\"Wire Fixture\" name=\"VALUE\""));
    EXPECT_THAT(text, HasSubstr("<setNumberVector device=\"Wire Fixture\" name=\"VALUE\""));
    EXPECT_THAT(text, testing::Not(HasSubstr("BLOB_SIZE")));
    EXPECT_THAT(text, testing::Not(HasSubstr("DATA")));
    EXPECT_THAT(text, testing::Not(HasSubstr("Watcher"))) << "its own devices are not echoed back";
}

TEST_F(ScriptDriver, BlobsInSharedMemoryArriveWholeAndOneShorterThanItsLengthDropsTheDriver) {
    const std::string replies = dir.path() / "replies";
    const std::string path = script(
        "shm",
        "import array, os, socket, sys\n"
        "out = socket.socket(fileno=1)\n"
        "def send(xml, fd=None):\n"
        "    extra = [(socket.SOL_SOCKET, socket.SCM_RIGHTS, array.array('i', [fd]))] if fd is not None else []\n"
        "    out.sendmsg([xml.encode()], extra)\n"
        "def memory(data):\n"
        "    fd = os.memfd_create('frame')\n"
        "    os.write(fd, data)\n"
        "    return fd\n"
        "sys.stdin.readline()\n"
        "send(\"<defBLOBVector device='Shm' name='CCD1' state='Idle' perm='ro'><defBLOB "
        "name='CCD1'/></defBLOBVector>\\n\")\n"
        "blob = \"<setBLOBVector device='Shm' name='CCD1' state='Ok'><oneBLOB name='CCD1' size='10240' "
        "format='.fits' len='10240' attached='true'></oneBLOB></setBLOBVector>\\n\"\n"
        "send(blob, memory(bytes(range(256)) * 40 + bytes(4096)))\n"
        "send(\"<pingRequest uid='SetBLOB/1' />\\n\")\n"
        "open('" +
            replies +
            "', 'w').write(sys.stdin.readline())\n"
            "send(blob, memory(bytes(10)))\n"
            "sys.stdin.read()\n",
        "/usr/bin/python3");
    ASSERT_EQ(indigo_start_subprocess(path.c_str(), &entry), INDIGO_OK);
    const auto frame = client.waitFor(heard("update", "Shm", "CCD_IMAGE", INDIGO_OK_STATE));
    ASSERT_TRUE(frame);
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 40; ++i)
        for (int b = 0; b < 256; ++b)
            expected.push_back(static_cast<std::uint8_t>(b));
    EXPECT_TRUE(frame->blob == expected) << "the bytes are the length the message gives, from the shared memory";
    EXPECT_EQ(frame->blobFormat, ".fits");
    EXPECT_TRUE(eventually([&] { return readFile(replies) == "<pingReply uid=\"SetBLOB/1\"/>\n"; }))
        << readFile(replies);
    EXPECT_TRUE(eventually([&] { return logged("is larger than its shared memory"); }));
    EXPECT_TRUE(eventually([&] { return client.definedNames("Shm").empty(); }));
    for (const BusEvent& h : client.events()) {
        if (h.kind == "update") {
            EXPECT_EQ(h.blob.size(), expected.size()) << "nothing of the short BLOB was published";
        }
    }
}

// The server's peers send a driver's frames from the bytes the bus holds rather than from a
// copy; a peer that reads slowly must still get every frame as it was, while later frames
// come in (the first, of many megabytes, is also read from the shared memory in parts).
TEST_F(ScriptDriver, FramesGoToAPeerThatReadsSlowlyIntactWhileLaterOnesComeIn) {
    RunningServer server;
    RawPeer peer(server.port);
    const int small = 64 << 10;
    setsockopt(peer.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    peer.send("<enableBLOB device='Shm'>Also</enableBLOB>\n<getProperties version='1.7'/>\n");
    const std::string go = dir.path() / "go";
    const std::size_t sizes[] = {33600 * 256, 3907 * 256, 3907 * 256};
    const std::string path = script(
        "frames",
        "import array, os, socket, sys, time\n"
        "out = socket.socket(fileno=1)\n"
        "def send(xml, fd=None):\n"
        "    extra = [(socket.SOL_SOCKET, socket.SCM_RIGHTS, array.array('i', [fd]))] if fd is not None else []\n"
        "    out.sendmsg([xml.encode()], extra)\n"
        "sys.stdin.readline()\n"
        "send(\"<defBLOBVector device='Shm' name='CCD1' state='Idle' perm='ro'><defBLOB "
        "name='CCD1'/></defBLOBVector>\\n\")\n"
        "while not os.path.exists('" +
            go +
            "'):\n"
            "    time.sleep(0.02)\n"
            "for k, size in enumerate([" +
            std::to_string(sizes[0]) + ", " + std::to_string(sizes[1]) + ", " + std::to_string(sizes[2]) +
            "]):\n"
            "    data = bytes((j + 85 * k) % 256 for j in range(256)) * (size // 256)\n"
            "    fd = os.memfd_create('frame')\n"
            "    os.write(fd, data)\n"
            "    send(\"<setBLOBVector device='Shm' name='CCD1' state='Ok'><oneBLOB name='CCD1' size='%d' "
            "format='.fits' len='%d' attached='true'></oneBLOB></setBLOBVector>\\n\" % (size, size), fd)\n"
            "    os.close(fd)\n"
            "sys.stdin.read()\n",
        "/usr/bin/python3");
    ASSERT_EQ(indigo_start_subprocess(path.c_str(), &entry), INDIGO_OK);
    ASSERT_TRUE(peer.waitFor(wireIs(MessageKind::Define, "Shm", "CCD1")));
    peer.keepBytes(false);
    std::ofstream(go) << "go";

    std::vector<std::vector<std::uint8_t>> expected;
    for (std::size_t k = 0; k < 3; ++k) {
        std::vector<std::uint8_t> frame(sizes[k]);
        for (std::size_t j = 0; j < frame.size(); ++j)
            frame[j] = static_cast<std::uint8_t>((j % 256 + 85 * k) % 256);
        expected.push_back(std::move(frame));
    }
    // Every frame has reached the bus before the peer reads on: the first is still being sent.
    const auto isFrame = heard("update", "Shm", "CCD_IMAGE", INDIGO_OK_STATE);
    std::vector<BusEvent> onBus;
    ASSERT_TRUE(eventually([&] {
        onBus.clear();
        for (const BusEvent& h : client.events()) {
            if (isFrame(h)) onBus.push_back(h);
        }
        return onBus.size() == 3;
    }));
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_TRUE(onBus[k].blob == expected[k]) << "frame " << k << " on the bus";
    for (std::size_t k = 0; k < 3; ++k) {
        const auto frame = peer.waitFor(wireIs(MessageKind::Set, "Shm", "CCD1"));
        ASSERT_TRUE(frame) << "frame " << k;
        ASSERT_EQ(frame->items.size(), 1u);
        EXPECT_TRUE(frame->items[0].bytes.size() == expected[k].size() &&
                    std::equal(expected[k].begin(), expected[k].end(), frame->items[0].bytes.begin()))
            << "frame " << k << " as the peer got it";
    }
}

TEST_F(ScriptDriver, ShuttingDownThroughTheTablesDisconnectsKillsAndStopsTheBus) {
    PeerBus peer;
    indigo_server_entry* server = nullptr;
    ASSERT_EQ(indigo_connect_server(nullptr, "127.0.0.1", peer.port, &server), INDIGO_OK);
    const std::string path =
        script("idle", "read line\nprintf '<defTextVector device=\"Idle\" name=\"T\" state=\"Ok\" "
                       "perm=\"ro\"><defText name=\"A\">x</defText></defTextVector>\\n'\ncat > /dev/null\n");
    ASSERT_EQ(indigo_start_subprocess(path.c_str(), &entry), INDIGO_OK);
    const pid_t pid = entry->pid;
    ASSERT_TRUE(client.waitFor(heard("define", "Remote Fixture", "DATA")));
    ASSERT_TRUE(client.waitFor(heard("define", "Idle", "T")));

    // As the application ends: every connected server, every running driver, then the bus.
    for (indigo_server_entry& slot : indigo_available_servers) {
        if (slot.thread_started) {
            EXPECT_EQ(indigo_disconnect_server(&slot), INDIGO_OK);
        }
    }
    for (indigo_subprocess_entry& slot : indigo_available_subprocesses) {
        if (slot.thread_started) {
            EXPECT_EQ(indigo_kill_subprocess(&slot), INDIGO_OK);
        }
    }
    entry = nullptr;
    EXPECT_THAT(client.definedNames("Remote Fixture"), IsEmpty());
    EXPECT_THAT(client.definedNames("Idle"), IsEmpty());
    EXPECT_FALSE(alive(pid));
    EXPECT_EQ(indigo_stop(), INDIGO_OK);
    EXPECT_EQ(indigo_start(), INDIGO_OK);
}

TEST_F(ScriptDriver, AnExecutableThatCannotRunLeavesNoEntry) {
    indigo_subprocess_entry* none = nullptr;
    EXPECT_EQ(indigo_start_subprocess((dir.path() / "missing").c_str(), &none), INDIGO_FAILED);
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(logged("cannot start driver"));
    for (const indigo_subprocess_entry& e : indigo_available_subprocesses)
        EXPECT_FALSE(e.thread_started);
}

} // namespace
