#include "focus/wheel_widget.h"

#include "focus/popup_items.h"
#include "focus/wheel_controller.h"

#include <QComboBox>
#include <QFormLayout>

namespace zeta::focus {

WheelWidget::WheelWidget(WheelController& controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setObjectName("wheelWindow");
    auto* form = new QFormLayout(this);
    wheels_ = new QComboBox(this);
    filters_ = new QComboBox(this);
    filters_->setEnabled(false);
    form->addRow(tr("Wheel"), wheels_);
    form->addRow(tr("Filter"), filters_);
    connect(wheels_, &QComboBox::activated, this, [this](int index) { controller_.selectWheel(index); });
    connect(filters_, &QComboBox::activated, this, [this](int index) { controller_.filterAction(index); });
    binding_.bind(this);
}

void WheelWidget::showWheels(const std::vector<std::string>& titles, int selected, bool enabled) {
    showPopupItems(*wheels_, titles, selected, enabled);
}

void WheelWidget::showFilters(const std::vector<std::string>& names, int selected, bool enabled) {
    showPopupItems(*filters_, names, selected, enabled);
}

} // namespace zeta::focus
