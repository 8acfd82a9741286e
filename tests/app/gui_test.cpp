// The application on its real widgets, offscreen, with a HOME of its own.

#include "Common/device.h"
#include "app/drivers_table.h"
#include "app/message_log_window.h"
#include "app/preferences_dialog.h"
#include "app/services_panel.h"
#include "app/tooltip_delay.h"
#include "app_fixture.h"
#include "fake_admin.h"
#include "indigo/indigo_property.h"
#include "platform/constants.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

using namespace app_test;
using namespace zeta::app;

namespace {

QMessageBox* openAlert(QWidget& window) {
    for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
        if (box->isVisible()) return box;
    }
    return nullptr;
}

bool logHas(INDIGO& client, const std::string& text) {
    for (const std::string& line : client.messages()) {
        if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0) return true;
    }
    return false;
}

} // namespace

TEST(AppLaunch, FirstLaunchOpensHelpAndSheetOnceUntilReset) {
    UrlRecorder recorder;
    {
        Launch launch(std::make_shared<FakeAdmin>());
        auto* sheet = launch.window.preferencesDialog();
        ASSERT_TRUE(waitFor([&] { return sheet->isVisible(); }));
        ASSERT_EQ(recorder.urls.size(), 1u);
        EXPECT_EQ(recorder.urls[0].fragment(), "whats_new");
        EXPECT_TRUE(recorder.urls[0].path().endsWith("/doc/zeta_" + QString::fromStdString(APP_VERSION()) + ".html"));
        EXPECT_TRUE(logHas(*launch.delegate.indigo(), "INDIGO Started..."));
        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet->isVisible());
    }
    {
        Launch launch(std::make_shared<FakeAdmin>());
        // The main queue has run what the start-up queued; nothing opened.
        waitFor([] { return false; }, std::chrono::milliseconds(200));
        EXPECT_FALSE(launch.window.preferencesDialog()->isVisible());
        EXPECT_EQ(recorder.urls.size(), 1u);

        launch.delegate.resetPrefs();
        QMessageBox* alert = openAlert(launch.window);
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text(), "Reset preferences?");
        QTest::mouseClick(alert->buttons().value(0)->text() == "Reset" ? alert->buttons().value(0)
                                                                       : alert->buttons().value(1),
                          Qt::LeftButton);
        EXPECT_TRUE(DEFAULTS().keys().empty());
    }
    {
        Launch launch(std::make_shared<FakeAdmin>());
        ASSERT_TRUE(waitFor([&] { return launch.window.preferencesDialog()->isVisible(); }));
        EXPECT_EQ(recorder.urls.size(), 2u);
    }
}

TEST(AppLaunch, BannerAndHelpMenuWithoutAnchor) {
    UrlRecorder recorder;
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    Launch launch(std::make_shared<FakeAdmin>());
    const std::string banner = APP_NAME() + " " + APP_VERSION() + "_" + APP_BUILD() + " INDIGO 2.0_56 OS ";
    bool found = false;
    for (const std::string& line : launch.delegate.indigo()->messages())
        found = found || line.find(banner) != std::string::npos;
    EXPECT_TRUE(found);
    launch.delegate.showHelp();
    ASSERT_EQ(recorder.urls.size(), 1u);
    EXPECT_FALSE(recorder.urls[0].hasFragment());
    // The tooltip delay of the start-up is the one tooltips wait.
    EXPECT_EQ(zeta::app::toolTipDelay(), 300);
}

TEST(PreferencesSheet, UnchangedOKStoresTheDefaultsRestartsAndEnumerates) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    auto admin = std::make_shared<FakeAdmin>();
    Launch launch(admin, false);
    DEFAULTS().removeAll();
    launch.delegate.preferences();
    auto* sheet = launch.window.preferencesDialog();
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->findChild<QCheckBox*>("avoidAFButton")->isChecked());
    EXPECT_FALSE(sheet->findChild<QCheckBox*>("useMirrorLockupButton")->isChecked());
    EXPECT_EQ(sheet->findChild<QLineEdit*>("indigoPortNumberField")->text(), "0");
    EXPECT_EQ(sheet->findChild<QLineEdit*>("indigoServiceNameField")->placeholderText().toStdString(), APP_NAME());
    EXPECT_TRUE(DEFAULTS().keys().empty());

    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(waitFor([&] { return admin->restarts == 1 && admin->enumerations == 1; }));
    auto keys = DEFAULTS().keys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "aperture",           "avoidAF",        "backgroundColor",  "deleteDownloadedImages",
                        "enableBLOBTransfer", "encodeDuration", "encodeFilter",     "encodeMode",
                        "encodeTemperature",  "focalLength",    "graphColor1",      "graphColor2",
                        "hidePanels",         "indigoLogLevel", "indigoPortNumber", "indigoServiceName",
                        "indigoServiceType",  "lockCameraGUI",  "markerColor",      "outputFormat",
                        "showCrosshair",      "useFahrenheit",  "useMirrorLockup"}));
    EXPECT_EQ(DEFAULTS().stringForKey("indigoServiceType", ""), "_indigo._tcp");
    EXPECT_EQ(DEFAULTS().colorForKey("markerColor", {}), MARKER_COLOR());
}

