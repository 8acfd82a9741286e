// zeta-screenshots DIR: starts the application offscreen with simulated cameras, brings each
// window that exists into a realistic state and saves one PNG per window into DIR.

#include "Common/device.h"
#include "Common/property.h"
#include "app/app_launch.h"
#include "app/message_log_window.h"
#include "app/preferences_dialog.h"
#include "camera/camera_widget.h"
#include "camera/dslr_window.h"
#include "camera/zt_camera_controller.h"
#include "imaging/batch/batch_controller.h"
#include "imaging/image.h"
#include "imaging/window/focus_panel_widgets.h"
#include "imaging/window/image_controller.h"
#include "imaging/window/image_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QRegularExpression>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

namespace {

void runEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* widget, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name + ".png");
    const bool ok = widget->grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return ok;
}

// A 16-bit grey frame with a few stars on a noisy sky, as an INDIGO raw frame.
std::shared_ptr<Image> starField() {
    const std::uint32_t width = 320, height = 240;
    std::vector<std::uint8_t> bytes(12 + width * height * 2);
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    bytes[0] = 'R', bytes[1] = 'A', bytes[2] = 'W', bytes[3] = '2';
    put32(4, width);
    put32(8, height);
    const double stars[][3] = {{160, 120, 2.0}, {60, 50, 1.5}, {250, 190, 1.2}, {280, 40, 1.8}};
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            noise = noise * 1103515245 + 12345;
            double value = 1000 + static_cast<double>((noise >> 16) % 200);
            for (const auto& star : stars) {
                const double dx = x - star[0], dy = y - star[1];
                value += 40000 * std::exp(-(dx * dx + dy * dy) / (2 * star[2] * star[2]));
            }
            const auto sample = static_cast<std::uint16_t>(std::min(value, 65535.0));
            const std::size_t at = 12 + (y * width + x) * 2;
            bytes[at] = static_cast<std::uint8_t>(sample);
            bytes[at + 1] = static_cast<std::uint8_t>(sample >> 8);
        }
    }
    return std::make_shared<Image>(zeta::platform::Data(bytes.data(), bytes.size()), ".raw");
}

QString fileName(QString title) {
    return title.toLower().replace(QRegularExpression("[^a-z0-9]+"), "_");
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::printf("Usage: zeta-screenshots DIR\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path())) {
        std::printf("cannot make %s\n", argv[1]);
        return 1;
    }

    zeta::app::AppLaunch app;
    zeta::app::WindowSet& windows = app.windows();
    zeta::app::ZTAppDelegate& delegate = app.delegate();
    zeta::app::MainWindow& window = app.window();
    window.resize(1400, 900);
    app.finishLaunching();
    // The simulated cameras reach the bus and the first-launch sheet comes up.
    runEventsFor(2000);

    // A frame with a star selected, and the focus panels open.
    // The product window starts with markers off; a click comes in view points, which the
    // zoom scales to image pixels.
    ImageController& images = windows.imageController();
    images.setImage(starField());
    images.setEnableMarkers(true);
    images.selectedWithPoint({160 / images.zoom(), 120 / images.zoom()});
    if (!images.selectedStar()) std::printf("no star selected in the image window\n");
    auto* imageWindow = dynamic_cast<ImageWindow*>(window.centralWidget());
    if (imageWindow != nullptr) {
        imageWindow->psfPanel()->orderFront();
        windows.imageController().showDrift();
        windows.imageController().showBahtinov();
        // The drift panel draws the star's track over the frames that come while it is open.
        for (int frame = 0; frame < 3; ++frame)
            images.setImage(starField());
    }
    runEventsFor(500);

    bool ok = images.selectedStar().has_value();
    ok = save(&window, folder, "main_window") && ok;
    // The focus panels now, before the capture run below shows frames without this star.
    std::set<QWidget*> saved{&window};
    if (imageWindow != nullptr) {
        for (QWidget* panel :
             {static_cast<QWidget*>(imageWindow->psfPanel()), static_cast<QWidget*>(imageWindow->driftPanel()),
              static_cast<QWidget*>(imageWindow->bahtinovPanel())}) {
            ok = save(panel, folder, fileName(panel->windowTitle())) && ok;
            saved.insert(panel);
        }
    }
    if (!window.preferencesDialog()->isVisible()) delegate.preferences();
    runEventsFor(300);
    ok = save(window.preferencesDialog(), folder, "preferences") && ok;
    delegate.preferencesCancel();

    // The DSLR window in a capture run of the simulated camera.
    if (auto* dslr = windows.dslrWindow()) {
        ZTCameraController& camera = windows.dslrController();
        QComboBox* cameras = dslr->cameraWidget()->camerasPopUp();
        if (!camera.camera() && cameras->count() > 0) {
            cameras->setCurrentIndex(0);
            emit cameras->activated(0);
        }
        QElapsedTimer connecting;
        connecting.start();
        while (!(camera.camera() && camera.camera()->connected() && camera.camera()->property("CCD_EXPOSURE")) &&
               connecting.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        runEventsFor(1000);
        const QString captures = QDir::home().filePath("Pictures/Zeta");
        QDir().mkpath(captures);
        windows.batchController().setFolder(captures.toStdString());
        dslr->cameraWidget()->countsCombo()->setCurrentText("20");
        dslr->cameraWidget()->timelapsesCombo()->setCurrentText("2");
        dslr->cameraWidget()->nameTemplateField()->setText("Moon");
        camera.captureAction();
        runEventsFor(1500);
        ok = save(dslr, folder, "dslr_window_capture") && ok;
        camera.stopAction();
        QElapsedTimer stopping;
        stopping.start();
        while ((camera.captureInProgress() || camera.previewInProgress()) && stopping.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    window.messageLogWindow()->show();
    runEventsFor(300);
    ok = save(window.messageLogWindow(), folder, "message_log") && ok;

    // Every other window and panel, by its title.
    saved.insert({window.preferencesDialog(), window.messageLogWindow()});
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (saved.count(widget) != 0 || widget->windowTitle().isEmpty() || !widget->inherits("QWidget") ||
            widget->inherits("QMenu"))
            continue;
        saved.insert(widget);
        widget->show();
        runEventsFor(200);
        ok = save(widget, folder, fileName(widget->windowTitle())) && ok;
    }

    app.terminate();
    return ok ? 0 : 1;
}
