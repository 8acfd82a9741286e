#include "app/drivers_table.h"

#include <QHeaderView>

namespace zeta::app {

DriversTable::DriversTable(DriversController& controller, QWidget* parent)
    : QTableWidget(0, 2, parent), controller_(controller) {
    setObjectName("driversTableView");
    setHorizontalHeaderLabels({tr("Load"), tr("Driver")});
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    verticalHeader()->hide();
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTableWidget::itemChanged, this, &DriversTable::itemToggled);
    binding_.bind(this);
    reloadDrivers();
}

void DriversTable::reloadDrivers() {
    filling_ = true;
    const auto rows = controller_.numberOfRows();
    setRowCount(static_cast<int>(rows));
    for (std::size_t row = 0; row < rows; ++row) {
        auto* check = new QTableWidgetItem;
        check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const auto wanted = controller_.wantedState(row);
        check->setCheckState(wanted.value_or(false) ? Qt::Checked : Qt::Unchecked);
        setItem(static_cast<int>(row), 0, check);
        auto* text = new QTableWidgetItem(QString::fromStdString(controller_.rowText(row).value_or("")));
        text->setFlags(Qt::ItemIsEnabled);
        setItem(static_cast<int>(row), 1, text);
    }
    filling_ = false;
}

void DriversTable::itemToggled(QTableWidgetItem* item) {
    if (filling_ || item == nullptr || item->column() != 0) return;
    controller_.setWantedState(static_cast<std::size_t>(item->row()), item->checkState() == Qt::Checked);
}

} // namespace zeta::app
