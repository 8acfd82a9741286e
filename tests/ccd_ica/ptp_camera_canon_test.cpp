// The Canon camera object against a simulated EOS whose GetEvent answers are scripted.
#include "ccd_ica/ptp_camera_canon.h"

#include "camera_recorder.h"
#include "ccd_ica/ptp_browser.h"
#include "platform/camera/simulated_device_source.h"

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using namespace std::chrono_literals;
using zeta::platform::SimulatedCamera;
using zeta::platform::SimulatedReply;
using zeta::platform::SimulatedRequest;
using Bytes = std::vector<uint8_t>;

void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
Bytes words(std::initializer_list<uint32_t> list) {
    Bytes out;
    for (uint32_t w : list)
        put32(out, w);
    return out;
}
Bytes record(uint32_t type, const Bytes& payload) {
    Bytes out = words({static_cast<uint32_t>(payload.size() + 8), type});
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}
Bytes value(uint16_t code, uint32_t v) {
    return record(kCanonEventPropValueChanged, words({code, v}));
}
Bytes objectAdded(uint32_t handle, const std::string& name) {
    Bytes payload = words({handle, 0, 0, 0, 0, 0, 0, 0});
    payload.insert(payload.end(), name.begin(), name.end());
    payload.push_back(0);
    return record(kCanonEventObjectAddedEx, payload);
}
Bytes answer(std::initializer_list<Bytes> records) {
    Bytes out;
    for (const Bytes& r : records)
        out.insert(out.end(), r.begin(), r.end());
    put32(out, 8);
    put32(out, 0);
    return out;
}

// A 5D Mark III that supports remote release, with a queue of GetEvent answers.
struct CanonRig {
    explicit CanonRig(bool listsMirrorUp = true) {
        auto info = sim->deviceInfo();
        for (uint16_t code : {0x9104, 0x9105, 0x9108, 0x910F, 0x9128, 0x9129, 0x9155, 0x9153})
            info.operations.push_back(code);
        sim->setDeviceInfo(info);
        Bytes ex = words({0, 1, 0xC189});
        const std::vector<uint32_t> props =
            listsMirrorUp ? std::vector<uint32_t>{0x5001, 0xD101, 0xD13A} : std::vector<uint32_t>{0x5001, 0xD101};
        put32(ex, static_cast<uint32_t>(props.size()));
        for (uint32_t p : props)
            put32(ex, p);
        sim->setHandler(0x9108, [ex](const SimulatedRequest&) { return SimulatedReply{PTPResponseCodeOK, {}, ex}; });
        sim->setHandler(0x9116, [this](const SimulatedRequest&) {
            std::lock_guard lock(mutex);
            Bytes next = answer({});
            if (!answers.empty()) {
                next = answers.front();
                answers.pop_front();
            }
            return SimulatedReply{PTPResponseCodeOK, {}, next};
        });
        sim->setHandler(0x9104, [this](const SimulatedRequest& r) {
            std::lock_guard lock(mutex);
            return SimulatedReply{PTPResponseCodeOK, {}, files.at(r.parameters.at(0))};
        });
        for (uint16_t code : {0x9105, 0x9129})
            sim->setHandler(code, [](const SimulatedRequest&) { return SimulatedReply{}; });
        sim->setHandler(0x9128, [this](const SimulatedRequest&) {
            std::lock_guard lock(mutex);
            return SimulatedReply{PTPResponseCodeOK, {releaseParameter}, std::nullopt};
        });
        script(answer({value(0xD105, 3), value(0xD102, 0x68), value(0xD106, 0), value(0xD13A, 0),
                       record(kCanonEventPropValueChanged,
                              words({0xD1A0, 0, 1, 1, 48, 3, 0x0101, 1, 1, 0x060F, 1, 0, 0x010F, 2, 0, 1}))}));
        sim->setResponseTimeout(300ms);
        source->plug(sim);
        browser.start();
        EXPECT_TRUE(recorder->waitFor("added"));
        camera = recorder->added.empty() ? nullptr : recorder->added.front();
    }
    ~CanonRig() { recorder->added.clear(); }
    void script(Bytes data) {
        std::lock_guard lock(mutex);
        answers.push_back(std::move(data));
    }
    bool connect() {
        camera->requestOpenSession();
        return recorder->waitFor("connected");
    }
    std::vector<SimulatedRequest> requests(uint16_t code) const {
        std::vector<SimulatedRequest> found;
        for (const auto& r : sim->requests())
            if (r.operationCode == code) found.push_back(r);
        return found;
    }
    // Waits until the camera has sent `n` requests of the operation.
    bool waitForRequests(uint16_t code, std::size_t n) {
        return dispatch::runMainQueueUntil([&] { return requests(code).size() >= n; }, 5s);
    }

    std::shared_ptr<SimulatedCamera> sim = SimulatedCamera::preset("canon");
    std::mutex mutex;
    std::deque<Bytes> answers;
    std::map<uint32_t, Bytes> files;
    uint32_t releaseParameter = 0;
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
    for (const auto& desc : rig.requests(0x1014)) {
        EXPECT_NE(desc.parameters.at(0), 0xD101u);
        EXPECT_NE(desc.parameters.at(0), 0xD13Au);
        askedBattery = askedBattery || desc.parameters.at(0) == 0x5001;
    }
    EXPECT_TRUE(askedBattery);
    EXPECT_EQ(rig.requests(0x9114).at(0).parameters, std::vector<uint32_t>{1});

