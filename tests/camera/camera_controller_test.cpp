// The camera window's controller on the in-process bus, against test cameras of our own,
// through a recording view.

#include "camera_fixture.h"
#include "platform/constants.h"

#include <gmock/gmock.h>

using namespace camera_test;
using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

constexpr const char* kCam = "Test Camera";

TEST_F(CameraFixture, OnlyDevicesWithTheCameraBitAreListed) {
    struct Case {
        const char* interface;
        bool listed;
    };
    const Case cases[] = {{"2", true}, {"6", true},       {"4", false}, {"0", false},
                          {"", false}, {"camera", false}, {"2x", false}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "Device " + std::to_string(n++);
        cameras.push_back(std::make_unique<TestCamera>(name, c.interface));
        cameras.back()->attach();
    }
    // A camera attached last is listed after everything before it was handled.
    addCamera("Sentinel", false);
    n = 0;
    for (const Case& c : cases)
        EXPECT_EQ(listed("Device " + std::to_string(n++)), c.listed) << "DEVICE_INTERFACE '" << c.interface << "'";
}

TEST_F(CameraFixture, AnnouncedAgainTheCameraMovesToTheEndOnce) {
    addCamera("A", false);
    addCamera("B", false);
    cameras[0]->detach();
    ASSERT_TRUE(until([&] { return !listed("A"); }));
    cameras[0]->attach();
    ASSERT_TRUE(until([&] { return view.titles == std::vector<std::string>{"B", "A"}; }));
}

TEST_F(CameraFixture, ChoosingLogsLoadsConnectsAndRestoresAfterOneLoad) {
    auto& camera = addCamera(kCam);
    defaults.setObject(std::string("RAW8_1x1"), "Test Camera.mode");
    defaults.setDouble(0, "Test Camera.offset"); // 0 is applied: the key exists
    defaults.setDouble(50, "Test Camera.gain");
    defaults.setDouble(-10, "Test Camera.temperature");
    defaults.setObject(std::string("DARK"), "Test Camera.frameType");
    defaults.setDouble(5, "Test Camera.duration");
    connect(kCam);

    EXPECT_TRUE(logged("'Test Camera' selected"));
    EXPECT_THAT(controller.sent(),
                ElementsAre("Test Camera CONFIG LOAD", "Test Camera CONNECTION CONNECTED", "Test Camera CONFIG LOAD",
                            "Test Camera CCD_MODE RAW8_1x1", "Test Camera CCD_OFFSET OFFSET=0",
                            "Test Camera CCD_GAIN GAIN=50", "Test Camera CCD_COOLER ON",
                            "Test Camera CCD_TEMPERATURE TEMPERATURE=-10", "Test Camera CCD_FRAME_TYPE DARK",
                            "Test Camera CCD_IMAGE BLOB on"));
    // The camera saw them in that order.
    ASSERT_TRUE(camera.waitForChanges(9));
    EXPECT_THAT(camera.changes(),
                ElementsAre("CONFIG LOAD=On", "CONNECTION CONNECTED=On", "CONFIG LOAD=On", "CCD_MODE RAW8_1x1=On",
                            "CCD_OFFSET OFFSET=0", "CCD_GAIN GAIN=50", "CCD_COOLER ON=On",
                            "CCD_TEMPERATURE TEMPERATURE=-10", "CCD_FRAME_TYPE DARK=On"));
    EXPECT_EQ(view.durationValue, 5);
    EXPECT_EQ(view.cooler, "-10");
    EXPECT_EQ(view.sensor.width, 1280);
    EXPECT_EQ(controller.ccdHeight(), 1024);
    EXPECT_EQ(defaults.doubleForKey("pixelSize", 0), 5.2);
    EXPECT_EQ(defaults.integerForKey("binning", 0), 1);
    EXPECT_EQ(view.state, "NSStatusNone");

    // Reported connected again (Busy, then Ok): the configuration is not loaded over the
    // values restored or set since.
    controller.clearSent();
    camera.reportConnected(true, INDIGO_BUSY_STATE);
    camera.reportConnected(true, INDIGO_OK_STATE);
    camera.update("CCD_GAIN"); // an event queued after both
    ASSERT_TRUE(until([&] { return view.groups[Group::Gain].field == 50; }));
    settle();
    EXPECT_EQ(controller.count("Test Camera CONFIG LOAD"), 0u);
}

