// The Canon camera object against the simulated EOS body.
#include "ccd_ica/ptp_camera_canon.h"

#include "camera_recorder.h"
#include "ccd_ica/ptp_browser.h"
#include "platform/camera/simulated_canon.h"
#include "platform/camera/simulated_device_source.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using zeta::platform::SimulatedCamera;
using zeta::platform::SimulatedCanon;
using zeta::platform::SimulatedCanonScript;
using zeta::platform::SimulatedReply;
using zeta::platform::SimulatedRequest;
using zeta::platform::canon_records::objectAdded;
using zeta::platform::canon_records::words;
using Bytes = std::vector<uint8_t>;

uint32_t word(const Bytes& data, std::size_t index) {
    const std::size_t at = index * 4;
    if (at + 4 > data.size()) return 0xFFFFFFFF;
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
}

// A body found by the browser, with the camera object it made on the main queue.
struct CanonRig {
    explicit CanonRig(SimulatedCanonScript script = {}) : body(std::move(script)) {
        sim->setResponseTimeout(300ms);
        source->plug(sim);
        browser.start();
        EXPECT_TRUE(recorder->waitFor("added"));
        camera = recorder->added.empty() ? nullptr : recorder->added.front();
    }
    ~CanonRig() { recorder->added.clear(); }
    bool connect() {
        camera->requestOpenSession();
        return recorder->waitFor("connected") && waitForRequests(PTPRequestCodeCanonSetDevicePropValueEx, 1);
    }
    std::vector<SimulatedRequest> requests(uint16_t code) const {
        std::vector<SimulatedRequest> found;
        for (const auto& r : sim->requests())
            if (r.operationCode == code) found.push_back(r);
        return found;
    }
    bool waitForRequests(uint16_t code, std::size_t n) {
        return dispatch::runMainQueueUntil([&] { return requests(code).size() >= n; }, 5s);
    }
    bool waitUntil(const std::function<bool()>& condition) { return dispatch::runMainQueueUntil(condition, 5s); }
    // The values written to one property, in order ({code, value slot} of SetDevicePropValueEx).
    std::vector<uint32_t> writes(uint16_t code) const {
        std::vector<uint32_t> values;
        for (const auto& r : requests(PTPRequestCodeCanonSetDevicePropValueEx))
            if (word(r.data, 1) == code) values.push_back(word(r.data, 2));
        return values;
    }
    // Every answer so far has been handled once a GetEvent sent now has been reported.
    bool drain() {
        const int before = recorder->count("list d10f");
        body.setValue(0xD10F, 2);
        camera->checkForEvent();
        return waitUntil([&] { return recorder->count("list d10f") > before; });
    }
    bool waitForWrites(uint16_t code, std::size_t n) {
        return waitUntil([&] { return writes(code).size() >= n; });
    }

    SimulatedCanon body;
    std::shared_ptr<SimulatedCamera> sim = body.camera();
    std::shared_ptr<zeta::platform::SimulatedDeviceSource> source =
        std::make_shared<zeta::platform::SimulatedDeviceSource>();
    std::shared_ptr<CameraRecorder> recorder = std::make_shared<CameraRecorder>();
    PTPBrowser browser{recorder, dispatch::mainQueue(), {source}};
    std::shared_ptr<PTPCamera> camera;
};

