// Capture runs checked by outside programs: a video stopped mid-run read back by ffprobe, and a
// batch of FITS frames from the INDI CCD simulator behind a real indiserver, opened by astropy.

#include "capture_fixture.h"
#include "indigo/indigo_remote.h"
#include "support/command.h"
#include "support/indi_server.h"

using namespace camera_test;
using namespace std::chrono_literals;

namespace {

using CapturePeer = CaptureFixture;

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

class StoppedVideo : public CaptureFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(StoppedVideo, IsCompleteAfterAStopMidExposure) {
    defaults.setObject(std::string(GetParam()), "outputFormat");
    ExposingCamera& camera = addCamera("Camera A");
    connect("Camera A");
    view.countValue = 10;
    view.name = "RUN";
    camera.exposureStarted = [&] {
        if (camera.exposures() == 3) camera.hold = true;
    };
    controller.captureAction();
    ASSERT_TRUE(until([&] { return camera.exposures() == 3 && ztView.progress.back() == "2/10"; }));
    controller.stopAction();
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_EQ(view.state, "NSStatusUnavailable");
    EXPECT_EQ(camera.exposures(), 3);

    std::string extension = GetParam();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto video = captures / ("RUN_001." + extension);
    ASSERT_EQ(filesIn(captures), std::vector<std::string>{video.filename().string()});
    const std::string frames = test_support::commandOutput(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames,width,height -of "
        "csv=p=0 " +
        quoted(video) + " 2>&1");
    EXPECT_EQ(frames, "96,64,2\n");
}

INSTANTIATE_TEST_SUITE_P(Format, StoppedVideo, ::testing::Values("SER", "AVI"));

TEST_F(CapturePeer, ABatchOfTheIndiSimulatorIsSavedAsFitsFiles) {
    test_support::IndiServer server({"indi_simulator_ccd"});
    ASSERT_TRUE(server.waitUntilListening());
    indigo_server_entry* entry = nullptr;
    ASSERT_EQ(indigo_connect_server("simulator", "127.0.0.1", server.port(), &entry), INDIGO_OK);
    ASSERT_TRUE(until(
        [&] {
            const auto titles = controller.cameraList().titles();
            const auto device = indigo->device("CCD Simulator");
            return std::find(titles.begin(), titles.end(), "CCD Simulator") != titles.end() && device &&
                   device->connectionProperty() && device->property("CONFIG");
        },
        30s));
    connect("CCD Simulator");
    ASSERT_TRUE(until([&] { return indigo->device("CCD Simulator")->property("CCD_EXPOSURE") != nullptr; }, 30s));
    view.durationValue = 0.1;
    view.countValue = 3;
    view.name = "SIM";
    controller.captureAction();
    ASSERT_TRUE(until([&] { return controller.captureInProgress(); }));
    ASSERT_TRUE(until([&] { return idle(); }, 60s)) << server.log();
    settle();
    EXPECT_EQ(view.state, "NSStatusAvailable") << server.log();
    EXPECT_EQ(controller.count("CCD Simulator CCD_EXPOSURE EXPOSURE=0.1"), 3u);
    EXPECT_EQ(server.driverPids().count("indi_simulator_ccd"), 1u) << server.log();

    const auto files = filesIn(captures);
    ASSERT_EQ(files, (std::vector<std::string>{"SIM_001.fits", "SIM_002.fits", "SIM_003.fits"}));
    std::string paths;
    for (const auto& file : files)
        paths += " " + quoted(captures / file);
    const std::string opened = test_support::commandOutput(
        "/usr/bin/python3 -c 'import sys\nfrom astropy.io import fits\nfor p in sys.argv[1:]:\n"
        "    with fits.open(p) as f:\n        print(f[0].data.shape)' " +
        paths + " 2>&1");
    EXPECT_EQ(opened, "(1024, 1280)\n(1024, 1280)\n(1024, 1280)\n");
    indigo_disconnect_server(entry);
}

} // namespace
