// The Nikon camera class over the simulated D800 (and its tables and parsers on their own),
// with a delegate that writes down every report.
#include "ccd_ica/ptp_camera_nikon.h"

#include "camera_rig.h"
#include "ccd_ica/nikon_labels.h"
#include "ccd_ica/nikon_parsers.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace zeta::ccd_ica;
using zeta::platform::SimulatedCamera;
using zeta::platform::SimulatedReply;
using zeta::platform::SimulatedRequest;

// The values the camera was asked to set for a property, in order.
std::vector<int> settingsOf(const SimulatedCamera& camera, uint16_t code) {
    std::vector<int> values;
    for (const auto& r : requestsOf(camera, PTPRequestCodeSetDevicePropValue)) {
        if (!r.parameters.empty() && r.parameters[0] == code && !r.data.empty()) values.push_back(r.data[0]);
    }
    return values;
}

// One line per request of interest: "9204 1 10", "1016 d10b 1", "1015 d1a4".
std::vector<std::string> trace(const SimulatedCamera& camera, std::size_t from = 0) {
    std::vector<std::string> lines;
    const auto all = camera.requests();
    for (std::size_t i = from; i < all.size(); ++i) {
        const auto& r = all[i];
        if (r.operationCode == PTPRequestCodeGetDevicePropDesc || r.operationCode == PTPRequestCodeNikonCheckEvent ||
            r.operationCode == PTPRequestCodeNikonGetLiveViewImg)
            continue;
        char line[64];
        if (r.operationCode == PTPRequestCodeSetDevicePropValue) {
            std::snprintf(line, sizeof line, "1016 %04x %d", r.parameters.at(0), r.data.empty() ? -1 : r.data[0]);
        } else {
            std::snprintf(line, sizeof line, "%04x", r.operationCode);
            for (uint32_t p : r.parameters)
                std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line), " %x", p);
        }
        lines.push_back(line);
    }
    return lines;
}

// The simulated D800 (unless given) found by the browser.
struct Rig : CameraRig<PTPNikonCamera> {
    explicit Rig(std::shared_ptr<SimulatedCamera> simulated = SimulatedCamera::preset("nikon"))
        : CameraRig(std::move(simulated)) {}
};

void setValue(SimulatedCamera& sim, uint16_t code, int64_t value) {
    auto property = sim.property(code);
    ASSERT_TRUE(property);
    property->value = value;
    sim.setProperty(*property);
}

// ---- tables and parsers ---------------------------------------------------------------------

TEST(NikonTables, SensorByExactUpperCasedModel) {
    struct Case {
        const char* name;
        int32_t width, height;
        float pixel;
    };
    for (const Case& c : {Case{"D810A", 7360, 4912, 4.88f}, Case{"D810a", 7360, 4912, 4.88f},
                          Case{"Nikon D810A", 0, 0, 0}, Case{"D900", 0, 0, 0}, Case{"D1", 2000, 1312, 11.8f},
                          Case{"DF", 4928, 3264, 4.78f}, Case{"D3\xC3\xA9", 0, 0, 0}}) {
        const auto sensor = nikonSensor(c.name);
        EXPECT_EQ(sensor ? sensor->width : 0, c.width) << c.name;
        EXPECT_EQ(sensor ? sensor->height : 0, c.height) << c.name;
        EXPECT_FLOAT_EQ(sensor ? sensor->pixelSize : 0, c.pixel) << c.name;
    }
}

