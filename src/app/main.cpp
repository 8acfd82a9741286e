// Entry of the zeta executable: answers --help and --version, otherwise runs the application.

#include "app/app_launch.h"
#include "app/termination_signals.h"
#include "platform/constants.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

void printUsage() {
    std::printf("Usage: %s [--help] [--version]\n"
                "Drives cameras, focusers and filter wheels over the INDIGO bus.\n\n"
                "  --help     show this text and exit\n"
                "  --version  show the version and exit\n\n"
                "Environment:\n"
                "  ZETA_SIMULATED_CAMERAS  simulated cameras to offer (generic, nikon, canon, sony;\n"
                "                          comma-separated); they photograph a star field that\n"
                "                          blurs as the nikon and canon lenses leave focus\n"
                "  ZETA_SIMULATED_BAHTINOV  1: the simulated field's brightest star shows the\n"
                "                          spikes of a Bahtinov mask\n",
                "zeta");
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s (build %s)\n", APP_NAME().c_str(), APP_VERSION().c_str(), APP_BUILD().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(APP_NAME()));
    QApplication::setApplicationVersion(QString::fromStdString(APP_VERSION()));
    // Closing the main window quits (the window decides); other windows do not keep the
    // application alive.
    QApplication::setQuitOnLastWindowClosed(false);

    zeta::app::AppLaunch app;
    app.finishLaunching();

    // A termination request from the session or a terminal asks like the Quit menu does.
    zeta::app::TerminationSignals terminationSignals([&app] { app.window().quit(); });

    const int status = QApplication::exec();
    app.terminate();
    return status;
}
