#pragma once
// The camera window's widget: the camera popup and state light, mode and frame-type popups,
// exposure duration, offset/gain/gamma groups (slider, value field, stepper), cooler set-point
// box with its state, batch fields, frame rate and exposure progress. It shows what the
// controller says and forwards the user's actions; the main window docks it.

#include "camera/camera_view.h"

#include <QWidget>
#include <array>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSlider;

namespace zeta::camera {

class CameraController;

class CameraWidget final : public QWidget, public CameraView {
    Q_OBJECT
public:
    // The controller must outlive the widget; the widget sets itself as its view.
    explicit CameraWidget(CameraController& controller, QWidget* parent = nullptr);
    ~CameraWidget() override;

    // CameraView.
    void showCameras(const std::vector<std::string>& titles, int selected, bool enabled) override;
    void showState(std::string_view statusImage) override;
    void showControls(const ControlFlags& flags) override;
    void showSensor(const SensorInfo& sensor) override;
    void showModes(const std::vector<SwitchEntry>& entries, int selected) override;
    bool hasFrameTypes() const override { return true; }
    void showFrameTypes(const std::vector<SwitchEntry>& entries, int selected) override;
    double duration() const override;
    void showDuration(double seconds) override;
    bool hasGroup(Group) const override { return true; }
    void setGroupRange(Group group, double min, double max, double step) override;
    double sliderValue(Group group) const override;
    void setSliderValue(Group group, double value) override;
    double stepperValue(Group group) const override;
    void setStepperValue(Group group, double value) override;
    double fieldValue(Group group) const override;
    void showFieldValue(Group group, double value) override;
    bool hasCooler() const override { return true; }
    void showCoolerLabel(const std::string& text) override;
    void showCoolerItems(const std::vector<std::string>& items) override;
    std::string coolerText() const override;
    void showCoolerText(const std::string& text) override;
    void showCoolerState(const std::string& text, std::string_view statusImage) override;
    double count() const override;
    std::string nameTemplate() const override;
    void showNameTemplate(const std::string& text) override;
    bool hasTimelapse() const override { return true; }
    std::string timelapseText() const override;
    void showTimelapseItems(const std::vector<int>& seconds) override;
    void showTimelapse(double seconds) override;
    void showFps(const std::string& text) override;
    void showProgress(std::optional<double> fraction) override;
    void showInputProblem(const std::string& text) override;
    std::optional<TypedFrame> typedFrame() const override;

    // The controls, for the capture window built on this one and for tests.
    QComboBox* camerasPopUp() const { return cameras_; }
    QLabel* stateImage() const { return state_; }
    QComboBox* modesPopUp() const { return modes_; }
    QComboBox* frameTypesPopUp() const { return frameTypes_; }
    QComboBox* binningPopUp() const { return binning_; }
    // The row of the frame boxes: X, Y, width, height.
    QWidget* frameRow() const { return frameRow_; }
    QComboBox* durationsCombo() const { return durations_; }
    QComboBox* countsCombo() const { return counts_; }
    QComboBox* timelapsesCombo() const { return timelapses_; }
    QLineEdit* nameTemplateField() const { return nameTemplate_; }
    QLabel* coolerLabelField() const { return coolerLabel_; }
    QComboBox* coolerCombo() const { return cooler_; }
    QLabel* coolerStateField() const { return coolerState_; }
    QLabel* coolerStateImage() const { return coolerImage_; }
    QSlider* slider(Group group) const { return groups_[index(group)].slider; }
    QLineEdit* field(Group group) const { return groups_[index(group)].field; }
    QDoubleSpinBox* stepper(Group group) const { return groups_[index(group)].stepper; }
    QLabel* ccdField() const { return ccd_; }
    QLabel* fpsField() const { return fps_; }
    QProgressBar* imagerProgressIndicator() const { return progress_; }
    QLabel* batchField() const { return batch_; }
    QLabel* inputProblemField() const { return problem_; }

private:
    struct GroupControls {
        QSlider* slider = nullptr;
        QLineEdit* field = nullptr;
        QDoubleSpinBox* stepper = nullptr;
        double scale = 1; // slider units per value unit
    };
    static std::size_t index(Group group) { return static_cast<std::size_t>(group); }
    void buildGroup(Group group);

    CameraController& controller_;
    QComboBox* cameras_ = nullptr;
    QLabel* state_ = nullptr;
    QComboBox* modes_ = nullptr;
    QComboBox* frameTypes_ = nullptr;
    QComboBox* binning_ = nullptr;
    QWidget* frameRow_ = nullptr;
    std::array<QLineEdit*, 4> frame_{}; // X, Y, width, height
    QComboBox* durations_ = nullptr;
    QComboBox* counts_ = nullptr;
    QComboBox* timelapses_ = nullptr;
    QLineEdit* nameTemplate_ = nullptr;
    QLabel* coolerLabel_ = nullptr;
    QComboBox* cooler_ = nullptr;
    QLabel* coolerState_ = nullptr;
    QLabel* coolerImage_ = nullptr;
    std::array<GroupControls, 3> groups_;
    QLabel* ccd_ = nullptr;
    QLabel* fps_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* batch_ = nullptr;
    QLabel* problem_ = nullptr;
};

// The number typed into an editable popup; NaN when its text is no number.
double typedNumber(const QComboBox* combo);

} // namespace zeta::camera