TEST(NikonTables, NamesLabelsAndLenses) {
    EXPECT_EQ(nikonPropertyNames().name(0xD1A2), "PTPPropertyCodeNikonLiveViewStatus");
    EXPECT_EQ(nikonPropertyNames().name(0xD038), "PTPPropertyCodeNikon1Mode");
    EXPECT_EQ(nikonPropertyNames().name(0xD236), "PTPPropertyCodeNikonMovieNrHighISO");
    EXPECT_EQ(nikonPropertyNames().name(0xD039), "PTPPropertyCode0xd039"); // between runs
    EXPECT_EQ(nikonPropertyNames().name(0x5001), "PTPPropertyCodeBatteryLevel");
    EXPECT_EQ(PTPNikonProperty(0xD10B).propertyCodeName(), "PTPPropertyCodeNikonSaveMedia");
    EXPECT_EQ(PTPNikonRequest::operationCodeName(0x9207), "PTPRequestCodeNikonInitiateCaptureRecInMedia");
    EXPECT_EQ(PTPNikonRequest::operationCodeName(0x1001), "PTPRequestCodeGetDeviceInfo");
    EXPECT_EQ(PTPNikonResponse::responseCodeName(0xA00B), "PTPResponseCodeNikonNotLiveView");
    EXPECT_EQ(PTPNikonEvent::eventCodeName(0xC101), "PTPEventCodeNikonObjectAddedInSDRAM");

    EXPECT_EQ(nikonLensName(147), "AF-S Zoom-Nikkor 24-70mm f/2.8G ED");
    EXPECT_EQ(nikonLensName(943), "AF-S Nikkor 24mm f/1.8G ED");
    EXPECT_FALSE(nikonLensName(12));

    const auto saveMedia = nikonLabels(0xD10B);
    ASSERT_TRUE(saveMedia);
    EXPECT_TRUE(saveMedia->wholeRange);
    EXPECT_EQ(saveMedia->map->at(1), "SDRAM");
    const auto whiteBalance = nikonLabels(0x5005);
    ASSERT_TRUE(whiteBalance);
    EXPECT_FALSE(whiteBalance->wholeRange);
    EXPECT_EQ(whiteBalance->map->at(0x8013), "Preset");
    EXPECT_EQ(nikonLabels(0xD200)->map->at(209), "Custom 9");
    EXPECT_FALSE(nikonLabels(0x5007));
}

TEST(NikonTables, ProhibitReasons) {
    const std::pair<uint32_t, std::string> cases[] = {
        {0x80000001,
         "LiveViewProhibitCondition 0x80000001, Exposure Mode is non-P,S,A,M, Recording media is CF/SD card"},
        {0x00000002, "LiveViewProhibitCondition 0x00000002"},
        {0x00004000, "LiveViewProhibitCondition 0x00004000, No memory card is inserted in the camera"},
    };
    for (const auto& [condition, text] : cases)
        EXPECT_EQ(nikonProhibitText(condition), text);
}

TEST(NikonParsers, CheckEventRecordsStopAtTheData) {
    using Events = std::vector<std::pair<uint16_t, uint32_t>>;
    const std::vector<uint8_t> two = {2, 0, 0x02, 0x40, 1, 0, 1, 0, 0x0D, 0x40, 0, 0, 0, 0};
    EXPECT_EQ(parseNikonEvents(two), (Events{{0x4002, 0x00010001}, {0x400D, 0}}));
    EXPECT_TRUE(parseNikonEvents(std::vector<uint8_t>{0, 0}).empty());
    EXPECT_TRUE(parseNikonEvents(std::vector<uint8_t>{5}).empty());
    EXPECT_TRUE(parseNikonEvents({}).empty());
    // A count beyond the records held: the complete records only.
    std::vector<uint8_t> short3 = two;
    short3[0] = 3;
    short3.push_back(0x06);
    EXPECT_EQ(parseNikonEvents(short3).size(), 2u);
    // A count smaller than the records held: the count.
    std::vector<uint8_t> one = two;
    one[0] = 1;
    EXPECT_EQ(parseNikonEvents(one), (Events{{0x4002, 0x00010001}}));
}

