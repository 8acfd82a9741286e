// The Sony camera object against the simulated Sony: handshake, labels and writability,
// stepped settings, capture and focus, and the all-properties reader on hostile bytes.
#include "ccd_ica/ptp_camera_sony.h"

#include "camera_recorder.h"
#include "ccd_ica/ptp_browser.h"
#include "platform/camera/simulated_device_source.h"
#include "platform/camera/simulated_sony.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using zeta::platform::SimulatedCamera;
using zeta::platform::SimulatedRequest;
using zeta::platform::SimulatedSonyScript;

struct Rig {
    explicit Rig(SimulatedSonyScript script = {}) : sim(zeta::platform::makeSimulatedSony(std::move(script))) {}
    // Sets a value in the simulated camera before it is connected.
    void preset(uint16_t code, int64_t value) {
        auto p = *sim->property(code);
        p.value = value;
        sim->setProperty(p);
    }
    bool connect() {
        sim->setResponseTimeout(300ms);
        source->plug(sim);
        browser.start();
        if (!recorder->waitFor("added")) return false;
        camera = std::dynamic_pointer_cast<PTPSonyCamera>(recorder->added.front());
        if (!camera) return false;
        camera->requestOpenSession();
        if (!recorder->waitFor("connected")) return false;
        // The all-properties reply that follows the connection is published too.
        settle();
        return true;
    }
    ~Rig() { recorder->added.clear(); }

    std::vector<SimulatedRequest> requestsFrom(std::size_t first, uint16_t code) const {
        std::vector<SimulatedRequest> found;
        const auto sent = sim->requests();
        for (std::size_t i = first; i < sent.size(); ++i) {
            if (sent[i].operationCode == code) found.push_back(sent[i]);
        }
        return found;
    }
    // The last report about the property.
    std::string last(const std::string& prefix) const {
        for (auto it = recorder->reports.rbegin(); it != recorder->reports.rend(); ++it) {
            if (it->starts_with(prefix)) return *it;
        }
        return {};
    }
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
        return dispatch::runMainQueueUntil(done, timeout);
    }
    // Runs the main queue for a while so that the replies in flight are handled.
    void settle() {
        dispatch::runMainQueueUntil([] { return false; }, 300ms);
    }

    std::shared_ptr<SimulatedCamera> sim;
    std::shared_ptr<zeta::platform::SimulatedDeviceSource> source =
        std::make_shared<zeta::platform::SimulatedDeviceSource>();
    std::shared_ptr<CameraRecorder> recorder = std::make_shared<CameraRecorder>();
    PTPBrowser browser{recorder, dispatch::mainQueue(), {source}};
    std::shared_ptr<PTPSonyCamera> camera;
};

std::vector<uint16_t> codesOf(const std::vector<SimulatedRequest>& requests) {
    std::vector<uint16_t> codes;
    for (const auto& r : requests)
        codes.push_back(r.operationCode);
    return codes;
}

// {control code, value} of each SetControlDeviceB.
std::vector<std::pair<uint32_t, int>> controlWrites(const std::vector<SimulatedRequest>& requests) {
    std::vector<std::pair<uint32_t, int>> writes;
    for (const auto& r : requests) {
        int value = r.data.empty() ? 0 : static_cast<int8_t>(r.data[0]);
        writes.emplace_back(r.parameters.empty() ? 0 : r.parameters[0], value);
    }
    return writes;
}

