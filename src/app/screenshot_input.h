#pragma once
// The screenshots reach each state as a user would: mouse clicks and key presses on the
// controls, the folder typed into the folder panel, and an INDI server with its CCD simulator
// (a child process on a free port, stopped by pid when the object goes).

#include <QString>
#include <functional>
#include <memory>

class QAbstractButton;
class QComboBox;
class QMainWindow;
class QProcess;
class QWidget;

namespace zeta::app::screenshots {

// Runs the event loop until the condition holds; false after the time.
bool waitFor(const std::function<bool()>& condition, int milliseconds);
void click(QAbstractButton* button);
// Clicks into the box, selects all, types the text and leaves with Tab.
void typeInto(QWidget* box, const QString& text);
// Opens the popup and clicks the entry with this text; false without it.
bool pick(QComboBox* popup, const QString& entry);
// Triggers the menu item at menu > item of the window's menu bar; false without it.
bool chooseMenu(QMainWindow& window, const QString& menu, const QString& item);
// The next folder panel is answered with this folder.
void answerFolderPanel(const QString& folder);

class IndiCcdServer {
public:
    // Starts indiserver with indi_simulator_ccd on a free port of 127.0.0.1.
    IndiCcdServer();
    ~IndiCcdServer();
    IndiCcdServer(const IndiCcdServer&) = delete;
    IndiCcdServer& operator=(const IndiCcdServer&) = delete;

    // 0 when the server could not be started.
    int port() const { return port_; }

private:
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
};

} // namespace zeta::app::screenshots