TEST(NikonParsers, LiveViewHeaders) {
    struct Case {
        std::vector<uint8_t> data;
        std::size_t header;
        int32_t left, top, width, height;
    };
    auto frame = SimulatedCamera::nikonLiveViewFrame;
    // The JPEG start at 64 wins over one at 128 too.
    std::vector<uint8_t> both = frame(64, false, 640, 424, 3000, 2000, 0);
    both.resize(200);
    both[128] = 0xFF, both[129] = 0xD8;
    const Case cases[] = {
        {frame(64, false, 640, 424, 3000, 2000, 0), 64, 2680, 1788, 640, 424},
        {both, 64, 2680, 1788, 640, 424},
        {frame(128, false, 641, 424, 3000, 2000, 0), 128, 2680, 1788, 641, 424},
        {frame(384, true, 640, 424, 3000, 2000, 0), 384, 2680, 1788, 640, 424},
        {frame(384, false, 640, 424, 3000, 2000, 0), 384, 2680, 1788, 640, 424},
        {frame(64, false, 640, 424, 100, 50, 0), 64, -220, -162, 640, 424},
    };
    for (const Case& c : cases) {
        const auto parsed = parseNikonLiveView(c.data);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->headerSize, c.header);
        EXPECT_EQ((std::vector<int32_t>{parsed->left, parsed->top, parsed->width, parsed->height}),
                  (std::vector<int32_t>{c.left, c.top, c.width, c.height}));
    }
    // A shifted 384-byte header read at 8 would give other fields.
    auto shifted = frame(384, true, 640, 424, 3000, 2000, 0);
    EXPECT_EQ(parseNikonLiveView(shifted)->width, 640);
    shifted[3] = 0x79;
    EXPECT_NE(parseNikonLiveView(shifted)->width, 640);

    std::vector<uint8_t> none(600, 0);
    EXPECT_FALSE(parseNikonLiveView(none));
    EXPECT_FALSE(parseNikonLiveView(std::vector<uint8_t>(65, 0xFF)));
    EXPECT_FALSE(parseNikonLiveView({}));
}

// ---- the camera class -----------------------------------------------------------------------

TEST(PTPNikonCamera, ChosenByVendorWithNameAndSensor) {
    Rig rig;
    ASSERT_TRUE(rig.camera);
    EXPECT_EQ(rig.camera->name(), "Nikon D800");
    EXPECT_EQ(rig.camera->extension(), 10);
    EXPECT_EQ(rig.camera->width(), 7360);
    EXPECT_EQ(rig.camera->height(), 4912);
    EXPECT_FLOAT_EQ(rig.camera->pixelSize(), 4.88f);

    Rig named(std::make_shared<SimulatedCamera>("NIKON D750", 0x04B0));
    ASSERT_TRUE(named.camera);
    EXPECT_EQ(named.camera->name(), "NIKON D750");
    EXPECT_EQ(named.camera->width(), 0);
}

