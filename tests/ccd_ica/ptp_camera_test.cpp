// The generic camera object and the camera browser over simulated cameras, with a delegate
// that writes down every report.
#include "camera_rig.h"
#include "indigo/indigo_log.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zeta::platform::SimulatedCamera;
using zeta::platform::SimulatedProperty;
using zeta::platform::SimulatedReply;
using zeta::platform::SimulatedRequest;

// One simulated camera (the generic one unless given) found by the browser.
struct Rig : CameraRig<PTPCamera> {
    explicit Rig(std::shared_ptr<SimulatedCamera> simulated = SimulatedCamera::preset("generic"))
        : CameraRig(std::move(simulated)) {}
};

std::shared_ptr<PTPProperty> description(uint16_t code, uint16_t type, PTPValue value,
                                         std::optional<std::vector<PTPValue>> values = {}) {
    auto property = std::make_shared<PTPProperty>(code);
    property->type = type;
    property->value = std::move(value);
    property->supportedValues = std::move(values);
    return property;
}

PTPValue u16(uint64_t v) {
    return PTPValue::integer(PTPDataTypeUInt16, v);
}
PTPValue i32(int64_t v) {
    return PTPValue::integer(PTPDataTypeInt32, static_cast<uint64_t>(v));
}

TEST(PTPCamera, OpeningSequenceReportsEveryPropertyThenConnects) {
    Rig rig;
    ASSERT_TRUE(rig.camera);
    EXPECT_EQ(rig.camera->name(), "Simulated Camera");
    EXPECT_EQ(rig.camera->extension(), 0);
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;

    // Capture ability comes with the device information, before any property.
    EXPECT_LT(r.indexOf("canExposure"), r.indexOf("list 5007"));
    EXPECT_EQ(r.find("list 5007"), "list 5007 560 [280,400,560,800,1100,1600] [f/2.8,f/4,f/5.6,f/8,f/11,f/16] rw");
    EXPECT_EQ(r.find("number 5008"), "number 5008 50 18 55 0 ro");
    EXPECT_EQ(r.find("list 500d"), "list 500d 80 [1,12,80,125,2500,10000,300000] "
                                   "[1/8000 s,1/800 s,1/125 s,1/80 s,1/4 s,1 s,30 s] rw");
    EXPECT_EQ(r.find("list 5004"), "list 5004 2 [0,1,2,4,7] [JPEG Basic,JPEG Norm,JPEG Fine,RAW,RAW + JPEG Fine] rw");
    EXPECT_EQ(r.find("list 5010"), "list 5010 0 [-1000,-667,-333,0,333,667,1000] [-1.0,-0.7,-0.3,0.0,0.3,0.7,1.0] rw");
    EXPECT_EQ(r.find("list 5003"),
              "list 5003 6000x4000 [6000x4000,4496x3000,2992x2000] [6000x4000,4496x3000,2992x2000] rw");
    EXPECT_EQ(r.find("number 5001"), "number 5001 80 0 100 1 ro");
    // Every description is answered before the connection completes; the descriptions are kept.
    EXPECT_LT(r.indexOf("list 5010"), r.indexOf("connected"));
    ASSERT_TRUE(rig.camera->info());
    EXPECT_EQ(rig.camera->info()->properties().size(), 10u);
    EXPECT_TRUE(rig.camera->operationIsSupported(0x100E));
    EXPECT_TRUE(rig.camera->propertyIsSupported(0x500F));
    ASSERT_FALSE(r.logs.empty());
    EXPECT_TRUE(r.logs.back().starts_with("Initialized Simulated Camera 1.0, PTP V1.00"));

    // GetStorageIDs goes out after the last GetDevicePropDesc.
    const auto sent = rig.sim->requests();
    std::size_t lastDescription = 0, storage = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].operationCode == 0x1014) lastDescription = i;
        if (sent[i].operationCode == 0x1004) storage = i;
    }
    EXPECT_GT(storage, lastDescription);

    rig.camera->requestCloseSession();
    EXPECT_TRUE(r.waitFor("disconnected"));
}