TEST(PTPCanonCamera, OpensInRemoteAndEventModeAndReportsTheStream) {
    CanonRig rig;
    ASSERT_TRUE(rig.camera);
    EXPECT_EQ(rig.camera->extension(), 11);
    EXPECT_NE(std::dynamic_pointer_cast<PTPCanonCamera>(rig.camera), nullptr);
    ASSERT_TRUE(rig.connect());

    // Standard properties are asked for; Canon's own (0xD1xx) come with the events.
    bool askedBattery = false;
    for (const auto& desc : rig.requests(PTPRequestCodeGetDevicePropDesc)) {
        EXPECT_NE(desc.parameters.at(0) & 0xD100, 0xD100u);
        askedBattery = askedBattery || desc.parameters.at(0) == 0x5001;
    }
    EXPECT_TRUE(askedBattery);
    EXPECT_EQ(rig.requests(PTPRequestCodeCanonSetRemoteMode).at(0).parameters, std::vector<uint32_t>{1});
    EXPECT_EQ(rig.requests(PTPRequestCodeCanonSetEventMode).at(0).parameters, std::vector<uint32_t>{1});

    auto& r = *rig.recorder;
    EXPECT_LT(r.indexOf("canExposure"), r.indexOf("connected"));
    EXPECT_NE(r.indexOf("canFocus"), -1);
    EXPECT_NE(r.indexOf("canPreview"), -1);
    // Manual exposure: exposure compensation is the camera's to choose.
    EXPECT_EQ(r.find("permission d104"), "permission d104 ro");
    EXPECT_EQ(r.find("permission d101"), "permission d101 rw");
    EXPECT_EQ(r.find("list 860f"), "list 860f 0 [0,1] [Disable,Enable] rw");
    EXPECT_EQ(r.find("list d120"), "list d120 268500995 [268500995,268500994,268828676," +
                                       std::to_string(0x1001000310060004ull) +
                                       "] [Large fine JPEG,Large JPEG,RAW,Large fine JPEG + RAW] rw");
    EXPECT_EQ(r.find("text d1d8"), "text d1d8 EF24-105mm f/4L IS USM ro");
    // The mirror lock-up custom function is switched off on connecting: its whole group goes back.
    EXPECT_EQ(rig.requests(PTPRequestCodeCanonSetDevicePropValueEx).at(0).data,
              words({40, 0xD1A0, 32, 1, 6, 20, 1, 0x060F, 1, 0}));
}

// Without the device information the opening cannot go on: it fails and says why.
TEST(PTPCanonCamera, OpeningWithoutDeviceInformationFails) {
    const std::pair<SimulatedReply, std::string> cases[] = {
        {{PTPResponseCodeGeneralError, {}, std::nullopt},
         "connectionFailed GetDeviceInfo failed (0x2002 = PTPResponseCodeGeneralError)"},
        {{PTPResponseCodeOK, {}, std::nullopt}, "connectionFailed GetDeviceInfo failed (no device information)"},
    };
    for (const auto& [reply, report] : cases) {
        SCOPED_TRACE(report);
        CanonRig rig;
        ASSERT_TRUE(rig.camera);
        rig.sim->setHandler(PTPRequestCodeGetDeviceInfo, [reply](const SimulatedRequest&) { return reply; });
        rig.camera->requestOpenSession();
        ASSERT_TRUE(rig.recorder->waitFor("connectionFailed"));
        EXPECT_EQ(rig.recorder->find("connectionFailed"), report);
        EXPECT_TRUE(rig.requests(PTPRequestCodeCanonGetDeviceInfoEx).empty());
    }
}

// A body that lists the allowed values before giving any value: the lists are known at once.
TEST(PTPCanonCamera, ListsBeforeValuesAreKnownAtConnection) {
    CanonRig rig(SimulatedCanonScript{.listsBeforeValues = true});
    ASSERT_TRUE(rig.connect());
    const auto& reports = rig.recorder->reports;
    const auto connected = std::find(reports.begin(), reports.end(), "connected");
    const auto shutter = std::find_if(reports.begin(), connected, [](const std::string& line) {
        return line == "list d102 104 [12,16,56,72,88,104,120,136] [Bulb,30s,1s,1/4s,1/15s,1/60s,1/250s,1/1000s] rw";
    });
    EXPECT_NE(shutter, connected) << ::testing::PrintToString(reports);
}