TEST(PTPNikonCamera, OpensWithVendorCodesAndReportsNikonLabels) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;
    // The vendor codes come right after the device information; every description follows.
    const auto sent = rig.sim->requests();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1].operationCode, PTPRequestCodeGetDeviceInfo);
    EXPECT_EQ(sent[2].operationCode, PTPRequestCodeNikonGetVendorPropCodes);
    EXPECT_EQ(rig.camera->info()->propertiesSupported.size(), 20u);
    EXPECT_LT(r.indexOf("canExposure"), r.indexOf("canFocus"));
    EXPECT_LT(r.indexOf("canFocus"), r.indexOf("canPreview"));
    EXPECT_LT(r.indexOf("canPreview"), r.indexOf("connected"));

    EXPECT_EQ(r.find("text d0e0"), "text d0e0 AF-S Zoom-Nikkor 24-70mm f/2.8G ED ro");
    EXPECT_EQ(r.find("list d06a"), "list d06a 3 [0,1,2,3] [3s,2s,1s,Off] rw");
    EXPECT_EQ(r.find("list d161"), "list d161 0 [0,1,2,4] [AF-S,AF-C,AF-A,M] rw");
    EXPECT_EQ(r.find("list d061"), "list d061 0 [0,2,4] [AF-S,AF-F,M] rw");
    EXPECT_EQ(r.find("list d10b"), "list d10b 0 [0,1,2] [Card,SDRAM,Card + SDRAM] rw");
    EXPECT_EQ(r.find("list d056"), "list d056 0 [0,1] [1/3,1/2] rw");
    EXPECT_EQ(r.find("list 5005"), "list 5005 2 [2,4,5,6,7] [Auto,Daylight,Fluorescent,Incandescent,Flash] rw");
    EXPECT_EQ(r.find("list d126"), "list d126 0 [-18,-16,-14,-12,-10,-8,-6,-4,-2,0,2,4,6] "
                                   "[-3.0,-2.7,-2.3,-2.0,-1.7,-1.3,-1.0,-0.7,-0.3,0.0,0.3,0.7,1.0] rw");
    EXPECT_FALSE(r.find("number d1a2") || r.find("list d1a2")); // drives live view, never shown
    EXPECT_EQ(rig.camera->delayModeOn(), "1");
    EXPECT_EQ(rig.camera->delayModeOff(), "3");

    // Events are polled with CheckEvent, not by re-reading the properties.
    ASSERT_TRUE(rig.until([&] { return requestsOf(*rig.sim, PTPRequestCodeNikonCheckEvent).size() >= 2; }));
    const std::size_t descriptions = requestsOf(*rig.sim, PTPRequestCodeGetDevicePropDesc).size();
    ASSERT_TRUE(rig.until([&] { return requestsOf(*rig.sim, PTPRequestCodeNikonCheckEvent).size() >= 4; }));
    EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeGetDevicePropDesc).size(), descriptions);
}

TEST(PTPNikonCamera, LabelEdgeCases) {
    auto sim = SimulatedCamera::preset("nikon");
    // Unknown lens, the fixed manual focus, a two-step autofocus, an EVStep of 1/2 and a
    // delay mode of unknown meaning; a flash ladder over the whole 32-bit range stays bounded.
    setValue(*sim, 0xD0E0, 9999);
    setValue(*sim, 0xD061, 3);
    auto af = *sim->property(0xD161);
    af.range = {int64_t{0}, int64_t{1}, int64_t{1}};
    sim->setProperty(af);
    setValue(*sim, 0xD056, 1);
    auto delay = *sim->property(0xD06A);
    delay.range = {int64_t{0}, int64_t{2}, int64_t{1}};
    delay.value = int64_t{0};
    sim->setProperty(delay);
    sim->setProperty(
        {0xD124, PTPDataTypeInt32, true, int64_t{0}, int64_t{0}, std::nullopt,
         std::vector<zeta::platform::SimulatedProperty::Value>{int64_t{INT32_MIN}, int64_t{INT32_MAX}, int64_t{1}}});
    auto info = sim->deviceInfo();
    info.properties.push_back(0xD124);
    sim->setDeviceInfo(info);
    Rig rig(sim);
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;
    EXPECT_EQ(r.find("text d0e0"), "text d0e0 9999 ro");
    EXPECT_EQ(r.find("list d061"), "list d061 3 [3] [M (fixed)] ro");
    EXPECT_EQ(r.find("list d161"), "list d161 0 [0,1] [AF-S,AF-C] rw");
    EXPECT_TRUE(r.find("number d06a 0 0 2 1"));
    // Read again once EVStep is known (1/2: steps of 3).
    ASSERT_TRUE(r.waitFor("list d124 0 [-2147483648,-2147483645,"));
    const auto ladder = r.find("list d124 0 [-2147483648,-2147483645,");
    EXPECT_EQ(std::count(ladder->begin(), ladder->end(), ','), 2 * (PTPNikonCamera::kLadderCap - 1));

    // Another maximum: no delay is asked for and none added.
    rig.camera->setUseMirrorLockup(true);
    EXPECT_EQ(rig.camera->startExposure(), 0.0);
    ASSERT_TRUE(r.waitFor("exposureDone"));
    EXPECT_TRUE(settingsOf(*rig.sim, 0xD06A).empty());
}

