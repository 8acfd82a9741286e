#pragma once
// A PTPDelegateProtocol that writes every report down as one line of text, for tests of the
// camera objects and the browser. Reports arrive on the run loop (the main queue in these
// tests); the test reads them there too.

#include "ccd_ica/ptp_camera.h"
#include "platform/dispatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CameraRecorder final : public PTPDelegateProtocol {
public:
    std::vector<std::string> reports; // one line per report, in order
    std::vector<std::string> logs;    // log: lines
    std::vector<std::string> debugs;  // debug: lines
    std::vector<Camera> added;
    std::vector<uint8_t> lastImage;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> images; // every file, by name

    static std::string hex(uint16_t code) {
        char text[8];
        std::snprintf(text, sizeof text, "%04x", code);
        return text;
    }
    static std::string join(const std::vector<std::string>& texts) {
        std::string line = "[";
        for (std::size_t i = 0; i < texts.size(); ++i)
            line += (i ? "," : "") + texts[i];
        return line + "]";
    }

    void cameraAdded(const Camera& camera) override {
        added.push_back(camera);
        reports.push_back("added " + camera->name());
    }
    void cameraConnected(const Camera&) override { reports.push_back("connected"); }
    void cameraConnectionFailed(const Camera&, const std::string& message) override {
        reports.push_back("connectionFailed " + message);
    }
    void cameraExposureDone(const Camera&, const std::vector<uint8_t>& data, const std::string& filename) override {
        lastImage = data;
        images.emplace_back(filename, data);
        reports.push_back("exposureDone " + filename);
    }
    void cameraExposureFailed(const Camera&, const std::optional<std::string>& message) override {
        reports.push_back("exposureFailed " + message.value_or("(none)"));
    }
    void cameraPropertyChanged(const Camera&, uint16_t code, const std::string& value,
                               const std::vector<std::string>& values, const std::vector<std::string>& labels,
                               bool readOnly) override {
        reports.push_back("list " + hex(code) + " " + value + " " + join(values) + " " + join(labels) +
                          (readOnly ? " ro" : " rw"));
    }
    void cameraPropertyChanged(const Camera&, uint16_t code, const PTPValue& value, const PTPValue& min,
                               const PTPValue& max, const PTPValue& step, bool readOnly) override {
        reports.push_back("number " + hex(code) + " " + std::to_string(value.intValue()) + " " +
                          std::to_string(min.intValue()) + " " + std::to_string(max.intValue()) + " " +
                          std::to_string(step.intValue()) + (readOnly ? " ro" : " rw"));
    }
    void cameraPropertyChanged(const Camera&, uint16_t code, const std::string& value, bool readOnly) override {
        reports.push_back("text " + hex(code) + " " + value + (readOnly ? " ro" : " rw"));
    }
    void cameraPropertyChanged(const Camera&, uint16_t code, bool readOnly) override {
        reports.push_back("permission " + hex(code) + (readOnly ? " ro" : " rw"));
    }
    void cameraPropertyFailed(const Camera&, uint16_t code, const std::string& message) override {
        reports.push_back("propertyFailed " + hex(code) + " " + message);
    }
    void cameraDisconnected(const Camera&) override { reports.push_back("disconnected"); }
    void cameraRemoved(const Camera&) override { reports.push_back("removed"); }
    void cameraCanExposure(const Camera&) override { reports.push_back("canExposure"); }
    void cameraCanFocus(const Camera&) override { reports.push_back("canFocus"); }
    void cameraCanPreview(const Camera&) override { reports.push_back("canPreview"); }
    void cameraFocusDone(const Camera&) override { reports.push_back("focusDone"); }
    void cameraFocusFailed(const Camera&, const std::optional<std::string>& message) override {
        reports.push_back("focusFailed " + message.value_or("(none)"));
    }
    void cameraFrame(const Camera&, int32_t left, int32_t top, int32_t width, int32_t height) override {
        reports.push_back("frame " + std::to_string(left) + " " + std::to_string(top) + " " + std::to_string(width) +
                          " " + std::to_string(height));
    }
    void log(const std::string& text) override { logs.push_back(text); }
    void debug(const std::string& text) override { debugs.push_back(text); }

    // The first report that starts with the prefix; none when there is none.
    std::optional<std::string> find(const std::string& prefix) const {
        for (const auto& line : reports) {
            if (line.starts_with(prefix)) return line;
        }
        return std::nullopt;
    }
    int count(const std::string& prefix) const {
        return static_cast<int>(
            std::count_if(reports.begin(), reports.end(), [&](const auto& line) { return line.starts_with(prefix); }));
    }
    std::ptrdiff_t indexOf(const std::string& prefix) const {
        for (std::size_t i = 0; i < reports.size(); ++i) {
            if (reports[i].starts_with(prefix)) return static_cast<std::ptrdiff_t>(i);
        }
        return -1;
    }
    // Runs the main queue (the run loop of these tests) until a report starts with the prefix.
    bool waitFor(const std::string& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return dispatch::runMainQueueUntil([&] { return find(prefix).has_value(); }, timeout);
    }
};
