#pragma once
// The filter-wheel window's controls: the wheel popup and the filter list; shows what
// WheelController says and forwards the user's choices to it.

#include "Common/view_binding.h"
#include "focus/wheel_controller.h"
#include "focus/wheel_view.h"

#include <QWidget>

class QComboBox;

namespace zeta::focus {

class WheelWidget : public QWidget, public WheelView {
    Q_OBJECT
public:
    explicit WheelWidget(WheelController& controller, QWidget* parent = nullptr);

    void showWheels(const std::vector<std::string>& titles, int selected, bool enabled) override;
    void showFilters(const std::vector<std::string>& names, int selected, bool enabled) override;

    QComboBox* wheelsPopUp() const { return wheels_; }
    QComboBox* filtersPopUp() const { return filters_; }

private:
    WheelController& controller_;
    zeta::common::ViewBinding<&WheelController::setView> binding_{controller_};
    QComboBox* wheels_ = nullptr;
    QComboBox* filters_ = nullptr;
};

} // namespace zeta::focus