TEST(PTPCanonCamera, SensorByTheBodysWholeName) {
    struct Case {
        const char* model;
        int32_t width, height;
        float pixelSize;
    };
    const Case cases[] = {{"Canon EOS 5D Mark II", 5616, 3744, 6.41f},
                          {"Canon EOS 5D", 4368, 2912, 8.2f},
                          {"Canon EOS 5D Mark III", 0, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        CanonRig rig(SimulatedCanonScript{.model = c.model});
        ASSERT_TRUE(rig.camera);
        EXPECT_EQ(rig.camera->width(), c.width);
        EXPECT_EQ(rig.camera->height(), c.height);
        EXPECT_FLOAT_EQ(rig.camera->pixelSize(), c.pixelSize);
    }
}

// Reports as the stream delivers them: the AE mode decides what each setting offers.
TEST(PTPCanonCamera, SettingsFollowTheAEModeTheBodyReports) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    auto last = [&](const std::string& prefix) {
        const auto& reports = rig.recorder->reports;
        const auto found = std::find_if(reports.rbegin(), reports.rend(),
                                        [&](const std::string& line) { return line.starts_with(prefix); });
        return found == reports.rend() ? std::string() : *found;
    };
    // All 17 modes are offered though the body lists five; battery code 2 is a full battery.
    const std::string modes = last("list d105");
    EXPECT_TRUE(modes.starts_with("list d105 3 [0,1,2,3,4,5,6,8,9,10,11,12,13,14,15,19,22] [Program AE,")) << modes;
    EXPECT_NE(rig.recorder->indexOf("number 5001 100 0 100 25 ro"), -1);

    struct Case {
        uint32_t mode;
        uint16_t code;
        uint32_t value;
        std::string report;
    };
    const Case cases[] = {
        {2, 0xD102, 0x68, "list d102 Auto [Auto] [Auto] ro"},
        {2, 0xD101, 0x28, "list d101 40 [32,35,37,40,43,45,48,51] [f/2.8,f/3.2,f/3.5,f/4,f/4.5,f/5.0,f/5.6,f/6.3] rw"},
        {4, 0xD102, 0x0C, "list d102 Bulb [Bulb] [Bulb] ro"},
        {3, 0xD104, 0x00, "list d104 Auto [Auto] [Auto] ro"},
        // Writable, no compensation is the step "0" of the list; "Auto" is only the mode's choice.
        {2, 0xD104, 0x00, "list d104 0 [248,251,253,0,3,5,8] [-1,-2/3,-1/3,0,+1/3,+2/3,+1] rw"},
        {3, 0xD102, 0x68,
         "list d102 104 [12,16,56,72,88,104,120,136] [Bulb,30s,1s,1/4s,1/15s,1/60s,1/250s,1/1000s] rw"},
        {10, 0xD103, 0x48, "list d103 Auto [Auto] [Auto] ro"},
        {10, 0xD110, 0x81, "list d110 Auto [Auto] [Auto] ro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        const std::string prefix = "list " + CameraRecorder::hex(c.code);
        const int before = rig.recorder->count(prefix);
        rig.body.setValue(0xD105, c.mode);
        rig.body.setValue(c.code, c.value);
        rig.camera->checkForEvent();
        ASSERT_TRUE(rig.waitUntil([&] { return rig.recorder->count(prefix) > before; }));
        EXPECT_EQ(last(prefix), c.report);
    }

    // A value the labels do not know is shown by its code.
    rig.body.queueRecords(
        zeta::platform::canon_records::record(PTPEventCodeCanonAvailListChanged, words({0xD101, 3, 2, 0x0E, 0x28})));
    rig.body.setValue(0xD105, 3);
    rig.body.setValue(0xD101, 0x0E);
    rig.camera->checkForEvent();
    ASSERT_TRUE(rig.recorder->waitFor("list d101 14"));
    EXPECT_EQ(last("list d101"), "list d101 14 [14,40] [0x000e,f/4] rw");
}

TEST(PTPCanonCamera, OrderOfTheOpeningSequence) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    std::vector<uint16_t> order;
    for (const auto& r : rig.sim->requests()) {
        if (r.operationCode == 0x1014 || r.operationCode == 0x9114 || r.operationCode == 0x9115 ||
            r.operationCode == 0x9116 || r.operationCode == 0x1004)
            order.push_back(r.operationCode);
    }
    // The descriptions first, then remote mode, event mode, the first events, the storages.
    order.erase(std::unique(order.begin(), order.end()), order.end());
    ASSERT_GE(order.size(), 5u);
    EXPECT_EQ(std::vector<uint16_t>(order.begin(), order.begin() + 5),
              (std::vector<uint16_t>{0x1014, 0x9114, 0x9115, 0x9116, 0x1004}));
}

