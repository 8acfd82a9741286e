// The driver "indigo_ccd_ica" on the in-process bus, with simulated cameras and a client that
// copies what reaches it.
#include "camera_rig.h"
#include "ccd_ica/dslr_property_map.h"
#include "ccd_ica/indigo_ccd_ica.h"
#include "ccd_ica/ptp_delegate.h"
#include "driver_on_bus.h"
#include "indigo/bus/indigo_timer_internal.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"
#include "platform/camera/ic_device_browser.h"
#include "platform/camera/simulated_canon.h"
#include "platform/camera/simulated_device_source.h"
#include "platform/camera/simulated_sony.h"
#include "support/eventually.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using test_support::BusEvent;
using test_support::RecordingClient;
using namespace ccd_ica_test;
using zeta::platform::SimulatedCamera;
using zeta::platform::SimulatedProperty;
using zeta::platform::SimulatedReply;
using zeta::platform::SimulatedRequest;
using Values = std::vector<SimulatedProperty::Value>;

// ---- requests to the driver ------------------------------------------------------------------

void sendSwitch(const std::string& device, const char* name, const char* item, bool value = true) {
    const char* items[] = {item};
    const bool values[] = {value};
    indigo_change_switch_property(&client().client, device.c_str(), name, 1, items, values);
}

void sendSwitches(const std::string& device, const char* name, std::vector<const char*> items,
                  std::vector<char> values) {
    std::unique_ptr<bool[]> flags(new bool[values.size()]);
    for (std::size_t i = 0; i < values.size(); ++i)
        flags[i] = values[i] != 0;
    indigo_change_switch_property(&client().client, device.c_str(), name, static_cast<int>(items.size()), items.data(),
                                  flags.get());
}

void sendNumber(const std::string& device, const char* name, const char* item, double value) {
    const char* items[] = {item};
    const double values[] = {value};
    indigo_change_number_property(&client().client, device.c_str(), name, 1, items, values);
}

void sendText(const std::string& device, const char* name, const char* item, const char* value) {
    const char* items[] = {item};
    const char* values[] = {value};
    indigo_change_text_property(&client().client, device.c_str(), name, 1, items, values);
}

auto stateIs(indigo_property_state state) {
    return [state](const BusEvent& p) {
        return p.kind != "delete" && p.state == state;
    };
}

// Waits until everything queued on the driver's run loop so far has run.
void flushRunLoop() {
    indigo_ccd_ica_run_loop().sync([] {});
}

bool connect(const std::string& device) {
    const std::size_t from = client().count();
    sendSwitch(device, "CONNECTION", "CONNECTED");
    return client()
        .waitFor(from, device, "CONNECTION",
                 [](const BusEvent& p) {
                     return p.state == INDIGO_OK_STATE && p.item("CONNECTED") && p.item("CONNECTED")->on;
                 })
        .has_value();
}

bool disconnect(const std::string& device) {
    const std::size_t from = client().count();
    sendSwitch(device, "CONNECTION", "DISCONNECTED");
    return client()
        .waitFor(from, device, "CONNECTION",
                 [](const BusEvent& p) {
                     return p.state == INDIGO_OK_STATE && p.item("DISCONNECTED") && p.item("DISCONNECTED")->on;
                 })
        .has_value();
}

bool gone(const std::string& device) {
    return client().waitUntil([&] { return !client().anyDefinedLocked(device); });
}

// A camera with the generic preset's properties under a name of the test's own.
std::shared_ptr<SimulatedCamera> genericSim(const std::string& name) {
    auto sim = std::make_shared<SimulatedCamera>(name, 0xF055);
    const auto generic = SimulatedCamera::preset("generic");
    for (uint16_t code : {0x5001, 0x5003, 0x5004, 0x5005, 0x5007, 0x5008, 0x500D, 0x500E, 0x500F, 0x5010}) {
        sim->setProperty(*generic->property(code));
    }
    sim->setResponseTimeout(300ms);
    return sim;
}

using test_support::eventually;

// A generic camera found by the driver's own browser. Unplugged when the test ends.
struct PluggedCamera {
    explicit PluggedCamera(const std::string& name, const std::function<void(SimulatedCamera&)>& configure = {})
        : name(name), sim(genericSim(name)) {
        if (configure) configure(*sim);
        driver().source->plug(sim);
        EXPECT_TRUE(client().waitUntil([&] { return client().definedLocked(name, "CONFIG"); }));
    }
    ~PluggedCamera() {
        if (sim->isPlugged()) {
            driver().source->unplug(sim);
            EXPECT_TRUE(gone(name));
        }
    }
    std::string name;
    std::shared_ptr<SimulatedCamera> sim;
};

// ---- cameras of a scripted class, for what the generic camera cannot show ---------------------

// A camera whose family, live view and lens drive a test chooses.
class ScriptedCamera final : public PTPCamera {
public:
    uint16_t family = 0;
    bool canPreview = false;
    bool canFocus = false;
    bool bulbShutter = false; // the shutter stays open until stopExposure
    double extraSeconds = 0;  // what startExposure asks the driver to add (mirror lock-up)
    std::atomic<int> stopExposures{0};
    std::atomic<int> stopPreviews{0};
    std::atomic<int> locks{0};
    std::atomic<int> unlocks{0};
    std::vector<int32_t> moves; // run loop only

    void setSensor(int32_t width, int32_t height, float pixelSize) {
        width_ = width;
        height_ = height;
        pixelSize_ = pixelSize;
    }
    void lock() override { ++locks; }
    void unlock() override { ++unlocks; }

    uint16_t extension() const override { return family; }
    void processConnect() override {
        if (canPreview) delegate()->cameraCanPreview(self());
        if (canFocus) delegate()->cameraCanFocus(self());
        PTPCamera::processConnect();
    }
    double startExposure() override { return (bulbShutter ? 0.0 : PTPCamera::startExposure()) + extraSeconds; }
    void stopExposure() override {
        ++stopExposures;
        icCamera()->requestTakePicture();
    }
    void startPreview() override {
        previewing_ = true;
        icCamera()->requestTakePicture();
    }
    void stopPreview() override {
        previewing_ = false;
        ++stopPreviews;
    }
    void didDownloadFile(const std::shared_ptr<zeta::platform::ICCameraFile>& file,
                         const std::optional<zeta::platform::ICError>& error,
                         const zeta::platform::ICDownloadOptions& options, const std::any& context) override {
        PTPCamera::didDownloadFile(file, error, options, context);
        if (previewing_) icCamera()->requestTakePicture(); // the next live-view frame
    }
    void focus(int32_t steps) override {
        moves.push_back(steps);
        if (steps == 0) return;
        std::weak_ptr<PTPCamera> weak = weak_from_this();
        dispatch::after(50ms, runLoop(), [weak] {
            if (const auto camera = weak.lock()) camera->delegate()->cameraFocusDone(camera);
        });
    }

private:
    friend class PTPCamera;
    using PTPCamera::PTPCamera;
    bool previewing_ = false;
};

