#include "app/main_window.h"

#include "app/message_log_window.h"
#include "app/preferences_dialog.h"
#include "app/property_browser.h"
#include "app/zt_app_delegate.h"
#include "platform/constants.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace zeta::app {

MainWindow::MainWindow(ZTAppDelegate& delegate, QWidget* parent)
    : QMainWindow(parent), delegate_(delegate),
      preferences_(new PreferencesDialog(delegate.driversController(), delegate.servicesController(), this)),
      messageLog_(new MessageLogWindow(delegate.messagesController(), this)),
      propertyBrowser_(new PropertyBrowser(delegate.indigo(), delegate.propertiesController(), this)) {
    setObjectName("mainWindow");
    setWindowTitle(QString::fromStdString(APP_NAME()));
    setDockNestingEnabled(true);
    // The image window's place until it is plugged in.
    auto* empty = new QWidget(this);
    empty->setObjectName("emptyCentralView");
    setCentralWidget(empty);
    setAutoFillBackground(true);
    resize(1100, 720);

    connect(preferences_, &PreferencesDialog::okClicked, this, [this] { delegate_.preferencesOK(); });
    connect(preferences_, &PreferencesDialog::cancelClicked, this, [this] { delegate_.preferencesCancel(); });
    buildMenus();

    delegate_.setWindow(this);
    delegate_.setPreferencePanel(preferences_);
}

MainWindow::~MainWindow() {
    delegate_.setWindow(nullptr);
    delegate_.setPreferencePanel(nullptr);
}

void MainWindow::buildMenus() {
    QMenu* app = menuBar()->addMenu(QString::fromStdString(APP_NAME()));
    QAction* prefs = app->addAction(tr("Preferences..."), this, [this] { delegate_.preferences(); });
    prefs->setObjectName("preferencesAction");
    prefs->setShortcut(QKeySequence::Preferences);
    prefs->setMenuRole(QAction::PreferencesRole);
    app->addAction(tr("Reset preferences..."), this, [this] { delegate_.resetPrefs(); })
        ->setObjectName("resetPrefsAction");
    app->addSeparator();
    QAction* quitAction =
        app->addAction(tr("Quit %1").arg(QString::fromStdString(APP_NAME())), this, [this] { quit(); });
    quitAction->setObjectName("quitAction");
    quitAction->setShortcut(QKeySequence::Quit);
    quitAction->setMenuRole(QAction::QuitRole);

    viewMenu_ = menuBar()->addMenu(tr("View"));
    viewMenu_->setObjectName("viewMenu");
    viewMenu_->addAction(tr("Toggle Title"), this, [this] { delegate_.toggleTitle(); })
        ->setObjectName("toggleTitleAction");

    windowMenu_ = menuBar()->addMenu(tr("Window"));
    windowMenu_->setObjectName("windowMenu");
    docksSeparator_ = windowMenu_->addSeparator();
    addWindow(tr("Message Log"), messageLog_);
    addWindow(tr("Properties"), propertyBrowser_);

    QMenu* help = menuBar()->addMenu(tr("Help"));
    help->addAction(tr("%1 Help").arg(QString::fromStdString(APP_NAME())), this, [this] { delegate_.showHelp(); })
        ->setObjectName("showHelpAction");
}

void MainWindow::setCentralView(QWidget* view) {
    if (view == nullptr) return;
    setCentralWidget(view);
}

QDockWidget* MainWindow::addDock(const QString& title, QWidget* widget, Qt::DockWidgetArea area) {
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(title + " dock");
    dock->setWidget(widget);
    addDockWidget(area, dock);
    // The dock's own action shows it again after it was closed; docks come first in the menu.
    windowMenu_->insertAction(docksSeparator_, dock->toggleViewAction());
    return dock;
}

void MainWindow::addWindow(const QString& title, QWidget* window) {
    if (window == nullptr) return;
    if (window->windowTitle().isEmpty()) window->setWindowTitle(title);
    windowMenu_->addAction(title, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
}

void MainWindow::quit() {
    if (delegate_.applicationShouldTerminate()) QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!delegate_.windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // Closing the main window quits, whatever other windows are open.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool MainWindow::titleVisible() const {
    return !windowTitle().isEmpty();
}

void MainWindow::setTitleVisible(bool visible) {
    setWindowTitle(visible ? QString::fromStdString(APP_NAME()) : QString());
}

platform::Color MainWindow::backgroundColor() const {
    const QColor color = palette().color(QPalette::Window);
    return {color.redF(), color.greenF(), color.blueF(), color.alphaF()};
}

void MainWindow::setBackgroundColor(const platform::Color& color) {
    QPalette colors = palette();
    colors.setColor(QPalette::Window,
                    QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                                     static_cast<float>(color.blue), static_cast<float>(color.alpha)));
    setPalette(colors);
}

void MainWindow::beginAlert(const AlertSpec& alert, std::function<void(int button)> done) {
    auto* box = new QMessageBox(this);
    box->setObjectName("alert");
    box->setIcon(alert.style == AlertSpec::Style::Critical ? QMessageBox::Critical : QMessageBox::Warning);
    box->setText(QString::fromStdString(alert.message));
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    std::vector<QAbstractButton*> buttons;
    for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        buttons.push_back(box->addButton(QString::fromStdString(alert.buttons[i]), role));
    }
    if (!buttons.empty()) box->setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [box, buttons, done = std::move(done)](int) {
        int index = -1;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (box->clickedButton() == buttons[i]) index = static_cast<int>(i);
        }
        if (done) done(index);
    });
    box->open();
}

bool MainWindow::openURL(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) return false;
    QDesktopServices::openUrl(url);
    return true;
}

} // namespace zeta::app