TEST(PTPCamera, CameraWithoutPropertiesStillConnects) {
    auto sim = std::make_shared<SimulatedCamera>("Bare", 0xF055);
    Rig rig(sim);
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.recorder->count("list"), 0);
    EXPECT_TRUE(requestsOf(*sim, 0x1014).empty());
    EXPECT_EQ(requestsOf(*sim, 0x1004).size(), 1u);
}

// The opening sequence that cannot finish says why, closes the session, and never reports
// connected (or disconnected).
TEST(PTPCamera, FailedOpeningSequenceIsReported) {
    struct Case {
        const char* name;
        std::function<void(SimulatedCamera&)> fault;
        const char* message;
        bool sessionOpened = true; // so it is closed again
    };
    const Case cases[] = {
        {"device info refused",
         [](SimulatedCamera& c) {
             c.setHandler(0x1001, [](const SimulatedRequest&) { return SimulatedReply{0x2002, {}, {}}; });
         },
         "connectionFailed GetDeviceInfo failed (0x2002 = PTPResponseCodeGeneralError"},
        {"device info without data",
         [](SimulatedCamera& c) { c.setHandler(0x1001, [](const SimulatedRequest&) { return SimulatedReply{}; }); },
         "connectionFailed GetDeviceInfo failed (no device information)"},
        {"storage refused",
         [](SimulatedCamera& c) {
             c.setHandler(0x1004, [](const SimulatedRequest&) { return SimulatedReply{0x2019, {}, {}}; });
         },
         "connectionFailed GetStorageIDs failed (0x2019 = PTPResponseCodeDeviceBusy"},
        {"storage answer lost", [](SimulatedCamera& c) { c.loseResponse(0x1004); },
         "connectionFailed GetStorageIDs failed ("},
        // Named once, like any other refusal (not wrapped in a second "OpenSession failed").
        {"session refused",
         [](SimulatedCamera& c) {
             c.setHandler(0x1002, [](const SimulatedRequest&) { return SimulatedReply{0x2019, {}, {}}; });
         },
         "connectionFailed OpenSession failed (0x2019 = PTPResponseCodeDeviceBusy)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.fault(*rig.sim);
        rig.camera->requestOpenSession();
        ASSERT_TRUE(rig.recorder->waitFor("connectionFailed")) << ::testing::PrintToString(rig.recorder->reports);
        EXPECT_TRUE(rig.recorder->find(c.message)) << *rig.recorder->find("connectionFailed");
        if (c.sessionOpened) {
            EXPECT_TRUE(dispatch::runMainQueueUntil([&] { return !requestsOf(*rig.sim, 0x1003).empty(); }, 5s));
        }
        dispatch::runMainQueueUntil([] { return false; }, 100ms);
        EXPECT_FALSE(rig.recorder->find("connected"));
        EXPECT_FALSE(rig.recorder->find("disconnected"));
    }
}

TEST(PTPCamera, SettingGoesOutAtItsWidthAndIsReadBack) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;
    r.reports.clear();

    rig.camera->setProperty(0x5007, "800"); // UINT16
    ASSERT_TRUE(r.waitFor("list 5007 800"));
    const auto sets = requestsOf(*rig.sim, 0x1016);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].parameters, std::vector<uint32_t>{0x5007});
    EXPECT_EQ(sets[0].data, (std::vector<uint8_t>{0x20, 0x03}));

    rig.camera->setProperty(0x5010, "-333"); // INT16
    ASSERT_TRUE(r.waitFor("list 5010 -333"));
    EXPECT_EQ(requestsOf(*rig.sim, 0x1016).back().data, (std::vector<uint8_t>{0xB3, 0xFE}));

    rig.camera->setProperty(0x5003, "4496x3000"); // string
    ASSERT_TRUE(r.waitFor("list 5003 4496x3000"));
    EXPECT_EQ(requestsOf(*rig.sim, 0x1016).back().data.front(), 10); // nine characters and the terminator
}