struct DeviceHolder final : zeta::platform::ICDeviceBrowserDelegate {
    std::mutex mutex;
    std::shared_ptr<zeta::platform::ICCameraDevice> device;
    void didAddDevice(zeta::platform::ICDeviceBrowser&, const std::shared_ptr<zeta::platform::ICCameraDevice>& d,
                      bool) override {
        std::lock_guard lock(mutex);
        device = d;
    }
    void didRemoveDevice(zeta::platform::ICDeviceBrowser&, const std::shared_ptr<zeta::platform::ICCameraDevice>&,
                         bool) override {}
};

// A scripted camera announced to the driver's delegate on the driver's run loop, as the
// browser announces the cameras it makes.
struct ScriptedRig {
    ScriptedRig(const std::string& name, const std::function<void(ScriptedCamera&)>& configure,
                const std::function<void(SimulatedCamera&)>& configureSim = {})
        : name(name) {
        driver();
        sim = genericSim(name);
        if (configureSim) configureSim(*sim);
        source->plug(sim);
        icBrowser = std::make_unique<zeta::platform::ICDeviceBrowser>(
            indigo_ccd_ica_run_loop(), std::vector<std::shared_ptr<zeta::platform::ICDeviceSource>>{source});
        icBrowser->setDelegate(holder);
        icBrowser->start();
        std::shared_ptr<zeta::platform::ICCameraDevice> device;
        for (int i = 0; i < 500 && !device; ++i) {
            std::this_thread::sleep_for(10ms);
            std::lock_guard lock(holder->mutex);
            device = holder->device;
        }
        EXPECT_TRUE(device);
        indigo_ccd_ica_run_loop().sync([&] {
            camera = PTPCamera::create<ScriptedCamera>(device, indigo_ccd_ica_delegate(), indigo_ccd_ica_run_loop());
            configure(*camera);
            indigo_ccd_ica_delegate()->cameraAdded(camera);
        });
        EXPECT_TRUE(client().waitUntil([&] { return client().definedLocked(name, "CONFIG"); }));
    }
    ~ScriptedRig() {
        if (sim->isPlugged()) {
            source->unplug(sim);
            EXPECT_TRUE(gone(name));
        }
        flushRunLoop();
        icBrowser.reset();
    }
    std::vector<int32_t> moves() {
        std::vector<int32_t> copy;
        indigo_ccd_ica_run_loop().sync([&] { copy = camera->moves; });
        return copy;
    }

    std::string name;
    std::shared_ptr<SimulatedCamera> sim;
    std::shared_ptr<zeta::platform::SimulatedDeviceSource> source =
        std::make_shared<zeta::platform::SimulatedDeviceSource>();
    std::shared_ptr<DeviceHolder> holder = std::make_shared<DeviceHolder>();
    std::unique_ptr<zeta::platform::ICDeviceBrowser> icBrowser;
    std::shared_ptr<ScriptedCamera> camera;
};

// ---- tests ------------------------------------------------------------------------------------

TEST(ICADriver, EntryDescribesItselfAndInitialisesOnce) {
    driver();
    indigo_driver_info info{};
    EXPECT_EQ(indigo_ccd_ica(INDIGO_DRIVER_INFO, &info), INDIGO_OK);
    EXPECT_STREQ(info.description, "ICA Camera");
    EXPECT_STREQ(info.name, "indigo_ccd_ica");
    EXPECT_EQ(info.version, 1);
    EXPECT_EQ(info.status, INDIGO_DRIVER_INIT);
    EXPECT_FALSE(indigo_ccd_ica_use_device_sources({})); // the browser is made

    // A second initialisation announces no camera twice.
    PluggedCamera camera("Zeta Entry");
    const std::size_t defines = client().events(camera.name).size();
    EXPECT_EQ(indigo_ccd_ica(INDIGO_DRIVER_INIT, nullptr), INDIGO_OK);
    EXPECT_EQ(indigo_add_driver(indigo_ccd_ica, true, nullptr), INDIGO_OK);
    std::this_thread::sleep_for(200ms);
    flushRunLoop();
    EXPECT_EQ(client().events(camera.name).size(), defines);
}

TEST(ICADriver, ConnectionDefinesTheCameraPropertiesAndDisconnectDeletesThem) {
    PluggedCamera camera("Zeta Connect", [](SimulatedCamera& sim) {
        sim.setProperty({0xD1A0, 2, true, int64_t{1}, int64_t{1}, Values{int64_t{1}, int64_t{2}}, std::nullopt});
    });
    const std::string& name = camera.name;
    ASSERT_TRUE(loggedLine(name + " added"));
    ASSERT_TRUE(loggedLine(name + " attached"));
    auto info = client().property(name, "INFO");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->item("DEVICE_INTERFACE")->text, "2");
    EXPECT_FALSE(client().property(name, "CCD_EXPOSURE")); // nothing camera-specific yet

    const std::size_t from = client().count();
    ASSERT_TRUE(connect(name));
    ASSERT_TRUE(loggedLine(name + " connected"));
    const auto connecting = client().eventsSince(from, name, "CONNECTION");
    ASSERT_FALSE(connecting.empty());
    EXPECT_EQ(connecting.front().state, INDIGO_BUSY_STATE);

    auto aperture = client().property(name, "DSLR_APERTURE");
    ASSERT_TRUE(aperture);
    EXPECT_EQ(aperture->group, "DSLR");
    EXPECT_EQ(aperture->label, "Aperture");
    EXPECT_EQ(aperture->perm, INDIGO_RW_PERM);
    EXPECT_EQ(aperture->itemNames(), (std::vector<std::string>{"280", "400", "560", "800", "1100", "1600"}));
    EXPECT_EQ(aperture->items[0].label, "f/2.8");
    EXPECT_EQ(aperture->on(), std::vector<std::string>{"560"});
    auto mode = client().property(name, "CCD_MODE");
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->label, "Image size");
    EXPECT_EQ(mode->on(), std::vector<std::string>{"6000x4000"});
    auto focal = client().property(name, "DSLR_FOCAL_LENGTH");
    ASSERT_TRUE(focal);
    EXPECT_EQ(focal->perm, INDIGO_RO_PERM);
    EXPECT_EQ(focal->items[0].value, 50);
    auto battery = client().property(name, "DSLR_BATTERY_LEVEL");
    ASSERT_TRUE(battery);
    EXPECT_EQ(battery->type, INDIGO_NUMBER_VECTOR);
    EXPECT_EQ(battery->items[0].value, 80);
    auto advanced = client().property(name, "d1a0");
    ASSERT_TRUE(advanced);
    EXPECT_EQ(advanced->group, "Advanced");
    EXPECT_EQ(advanced->label, "0xd1a0");

    // The six own switches, as they start.
    const std::vector<std::pair<std::string, std::vector<std::string>>> own = {
        {"DSLR_LOCK", {"LOCK"}},   {"DSLR_MIRROR_LOCKUP", {"UNLOCK"}}, {"DSLR_AF", {}},
        {"DSLR_AVOID_AF", {"ON"}}, {"DSLR_ZOOM_PREVIEW", {"OFF"}},     {"DSLR_DELETE_IMAGE", {"ON"}},
    };
    for (const auto& [switchName, on] : own) {
        auto property = client().property(name, switchName);
        ASSERT_TRUE(property) << switchName;
        EXPECT_EQ(property->group, "DSLR");
        EXPECT_EQ(property->on(), on) << switchName;
    }
    auto exposure = client().property(name, "CCD_EXPOSURE");
    ASSERT_TRUE(exposure);
    EXPECT_EQ(exposure->perm, INDIGO_RW_PERM);
    auto format = client().property(name, "CCD_IMAGE_FORMAT");
    ASSERT_TRUE(format);
    EXPECT_EQ(format->perm, INDIGO_RO_PERM);
    EXPECT_EQ(format->on(), std::vector<std::string>{"JPEG"});
    EXPECT_TRUE(client().property(name, "CCD_IMAGE"));
    EXPECT_FALSE(client().property(name, "CCD_INFO"));      // no sensor data for this camera
    EXPECT_FALSE(client().property(name, "CCD_STREAMING")); // no live view

    // The camera's properties are defined before the connection shows Ok.
    const auto events = client().eventsSince(from, name);
    std::ptrdiff_t apertureAt = -1, connectedAt = -1;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].name == "DSLR_APERTURE" && events[i].kind == "define" && apertureAt < 0)
            apertureAt = static_cast<std::ptrdiff_t>(i);
        if (events[i].name == "CONNECTION" && events[i].state == INDIGO_OK_STATE)
            connectedAt = static_cast<std::ptrdiff_t>(i);
    }
    EXPECT_LT(apertureAt, connectedAt);

    ASSERT_TRUE(disconnect(name));
    ASSERT_TRUE(loggedLine(name + " disconnected"));
    for (const char* deleted :
         {"DSLR_APERTURE", "CCD_MODE", "d1a0", "DSLR_LOCK", "DSLR_DELETE_IMAGE", "CCD_EXPOSURE", "CCD_IMAGE"}) {
        EXPECT_FALSE(client().property(name, deleted)) << deleted;
    }
    EXPECT_TRUE(client().property(name, "CONNECTION"));

    // Connecting again brings them back.
    ASSERT_TRUE(connect(name));
    EXPECT_TRUE(client().property(name, "DSLR_APERTURE"));
}

