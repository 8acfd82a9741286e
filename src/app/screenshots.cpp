// zeta-screenshots DIR: starts the application offscreen with simulated cameras, brings each
// window that exists into a realistic state and saves one PNG per window into DIR.

#include "Common/device.h"
#include "Common/property.h"
#include "app/app_launch.h"
#include "app/message_log_window.h"
#include "app/preferences_dialog.h"
#include "app/property_browser.h"
#include "app/screenshot_input.h"
#include "app/services_panel.h"
#include "batch/batch_controller.h"
#include "camera/camera_widget.h"
#include "camera/dslr_window.h"
#include "camera/zt_camera_controller.h"
#include "focus/sequencer_controller.h"
#include "focus/sequencer_panel.h"
#include "image_window/focus_panel_widgets.h"
#include "image_window/image_controller.h"
#include "image_window/image_window.h"
#include "imaging/image.h"
#include "platform/camera/star_field.h"
#include "platform/constants.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
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

// Chooses the camera the screenshots show, as the user would in the camera popup: one that
// reports its sensor when there is one, else the first. False when none connects.
bool connectCamera(zeta::app::WindowSet& windows) {
    ZTCameraController& camera = windows.dslrController();
    QComboBox* cameras = windows.dslrWindow()->cameraWidget()->camerasPopUp();
    QElapsedTimer waiting;
    waiting.start();
    while (cameras->count() == 0 && waiting.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (cameras->count() == 0) return false;
    const bool nikon = cameras->findText("Nikon D800") >= 0;
    if (!zeta::app::screenshots::pick(cameras, nikon ? "Nikon D800" : cameras->itemText(0))) return false;
    while (!(camera.camera() && camera.camera()->connected() && camera.camera()->property("CCD_EXPOSURE")) &&
           waiting.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    runEventsFor(1000);
    return camera.camera() && camera.camera()->connected();
}

template <class Predicate>
bool waitUntil(Predicate done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void click(QAbstractButton* button) {
    if (button == nullptr) return;
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
}

bool idle(ZTCameraController& camera) {
    return !camera.captureInProgress() && !camera.previewInProgress();
}

// Where the centre of a frame's pixel (column x, row counted from the top) is on the picture
// widget: rows run down there too, and a widget point covers `scale` pixels.
QPoint pictureAt(ImageWindow& window, double x, double row) {
    const double scale = window.clickableView()->scale();
    if (scale <= 0) return {};
    return QPoint(static_cast<int>(std::lround((x + 0.5) / scale)), static_cast<int>(std::lround((row + 0.5) / scale)));
}

// Clicks the row of the tree whose text is `title`, among the top-level rows.
void clickRow(QTreeView* tree, const QString& title) {
    const QAbstractItemModel* model = tree->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (model->data(index).toString() != title) continue;
        tree->setCurrentIndex(index);
        emit tree->clicked(index);
        return;
    }
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

    // Before the application, so that it goes after it.
    const zeta::app::screenshots::IndiCcdServer indi;
    zeta::app::AppLaunch app;
    zeta::app::WindowSet& windows = app.windows();
    zeta::app::ZTAppDelegate& delegate = app.delegate();
    zeta::app::MainWindow& window = app.window();
    app.finishLaunching();
    // The simulated cameras reach the bus and the first-launch sheet comes up.
    runEventsFor(2000);
    bool ok = connectCamera(windows);
    if (!ok) std::printf("no camera connected\n");

    // As a user first sees it: the window at its default size, a frame taken with Preview 1
    // filling the centre, and the preferences opened from the menu.
    if (window.preferencesDialog()->isVisible()) delegate.preferencesCancel();
    if (auto* dslr = windows.dslrWindow()) {
        QPushButton* preview1 = dslr->capturePreview1Button();
        QElapsedTimer waiting;
        waiting.start();
        while (!preview1->isEnabled() && waiting.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        preview1->click();
        while (!windows.imageController().current() && waiting.elapsed() < 15000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        runEventsFor(500);
        ok = windows.imageController().current() != nullptr && ok;
    }
    ok = save(&window, folder, "main_window_default_size") && ok;
    if (QAction* preferences = window.findChild<QAction*>("preferencesAction")) preferences->trigger();
    runEventsFor(300);
    ok = save(window.preferencesDialog(), folder, "preferences") && ok;
    delegate.preferencesCancel();

    // Room for the docks and an image view that the focus runs below can fill.
    window.resize(1920, 1080);
    runEventsFor(300);

    // A preview of the simulated camera with the focus panels open, everything as a user
    // does it: the panels' buttons, the selection switch, a click on a star, a drag over the
    // Bahtinov mask's spikes around the brightest star (ZETA_SIMULATED_BAHTINOV=1).
    ImageController& images = windows.imageController();
    std::set<QWidget*> saved{&window};
    auto* imageWindow = dynamic_cast<ImageWindow*>(window.centralWidget());
    zeta::camera::DslrWindow* dslr = windows.dslrWindow();
    if (imageWindow != nullptr && dslr != nullptr) {
        for (const char* button : {"showPSFButton", "showDriftButton", "showBahtinovButton"})
            click(imageWindow->findChild<QPushButton*>(button));
        window.activateWindow();
        click(imageWindow->findChild<QToolButton*>("selectStarsButton"));
        click(dslr->capturePreviewButton());
        ok = waitUntil([&] { return images.current() != nullptr; }, 15000) && ok;
        runEventsFor(500);
        if (const auto frame = images.current()) {
            const int width = static_cast<int>(frame->width()), height = static_cast<int>(frame->height());
            const auto stars = zeta::platform::fieldStars(width, height);
            // The brightest star away from the mask and the edges.
            const zeta::platform::FieldStar* pick = nullptr;
            for (std::size_t i = 1; i < stars.size(); ++i) {
                const auto& s = stars[i];
                if (s.x < 100 || s.y < 100 || s.x > width - 100 || s.y > height - 100) continue;
                if (pick == nullptr || s.flux > pick->flux) pick = &s;
            }
            if (pick != nullptr)
                QTest::mouseClick(imageWindow->clickableView(), Qt::LeftButton, Qt::NoModifier,
                                  pictureAt(*imageWindow, pick->x, pick->y));
            // Frames come in and the panels fill their histories.
            runEventsFor(4000);
            if (!images.selectedStar()) std::printf("no star selected\n");
            ok = images.selectedStar().has_value() && ok;
            ok = save(&window, folder, "main_window") && ok;
            for (QWidget* panel :
                 {static_cast<QWidget*>(imageWindow->psfPanel()), static_cast<QWidget*>(imageWindow->driftPanel())}) {
                ok = save(panel, folder, fileName(panel->windowTitle())) && ok;
                saved.insert(panel);
            }
            // A rectangle around the mask's spikes, dragged across the picture.
            const double half = 120;
            const QPoint from = pictureAt(*imageWindow, width / 2.0 - half, height / 2.0 - half);
            const QPoint to = pictureAt(*imageWindow, width / 2.0 + half, height / 2.0 + half);
            QTest::mousePress(imageWindow->clickableView(), Qt::LeftButton, Qt::NoModifier, from);
            QTest::mouseMove(imageWindow->clickableView(), (from + to) / 2);
            QTest::mouseMove(imageWindow->clickableView(), to);
            QTest::mouseRelease(imageWindow->clickableView(), Qt::LeftButton, Qt::NoModifier, to);
            runEventsFor(1500);
            if (!images.focusError()) std::printf("no focus error from the Bahtinov pattern\n");
            QWidget* panel = imageWindow->bahtinovPanel();
            ok = images.focusError().has_value() && save(panel, folder, fileName(panel->windowTitle())) && ok;
            saved.insert(panel);
        } else {
            std::printf("no frame from the camera\n");
        }
        click(dslr->captureStopButton());
        ok = waitUntil([&] { return idle(windows.dslrController()); }, 10000) && ok;
    }

    // The DSLR window in a capture run of the camera, and after a run of three frames, both
    // started from the window's own controls.
    namespace input = zeta::app::screenshots;
    if (auto* dslr = windows.dslrWindow()) {
        zeta::camera::CameraWidget* camera = dslr->cameraWidget();
        const QString captures = QDir::home().filePath("Pictures/Zeta");
        QDir().mkpath(captures);
        input::answerFolderPanel(captures);
        input::click(dslr->captureFolderButton());
        // Frames go where the panel was answered, or nowhere.
        if (!input::waitFor([&] { return dslr->captureFolderField()->toolTip() == captures; }, 30000)) {
            std::printf("the capture folder was not chosen: %s\n",
                        dslr->captureFolderField()->toolTip().toLocal8Bit().constData());
            app.terminate();
            return 1;
        }
        input::typeInto(camera->countsCombo(), "20");
        input::typeInto(camera->timelapsesCombo(), "2");
        input::typeInto(camera->nameTemplateField(), "Moon");
        input::click(dslr->captureButton());
        runEventsFor(1500);
        ok = save(dslr, folder, "dslr_window_capture") && ok;
        input::click(dslr->captureStopButton());
        const auto idle = [dslr] {
            return dslr->captureButton()->isEnabled();
        };
        if (!input::waitFor(idle, 10000)) std::printf("the capture run did not stop\n");

        input::typeInto(camera->countsCombo(), "3");
        input::typeInto(camera->timelapsesCombo(), "0");
        input::click(dslr->captureButton());
        const bool ran = input::waitFor([&] { return !idle(); }, 5000) && input::waitFor(idle, 60000);
        if (!ran) std::printf("the run of three frames did not end\n");
        runEventsFor(500);
        ok = ran && save(dslr, folder, "dslr_window_after_run") && ok;
    }

    // An INDI CCD (the simulator of an indiserver added in the services panel) in the camera
    // window, with its own controls.
    if (auto* dslr = windows.dslrWindow(); dslr && indi.port() != 0) {
        bool shown = input::chooseMenu(window, QString::fromStdString(APP_NAME()), "Preferences");
        auto* services = window.preferencesDialog()->servicesPanel();
        input::typeInto(services->hostnameField(), "127.0.0.1");
        input::typeInto(services->portField(), QString::number(indi.port()));
        input::click(services->addButton());
        input::click(window.preferencesDialog()->okButton());
        QComboBox* cameras = dslr->cameraWidget()->camerasPopUp();
        shown = shown && input::waitFor([cameras] { return cameras->findText("CCD Simulator") >= 0; }, 20000) &&
                input::pick(cameras, "CCD Simulator") &&
                input::waitFor([dslr] { return dslr->cameraWidget()->binningPopUp()->isVisible(); }, 20000);
        runEventsFor(1000);
        if (!shown) std::printf("the INDI CCD did not show its controls\n");
        ok = shown && save(dslr, folder, "camera_window_indi_ccd") && ok;
    } else {
        std::printf("no indiserver with the CCD simulator\n");
        ok = false;
    }

    // The sequencer running a plan on the same camera, aborted once shown (its own picture
    // below shows how it ended).
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* sequencer = dynamic_cast<SequencerPanel*>(widget);
        if (sequencer == nullptr || windows.dslrWindow() == nullptr) continue;
        // Opened and filled in as a user does: the Window menu, then the rows' own boxes.
        if (!input::chooseMenu(window, "Window", "Sequencer")) std::printf("no Sequencer in the Window menu\n");
        struct Typed {
            bool use;
            const char *duration, *interval, *count, *name;
        };
        const Typed plan[] = {
            {true, "1", "2", "5", "M42 L"}, {true, "1", "2", "3", "M42 Ha"}, {false, "60", "0", "20", "Flats"}};
        for (std::size_t i = 0; i < std::size(plan); ++i) {
            const auto& row = sequencer->rows[i];
            if (row.use->isChecked() != plan[i].use) input::click(row.use);
            input::typeInto(row.duration, plan[i].duration);
            input::typeInto(row.timeLapse, plan[i].interval);
            input::typeInto(row.count, plan[i].count);
            input::typeInto(row.name, plan[i].name);
        }
        input::typeInto(sequencer->repeatCombo, "2");
        input::click(sequencer->executeButton);
        runEventsFor(1500);
        ok = save(sequencer, folder, "sequencer_run") && ok;
        input::click(sequencer->executeButton);
        QElapsedTimer stopping;
        stopping.start();
        while (windows.sequencerController().sequenceInProgress() && stopping.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    window.messageLogWindow()->show();
    runEventsFor(300);
    ok = save(window.messageLogWindow(), folder, "message_log") && ok;

    // The camera's properties in the browser.
    if (auto* browser = window.propertyBrowser()) {
        browser->show();
        runEventsFor(300);
        if (auto camera = windows.dslrController().camera())
            clickRow(browser->tree(), QString::fromStdString(camera->name()));
    }

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
