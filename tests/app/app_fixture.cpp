#include "app_fixture.h"

#include "app/preferences_dialog.h"

namespace app_test {

UrlRecorder::UrlRecorder() {
    QDesktopServices::setUrlHandler("file", this, "open");
    QDesktopServices::setUrlHandler("https", this, "open");
}

UrlRecorder::~UrlRecorder() {
    QDesktopServices::unsetUrlHandler("file");
    QDesktopServices::unsetUrlHandler("https");
}

Launch::Launch(std::shared_ptr<zeta::app::IndigoAdmin> admin, bool finish)
    : delegate((application(), std::move(admin))), window(delegate) {
    delegate.applicationWillFinishLaunching();
    window.show();
    if (finish)
        delegate.applicationDidFinishLaunching();
    else
        terminated = true;
}

void Launch::terminate() {
    if (terminated) return;
    terminated = true;
    delegate.applicationWillTerminate();
}

Launch::~Launch() {
    window.preferencesDialog()->hide();
    terminate();
}

} // namespace app_test
