// Entry of the zeta executable: answers --version, otherwise opens the main window.

#include "app/main_window.h"
#include "platform/constants.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s (build %s)\n", APP_NAME().c_str(), APP_VERSION().c_str(), APP_BUILD().c_str());
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(APP_NAME()));
    QApplication::setApplicationVersion(QString::fromStdString(APP_VERSION()));
    MainWindow window;
    window.show();
    return QApplication::exec();
}
