#include "app/services_panel.h"

#include <QColor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

namespace zeta::app {

ServicesPanel::ServicesPanel(ServicesController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller), list_(new QListWidget(this)), host_(new QLineEdit(this)),
      port_(new QLineEdit(this)), add_(new QPushButton(tr("Add"), this)), remove_(new QPushButton(tr("Remove"), this)),
      error_(new QLabel(this)) {
    list_->setObjectName("servicesTableView");
    host_->setObjectName("hostnameField");
    port_->setObjectName("portField");
    add_->setObjectName("addButton");
    remove_->setObjectName("removeButton");
    host_->setPlaceholderText(tr("host"));
    port_->setPlaceholderText(QString::number(ServicesController::kDefaultPort));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    host_->setMinimumWidth(140);
    port_->setMinimumWidth(70);
    error_->setObjectName("serviceEntryError");
    error_->setWordWrap(true);
    error_->setStyleSheet("color: #c00000;");
    error_->hide();

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_, 0, 0, 1, 5);
    layout->addWidget(new QLabel(tr("Host:"), this), 1, 0);
    layout->addWidget(host_, 1, 1);
    layout->addWidget(new QLabel(tr("Port:"), this), 1, 2);
    layout->addWidget(port_, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    layout->addLayout(buttons, 1, 4);
    layout->addWidget(error_, 2, 0, 1, 5);

    // Selection goes through the controller, which refuses Bonjour rows.
    connect(list_, &QListWidget::currentRowChanged, this, &ServicesPanel::rowClicked);
    connect(add_, &QPushButton::clicked, this,
            [this] { controller_.addAction(host_->text().toStdString(), port_->text().toStdString()); });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        controller_.removeAction(row >= 0 ? std::optional<std::size_t>(static_cast<std::size_t>(row)) : std::nullopt);
    });

    binding_.bind(this);
    reloadServices();
}

void ServicesPanel::reloadServices() {
    const QSignalBlocker blocker(list_);
    list_->clear();
    const std::size_t rows = controller_.numberOfRows();
    for (std::size_t index = 0; index < rows; ++index) {
        const auto row = controller_.row(index);
        if (!row) continue;
        auto* item = new QListWidgetItem(QString::fromStdString(row->text), list_);
        item->setIcon(style()->standardIcon(row->bonjour ? QStyle::SP_DriveNetIcon : QStyle::SP_ComputerIcon));
        if (row->bonjour) item->setFlags(Qt::ItemIsEnabled);
        if (row->failed) item->setForeground(QColor(0xc0, 0, 0));
    }
    list_->setCurrentRow(-1);
}

void ServicesPanel::rowClicked(int row) {
    if (row < 0) return;
    if (!controller_.shouldSelectRow(static_cast<std::size_t>(row))) {
        const QSignalBlocker blocker(list_);
        list_->setCurrentRow(-1);
    }
}

void ServicesPanel::setRemoveEnabled(bool enabled) {
    remove_->setEnabled(enabled);
}

void ServicesPanel::setHostText(const std::string& text) {
    host_->setText(QString::fromStdString(text));
}

void ServicesPanel::showEntryError(const std::string& text) {
    error_->setText(QString::fromStdString(text));
    error_->setVisible(!text.empty());
}

void ServicesPanel::setPortText(const std::string& text) {
    port_->setText(QString::fromStdString(text));
}

} // namespace zeta::app