TEST(PTPNikonCamera, CaptureParametersAndMirrorLockup) {
    struct Case {
        bool avoidAF, mirror;
        uint32_t p1;
        double extra;
        int delayMode;
    };
    for (const Case& c : {Case{true, true, 0xFFFFFFFF, 2.0, 1}, Case{false, false, 0xFFFFFFFE, 0.0, 3}}) {
        Rig rig;
        ASSERT_TRUE(rig.connect());
        rig.camera->setAvoidAF(c.avoidAF);
        rig.camera->setUseMirrorLockup(c.mirror);
        EXPECT_EQ(rig.camera->startExposure(), c.extra);
        ASSERT_TRUE(rig.recorder->waitFor("exposureDone"));
        const auto capture = requestsOf(*rig.sim, PTPRequestCodeNikonInitiateCaptureRecInMedia);
        ASSERT_EQ(capture.size(), 1u);
        EXPECT_EQ(capture[0].parameters, (std::vector<uint32_t>{c.p1, 0}));
        EXPECT_EQ(settingsOf(*rig.sim, 0xD06A), std::vector<int>{c.delayMode});
        // The delay mode is set before the capture starts; DeviceReady follows it.
        const auto t = trace(*rig.sim);
        const auto at = std::find(t.begin(), t.end(), std::string(c.avoidAF ? "9207 ffffffff 0" : "9207 fffffffe 0"));
        ASSERT_NE(at, t.end());
        EXPECT_EQ(*(at + 1), "90c8");
        EXPECT_LT(std::find(t.begin(), t.end(), "1016 d06a " + std::to_string(c.delayMode)), at);
        EXPECT_TRUE(settingsOf(*rig.sim, 0xD10B).empty()); // a capture leaves SaveMedia alone
        EXPECT_FALSE(rig.recorder->find("exposureFailed"));
    }
}

TEST(PTPNikonCamera, BusyAnswersAreRetriedAndCapped) {
    {
        Rig rig;
        ASSERT_TRUE(rig.connect());
        rig.sim->answerBusy(PTPRequestCodeNikonInitiateCaptureRecInMedia, 2);
        rig.camera->startExposure();
        ASSERT_TRUE(rig.recorder->waitFor("exposureDone"));
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonInitiateCaptureRecInMedia).size(), 3u);
        EXPECT_FALSE(rig.recorder->find("exposureFailed"));
    }
    {
        Rig rig;
        ASSERT_TRUE(rig.connect());
        rig.sim->answerBusy(PTPRequestCodeNikonInitiateCaptureRecInMedia, 1000);
        rig.sim->answerBusy(PTPRequestCodeNikonDeviceReady, 1000);
        rig.camera->startExposure();
        ASSERT_TRUE(rig.recorder->waitFor("exposureFailed", 10s));
        EXPECT_EQ(rig.recorder->find("exposureFailed"),
                  "exposureFailed InitiateCaptureRecInMedia failed (0x2019 = PTPResponseCodeDeviceBusy)");
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonInitiateCaptureRecInMedia).size(),
                  static_cast<std::size_t>(PTPNikonCamera::kBusyRetries + 1));
        EXPECT_TRUE(rig.until([&] { return requestsOf(*rig.sim, PTPRequestCodeNikonTerminateCapture).size() == 1; }));
        // DeviceReady stops being asked once its cap is reached.
        ASSERT_TRUE(rig.until([&] {
            return std::find(rig.recorder->logs.begin(), rig.recorder->logs.end(),
                             "DeviceReady failed (0x2019 = PTPResponseCodeDeviceBusy)") != rig.recorder->logs.end();
        }));
        const std::size_t asked = requestsOf(*rig.sim, PTPRequestCodeNikonDeviceReady).size();
        rig.run(400ms);
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonDeviceReady).size(), asked);
    }
}