TEST(PTPCanonCamera, RawAndJpegOfOneShotKeepTheirOwnNamesAndLeaveTheCard) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    rig.body.setImageFormat(0x1001000310060004); // Large fine JPEG + RAW
    ASSERT_TRUE(rig.recorder->waitFor("list d120 " + std::to_string(0x1001000310060004ull)));
    rig.camera->setDeleteDownloadedImage(true);
    EXPECT_EQ(rig.camera->startExposure(), 0.0);
    ASSERT_TRUE(rig.waitUntil([&] { return rig.recorder->images.size() == 2; }));
    const auto pictures = rig.body.pictures();
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].first, "IMG_0001.JPG");
    EXPECT_EQ(pictures[1].first, "IMG_0001.CR2");
    EXPECT_EQ(rig.recorder->images, pictures);
    EXPECT_EQ(rig.requests(PTPRequestCodeCanonRemoteReleaseOn).at(0).parameters, (std::vector<uint32_t>{3, 0}));
    ASSERT_TRUE(rig.waitForRequests(PTPRequestCodeCanonDeleteObject, 2));
    for (const auto& deleted : rig.requests(PTPRequestCodeCanonDeleteObject))
        EXPECT_FALSE(rig.body.hasFile(deleted.parameters.at(0)));

    // A file the card no longer has.
    rig.body.queueRecords(objectAdded(0x4711, "IMG_0002.JPG"));
    rig.camera->checkForEvent();
    ASSERT_TRUE(rig.recorder->waitFor("exposureFailed"));
    EXPECT_EQ(rig.recorder->find("exposureFailed"),
              "exposureFailed Download failed (0x2009 = PTPResponseCodeInvalidObjectHandle)");
}

TEST(PTPCanonCamera, MirrorLockupWithAndWithoutItsOwnProperty) {
    for (const bool listsMirrorUp : {true, false}) {
        SCOPED_TRACE(listsMirrorUp);
        CanonRig rig(SimulatedCanonScript{.mirrorUpSetting = listsMirrorUp});
        ASSERT_TRUE(rig.connect());
        const std::size_t before = rig.requests(PTPRequestCodeCanonSetDevicePropValueEx).size();
        rig.camera->setUseMirrorLockup(true);
        rig.camera->setAvoidAF(true);
        EXPECT_EQ(rig.camera->startExposure(), 2.0);
        ASSERT_TRUE(rig.waitForRequests(PTPRequestCodeCanonRemoteReleaseOff, 1));
        const auto writes = rig.requests(PTPRequestCodeCanonSetDevicePropValueEx);
        ASSERT_EQ(writes.size(), before + 2);
        if (listsMirrorUp)
            EXPECT_EQ(writes[before].data, words({12, 0xD13A, 1}));
        else
            EXPECT_EQ(writes[before].data, words({40, 0xD1A0, 32, 1, 6, 20, 1, 0x060F, 1, 1}));
        EXPECT_EQ(writes[before + 1].data, words({12, 0xD106, 17}));
        EXPECT_EQ(rig.requests(PTPRequestCodeCanonRemoteReleaseOn).at(0).parameters, (std::vector<uint32_t>{3, 1}));
        ASSERT_TRUE(rig.drain());
        EXPECT_EQ(rig.body.value(0xD106), 17u);
        if (!listsMirrorUp) {
            EXPECT_EQ(rig.body.customFunction(0x060F), std::vector<uint32_t>{1});
        }
    }
}