    auto& r = *rig.recorder;
    EXPECT_LT(r.indexOf("canExposure"), r.indexOf("connected"));
    EXPECT_NE(r.indexOf("canFocus"), -1);
    EXPECT_NE(r.indexOf("canPreview"), -1);
    // Manual exposure: exposure compensation is the camera's to choose.
    EXPECT_EQ(r.find("permission d104"), "permission d104 ro");
    EXPECT_EQ(r.find("permission d101"), "permission d101 rw");
    EXPECT_EQ(r.find("list 860f"), "list 860f 0 [0,1] [Disable,Enable] rw");
    // The mirror lock-up custom function is switched off on connecting.
    ASSERT_TRUE(rig.waitForRequests(0x9110, 1));
    const auto writes = rig.requests(0x9110);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes[0].data, words({68, 0xD1A0, 60, 1, 1, 48, 3, 0x0101, 1, 1, 0x060F, 1, 0, 0x010F, 2, 0, 1}));
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

TEST(PTPCanonCamera, RawAndJpegOfOneShotKeepTheirOwnNames) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    const Bytes raw{'I', 'I', '*', 0, 1, 2, 3}, jpeg{0xFF, 0xD8, 9, 9, 0xFF, 0xD9};
    {
        std::lock_guard lock(rig.mutex);
        rig.files[0x11] = raw;
        rig.files[0x12] = jpeg;
    }
    rig.script(answer({objectAdded(0x11, "IMG_0001.CR2"), objectAdded(0x12, "IMG_0001.JPG")}));
    EXPECT_EQ(rig.camera->startExposure(), 0.0);
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return rig.recorder->images.size() == 2; }, 5s));
    EXPECT_EQ(rig.recorder->images[0], (std::pair<std::string, Bytes>{"IMG_0001.CR2", raw}));
    EXPECT_EQ(rig.recorder->images[1], (std::pair<std::string, Bytes>{"IMG_0001.JPG", jpeg}));
    const auto release = rig.requests(0x9128);
    ASSERT_EQ(release.size(), 1u);
    EXPECT_EQ(release[0].parameters, (std::vector<uint32_t>{3, 0}));
    EXPECT_TRUE(rig.waitForRequests(0x9129, 1));
}

TEST(PTPCanonCamera, MirrorLockupWithAndWithoutItsOwnProperty) {
    for (const bool listsMirrorUp : {true, false}) {
        SCOPED_TRACE(listsMirrorUp);
        CanonRig rig(listsMirrorUp);
        ASSERT_TRUE(rig.connect());
        ASSERT_TRUE(rig.recorder->waitFor("list d106"));
        ASSERT_TRUE(rig.waitForRequests(0x9110, 1)); // mirror lock-up off on connecting
        const std::size_t before = rig.requests(0x9110).size();
        rig.camera->setUseMirrorLockup(true);
        rig.camera->setAvoidAF(true);
        EXPECT_EQ(rig.camera->startExposure(), 2.0);
        ASSERT_TRUE(rig.waitForRequests(0x9129, 1));
        const auto writes = rig.requests(0x9110);
        ASSERT_EQ(writes.size(), before + 2);
        if (listsMirrorUp)
            EXPECT_EQ(writes[before].data, words({12, 0xD13A, 1}));
        else
            EXPECT_EQ(writes[before].data,
                      words({68, 0xD1A0, 60, 1, 1, 48, 3, 0x0101, 1, 1, 0x060F, 1, 1, 0x010F, 2, 0, 1}));
        EXPECT_EQ(writes[before + 1].data, words({12, 0xD106, 17}));
        EXPECT_EQ(rig.requests(0x9128).at(0).parameters, (std::vector<uint32_t>{3, 1}));
    }
}

TEST(PTPCanonCamera, BulbHoldsTheReleaseUntilStop) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    rig.script(answer({value(0xD105, 4)}));
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return rig.recorder->count("permission d102") >= 2; }, 5s));
    rig.camera->startExposure();
    ASSERT_TRUE(rig.waitForRequests(0x9128, 1));
    rig.camera->checkForEvent(); // a later transaction: had RemoteReleaseOff been sent, it came first
    ASSERT_TRUE(rig.waitForRequests(0x9116, 3));
    EXPECT_TRUE(rig.requests(0x9129).empty());
    rig.camera->stopExposure();
    ASSERT_TRUE(rig.waitForRequests(0x9129, 1));
    EXPECT_EQ(rig.requests(0x9129).at(0).parameters, std::vector<uint32_t>{3});
}

TEST(PTPCanonCamera, ReleaseRefusedThroughItsParameter) {
    for (const uint32_t parameter : {0u, 1u, 2u}) {
        SCOPED_TRACE(parameter);
        CanonRig rig;
        rig.releaseParameter = parameter;
        ASSERT_TRUE(rig.connect());
        rig.camera->startExposure();
        // Answers come back in order: once a later GetEvent is reported, the release was handled.
        rig.script(answer({value(0xD10F, 1)}));
        rig.camera->checkForEvent();
        ASSERT_TRUE(rig.recorder->waitFor("list d10f"));
        if (parameter == 1) {
            EXPECT_EQ(rig.recorder->find("exposureFailed"),
                      "exposureFailed RemoteRelease failed (0x2001 = PTPResponseCodeOK)");
        } else {
            EXPECT_FALSE(rig.recorder->find("exposureFailed"));
        }
    }
}

TEST(PTPCanonCamera, ShortCustomFunctionWriteIsRefused) {
    CanonRig rig;
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(rig.waitForRequests(0x9110, 1));
    const std::size_t sent = rig.requests(0x9110).size();
    rig.camera->setProperty(0x810F, "1"); // the item holds two values
    ASSERT_TRUE(rig.recorder->waitFor("propertyFailed 810f"));
    EXPECT_EQ(rig.requests(0x9110).size(), sent);
}

} // namespace
