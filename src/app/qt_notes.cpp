// Notes Qt prints on a start without a desktop session that read like faults but are not:
// the offscreen platform has no window manager to pass size hints to and no desktop to open
// the help page with, and without XDG_RUNTIME_DIR Qt makes a private runtime folder of its
// own. Every other message goes on to Qt's handler unchanged. Part of the executable only,
// so that it is in place before main() makes the application.

#include <QString>
#include <QtGlobal>

namespace zeta::app {
namespace {

// Qt's handler, taken once at load time.
QtMessageHandler qtHandler = nullptr;

bool isHarmlessNote(const QString& text) {
    return text == QLatin1String("This plugin does not support propagateSizeHints()") ||
           text.startsWith(QLatin1String("This plugin does not support QPlatformServices::openUrl()")) ||
           text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"));
}

void passOn(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && isHarmlessNote(text)) return;
    if (qtHandler) qtHandler(type, context, text);
}

void installNoteFilter() {
    qtHandler = qInstallMessageHandler(passOn);
}
Q_CONSTRUCTOR_FUNCTION(installNoteFilter)

} // namespace
} // namespace zeta::app