TEST(PTPCamera, SettingTheCameraCannotMakeIsReportedFailed) {
    auto sim = SimulatedCamera::preset("generic");
    sim->setProperty({0xD1A0, 0x4004, true, int64_t{0}, int64_t{0}, std::nullopt, std::nullopt});
    Rig rig(sim);
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;
    const std::size_t setsBefore = requestsOf(*sim, 0x1016).size();

    rig.camera->setProperty(0xD2D2, "1");
    EXPECT_EQ(r.find("propertyFailed d2d2"), "propertyFailed d2d2 Property 0xd2d2 is not described by the camera");
    rig.camera->setProperty(0xD1A0, "1");
    EXPECT_EQ(r.find("propertyFailed d1a0"),
              "propertyFailed d1a0 Property 0xd1a0 has an unsupported datatype (PTPDataTypeCodeArrayOfUInt16)");
    EXPECT_EQ(requestsOf(*sim, 0x1016).size(), setsBefore);

    // A value the camera refuses: the refusal, then the value the camera kept.
    r.reports.clear();
    rig.camera->setProperty(0x5007, "123");
    ASSERT_TRUE(r.waitFor("list 5007"));
    EXPECT_TRUE(
        r.find("propertyFailed 5007 SetDevicePropValue failed (0x201c = PTPResponseCodeInvalidDevicePropValue"));
    EXPECT_LT(r.indexOf("propertyFailed 5007"), r.indexOf("list 5007 560"));

    // A setting whose answer never comes.
    sim->loseResponse(0x1016);
    rig.camera->setProperty(0x500F, "400");
    ASSERT_TRUE(r.waitFor("propertyFailed 500f"));
    EXPECT_TRUE(r.find("propertyFailed 500f SetDevicePropValue failed ("));
}

TEST(PTPCamera, DescriptionsBecomeReports) {
    Rig rig;
    auto& r = *rig.recorder;
    struct Case {
        std::shared_ptr<PTPProperty> property;
        const char* report;
    };
    auto withRange = [](std::shared_ptr<PTPProperty> p, int64_t min, int64_t max, int64_t step) {
        p->min = i32(min);
        p->max = i32(max);
        p->step = i32(step);
        return p;
    };
    auto readOnly = [](std::shared_ptr<PTPProperty> p) {
        p->readOnly = true;
        return p;
    };
    const Case cases[] = {
        // Fixed exposure-time labels, and the three computed ranges.
        {description(0x500D, PTPDataTypeInt32, i32(-1),
                     std::vector<PTPValue>{i32(1), i32(3), i32(6), i32(12), i32(15), i32(80), i32(-1), i32(-3)}),
         "list 500d -1 [1,3,6,12,15,80,-1,-3] [1/8000 s,1/3200 s,1/1600 s,1/800 s,1/640 s,1/125 s,Bulb,Time] rw"},
        {description(0x500D, PTPDataTypeUInt32, PTPValue::integer(PTPDataTypeUInt32, 2),
                     std::vector<PTPValue>{
                         PTPValue::integer(PTPDataTypeUInt32, 2), PTPValue::integer(PTPDataTypeUInt32, 25),
                         PTPValue::integer(PTPDataTypeUInt32, 2500), PTPValue::integer(PTPDataTypeUInt32, 10000),
                         PTPValue::integer(PTPDataTypeUInt32, 0xFFFFFFFF), PTPValue::integer(PTPDataTypeUInt32, 0)}),
         "list 500d 2 [2,25,2500,10000,4294967295,0] [1/5000 s,1/400 s,1/4 s,1 s,Bulb,0] rw"},
        // A value the map does not know is shown as its hexadecimal code.
        {description(0x5004, PTPDataTypeUInt8, PTPValue::integer(PTPDataTypeUInt8, 3),
                     std::vector<PTPValue>{PTPValue::integer(PTPDataTypeUInt8, 2),
                                           PTPValue::integer(PTPDataTypeUInt8, 3)}),
         "list 5004 3 [2,3] [JPEG Fine,0x0003] rw"},
        // A mapped list without a current value reports nothing to choose from.
        {description(0x500E, PTPDataTypeUInt16, PTPValue(), std::vector<PTPValue>{u16(1)}), "list 500e  [] [] ro"},
        // A list code sent in range form has no values.
        {withRange(description(0x500F, PTPDataTypeUInt16, u16(100)), 100, 6400, 100), "list 500f 100 [] [] rw"},
        // Battery level as an enumeration is still a number.
        {description(0x5001, PTPDataTypeUInt8, PTPValue::integer(PTPDataTypeUInt8, 50),
                     std::vector<PTPValue>{PTPValue::integer(PTPDataTypeUInt8, 0),
                                           PTPValue::integer(PTPDataTypeUInt8, 50)}),
         "number 5001 50 0 0 0 rw"},
        {withRange(description(0xD1A1, PTPDataTypeInt16, i32(-5)), -10, 10, 1), "number d1a1 -5 -10 10 1 rw"},
        {description(0xD1A2, PTPDataTypeUInt16, u16(7), std::vector<PTPValue>{u16(7), u16(9)}),
         "list d1a2 7 [7,9] [7,9] rw"},
        {description(0xD1A3, PTPDataTypeUInt128, PTPValue(std::string("00 01"))), "text d1a3 00 01 ro"},
        {readOnly(description(0xD1A4, PTPDataTypeString, PTPValue(std::string("Zeta")))), "text d1a4 Zeta ro"},
        {description(0xD1A5, PTPDataTypeString, PTPValue(std::string("Owner"))), "text d1a5 Owner rw"},
    };
    for (const auto& c : cases) {
        r.reports.clear();
        rig.camera->processPropertyDescription(c.property);
        ASSERT_EQ(r.reports.size(), 1u) << c.report;
        EXPECT_EQ(r.reports[0], c.report);
    }
    // An array without allowed values is not reported at all.
    r.reports.clear();
    rig.camera->processPropertyDescription(description(0xD1A6, 0x4004, PTPValue(std::vector<PTPInteger>{})));
    EXPECT_TRUE(r.reports.empty());
    EXPECT_TRUE(r.debugs.back().starts_with("Ignored "));
}

