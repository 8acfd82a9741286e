#pragma once
// How the application delegates see the main window and the preferences sheet.

#include "app/preferences_values.h"
#include "platform/color.h"

#include <functional>
#include <string>
#include <vector>

namespace zeta::app {

struct AlertSpec {
    enum class Style { Warning, Critical };
    Style style = Style::Warning;
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons; // the first is the default
};

class ApplicationView {
public:
    virtual ~ApplicationView() = default;
    virtual bool titleVisible() const = 0;
    virtual void setTitleVisible(bool visible) = 0;
    virtual platform::Color backgroundColor() const = 0;
    virtual void setBackgroundColor(const platform::Color& color) = 0;
    // Shows the alert as a sheet on the main window and returns; done gets the index of the
    // button that ended it (-1 when it ended otherwise).
    virtual void beginAlert(const AlertSpec& alert, std::function<void(int button)> done) = 0;
    // Hands the address to the desktop; false when it is not a valid address or nothing could
    // be started to open it.
    virtual bool openURL(const std::string& address) = 0;
    // How long the pointer rests before a tooltip shows, in milliseconds.
    virtual void setToolTipDelay(int milliseconds) = 0;
};

class PreferencesView {
public:
    virtual ~PreferencesView() = default;
    virtual PreferencesValues values() const = 0;
    virtual void setValues(const PreferencesValues& values) = 0;
    virtual void beginSheet() = 0;
    virtual void endSheet() = 0;
};

} // namespace zeta::app
