// The DSLR window's settings: the popups, their per-camera memory and restore, the battery
// image and the camera options, against a camera of ours on the in-process bus.

#include "camera/camera_rows.h"
#include "camera/typed_input.h"
#include "capture_fixture.h"

#include <limits>

using namespace camera_test;

namespace {

using Settings = CaptureFixture;

// A camera with DSLR properties besides the usual ones.
ExposingCamera& dslrCamera(std::vector<std::unique_ptr<ExposingCamera>>& cameras, const std::string& name,
                           std::optional<double> battery) {
    cameras.push_back(std::make_unique<ExposingCamera>(name));
    TestCamera& c = cameras.back()->camera;
    c.addSwitch("DSLR_ISO", {{"ISO100", "100", true}, {"ISO200", "200", false}, {"ISO400", "400", false}});
    c.addSwitch("DSLR_WHITE_BALANCE", {{"AUTO", "Auto", false}, {"SUN", "Daylight", false}});
    c.addSwitch("DSLR_APERTURE", {{"F4", "f/4", true}, {"F56", "f/5.6", false}}, INDIGO_RO_PERM);
    c.addSwitch("DSLR_SHUTTER",
                {{"S1", "1/125", false}, {"S2", "Same", true}, {"S3", "Same", false}, {"BULB", "Bulb", false}});
    c.addSwitch("DSLR_ZOOM_PREVIEW", {{"ON", "On", false}, {"OFF", "Off", true}});
    for (const char* option : {"DSLR_LOCK", "DSLR_MIRROR_LOCKUP"})
        c.addSwitch(option, {{"LOCK", "Lock", false}, {"UNLOCK", "Unlock", true}});
    for (const char* option : {"DSLR_AVOID_AF", "DSLR_DELETE_IMAGE"})
        c.addSwitch(option, {{"ON", "On", false}, {"OFF", "Off", true}});
    if (battery) c.addNumber("DSLR_BATTERY_LEVEL", {{"VALUE", 0, 100, 1, *battery}}, INDIGO_RO_PERM);
    c.attach();
    return *cameras.back();
}

std::vector<std::string> after(const std::vector<std::string>& all, const std::string& first) {
    const auto found = std::find(all.begin(), all.end(), first);
    return found == all.end() ? std::vector<std::string>{} : std::vector<std::string>(found, all.end());
}

TEST(CameraRows, FollowWhatTheCameraHas) {
    using zeta::camera::CameraRows;
    using zeta::camera::cameraRows;
    struct Case {
        const char* name;
        std::vector<std::string> properties;
        CameraRows rows;
    };
    const std::vector<std::string> ccd{"CCD_EXPOSURE", "CCD_MODE",   "CCD_FRAME_TYPE",  "CCD_OFFSET", "CCD_GAIN",
                                       "CCD_GAMMA",    "CCD_COOLER", "CCD_TEMPERATURE", "CCD_BIN",    "CCD_FRAME"};
    std::vector<std::string> dslr = ccd;
    dslr.push_back("DSLR_ISO");
    const Case cases[] = {
        {"not yet connected", {"CCD_MODE", "CCD_GAIN"}, CameraRows{}},
        {"astronomy camera", ccd, {false, true, true, true, true, true, true, true, true}},
        {"astronomy camera without a frame",
         {"CCD_EXPOSURE", "CCD_BIN"},
         {false, false, false, false, false, false, false, true, false}},
        // Frame type, offset, binning and frame are not the DSLR window's; gain, gamma and cooler are.
        {"DSLR", dslr, {true, true, false, false, true, true, true, false, false}},
        {"cooler without a temperature",
         {"CCD_EXPOSURE", "CCD_COOLER"},
         {false, false, false, false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        const auto has = [&](std::string_view name) {
            return std::find(c.properties.begin(), c.properties.end(), name) != c.properties.end();
        };
        EXPECT_EQ(cameraRows(has), c.rows) << c.name;
    }
}

TEST(TypedFrame, IsSentOnlyAsWholePixels) {
    using zeta::camera::TypedFrame;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<TypedFrame, std::string> cases[] = {
        {{0, 0, 1280, 1024}, ""},
        {{10, 20, 1, 1}, ""},
        {{nan, 0, 100, 100}, "Frame X must be a whole number of pixels, 0 or more"},
        {{-1, 0, 100, 100}, "Frame X must be a whole number of pixels, 0 or more"},
        {{0, 2.5, 100, 100}, "Frame Y must be a whole number of pixels, 0 or more"},
        {{0, 0, 0, 100}, "Frame width must be a whole number of pixels, 1 or more"},
        {{0, 0, 100, nan}, "Frame height must be a whole number of pixels, 1 or more"},
        {{0, 0, 100, std::numeric_limits<double>::infinity()},
         "Frame height must be a whole number of pixels, 1 or more"},
    };
    for (const auto& [frame, problem] : cases)
        EXPECT_EQ(zeta::camera::frameProblem(frame), problem)
            << frame.left << " " << frame.top << " " << frame.width << " " << frame.height;
}

TEST(BatteryImage, FollowsTheLevel) {
    const std::vector<std::pair<double, std::string>> cases{
        {100, "Bat100"}, {76, "Bat100"}, {75, "Bat75"},  {51, "Bat75"}, {50, "Bat50"},
        {26, "Bat50"},   {25, "Bat25"},  {0.5, "Bat25"}, {0, "Bat0"},   {-3, "Bat0"}};
    for (const auto& [level, image] : cases)
        EXPECT_EQ(zeta::camera::batteryImageName(level), image) << level;
}

TEST_F(Settings, PopupsListTheItemsAndFollowThePermission) {
    dslrCamera(cameras, "Camera A", 75);
    ASSERT_TRUE(until([&] { return controller.cameraList().size() == 1; }));
    connect("Camera A");
    ASSERT_TRUE(until([&] { return !ztView.popups[indexOf(DslrSetting::Shutter)].empty(); }));
    settle();
    EXPECT_EQ(ztView.popups[indexOf(DslrSetting::Iso)],
              (std::vector<SwitchEntry>{{"100", "ISO100"}, {"200", "ISO200"}, {"400", "ISO400"}}));
    EXPECT_EQ(ztView.selection[indexOf(DslrSetting::Iso)], 0);
    EXPECT_TRUE(controller.dslrEnabled(DslrSetting::Iso));
    EXPECT_TRUE(ztView.controls.dslr[indexOf(DslrSetting::Iso)]);
    // No item on: every item listed, none selected.
    EXPECT_EQ(ztView.popups[indexOf(DslrSetting::WhiteBalance)].size(), 2u);
    EXPECT_EQ(ztView.selection[indexOf(DslrSetting::WhiteBalance)], -1);
    // Read-only: listed, disabled.
    EXPECT_EQ(ztView.popups[indexOf(DslrSetting::Aperture)].size(), 2u);
    EXPECT_FALSE(ztView.controls.dslr[indexOf(DslrSetting::Aperture)]);
    // Two items of one label: one entry, for the later item.
    EXPECT_EQ(ztView.popups[indexOf(DslrSetting::Shutter)],
              (std::vector<SwitchEntry>{{"1/125", "S1"}, {"Same", "S3"}, {"Bulb", "BULB"}}));
    // Off bulb the shutter times the exposure; on "Bulb" the duration box does.
    EXPECT_FALSE(controller.bulbMode());
    EXPECT_FALSE(view.flags.duration);
    ztView.selection[indexOf(DslrSetting::Shutter)] = 2;
    controller.updateGUI();
    EXPECT_TRUE(view.flags.duration);
    view.durationValue = 2.5;
    controller.preview1Action();
    ASSERT_TRUE(until([&] { return idle(); }));
    ztView.selection[indexOf(DslrSetting::Shutter)] = 0;
    controller.preview1Action();
    ASSERT_TRUE(until([&] { return idle(); }));
    EXPECT_EQ(controller.count("Camera A CCD_EXPOSURE EXPOSURE=2.5"), 1u);
    EXPECT_EQ(controller.count("Camera A CCD_EXPOSURE EXPOSURE=0"), 1u);
    // Settings the camera lacks stay empty and disabled.
    EXPECT_TRUE(ztView.popups[indexOf(DslrSetting::Program)].empty());
    EXPECT_FALSE(ztView.controls.dslr[indexOf(DslrSetting::Program)]);
    EXPECT_EQ(ztView.battery, "Bat75");
    EXPECT_TRUE(controller.zoomEnabled());
    EXPECT_TRUE(controller.liveViewEnabled());

    // A run disables them.
    cameras.back()->hold = true;
    controller.preview1Action();
    EXPECT_FALSE(ztView.controls.dslr[indexOf(DslrSetting::Iso)]);
    EXPECT_FALSE(ztView.controls.preview1);
    EXPECT_TRUE(ztView.controls.captureStop);
    controller.stopAction();
    ASSERT_TRUE(until([&] { return idle(); }));
    settle();
    EXPECT_TRUE(ztView.controls.dslr[indexOf(DslrSetting::Iso)]);
}

TEST_F(Settings, APickedSettingIsSentStoredAndRestoredAfterTheOneConfigurationLoad) {
    dslrCamera(cameras, "Camera A", std::nullopt);
    ASSERT_TRUE(until([&] { return controller.cameraList().size() == 1; }));
    connect("Camera A");
    ASSERT_TRUE(until([&] { return ztView.popups[indexOf(DslrSetting::Iso)].size() == 3; }));
    ztView.selection[indexOf(DslrSetting::Iso)] = 2;
    controller.dslrAction(DslrSetting::Iso);
    EXPECT_EQ(controller.count("Camera A DSLR_ISO ISO400"), 1u);
    EXPECT_EQ(defaults.stringForKey("Camera A.iso", ""), "ISO400");
    EXPECT_EQ(ztView.battery, "Bat"); // no level known

    // Connected again: the configuration is loaded once, then the setting goes over it.
    const std::size_t before = controller.sent().size();
    controller.selectCamera(-1);
    settle();
    connect("Camera A");
    ASSERT_TRUE(until([&] { return controller.count("Camera A DSLR_ISO ISO400") == 2; }));
    settle();
    auto sent = controller.sent();
    sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(before));
    const auto fromConnection = after(sent, "Camera A CONNECTION CONNECTED");
    EXPECT_EQ(std::count(fromConnection.begin(), fromConnection.end(), "Camera A CONFIG LOAD"), 1);
    const auto fromLoad = after(fromConnection, "Camera A CONFIG LOAD");
    EXPECT_NE(std::find(fromLoad.begin(), fromLoad.end(), "Camera A DSLR_ISO ISO400"), fromLoad.end());
    // The options follow the preferences, untouched here.
    for (const char* request : {"Camera A DSLR_LOCK UNLOCK", "Camera A DSLR_MIRROR_LOCKUP UNLOCK",
                                "Camera A DSLR_AVOID_AF ON", "Camera A DSLR_DELETE_IMAGE ON"})
        EXPECT_NE(std::find(fromLoad.begin(), fromLoad.end(), request), fromLoad.end()) << request;

    // The switch-off of the first selection never lands after the new connection's switch-on.
    settle();
    sent = controller.sent();
    const auto lastBlob = std::find_if(sent.rbegin(), sent.rend(), [](const std::string& line) {
        return line.rfind("Camera A CCD_IMAGE BLOB", 0) == 0;
    });
    ASSERT_NE(lastBlob, sent.rend());
    EXPECT_EQ(*lastBlob, "Camera A CCD_IMAGE BLOB on");

    defaults.setBool(true, "lockCameraGUI");
    defaults.setBool(true, "useMirrorLockup");
    defaults.setBool(false, "avoidAF");
    defaults.setBool(false, "deleteDownloadedImages");
    const std::size_t mark = controller.sent().size();
    controller.savePreferences();
    sent = controller.sent();
    EXPECT_EQ(std::vector<std::string>(sent.begin() + static_cast<std::ptrdiff_t>(mark), sent.end()),
              (std::vector<std::string>{"Camera A DSLR_LOCK LOCK", "Camera A DSLR_MIRROR_LOCKUP LOCK",
                                        "Camera A DSLR_AVOID_AF OFF", "Camera A DSLR_DELETE_IMAGE OFF"}));
}

TEST_F(Settings, ZoomTogglesAndTheButtonFollows) {
    ExposingCamera& camera = dslrCamera(cameras, "Camera A", 10);
    ASSERT_TRUE(until([&] { return controller.cameraList().size() == 1; }));
    connect("Camera A");
    EXPECT_EQ(ztView.battery, "Bat25");
    controller.previewAction(true);
    ASSERT_TRUE(until([&] { return ztView.controls.liveViewZoom; }));
    // The camera has answered, and its answer has reached the controller (it is reported on the
    // client's queue).
    const auto cameraZoomOn = [&] {
        const bool on = camera.camera.switchValue("DSLR_ZOOM_PREVIEW", "ON");
        indigo->indigoSyncQueue().sync([] {});
        return on;
    };
    // The button follows at once, and stays so once the camera has answered.
    controller.zoomAction();
    EXPECT_TRUE(ztView.controls.liveViewZoomOn);
    ASSERT_TRUE(until([&] { return cameraZoomOn() && controller.zoomPreview() && ztView.controls.liveViewZoomOn; }));
    controller.zoomAction();
    EXPECT_FALSE(ztView.controls.liveViewZoomOn);
    ASSERT_TRUE(until([&] { return !cameraZoomOn() && !controller.zoomPreview() && !ztView.controls.liveViewZoomOn; }));
    EXPECT_EQ(controller.count("Camera A DSLR_ZOOM_PREVIEW ON"), 1u);
    EXPECT_EQ(controller.count("Camera A DSLR_ZOOM_PREVIEW OFF"), 1u);
    controller.stopAction();
    ASSERT_TRUE(until([&] { return idle(); }));

    // Another camera: the window forgets the zoom and the battery.
    controller.selectCamera(-1);
    settle();
    EXPECT_FALSE(controller.zoomEnabled());
    EXPECT_EQ(ztView.battery, "Bat");
    EXPECT_TRUE(ztView.popups[indexOf(DslrSetting::Iso)].empty());
    EXPECT_EQ(view.state, "NSStatusNone");
}

} // namespace