TEST(PTPCanonCamera, ReleaseByBodyAndShutter) {
    struct Case {
        const char* what;
        bool remoteReleaseOn;
        uint16_t bulbCode; // 0xD105 = 4 or 0xD102 = 0x0C; 0 for a timed exposure
        std::vector<uint16_t> pressed;
        std::vector<uint16_t> afterStop;
    };
    const Case cases[] = {
        {"timed", true, 0, {0x9128, 0x9129}, {}},
        {"bulb by AE mode", true, 0xD105, {0x9128}, {0x9129}},
        {"bulb by shutter speed", true, 0xD102, {0x9128}, {0x9129}},
        {"older body timed", false, 0, {0x910F}, {}},
        {"older body bulb", false, 0xD105, {0x9125}, {0x9126}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CanonRig rig(SimulatedCanonScript{.remoteReleaseOn = c.remoteReleaseOn});
        ASSERT_TRUE(rig.connect());
        if (c.bulbCode != 0) {
            rig.body.setValue(c.bulbCode, c.bulbCode == 0xD105 ? 4 : 0x0C);
            rig.camera->checkForEvent();
            ASSERT_TRUE(rig.recorder->waitFor(c.bulbCode == 0xD105 ? "list d105 4" : "list d102 12"));
        }
        EXPECT_EQ(rig.camera->startExposure(), 0.0);
        ASSERT_TRUE(rig.drain()); // had the release let go, it came before this answer
        auto pressed = [&] {
            std::vector<uint16_t> codes;
            for (const auto& p : rig.body.presses())
                codes.push_back(p.operation);
            return codes;
        };
        EXPECT_EQ(pressed(), c.pressed);
        if (!c.afterStop.empty()) {
            EXPECT_FALSE(rig.recorder->find("exposureDone"));
            rig.camera->stopExposure();
        }
        ASSERT_TRUE(rig.recorder->waitFor("exposureDone IMG_0001.JPG"));
        auto expected = c.pressed;
        expected.insert(expected.end(), c.afterStop.begin(), c.afterStop.end());
        EXPECT_EQ(pressed(), expected);
        for (const auto& off : rig.requests(PTPRequestCodeCanonRemoteReleaseOff)) {
            EXPECT_EQ(off.parameters, std::vector<uint32_t>{3});
        }
    }
}

TEST(PTPCanonCamera, ReleaseRefusedThroughItsParameter) {
    for (const uint32_t parameter : {0u, 1u, 2u}) {
        SCOPED_TRACE(parameter);
        CanonRig rig;
        rig.body.setReleaseParameter(parameter);
        ASSERT_TRUE(rig.connect());
        rig.camera->startExposure();
        ASSERT_TRUE(rig.drain());
        if (parameter == 1) {
            EXPECT_EQ(rig.recorder->find("exposureFailed"),
                      "exposureFailed RemoteRelease failed (0x2001 = PTPResponseCodeOK[0x00000001])");
        } else {
            EXPECT_FALSE(rig.recorder->find("exposureFailed"));
        }
    }
}

// An item of several values is shown and chosen by its first, the setting its labels name.
TEST(PTPCanonCamera, CustomFunctionOfSeveralValuesShowsAndTakesItsSetting) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.recorder->find("list 810f"), "list 810f 0 [0,1] [Auto,1/200s] rw");
    rig.camera->setProperty(0x810F, "1");
    ASSERT_TRUE(rig.waitUntil([&] { return rig.body.customFunction(0x010F) == std::vector<uint32_t>{1, 1}; }));
    EXPECT_EQ(rig.body.customFunction(0x0101), std::vector<uint32_t>{0});
    rig.camera->setProperty(0x810F, "0 0");
    ASSERT_TRUE(rig.waitUntil([&] { return rig.body.customFunction(0x010F) == std::vector<uint32_t>{0, 0}; }));
    EXPECT_FALSE(rig.recorder->find("propertyFailed"));
}