TEST(ICADriver, FailedOpeningEndsInAlert) {
    PluggedCamera camera("Zeta Refusing", [](SimulatedCamera& sim) { sim.answerBusy(0x1001, 1); });
    const std::size_t from = client().count();
    sendSwitch(camera.name, "CONNECTION", "CONNECTED");
    const auto alert = client().waitFor(from, camera.name, "CONNECTION", stateIs(INDIGO_ALERT_STATE));
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message, "GetDeviceInfo failed (0x2019 = PTPResponseCodeDeviceBusy)");
    EXPECT_EQ(alert->on(), std::vector<std::string>{"DISCONNECTED"});
    EXPECT_FALSE(client().property(camera.name, "CCD_EXPOSURE"));

    // The camera answers the next time.
    ASSERT_TRUE(connect(camera.name));
    EXPECT_TRUE(client().property(camera.name, "DSLR_APERTURE"));
}

TEST(ICADriver, ExposurePublishesTheCameraFileByteForByte) {
    PluggedCamera camera("Zeta Exposure");
    const std::string& name = camera.name;
    std::vector<uint8_t> picture(150001);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>((i * 31) ^ (i >> 7));
    camera.sim->setCaptureFile("X.JPG", picture);
    ASSERT_TRUE(connect(name));

    const std::size_t from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));
    const auto images = client().eventsSince(from, name, "CCD_IMAGE");
    std::optional<BusEvent> image;
    for (const auto& e : images) {
        if (e.state == INDIGO_OK_STATE) image = e;
    }
    ASSERT_TRUE(image);
    EXPECT_EQ(image->blobFormat, ".jpeg");
    EXPECT_EQ(image->blob, picture);
    const auto exposure = client().eventsSince(from, name, "CCD_EXPOSURE");
    EXPECT_EQ(exposure.front().state, INDIGO_BUSY_STATE);
    EXPECT_EQ(exposure.back().state, INDIGO_OK_STATE);
}

TEST(ICADriver, ExposureRequestsWhileBusyAreIgnoredAndFailuresAlert) {
    PluggedCamera camera("Zeta Busy", [](SimulatedCamera& sim) {
        // The camera accepts the capture but keeps the picture until the test takes it.
        sim.setHandler(0x100E, [](const SimulatedRequest&) { return SimulatedReply{}; });
    });
    const std::string& name = camera.name;
    ASSERT_TRUE(connect(name));

    std::size_t from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_BUSY_STATE)));
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0);
    sendNumber(name, "CCD_STREAMING", "COUNT", 2);
    flushRunLoop();
    flushRunLoop();
    EXPECT_TRUE(client().eventsSince(from, name, "CCD_STREAMING").empty());
    EXPECT_EQ(client().eventsSince(from, name, "CCD_EXPOSURE").size(), 1u);
    EXPECT_TRUE(eventually([&] { return requestsOf(*camera.sim, 0x100E).size() == 1; }));
    camera.sim->takePicture();
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));

    // A capture the camera refuses.
    camera.sim->answerBusy(0x100E, 1);
    from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0);
    const auto alert = client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_ALERT_STATE));
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message, "InitiateCapture failed (0x2019 = PTPResponseCodeDeviceBusy)");
    EXPECT_TRUE(client().waitFor(from, name, "CCD_IMAGE", stateIs(INDIGO_ALERT_STATE)));
    EXPECT_TRUE(loggedLine("Error 'InitiateCapture failed (0x2019 = PTPResponseCodeDeviceBusy)' on '" + name + "'"));

    // Streaming asked of a camera without live view is refused, and does not stand in the
    // way of the next exposure.
    sendNumber(name, "CCD_STREAMING", "COUNT", 3);
    from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_BUSY_STATE)));
    EXPECT_TRUE(eventually([&] { return requestsOf(*camera.sim, 0x100E).size() == 3; }));
    camera.sim->takePicture();
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));
}