TEST_F(CameraFixture, ChoosingTheCurrentCameraAgainReconnectsAndRestoresAfterTheLoad) {
    addCamera(kCam);
    defaults.setDouble(50, "Test Camera.gain");
    connect(kCam);
    controller.clearSent();
    connect(kCam);
    // The transfer of frames is turned off from a worker queue, beside the other requests: it
    // goes out before the new connection turns it on, or not at all once that has.
    ASSERT_TRUE(until([&] { return controller.count("Test Camera CCD_IMAGE BLOB on") == 1; }));
    controller.retireBackgroundRequests(); // what the worker queue sends, it has sent now
    settle();
    auto sent = controller.sent();
    EXPECT_LE(controller.count("Test Camera CCD_IMAGE BLOB off"), 1u);
    const auto off = std::find(sent.begin(), sent.end(), "Test Camera CCD_IMAGE BLOB off");
    if (off != sent.end()) {
        EXPECT_LT(off, std::find(sent.begin(), sent.end(), "Test Camera CCD_IMAGE BLOB on"));
        sent.erase(off);
    }
    EXPECT_THAT(std::vector<std::string>(sent.begin(), sent.begin() + 5),
                ElementsAre("Test Camera CONNECTION DISCONNECTED", "Test Camera CONFIG LOAD",
                            "Test Camera CONNECTION CONNECTED", "Test Camera CONFIG LOAD",
                            "Test Camera CCD_GAIN GAIN=50"));
    EXPECT_TRUE(logged("'Test Camera' selected"));
}

TEST_F(CameraFixture, PropertiesDefinedAfterTheConnectionGetTheirSettingOnce) {
    // As INDI drivers do: the connection is reported first, the properties follow.
    auto& camera = addCamera(kCam, false);
    defaults.setDouble(50, "Test Camera.gain");
    connect(kCam);
    EXPECT_EQ(controller.count("Test Camera CCD_GAIN GAIN=50"), 0u);
    camera.addNumber("CCD_GAIN", {{"GAIN", 0, 300, 10, 90}});
    EXPECT_EQ(controller.count("Test Camera CCD_GAIN GAIN=50"), 1u);
    ASSERT_TRUE(until([&] { return view.groups[Group::Gain].field == 50; }));
    // Defined again (another client asked the server), nothing more is restored.
    camera.define("CCD_GAIN");
    EXPECT_EQ(controller.count("Test Camera CCD_GAIN GAIN=50"), 1u);
    EXPECT_EQ(controller.count("Test Camera CONFIG LOAD"), 2u);
}

TEST_F(CameraFixture, ACameraWithOnlyConfigGetsTheLoadAndItsDuration) {
    addCamera(kCam, false);
    connect(kCam);
    EXPECT_THAT(controller.sent(),
                ElementsAre("Test Camera CONFIG LOAD", "Test Camera CONNECTION CONNECTED", "Test Camera CONFIG LOAD"));
    EXPECT_FALSE(controller.mode().has_value());
    EXPECT_FALSE(controller.frameType().has_value());
    EXPECT_TRUE(controller.durationEnabled());
    // Stored ".temperature" absent behaves like "Off" only where the camera has a cooler.
    EXPECT_EQ(view.cooler, "");
}

