#pragma once
// The camera window's widget, offscreen, on a started client; waits run the Qt event loop
// (which also runs the main queue).

#include "Common/indigo.h"
#include "camera/camera_widget.h"
#include "platform/system_log.h"
#include "recording_camera.h"
#include "support/qt_application.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <gtest/gtest.h>

namespace camera_test {

using test_support::application;
using test_support::waitFor;

class WidgetFixture : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        indigo = std::make_shared<INDIGO>();
        controller.setIndigo(indigo);
        widget = std::make_unique<zeta::camera::CameraWidget>(controller);
        widget->show();
    }
    void TearDown() override {
        controller.retireBackgroundRequests();
        indigo.reset();
        controller.setIndigo(nullptr);
        QCoreApplication::processEvents();
        widget.reset();
        zeta::platform::setSystemLogHandler({});
    }

    int indexOf(const std::string& title) const {
        return widget->camerasPopUp()->findText(QString::fromStdString(title));
    }
    // Picks the entry as the user does.
    void choose(const std::string& title) {
        const int index = indexOf(title);
        ASSERT_GE(index, 0) << title;
        widget->camerasPopUp()->setCurrentIndex(index);
        emit widget->camerasPopUp()->activated(index);
    }
    bool logged(const std::string& text) const {
        for (const std::string& line : indigo->messages())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    test_support::TempDir folder{"zeta-camera-widget"};
    zeta::platform::UserDefaults defaults{folder.path() / "defaults.json"};
    RecordingCamera controller{defaults};
    std::shared_ptr<INDIGO> indigo;
    std::unique_ptr<zeta::camera::CameraWidget> widget;
};

} // namespace camera_test
