#pragma once
// The drivers table of the preferences sheet: one row per catalogue driver, a checkbox that
// records whether it should be loaded and its description.

#include "Common/view_binding.h"
#include "app/drivers_controller.h"

#include <QTableWidget>

namespace zeta::app {

class DriversTable final : public QTableWidget, public DriversView {
    Q_OBJECT
public:
    explicit DriversTable(DriversController& controller, QWidget* parent = nullptr);

    void reloadDrivers() override;

private:
    void itemToggled(QTableWidgetItem* item);

    DriversController& controller_;
    zeta::common::ViewBinding<&DriversController::setView> binding_{controller_};
    bool filling_ = false;
};

} // namespace zeta::app