TEST_F(CameraFixture, NoStoredCoolerSettingLeavesTheCoolerAsTheCameraHasIt) {
    // A cooler cooling when the window connects keeps cooling: only the user switches it.
    for (const bool on : {false, true}) {
        const std::string name = on ? "Cooling" : "Not cooling";
        auto& camera = cameras.emplace_back(std::make_unique<TestCamera>(name));
        camera->addCameraProperties();
        camera->setSwitch("CCD_COOLER", "ON", on);
        camera->setSwitch("CCD_COOLER", "OFF", !on);
        camera->attach();
        ASSERT_TRUE(until([&] { return listed(name); }));
        view.cooler = "-10";
        connect(name);
        settle();
        EXPECT_EQ(controller.countPrefix(name + " CCD_COOLER"), 0u) << name;
        EXPECT_EQ(controller.countPrefix(name + " CCD_TEMPERATURE"), 0u) << name;
        EXPECT_EQ(view.cooler, on ? "-10" : "Off") << name;
    }
}

TEST_F(CameraFixture, StoredSetPointShowsInFahrenheit) {
    defaults.setBool(true, "useFahrenheit");
    controller.awakeFromNib();
    EXPECT_EQ(view.coolerLabel, "Cooler (°F):");
    EXPECT_EQ(view.coolerItems, FAHRENHEIT_SETPOINTS());
    addCamera(kCam);
    defaults.setDouble(-10, "Test Camera.temperature");
    connect(kCam);
    EXPECT_EQ(controller.count("Test Camera CCD_TEMPERATURE TEMPERATURE=-10"), 1u);
    EXPECT_EQ(view.cooler, "14");
}

TEST_F(CameraFixture, AFailingEntryZeroCameraIsNotAskedAgainAndAgain) {
    auto& camera = addCamera(kCam, false);
    camera.failConnect = true;
    choose(kCam);
    ASSERT_TRUE(until([&] { return !controller.camera() && view.selected == -1; }));
    settle();
    // One connection request, answered Alert: the window has no camera now.
    EXPECT_EQ(controller.count("Test Camera CONNECTION CONNECTED"), 1u);
    EXPECT_EQ(camera.changes().size(), 2u); // LOAD and the one CONNECTED
}

TEST_F(CameraFixture, ACameraFailingAfterEntryZeroFallsBackToEntryZero) {
    addCamera("First", false);
    auto& second = addCamera("Second", false);
    second.failConnect = true;
    choose("Second");
    ASSERT_TRUE(until([&] {
        auto camera = controller.camera();
        return camera && camera->name() == "First" && camera->connected();
    }));
    EXPECT_TRUE(logged("'First' selected"));
}

TEST_F(CameraFixture, DisconnectedBySomeoneElseTheOnlyCameraIsDropped) {
    auto& camera = addCamera(kCam, false);
    connect(kCam);
    camera.reportConnected(false);
    ASSERT_TRUE(until([&] { return !controller.camera(); }));
    settle();
    EXPECT_EQ(controller.count("Test Camera CONNECTION CONNECTED"), 1u);
}

TEST_F(CameraFixture, LeavingCamerasLeaveTheList) {
    addCamera("First", false);
    auto& second = addCamera("Second", false);
    connect("First");
    // Not the window's camera: only its entry goes.
    second.detach();
    ASSERT_TRUE(until([&] { return !listed("Second"); }));
    ASSERT_NE(controller.camera(), nullptr);
    EXPECT_EQ(controller.camera()->name(), "First");
    // The window's camera, itself entry 0, leaves: it is not chosen again.
    cameras[0]->detach();
    ASSERT_TRUE(until([&] { return view.titles.empty(); }));
    settle();
    EXPECT_EQ(controller.camera(), nullptr);
    EXPECT_EQ(controller.count("First CONNECTION CONNECTED"), 1u);
}

TEST_F(CameraFixture, EventsOfOtherDevicesChangeNothing) {
    addCamera(kCam);
    auto& other = addCamera("Other");
    connect(kCam);
    other.setNumber("CCD_INFO", "WIDTH", 6000);
    other.update("CCD_INFO");
    other.reportConnected(false);
    camera_test::RecordingView before = view;
    cameras[0]->update("CCD_BIN"); // queued after the other camera's events
    settle();
    EXPECT_EQ(controller.ccdWidth(), 1280);
    EXPECT_EQ(controller.camera()->name(), kCam);
    EXPECT_EQ(view.titles, before.titles);
}