TEST(ICADriver, SettingGoesOutAtItsWidthAndComesBack) {
    PluggedCamera camera("Zeta Settings", [](SimulatedCamera& sim) {
        // A 128-bit setting: reported as read-only text, and never sent.
        std::vector<uint8_t> description = {0xA0, 0xD1, 0x0A, 0x00, 0x01};
        for (int i = 0; i < 32; ++i)
            description.push_back(static_cast<uint8_t>(i));
        description.push_back(0);
        sim.setPropertyDescriptionData(0xD1A0, description);
    });
    const std::string& name = camera.name;
    ASSERT_TRUE(connect(name));

    struct Case {
        const char* property;
        const char* item;
        uint32_t code;
        std::vector<uint8_t> data;
    };
    const Case cases[] = {
        {"DSLR_APERTURE", "800", 0x5007, {0x20, 0x03}},               // UINT16
        {"DSLR_EXPOSURE_COMPENSATION", "-333", 0x5010, {0xB3, 0xFE}}, // INT16
        {"DSLR_SHUTTER", "125", 0x500D, {0x7D, 0x00, 0x00, 0x00}},    // UINT32
        {"DSLR_COMPRESSION", "4", 0x5004, {0x04}},                    // UINT8
        {"CCD_MODE", "2992x2000", 0x5003, {}},                        // string
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.property);
        const std::size_t from = client().count();
        const std::size_t sets = requestsOf(*camera.sim, 0x1016).size();
        sendSwitch(name, c.property, c.item);
        ASSERT_TRUE(client().waitFor(from, name, c.property, stateIs(INDIGO_BUSY_STATE)));
        const auto done = client().waitFor(from, name, c.property, stateIs(INDIGO_OK_STATE));
        ASSERT_TRUE(done);
        EXPECT_EQ(done->on(), std::vector<std::string>{c.item});
        const auto sent = requestsOf(*camera.sim, 0x1016);
        ASSERT_EQ(sent.size(), sets + 1);
        EXPECT_EQ(sent.back().parameters.front(), c.code);
        if (!c.data.empty())
            EXPECT_EQ(sent.back().data, c.data);
        else
            EXPECT_EQ(sent.back().data.size(), 21u); // a count byte and ten UTF-16 units
    }

    // Compression RAW put the image format on RAW; JPEG Fine puts it back.
    EXPECT_EQ(client().property(name, "CCD_IMAGE_FORMAT")->on(), std::vector<std::string>{"RAW"});
    std::size_t from = client().count();
    sendSwitch(name, "DSLR_COMPRESSION", "2");
    ASSERT_TRUE(client().waitFor(from, name, "CCD_IMAGE_FORMAT",
                                 [](const BusEvent& p) { return p.on() == std::vector<std::string>{"JPEG"}; }));

    // A value the camera refuses, a lost answer, and a datatype that cannot be written.
    camera.sim->setHandler(0x1016, [](const SimulatedRequest&) { return SimulatedReply{0x201C, {}, {}}; });
    from = client().count();
    sendSwitch(name, "DSLR_ISO", "6400");
    const auto refused = client().waitFor(from, name, "DSLR_ISO", stateIs(INDIGO_ALERT_STATE));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message, "SetDevicePropValue failed (0x201c = PTPResponseCodeInvalidDevicePropValue)");
    // The value read back is the one the camera kept.
    const auto kept = client().waitFor(from, name, "DSLR_ISO", stateIs(INDIGO_OK_STATE));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->on(), std::vector<std::string>{"100"});

    camera.sim->loseResponse(0x1016);
    from = client().count();
    sendSwitch(name, "DSLR_WHITE_BALANCE", "4");
    const auto lost = client().waitFor(from, name, "DSLR_WHITE_BALANCE", stateIs(INDIGO_ALERT_STATE));
    ASSERT_TRUE(lost);
    EXPECT_TRUE(lost->message.starts_with("SetDevicePropValue failed (")) << lost->message;

    auto wide = client().property(name, "d1a0");
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->type, INDIGO_TEXT_VECTOR);
    EXPECT_EQ(wide->perm, INDIGO_RO_PERM);
    from = client().count();
    sendText(name, "d1a0", "VALUE", "1");
    const auto unsupported = client().waitFor(from, name, "d1a0", stateIs(INDIGO_ALERT_STATE));
    ASSERT_TRUE(unsupported);
    EXPECT_EQ(unsupported->message, "Property 0xd1a0 has an unsupported datatype (PTPDataTypeCodeUInt128)");
}

TEST(ICADriver, BulbOpensTheExposureRangeAndTheTimerEndsIt) {
    ScriptedRig rig(
        "Zeta Bulb",
        [](ScriptedCamera& camera) {
            camera.family = PTPVendorExtensionNikon;
            camera.bulbShutter = true;
            camera.extraSeconds = 0.3;
        },
        [](SimulatedCamera& sim) {
            sim.setProperty({0x500D, 6, true, int64_t{80}, int64_t{80},
                             Values{int64_t{80}, int64_t{10000}, int64_t{0xFFFFFFFF}}, std::nullopt});
        });
    const std::string& name = rig.name;
    ASSERT_TRUE(connect(name));
    // Not bulb when the session opened: the camera times exposures, the range is closed.
    EXPECT_EQ(client().property(name, "CCD_EXPOSURE")->items[0].max, 0);

    // Bulb opens it.
    std::size_t from = client().count();
    sendSwitch(name, "DSLR_SHUTTER", "4294967295");
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", [](const BusEvent& p) { return p.kind == "define"; }));
    const auto opened = client().property(name, "CCD_EXPOSURE");
    EXPECT_EQ(opened->items[0].min, 0);
    EXPECT_EQ(opened->items[0].max, 10000);
    EXPECT_EQ(client().property(name, "DSLR_SHUTTER")->items[2].label, "Bulb");

    // The driver times the exposure; the picture comes after the shutter closes.
    from = client().count();
    const auto start = std::chrono::steady_clock::now();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 1.2);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1450ms);
    EXPECT_EQ(rig.camera->stopExposures, 1);
    const auto exposure = client().eventsSince(from, name, "CCD_EXPOSURE");
    ASSERT_EQ(exposure.size(), 4u);
    EXPECT_EQ(exposure[0].items[0].value, 1.2);
    EXPECT_DOUBLE_EQ(exposure[1].items[0].value, 1.5); // the camera's extra time, timed too
    EXPECT_EQ(exposure[2].items[0].value, 0);          // the timer's end
    EXPECT_EQ(client().eventsSince(from, name, "CCD_IMAGE").back().state, INDIGO_OK_STATE);

    // Aborting a bulb exposure closes the shutter at once and cancels the timer.
    from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 30);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_BUSY_STATE)));
    sendSwitch(name, "CCD_ABORT_EXPOSURE", "ABORT_EXPOSURE");
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_ALERT_STATE)));
    EXPECT_TRUE(eventually([&] { return rig.camera->stopExposures == 2; }));
}

TEST(ICADriver, StreamingCountsFramesDown) {
    ScriptedRig rig("Zeta Live View", [](ScriptedCamera& camera) { camera.canPreview = true; });
    const std::string& name = rig.name;
    ASSERT_TRUE(connect(name));
    ASSERT_TRUE(client().property(name, "CCD_STREAMING"));

    std::size_t from = client().count();
    sendNumber(name, "CCD_STREAMING", "COUNT", 0);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_STREAMING", stateIs(INDIGO_ALERT_STATE)));

    from = client().count();
    sendNumber(name, "CCD_STREAMING", "COUNT", 3);
    const auto done = client().waitFor(from, name, "CCD_STREAMING", stateIs(INDIGO_OK_STATE));
    ASSERT_TRUE(done);
    EXPECT_EQ(done->item("COUNT")->value, 0);
    EXPECT_EQ(rig.camera->stopPreviews, 1);
    std::vector<double> counts;
    for (const auto& e : client().eventsSince(from, name, "CCD_STREAMING"))
        counts.push_back(e.item("COUNT")->value);
    EXPECT_EQ(counts, (std::vector<double>{3, 2, 1, 0}));
    int frames = 0;
    for (const auto& e : client().eventsSince(from, name, "CCD_IMAGE"))
        frames += e.state == INDIGO_OK_STATE ? 1 : 0;
    EXPECT_GE(frames, 3);
}

