#pragma once
// A PTP camera in memory, scriptable per test: it answers the standard operations from its
// device information, property descriptions and objects, takes pictures, sends events, and
// can be told to misbehave (busy answers, a lost response, a truncated dataset, removal in the
// middle of a data phase). Any operation can be given an answer of its own.
//
// It speaks through the same container framing as a USB camera (packets of maxPacketSize(),
// zero-length packets after data phases of whole packets), so everything above the port is
// exercised as with hardware. Presets ("generic", "nikon", "canon", "sony") are what
// ZETA_SIMULATED_CAMERAS plugs in. All calls are thread-safe.

#include "platform/camera/ptp_codes.h"
#include "platform/camera/ptp_port.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zeta::platform {

class PacketQueue;

// One operation as the camera received it.
struct SimulatedRequest {
    uint16_t operationCode = 0;
    uint32_t transactionID = 0;
    std::vector<uint32_t> parameters;
    std::vector<uint8_t> data; // the data phase out, if any
};

// The camera's answer: response code and parameters, and a data phase in when `data` is set.
struct SimulatedReply {
    uint16_t responseCode = PTPResponseCodeOK;
    std::vector<uint32_t> parameters;
    std::optional<std::vector<uint8_t>> data;
};

// A device property: its datatype, whether it can be set, its values and form. Integer values
// are held as 64-bit numbers and sent at the datatype's width; strings as texts.
struct SimulatedProperty {
    using Value = std::variant<int64_t, std::string>;
    uint16_t code = 0;
    uint16_t type = 4;
    bool writable = true;
    Value defaultValue = int64_t{0};
    Value value = int64_t{0};
    std::optional<std::vector<Value>> enumeration; // form 2
    std::optional<std::vector<Value>> range;       // form 1: min, max, step
};

struct SimulatedDeviceInfo {
    uint16_t standardVersion = 100;
    uint32_t vendorExtension = 0;
    uint16_t vendorExtensionVersion = 100;
    std::string vendorExtensionDesc;
    uint16_t functionalMode = 0;
    std::vector<uint16_t> operations;
    std::vector<uint16_t> events;
    std::vector<uint16_t> properties; // empty: the codes of the camera's properties
    std::vector<uint16_t> captureFormats{PTPObjectFormatJPEG};
    std::vector<uint16_t> imageFormats{PTPObjectFormatJPEG};
    std::string manufacturer = "Zeta";
    std::string model = "Simulated Camera";
    std::string version = "1.0";
    std::string serial = "0000001";
};

class SimulatedCamera {
public:
    using Handler = std::function<SimulatedReply(const SimulatedRequest&)>;
    enum class EventDelivery { interrupt, polled };

    SimulatedCamera(std::string name, uint16_t usbVendorID, uint16_t usbProductID = 0x0001);
    ~SimulatedCamera();
    SimulatedCamera(const SimulatedCamera&) = delete;
    SimulatedCamera& operator=(const SimulatedCamera&) = delete;

    // "generic", "nikon", "canon" or "sony"; null for any other name.
    static std::shared_ptr<SimulatedCamera> preset(std::string_view name);
    // A small real JPEG (96 x 64), different for each number.
    static std::vector<uint8_t> sampleJPEG(int number);
    // A Nikon live-view reply: a header of `headerSize` bytes (starting 00 00 01 78, with the
    // fields 8 bytes later, when `shifted`) holding the shown area, then a sample JPEG.
    static std::vector<uint8_t> nikonLiveViewFrame(std::size_t headerSize, bool shifted, uint16_t width,
                                                   uint16_t height, uint16_t centreX, uint16_t centreY, int number = 0);

    const std::string& name() const { return name_; }
    uint16_t usbVendorID() const { return usbVendorID_; }
    uint16_t usbProductID() const { return usbProductID_; }

    // --- script ---
    void setDeviceInfo(SimulatedDeviceInfo info);
    SimulatedDeviceInfo deviceInfo() const;
    void setProperty(SimulatedProperty property);
    std::optional<SimulatedProperty> property(uint16_t code) const;
    // Answers GetDevicePropDesc for the code with these bytes instead of the encoded property.
    void setPropertyDescriptionData(uint16_t code, std::vector<uint8_t> bytes);
    // Answers the operation with the handler (before any built-in answer).
    void setHandler(uint16_t operationCode, Handler handler);
    // Puts an object on the card; returns its handle. `announce` sends ObjectAdded for it.
    uint32_t addObject(std::string filename, std::vector<uint8_t> bytes, bool announce,
                       uint16_t format = PTPObjectFormatJPEG);
    bool hasObject(uint32_t handle) const;
    // The lens, in drive steps from its sharpest position (0): the default pictures show the
    // star field blurred by that distance, with a Bahtinov mask's spikes when asked for.
    void moveLens(int32_t steps);
    int32_t lensPosition() const;
    void setBahtinovMask(bool mask);
    // What InitiateCapture stores as the new picture (default: a 1920 x 1280 star field, a
    // grey JPEG named IMG_nnnn.JPG).
    void setCaptureFile(std::string filename, std::vector<uint8_t> bytes);
    // Takes a picture as InitiateCapture does: stores the capture file, then sends ObjectAdded
    // and CaptureComplete.
    void takePicture();
    // An event now: on the interrupt endpoint, or kept for the vendor's poll (CheckEvent).
    void sendEvent(uint16_t code, std::vector<uint32_t> parameters = {});
    void setEventDelivery(EventDelivery delivery);
    // Events kept for a poll, as {code, first parameter}; taking them empties the list.
    std::vector<std::pair<uint16_t, uint32_t>> takePolledEvents();

    // --- faults ---
    void answerBusy(uint16_t operationCode, int times);
    void loseResponse(uint16_t operationCode, int times = 1);
    // The next data phase in of the operation is cut to `bytes` bytes (a well-formed but short container).
    void truncateData(uint16_t operationCode, std::size_t bytes);
    // The camera is pulled out half-way through the next data phase in of the operation.
    void removeDuringData(uint16_t operationCode);
    // The cable is pulled now.
    void unplug();
    bool isPlugged() const;

    // --- transport ---
    void setMaxPacketSize(std::size_t size);
    void setResponseTimeout(std::chrono::milliseconds timeout);
    // Connects a port to the camera (the previous one, if any, is closed).
    std::unique_ptr<PTPPort> open();
    // Called (once, on the thread that pulled the cable) when the camera is unplugged.
    void setRemovalHandler(std::function<void()> handler);

    // --- observations ---
    std::vector<SimulatedRequest> requests() const;
    int cancelRequests() const;
    int resetRequests() const;

private:
    class Port;
    struct State;
    friend class Port;

    const std::string name_;
    const uint16_t usbVendorID_;
    const uint16_t usbProductID_;
    std::shared_ptr<State> state_;
};

} // namespace zeta::platform