TEST(PTPNikonCamera, LockReadsTheModeBackAndEndExposureTerminates) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    rig.sim->setHandler(PTPRequestCodeNikonSetControlMode, [](const SimulatedRequest&) {
        return SimulatedReply{PTPResponseCodeGeneralError, {}, std::nullopt};
    });
    const std::size_t from = rig.sim->requests().size();
    rig.camera->lock();
    rig.camera->stopExposure();
    // A refused lock reads the mode back all the same.
    auto modeReadBack = [&] {
        const auto all = rig.sim->requests();
        for (std::size_t i = from; i < all.size(); ++i) {
            if (all[i].operationCode == PTPRequestCodeGetDevicePropDesc && all[i].parameters.at(0) == 0x500E)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(rig.until([&] { return modeReadBack() && trace(*rig.sim, from).size() >= 3; }));
    const auto t = trace(*rig.sim, from);
    EXPECT_EQ(std::vector<std::string>(t.begin(), t.begin() + 3),
              (std::vector<std::string>{"90c2 1", "920c 0 0", "90c8"}));
}

TEST(PTPNikonCamera, LiveViewStreamsFramesAndRestoresSettings) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;
    rig.camera->startPreview();
    ASSERT_TRUE(rig.until([&] { return r.count("exposureDone preview.jpeg") >= 3; }));
    EXPECT_EQ(r.find("frame"), "frame 3360 2244 640 424");
    EXPECT_EQ(r.lastImage,
              SimulatedCamera::sampleJPEG(
                  static_cast<int>(requestsOf(*rig.sim, PTPRequestCodeNikonGetLiveViewImg).size() - 1) % 8));
    EXPECT_EQ(settingsOf(*rig.sim, 0xD10B), std::vector<int>{1});
    EXPECT_TRUE(rig.camera->liveViewRunning());

    rig.camera->setZoomPreview(true);
    rig.camera->stopPreview();
    EXPECT_FALSE(rig.camera->liveViewRunning());
    ASSERT_TRUE(rig.until([&] { return settingsOf(*rig.sim, 0xD161).size() == 1; }));
    EXPECT_EQ(settingsOf(*rig.sim, 0xD1A3), std::vector<int>{5});
    EXPECT_EQ(settingsOf(*rig.sim, 0xD10B), (std::vector<int>{1, 0}));
    EXPECT_EQ(settingsOf(*rig.sim, 0xD161), std::vector<int>{0});
    const std::size_t frames = requestsOf(*rig.sim, PTPRequestCodeNikonGetLiveViewImg).size();
    rig.run(700ms);
    EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonGetLiveViewImg).size(), frames);
    EXPECT_FALSE(r.find("exposureFailed"));
}

TEST(PTPNikonCamera, LiveViewFailures) {
    struct Case {
        std::function<void(SimulatedCamera&)> script;
        std::string failure;
    };
    const Case cases[] = {
        {[](SimulatedCamera& sim) { setValue(sim, 0xD1A4, 0x00004000); },
         "exposureFailed LiveViewProhibitCondition 0x00004000, No memory card is inserted in the camera"},
        {[](SimulatedCamera& sim) { sim.truncateData(PTPRequestCodeGetDevicePropValue, 2); },
         "exposureFailed LiveViewProhibiCondition failed (0x2001 = PTPResponseCodeOK)"},
        {[](SimulatedCamera& sim) {
             sim.setHandler(PTPRequestCodeNikonGetLiveViewImg, [](const SimulatedRequest&) {
                 return SimulatedReply{PTPResponseCodeOK, {}, std::vector<uint8_t>(500, 0)};
             });
         },
         "exposureFailed JPEG magic not found"},
        {[](SimulatedCamera& sim) {
             sim.setHandler(PTPRequestCodeNikonGetLiveViewImg, [](const SimulatedRequest&) {
                 return SimulatedReply{0xA00B, {}, std::nullopt};
             });
         },
         "exposureFailed No data received (0xa00b = PTPResponseCodeNikonNotLiveView)"},
    };
    for (const Case& c : cases) {
        Rig rig;
        ASSERT_TRUE(rig.connect());
        c.script(*rig.sim);
        rig.camera->startPreview();
        ASSERT_TRUE(rig.recorder->waitFor("exposureFailed")) << c.failure;
        EXPECT_EQ(rig.recorder->find("exposureFailed"), c.failure);
        EXPECT_FALSE(rig.camera->liveViewRunning());
        EXPECT_EQ(rig.recorder->count("exposureFailed"), 1);
    }
}