TEST(ICADriver, LensMovesThroughTheFocuserDevice) {
    ScriptedRig rig("Zeta Lens", [](ScriptedCamera& camera) { camera.canFocus = true; });
    const std::string focuser = rig.name + " (focuser)";
    ASSERT_TRUE(connect(rig.name));
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(focuser, "CONNECTION"); }));
    ASSERT_TRUE(connect(focuser));
    EXPECT_FALSE(client().property(focuser, "FOCUSER_SPEED"));
    EXPECT_FALSE(client().property(focuser, "FOCUSER_POSITION"));
    ASSERT_TRUE(client().property(focuser, "FOCUSER_STEPS"));

    std::size_t from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 25);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_BUSY_STATE)));
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    sendSwitch(focuser, "FOCUSER_DIRECTION", "MOVE_OUTWARD");
    from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 7);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    EXPECT_EQ(rig.moves(), (std::vector<int32_t>{25, -7}));

    // With no direction nothing can move: refused rather than Busy for ever.
    sendSwitches(focuser, "FOCUSER_DIRECTION", {"MOVE_INWARD", "MOVE_OUTWARD"}, {false, false});
    from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 5);
    const auto refused = client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_ALERT_STATE));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message, "No focuser direction selected");
    EXPECT_EQ(rig.moves().size(), 2u);

    // An abort with nothing moving.
    from = client().count();
    sendSwitch(focuser, "FOCUSER_ABORT_MOTION", "ABORT_MOTION");
    const auto abort = client().waitFor(from, focuser, "FOCUSER_ABORT_MOTION", [](const BusEvent&) { return true; });
    ASSERT_TRUE(abort);
    EXPECT_EQ(abort->state, INDIGO_ALERT_STATE);
    EXPECT_EQ(abort->on(), std::vector<std::string>{});

    // The focuser goes with the camera's session.
    ASSERT_TRUE(disconnect(rig.name));
    EXPECT_TRUE(gone(focuser));
    EXPECT_TRUE(loggedLine(focuser + " detached"));
}

TEST(ICADriver, UnpluggedMidExposureLeavesNothingBehind) {
    zeta::indigo::ManualTimerClock clock; // the bulb timer's
    ScriptedRig rig(
        "Zeta Unplugged",
        [](ScriptedCamera& camera) {
            camera.family = PTPVendorExtensionNikon;
            camera.bulbShutter = true;
            camera.canFocus = true;
        },
        [](SimulatedCamera& sim) {
            sim.setProperty({0x500D, 6, true, int64_t{0xFFFFFFFF}, int64_t{0xFFFFFFFF},
                             Values{int64_t{80}, int64_t{0xFFFFFFFF}}, std::nullopt});
        });
    const std::string& name = rig.name;
    ASSERT_TRUE(connect(name));
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(name + " (focuser)", "CONNECTION"); }));

    // One frame downloaded first.
    std::size_t from = client().count();
    rig.sim->setCaptureFile("FIRST.JPG", std::vector<uint8_t>(4096, 0x5A));
    sendSwitch(name, "DSLR_SHUTTER", "4294967295"); // read back read-write: bulb from now on
    ASSERT_TRUE(client().waitFor(from, name, "DSLR_SHUTTER", stateIs(INDIGO_OK_STATE)));
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0.1);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_BUSY_STATE)));
    flushRunLoop(); // the bulb timer is set
    clock.advance(100ms);
    const auto first = client().waitFor(from, name, "CCD_IMAGE", stateIs(INDIGO_OK_STATE));
    ASSERT_TRUE(first);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));

    // A long bulb exposure, and the cable pulled half-way; requests keep coming meanwhile.
    from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0.6);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_BUSY_STATE)));
    std::atomic<bool> stop{false};
    std::thread requests([&] {
        while (!stop) {
            sendSwitch(name, "DSLR_APERTURE", "800");
            sendNumber(name + " (focuser)", "FOCUSER_STEPS", "STEPS", 1);
            std::this_thread::sleep_for(1ms);
        }
    });
    std::this_thread::sleep_for(50ms);
    rig.source->unplug(rig.sim);
    EXPECT_TRUE(gone(name));
    EXPECT_TRUE(gone(name + " (focuser)"));
    std::this_thread::sleep_for(50ms);
    stop = true;
    requests.join();

    const auto alert = client().eventsSince(from, name, "CCD_EXPOSURE");
    ASSERT_FALSE(alert.empty());
    EXPECT_TRUE(std::any_of(alert.begin(), alert.end(), [&](const BusEvent& p) {
        return p.state == INDIGO_ALERT_STATE && p.message == name + " removed";
    }));
    EXPECT_TRUE(loggedLine(name + " removed"));
    EXPECT_TRUE(loggedLine(name + " detached"));
    // The bulb timer was cancelled with the device: the shutter is never closed afterwards.
    clock.advance(1s);
    flushRunLoop();
    EXPECT_EQ(rig.camera->stopExposures, 1);
    EXPECT_EQ(rig.camera->userData(), nullptr);
    // The frame downloaded before is the client's, intact.
    EXPECT_EQ(first->blob, std::vector<uint8_t>(4096, 0x5A));
}

TEST(ICADriver, PropertyNamesFollowTheCameraFamily) {
    ScriptedRig rig("Zeta Families", [](ScriptedCamera&) {});
    struct Case {
        uint16_t family;
        uint16_t code;
        const char* name;
        const char* label;
        const char* group;
    };
    const Case cases[] = {
        {PTPVendorExtensionCanon, 0xD106, "DSLR_CAPTURE_MODE", "Drive mode", "DSLR"},
        {PTPVendorExtensionNikon, 0xD106, "d106", "0xd106", "Advanced"},
        {0, 0x5013, "DSLR_CAPTURE_MODE", "Capture mode", "DSLR"},
        {0, 0xD1A0, "d1a0", "0xd1a0", "Advanced"},
        {PTPVendorExtensionSony, 0xD20D, "DSLR_SHUTTER", "Shutter", "DSLR"},
        {PTPVendorExtensionNikon, 0x501C, "501c", "FocusMeteringMode", "Advanced"},
    };
    for (const auto& c : cases) {
        rig.camera->family = c.family;
        const DSLRPropertyName name = dslrPropertyName(*rig.camera, c.code);
        EXPECT_EQ(name.name, c.name);
        EXPECT_EQ(name.label, c.label);
        EXPECT_EQ(name.group, c.group);
        EXPECT_EQ(dslrPropertyCode(*rig.camera, c.name), c.code);
    }
    rig.camera->family = 0;
}

