// Against real INDI peers from Debian's indi-bin: indiserver with the CCD, focuser and
// wheel simulators as a remote server, the wheel simulator as a driver subprocess, and
// indi_getprop / indi_setprop as clients of the bus's own server.

#include "indigo/indigo_remote.h"
#include "support/indi_server.h"
#include "wire_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

using namespace wire_test;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

// The size a FITS file's primary header says it has: header blocks plus padded data.
std::optional<std::size_t> fitsSize(const std::vector<std::uint8_t>& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    long bitpix = 0;
    long axes = -1;
    std::vector<long> lengths;
    for (std::size_t card = 0; (card + 1) * 80 <= text.size(); ++card) {
        const std::string line = text.substr(card * 80, 80);
        const std::string key = line.substr(0, 8);
        const auto number = [&] {
            return std::atol(line.substr(10).c_str());
        };
        if (key == "BITPIX  ")
            bitpix = number();
        else if (key == "NAXIS   ")
            axes = number();
        else if (key.rfind("NAXIS", 0) == 0 && std::isdigit(static_cast<unsigned char>(key[5])))
            lengths.push_back(number());
        else if (key == "END     ") {
            const std::size_t header = (card + 1 + 35) / 36 * 2880;
            if (bitpix == 0 || axes < 0 || static_cast<long>(lengths.size()) != axes) return std::nullopt;
            std::size_t data = static_cast<std::size_t>(std::labs(bitpix) / 8);
            for (long length : lengths)
                data *= static_cast<std::size_t>(length);
            return header + (data + 2879) / 2880 * 2880;
        }
    }
    return std::nullopt;
}

// The value an item had in the last define or update of the property.
std::string latest(const RecordingClient& client, const std::string& device, const std::string& property,
                   const std::string& item) {
    std::string value = "<none>";
    for (const BusEvent& h : client.events()) {
        if (h.device == device && h.name == property && (h.kind == "define" || h.kind == "update"))
            value = h.value(item);
    }
    return value;
}

std::function<bool(const BusEvent&)> connectionIs(const char* device, bool connected) {
    return [=](const BusEvent& h) {
        return h.kind == "update" && h.device == device && h.name == "CONNECTION" &&
               h.value(connected ? "CONNECTED" : "DISCONNECTED") == "On" &&
               h.state == (connected ? INDIGO_OK_STATE : INDIGO_IDLE_STATE);
    };
}

// One request: a simulator asked once connects.
void connectDevice(RecordingClient& client, const char* device) {
    const std::size_t mark = client.count();
    changeSwitch(&client.client, device, "CONNECTION", "CONNECTED");
    ASSERT_TRUE(client.waitFor(connectionIs(device, true), mark)) << device << " did not connect";
}

// Nothing of the peer's own state may change because we connected: its drivers run on,
// none was told a protocol version it does not speak.
void expectDriversUntouched(test_support::IndiServer& server, const std::map<std::string, pid_t>& before) {
    EXPECT_TRUE(server.running()) << server.log();
    EXPECT_EQ(server.driverPids(), before) << server.log();
    EXPECT_THAT(server.log(), testing::Not(HasSubstr("client version")));
    EXPECT_THAT(server.log(), testing::Not(HasSubstr("restart")));
}

// The pids of indiserver's drivers, once each of them runs.
std::map<std::string, pid_t> driversOf(test_support::IndiServer& server, const std::vector<std::string>& names) {
    std::map<std::string, pid_t> pids;
    EXPECT_TRUE(server.waitUntilListening());
    EXPECT_TRUE(eventually([&] {
        pids = server.driverPids();
        return pids.size() == names.size() &&
               std::all_of(names.begin(), names.end(), [&](const std::string& name) { return pids.count(name) == 1; });
    })) << server.log();
    return pids;
}

// Moves a wheel to a slot other than its own: Busy with the old slot, then Ok with the new.
void moveWheel(RecordingClient& client) {
    ASSERT_TRUE(client.waitFor(heard("define", "Filter Simulator", "WHEEL_SLOT")));
    const int from = std::atoi(latest(client, "Filter Simulator", "WHEEL_SLOT", "SLOT").c_str());
    const int to = from == 3 ? 2 : 3;
    const std::size_t mark = client.count();
    changeNumber(&client.client, "Filter Simulator", "WHEEL_SLOT", "SLOT", to);
    ASSERT_TRUE(client.waitFor(heard("update", "Filter Simulator", "WHEEL_SLOT", INDIGO_BUSY_STATE), mark));
    const auto done = client.waitFor(heard("update", "Filter Simulator", "WHEEL_SLOT", INDIGO_OK_STATE), mark);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->number("SLOT"), to);
}