TEST(PTPCamera, LabelMapsForVendorClasses) {
    Rig rig;
    auto& r = *rig.recorder;
    const std::map<int64_t, std::string> map{{3, "three"}, {1, "one"}, {2, "two"}};
    rig.camera->mapValueInterval(description(0xD1B0, PTPDataTypeUInt8, PTPValue::integer(PTPDataTypeUInt8, 2)), map);
    EXPECT_EQ(r.reports.back(), "list d1b0 2 [1,2,3] [one,two,three] rw");
    rig.camera->mapValueList(description(0xD1B0, PTPDataTypeUInt8, PTPValue::integer(PTPDataTypeUInt8, 2),
                                         std::vector<PTPValue>{PTPValue::integer(PTPDataTypeUInt8, 3),
                                                               PTPValue::integer(PTPDataTypeUInt8, 9)}),
                             map);
    EXPECT_EQ(r.reports.back(), "list d1b0 2 [3,9] [three,0x0009] rw");
}

TEST(PTPCamera, CaptureDownloadsTheNewFileByteForByte) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;
    std::vector<uint8_t> picture(70001);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>(i * 7);
    rig.sim->setCaptureFile("DSC_0001.JPG", picture);
    rig.camera->setDeleteDownloadedImage(false);

    EXPECT_EQ(rig.camera->startExposure(), 0.0);
    ASSERT_TRUE(r.waitFor("exposureDone"));
    EXPECT_EQ(r.find("exposureDone"), "exposureDone DSC_0001.JPG");
    EXPECT_EQ(r.lastImage, picture);
    EXPECT_LT(r.indexOf("frame 0 0 -1 -1"), r.indexOf("exposureDone"));
    EXPECT_FALSE(r.find("exposureFailed"));
    // The downloaded copy is gone; the camera keeps its file.
    EXPECT_TRUE(std::filesystem::is_empty(rig.camera->downloadFolder()));
    EXPECT_TRUE(rig.sim->hasObject(0x00010001));

    // Deleting after download removes it from the camera.
    rig.camera->setDeleteDownloadedImage(true);
    r.reports.clear();
    rig.camera->startExposure();
    ASSERT_TRUE(r.waitFor("exposureDone"));
    EXPECT_TRUE(dispatch::runMainQueueUntil([&] { return !rig.sim->hasObject(0x00010002); }, 2s));
}