TEST(PTPNikonCamera, LensMovesInATemporaryLiveView) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto& r = *rig.recorder;
    const std::size_t from = rig.sim->requests().size();
    rig.camera->focus(0);
    rig.run(200ms);
    EXPECT_EQ(trace(*rig.sim, from), std::vector<std::string>{});

    rig.camera->focus(10);
    ASSERT_TRUE(r.waitFor("focusDone"));
    rig.until([&] { return settingsOf(*rig.sim, 0xD161).size() == 1; });
    EXPECT_EQ(trace(*rig.sim, from), (std::vector<std::string>{"1016 d10b 1", "1015 d1a4", "90c8", "9201", "9204 1 a",
                                                               "9202", "90c8", "1016 d10b 0", "1016 d161 0"}));
    EXPECT_FALSE(rig.camera->liveViewRunning()); // no frames for a lens move
    EXPECT_FALSE(r.find("exposureDone"));

    // While live view runs, the drive goes out at once.
    rig.camera->startPreview();
    ASSERT_TRUE(rig.until([&] { return rig.camera->liveViewRunning(); }));
    const std::size_t running = rig.sim->requests().size();
    r.reports.clear();
    rig.camera->focus(-25);
    ASSERT_TRUE(r.waitFor("focusDone"));
    EXPECT_EQ(trace(*rig.sim, running), std::vector<std::string>{"9204 2 19"});
    EXPECT_TRUE(rig.camera->liveViewRunning());
}

TEST(PTPNikonCamera, FailedLensMoveRestoresTheCamera) {
    {
        // A prohibited live view fails the move, not an exposure.
        Rig rig;
        ASSERT_TRUE(rig.connect());
        setValue(*rig.sim, 0xD1A4, 0x80000000);
        setValue(*rig.sim, 0xD161, 1);
        rig.sim->sendEvent(PTPEventCodeDevicePropChanged, {0xD161});
        ASSERT_TRUE(rig.recorder->waitFor("list d161 1"));
        rig.camera->focus(5);
        ASSERT_TRUE(rig.recorder->waitFor("focusFailed"));
        EXPECT_EQ(rig.recorder->find("focusFailed"),
                  "focusFailed LiveViewProhibitCondition 0x80000000, Exposure Mode is non-P,S,A,M");
        EXPECT_FALSE(rig.recorder->find("exposureFailed"));
        ASSERT_TRUE(rig.until([&] { return settingsOf(*rig.sim, 0xD161).size() == 1; }));
        EXPECT_EQ(settingsOf(*rig.sim, 0xD10B), (std::vector<int>{1, 0}));
        EXPECT_EQ(settingsOf(*rig.sim, 0xD161), std::vector<int>{1});
        EXPECT_TRUE(requestsOf(*rig.sim, PTPRequestCodeNikonStartLiveView).empty());
    }
    {
        // A refused drive ends the temporary live view and puts the settings back.
        Rig rig;
        ASSERT_TRUE(rig.connect());
        rig.sim->setHandler(PTPRequestCodeNikonMfDrive, [](const SimulatedRequest&) {
            return SimulatedReply{0xA00C, {}, std::nullopt};
        });
        rig.camera->focus(7);
        ASSERT_TRUE(rig.recorder->waitFor("focusFailed"));
        EXPECT_EQ(rig.recorder->find("focusFailed"),
                  "focusFailed MfDrive failed (0xa00c = PTPResponseCodeNikonMfDriveStepEnd)");
        ASSERT_TRUE(rig.until([&] { return settingsOf(*rig.sim, 0xD161).size() == 1; }));
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonEndLiveView).size(), 1u);
        EXPECT_EQ(settingsOf(*rig.sim, 0xD10B), (std::vector<int>{1, 0}));
        EXPECT_FALSE(rig.recorder->find("focusDone"));
        // Later LiveViewStatus reports drive nothing more.
        rig.run(800ms);
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonMfDrive).size(), 1u);
    }
}