class IndiServer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
        const std::vector<std::string> drivers = {"indi_simulator_ccd", "indi_simulator_focus", "indi_simulator_wheel"};
        server_ = std::make_unique<test_support::IndiServer>(drivers);
        drivers_ = driversOf(*server_, drivers);
        ASSERT_EQ(indigo_connect_server("indiserver", "127.0.0.1", server_->port(), &entry_), INDIGO_OK);
    }
    void TearDown() override {
        if (entry_ != nullptr) indigo_disconnect_server(entry_);
        if (server_ != nullptr) expectDriversUntouched(*server_, drivers_);
        server_.reset();
    }

    RecordingClient client{"local"};
    indigo_server_entry* entry_ = nullptr;

private:
    std::unique_ptr<test_support::IndiServer> server_;
    std::map<std::string, pid_t> drivers_;
};

TEST_F(IndiServer, TheSimulatorsAppearConnectExposeAndMove) {
    for (const char* device : {"CCD Simulator", "Focuser Simulator", "Filter Simulator"})
        ASSERT_TRUE(client.waitFor(heard("define", device, "CONNECTION"))) << device;
    const auto info = client.waitFor(heard("define", "CCD Simulator", "INFO"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->value("DEVICE_INTERFACE"), "22");

    // The camera: connected, then one exposure of 0.1 s brings a whole FITS frame.
    connectDevice(client, "CCD Simulator");
    ASSERT_TRUE(client.waitFor(heard("define", "CCD Simulator", "CCD_EXPOSURE")));
    ASSERT_TRUE(client.waitFor(heard("define", "CCD Simulator", "CCD_IMAGE")));
    std::size_t mark = client.count();
    changeNumber(&client.client, "CCD Simulator", "CCD_EXPOSURE", "EXPOSURE", 0.1);
    const auto image = client.waitFor(heard("update", "CCD Simulator", "CCD_IMAGE", INDIGO_OK_STATE), mark);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->blobFormat, ".fits");
    ASSERT_GT(image->blob.size(), 2880u);
    EXPECT_EQ(std::string(image->blob.begin(), image->blob.begin() + 6), "SIMPLE");
    EXPECT_EQ(fitsSize(image->blob), image->blob.size()) << "the frame is not whole";
    EXPECT_TRUE(client.waitFor(heard("update", "CCD Simulator", "CCD_EXPOSURE", INDIGO_OK_STATE), mark));

    // The focuser: outward, then a relative move: Busy, then Ok at the new position.
    connectDevice(client, "Focuser Simulator");
    ASSERT_TRUE(client.waitFor(heard("define", "Focuser Simulator", "FOCUSER_STEPS")));
    ASSERT_TRUE(client.waitFor(heard("define", "Focuser Simulator", "FOCUSER_POSITION")));
    mark = client.count();
    changeSwitch(&client.client, "Focuser Simulator", "FOCUSER_DIRECTION", "MOVE_OUTWARD");
    ASSERT_TRUE(client.waitFor(heard("update", "Focuser Simulator", "FOCUSER_DIRECTION", INDIGO_OK_STATE), mark));
    const double from = std::atof(latest(client, "Focuser Simulator", "FOCUSER_POSITION", "POSITION").c_str());
    mark = client.count();
    changeNumber(&client.client, "Focuser Simulator", "FOCUSER_STEPS", "STEPS", 1500);
    ASSERT_TRUE(client.waitFor(heard("update", "Focuser Simulator", "FOCUSER_POSITION", INDIGO_BUSY_STATE), mark));
    const auto moved = client.waitFor(heard("update", "Focuser Simulator", "FOCUSER_POSITION", INDIGO_OK_STATE), mark);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->number("POSITION"), from + 1500);

    connectDevice(client, "Filter Simulator");
    moveWheel(client);

    EXPECT_EQ(indigo_disconnect_server(entry_), INDIGO_OK);
    entry_ = nullptr;
    for (const char* device : {"CCD Simulator", "Focuser Simulator", "Filter Simulator"})
        EXPECT_THAT(client.definedNames(device), IsEmpty()) << device;
}

