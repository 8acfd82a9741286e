#pragma once
// The camera class of Nikon bodies (vendor extension 10, USB vendor 0x04B0): the vendor
// property codes at opening, events polled with CheckEvent, captures into SDRAM or card with
// InitiateCaptureRecInMedia (bulb ended with TerminateCapture), mirror lock-up through
// ExposureDelayMode, the controls locked with SetControlMode, live view frames with
// GetLiveViewImg, the lens moved with MfDrive (in a live view of its own when none runs), the
// sensor from the model table and the property labels of nikon_labels.h.
//
// Threads: as PTPCamera, everything on the camera's run loop. Waits (a busy camera, the lens
// settling) are scheduled there, never slept; every retry has a cap; at most one live-view
// frame is asked for at a time.

#include "ccd_ica/ptp_camera.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class PTPNikonRequest : public PTPRequest {
public:
    const PTPNameTable& operationNames() const override;
    using PTPRequest::operationCodeName;
    static std::string operationCodeName(uint16_t code);
};

class PTPNikonResponse : public PTPResponse {
public:
    const PTPNameTable& responseNames() const override;
    using PTPResponse::responseCodeName;
    static std::string responseCodeName(uint16_t code);
};

class PTPNikonEvent : public PTPEvent {
public:
    const PTPNameTable& eventNames() const override;
    using PTPEvent::eventCodeName;
    static std::string eventCodeName(uint16_t code);
};

class PTPNikonProperty : public PTPProperty {
public:
    using PTPProperty::PTPProperty;
    explicit PTPNikonProperty(const PTPProperty& other) : PTPProperty(other) {}
    const PTPNameTable& propertyNames() const override;
    using PTPProperty::propertyCodeName;
    static std::string propertyCodeName(uint16_t code);
};

class PTPNikonDeviceInfo : public PTPDeviceInfo {
public:
    std::string debug() const override;
};

// Nikon property codes the camera class works with.
enum PTPNikonPropertyCode : uint16_t {
    PTPPropertyCodeNikonLiveViewAFFocus = 0xD061,
    PTPPropertyCodeNikonExposureDelayMode = 0xD06A,
    PTPPropertyCodeNikonEVStep = 0xD056,
    PTPPropertyCodeNikonLensID = 0xD0E0,
    PTPPropertyCodeNikonACPower = 0xD101,
    PTPPropertyCodeNikonSaveMedia = 0xD10B,
    PTPPropertyCodeNikonExternalFlashCompensation = 0xD124,
    PTPPropertyCodeNikonFlashExposureCompensation = 0xD126,
    PTPPropertyCodeNikonAutofocusMode = 0xD161,
    PTPPropertyCodeNikonLiveViewStatus = 0xD1A2,
    PTPPropertyCodeNikonLiveViewImageZoomRatio = 0xD1A3,
    PTPPropertyCodeNikonLiveViewProhibitCondition = 0xD1A4,
};

class PTPNikonCamera : public PTPCamera {
public:
    // Caps of the waits on a busy camera (each wait 100 ms).
    static constexpr int kBusyRetries = 20;
    // Entries of a compensation ladder at most.
    static constexpr std::size_t kLadderCap = 1024;

    std::string name() const override;
    uint16_t extension() const override { return PTPVendorExtensionNikon; }
    const PTPClasses& classes() const override;

    void didRemoveDevice(const Device& device) override;
    void checkForEvent() override;
    void getPreviewImage() override;
    void processEvent(const std::shared_ptr<PTPEvent>& event) override;
    void processPropertyDescription(const std::shared_ptr<PTPProperty>& property) override;
    void processConnect() override;
    void processRequest(const std::shared_ptr<PTPRequest>& request, const std::shared_ptr<PTPResponse>& response,
                        const std::vector<uint8_t>& data) override;
    void processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error) override;
    void setZoomPreview(bool flag) override;
    void lock() override;
    void unlock() override;
    void startPreview() override;
    void stopPreview() override;
    double startExposure() override;
    void stopExposure() override;
    void focus(int32_t steps) override;

    // Live view delivers frames (its timer runs).
    bool liveViewRunning() const { return ptpPreviewTimer_ != nullptr; }
    const std::optional<std::string>& delayModeOn() const { return delayModeOn_; }
    const std::optional<std::string>& delayModeOff() const { return delayModeOff_; }

protected:
    friend class PTPCamera;
    PTPNikonCamera(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop);

private:
    void sendDeviceReady();
    void stopPreviewTimer();
    // SaveMedia to SDRAM, the prohibit condition read, DeviceReady.
    void beginLiveView();
    // EndLiveView, SaveMedia back to the card, the autofocus mode written back.
    void endLiveView();
    void saveFocusMode();
    void onProhibitCondition(const PTPResponse& response, const std::vector<uint8_t>& data);
    void onLiveViewStatus(const std::shared_ptr<PTPProperty>& property);
    void onFrame(const PTPResponse& response, const std::vector<uint8_t>& data);
    void onMfDrive(const PTPResponse& response);
    void sendMfDrive(int32_t steps);
    // A temporary live view that could not drive the lens: its settings go back, the move fails.
    void failFocus(const std::string& message);
    void reportLadder(const std::shared_ptr<PTPProperty>& property);
    void after(std::chrono::milliseconds delay, std::function<void(PTPNikonCamera&)> step) {
        PTPCamera::after<PTPNikonCamera>(delay, std::move(step));
    }

    std::shared_ptr<RunLoopTimer> ptpPreviewTimer_;
    bool tempLiveView_ = false;
    // A lens move is waiting for (or running in) a live view of its own.
    bool tempActive_ = false;
    bool driveSent_ = false;
    int32_t focusSteps_ = 0;
    // A move asked for while the temporary live view's drive runs: it follows in the same view.
    int32_t queuedSteps_ = 0;
    int32_t focusMode_ = -1;
    std::optional<std::string> delayModeOn_;
    std::optional<std::string> delayModeOff_;
    bool frameInFlight_ = false;
    int frameBusy_ = 0;
    int deviceReadyBusy_ = 0;
    bool deviceReadyPending_ = false;
    int captureBusy_ = 0;
};