TEST(PTPCamera, FailedCaptureAndDownloadAreReported) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;

    rig.sim->answerBusy(0x100E, 1);
    rig.camera->startExposure();
    ASSERT_TRUE(r.waitFor("exposureFailed"));
    EXPECT_EQ(r.find("exposureFailed"), "exposureFailed InitiateCapture failed (0x2019 = PTPResponseCodeDeviceBusy)");
    EXPECT_EQ(r.logs.back(),
              "Error 'InitiateCapture failed (0x2019 = PTPResponseCodeDeviceBusy)' on 'Simulated Camera'");

    r.reports.clear();
    rig.sim->setHandler(0x1009, [](const SimulatedRequest&) { return SimulatedReply{0x2002, {}, {}}; });
    rig.camera->startExposure();
    ASSERT_TRUE(r.waitFor("exposureFailed"));
    EXPECT_EQ(r.find("exposureFailed"),
              "exposureFailed requestDownloadFile failed (GetObject failed (0x2002 = PTPResponseCodeGeneralError))");
}

TEST(PTPCamera, EventsAndTheirOrder) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;

    // A pushed property change is read again.
    r.reports.clear();
    rig.sim->setProperty({0x500F, 4, true, int64_t{100}, int64_t{1600},
                          std::vector<SimulatedProperty::Value>{int64_t{100}, int64_t{1600}}, std::nullopt});
    rig.sim->sendEvent(0x4006, {0x500F});
    ASSERT_TRUE(r.waitFor("list 500f 1600"));

    // Capture complete matches one announced object; a second one is out of sequence.
    r.reports.clear();
    rig.camera->processEvent(PTPEvent::withCode(0x4002, 0x00010009));
    rig.camera->processEvent(PTPEvent::withCode(0x400D, 0));
    EXPECT_TRUE(r.reports.empty());
    rig.camera->processEvent(PTPEvent::withCode(0x400D, 0));
    EXPECT_EQ(r.reports, std::vector<std::string>{"exposureFailed Image data out of sequence"});
}

TEST(PTPCamera, PolledFamilyIgnoresPushedEvents) {
    indigo_set_log_level(INDIGO_LOG_DEBUG);
    auto sim = SimulatedCamera::preset("generic");
    auto info = sim->deviceInfo();
    info.vendorExtension = PTPVendorExtensionNikon;
    sim->setDeviceInfo(info);
    Rig rig(sim);
    ASSERT_TRUE(rig.connect());
    const std::size_t before = requestsOf(*sim, 0x1014).size();
    rig.sim->sendEvent(0x4006, {0x500F});
    ASSERT_TRUE(dispatch::runMainQueueUntil(
        [&] {
            return std::any_of(rig.recorder->debugs.begin(), rig.recorder->debugs.end(),
                               [](const auto& l) { return l.starts_with("Received "); });
        },
        5s));
    dispatch::runMainQueueUntil([] { return false; }, 200ms);
    EXPECT_EQ(requestsOf(*sim, 0x1014).size(), before);
}

// A camera class that counts its event polls.
class PollingCamera final : public PTPCamera {
public:
    int polls = 0;
    void checkForEvent() override { ++polls; }

private:
    friend class PTPCamera;
    using PTPCamera::PTPCamera;
};

struct DeviceHolder final : zeta::platform::ICDeviceBrowserDelegate {
    std::shared_ptr<zeta::platform::ICCameraDevice> device;
    bool removed = false;
    void didAddDevice(zeta::platform::ICDeviceBrowser&, const std::shared_ptr<zeta::platform::ICCameraDevice>& d,
                      bool) override {
        device = d;
    }
    void didRemoveDevice(zeta::platform::ICDeviceBrowser&, const std::shared_ptr<zeta::platform::ICCameraDevice>&,
                         bool) override {
        removed = true;
    }
};

