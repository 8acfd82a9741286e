#pragma once
// The filter-wheel window's controls: the wheel popup and the filter list; shows what
// WheelController says and forwards the user's choices to it.

#include "focus/wheel_view.h"

#include <QWidget>

class QComboBox;

namespace zeta::focus {

class WheelController;

class WheelWidget : public QWidget, public WheelView {
    Q_OBJECT
public:
    explicit WheelWidget(WheelController& controller, QWidget* parent = nullptr);
    ~WheelWidget() override;

    void showWheels(const std::vector<std::string>& titles, int selected, bool enabled) override;
    void showFilters(const std::vector<std::string>& names, int selected, bool enabled) override;

    QComboBox* wheelsPopUp() const { return wheels_; }
    QComboBox* filtersPopUp() const { return filters_; }

private:
    WheelController& controller_;
    QComboBox* wheels_ = nullptr;
    QComboBox* filters_ = nullptr;
};

} // namespace zeta::focus