TEST(ICADriver, OwnSwitchesSetTheCameraFlags) {
    ScriptedRig rig("Zeta Switches", [](ScriptedCamera& camera) { camera.setSensor(6000, 4000, 3.9f); });
    const std::string& name = rig.name;
    ASSERT_TRUE(connect(name));
    // Connecting applies the lock switch, which starts on LOCK.
    EXPECT_EQ(rig.camera->locks, 1);
    auto info = client().property(name, "CCD_INFO");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->item("WIDTH")->value, 6000);
    EXPECT_EQ(info->item("HEIGHT")->value, 4000);
    EXPECT_NEAR(info->item("PIXEL_SIZE")->value, 3.9, 1e-6);
    EXPECT_EQ(info->item("BITS_PER_PIXEL")->value, 16);

    struct Case {
        const char* property;
        const char* item;
        std::function<bool(const PTPCamera&)> flag;
        bool expected;
    };
    const Case cases[] = {
        {"DSLR_MIRROR_LOCKUP", "LOCK", &PTPCamera::useMirrorLockup, true},
        {"DSLR_MIRROR_LOCKUP", "UNLOCK", &PTPCamera::useMirrorLockup, false},
        {"DSLR_AVOID_AF", "ON", &PTPCamera::avoidAF, true},
        {"DSLR_ZOOM_PREVIEW", "ON", &PTPCamera::zoomPreview, true},
        {"DSLR_DELETE_IMAGE", "ON", &PTPCamera::deleteDownloadedImage, true},
        {"DSLR_DELETE_IMAGE", "OFF", &PTPCamera::deleteDownloadedImage, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.property) + " " + c.item);
        const std::size_t from = client().count();
        sendSwitch(name, c.property, c.item);
        const auto done = client().waitFor(from, name, c.property, stateIs(INDIGO_OK_STATE));
        ASSERT_TRUE(done);
        EXPECT_EQ(done->on(), std::vector<std::string>{c.item});
        EXPECT_EQ(c.flag(*rig.camera), c.expected);
    }
    std::size_t from = client().count();
    sendSwitch(name, "DSLR_LOCK", "UNLOCK");
    ASSERT_TRUE(client().waitFor(from, name, "DSLR_LOCK", stateIs(INDIGO_OK_STATE)));
    EXPECT_TRUE(eventually([&] { return rig.camera->unlocks == 1; }));

    // A permission report changes the property in place.
    from = client().count();
    indigo_ccd_ica_run_loop().async(
        [camera = rig.camera] { indigo_ccd_ica_delegate()->cameraPropertyChanged(camera, 0x5007, true); });
    const auto readOnly = client().waitFor(from, name, "DSLR_APERTURE", [](const BusEvent&) { return true; });
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(readOnly->kind, "update");
    EXPECT_EQ(readOnly->perm, INDIGO_RO_PERM);

    // A list whose values change is defined again; one whose value changes is updated.
    from = client().count();
    rig.sim->setProperty(
        {0x500F, 4, true, int64_t{100}, int64_t{200}, Values{int64_t{100}, int64_t{200}}, std::nullopt});
    rig.sim->sendEvent(0x4006, {0x500F});
    const auto redefined =
        client().waitFor(from, name, "DSLR_ISO", [](const BusEvent& p) { return p.kind == "define"; });
    ASSERT_TRUE(redefined);
    EXPECT_EQ(redefined->itemNames(), (std::vector<std::string>{"100", "200"}));
    EXPECT_EQ(redefined->on(), std::vector<std::string>{"200"});
    EXPECT_EQ(client().eventsSince(from, name, "DSLR_ISO").front().kind, "delete");
    from = client().count();
    rig.sim->setProperty(
        {0x500F, 4, true, int64_t{100}, int64_t{100}, Values{int64_t{100}, int64_t{200}}, std::nullopt});
    rig.sim->sendEvent(0x4006, {0x500F});
    const auto updated = client().waitFor(from, name, "DSLR_ISO", [](const BusEvent&) { return true; });
    ASSERT_TRUE(updated);
    EXPECT_EQ(updated->kind, "update");
    EXPECT_EQ(updated->on(), std::vector<std::string>{"100"});
}

// Enumeration runs on the enumerating client's thread while the run loop builds, resizes and
// tears down the records it walks. The values may be read mid-change (the bus allows that,
// and ThreadSanitizer would say so); memory must never be read after it is freed.
TEST(ICADriver, EnumerationWhileTheCameraComesAndGoes) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "reads values while they change, as the bus allows";
#endif
    std::atomic<bool> stop{false};
    struct Seen {
        std::atomic<long> defines{0};
        std::atomic<long> characters{0};
    } seen;
    indigo_client reader{};
    indigo_copy_name(reader.name, "enumerating reader");
    reader.version = INDIGO_VERSION_CURRENT;
    reader.client_context = &seen;
    reader.define_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char*) {
        auto& seen = *static_cast<Seen*>(c->client_context);
        long characters = 0;
        for (int i = 0; i < p->count; ++i)
            characters += static_cast<long>(std::strlen(p->items[i].name));
        seen.characters += characters;
        ++seen.defines;
        return INDIGO_OK;
    };
    ASSERT_EQ(indigo_attach_client(&reader), INDIGO_OK);
    indigo_property request{};
    indigo_copy_name(request.device, "Zeta Enumerated");
    std::thread enumerating([&] {
        while (!stop)
            indigo_enumerate_properties(&reader, &request);
    });

    const Values isoLadder{int64_t{100},  int64_t{125},  int64_t{160},  int64_t{200}, int64_t{250},
                           int64_t{320},  int64_t{400},  int64_t{500},  int64_t{640}, int64_t{800},
                           int64_t{1000}, int64_t{1250}, int64_t{1600}, int64_t{3200}};
    {
        ScriptedRig rig("Zeta Enumerated", [](ScriptedCamera& camera) { camera.canFocus = true; });
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(connect(rig.name));
            // Lists that change length, so their records are resized (and move) again and again.
            for (int change = 0; change < 20; ++change) {
                const std::size_t from = client().count();
                const Values isos = change % 2 ? Values{int64_t{100}, int64_t{200}} : isoLadder;
                rig.sim->setProperty({0x500F, 4, true, int64_t{100}, int64_t{100}, isos, std::nullopt});
                rig.sim->sendEvent(0x4006, {0x500F});
                ASSERT_TRUE(
                    client().waitFor(from, rig.name, "DSLR_ISO", [](const BusEvent& p) { return p.kind == "define"; }));
            }
            ASSERT_TRUE(disconnect(rig.name));
        }
        ASSERT_TRUE(connect(rig.name));
    } // unplugged while connected
    stop = true;
    enumerating.join();
    indigo_detach_client(&reader);
    EXPECT_GT(seen.defines, 0);
}

} // namespace

TEST(ICADriver, SonyShowsItsLabelsAndStepsWhileAnotherCameraCaptures) {
    zeta::platform::SimulatedSonyScript script;
    script.stepDelay = 1s; // every step needs several polls, and the walk outlasts a capture
    const auto sony = zeta::platform::makeSimulatedSony(script);
    sony->setResponseTimeout(300ms);
    const std::string sonyName = "Sony ILCE-7RM2";
    driver().source->plug(sony);
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(sonyName, "CONFIG"); }));
    PluggedCamera other("Zeta Beside Sony");
    ASSERT_TRUE(connect(sonyName));
    ASSERT_TRUE(connect(other.name));

    const auto labelled = [](const char* item, const char* label) {
        return [=](const BusEvent& p) {
            return p.item(item) && p.item(item)->label == label;
        };
    };
    ASSERT_TRUE(client().waitFor(0, sonyName, "DSLR_ISO", labelled("16777215", "Auto")));
    ASSERT_TRUE(client().waitFor(0, sonyName, "DSLR_APERTURE", labelled("560", "f/5.6")));
    ASSERT_TRUE(client().waitFor(0, sonyName, "DSLR_SHUTTER", labelled("0", "Bulb")));

    // 100 -> 200 is three confirmed steps; the other camera captures meanwhile.
    const std::size_t from = client().count();
    sendSwitch(sonyName, "DSLR_ISO", "200");
    // The driver shows the request at once as Busy; the camera's confirmation makes it OK.
    const auto at200 = [](const BusEvent& p) {
        return p.state == INDIGO_OK_STATE && p.item("200") && p.item("200")->on;
    };
    for (int i = 0; i < 3; ++i) {
        const std::size_t shot = client().count();
        sendNumber(other.name, "CCD_EXPOSURE", "EXPOSURE", 0);
        ASSERT_TRUE(client().waitFor(shot, other.name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));
        // The first capture did not wait for the walk: it is still going. (A frame takes long
        // to make under a sanitizer; the later ones may end after the walk.)
        if (i == 0) {
            EXPECT_FALSE(client().waitFor(from, sonyName, "DSLR_ISO", at200, 0ms));
        }
    }
    const auto done = client().waitFor(from, sonyName, "DSLR_ISO", at200);
    ASSERT_TRUE(done);
    int steps = 0;
    for (const auto& r : sony->requests())
        steps += r.operationCode == PTPRequestCodeSonySetControlDeviceB ? 1 : 0;
    EXPECT_EQ(steps, 3);

    ASSERT_TRUE(disconnect(sonyName));
    driver().source->unplug(sony);
    EXPECT_TRUE(gone(sonyName));
}

