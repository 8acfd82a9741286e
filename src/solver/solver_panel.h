#pragma once
// The plate-solver panel's widget: builds the controls, forwards the buttons to its
// SolverController and shows what the controller says.

#include "Common/view_binding.h"
#include "solver/solver_controller.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class SolverPanel : public QWidget, public SolverView {
    Q_OBJECT
public:
    explicit SolverPanel(SolverController& controller, QWidget* parent = nullptr);

    void showStatus(std::string_view imageName, const std::optional<std::string>& text, std::string_view solveTitle,
                    bool solveEnabled) override;
    void setSolveEnabled(bool enabled) override;
    void setMountButtonsEnabled(bool enabled) override;
    void showSolution(double raHours, double decDegrees, double orientation, double pixelScale) override;
    void clearSolution() override;
    void showServiceChoice(const std::string& localURL, bool localEnabled, bool localOn) override;
    void showSettings(const std::string& apiKey, const std::string& publicURL) override;
    void showLocalOverride(const std::string& url, const std::optional<std::string>& refusal) override;

    std::string apiKey() const override;
    std::string publicURL() const override;
    std::string localURL() const override;
    bool localChosen() const override;
    std::string raText() const override;
    std::string decText() const override;
    std::string orientationText() const override;
    std::string pixelScaleText() const override;
    void setHidesOnDeactivate(bool hides) override;

    QRadioButton* webServiceButton = nullptr;
    QRadioButton* localServiceButton = nullptr;
    QLineEdit* publicURLText = nullptr;
    QLineEdit* apiKeyText = nullptr;
    QLineEdit* localURLText = nullptr;
    // The user's fixed local service ("astrometry.localOverride") and why a typed one was refused.
    QLineEdit* localOverrideText = nullptr;
    QLabel* localOverrideRefusal = nullptr;
    QLabel* statusImage = nullptr;
    QLabel* statusText = nullptr;
    QLineEdit* raField = nullptr;
    QLineEdit* decField = nullptr;
    QLineEdit* orientationField = nullptr;
    QLineEdit* pixelScaleField = nullptr;
    QPushButton* solveButton = nullptr;
    QPushButton* syncButton = nullptr;
    QPushButton* slewButton = nullptr;

private:
    SolverController& controller_;
    zeta::common::ViewBinding<&SolverController::setView> binding_{controller_};
};