TEST(PTPCanonCamera, LiveViewFramesOneAfterTheOther) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    rig.camera->startPreview();
    // The first frame request finds the viewfinder still starting and is made again.
    ASSERT_TRUE(rig.waitUntil([&] { return rig.recorder->images.size() >= 3; }));
    EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFMode), std::vector<uint32_t>{1});
    EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), std::vector<uint32_t>{2});
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.recorder->images[i].first, "preview.jpeg");
        EXPECT_EQ(rig.recorder->images[i].second, SimulatedCamera::sampleJPEG(static_cast<int>(i)));
    }
    // Each frame request follows a GetEvent, so changes keep coming during live view.
    const auto requests = rig.sim->requests();
    int frames = 0;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].operationCode != PTPRequestCodeCanonGetViewFinderData) continue;
        ++frames;
        EXPECT_EQ(requests[i].parameters, std::vector<uint32_t>{0x100000});
        ASSERT_GT(i, 0u);
        EXPECT_EQ(requests[i - 1].operationCode, PTPRequestCodeCanonGetEvent);
    }
    EXPECT_GE(frames, 4); // one NotReady, three frames

    rig.camera->setZoomPreview(true);
    ASSERT_TRUE(rig.waitForRequests(PTPRequestCodeCanonZoom, 1));
    EXPECT_EQ(rig.requests(PTPRequestCodeCanonZoom).at(0).parameters, std::vector<uint32_t>{5});

    // Stopped by the caller: the viewfinder goes off and the loop ends without a failure.
    rig.camera->stopPreview();
    ASSERT_TRUE(rig.waitForWrites(PTPPropertyCodeCanonEVFOutputDevice, 2));
    EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), (std::vector<uint32_t>{2, 0}));
    bool marked = false;
    dispatch::after(150ms, dispatch::mainQueue(), [&] { marked = true; });
    ASSERT_TRUE(rig.waitUntil([&] { return marked; }));
    ASSERT_TRUE(rig.drain());
    const std::size_t frameRequests = rig.requests(PTPRequestCodeCanonGetViewFinderData).size();
    ASSERT_TRUE(rig.drain());
    EXPECT_EQ(rig.requests(PTPRequestCodeCanonGetViewFinderData).size(), frameRequests);
    EXPECT_FALSE(rig.recorder->find("exposureFailed"));
    EXPECT_EQ(rig.body.value(PTPPropertyCodeCanonEVFOutputDevice), 0u);
    const auto& reports = rig.recorder->reports;
    const auto output = std::find_if(reports.rbegin(), reports.rend(),
                                     [](const std::string& line) { return line.starts_with("list d1b0"); });
    ASSERT_NE(output, reports.rend());
    EXPECT_TRUE(output->starts_with("list d1b0 0 ")) << *output;
}

TEST(PTPCanonCamera, ViewfinderFailuresEndLiveView) {
    struct Case {
        const char* what;
        SimulatedReply reply;
        std::string message;
    };
    const Case cases[] = {
        {"no frame record",
         {PTPResponseCodeOK, {}, zeta::platform::canon_records::record(2, words({1, 2}))},
         "No preview data received"},
        {"empty answer", {PTPResponseCodeOK, {}, Bytes{}}, "No preview data received"},
        {"refused",
         {PTPResponseCodeCanonOperationRefused, {}, std::nullopt},
         "Preview failed (0xa005 = PTPResponseCodeCanonOperationRefused)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CanonRig rig;
        ASSERT_TRUE(rig.connect());
        rig.sim->setHandler(PTPRequestCodeCanonGetViewFinderData, [&c](const SimulatedRequest&) { return c.reply; });
        rig.camera->startPreview();
        ASSERT_TRUE(rig.recorder->waitFor("exposureFailed"));
        EXPECT_EQ(rig.recorder->find("exposureFailed"), "exposureFailed " + c.message);
        ASSERT_TRUE(rig.waitForWrites(PTPPropertyCodeCanonEVFOutputDevice, 2));
        EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), (std::vector<uint32_t>{2, 0}));
        EXPECT_EQ(rig.requests(PTPRequestCodeCanonGetViewFinderData).size(), 1u);
    }
}