TEST(PTPSonyCamera, HandshakeWithAndWithoutExtendedDeviceInfo) {
    struct Case {
        bool extendedInfo;
        std::vector<uint16_t> afterDescriptions; // the operations after the last GetDevicePropDesc
    };
    const Case cases[] = {
        {true, {0x9201, 0x9201, 0x9202, 0x9201, 0x9209, 0x1004}},
        {false, {0x1004}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extendedInfo);
        SimulatedSonyScript script;
        script.extendedInfo = c.extendedInfo;
        Rig rig(script);
        ASSERT_TRUE(rig.connect());
        EXPECT_EQ(rig.camera->name(), "Sony ILCE-7RM2");
        EXPECT_EQ(rig.camera->extension(), 17);
        auto codes = codesOf(rig.sim->requests());
        const auto lastDescription = std::find(codes.rbegin(), codes.rend(), 0x1014).base();
        EXPECT_EQ(std::vector<uint16_t>(lastDescription, codes.end()), c.afterDescriptions);
        EXPECT_TRUE(rig.recorder->find("canExposure"));
        if (c.extendedInfo) {
            const auto handshake = rig.requestsFrom(0, 0x9201);
            ASSERT_EQ(handshake.size(), 3u);
            for (uint32_t phase = 1; phase <= 3; ++phase)
                EXPECT_EQ(handshake[phase - 1].parameters, (std::vector<uint32_t>{phase, 0, 0}));
            EXPECT_EQ(rig.requestsFrom(0, 0x9202).front().parameters, std::vector<uint32_t>{200});
            // The extended codes land in their lists; the stray response code lands nowhere.
            const auto info = rig.camera->info();
            EXPECT_EQ(std::count(info->operationsSupported.begin(), info->operationsSupported.end(), 0x9207), 2);
            EXPECT_EQ(std::vector<uint16_t>(info->eventsSupported.end() - 2, info->eventsSupported.end()),
                      (std::vector<uint16_t>{0xC201, 0xC203}));
            EXPECT_EQ(std::count(info->propertiesSupported.begin(), info->propertiesSupported.end(), 0x2001), 0);
            EXPECT_NE(info->debug().find("PTPRequestCodeSonyGetAllDevicePropData\n"), std::string::npos);
        }
    }
}

TEST(PTPSonyCamera, LabelsAndValuesFollowTheTables) {
    Rig rig;
    rig.preset(PTPPropertyCodeSonyShutterSpeed, 65536 + 640);
    ASSERT_TRUE(rig.connect());
    const std::string fNumber = rig.last("list 5007");
    EXPECT_TRUE(fNumber.starts_with("list 5007 560 [350,400,450,500,560,630,710,800,900,1000,1100,1300,1400,1600,"
                                    "1800,2000,2200] [f/3.5,f/4,f/4.5,"))
        << fNumber;
    const std::string shutter = rig.last("list d20d");
    EXPECT_TRUE(shutter.starts_with("list d20d 66176 [69536,"));
    EXPECT_NE(shutter.find("[1/4000,1/3200,"), std::string::npos);
    EXPECT_NE(shutter.find(",0] "), std::string::npos); // bulb last
    EXPECT_NE(shutter.find("1/600,1/500"), std::string::npos);
    EXPECT_NE(shutter.find("30\",Bulb]"), std::string::npos);
    EXPECT_EQ(rig.camera->shutterSpeed(), 66176u);
    // Camera lists: the camera's own values, unknown ones by their digits.
    EXPECT_EQ(rig.last("list d203"), "list d203 1 [1,2,3,4] [Large,Medium,Small,0x0004] rw");
    EXPECT_EQ(rig.last("list 5005"), "list 5005 2 [2,4,6,32785,32921] [Auto,Daylight,Incandescent,Shade,0x8099] rw");
    EXPECT_EQ(rig.last("list 5004"), "list 5004 3 [2,3,16,19] [Standard,Fine,RAW,RAW + JPEG] rw");
    EXPECT_TRUE(rig.last("list d21e").starts_with("list d21e 100 [16777215,100,125,"));
    EXPECT_NE(rig.last("list d21e").find("[Auto,100,125,"), std::string::npos);
    // The focus status is published by the generic rules.
    EXPECT_EQ(rig.last("number d213"), "number d213 1 0 0 0 ro");
}

TEST(PTPSonyCamera, WritabilityFollowsTheExposureMode) {
    struct Case {
        int64_t mode;
        const char* fNumber;
        const char* bias;
        const char* focusMode;
        const char* shutter;
    };
    const Case cases[] = {
        {2, "ro", "rw", "rw", "ro"},      // P
        {1, "rw", "ro", "rw", "rw"},      // M
        {0x8051, "rw", "rw", "ro", "ro"}, // movie A
        {0x8000, "ro", "ro", "rw", "ro"}, // intelligent auto
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Rig rig;
        rig.preset(PTPPropertyCodeExposureProgramMode, c.mode);
        ASSERT_TRUE(rig.connect());
        EXPECT_EQ(rig.camera->mode(), c.mode);
        EXPECT_TRUE(rig.last("list 5007").ends_with(c.fNumber));
        EXPECT_TRUE(rig.last("list 5010").ends_with(c.bias));
        EXPECT_TRUE(rig.last("list 500a").ends_with(c.focusMode));
        EXPECT_TRUE(rig.last("list d20d").ends_with(c.shutter));
        EXPECT_TRUE(rig.last("list 500e").ends_with("rw")); // by the camera's flag
    }
}

