// A user's runs with an INDI CCD: indiserver with its CCD simulator added through the services
// panel, the camera chosen in the camera window, values typed into its boxes.

#include "journey_app.h"
#include "journey_camera.h"
#include "journey_peer.h"
#include "journey_user.h"
#include "support/temp_dir.h"

#include <QDoubleSpinBox>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

using journey::JourneyApp;
using journey::JourneyPeer;
using journey::JourneyUser;

namespace {

constexpr const char* kCcd = "CCD Simulator";

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
}

// The value of a FITS header card ("EXPTIME" → "2.500000E+00"), "" without it.
std::string fitsCard(const std::filesystem::path& file, const std::string& key) {
    std::ifstream in(file, std::ios::binary);
    char card[80];
    while (in.read(card, sizeof card)) {
        const std::string line(card, sizeof card);
        if (line.starts_with("END ")) break;
        if (line.substr(0, 8).find_last_not_of(' ') + 1 != key.size() || !line.starts_with(key)) continue;
        std::string value = line.substr(10, line.find('/', 10) == std::string::npos ? 70 : line.find('/', 10) - 10);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of(' ') + 1);
        return value;
    }
    return {};
}

// The application with the CCD simulator's server added and its camera chosen.
struct CcdJourney {
    JourneyPeer peer{{"indi_simulator_ccd"}};
    JourneyApp app{""};
    JourneyUser camera = JourneyUser().within("Camera");

    CcdJourney() {
        peer.addThroughServices();
        journey::pickCamera(camera, kCcd);
        JourneyUser::waitUntil([&] { return !camera.text("Sensor").empty() && camera.enabled("Duration (s)"); },
                               "the CCD simulator to connect");
    }

    void chooseFolder(const std::filesystem::path& folder) const {
        JourneyUser::chooseFolderInNextDialog(folder.string());
        camera.click("Folder");
        JourneyUser::waitUntil([&] { return camera.text("Capture folder") == folder.string(); }, "the folder");
    }
};

} // namespace

TEST(JourneyIndiCcd, TheTypedDurationIsTheExposureOfTheFrame) {
    const test_support::TempDir folder("zeta-journey-exptime");
    CcdJourney journey;
    journey.chooseFolder(folder.path());
    // "3" would complete to the list's 30 s if the box completed typed text.
    for (const auto& [typed, written] : {std::pair{"2.5", 2.5}, std::pair{"3", 3.0}}) {
        journey.camera.type("Duration (s)", typed);
        EXPECT_EQ(journey.camera.text("Duration (s)"), typed);
        journey.camera.type("Frames", "1");
        const std::size_t before = filesIn(folder.path()).size();
        journey.camera.click("Capture");
        JourneyUser::waitUntil([&] { return filesIn(folder.path()).size() == before + 1; }, "the frame's file");
        JourneyUser::waitUntil([&] { return journey.camera.button("Capture")->isEnabled(); }, "the run to end");
        std::vector<std::filesystem::path> files = filesIn(folder.path());
        std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
            return std::filesystem::last_write_time(a) < std::filesystem::last_write_time(b);
        });
        EXPECT_DOUBLE_EQ(std::stod(fitsCard(files.back(), "EXPTIME")), written) << typed;
    }
}

