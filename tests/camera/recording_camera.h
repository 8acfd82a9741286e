#pragma once
// The camera controllers with every request they send written down (and still sent), and a
// view that records what the controller shows.

#include "camera/camera_controller.h"
#include "camera/camera_view.h"
#include "camera/cooler_text.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace camera_test {

using namespace zeta::camera;

// A camera window controller (CameraController or one built on it) with every request it
// sends written down, and still sent: "DEVICE PROPERTY ITEM" for a switch, "DEVICE PROPERTY
// ITEM=value ..." for one request of numbers, "DEVICE PROPERTY BLOB on|off".
template <class Controller>
class Recording : public Controller {
public:
    using Controller::Controller;
    ~Recording() override { this->retireBackgroundRequests(); }

    std::vector<std::string> sent() {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    void clearSent() {
        std::lock_guard lock(mutex_);
        sent_.clear();
    }
    std::size_t count(const std::string& request) {
        const auto all = sent();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), request));
    }
    std::size_t countPrefix(const std::string& prefix) {
        std::size_t n = 0;
        for (const auto& line : sent())
            n += line.rfind(prefix, 0) == 0;
        return n;
    }

protected:
    void sendSwitch(const std::shared_ptr<INDIGO::Property>& property, const std::string& item) override {
        add(property->device()->name() + " " + property->name() + " " + item);
        Controller::sendSwitch(property, item);
    }
    void sendNumbers(const std::shared_ptr<INDIGO::Property>& property, const INDIGO::NumberValues& values) override {
        std::string line = property->device()->name() + " " + property->name();
        for (const auto& [name, value] : values)
            line += " " + name + "=" + formatSetpoint(value);
        add(line);
        Controller::sendNumbers(property, values);
    }
    void sendEnableBLOB(const std::shared_ptr<INDIGO::Property>& property, bool enable) override {
        add(property->device()->name() + " " + property->name() + (enable ? " BLOB on" : " BLOB off"));
        Controller::sendEnableBLOB(property, enable);
    }

private:
    void add(std::string text) {
        std::lock_guard lock(mutex_);
        sent_.push_back(std::move(text));
    }
    std::mutex mutex_;
    std::vector<std::string> sent_;
};

using RecordingCamera = Recording<CameraController>;

struct GroupState {
    double min = 0, max = 0, step = 0, slider = 0, stepper = 0, field = 0;
};

class RecordingView : public CameraView {
public:
    void showCameras(const std::vector<std::string>& t, int s, bool e) override {
        titles = t;
        selected = s;
        listEnabled = e;
    }
    void showState(std::string_view image) override { state = image; }
    void showControls(const ControlFlags& f) override { flags = f; }
    void showSensor(const SensorInfo& s) override { sensor = s; }
    void showInputProblem(const std::string& text) override { problem = text; }
    void showModes(const std::vector<SwitchEntry>& e, int s) override {
        modes = e;
        modeSelected = s;
    }
    bool hasFrameTypes() const override { return withFrameTypes; }
    void showFrameTypes(const std::vector<SwitchEntry>& e, int s) override {
        frameTypes = e;
        frameTypeSelected = s;
    }
    double duration() const override { return durationValue; }
    void showDuration(double seconds) override { durationValue = seconds; }
    bool hasGroup(Group) const override { return withGroups; }
    void setGroupRange(Group g, double min, double max, double step) override {
        groups[g].min = min;
        groups[g].max = max;
        groups[g].step = step;
    }
    double sliderValue(Group g) const override { return groups.at(g).slider; }
    void setSliderValue(Group g, double v) override { groups[g].slider = std::clamp(v, groups[g].min, groups[g].max); }
    double stepperValue(Group g) const override { return groups.at(g).stepper; }
    void setStepperValue(Group g, double v) override { groups[g].stepper = v; }
    double fieldValue(Group g) const override { return groups.at(g).field; }
    void showFieldValue(Group g, double v) override { groups[g].field = v; }
    bool hasCooler() const override { return withCooler; }
    void showCoolerLabel(const std::string& t) override { coolerLabel = t; }
    void showCoolerItems(const std::vector<std::string>& items) override { coolerItems = items; }
    std::string coolerText() const override { return cooler; }
    void showCoolerText(const std::string& t) override { cooler = t; }
    void showCoolerState(const std::string& t, std::string_view image) override {
        coolerState = t;
        coolerImage = image;
    }
    double count() const override { return countValue; }
    std::string nameTemplate() const override { return name; }
    void showNameTemplate(const std::string& t) override { name = t; }
    bool hasTimelapse() const override { return withTimelapse; }
    std::string timelapseText() const override { return timelapse; }
    void showTimelapseItems(const std::vector<int>& s) override { timelapseItems = s; }
    void showTimelapse(double seconds) override { timelapse = formatSetpoint(seconds); }
    void showFps(const std::string& t) override { fps = t; }
    void showProgress(std::optional<double> f) override { progress = f; }

    bool withFrameTypes = true, withGroups = true, withCooler = true, withTimelapse = true;
    std::vector<std::string> titles;
    int selected = -2;
    bool listEnabled = false;
    std::string state;
    ControlFlags flags;
    std::string problem;
    SensorInfo sensor;
    std::vector<SwitchEntry> modes, frameTypes;
    int modeSelected = -2, frameTypeSelected = -2;
    double durationValue = 1;
    std::map<Group, GroupState> groups;
    std::string coolerLabel, cooler, coolerState, coolerImage;
    std::vector<std::string> coolerItems;
    double countValue = 1;
    std::string name, timelapse;
    std::vector<int> timelapseItems;
    std::string fps;
    std::optional<double> progress;
};

} // namespace camera_test
