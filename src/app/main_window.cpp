#include "app/main_window.h"

#include "platform/constants.h"

#include <QLabel>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromStdString(APP_NAME()));
    auto* placeholder = new QLabel(QString::fromStdString(APP_NAME() + " " + APP_VERSION()), this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
    resize(900, 600);
}