// Each connection asks indiserver for everything, which it passes on to its drivers: they
// must neither exit nor be restarted, however often a user connects.
TEST(IndiServerConnections, TwentyConnectionsLeaveTheDriversRunning) {
    const std::vector<std::string> names = {"indi_simulator_ccd", "indi_simulator_telescope"};
    test_support::IndiServer server(names);
    const auto drivers = driversOf(server, names);
    RecordingClient client{"local"};
    ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    for (int cycle = 0; cycle < 20; ++cycle) {
        SCOPED_TRACE(cycle);
        const std::size_t mark = client.count();
        indigo_server_entry* entry = nullptr;
        ASSERT_EQ(indigo_connect_server("indiserver", "127.0.0.1", server.port(), &entry), INDIGO_OK);
        for (const char* device : {"CCD Simulator", "Telescope Simulator"})
            ASSERT_TRUE(client.waitFor(heard("define", device, "CONNECTION"), mark)) << device;
        EXPECT_EQ(indigo_disconnect_server(entry), INDIGO_OK);
        for (const char* device : {"CCD Simulator", "Telescope Simulator"})
            EXPECT_THAT(client.definedNames(device), IsEmpty()) << device;
        ASSERT_EQ(server.driverPids(), drivers) << server.log();
    }
    expectDriversUntouched(server, drivers);
}

TEST(IndiDriver, TheWheelSimulatorRunsAsASubprocessAndLeavesNothingBehind) {
    TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    RecordingClient client{"local"};
    ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    indigo_subprocess_entry* entry = nullptr;
    ASSERT_EQ(indigo_start_subprocess("indi_simulator_wheel", &entry), INDIGO_OK);
    const pid_t pid = entry->pid;
    ASSERT_TRUE(client.waitFor(heard("define", "Filter Simulator", "CONNECTION")));
    connectDevice(client, "Filter Simulator");
    moveWheel(client);
    ASSERT_FALSE(client.definedNames("Filter Simulator").empty());

    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_OK);
    EXPECT_EQ(::kill(pid, 0), -1) << "the driver is still there";
    EXPECT_EQ(errno, ESRCH);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1) << "not reaped";
    EXPECT_THAT(client.definedNames("Filter Simulator"), IsEmpty()) << "deletes missing";
}

TEST(IndiDriver, TheCcdSimulatorsFramesComeWholeThroughItsSubprocess) {
    TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    RecordingClient client{"local"};
    ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    indigo_subprocess_entry* entry = nullptr;
    ASSERT_EQ(indigo_start_subprocess("indi_simulator_ccd", &entry), INDIGO_OK);
    ASSERT_TRUE(client.waitFor(heard("define", "CCD Simulator", "CONNECTION")));
    connectDevice(client, "CCD Simulator");
    ASSERT_TRUE(client.waitFor(heard("define", "CCD Simulator", "CCD_EXPOSURE")));
    // Two frames: the driver sends the second only once the first has been acknowledged.
    for (int frame = 0; frame < 2; ++frame) {
        SCOPED_TRACE(frame);
        const std::size_t mark = client.count();
        changeNumber(&client.client, "CCD Simulator", "CCD_EXPOSURE", "EXPOSURE", 0.1);
        const auto image = client.waitFor(heard("update", "CCD Simulator", "CCD_IMAGE", INDIGO_OK_STATE), mark);
        ASSERT_TRUE(image);
        ASSERT_GT(image->blob.size(), 2880u);
        EXPECT_EQ(std::string(image->blob.begin(), image->blob.begin() + 6), "SIMPLE");
        EXPECT_EQ(fitsSize(image->blob), image->blob.size());
        ASSERT_TRUE(client.waitFor(heard("update", "CCD Simulator", "CCD_EXPOSURE", INDIGO_OK_STATE), mark));
    }
    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_OK);
    EXPECT_THAT(client.definedNames("CCD Simulator"), IsEmpty());
}

