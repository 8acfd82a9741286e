#include "focus/focuser_widget.h"

#include "focus/focus_button.h"
#include "focus/focuser_controller.h"
#include "focus/popup_items.h"
#include "platform/gui/named_image.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace zeta::focus {

namespace {

constexpr int kMaxSliderPositions = 10000;

QLineEdit* intField(int max, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setValidator(new QIntValidator(0, max, field));
    field->setMaximumWidth(90);
    return field;
}

std::optional<int> readInt(const QLineEdit* field) {
    bool ok = false;
    const int value = field->text().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

void showInt(QLineEdit* field, std::optional<int> value) {
    if (!field) return;
    field->setText(value ? QString::number(*value) : QStringLiteral("N/A"));
}

} // namespace

FocuserWidget::FocuserWidget(FocuserController& controller, QWidget* parent)
    : FocuserWidget(controller, nullptr, parent) {}

FocuserWidget::FocuserWidget(ZTFocuserController& controller, QWidget* parent)
    : FocuserWidget(controller, &controller, parent) {}

FocuserWidget::FocuserWidget(FocuserController& controller, ZTFocuserController* product, QWidget* parent)
    : QWidget(parent), controller_(controller) {
    setObjectName("focuserWindow");
    auto* layout = new QVBoxLayout(this);

    focusers_ = new QComboBox(this);
    focusers_->setAccessibleName(tr("Focuser"));
    layout->addWidget(focusers_);
    connect(focusers_, &QComboBox::activated, this, [this](int index) { controller_.selectFocuser(index); });

    auto* moves = new QHBoxLayout;
    if (product) {
        rewind_ = new QPushButton(tr("Rewind"), this);
        moves->addWidget(rewind_);
        connect(rewind_, &QPushButton::clicked, this, [product] { product->multiAction(true); });
        rewindAction_ = new QAction(tr("Rewind Focuser"), this);
        rewindAction_->setObjectName("rewindMenu");
        connect(rewindAction_, &QAction::triggered, this, [product] { product->multiAction(true); });
    }
    in_ = new FocusButton(tr("In"), Direction::Inward, this);
    out_ = new FocusButton(tr("Out"), Direction::Outward, this);
    for (FocusButton* button : {in_, out_}) {
        button->setCheckable(false);
        button->setFocuserController(&controller_);
    }
    moves->addWidget(in_);
    stop_ = new QPushButton(tr("Stop"), this);
    connect(stop_, &QPushButton::clicked, this, [this] { controller_.stopAction(); });
    moves->addWidget(stop_);
    moves->addWidget(out_);
    if (product) {
        forward_ = new QPushButton(tr("Forward"), this);
        moves->addWidget(forward_);
        connect(forward_, &QPushButton::clicked, this, [product] { product->multiAction(false); });
    }
    layout->addLayout(moves);
    {
        autofocus_ = new QPushButton(tr("Autofocus"), this);
        autofocus_->setCheckable(true);
        connect(autofocus_, &QPushButton::clicked, this, [this] {
            controller_.autofocusAction();
            // Outside a preview the action does nothing: the click must not leave it on.
            autofocus_->setChecked(controller_.autofocusInProgress());
        });
        layout->addWidget(autofocus_);
    }

    auto* form = new QFormLayout;
    auto* speedRow = new QHBoxLayout;
    slider_ = new QSlider(Qt::Horizontal, this);
    speedField_ = new QLabel("--", this);
    speedField_->setMinimumWidth(40);
    stepper_ = new QDoubleSpinBox(this);
    stepper_->setDecimals(2);
    stepper_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    speedRow->addWidget(slider_, 1);
    speedRow->addWidget(speedField_);
    speedRow->addWidget(stepper_);
    form->addRow(tr("Speed"), speedRow);
    connect(slider_, &QSlider::sliderMoved, this, [this] { sliderMoved(false); });
    connect(slider_, &QSlider::sliderReleased, this, [this] { sliderMoved(true); });
    connect(slider_, &QSlider::valueChanged, this, [this] {
        // Keys, wheel and page clicks move it without a drag: one finished change.
        if (!showing_ && !slider_->isSliderDown()) sliderMoved(true);
    });
    connect(stepper_, &QDoubleSpinBox::valueChanged, this, [this](double value) { stepperChanged(value); });

    steps_ = intField(65535, this);
    backlash_ = intField(65535, this);
    form->addRow(tr("Steps"), steps_);
    form->addRow(tr("Backlash"), backlash_);
    {
        initialStep_ = intField(65535, this);
        finalStep_ = intField(65535, this);
        form->addRow(tr("Initial step"), initialStep_);
        form->addRow(tr("Final step"), finalStep_);
    }
    for (QLineEdit* field : {steps_, backlash_, initialStep_, finalStep_}) {
        if (field) connect(field, &QLineEdit::textChanged, this, [this] { fieldsEdited(); });
    }
    layout->addLayout(form);

    auto* stateRow = new QHBoxLayout;
    stateLight_ = new QLabel(this);
    state_ = new QLabel(this);
    state_->setAccessibleName(tr("Focuser state"));
    stateRow->addWidget(stateLight_);
    stateRow->addWidget(state_, 1);
    layout->addLayout(stateRow);
    layout->addStretch(1);

    binding_.bind(this);
}

double FocuserWidget::sliderValue() const {
    const int positions = std::max(slider_->maximum(), 1);
    return speedMin_ + (speedMax_ - speedMin_) * slider_->value() / positions;
}

void FocuserWidget::sliderMoved(bool released) {
    if (showing_) return;
    const double value = sliderValue();
    {
        QSignalBlocker block(stepper_);
        stepper_->setValue(value);
    }
    controller_.speedAction(FocuserController::SpeedControl::Slider, value, released);
}

void FocuserWidget::stepperChanged(double value) {
    if (showing_) return;
    {
        QSignalBlocker block(slider_);
        const double span = speedMax_ - speedMin_;
        slider_->setValue(span > 0 ? static_cast<int>(std::lround((value - speedMin_) / span * slider_->maximum()))
                                   : 0);
    }
    controller_.speedAction(FocuserController::SpeedControl::Stepper, value, false);
}

void FocuserWidget::fieldsEdited() {
    if (showing_) return;
    const auto steps = readInt(steps_);
    const auto backlash = readInt(backlash_);
    if (!steps || !backlash) return; // half-typed or "N/A": nothing to store yet
    controller_.settingsAction(*steps, *backlash, initialStep_ ? readInt(initialStep_) : std::nullopt,
                               finalStep_ ? readInt(finalStep_) : std::nullopt);
}

void FocuserWidget::showFocusers(const std::vector<std::string>& titles, int selected, bool enabled) {
    showPopupItems(*focusers_, titles, selected, enabled);
}

void FocuserWidget::showControls(const FocuserControls& c) {
    in_->setEnabled(c.moveEnabled);
    out_->setEnabled(c.moveEnabled);
    if (rewind_) rewind_->setEnabled(c.multiEnabled);
    if (forward_) forward_->setEnabled(c.multiEnabled);
    if (autofocus_) {
        autofocus_->setEnabled(c.autofocusEnabled);
        autofocus_->setChecked(c.autofocusOn);
    }
    if (rewind_) {
        // The product window shows a move in progress on its button.
        in_->setDown(c.inOn || in_->isPressed());
        out_->setDown(c.outOn || out_->isPressed());
    }
    stop_->setEnabled(c.stopEnabled);
    slider_->setEnabled(c.speedEnabled);
    stepper_->setEnabled(c.speedEnabled);
    steps_->setEnabled(c.stepsEnabled);
    backlash_->setEnabled(c.stepsEnabled);
    if (initialStep_) initialStep_->setEnabled(c.autofocusStepsEnabled);
    if (finalStep_) finalStep_->setEnabled(c.autofocusStepsEnabled);
}

void FocuserWidget::showSpeedRange(double min, double max, double value, double increment) {
    showing_ = true;
    speedMin_ = min;
    speedMax_ = std::max(min, max);
    speedIncrement_ = increment > 0 ? increment : 1;
    const double span = speedMax_ - speedMin_;
    const int positions = std::clamp(static_cast<int>(std::lround(span / speedIncrement_)), 1, kMaxSliderPositions);
    slider_->setRange(0, positions);
    slider_->setValue(span > 0 ? static_cast<int>(std::lround((value - speedMin_) / span * positions)) : positions);
    stepper_->setRange(speedMin_, speedMax_);
    stepper_->setSingleStep(speedIncrement_);
    stepper_->setValue(value);
    showing_ = false;
}

void FocuserWidget::showSpeedText(const std::string& text) {
    speedField_->setText(QString::fromStdString(text));
}

void FocuserWidget::showSteps(std::optional<int> steps, std::optional<int> backlash) {
    showing_ = true;
    showInt(steps_, steps);
    showInt(backlash_, backlash);
    showing_ = false;
}

void FocuserWidget::showAutofocusSteps(std::optional<int> initialStep, std::optional<int> finalStep) {
    showing_ = true;
    showInt(initialStep_, initialStep);
    showInt(finalStep_, finalStep);
    showing_ = false;
}

void FocuserWidget::showState(const std::string& text) {
    state_->setText(QString::fromStdString(text));
}

void FocuserWidget::showStateImage(std::string_view name) {
    stateImage_ = std::string(name);
    stateLight_->setPixmap(QPixmap::fromImage(zeta::platform::namedImage(name, 14)));
}

} // namespace zeta::focus