TEST_F(CameraFixture, GeometryFollowsTheCamera) {
    auto& camera = addCamera(kCam);
    connect(kCam);
    camera.setNumber("CCD_INFO", "WIDTH", 6000.7);
    camera.update("CCD_INFO");
    camera.setNumber("CCD_BIN", "HORIZONTAL", 2);
    camera.update("CCD_BIN");
    camera.setNumber("CCD_FRAME", "LEFT", 10);
    camera.setNumber("CCD_FRAME", "WIDTH", 640.9);
    camera.update("CCD_FRAME");
    ASSERT_TRUE(until([&] { return view.sensor.frameWidth == 640; }));
    EXPECT_EQ(controller.ccdWidth(), 6000);
    EXPECT_EQ(controller.horizontalBin(), 2);
    EXPECT_EQ(controller.verticalBin(), 1);
    EXPECT_EQ(defaults.integerForKey("binning", 0), 2);
    EXPECT_EQ(controller.frameLeft(), 10);
    EXPECT_TRUE(controller.frameEnabled());
}

TEST_F(CameraFixture, IncompleteGeometryChangesNothingButAReadOnlyFrameStillCounts) {
    auto& camera = cameras.emplace_back(std::make_unique<TestCamera>(kCam));
    camera->addNumber("CCD_INFO", {{"WIDTH", 0, 1e5, 1, 6000}, {"HEIGHT", 0, 1e5, 1, 4000}}, INDIGO_RO_PERM);
    camera->addNumber("CCD_FRAME", {{"LEFT", 0, 10, 1, 3}}, INDIGO_RO_PERM);
    camera->addNumber("CCD_BIN", {{"HORIZONTAL", 1, 4, 1, 2}});
    camera->attach();
    ASSERT_TRUE(until([&] { return listed(kCam); }));
    connect(kCam);
    EXPECT_EQ(controller.ccdWidth(), 0);
    EXPECT_EQ(controller.frameLeft(), 0);
    EXPECT_FALSE(controller.frameEnabled());
    EXPECT_EQ(controller.horizontalBin(), 1);
}

TEST_F(CameraFixture, SwitchPopupsFollowTheCamera) {
    auto& camera = cameras.emplace_back(std::make_unique<TestCamera>(kCam));
    camera->addSwitch("CCD_MODE", {{"M1", "Fast", false}, {"M2", "Slow", true}});
    camera->addSwitch("CCD_FRAME_TYPE", {{"LIGHT", "Light", true}, {"DARK", "Dark", false}}, INDIGO_RO_PERM);
    camera->attach();
    ASSERT_TRUE(until([&] { return listed(kCam); }));
    connect(kCam);
    ASSERT_TRUE(until([&] { return controller.mode() && controller.frameType(); }));
    EXPECT_THAT(view.modes, ElementsAre(SwitchEntry{"Fast", "M1"}, SwitchEntry{"Slow", "M2"}));
    EXPECT_EQ(view.modeSelected, 1);
    EXPECT_EQ(controller.mode(), "M2");
    EXPECT_TRUE(controller.modeEnabled());
    // A read-only frame type still fills its popup.
    EXPECT_EQ(view.frameTypes.size(), 2u);
    EXPECT_FALSE(controller.frameTypeEnabled());

    // Two items of the same label leave one entry.
    camera->setSwitch("CCD_MODE", "M1", true);
    indigo_property* mode = camera->property("CCD_MODE");
    indigo_copy_name(mode->items[1].label, "Fast");
    camera->update("CCD_MODE");
    ASSERT_TRUE(until([&] { return view.modes.size() == 1; }));
    EXPECT_EQ(view.modes[0].name, "M2");

    // The user's choice is sent and stored; the popup follows the camera's answer.
    controller.modeAction(std::string("M2"));
    EXPECT_EQ(defaults.stringForKey("Test Camera.mode", ""), "M2");
    EXPECT_EQ(controller.count("Test Camera CCD_MODE M2"), 1u);
}