TEST(PTPCamera, EventTimerPollsOncePerIntervalWhileTheSessionIsOpen) {
    dispatch::ManualClock clock;
    auto sim = SimulatedCamera::preset("generic");
    auto source = std::make_shared<zeta::platform::SimulatedDeviceSource>();
    source->plug(sim);
    auto holder = std::make_shared<DeviceHolder>();
    zeta::platform::ICDeviceBrowser icBrowser(dispatch::mainQueue(), {source});
    icBrowser.setDelegate(holder);
    icBrowser.start();
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return holder->device != nullptr; }, 5s));
    auto recorder = std::make_shared<CameraRecorder>();
    auto camera = PTPCamera::create<PollingCamera>(holder->device, recorder, dispatch::mainQueue());
    // Polls that fall due within the time given.
    auto pollsIn = [&](std::chrono::milliseconds time) {
        const int before = camera->polls;
        clock.advance(time);
        dispatch::drainMainQueue();
        return camera->polls - before;
    };

    EXPECT_EQ(pollsIn(2s), 0); // no session, no polling
    camera->requestOpenSession();
    ASSERT_TRUE(recorder->waitFor("connected"));
    EXPECT_EQ(pollsIn(499ms), 0);
    EXPECT_EQ(pollsIn(1ms), 1);
    EXPECT_EQ(pollsIn(500ms), 1);

    camera->requestCloseSession();
    ASSERT_TRUE(recorder->waitFor("disconnected"));
    EXPECT_EQ(pollsIn(2s), 0);

    // Reconnecting polls again, once per interval (a second timer would double the rate).
    camera->requestOpenSession();
    recorder->reports.clear();
    ASSERT_TRUE(recorder->waitFor("connected"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(pollsIn(500ms), 1);

    source->unplug(sim);
    ASSERT_TRUE(recorder->waitFor("removed"));
    EXPECT_EQ(pollsIn(2s), 0);
}

TEST(PTPBrowser, AnnouncesEachCameraAndDropsItWhenRemoved) {
    auto source = std::make_shared<zeta::platform::SimulatedDeviceSource>();
    auto recorder = std::make_shared<CameraRecorder>();
    PTPBrowser browser(recorder, dispatch::mainQueue(), {source});
    EXPECT_EQ(browser.delegate(), recorder);
    auto first = std::make_shared<SimulatedCamera>("First", 0xF055);
    auto second = std::make_shared<SimulatedCamera>("Second", 0xF055);
    source->plug(first);
    source->plug(second);
    dispatch::runMainQueueUntil([] { return false; }, 100ms);
    EXPECT_TRUE(recorder->reports.empty()); // nothing before start

    browser.start();
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return recorder->added.size() == 2; }, 5s));
    EXPECT_EQ(recorder->reports, (std::vector<std::string>{"added First", "added Second"}));
    ASSERT_EQ(browser.cameras().size(), 2u);
    EXPECT_EQ(browser.cameras()[0], recorder->added[0]);
    EXPECT_EQ(typeid(*browser.cameras()[0]), typeid(PTPCamera));
    EXPECT_EQ(browser.cameras()[0]->delegate(), recorder);

    std::weak_ptr<PTPCamera> gone = recorder->added[0];
    source->unplug(first);
    ASSERT_TRUE(recorder->waitFor("removed"));
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return browser.cameras().size() == 1; }, 5s));
    EXPECT_EQ(browser.cameras()[0]->name(), "Second");
    recorder->added.erase(recorder->added.begin());
    EXPECT_TRUE(gone.expired());

    // Browsing again does not announce the cameras already known.
    browser.stop();
    browser.start();
    dispatch::runMainQueueUntil([] { return false; }, 200ms);
    EXPECT_EQ(recorder->added.size(), 1u);
    EXPECT_EQ(browser.cameras().size(), 1u);
    browser.stop();
    recorder->added.clear();
}

} // namespace
