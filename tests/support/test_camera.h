#pragma once
// A camera of our own on the in-process bus, for what the INDI simulator lacks: CCD_MODE,
// CCD_GAMMA, CCD_COOLER_POWER, read-only frames, failing connections. It defines the
// properties it is given, records every change request that reaches it ("CCD_GAIN GAIN=50",
// "CONNECTION CONNECTED=On") and answers each as a camera would: the values are taken and
// the property is updated with state Ok. A CONNECTED request connects it, or, with
// failConnect, is answered Alert with DISCONNECTED on.

#include "indigo/indigo_bus.h"
#include "indigo/indigo_property.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace test_support {

class TestCamera {
public:
    struct Number {
        std::string name;
        double min, max, step, value;
    };
    struct Switch {
        std::string name;
        std::string label;
        bool value;
    };

    // A camera with INFO ("DEVICE_INTERFACE" as given), CONNECTION (disconnected) and CONFIG.
    explicit TestCamera(const std::string& name, const std::string& deviceInterface = "2");
    ~TestCamera();
    TestCamera(const TestCamera&) = delete;
    TestCamera& operator=(const TestCamera&) = delete;

    // Properties, defined at attach (or at once when attached).
    indigo_property* addNumber(const std::string& property, const std::vector<Number>& items,
                               indigo_property_perm perm = INDIGO_RW_PERM);
    indigo_property* addSwitch(const std::string& property, const std::vector<Switch>& items,
                               indigo_property_perm perm = INDIGO_RW_PERM);
    indigo_property* addBlob(const std::string& property, const std::string& item);
    // The usual camera set: CCD_INFO 1280 x 1024 at 5.2, CCD_FRAME, CCD_BIN, CCD_EXPOSURE,
    // CCD_IMAGE, CCD_GAIN (0-300 step 10), CCD_OFFSET, CCD_GAMMA, CCD_MODE, CCD_FRAME_TYPE,
    // CCD_COOLER (off), CCD_TEMPERATURE (-40 to 40, at 20), CCD_COOLER_POWER (0).
    void addCameraProperties();

    void attach();
    void detach();
    const std::string& name() const { return name_; }
    indigo_property* property(const std::string& name);

    // Defines the property again (as an INDI server does whenever any client asks).
    void define(const std::string& property);
    // Sends the property's current values (with the state given).
    void update(const std::string& property, indigo_property_state state = INDIGO_OK_STATE);
    void setNumber(const std::string& property, const std::string& item, double value);
    void setSwitch(const std::string& property, const std::string& item, bool value);
    // The camera's own value of a switch item, read under its lock.
    bool switchValue(const std::string& property, const std::string& item);
    // Reports the connection as switched by someone else.
    void reportConnected(bool connected, indigo_property_state state = INDIGO_OK_STATE);

    // Puts bytes into a BLOB item (the camera keeps them, and the few before), with the format
    // (".jpeg").
    void setBlob(const std::string& property, const std::string& item, std::vector<unsigned char> bytes,
                 const std::string& format);

    std::vector<std::string> changes();
    void clearChanges();
    // Waits until at least count change requests arrived.
    bool waitForChanges(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<std::string> blobModes();

    // Answer a CONNECTED request with Alert and DISCONNECTED on.
    bool failConnect = false;
    // Runs for every change request after it was recorded (on the requesting thread, with the
    // camera's lock held); answering true means it answered the request itself. Set before
    // attach.
    std::function<bool(TestCamera& camera, const indigo_property* request)> onChange;

private:
    static TestCamera* self(indigo_device* d) { return static_cast<TestCamera*>(d->private_data); }
    indigo_property* keep(indigo_property* property);
    void change(const indigo_property* request);

    std::string name_;
    indigo_device device_{};
    std::recursive_mutex mutex_;
    std::condition_variable_any changed_;
    std::vector<indigo_property*> properties_;
    std::vector<std::string> changes_;
    std::vector<std::string> blobModes_;
    std::deque<std::vector<unsigned char>> blobs_; // the last few frames (a client may still read one)
    bool attached_ = false;
};

} // namespace test_support
