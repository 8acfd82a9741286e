#pragma once
// The sequencer panel's widget: sixteen rows of use, exposure, interval, count, name and a
// status light, the repeat count, the overall status and the Execute (Abort) button. Edits
// stay in the controls; the controller stores them when the panel is hidden, stops being the
// active window or runs the plan. Each light keeps the name of the image it shows in its
// "statusImageName" property.

#include "Common/view_binding.h"
#include "focus/sequencer_controller.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class SequencerPanel : public QWidget, public SequencerView {
    Q_OBJECT
public:
    explicit SequencerPanel(SequencerController& controller, QWidget* parent = nullptr);

    SequencerRow row(int n) const override;
    void showRow(int n, const SequencerRow& row) override;
    long long repeatCount() const override;
    void showRepeatCount(long long count) override;
    void showRowStatus(int n, std::string_view imageName) override;
    void showStatusImage(std::string_view imageName) override;
    void showStatusText(const std::string& text) override;
    void showExecuteTitle(const std::string& title) override;
    void setHidesOnDeactivate(bool hides) override;

    struct RowControls {
        QCheckBox* use = nullptr;
        QComboBox* duration = nullptr;
        QComboBox* timeLapse = nullptr;
        QComboBox* count = nullptr;
        QLineEdit* name = nullptr;
        QLabel* status = nullptr;
    };
    std::array<RowControls, kRows> rows;
    QComboBox* repeatCombo = nullptr;
    QPushButton* executeButton = nullptr;
    QLabel* statusImage = nullptr;
    QLabel* statusText = nullptr;

protected:
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    SequencerController& controller_;
    zeta::common::ViewBinding<&SequencerController::setView> binding_{controller_};
};