TEST(IndiClients, GetpropListsTheFixtureAndSetpropReachesIt) {
    TempDir home;
    RunningServer server;
    FixtureDevice device("Wire Fixture");
    ASSERT_EQ(indigo_attach_device(&device.device), INDIGO_OK);
    const std::vector<std::pair<std::string, std::string>> env = {{"HOME", home.path()}};
    const std::string port = std::to_string(server.port);

    const std::string listing = home.path() / "getprop.txt";
    // indi_getprop reads for as long as -t says, then prints what came.
    Process getprop({"indi_getprop", "-h", "127.0.0.1", "-p", port, "-t", "3", "*.*.*"}, env, listing);
    EXPECT_EQ(getprop.wait(), 0);
    const std::string text = readFile(listing);
    EXPECT_THAT(text, HasSubstr("Wire Fixture.CONNECTION.CONNECT=Off\n"));
    EXPECT_THAT(text, HasSubstr("Wire Fixture.CONNECTION.DISCONNECT=On\n"));
    EXPECT_THAT(text, HasSubstr("Wire Fixture.VALUE.X=1.25\n"));
    EXPECT_THAT(text, HasSubstr("Wire Fixture.NOTE.TEXT=a <tagged> & \"quoted\" note\n"));
    EXPECT_THAT(text, HasSubstr("Wire Fixture.LAMP.LIGHT=Busy\n"));
    EXPECT_THAT(text, HasSubstr("Wire Fixture.BLOB_SIZE.SIZE=0\n"));

    Process setprop({"indi_setprop", "-h", "127.0.0.1", "-p", port, "Wire Fixture.VALUE.X=5"}, env);
    EXPECT_EQ(setprop.wait(), 0);
    EXPECT_TRUE(eventually([&] { return device.value->items[0].number.value == 5; }));
    Process connect({"indi_setprop", "-h", "127.0.0.1", "-p", port, "-s", "Wire Fixture.CONNECTION.CONNECT=On"}, env);
    EXPECT_EQ(connect.wait(), 0);
    EXPECT_TRUE(eventually([&] { return device.connection->items[0].sw.value; })) << "CONNECT maps to CONNECTED";
    Process readOnly({"indi_setprop", "-h", "127.0.0.1", "-p", port, "-t", "1", "Wire Fixture.LAMP.LIGHT=Ok"}, env);
    EXPECT_NE(readOnly.wait(), 0) << "a light cannot be set";

    const std::string one = home.path() / "one.txt";
    Process single({"indi_getprop", "-h", "127.0.0.1", "-p", port, "-1", "Wire Fixture.VALUE.X"}, env, one);
    EXPECT_EQ(single.wait(), 0);
    EXPECT_EQ(readFile(one), "5\n");
    std::lock_guard lock(device.mutex);
    EXPECT_THAT(device.changed, testing::ElementsAre("VALUE", "CONNECTION"));
}

// indi_setprop sends its change as soon as it has seen the definition and closes without
// reading the rest: every one of its changes must reach the driver behind our server.
TEST(IndiClients, FiftySetpropTogglesOfASubprocessTelescopeAreNoneLost) {
    TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    RunningServer server;
    RecordingClient client{"local"};
    ASSERT_EQ(indigo_attach_client(&client.client), INDIGO_OK);
    indigo_subprocess_entry* entry = nullptr;
    ASSERT_EQ(indigo_start_subprocess("indi_simulator_telescope", &entry), INDIGO_OK);
    constexpr const char* kTelescope = "Telescope Simulator";
    ASSERT_TRUE(client.waitFor(heard("define", kTelescope, "CONNECTION")));
    const std::vector<std::pair<std::string, std::string>> env = {{"HOME", home.path()}};
    const std::string port = std::to_string(server.port);
    const std::string answer = home.path() / "getprop.txt";
    for (int toggle = 0; toggle < 50; ++toggle) {
        SCOPED_TRACE(toggle);
        const bool connect = toggle % 2 == 0;
        const std::size_t mark = client.count();
        Process setprop({"indi_setprop", "-h", "127.0.0.1", "-p", port,
                         std::string(kTelescope) + ".CONNECTION." + (connect ? "CONNECT" : "DISCONNECT") + "=On"},
                        env);
        ASSERT_EQ(setprop.wait(), 0);
        ASSERT_TRUE(client.waitFor(connectionIs(kTelescope, connect), mark)) << "the change was lost";
        Process getprop(
            {"indi_getprop", "-h", "127.0.0.1", "-p", port, "-1", std::string(kTelescope) + ".CONNECTION.CONNECT"}, env,
            answer);
        ASSERT_EQ(getprop.wait(), 0);
        EXPECT_EQ(readFile(answer), connect ? "On\n" : "Off\n");
    }
    EXPECT_EQ(indigo_kill_subprocess(entry), INDIGO_OK);
}

} // namespace