// A vendor-code list that claims more than it carries adds only what it carries, and the
// opening goes on whatever the answer.
TEST(PTPNikonCamera, VendorCodesAreReadWithinTheirBytes) {
    using Bytes = std::vector<uint8_t>;
    struct Case {
        const char* what;
        SimulatedReply reply;
        std::size_t added;
    };
    const Case cases[] = {
        {"refused", {PTPResponseCodeGeneralError, {}, std::nullopt}, 0},
        {"shorter than its count", {PTPResponseCodeOK, {}, Bytes{5, 0, 0, 0, 0x01, 0xD0, 0x02, 0xD0, 0x03}}, 2},
        {"shorter than a count", {PTPResponseCodeOK, {}, Bytes{1, 0}}, 0},
    };
    std::optional<std::size_t> base;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.sim->setHandler(PTPRequestCodeNikonGetVendorPropCodes, [&c](const SimulatedRequest&) { return c.reply; });
        ASSERT_TRUE(rig.connect());
        const std::size_t supported = rig.camera->info()->propertiesSupported.size();
        if (!base) base = supported;
        EXPECT_EQ(supported, *base + c.added);
    }
}

// A move asked for while a temporary live view is on its way, or driving, goes in that view:
// one live view, one drive after the other, one report at the end.
TEST(PTPNikonCamera, MoveDuringATemporaryLiveViewGoesInIt) {
    {
        Rig rig;
        ASSERT_TRUE(rig.connect());
        rig.camera->focus(10);
        rig.camera->focus(4); // before live view is up: it replaces the move not yet made
        ASSERT_TRUE(rig.recorder->waitFor("focusDone"));
        rig.run(700ms);
        EXPECT_EQ(rig.recorder->count("focusDone"), 1);
        const auto drives = requestsOf(*rig.sim, PTPRequestCodeNikonMfDrive);
        ASSERT_EQ(drives.size(), 1u);
        EXPECT_EQ(drives[0].parameters, (std::vector<uint32_t>{1, 4}));
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonStartLiveView).size(), 1u);
    }
    {
        Rig rig;
        ASSERT_TRUE(rig.connect());
        rig.camera->focus(10);
        ASSERT_TRUE(rig.until([&] { return requestsOf(*rig.sim, PTPRequestCodeNikonMfDrive).size() == 1; }));
        rig.camera->focus(-3);
        ASSERT_TRUE(rig.recorder->waitFor("focusDone"));
        rig.run(700ms);
        EXPECT_EQ(rig.recorder->count("focusDone"), 1);
        const auto drives = requestsOf(*rig.sim, PTPRequestCodeNikonMfDrive);
        ASSERT_EQ(drives.size(), 2u);
        EXPECT_EQ(drives[1].parameters, (std::vector<uint32_t>{2, 3}));
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonStartLiveView).size(), 1u);
        EXPECT_EQ(requestsOf(*rig.sim, PTPRequestCodeNikonEndLiveView).size(), 1u);
    }
}

} // namespace