TEST(JourneyIndiCcd, AValueThatIsNoGoodSendsNothingAndSaysWhichBoxAndWhy) {
    struct Case {
        const char* box;
        const char* typed;
        const char* message;
    };
    const Case cases[] = {
        {"Duration (s)", "abc", "Duration (s) must be a number of seconds"},
        {"Duration (s)", "-2", "Duration (s) must be 0 or more"},
        {"Duration (s)", "", "Duration (s) must be a number of seconds"},
        {"Duration (s)", "7200", "Duration (s) must be between 0.01 and 3600 for this camera"},
        {"Frames", "abc", "The frame count must be 1 or more"},
        {"Frames", "-3", "The frame count must be 1 or more"},
        {"Frames", "", "The frame count must be 1 or more"},
        {"Interval (s)", "abc", "Interval (s) must be a number of seconds"},
        {"Interval (s)", "-1", "Interval (s) must be 0 or more"},
        {"Interval (s)", "", "Interval (s) must be a number of seconds"},
    };
    const test_support::TempDir folder("zeta-journey-refused");
    CcdJourney journey;
    journey.chooseFolder(folder.path());
    for (const Case& c : cases) {
        journey.camera.type("Duration (s)", "0.1");
        journey.camera.type("Frames", "1");
        journey.camera.type("Interval (s)", "0");
        journey.camera.type(c.box, c.typed);
        const std::size_t logged = JourneyUser::loggedTimes(c.message);
        journey.camera.click("Capture");
        EXPECT_EQ(journey.camera.text("Input problem"), c.message) << c.box << " " << c.typed;
        JourneyUser::waitUntil([&] { return JourneyUser::loggedTimes(c.message) == logged + 1; },
                               std::string("the log to say: ") + c.message);
        EXPECT_TRUE(journey.camera.button("Capture")->isEnabled()) << c.box << " " << c.typed;
    }
    JourneyUser::idle(std::chrono::milliseconds(300));
    EXPECT_TRUE(filesIn(folder.path()).empty());
    EXPECT_EQ(journey.peer.value(std::string(kCcd) + ".CCD_EXPOSURE._STATE"), "Idle");

    // Good values again: the run goes, and the message goes with it.
    journey.camera.type("Duration (s)", "0.1");
    journey.camera.type("Frames", "1");
    journey.camera.type("Interval (s)", "0");
    journey.camera.click("Capture");
    JourneyUser::waitUntil([&] { return filesIn(folder.path()).size() == 1; }, "the frame's file");
    EXPECT_FALSE(journey.camera.sees("Input problem"));
}

TEST(JourneyIndiCcd, ShowsItsOwnControlsAndTheyReachTheDevice) {
    CcdJourney journey;
    const JourneyUser& camera = journey.camera;
    JourneyUser::waitUntil([&] { return camera.sees("Binning") && camera.sees("Gain"); }, "the CCD's own rows");
    for (const char* row : {"Frame type", "Offset", "Gain", "Binning", "Frame", "Cooler (°C)"})
        EXPECT_TRUE(camera.sees(row)) << row;
    for (const char* row : {"ISO", "Shutter", "Aperture", "Battery", "Mode"})
        EXPECT_FALSE(camera.sees(row)) << row;

    camera.pick("Binning", "2 × 2");
    JourneyUser::waitUntil([&] { return journey.peer.value(std::string(kCcd) + ".CCD_BINNING.HOR_BIN") == "2"; },
                           "the device's binning of 2");
    EXPECT_EQ(journey.peer.value(std::string(kCcd) + ".CCD_BINNING.VER_BIN"), "2");

    auto* gain = camera.box("Gain")->findChild<QDoubleSpinBox*>();
    ASSERT_NE(gain, nullptr);
    JourneyUser::typeInto(gain, "50");
    JourneyUser::waitUntil([&] { return journey.peer.value(std::string(kCcd) + ".CCD_GAIN.GAIN") == "50"; },
                           "the device's gain of 50");
}

TEST(JourneyIndiCcd, TheTypedFrameReachesTheDeviceAndBadTextIsRefused) {
    CcdJourney journey;
    const JourneyUser& camera = journey.camera;
    const std::string frame = std::string(kCcd) + ".CCD_FRAME.";
    JourneyUser::waitUntil([&] { return camera.text("Frame width") == "1280"; }, "the device's frame in its boxes");

    // Width first: the device refuses a frame that reaches past the sensor's edge.
    camera.type("Frame width", "640");
    camera.type("Frame X", "100");
    JourneyUser::waitUntil([&] { return journey.peer.value(frame + "X") == "100"; }, "the device's X of 100");
    EXPECT_EQ(journey.peer.value(frame + "WIDTH"), "640");
    EXPECT_FALSE(camera.sees("Input problem"));

    for (const auto& [box, typed, message] :
         {std::tuple{"Frame height", "abc", "Frame height must be a whole number of pixels, 1 or more"},
          std::tuple{"Frame Y", "-5", "Frame Y must be a whole number of pixels, 0 or more"}}) {
        camera.type(box, typed);
        EXPECT_EQ(camera.text("Input problem"), message) << box << " " << typed;
    }
    JourneyUser::idle(std::chrono::milliseconds(300));
    EXPECT_EQ(journey.peer.value(frame + "Y"), "0");
    EXPECT_EQ(journey.peer.value(frame + "HEIGHT"), "1024");
}
