#pragma once
// Sony cameras: a three-phase connection handshake, one request that returns every property
// description at once, settings written through two control operations, stepped settings
// (aperture, shutter speed, ISO, exposure compensation) walked one confirmed step at a time,
// and captures made by pressing and releasing the half and full shutter controls.
//
// Threads: as PTPCamera, everything runs on the camera's run loop. A stepped change is a chain
// of scheduled steps there (step, poll every 200 ms, next step), so a walk of several steps
// never blocks the run loop, the bus or other cameras.

#include "ccd_ica/ptp_camera.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

class PTPSonyRequest : public PTPRequest {
public:
    const PTPNameTable& operationNames() const override;
};
class PTPSonyResponse : public PTPResponse {};
class PTPSonyEvent : public PTPEvent {
public:
    const PTPNameTable& eventNames() const override;
};
class PTPSonyProperty : public PTPProperty {
public:
    using PTPProperty::PTPProperty;
    const PTPNameTable& propertyNames() const override;
};
class PTPSonyDeviceInfo : public PTPDeviceInfo {
public:
    std::string debug() const override;
};

// The records of an all-properties reply, in order: u32 count, u32 ignored, then per record
// u16 code, u16 datatype, u8 get/set flag, u8 ignored, default and current value, u8 form flag
// and the form. Reads stay within the bytes: a record that runs past the end, or whose
// datatype has no known encoding, ends the list before it.
std::vector<std::shared_ptr<PTPProperty>> sonyReadAllProperties(std::span<const uint8_t> data);

class PTPSonyCamera : public PTPCamera {
public:
    static constexpr uint16_t kStepPolls = 10;
    static constexpr std::chrono::milliseconds kStepPollInterval{200};
    // The image in the camera's memory, fetched after a bulb exposure.
    static constexpr uint32_t kInMemoryHandle = 0xFFFFC001;

    std::string name() const override;
    uint16_t extension() const override { return 17; }
    const PTPClasses& classes() const override;

    void requestEnableTethering() override {}
    void processEvent(const std::shared_ptr<PTPEvent>& event) override;
    void processPropertyDescription(const std::shared_ptr<PTPProperty>& property) override;
    void processConnect() override;
    void processRequest(const std::shared_ptr<PTPRequest>& request, const std::shared_ptr<PTPResponse>& response,
                        const std::vector<uint8_t>& data) override;
    void processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error) override;
    void setProperty(uint16_t code, const std::string& value) override;
    double startExposure() override;
    void stopExposure() override;
    void startAutofocus() override;
    void stopAutofocus() override;

    // Writes the value with the control operation, in the width of the property's datatype;
    // nothing is sent for a property without a stored description.
    void setProperty(uint16_t code, uint16_t operation, const std::string& value);
    // Steps the property along the ladder until the camera shows the target.
    void iterate(uint16_t code, const std::string& target, std::span<const int64_t> ladder);

    // Run loop only; for the driver's log and for tests.
    uint16_t mode() const { return mode_; }
    uint32_t compression() const { return compression_; }
    uint32_t focusMode() const { return focusMode_; }
    uint32_t shutterSpeed() const { return shutterSpeed_; }
    uint16_t iteratedProperty() const { return iteratedProperty_; }

protected:
    using PTPCamera::PTPCamera;
    friend class PTPCamera;

private:
    struct Walk {
        uint16_t code = 0;
        std::span<const int64_t> ladder;
        std::size_t position = 0;
        std::size_t target = 0;
        int polls = 0;
    };
    void press(uint16_t control, bool down);
    void readAllProperties(const std::vector<uint8_t>& data);
    void focusStatusChanged(const std::shared_ptr<PTPProperty>& property);
    void startStep();
    void poll();
    void endWalk(std::optional<std::string> failure);
    void failCapture(const std::string& message);

    uint32_t compression_ = 0;
    uint32_t format_ = 0;
    uint32_t imageCount_ = 0;
    uint16_t mode_ = 0;
    bool waitForCapture_ = false;
    uint32_t shutterSpeed_ = 0;
    uint32_t focusMode_ = 0;
    uint16_t iteratedProperty_ = 0;

    std::optional<Walk> walk_;
    std::shared_ptr<RunLoopTimer> pollTimer_;
    // Told once the final refresh of a walk that gave up has published the camera's value.
    std::optional<std::pair<uint16_t, std::string>> walkFailure_;
};
