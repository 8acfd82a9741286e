#include "app/save_alert.h"

#include <QMessageBox>

namespace zeta::app {

void showSaveFailed(QWidget& window, const QString& title, const QString& text, const char* objectName) {
    auto* alert = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, &window);
    alert->setObjectName(objectName);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

} // namespace zeta::app
