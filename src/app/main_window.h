#pragma once
// The application's main window: the image view in the centre, the device windows as docks,
// the other windows and panels reached from the Window menu, and the menus Zeta, View,
// Window and Help. It shows and forwards; the app delegate decides.
//
// Later windows plug in with setCentralView(), addDock() and addWindow(); each gets an entry
// in the Window menu that shows it again after the user has closed it.

#include "app/application_view.h"

#include <QMainWindow>
#include <vector>

class QDockWidget;
class QMenu;
class QSize;

namespace zeta::app {

class MessageLogWindow;
class PropertyBrowser;
class PreferencesDialog;
class ZTAppDelegate;

class MainWindow final : public QMainWindow, public ApplicationView {
    Q_OBJECT
public:
    explicit MainWindow(ZTAppDelegate& delegate, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The widget in the centre (the image window's view); the window takes it.
    void setCentralView(QWidget* view);
    // A dock (camera, focuser, filter wheel); the window takes the widget.
    QDockWidget* addDock(const QString& title, QWidget* widget, Qt::DockWidgetArea area = Qt::RightDockWidgetArea);
    // A separate window or panel, shown and raised by its Window-menu entry. The caller keeps
    // it (a top-level widget without a parent is fine). A panel hides while the application
    // is inactive when "hidePanels" was on as its entry showed it.
    void addWindow(const QString& title, QWidget* window, bool isPanel = false);

    // The size the window opens with when no saved layout fits: it fits a 1366 x 768 screen.
    static QSize defaultSize();
    // Puts the window at its default size with the docks in one tabbed column on the left, the
    // first dock in front, so that the centre has the room.
    void arrangeDefaultLayout();
    // At start, after the docks are in place: the saved geometry and dock layout, or the default
    // when there is none or it no longer fits a screen (or the docks have changed).
    void restoreLayout();
    // On quit: Qt's geometry and dock state, and the frame they were taken at, into the
    // preferences store (synchronised).
    void saveLayout();

    PreferencesDialog* preferencesDialog() const { return preferences_; }
    MessageLogWindow* messageLogWindow() const { return messageLog_; }
    PropertyBrowser* propertyBrowser() const { return propertyBrowser_; }
    QMenu* viewMenu() const { return viewMenu_; }
    QMenu* windowMenu() const { return windowMenu_; }

    // Quit from the menu (or a termination request): quits when the delegate allows it.
    void quit();

    // ApplicationView
    bool titleVisible() const override;
    void setTitleVisible(bool visible) override;
    platform::Color backgroundColor() const override;
    void setBackgroundColor(const platform::Color& color) override;
    void beginAlert(const AlertSpec& alert, std::function<void(int button)> done) override;
    bool openURL(const std::string& address) override;
    void setToolTipDelay(int milliseconds) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();

    ZTAppDelegate& delegate_;
    PreferencesDialog* preferences_;
    MessageLogWindow* messageLog_;
    PropertyBrowser* propertyBrowser_;
    QMenu* viewMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QAction* docksSeparator_ = nullptr;
    std::vector<QDockWidget*> docks_;
};

} // namespace zeta::app
