#pragma once
// ApplicationDelegate: start-up and shut-down, the help page, the title toggle, the reset of
// the preferences and the close and quit rules. Plain C++ on the main thread; the main window
// and the preferences sheet are reached through their view interfaces.

#include "app/application_view.h"

#include <memory>
#include <string>
#include <string_view>

class INDIGO;

namespace zeta::app {

class ApplicationDelegate {
public:
    ApplicationDelegate();
    virtual ~ApplicationDelegate();
    ApplicationDelegate(const ApplicationDelegate&) = delete;
    ApplicationDelegate& operator=(const ApplicationDelegate&) = delete;

    void setWindow(ApplicationView* window) { window_ = window; }
    ApplicationView* window() const { return window_; }
    void setPreferencePanel(PreferencesView* panel) { preferencePanel_ = panel; }
    PreferencesView* preferencePanel() const { return preferencePanel_; }
    const std::shared_ptr<INDIGO>& indigo() const { return indigo_; }

    virtual void preferences() {}
    virtual void preferencesOK() {}
    void preferencesCancel();
    virtual bool canQuit() { return true; }
    // Registers the image decoders.
    virtual void applicationWillFinishLaunching();
    virtual void applicationDidFinishLaunching();

    // Opens the help page; whatsNew adds the anchor of the first launch.
    void showHelp(bool whatsNew = false);
    void toggleTitle();
    // Asks, then removes every stored preference.
    void resetPrefs();
    // True when the main window may close; else logs why not.
    bool windowShouldClose();
    // True when the application may quit now; else shows why not.
    bool applicationShouldTerminate();
    // Shut-down of the bus: drivers, remote servers, driver processes, then the bus itself.
    void applicationWillTerminate();

    // base + "/doc/" + page name + "_" + version + ".html", with "#whats_new" on request; the
    // page name is the application name without "-", in lower case.
    static std::string helpAddress(std::string_view base, std::string_view appName, std::string_view version,
                                   bool whatsNew);
    // Where the help pages live; the bundled help folder unless replaced.
    void setHelpBase(std::string base) { helpBase_ = std::move(base); }
    const std::string& helpBase() const { return helpBase_; }

protected:
    void setIndigo(std::shared_ptr<INDIGO> indigo) { indigo_ = std::move(indigo); }

private:
    ApplicationView* window_ = nullptr;
    PreferencesView* preferencePanel_ = nullptr;
    std::shared_ptr<INDIGO> indigo_;
    std::string helpBase_;
    std::shared_ptr<const void> activity_;
    // Queued blocks check it: the delegate may be gone by the time they run.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

// "major.minor_patch" of the running kernel (the operating system's version).
std::string operatingSystemVersion();

} // namespace zeta::app