namespace {

// A simulated D800 through the whole driver: Nikon labels, a bulb exposure with mirror
// lock-up, live view and the lens through the focuser device.
TEST(ICADriver, NikonD800OnTheBus) {
    auto sim = SimulatedCamera::preset("nikon");
    sim->setResponseTimeout(300ms);
    // Already in bulb when it connects.
    sim->setProperty({0x500D, 6, true, int64_t{0xFFFFFFFF}, int64_t{0xFFFFFFFF},
                      Values{int64_t{80}, int64_t{10000}, int64_t{0xFFFFFFFF}}, std::nullopt});
    driver().source->plug(sim);
    const std::string name = "Nikon D800";
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(name, "CONFIG"); }));
    ASSERT_TRUE(connect(name));

    // Nikon labels: SaveMedia's values and the lens by name.
    auto labelled = [&](const std::string& property, const std::string& label) {
        return eventually([&] {
            const auto p = client().property(name, property);
            if (!p) return false;
            for (const auto& item : p->items) {
                if (item.label == label || item.text == label) return true;
            }
            return false;
        });
    };
    EXPECT_TRUE(labelled("d10b", "SDRAM"));
    EXPECT_TRUE(labelled("d0e0", "AF-S Zoom-Nikkor 24-70mm f/2.8G ED"));
    ASSERT_TRUE(eventually([&] { return client().property(name, "CCD_EXPOSURE")->items[0].max == 10000; }));

    // Bulb 0.5 s with mirror lock-up: the driver times 2.5 s, then TerminateCapture.
    sendSwitch(name, "DSLR_MIRROR_LOCKUP", "LOCK");
    flushRunLoop();
    std::size_t from = client().count();
    const auto start = std::chrono::steady_clock::now();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0.5);
    const auto image = client().waitFor(from, name, "CCD_IMAGE", stateIs(INDIGO_OK_STATE));
    ASSERT_TRUE(image);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2450ms);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));
    const auto exposure = client().eventsSince(from, name, "CCD_EXPOSURE");
    ASSERT_GE(exposure.size(), 2u);
    EXPECT_DOUBLE_EQ(exposure[1].items[0].value, 2.5);
    const auto capture = requestsOf(*sim, 0x9207);
    ASSERT_EQ(capture.size(), 1u);
    EXPECT_EQ(requestsOf(*sim, 0x920C).size(), 1u);
    std::vector<SimulatedRequest> delay;
    for (const auto& r : requestsOf(*sim, 0x1016))
        if (r.parameters.at(0) == 0xD06A) delay.push_back(r);
    ASSERT_EQ(delay.size(), 1u);
    EXPECT_EQ(delay[0].data, std::vector<uint8_t>{1});

    // Live view at a steady rate, counted down by CCD_STREAMING.
    from = client().count();
    sendNumber(name, "CCD_STREAMING", "COUNT", 4);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_STREAMING", stateIs(INDIGO_OK_STATE)));
    int frames = 0;
    for (const auto& e : client().eventsSince(from, name, "CCD_IMAGE"))
        frames += e.state == INDIGO_OK_STATE ? 1 : 0;
    EXPECT_GE(frames, 4);
    EXPECT_TRUE(eventually([&] { return requestsOf(*sim, 0x9202).size() == 1; }));

    // The lens moves through the focuser device, in a live view of its own.
    const std::string focuser = name + " (focuser)";
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(focuser, "CONNECTION"); }));
    ASSERT_TRUE(connect(focuser));
    from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 10);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    const auto drives = requestsOf(*sim, 0x9204);
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].parameters, (std::vector<uint32_t>{1, 10}));
    EXPECT_TRUE(eventually([&] { return requestsOf(*sim, 0x9202).size() == 2; }));

    ASSERT_TRUE(disconnect(name));
    driver().source->unplug(sim);
    EXPECT_TRUE(gone(name));
}

} // namespace

namespace {

// Images published since `from`, in order: {format, bytes}.
std::vector<std::pair<std::string, std::vector<uint8_t>>> imagesSince(std::size_t from, const std::string& device) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> images;
    for (const auto& e : client().eventsSince(from, device, "CCD_IMAGE"))
        if (e.state == INDIGO_OK_STATE && !e.blob.empty()) images.emplace_back(e.blobFormat, e.blob);
    return images;
}

// Waits until a task queued on the driver's run loop this long from now has run: every task
// the camera scheduled for no later has run before it.
void waitOnRunLoop(std::chrono::milliseconds delay) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    dispatch::after(delay, indigo_ccd_ica_run_loop(), [done] { *done = true; });
    EXPECT_TRUE(eventually([&] { return done->load(); }));
}

