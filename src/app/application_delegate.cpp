#include "app/application_delegate.h"

#include "Common/indigo_client.h"
#include "Common/raw_image_rep.h"
#include "imaging/fits_image_rep.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_remote.h"
#include "platform/constants.h"
#include "platform/dispatch.h"
#include "platform/image/image_rep.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sys/utsname.h>

namespace zeta::app {

namespace {

// The process activity: held for the life of the process so that the reason stays on record.
struct ProcessActivity {
    std::string reason;
};

} // namespace

ApplicationDelegate::ApplicationDelegate() : helpBase_("file://" + MAIN_BUNDLE().resourcePath().string() + "/help") {}

ApplicationDelegate::~ApplicationDelegate() = default;

void ApplicationDelegate::preferencesCancel() {
    if (preferencePanel_ != nullptr) preferencePanel_->endSheet();
}

void ApplicationDelegate::applicationWillFinishLaunching() {
    using platform::ImageRep;
    ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
    ImageRep::registerImageRepClass<FITSIO::FITSImageRep>();
}

void ApplicationDelegate::applicationDidFinishLaunching() {
    // B1
    activity_ = std::make_shared<const ProcessActivity>(ProcessActivity{"Good Reason"});
    // B2, B3
    if (indigo_) {
        indigo_->message(APP_NAME() + " " + APP_VERSION() + "_" + APP_BUILD() + " INDIGO " +
                         std::to_string(INDIGO_VERSION_MAJOR) + "." + std::to_string(INDIGO_VERSION_MINOR) + "_" +
                         std::to_string(INDIGO_BUILD) + " OS " + operatingSystemVersion());
    }
    // B4
    DEFAULTS().setInteger(300, "NSInitialToolTipDelay");
    if (window_ != nullptr) window_->setToolTipDelay(300);
    // B5
    const std::string key = "initialized_" + APP_VERSION();
    if (!DEFAULTS().boolForKey(key, false)) {
        dispatch::mainQueue().async([this, alive = std::weak_ptr<int>(lifetime_)] {
            if (alive.expired()) return;
            showHelp(true);
            preferences();
        });
        DEFAULTS().setBool(true, key);
        DEFAULTS().synchronize();
    }
}

std::string ApplicationDelegate::helpAddress(std::string_view base, std::string_view appName, std::string_view version,
                                             bool whatsNew) {
    std::string page;
    for (const char c : appName) {
        if (c != '-') page += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string address(base);
    address += "/doc/" + page + "_" + std::string(version) + ".html";
    if (whatsNew) address += "#whats_new";
    return address;
}

void ApplicationDelegate::showHelp(bool whatsNew) {
    if (window_ == nullptr) return;
    const std::string address = helpAddress(helpBase_, APP_NAME(), APP_VERSION(), whatsNew);
    if (window_->openURL(address)) return;
    const std::string reason = "No web browser could be started for " + address;
    if (indigo_) indigo_->message("Can't open the help: " + reason);
    // Asked for from the menu: the user waits for a page. The first launch's own call only
    // notes it, beside the preferences sheet it opens.
    if (whatsNew) return;
    AlertSpec alert;
    alert.style = AlertSpec::Style::Warning;
    alert.message = "Can't open the help";
    alert.informativeText = reason + ".";
    alert.buttons = {"OK"};
    window_->beginAlert(alert, [](int) {});
}

void ApplicationDelegate::toggleTitle() {
    if (window_ != nullptr) window_->setTitleVisible(!window_->titleVisible());
}

void ApplicationDelegate::resetPrefs() {
    if (window_ == nullptr) return;
    AlertSpec alert;
    alert.style = AlertSpec::Style::Warning;
    alert.message = "Reset preferences?";
    alert.informativeText = "Are you sure you would like to reset preferences?";
    alert.buttons = {"Reset", "Cancel"};
    window_->beginAlert(alert, [](int button) {
        if (button != 0) return;
        for (const std::string& key : DEFAULTS().keys())
            DEFAULTS().removeObjectForKey(key);
        DEFAULTS().synchronize();
    });
}

bool ApplicationDelegate::windowShouldClose() {
    if (canQuit()) return true;
    if (indigo_) indigo_->message("Can't close the window, some device operation is in progress!");
    // Said where the user looks too, as a refused quit is.
    if (window_ != nullptr) {
        AlertSpec alert;
        alert.style = AlertSpec::Style::Critical;
        alert.message = "Can't close the window";
        alert.informativeText = "Some device operation is in progress!";
        alert.buttons = {"OK"};
        window_->beginAlert(alert, [](int) {});
    }
    return false;
}

bool ApplicationDelegate::applicationShouldTerminate() {
    if (canQuit()) return true;
    if (window_ != nullptr) {
        AlertSpec alert;
        alert.style = AlertSpec::Style::Critical;
        alert.message = "Can't quit " + APP_NAME();
        alert.informativeText = "Some device operation is in progress!";
        alert.buttons = {"OK"};
        window_->beginAlert(alert, [](int) {});
    }
    return false;
}

void ApplicationDelegate::applicationWillTerminate() {
    for (indigo_driver_entry& entry : indigo_available_drivers) {
        if (entry.driver != nullptr) indigo_remove_driver(&entry);
    }
    for (indigo_server_entry& entry : indigo_available_servers) {
        if (entry.thread_started) indigo_disconnect_server(&entry);
    }
    for (indigo_subprocess_entry& entry : indigo_available_subprocesses) {
        if (entry.thread_started) indigo_kill_subprocess(&entry);
    }
    indigo_stop();
}

std::string operatingSystemVersion() {
    utsname name{};
    int major = 0, minor = 0, patch = 0;
    if (::uname(&name) == 0) std::sscanf(name.release, "%d.%d.%d", &major, &minor, &patch);
    return std::to_string(major) + "." + std::to_string(minor) + "_" + std::to_string(patch);
}

} // namespace zeta::app
