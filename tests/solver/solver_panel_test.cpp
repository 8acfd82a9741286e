// The panel's widgets driven as a user would, offscreen.

#include "solver/solver_panel.h"

#include "platform/dispatch.h"
#include "platform/gui/named_image.h"
#include "solver_test_support.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

class SolverPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "solver_panel_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        controller.setTiming({[](std::chrono::milliseconds) {}, std::chrono::seconds(60), std::chrono::seconds(60)});
        controller.setCurrentImageSource([this] { return image; });
        controller.awakeFromNib();
    }
    void TearDown() override {
        controller.waitForWorkers();
        dispatch::drainMainQueue();
    }

    SolverController controller;
    SolverPanel panel{controller};
    std::shared_ptr<Image> image;
    solver_test::ScriptedService service;
};

TEST_F(SolverPanelTest, LoadsReadyWithTheWebServiceChosen) {
    EXPECT_EQ(panel.statusText->text(), "Ready");
    EXPECT_EQ(panel.statusImage->property("statusImageName").toString().toStdString(), zeta::platform::kStatusNone);
    EXPECT_TRUE(panel.webServiceButton->isChecked());
    EXPECT_FALSE(panel.localServiceButton->isEnabled());
    EXPECT_FALSE(panel.syncButton->isEnabled());
    EXPECT_EQ(panel.solveButton->text(), "Solve");
}

TEST_F(SolverPanelTest, SolveRunsAgainstTheLocalServiceAndShowsTheResult) {
    image = solver_test::smallImage();
    service.script("/api/upload", {R"({"status":"success"})"});
    service.script("/api/status", {R"({"status":"done","calibration":{"ra":180,"dec":0,"orientation":90.456,)"
                                   R"("pixscale":1.006}})"});
    controller.serviceFound("s");
    controller.serviceResolved("s", "127.0.0.1", std::stoi(service.url().substr(service.url().rfind(':') + 1)));
    EXPECT_TRUE(panel.localServiceButton->isChecked());
    QTest::mouseClick(panel.solveButton, Qt::LeftButton);
    controller.waitForWorkers();
    dispatch::drainMainQueue();
    EXPECT_EQ(panel.statusText->text(), "Done");
    EXPECT_EQ(panel.raField->text(), "12:00:00");
    EXPECT_EQ(panel.decField->text(), "0:00:00");
    EXPECT_EQ(panel.orientationField->text(), "90.46");
    EXPECT_EQ(panel.pixelScaleField->text(), "1.01");
    EXPECT_EQ(panel.solveButton->text(), "Solve");
    EXPECT_TRUE(panel.solveButton->isEnabled());
}

TEST_F(SolverPanelTest, APanelThatWentIsNoLongerTheControllersView) {
    std::make_unique<SolverPanel>(controller).reset();
    controller.awakeFromNib(); // reaches no destroyed panel
    SolverPanel again(controller);
    controller.awakeFromNib();
    EXPECT_EQ(again.statusText->text(), "Ready");
}

} // namespace