// A simulated 5D Mark III through the whole driver: RAW + JPEG in one shot, a bulb exposure the
// driver times, live view, and the lens through the focuser device.
TEST(ICADriver, CanonEOS5DMarkIIIOnTheBus) {
    zeta::platform::SimulatedCanon body;
    auto sim = body.camera();
    sim->setResponseTimeout(300ms);
    body.setImageFormat(0x1001000310060004); // Large fine JPEG + RAW
    driver().source->plug(sim);
    const std::string name = "Canon EOS 5D Mark III";
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(name, "CONFIG"); }));
    ASSERT_TRUE(connect(name));

    // One release, two files: each under its own extension, byte for byte.
    std::size_t from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));
    ASSERT_TRUE(eventually([&] { return imagesSince(from, name).size() == 2; }));
    auto pictures = body.pictures();
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(imagesSince(from, name), (std::vector<std::pair<std::string, std::vector<uint8_t>>>{
                                           {".jpeg", pictures[0].second}, {".cr2", pictures[1].second}}));

    // Bulb: the release is held until the driver's timer lets it go after 0.5 s.
    auto program = [&](const std::string& mode) {
        return eventually([&] {
            const auto p = client().property(name, "DSLR_PROGRAM");
            return p && p->on() == std::vector<std::string>{mode};
        });
    };
    body.setValue(0xD105, 4);
    ASSERT_TRUE(program("4"));
    ASSERT_EQ(client().property(name, "CCD_EXPOSURE")->items[0].max, 10000);
    from = client().count();
    sendNumber(name, "CCD_EXPOSURE", "EXPOSURE", 0.5);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_EXPOSURE", stateIs(INDIGO_OK_STATE)));
    ASSERT_TRUE(eventually([&] { return imagesSince(from, name).size() == 2; }));
    const auto presses = body.presses();
    ASSERT_EQ(presses.size(), 4u);
    EXPECT_EQ(presses[2].operation, PTPRequestCodeCanonRemoteReleaseOn);
    EXPECT_EQ(presses[3].operation, PTPRequestCodeCanonRemoteReleaseOff);
    // Both presses cross the same queue to the camera, the first queued as the timer starts: the
    // hold the camera sees is the timer's give or take that queue's jitter, which under a
    // loaded sanitizer run came to half a millisecond.
    EXPECT_GE(presses[3].at - presses[2].at, 495ms);
    pictures = body.pictures();
    ASSERT_EQ(pictures.size(), 4u);
    EXPECT_EQ(pictures[2].first, "IMG_0002.JPG");
    EXPECT_EQ(imagesSince(from, name)[1].second, pictures[3].second);

    // Live view counted down; its end is quiet.
    body.setValue(0xD105, 3);
    ASSERT_TRUE(program("3"));
    from = client().count();
    sendNumber(name, "CCD_STREAMING", "COUNT", 3);
    ASSERT_TRUE(client().waitFor(from, name, "CCD_STREAMING", stateIs(INDIGO_OK_STATE)));
    ASSERT_TRUE(eventually([&] { return body.value(PTPPropertyCodeCanonEVFOutputDevice) == 0; }));
    waitOnRunLoop(150ms);
    const auto frames = imagesSince(from, name);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0], (std::pair<std::string, std::vector<uint8_t>>{".jpeg", SimulatedCamera::sampleJPEG(0)}));
    for (const auto& e : client().eventsSince(from, name, "CCD_IMAGE"))
        EXPECT_NE(e.state, INDIGO_ALERT_STATE) << e.message;

    // The lens: a move ends Ok; an aborted one stays in Alert after its last step ends.
    const std::string focuser = name + " (focuser)";
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(focuser, "CONNECTION"); }));
    ASSERT_TRUE(connect(focuser));
    from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 3);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    EXPECT_EQ(body.lensPosition(), 3);

    from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 8);
    ASSERT_TRUE(eventually([&] { return body.lensPosition() >= 4; }));
    sendSwitch(focuser, "FOCUSER_ABORT_MOTION", "ABORT_MOTION");
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_ALERT_STATE)));
    // The viewfinder goes off with the last step; the end of the move is reported 100 ms later.
    ASSERT_TRUE(eventually([&] { return body.value(PTPPropertyCodeCanonEVFOutputDevice) == 0; }));
    waitOnRunLoop(150ms);
    EXPECT_LT(body.lensPosition(), 3 + 8);
    EXPECT_EQ(client().property(focuser, "FOCUSER_STEPS")->state, INDIGO_ALERT_STATE);
    for (const auto& e : client().eventsSince(from, focuser, "FOCUSER_STEPS"))
        EXPECT_NE(e.state, INDIGO_OK_STATE);

    ASSERT_TRUE(disconnect(name));
    driver().source->unplug(sim);
    EXPECT_TRUE(gone(name));
}

// The shutter the body reports while the session opens decides the exposure range the
// connection defines: no later change is needed to learn it.
TEST(ICADriver, ShutterAtConnectionDecidesTheExposureRange) {
    struct Case {
        const char* model;
        uint32_t aeMode;
        double max;
    };
    const Case cases[] = {{"Canon EOS 60D", 3, 0}, {"Canon EOS 70D", 4, 10000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        zeta::platform::SimulatedCanon body(zeta::platform::SimulatedCanonScript{.model = c.model});
        body.setValue(0xD105, c.aeMode);
        auto sim = body.camera();
        sim->setResponseTimeout(300ms);
        driver().source->plug(sim);
        ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(c.model, "CONFIG"); }));
        const std::size_t from = client().count();
        ASSERT_TRUE(connect(c.model));
        const auto defined = client().eventsSince(from, c.model, "CCD_EXPOSURE");
        ASSERT_FALSE(defined.empty());
        EXPECT_EQ(defined.front().kind, "define");
        EXPECT_EQ(defined.front().items[0].max, c.max);
        ASSERT_TRUE(disconnect(c.model));
        driver().source->unplug(sim);
        EXPECT_TRUE(gone(c.model));
    }
}

// A move asked for while one runs is refused and says so; the running one ends as asked.
TEST(ICADriver, SecondLensMoveWhileOneRunsIsRefused) {
    zeta::platform::SimulatedCanon body(zeta::platform::SimulatedCanonScript{.model = "Canon EOS 80D"});
    auto sim = body.camera();
    sim->setResponseTimeout(300ms);
    driver().source->plug(sim);
    const std::string name = "Canon EOS 80D";
    const std::string focuser = name + " (focuser)";
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(name, "CONFIG"); }));
    ASSERT_TRUE(connect(name));
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(focuser, "CONNECTION"); }));
    ASSERT_TRUE(connect(focuser));

    const std::size_t from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 5);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_BUSY_STATE)));
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 3);
    const auto refused = client().waitFor(from, focuser, "FOCUSER_STEPS",
                                          [](const BusEvent& p) { return p.message == "The lens is still moving"; });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->state, INDIGO_BUSY_STATE);
    EXPECT_EQ(refused->item("STEPS")->value, 5);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    waitOnRunLoop(250ms);
    EXPECT_EQ(body.lensPosition(), 5);
    int ends = 0;
    for (const auto& e : client().eventsSince(from, focuser, "FOCUSER_STEPS"))
        ends += e.state == INDIGO_OK_STATE ? 1 : 0;
    EXPECT_EQ(ends, 1);

    ASSERT_TRUE(disconnect(name));
    driver().source->unplug(sim);
    EXPECT_TRUE(gone(name));
}

// Steps the camera cannot take as a move: none ends at once instead of holding the focuser
// Busy, and the most negative count outward stays a number the camera can take.
TEST(ICADriver, LensStepsAtTheEdgesOfTheirRange) {
    ScriptedRig rig("Zeta Lens Edges", [](ScriptedCamera& camera) { camera.canFocus = true; });
    const std::string focuser = rig.name + " (focuser)";
    ASSERT_TRUE(connect(rig.name));
    ASSERT_TRUE(client().waitUntil([&] { return client().definedLocked(focuser, "CONNECTION"); }));
    ASSERT_TRUE(connect(focuser));

    std::size_t from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 0);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    EXPECT_TRUE(rig.moves().empty());

    sendSwitch(focuser, "FOCUSER_DIRECTION", "MOVE_OUTWARD");
    from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", -2147483648.0);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    from = client().count();
    sendNumber(focuser, "FOCUSER_STEPS", "STEPS", 3);
    ASSERT_TRUE(client().waitFor(from, focuser, "FOCUSER_STEPS", stateIs(INDIGO_OK_STATE)));
    EXPECT_EQ(rig.moves(), (std::vector<int32_t>{INT32_MAX, -3}));
    ASSERT_TRUE(disconnect(rig.name));
}

} // namespace
