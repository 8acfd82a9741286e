#pragma once
// A simulated Canon EOS body: remote and event mode, its settings held as Canon properties and
// reported through GetEvent (everything once, then what changed), property writes through
// SetDevicePropValueEx (custom functions and image formats included), remote release with bulb,
// pictures as one or two files by the image format (RAW + JPEG in one answer), the viewfinder
// with its frames, and the lens driven one step at a time while the viewfinder is on.
//
// Tests script what the body says on its own (records for the next GetEvent, a setting turned
// on the body), how it answers (release refused, lens failures, a slow viewfinder) and read what
// it saw (the release and lens-step times). All calls are thread-safe.

#include "platform/camera/simulated_camera.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zeta::platform {

struct SimulatedCanonScript {
    std::string model = "Canon EOS 5D Mark III";
    uint16_t productID = 0x323A;
    // RemoteReleaseOn/Off; without them RemoteRelease and BulbStart/BulbEnd.
    bool remoteReleaseOn = true;
    // Lists the mirror-up setting 0xD13A (else mirror lock-up is only the custom function).
    bool mirrorUpSetting = true;
    // Frame requests answered NotReady after the viewfinder is switched on.
    int viewfinderWarmUp = 1;
    // The first GetEvent answer gives every list of allowed values before any value.
    bool listsBeforeValues = false;
};

class SimulatedCanon {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimulatedCanon(SimulatedCanonScript script = {});
    ~SimulatedCanon();
    SimulatedCanon(const SimulatedCanon&) = delete;
    SimulatedCanon& operator=(const SimulatedCanon&) = delete;

    const std::shared_ptr<SimulatedCamera>& camera() const { return camera_; }

    // --- the body ---
    // A setting changed on the body: stored and reported by the next GetEvent.
    void setValue(uint16_t code, uint32_t value);
    // The body's value of a setting (0 when it has none).
    uint32_t value(uint16_t code) const;
    // The image format as its 64-bit form (two groups above 32 bits: RAW + JPEG).
    void setImageFormat(uint64_t format);
    // Records appended, as they are, to the next GetEvent answer (before its end record).
    void queueRecords(std::vector<uint8_t> records);
    // A file on the card announced by the next GetEvent; returns its handle.
    uint32_t announceFile(const std::string& name, std::vector<uint8_t> bytes);
    bool hasFile(uint32_t handle) const;
    // The values of one custom function (id without 0x8000), empty when the body has none.
    std::vector<uint32_t> customFunction(uint16_t id) const;

    // --- answers ---
    // Response parameter 1 of the next RemoteReleaseOn/RemoteRelease answers (1: not released).
    void setReleaseParameter(uint32_t parameter);
    // JPEG pictures show the star field (blurred by lensPosition()) with a Bahtinov mask.
    void setBahtinovMask(bool mask);
    // The next `times` DriveLens answers carry this response code.
    void failDriveLens(uint16_t responseCode, int times = 1);

    // --- what it saw ---
    struct Press {
        uint16_t operation;
        Clock::time_point at;
    };
    // RemoteReleaseOn/Off, RemoteRelease and BulbStart/BulbEnd, in order.
    std::vector<Press> presses() const;
    // Every DriveLens: its parameter and when it came.
    struct Step {
        uint32_t parameter;
        Clock::time_point at;
    };
    std::vector<Step> lensSteps() const;
    int32_t lensPosition() const;
    // The files each picture made, in order.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> pictures() const;

    struct State;

private:
    std::shared_ptr<State> state_;
    std::shared_ptr<SimulatedCamera> camera_;
};

// Bytes of GetEvent records, as the body writes them.
namespace canon_records {
std::vector<uint8_t> record(uint32_t type, const std::vector<uint8_t>& payload);
std::vector<uint8_t> words(std::initializer_list<uint32_t> values);
std::vector<uint8_t> value(uint16_t code, uint32_t value);
std::vector<uint8_t> objectAdded(uint32_t handle, const std::string& name);
std::vector<uint8_t> end();
} // namespace canon_records

} // namespace zeta::platform
