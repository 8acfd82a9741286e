#pragma once
// The services panel of the preferences sheet: Bonjour services found and servers entered by
// host and port, with fields and buttons to add and remove entered servers.

#include "Common/view_binding.h"
#include "app/services_controller.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zeta::app {

class ServicesPanel final : public QWidget, public ServicesView {
    Q_OBJECT
public:
    explicit ServicesPanel(ServicesController& controller, QWidget* parent = nullptr);

    void reloadServices() override;
    void setRemoveEnabled(bool enabled) override;
    void setHostText(const std::string& text) override;
    void setPortText(const std::string& text) override;
    void showEntryError(const std::string& text) override;

    QListWidget* servicesTableView() const { return list_; }
    QLineEdit* hostnameField() const { return host_; }
    QLineEdit* portField() const { return port_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }
    QLabel* entryErrorLabel() const { return error_; }

private:
    void rowClicked(int row);

    ServicesController& controller_;
    zeta::common::ViewBinding<&ServicesController::setView> binding_{controller_};
    QListWidget* list_;
    QLineEdit* host_;
    QLineEdit* port_;
    QPushButton* add_;
    QPushButton* remove_;
    QLabel* error_;
};

} // namespace zeta::app