TEST(PTPCanonCamera, LensStepsOneAtATimeInALiveViewOfItsOwn) {
    for (const int32_t steps : {3, -1}) {
        SCOPED_TRACE(steps);
        CanonRig rig;
        ASSERT_TRUE(rig.connect());
        rig.camera->focus(steps);
        ASSERT_TRUE(rig.recorder->waitFor("focusDone"));
        const auto done = SimulatedCanon::Clock::now();
        const auto lens = rig.body.lensSteps();
        ASSERT_EQ(lens.size(), static_cast<std::size_t>(std::abs(steps)));
        for (std::size_t i = 0; i < lens.size(); ++i) {
            EXPECT_EQ(lens[i].parameter, steps > 0 ? 1u : 0x8001u);
            if (i > 0) {
                EXPECT_GE(lens[i].at - lens[i - 1].at, 100ms);
            }
        }
        EXPECT_GE(done - lens.back().at, 100ms);
        EXPECT_EQ(rig.body.lensPosition(), steps);
        // The viewfinder came on before the first step and went off after the last.
        ASSERT_TRUE(rig.waitForWrites(PTPPropertyCodeCanonEVFOutputDevice, 2));
        EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), (std::vector<uint32_t>{2, 0}));
        EXPECT_EQ(rig.body.value(PTPPropertyCodeCanonEVFOutputDevice), 0u);
        EXPECT_FALSE(rig.recorder->find("focusFailed"));
    }
}

TEST(PTPCanonCamera, LensStopsAfterTheStepInFlight) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    rig.camera->focus(5);
    ASSERT_TRUE(rig.waitForRequests(PTPRequestCodeCanonDriveLens, 1));
    rig.camera->focus(0);
    ASSERT_TRUE(rig.recorder->waitFor("focusDone"));
    EXPECT_LE(rig.body.lensSteps().size(), 2u);
    ASSERT_TRUE(rig.waitForWrites(PTPPropertyCodeCanonEVFOutputDevice, 2));
    EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), (std::vector<uint32_t>{2, 0}));
}

// A move asked for while the last step of a stopped one is in flight goes on from that step:
// one chain of steps, 100 ms apart, and one report at its end.
TEST(PTPCanonCamera, MoveDuringTheLastStepFollowsIt) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    rig.camera->focus(5);
    ASSERT_TRUE(rig.waitForRequests(PTPRequestCodeCanonDriveLens, 1));
    rig.camera->focus(0);
    rig.camera->focus(-2);
    ASSERT_TRUE(rig.recorder->waitFor("focusDone"));
    bool settled = false; // a second chain would report its own end within this
    dispatch::after(250ms, dispatch::mainQueue(), [&] { settled = true; });
    ASSERT_TRUE(rig.waitUntil([&] { return settled; }));
    EXPECT_EQ(rig.recorder->count("focusDone"), 1);
    const auto lens = rig.body.lensSteps();
    ASSERT_EQ(lens.size(), 3u);
    EXPECT_EQ(lens[0].parameter, 1u);
    EXPECT_EQ(lens[1].parameter, 0x8001u);
    EXPECT_EQ(lens[2].parameter, 0x8001u);
    for (std::size_t i = 1; i < lens.size(); ++i)
        EXPECT_GE(lens[i].at - lens[i - 1].at, 100ms);
    EXPECT_EQ(rig.body.lensPosition(), -1);
    // The viewfinder went on once and off once.
    ASSERT_TRUE(rig.waitForWrites(PTPPropertyCodeCanonEVFOutputDevice, 2));
    EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), (std::vector<uint32_t>{2, 0}));
}