TEST(PTPSonyCamera, SteppingWalksConfirmedStepsAndPublishesOnce) {
    struct Case {
        std::string name;
        uint16_t code;
        std::string target;
        std::vector<int> steps; // the value of each SetControlDeviceB
        std::string published;
    };
    const Case cases[] = {
        {"up three", 0x5007, "800", {1, 1, 1}, "list 5007 800 "},
        {"down two", 0xd21e, "125", {}, ""}, // filled below
        {"same value", 0xd20d, "65661", {}, "list d20d 65661 "},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedSonyScript script;
        script.stepDelay = 250ms; // each step needs a second poll
        Rig rig(script);
        if (c.name == "down two") {
            rig.preset(0xd21e, 200);
            c.steps = {-1, -1};
            c.published = "list d21e 125 ";
        }
        ASSERT_TRUE(rig.connect());
        rig.settle();
        const std::size_t sent = rig.sim->requests().size();
        const std::size_t reported = rig.recorder->reports.size();
        rig.camera->setProperty(c.code, c.target);
        // Nothing waits: the walk goes on as scheduled steps.
        EXPECT_EQ(rig.camera->iteratedProperty(), c.steps.empty() ? 0 : c.code);
        ASSERT_TRUE(rig.waitUntil([&] { return rig.camera->iteratedProperty() == 0; }));
        ASSERT_TRUE(rig.waitUntil([&] {
            return rig.recorder->reports.size() > reported &&
                   !rig.last("list " + CameraRecorder::hex(c.code)).empty() &&
                   rig.last("list " + CameraRecorder::hex(c.code)).starts_with(c.published);
        }));
        rig.settle();
        std::vector<int> steps;
        for (const auto& [code, value] : controlWrites(rig.requestsFrom(sent, 0x9207))) {
            EXPECT_EQ(code, c.code);
            steps.push_back(value);
        }
        EXPECT_EQ(steps, c.steps);
        int published = 0;
        for (std::size_t i = reported; i < rig.recorder->reports.size(); ++i)
            published += rig.recorder->reports[i].starts_with("list " + CameraRecorder::hex(c.code)) ? 1 : 0;
        EXPECT_EQ(published, 1);
        EXPECT_EQ(rig.recorder->count("propertyFailed"), 0);
    }
}

TEST(PTPSonyCamera, UnconfirmedStepGivesUpAfterTenPolls) {
    SimulatedSonyScript script;
    script.confirmSteps = false;
    Rig rig(script);
    ASSERT_TRUE(rig.connect());
    rig.settle();
    const std::size_t sent = rig.sim->requests().size();
    rig.camera->setProperty(0xd21e, "200");
    ASSERT_TRUE(rig.recorder->waitFor("propertyFailed d21e", 10s));
    EXPECT_EQ(rig.requestsFrom(sent, 0x9207).size(), 1u);
    // Ten polls, then the final refresh, which publishes the camera's real value.
    EXPECT_EQ(rig.requestsFrom(sent, 0x9209).size(), 11u);
    EXPECT_TRUE(rig.last("list d21e").starts_with("list d21e 100 "));
    EXPECT_EQ(*rig.recorder->find("propertyFailed d21e"),
              "propertyFailed d21e Property 0xd21e did not reach 200: the camera stopped at 100");
    EXPECT_LT(rig.recorder->indexOf("list d21e 100"), static_cast<std::ptrdiff_t>(rig.recorder->reports.size()));
}

TEST(PTPSonyCamera, ValuesOffTheLadderAreRefused) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    const std::size_t sent = rig.sim->requests().size();
    rig.camera->setProperty(0x5007, "123");
    EXPECT_TRUE(rig.recorder->find("propertyFailed 5007 Value 123 of property 0x5007 cannot be reached by stepping"));
    EXPECT_EQ(rig.camera->iteratedProperty(), 0);
    rig.settle();
    EXPECT_TRUE(rig.requestsFrom(sent, 0x9207).empty());
}

TEST(PTPSonyCamera, OtherSettingsUseTheControlOperations) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    const std::size_t sent = rig.sim->requests().size();
    rig.camera->setProperty(0x500E, "2");
    rig.camera->setProperty(0xD2C2, "2");
    rig.camera->setProperty(0x1234, "2"); // not described: nothing sent
    rig.settle();
    const auto a = rig.requestsFrom(sent, 0x9205);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].parameters, std::vector<uint32_t>{0x500E});
    EXPECT_EQ(a[0].data, (std::vector<uint8_t>{2, 0})); // in the property's own width
    EXPECT_EQ(controlWrites(rig.requestsFrom(sent, 0x9207)), (std::vector<std::pair<uint32_t, int>>{{0xD2C2, 2}}));
    ASSERT_TRUE(rig.waitUntil([&] { return rig.camera->mode() == 2; }));
}

