#pragma once
// The driver's one implementation of PTPDelegateProtocol: every report of every camera
// arrives here, on the driver's run loop, and becomes INDIGO devices, properties and images.

#include "ccd_ica/ptp_camera.h"
#include "platform/dispatch.h"

#include <cstdint>

class PTPDelegate final : public PTPDelegateProtocol {
public:
    explicit PTPDelegate(dispatch::Queue& runLoop) : runLoop_(runLoop) {}

    void cameraAdded(const Camera& camera) override;
    void cameraConnected(const Camera& camera) override;
    void cameraConnectionFailed(const Camera& camera, const std::string& message) override;
    void cameraExposureDone(const Camera& camera, const std::vector<uint8_t>& data,
                            const std::string& filename) override;
    void cameraExposureFailed(const Camera& camera, const std::optional<std::string>& message) override;
    void cameraPropertyChanged(const Camera& camera, uint16_t code, const std::string& value,
                               const std::vector<std::string>& values, const std::vector<std::string>& labels,
                               bool readOnly) override;
    void cameraPropertyChanged(const Camera& camera, uint16_t code, const PTPValue& value, const PTPValue& min,
                               const PTPValue& max, const PTPValue& step, bool readOnly) override;
    void cameraPropertyChanged(const Camera& camera, uint16_t code, const std::string& value, bool readOnly) override;
    void cameraPropertyChanged(const Camera& camera, uint16_t code, bool readOnly) override;
    void cameraPropertyFailed(const Camera& camera, uint16_t code, const std::string& message) override;
    void cameraDisconnected(const Camera& camera) override;
    void cameraRemoved(const Camera& camera) override;
    void cameraCanExposure(const Camera& camera) override;
    void cameraCanFocus(const Camera& camera) override;
    void cameraCanPreview(const Camera& camera) override;
    void cameraFocusDone(const Camera& camera) override;
    void cameraFocusFailed(const Camera& camera, const std::optional<std::string>& message) override;
    void cameraFrame(const Camera& camera, int32_t left, int32_t top, int32_t width, int32_t height) override;
    void log(const std::string& text) override;
    void debug(const std::string& text) override;

    // The index of the camera's dynamic property for the code; type 0 only looks it up (-1
    // when there is none), 1 text, 2 number, 3 switch make it when missing.
    int propertyIndex(const Camera& camera, uint16_t code, int type);

private:
    dispatch::Queue& runLoop_;
};