TEST(PTPCanonCamera, LensFailureSwitchesItsLiveViewOff) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    rig.camera->focus(2);
    ASSERT_TRUE(rig.waitUntil([&] { return rig.body.lensPosition() == 1; }));
    rig.body.failDriveLens(PTPResponseCodeCanonOperationRefused);
    ASSERT_TRUE(rig.recorder->waitFor("focusFailed"));
    EXPECT_EQ(rig.recorder->find("focusFailed"),
              "focusFailed DriveLens failed (0xa005 = PTPResponseCodeCanonOperationRefused)");
    EXPECT_EQ(rig.body.lensSteps().size(), 2u);
    ASSERT_TRUE(rig.waitForWrites(PTPPropertyCodeCanonEVFOutputDevice, 2));
    EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), (std::vector<uint32_t>{2, 0}));
    ASSERT_TRUE(rig.drain());
    EXPECT_EQ(rig.body.value(PTPPropertyCodeCanonEVFOutputDevice), 0u);
    EXPECT_FALSE(rig.recorder->find("focusDone"));
}

// An answer that never comes fails what waited for it, as a refusal would.
TEST(PTPCanonCamera, LostAnswersFailWhatWaitedForThem) {
    struct Case {
        uint16_t operation;
        std::function<void(CanonRig&)> start;
        std::string report;
    };
    const Case cases[] = {
        {PTPRequestCodeCanonDriveLens, [](CanonRig& rig) { rig.camera->focus(2); }, "focusFailed DriveLens failed ("},
        {PTPRequestCodeCanonRemoteReleaseOn, [](CanonRig& rig) { rig.camera->startExposure(); },
         "exposureFailed RemoteRelease failed ("},
        {PTPRequestCodeCanonGetObject, [](CanonRig& rig) { rig.camera->startExposure(); },
         "exposureFailed Download failed ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        CanonRig rig;
        ASSERT_TRUE(rig.connect());
        rig.sim->loseResponse(c.operation);
        c.start(rig);
        ASSERT_TRUE(rig.recorder->waitFor(c.report));
        if (c.operation == PTPRequestCodeCanonDriveLens) {
            ASSERT_TRUE(rig.waitForWrites(PTPPropertyCodeCanonEVFOutputDevice, 2));
            EXPECT_EQ(rig.writes(PTPPropertyCodeCanonEVFOutputDevice), (std::vector<uint32_t>{2, 0}));
        }
    }
}

TEST(PTPCanonCamera, ClosingEndsLiveViewThenModes) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    rig.camera->startPreview();
    ASSERT_TRUE(rig.recorder->waitFor("exposureDone preview.jpeg"));
    rig.camera->requestCloseSession();
    ASSERT_TRUE(rig.recorder->waitFor("disconnected"));
    std::vector<uint16_t> tail;
    bool closing = false;
    for (const auto& r : rig.sim->requests()) {
        closing = closing || (r.operationCode == PTPRequestCodeCanonSetDevicePropValueEx && word(r.data, 1) == 0xD1B0 &&
                              word(r.data, 2) == 0);
        if (closing && r.operationCode != PTPRequestCodeCanonGetEvent &&
            r.operationCode != PTPRequestCodeCanonGetViewFinderData)
            tail.push_back(r.operationCode);
    }
    EXPECT_EQ(tail, (std::vector<uint16_t>{0x9110, 0x9114, 0x9115, 0x911C, 0x1003}));
    EXPECT_EQ(rig.requests(PTPRequestCodeCanonSetRemoteMode).back().parameters, std::vector<uint32_t>{0});
}

} // namespace