TEST(PTPSonyCamera, CaptureByFocusModeAndFormat) {
    using Writes = std::vector<std::pair<uint32_t, int>>;
    struct Case {
        std::string name;
        int64_t focusMode;
        int64_t compression;
        int64_t focusResult;
        std::vector<uint16_t> formats;
        Writes writes;
        std::vector<std::string> outcome;
    };
    const Writes full = {{0xD2C1, 2}, {0xD2C2, 2}, {0xD2C2, 1}, {0xD2C1, 1}};
    const Case cases[] = {
        {"manual focus", 1, 3, 2, {}, full, {"exposureDone image.jpeg"}},
        {"RAW + JPEG", 1, 19, 2, {}, full, {"exposureDone image.arw", "exposureDone image.jpeg"}},
        {"RAW", 1, 16, 2, {}, full, {"exposureDone image.arw"}},
        {"automatic focus", 2, 3, 2, {}, full, {"exposureDone image.jpeg"}},
        {"focus fails", 0x8004, 3, 3, {}, {{0xD2C1, 2}, {0xD2C1, 1}}, {"exposureFailed Failed to focus"}},
        {"unknown format", 1, 3, 2, {0x3000}, full, {"exposureFailed Unsupported image format 0x3000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedSonyScript script;
        script.focusResult = c.focusResult;
        script.imageFormats = c.formats;
        Rig rig(script);
        rig.preset(PTPPropertyCodeFocusMode, c.focusMode);
        rig.preset(PTPPropertyCodeCompressionSetting, c.compression);
        ASSERT_TRUE(rig.connect());
        rig.settle();
        EXPECT_EQ(rig.camera->compression(), static_cast<uint32_t>(c.compression));
        const std::size_t sent = rig.sim->requests().size();
        const std::size_t reported = rig.recorder->reports.size();
        EXPECT_EQ(rig.camera->startExposure(), 0.0);
        const std::string end = c.outcome.back().substr(0, c.outcome.back().find(' '));
        ASSERT_TRUE(rig.waitUntil([&] {
            const auto n = std::count(rig.recorder->reports.begin() + static_cast<std::ptrdiff_t>(reported),
                                      rig.recorder->reports.end(), c.outcome.back());
            return n > 0 && (c.outcome.size() == 1 || rig.recorder->count("exposureDone") >= 2);
        })) << end;
        rig.settle();
        std::vector<std::string> outcome;
        for (std::size_t i = reported; i < rig.recorder->reports.size(); ++i) {
            if (rig.recorder->reports[i].starts_with("exposure")) outcome.push_back(rig.recorder->reports[i]);
        }
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(controlWrites(rig.requestsFrom(sent, 0x9207)), c.writes);
    }
}

TEST(PTPSonyCamera, BulbHoldsTheShutterUntilStopped) {
    Rig rig;
    rig.preset(PTPPropertyCodeFocusMode, 1);
    rig.preset(PTPPropertyCodeSonyShutterSpeed, 0);
    ASSERT_TRUE(rig.connect());
    rig.settle();
    EXPECT_EQ(rig.camera->shutterSpeed(), 0u);
    const std::size_t sent = rig.sim->requests().size();
    rig.camera->startExposure();
    rig.settle();
    EXPECT_EQ(controlWrites(rig.requestsFrom(sent, 0x9207)),
              (std::vector<std::pair<uint32_t, int>>{{0xD2C1, 2}, {0xD2C2, 2}}));
    EXPECT_FALSE(rig.recorder->find("exposure"));
    rig.camera->stopExposure();
    ASSERT_TRUE(rig.recorder->waitFor("exposureDone image.jpeg"));
    EXPECT_EQ(rig.requestsFrom(sent, 0x1008).front().parameters, std::vector<uint32_t>{0xFFFFC001});
    EXPECT_EQ(controlWrites(rig.requestsFrom(sent, 0x9207)),
              (std::vector<std::pair<uint32_t, int>>{{0xD2C1, 2}, {0xD2C2, 2}, {0xD2C2, 1}, {0xD2C1, 1}}));
}

TEST(PTPSonyCamera, SonyNamesFallBackToTheBaseTables) {
    PTPSonyRequest request;
    EXPECT_EQ(request.operationNames().name(0x9209), "PTPRequestCodeSonyGetAllDevicePropData");
    EXPECT_EQ(request.operationNames().name(0x1001), "PTPRequestCodeGetDeviceInfo");
    EXPECT_EQ(PTPSonyEvent().eventNames().name(0xC203), "PTPEventCodeSonyPropertyChanged");
    EXPECT_EQ(PTPSonyEvent().eventNames().name(0xC2FF), "PTPEventCodeCode0xc2ff");
    EXPECT_EQ(PTPSonyProperty().propertyNames().name(0xD2C7), "PTPPropertyCodeSonyStillImage");
}

// ---- the all-properties reader ----

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

TEST(SonyAllProperties, ReadsWithinTheBytes) {
    // Two records: 0x5007 u16 enumeration {560, 800}; 0xD213 u8 read-only, no form.
    const std::vector<uint8_t> header = bytes({2, 0, 0, 0, 0, 0, 0, 0});
    const std::vector<uint8_t> first =
        bytes({0x07, 0x50, 4, 0, 1, 0, 0x30, 0x02, 0x30, 0x02, 2, 2, 0, 0x30, 0x02, 0x20, 0x03});
    const std::vector<uint8_t> second = bytes({0x13, 0xD2, 2, 0, 0, 0, 1, 2, 0});
    auto whole = header;
    whole.insert(whole.end(), first.begin(), first.end());
    whole.insert(whole.end(), second.begin(), second.end());

    struct Case {
        std::string name;
        std::vector<uint8_t> data;
        std::size_t records;
    };
    std::vector<Case> cases = {
        {"whole", whole, 2},
        {"empty", {}, 0},
        {"header only", header, 0},
        {"cut inside the second", std::vector<uint8_t>(whole.begin(), whole.end() - 2), 1},
        {"cut inside the enumeration", std::vector<uint8_t>(whole.begin(), whole.begin() + 8 + 14), 0},
    };
    auto huge = whole;
    huge[0] = 0xFF, huge[1] = 0xFF, huge[2] = 0xFF, huge[3] = 0xFF; // count far beyond the data
    cases.push_back({"count beyond the data", huge, 2});
    auto unknown = whole;
    unknown[8 + 2] = 0x09; // a datatype without an encoding ends the list there
    cases.push_back({"unknown datatype", unknown, 0});
    auto longList = whole;
    longList[8 + 11] = 0xFF; // the enumeration claims 0xFF02 values
    cases.push_back({"enumeration beyond the data", longList, 0});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto records = sonyReadAllProperties(c.data);
        ASSERT_EQ(records.size(), c.records);
        if (c.records >= 1) {
            EXPECT_EQ(
                records[0]->description(),
                "PTPPropertyCodeFNumber PTPDataTypeCodeUInt16 rw, values = [560, 800], default = 560, value = 560");
        }
        if (c.records == 2) {
            EXPECT_TRUE(records[1]->readOnly);
            EXPECT_EQ(records[1]->value.intValue(), 2);
        }
    }
}

// A download that is refused or never answered fails the capture instead of leaving it waiting.
TEST(PTPSonyCamera, LostOrRefusedDownloadFailsTheCapture) {
    using zeta::platform::SimulatedReply;
    struct Case {
        const char* what;
        std::function<void(SimulatedCamera&)> fault;
        std::string report;
    };
    const Case cases[] = {
        {"object information refused",
         [](SimulatedCamera& sim) {
             sim.setHandler(PTPRequestCodeGetObjectInfo, [](const SimulatedRequest&) {
                 return SimulatedReply{PTPResponseCodeGeneralError, {}, std::nullopt};
             });
         },
         "exposureFailed GetObjectInfo failed (0x2002 = PTPResponseCodeGeneralError)"},
        {"object never answered", [](SimulatedCamera& sim) { sim.loseResponse(PTPRequestCodeGetObject); },
         "exposureFailed GetObject failed ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.preset(PTPPropertyCodeFocusMode, 1);
        ASSERT_TRUE(rig.connect());
        c.fault(*rig.sim);
        rig.camera->startExposure();
        ASSERT_TRUE(rig.recorder->waitFor("exposureFailed"));
        EXPECT_TRUE(rig.recorder->find("exposureFailed")->starts_with(c.report))
            << *rig.recorder->find("exposureFailed");
        EXPECT_FALSE(rig.recorder->find("exposureDone"));
    }
}

} // namespace
