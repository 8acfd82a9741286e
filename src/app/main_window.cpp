#include "app/main_window.h"

#include "app/message_log_window.h"
#include "app/panel_hider.h"
#include "app/preferences_dialog.h"
#include "app/property_browser.h"
#include "app/tooltip_delay.h"
#include "app/zt_app_delegate.h"
#include "image_window/focus_panel_widgets.h"
#include "platform/constants.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QUrl>
#include <optional>
#include <variant>

namespace zeta::app {

namespace {

// Bumped when the docks change in a way an older saved state would not fit.
constexpr int kLayoutVersion = 1;
constexpr int kDefaultDockWidth = 330;

// "x y w h" as saveLayout writes it.
std::optional<QRect> savedFrame(const std::string& text) {
    const QStringList parts = QString::fromStdString(text).split(' ', Qt::SkipEmptyParts);
    if (parts.size() != 4) return std::nullopt;
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].toInt(&ok);
        if (!ok) return std::nullopt;
    }
    const QRect frame(numbers[0], numbers[1], numbers[2], numbers[3]);
    if (frame.width() <= 0 || frame.height() <= 0) return std::nullopt;
    return frame;
}

// A saved window fits when one screen's usable area holds it whole: a screen that went, or
// became smaller, would leave it out of reach or cut.
bool fitsAScreen(const QRect& frame) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().contains(frame)) return true;
    }
    return false;
}

} // namespace

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
    resize(defaultSize());

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
    windowMenu_->addAction(tr("Properties"), propertyBrowser_, [browser = propertyBrowser_] { browser->panel(); })
        ->setObjectName("propertiesPanelAction");
    if (propertyBrowser_->windowTitle().isEmpty()) propertyBrowser_->setWindowTitle(tr("Properties"));

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
    // A dock narrower or lower than its controls scrolls rather than taking the image's room.
    auto* scroll = new QScrollArea(dock);
    scroll->setObjectName(title + " scroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(widget);
    dock->setWidget(scroll);
    addDockWidget(area, dock);
    docks_.push_back(dock);
    // The dock's own action shows it again after it was closed; docks come first in the menu.
    windowMenu_->insertAction(docksSeparator_, dock->toggleViewAction());
    return dock;
}

void MainWindow::addWindow(const QString& title, QWidget* window, bool isPanel) {
    if (window == nullptr) return;
    if (window->windowTitle().isEmpty()) window->setWindowTitle(title);
    // Panels (tool windows) open through their panel: action, which makes them hide while the
    // application is inactive when "hidePanels" says so; the focus panels keep their own rule.
    if (auto* focusPanel = qobject_cast<FocusPanel*>(window)) {
        windowMenu_->addAction(title, window, [focusPanel] {
            focusPanel->setHidesOnDeactivate(DEFAULTS().boolForKey("hidePanels", true));
            focusPanel->orderFront();
        });
        return;
    }
    if (isPanel) {
        auto* hider = new PanelHider(window);
        windowMenu_->addAction(title, window, [hider] { hider->orderFront(); });
        return;
    }
    windowMenu_->addAction(title, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
}

QSize MainWindow::defaultSize() {
    // Room for a window frame, a panel and a dock of the desktop on a 1366 x 768 screen.
    return {1320, 680};
}

void MainWindow::arrangeDefaultLayout() {
    resize(defaultSize());
    if (docks_.empty()) return;
    QDockWidget* first = docks_.front();
    for (QDockWidget* dock : docks_) {
        dock->setFloating(false);
        dock->show();
        addDockWidget(Qt::LeftDockWidgetArea, dock);
    }
    for (std::size_t i = 1; i < docks_.size(); ++i)
        tabifyDockWidget(first, docks_[i]);
    first->raise();
    resizeDocks({first}, {kDefaultDockWidth}, Qt::Horizontal);
}

void MainWindow::restoreLayout() {
    arrangeDefaultLayout();
    const auto bytes = [](const char* key) -> std::optional<QByteArray> {
        const auto value = DEFAULTS().objectForKey(key);
        const auto* data = value ? std::get_if<platform::DefaultsData>(&*value) : nullptr;
        if (data == nullptr) return std::nullopt;
        return QByteArray(data->bytes.data(), static_cast<qsizetype>(data->bytes.size()));
    };
    const auto geometry = bytes("mainWindowGeometry");
    const auto state = bytes("mainWindowState");
    const auto frame = savedFrame(DEFAULTS().stringForKey("mainWindowFrame", ""));
    if (!geometry || !state || !frame || !fitsAScreen(*frame)) return;
    if (!restoreGeometry(*geometry)) {
        arrangeDefaultLayout();
        return;
    }
    // Another set of docks (or another version of the layout) is refused whole by Qt.
    if (!restoreState(*state, kLayoutVersion)) arrangeDefaultLayout();
}

void MainWindow::saveLayout() {
    const QByteArray geometry = saveGeometry();
    const QByteArray state = saveState(kLayoutVersion);
    const QRect frame = frameGeometry();
    DEFAULTS().setObject(platform::DefaultsData{geometry.toStdString()}, "mainWindowGeometry");
    DEFAULTS().setObject(platform::DefaultsData{state.toStdString()}, "mainWindowState");
    DEFAULTS().setObject(
        QString("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()).toStdString(),
        "mainWindowFrame");
    DEFAULTS().synchronize();
}

void MainWindow::quit() {
    if (!delegate_.applicationShouldTerminate()) return;
    saveLayout();
    QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!delegate_.windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
    saveLayout();
    // Closing the main window quits, whatever other windows are open.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool MainWindow::titleVisible() const {
    return !windowTitle().trimmed().isEmpty();
}

void MainWindow::setTitleVisible(bool visible) {
    // A blank, not an empty title: the window system shows the application's name for an
    // empty one, and the toggle would change nothing that can be seen.
    setWindowTitle(visible ? QString::fromStdString(APP_NAME()) : QStringLiteral(" "));
}

void MainWindow::setToolTipDelay(int milliseconds) {
    applyToolTipDelay(milliseconds);
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
    return QDesktopServices::openUrl(url);
}

} // namespace zeta::app