TEST(PreferencesSheet, CancelStoresNothingAndReopeningShowsTheStore) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    auto admin = std::make_shared<FakeAdmin>();
    admin->addCatalogueDriver("indigo_focuser_x", false);
    Launch launch(admin, false);
    const auto before = DEFAULTS().keys();
    launch.delegate.preferences();
    auto* sheet = launch.window.preferencesDialog();
    sheet->findChild<QCheckBox*>("useMirrorLockupButton")->setChecked(true);
    sheet->findChild<QLineEdit*>("indigoPortNumberField")->setText("9999");
    auto* drivers = sheet->driversTable();
    ASSERT_EQ(drivers->rowCount(), 1);
    drivers->item(0, 0)->setCheckState(Qt::Checked);
    auto* services = sheet->servicesPanel();
    services->hostnameField()->setText("somewhere");
    QTest::mouseClick(services->addButton(), Qt::LeftButton);
    EXPECT_EQ(services->servicesTableView()->count(), 1);
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);

    EXPECT_EQ(DEFAULTS().keys(), before);
    waitFor([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(admin->takeCalls().empty());
    EXPECT_EQ(admin->restarts, 0);

    launch.delegate.preferences();
    EXPECT_FALSE(sheet->findChild<QCheckBox*>("useMirrorLockupButton")->isChecked());
    EXPECT_EQ(sheet->findChild<QLineEdit*>("indigoPortNumberField")->text(), "0");
    ASSERT_TRUE(waitFor([&] { return drivers->rowCount() == 1 && drivers->item(0, 0) != nullptr; }));
    waitFor([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(drivers->item(0, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(services->servicesTableView()->count(), 0);
}

TEST(PreferencesSheet, OKAppliesDriversServersAndTheLogLevel) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    auto admin = std::make_shared<FakeAdmin>();
    admin->addCatalogueDriver("indigo_focuser_x", false);
    Launch launch(admin, false);
    launch.delegate.preferences();
    auto* sheet = launch.window.preferencesDialog();
    ASSERT_TRUE(waitFor([&] { return sheet->driversTable()->rowCount() == 1; }));
    sheet->driversTable()->item(0, 0)->setCheckState(Qt::Checked);
    auto* services = sheet->servicesPanel();
    services->hostnameField()->setText("127.0.0.1");
    services->portField()->setText("7000");
    QTest::mouseClick(services->addButton(), Qt::LeftButton);
    sheet->findChild<QLineEdit*>("indigoServiceNameField")->clear();
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);

    EXPECT_TRUE(waitFor([&] { return admin->driver("indigo_focuser_x")->loaded; }));
    const auto calls = admin->takeCalls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "add 127.0.0.1:7000"), calls.end());
    EXPECT_EQ(DEFAULTS().stringForKey("indigoServiceName", ""), APP_NAME());
}

TEST(MessageLogWindow, FollowsABurstFromFourThreads) {
    Launch launch(std::make_shared<FakeAdmin>(), false);
    auto& client = *launch.delegate.indigo();
    auto* log = launch.window.messageLogWindow();
    log->show();
    constexpr int kPerThread = 2600;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&client, t] {
            for (int i = 0; i < kPerThread; ++i)
                client.message("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    client.message("the last line");

    auto* view = log->tableView();
    ASSERT_TRUE(waitFor([&] { return view->model()->rowCount() == static_cast<int>(INDIGO::kMaxMessages); }));
    waitFor([] { return false; }, std::chrono::milliseconds(50));
    const int last = view->model()->rowCount() - 1;
    EXPECT_TRUE(view->model()->index(last, 0).data().toString().endsWith("the last line"));
    const QRect lastRect = view->visualRect(view->model()->index(last, 0));
    EXPECT_TRUE(view->viewport()->rect().contains(lastRect)) << lastRect.y();
    // Nothing is selectable.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, lastRect.center());
    EXPECT_TRUE(view->selectionModel() == nullptr || !view->selectionModel()->hasSelection());

    // Full: each new line drops the oldest.
    const QString second = view->model()->index(1, 0).data().toString();
    client.message("one more");
    ASSERT_TRUE(waitFor([&] { return view->model()->index(last, 0).data().toString().endsWith("one more"); }));
    EXPECT_EQ(view->model()->index(0, 0).data().toString(), second);

    QTest::mouseClick(log->findChild<QPushButton*>("clearLogButton"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return view->model()->rowCount() == 0; }));
    EXPECT_EQ(client.messageCount(), 0u);
}

// Rows cannot be selected, and none may look selected: the row under a click, or the current
// one when the list has the focus, is drawn like every other row.
TEST(MessageLogWindow, NoRowLooksSelected) {
    Launch launch(std::make_shared<FakeAdmin>(), false);
    auto* log = launch.window.messageLogWindow();
    log->show();
    for (const char* line : {"one", "two", "three"})
        launch.delegate.indigo()->message(line);
    auto* view = log->tableView();
    ASSERT_TRUE(waitFor([&] { return view->model()->rowCount() == 3; }));
    log->activateWindow();
    view->setFocus();
    const QRect second = view->visualRect(view->model()->index(1, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second.center());
    QCoreApplication::processEvents();
    const QImage shown = view->viewport()->grab().toImage();
    // Right of the text, where only the row's background shows; below the rows, the list's.
    const int x = view->viewport()->width() - 4;
    const QColor base = shown.pixelColor(x, view->viewport()->height() - 4);
    for (int row = 0; row < 3; ++row) {
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        for (const int y : {rect.top() + 1, rect.center().y(), rect.bottom() - 1})
            EXPECT_EQ(shown.pixelColor(x, y), base) << "row " << row << " y " << y;
    }
}

TEST(MessageLogWindow, InvalidUTF8ShowsReplacementCharacters) {
    Launch launch(std::make_shared<FakeAdmin>(), false);
    auto* log = launch.window.messageLogWindow();
    launch.delegate.indigo()->message("bad \xff\xfe bytes");
    auto* model = log->tableView()->model();
    ASSERT_TRUE(waitFor([&] { return model->rowCount() == 1; }));
    const QString shown = model->index(0, 0).data().toString();
    EXPECT_TRUE(shown.contains(QChar(0xFFFD)));
    EXPECT_TRUE(shown.endsWith("bytes"));
}

TEST(MessageLogWindow, AnUnwritableSaveShowsAnAlertAndKeepsTheLog) {
    Launch launch(std::make_shared<FakeAdmin>(), false);
    auto* log = launch.window.messageLogWindow();
    log->show();
    launch.delegate.indigo()->message("keep me");
    test_support::TempDir folder;
    log->saveLogTo(QString::fromStdString((folder.path() / "no" / "such" / "log.txt").string()));
    QMessageBox* alert = log->findChild<QMessageBox*>("saveLogAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(launch.delegate.indigo()->messageCount(), 1u);
    alert->accept();
}

TEST(CloseAndQuit, RefusedWhileTheCameraIsBusy) {
    Launch launch(std::make_shared<FakeAdmin>(), false);
    launch.delegate.cameraWindow().captureInProgress = true;
    EXPECT_FALSE(launch.window.close());
    EXPECT_TRUE(launch.window.isVisible());
    EXPECT_TRUE(logHas(*launch.delegate.indigo(), "Can't close the window, some device operation is in progress!"));
    // Said on the window too, not only in the log.
    QMessageBox* closing = openAlert(launch.window);
    ASSERT_NE(closing, nullptr);
    EXPECT_EQ(closing->text(), "Can't close the window");
    EXPECT_EQ(closing->informativeText(), "Some device operation is in progress!");
    QTest::mouseClick(closing->buttons().value(0), Qt::LeftButton);
    EXPECT_FALSE(closing->isVisible());

    launch.window.quit();
    QMessageBox* alert = openAlert(launch.window);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(), "Can't quit " + APP_NAME());
    EXPECT_EQ(alert->informativeText(), "Some device operation is in progress!");
    ASSERT_EQ(alert->buttons().size(), 1);
    QTest::mouseClick(alert->buttons().value(0), Qt::LeftButton);

    // Once the capture has ended, both work: quitting ends the event loop.
    launch.delegate.cameraWindow().captureInProgress = false;
    launch.delegate.cameraWindow().previewInProgress = true;
    EXPECT_FALSE(launch.delegate.canQuit());
    launch.delegate.cameraWindow().previewInProgress = false;
    QTimer::singleShot(0, &launch.window, [&] { launch.window.quit(); });
    EXPECT_EQ(QApplication::exec(), 0);
    QTimer::singleShot(0, &launch.window, [&] { launch.window.close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(launch.window.isVisible());
}

TEST(MainWindow, PlacesForLaterWindows) {
    Launch launch(std::make_shared<FakeAdmin>(), false);
    auto* central = new QWidget;
    launch.window.setCentralView(central);
    EXPECT_EQ(launch.window.centralWidget(), central);
    auto* dock = launch.window.addDock("Focuser", new QWidget);
    auto* panel = new QWidget(&launch.window, Qt::Tool);
    launch.window.addWindow("Sequencer", panel);
    dock->close();
    EXPECT_FALSE(dock->isVisible());
    QStringList titles;
    for (QAction* action : launch.window.windowMenu()->actions())
        titles << action->text();
    EXPECT_TRUE(titles.contains("Focuser"));
    EXPECT_TRUE(titles.contains("Message Log"));
    for (QAction* action : launch.window.windowMenu()->actions()) {
        if (action->text() == "Focuser" || action->text() == "Sequencer") action->trigger();
    }
    EXPECT_TRUE(dock->isVisible());
    EXPECT_TRUE(panel->isVisible());

    launch.delegate.toggleTitle();
    EXPECT_TRUE(launch.window.windowTitle().trimmed().isEmpty());
    launch.delegate.toggleTitle();
    EXPECT_EQ(launch.window.windowTitle().toStdString(), APP_NAME());
}

namespace {

// A window controller whose device attaches while the controllers are initialised, before the
// client attaches (as the application's own device does).
class EarlyDeviceController final : public BaseController {
public:
    ~EarlyDeviceController() override {
        if (property_ != nullptr) indigo_release_property(property_);
    }
    void initialize() override {
        property_ = indigo_init_switch_property(nullptr, "Early Device", "EARLY", "Main", "Early", INDIGO_OK_STATE,
                                                INDIGO_RW_PERM, INDIGO_ONE_OF_MANY_RULE, 1);
        indigo_init_switch_item(&property_->items[0], "ON", "On", true);
        std::snprintf(device_.name, sizeof device_.name, "%s", "Early Device");
        device_.private_data = this;
        device_.enumerate_properties = [](indigo_device* device, indigo_client*, indigo_property*) {
            auto* self = static_cast<EarlyDeviceController*>(device->private_data);
            return indigo_define_property(device, self->property_, nullptr);
        };
        indigo_attach_device(&device_);
    }

private:
    indigo_device device_{};
    indigo_property* property_ = nullptr;
};

} // namespace

TEST(AppLaunch, DevicesAttachedBeforeTheClientAreSeenFromTheStart) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    EarlyDeviceController early;
    {
        Launch launch(std::make_shared<FakeAdmin>(), false);
        launch.delegate.addWindowController(&early);
        launch.delegate.applicationDidFinishLaunching();
        INDIGO& client = *launch.delegate.indigo();
        EXPECT_TRUE(waitFor([&] { return client.device("Early Device") != nullptr; }));
        launch.terminated = false;
    }
}

TEST(PreferencesSheet, TheSettingsOtherWindowsReadHaveControlsAppliedOnOK) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    auto admin = std::make_shared<FakeAdmin>();
    Launch launch(admin, false);
    DEFAULTS().removeAll();
    launch.delegate.preferences();
    auto* sheet = launch.window.preferencesDialog();
    auto* format = sheet->findChild<QComboBox*>("outputFormatPopup");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->currentText(), "Numbered files");
    auto* encodeFilter = sheet->findChild<QCheckBox*>("encodeFilterButton");
    EXPECT_TRUE(encodeFilter->isEnabled());
    // A video has one name per run: its frames' name parts do not apply.
    format->setCurrentIndex(format->findText("SER video"));
    EXPECT_FALSE(encodeFilter->isEnabled());
    sheet->findChild<QDoubleSpinBox*>("apertureField")->setValue(200);
    sheet->findChild<QDoubleSpinBox*>("focalLengthField")->setValue(1000);
    for (const char* name : {"useFahrenheitButton", "showCrosshairButton", "enableBLOBTransferButton"})
        sheet->findChild<QCheckBox*>(name)->setChecked(true);
    sheet->findChild<QCheckBox*>("hidePanelsButton")->setChecked(false);
    // Nothing is stored before OK.
    EXPECT_TRUE(DEFAULTS().keys().empty());

    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(DEFAULTS().stringForKey("outputFormat", ""), "SER");
    EXPECT_EQ(DEFAULTS().doubleForKey("aperture", 0), 200);
    EXPECT_EQ(DEFAULTS().doubleForKey("focalLength", 0), 1000);
    EXPECT_TRUE(DEFAULTS().boolForKey("useFahrenheit", false));
    EXPECT_TRUE(DEFAULTS().boolForKey("showCrosshair", false));
    EXPECT_TRUE(DEFAULTS().boolForKey("enableBLOBTransfer", false));
    EXPECT_FALSE(DEFAULTS().boolForKey("hidePanels", true));
    EXPECT_TRUE(DEFAULTS().boolForKey("encodeFilter", false));

    // Showing the sheet again shows what was stored.
    launch.delegate.preferences();
    EXPECT_EQ(format->currentText(), "SER video");
    EXPECT_EQ(sheet->findChild<QDoubleSpinBox*>("apertureField")->value(), 200);
    EXPECT_FALSE(sheet->findChild<QCheckBox*>("hidePanelsButton")->isChecked());
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
}

TEST(PreferencesSheet, APortThatIsNotANumberIsRefusedWithItsReasonAndNothingIsApplied) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    auto admin = std::make_shared<FakeAdmin>();
    Launch launch(admin, false);
    DEFAULTS().removeAll();
    launch.delegate.preferences();
    auto* sheet = launch.window.preferencesDialog();
    auto* port = sheet->findChild<QLineEdit*>("indigoPortNumberField");
    for (const char* typed : {"abc", "99999", "-1"}) {
        port->setText(typed);
        QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
        EXPECT_TRUE(sheet->isVisible()) << typed;
        EXPECT_TRUE(sheet->errorLabel()->isVisible()) << typed;
        EXPECT_TRUE(sheet->errorLabel()->text().contains("0 to 65535")) << typed;
        EXPECT_TRUE(DEFAULTS().keys().empty()) << typed;
    }
    waitFor([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(admin->restarts, 0);

    port->setText("7625");
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(DEFAULTS().integerForKey("indigoPortNumber", 0), 7625);
}

TEST(ServicesPanel, AServerThatIsNotOneIsRefusedWhereItIsTyped) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    Launch launch(std::make_shared<FakeAdmin>(), false);
    launch.delegate.preferences();
    auto* services = launch.window.preferencesDialog()->servicesPanel();
    struct Case {
        const char* host;
        const char* port;
        const char* reason;
    };
    for (const Case c : {Case{"somewhere", "99999", "1 to 65535"}, Case{"somewhere", "abc", "1 to 65535"},
                         Case{"", "7624", "host name"}}) {
        services->hostnameField()->clear();
        services->portField()->clear();
        QTest::keyClicks(services->hostnameField(), c.host);
        QTest::keyClicks(services->portField(), c.port);
        QTest::mouseClick(services->addButton(), Qt::LeftButton);
        EXPECT_EQ(services->servicesTableView()->count(), 0) << c.port;
        EXPECT_TRUE(services->entryErrorLabel()->isVisible()) << c.port;
        EXPECT_TRUE(services->entryErrorLabel()->text().contains(c.reason)) << c.port;
    }
    services->portField()->clear();
    QTest::keyClicks(services->hostnameField(), "somewhere");
    QTest::mouseClick(services->addButton(), Qt::LeftButton);
    ASSERT_EQ(services->servicesTableView()->count(), 1);
    EXPECT_EQ(services->servicesTableView()->item(0)->text(), "somewhere (7624)");
    EXPECT_FALSE(services->entryErrorLabel()->isVisible());
}

TEST(MessageLog, ALongLineIsShownWholeNotCut) {
    DEFAULTS().setBool(true, "initialized_" + APP_VERSION());
    Launch launch(std::make_shared<FakeAdmin>());
    auto* log = launch.window.messageLogWindow();
    log->resize(400, 300);
    log->show();
    std::string tail;
    for (int i = 0; i < 40; ++i)
        tail += " word" + std::to_string(i);
    launch.delegate.indigo()->message("long" + tail);
    auto* view = log->findChild<QListView*>("messagesTableView");
    const auto rowWith = [&](const QString& text) {
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            const QModelIndex index = view->model()->index(row, 0);
            if (view->model()->data(index).toString().endsWith(text)) return index;
        }
        return QModelIndex();
    };
    ASSERT_TRUE(waitFor([&] { return rowWith(" word39").isValid(); }));
    waitFor([] { return false; }, std::chrono::milliseconds(200));
    const QModelIndex row = rowWith(" word39");
    const int needed = view->fontMetrics().horizontalAdvance(row.data().toString());
    // The row holds the whole text and the view scrolls to its end; nothing is elided.
    EXPECT_GE(view->visualRect(row).width(), needed);
    EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->textElideMode(), Qt::ElideNone);
}