TEST_F(CameraFixture, GroupsTakeRangeStepAndValue) {
    struct Case {
        Group group;
        const char* property;
        const char* item;
        double min, max, step, value;
        double slider;        // a value the user then drags to
        double expectStep;    // the stepper's increment
        double expectField;   // the field after the refresh
        double expectDragged; // the field after the drag
    };
    const Case cases[] = {
        {Group::Offset, "CCD_OFFSET", "OFFSET", 0, 255, 0, 10, 12, 1, 10, 12},
        {Group::Gain, "CCD_GAIN", "GAIN", 0, 300, 5, 10, 12, 5, 10, 10},
        {Group::Gain, "CCD_GAIN", "GAIN", 0, 300, 5, 10, 12.5, 5, 10, 15},
        {Group::Gamma, "CCD_GAMMA", "GAMMA", 0.5, 2, 0.25, 1, 9, 0.25, 1, 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "Camera " + std::to_string(n++);
        auto& camera = cameras.emplace_back(std::make_unique<TestCamera>(name));
        camera->addNumber(c.property, {{c.item, c.min, c.max, c.step, c.value}});
        camera->attach();
        ASSERT_TRUE(until([&] { return listed(name); }));
        connect(name);
        const GroupState& group = view.groups[c.group];
        EXPECT_EQ(group.min, c.min) << name;
        EXPECT_EQ(group.max, c.max) << name;
        EXPECT_EQ(group.step, c.expectStep) << name;
        EXPECT_EQ(group.slider, c.value) << name;
        EXPECT_EQ(group.stepper, c.value) << name;
        EXPECT_EQ(group.field, c.expectField) << name;
        view.setSliderValue(c.group, c.slider);
        controller.groupAction(c.group, GroupSender::Slider, true);
        EXPECT_EQ(view.groups[c.group].field, c.expectDragged) << name;
        EXPECT_EQ(view.groups[c.group].stepper, view.groups[c.group].slider) << name;
    }
}

TEST_F(CameraFixture, ADragStoresAllAlongAndSendsOnceAtTheRelease) {
    auto& camera = addCamera(kCam);
    connect(kCam);
    const std::size_t before = controller.sent().size();
    for (double value : {20.0, 33.0, 47.0}) {
        view.setSliderValue(Group::Gain, value);
        controller.groupAction(Group::Gain, GroupSender::Slider, false);
        EXPECT_EQ(defaults.doubleForKey("Test Camera.gain", 0), std::round(value / 10) * 10);
    }
    controller.groupAction(Group::Gain, GroupSender::Slider, true);
    EXPECT_THAT(sentSince(before), ElementsAre("Test Camera CCD_GAIN GAIN=50"));
    EXPECT_EQ(view.groups[Group::Gain].field, 50);
    // The stepper sends at once and moves the slider.
    view.setStepperValue(Group::Gain, 70);
    controller.groupAction(Group::Gain, GroupSender::Stepper, true);
    EXPECT_EQ(view.groups[Group::Gain].slider, 70);
    EXPECT_THAT(sentSince(before), ElementsAre("Test Camera CCD_GAIN GAIN=50", "Test Camera CCD_GAIN GAIN=70"));
    // Read from the camera's own record of requests: its property record is written on the bus's thread.
    ASSERT_TRUE(until([&] {
        const auto changes = camera.changes();
        return std::find(changes.begin(), changes.end(), "CCD_GAIN GAIN=70") != changes.end();
    }));
}

TEST_F(CameraFixture, CoolerSetPoints) {
    struct Case {
        bool fahrenheit;
        bool coolerOn; // before the action
        const char* text;
        std::vector<std::string> sent;
        const char* stored; // "" for nothing stored
        const char* message;
    };
    const Case cases[] = {
        {false, false, "Off", {}, "Off", nullptr},
        {false, true, "Off", {"CCD_COOLER OFF"}, "Off", nullptr},
        {true, false, "14", {"CCD_COOLER ON", "CCD_TEMPERATURE TEMPERATURE=-10"}, "-10", nullptr},
        {false, true, " -15 ", {"CCD_TEMPERATURE TEMPERATURE=-15"}, "-15", nullptr},
        {false, false, "abc", {}, "", "Cooler set-point 'abc' is not a number"},
        {false, false, "-10x", {}, "", "Cooler set-point '-10x' is not a number"},
        {false, false, "-50", {}, "", "Cooler set-point -50 °C is outside the camera's range -40 to 40 °C"},
        {true, false, "113", {}, "", "Cooler set-point 113 °F is outside the camera's range -40 to 104 °F"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "Cooled " + std::to_string(n++);
        defaults.setBool(c.fahrenheit, "useFahrenheit");
        controller.savePreferences();
        auto& camera = cameras.emplace_back(std::make_unique<TestCamera>(name));
        camera->addCameraProperties();
        if (c.coolerOn) camera->setSwitch("CCD_COOLER", "ON", true);
        camera->attach();
        ASSERT_TRUE(until([&] { return listed(name); }));
        defaults.setObject(std::string(c.coolerOn ? "0" : "Off"), name + ".temperature");
        connect(name);
        ASSERT_TRUE(camera->waitForChanges(c.coolerOn ? 5 : 4)); // the restore has arrived
        const std::size_t before = controller.sent().size();
        defaults.removeObjectForKey(name + ".temperature");
        view.cooler = c.text;
        controller.coolerAction();
        std::vector<std::string> expected;
        for (const std::string& request : c.sent)
            expected.push_back(name + " " + request);
        // Only this camera's: the one before has its frames turned off from a worker queue.
        std::vector<std::string> sent;
        for (const std::string& request : sentSince(before))
            if (request.rfind(name + " ", 0) == 0) sent.push_back(request);
        EXPECT_THAT(sent, ElementsAreArray(expected)) << c.text;
        EXPECT_EQ(defaults.stringForKey(name + ".temperature", ""), c.stored) << c.text;
        if (c.message) {
            EXPECT_TRUE(logged(c.message)) << c.text;
        }
    }
}

TEST_F(CameraFixture, CoolerStateShowsPowerAndTemperature) {
    auto& camera = addCamera(kCam);
    connect(kCam);
    camera.setNumber("CCD_COOLER_POWER", "POWER", 45);
    camera.setNumber("CCD_TEMPERATURE", "TEMPERATURE", -10);
    camera.update("CCD_COOLER_POWER");
    camera.update("CCD_TEMPERATURE", INDIGO_BUSY_STATE);
    ASSERT_TRUE(until([&] { return view.coolerState == "45 % / -10 °C"; }));
    EXPECT_EQ(view.coolerImage, "NSStatusPartiallyAvailable");
    EXPECT_EQ(controller.temperature(), " -10C");
    defaults.setBool(true, "useFahrenheit");
    controller.savePreferences();
    EXPECT_EQ(view.coolerState, "45 % / 14 °F");
    EXPECT_EQ(controller.temperature(), "14F");
    EXPECT_TRUE(controller.coolerEnabled());
}

TEST_F(CameraFixture, CoolerStateWithoutPowerOrTemperature) {
    auto& camera = cameras.emplace_back(std::make_unique<TestCamera>(kCam));
    camera->addSwitch("CCD_COOLER", {{"ON", "On", false}, {"OFF", "Off", true}});
    camera->attach();
    ASSERT_TRUE(until([&] { return listed(kCam); }));
    connect(kCam);
    controller.updateCoolerState();
    EXPECT_EQ(view.coolerState, "-- % / -- °C");
    EXPECT_EQ(view.coolerImage, "NSStatusNone");
}

TEST_F(CameraFixture, ChangingTheUnitConvertsTheShownSetPoint) {
    controller.awakeFromNib();
    EXPECT_EQ(view.coolerItems, CELSIUS_SETPOINTS());
    for (const char* shown : {"-15", "Off"}) {
        view.cooler = shown;
        defaults.setBool(true, "useFahrenheit");
        controller.savePreferences();
        EXPECT_EQ(view.cooler, std::string(shown) == "Off" ? "Off" : "5");
        EXPECT_EQ(view.coolerItems, FAHRENHEIT_SETPOINTS());
        EXPECT_EQ(view.coolerLabel, "Cooler (°F):");
        defaults.setBool(false, "useFahrenheit");
        controller.savePreferences();
        EXPECT_EQ(view.cooler, shown);
        EXPECT_EQ(view.coolerLabel, "Cooler (°C):");
    }
}

TEST_F(CameraFixture, DeviceNamesWithSlashesAndDotsKeepTheirSettings) {
    for (const char* name : {"CCD/1 @ host", "Cam.v2.gain", "a.b/c"}) {
        addCamera(name);
        connect(name);
        view.setSliderValue(Group::Gain, 120);
        controller.groupAction(Group::Gain, GroupSender::Slider, true);
        view.durationValue = 2.5;
        controller.durationAction();
    }
    // Another store reading the same file finds each setting under its device.
    zeta::platform::UserDefaults reread(folder.path() / "defaults.json");
    for (const char* name : {"CCD/1 @ host", "Cam.v2.gain", "a.b/c"}) {
        EXPECT_EQ(reread.doubleForKey(CameraController::deviceKey(name, "gain"), 0), 120) << name;
        EXPECT_EQ(reread.doubleForKey(CameraController::deviceKey(name, "duration"), 0), 2.5) << name;
    }
}

TEST_F(CameraFixture, StartUpAndBatchFields) {
    defaults.setObject(std::string("30"), "timelapse");
    defaults.setObject(std::string("M42"), "nameTemplate");
    controller.awakeFromNib();
    EXPECT_EQ(view.timelapseItems, TIME_LAPSE_INTERVALS());
    EXPECT_EQ(view.timelapse, "30");
    EXPECT_EQ(view.name, "M42");
    view.countValue = 15;
    EXPECT_EQ(controller.frameCount(), 15);
    view.name = "NGC";
    view.withTimelapse = false;
    view.timelapse = "600";
    controller.batchAction();
    EXPECT_EQ(defaults.doubleForKey("count", 0), 15);
    EXPECT_EQ(defaults.stringForKey("nameTemplate", ""), "NGC");
    EXPECT_EQ(defaults.stringForKey("timelapse", ""), "30");
}

TEST_F(CameraFixture, QuitIsRefusedWhileARunGoesOn) {
    EXPECT_TRUE(controller.canQuit());
    controller.setPreviewInProgress(true);
    EXPECT_FALSE(controller.canQuit());
    controller.setPreviewInProgress(false);
    controller.setCaptureInProgress(true);
    EXPECT_FALSE(controller.canQuit());
    // Choosing a camera ends both.
    controller.cameraAction();
    EXPECT_TRUE(controller.canQuit());
}

TEST_F(CameraFixture, ExposureProgressAndPreviewFrameRate) {
    auto& camera = addCamera(kCam);
    connect(kCam);
    camera.setNumber("CCD_EXPOSURE", "EXPOSURE", 4);
    camera.update("CCD_EXPOSURE", INDIGO_BUSY_STATE);
    camera.setNumber("CCD_EXPOSURE", "EXPOSURE", 1);
    camera.update("CCD_EXPOSURE", INDIGO_BUSY_STATE);
    ASSERT_TRUE(until([&] { return view.progress == 0.75; }));
    camera.setNumber("CCD_EXPOSURE", "EXPOSURE", 0);
    camera.update("CCD_EXPOSURE", INDIGO_OK_STATE);
    ASSERT_TRUE(until([&] { return !view.progress; }));

    controller.setPreviewInProgress(true);
    for (int frame = 0; frame < 3; ++frame)
        camera.update("CCD_IMAGE");
    ASSERT_TRUE(until([&] { return controller.fps().size() == 2; }));
    EXPECT_THAT(view.fps, testing::EndsWith(" fps"));
    view.durationValue = 2;
    controller.durationAction();
    EXPECT_TRUE(controller.fps().empty());
}

} // namespace
