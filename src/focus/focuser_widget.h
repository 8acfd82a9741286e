#pragma once
// The focuser window's controls: shows what FocuserController says and forwards the user's
// actions to it. The product form (ZTFocuserController) adds rewind and forward.

#include "Common/view_binding.h"
#include "focus/focuser_controller.h"
#include "focus/focuser_view.h"

#include <QWidget>

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace zeta::focus {

class FocusButton;

class FocuserWidget : public QWidget, public FocuserView {
    Q_OBJECT
public:
    // The general window.
    explicit FocuserWidget(FocuserController& controller, QWidget* parent = nullptr);
    // The product window, with rewind and forward.
    explicit FocuserWidget(ZTFocuserController& controller, QWidget* parent = nullptr);

    void showFocusers(const std::vector<std::string>& titles, int selected, bool enabled) override;
    void showControls(const FocuserControls& controls) override;
    void showSpeedRange(double min, double max, double value, double increment) override;
    void showSpeedText(const std::string& text) override;
    void showSteps(std::optional<int> steps, std::optional<int> backlash) override;
    void showAutofocusSteps(std::optional<int> initialStep, std::optional<int> finalStep) override;
    void showState(const std::string& text) override;
    void showStateImage(std::string_view name) override;

    // The controls, for tests and screenshots.
    QComboBox* focusersPopUp() const { return focusers_; }
    FocusButton* focusInButton() const { return in_; }
    FocusButton* focusOutButton() const { return out_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* rewindButton() const { return rewind_; }
    QPushButton* forwardButton() const { return forward_; }
    // Product window: the menu's rewind, the same run as the rewind button.
    QAction* rewindAction() const { return rewindAction_; }
    QPushButton* autofocusButton() const { return autofocus_; }
    QLineEdit* initialStepField() const { return initialStep_; }
    QLineEdit* finalStepField() const { return finalStep_; }
    QSlider* speedSlider() const { return slider_; }
    QDoubleSpinBox* speedStepper() const { return stepper_; }
    QLabel* speedField() const { return speedField_; }
    QLineEdit* stepsField() const { return steps_; }
    QLineEdit* backlashField() const { return backlash_; }
    QLabel* focuserStateField() const { return state_; }
    const std::string& stateImageName() const { return stateImage_; }

private:
    FocuserWidget(FocuserController& controller, ZTFocuserController* product, QWidget* parent);
    void sliderMoved(bool released);
    void stepperChanged(double value);
    void fieldsEdited();
    double sliderValue() const;

    FocuserController& controller_;
    zeta::common::ViewBinding<&FocuserController::setView> binding_{controller_};
    QComboBox* focusers_ = nullptr;
    FocusButton* in_ = nullptr;
    FocusButton* out_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* rewind_ = nullptr;
    QPushButton* forward_ = nullptr;
    QAction* rewindAction_ = nullptr;
    QPushButton* autofocus_ = nullptr;
    QSlider* slider_ = nullptr;
    QDoubleSpinBox* stepper_ = nullptr;
    QLabel* speedField_ = nullptr;
    QLineEdit* steps_ = nullptr;
    QLineEdit* backlash_ = nullptr;
    QLineEdit* initialStep_ = nullptr;
    QLineEdit* finalStep_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* stateLight_ = nullptr;
    std::string stateImage_;
    double speedMin_ = 0;
    double speedMax_ = 1;
    double speedIncrement_ = 1;
    bool showing_ = false; // set while the controller's values are put in (no echo back)
};

} // namespace zeta::focus
