// The sequencer panel keeps its plan across launches: typed into the real widgets, stored on
// hide, and read back by a new process.

#include "focus/sequencer_panel.h"

#include "platform/constants.h"
#include "platform/gui/named_image.h"
#include "support/process.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

// The settings folder: the parent's, handed to the child, or one of this process's own. Made
// before anything reads the settings.
struct SettingsFolder {
    SettingsFolder() {
        if (const char* given = std::getenv("ZETA_SEQUENCER_SETTINGS")) {
            ::setenv("XDG_CONFIG_HOME", given, 1);
        } else {
            own.emplace("zeta-sequencer-test");
            ::setenv("XDG_CONFIG_HOME", own->path().c_str(), 1);
        }
    }
    std::optional<test_support::TempDir> own;
};
const SettingsFolder settingsFolder;

class SequencerPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "focus_sequencer_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
};

// Row n's texts as the test types them; row 5's exposure is not in the list.
SequencerRow plannedRow(int n) {
    return {n % 2 ? "1" : "0", n == 5 ? "7.5" : "30", "60", "10", "Target " + std::to_string(n)};
}

TEST_F(SequencerPanelTest, PlanTypedByHandComesBackInANewProcess) {
    if (std::getenv("ZETA_SEQUENCER_SETTINGS")) GTEST_SKIP() << "runs in the first process only";
    {
        SequencerController controller;
        SequencerPanel panel(controller);
        controller.awakeFromNib();
        EXPECT_EQ(panel.repeatCombo->currentText(), "1"); // no "repeatCount" stored yet
        EXPECT_TRUE(panel.executeButton->isEnabled());
        panel.show();
        for (int n = 1; n <= SequencerView::kRows; ++n) {
            auto& row = panel.rows[static_cast<std::size_t>(n - 1)];
            const SequencerRow values = plannedRow(n);
            if (values.use == "1") QTest::mouseClick(row.use, Qt::LeftButton);
            for (auto [combo, text] :
                 {std::pair{row.duration, values.duration}, std::pair{row.timeLapse, values.timeLapse},
                  std::pair{row.count, values.count}}) {
                combo->lineEdit()->selectAll();
                QTest::keyClicks(combo->lineEdit(), QString::fromStdString(text));
            }
            QTest::keyClicks(row.name, QString::fromStdString(values.name));
        }
        panel.repeatCombo->lineEdit()->selectAll();
        QTest::keyClicks(panel.repeatCombo->lineEdit(), "3");
        panel.hide(); // hiding stores the plan
    }
    test_support::TempDir output("zeta-sequencer-child");
    const std::string log = (output.path() / "child.txt").string();
    test_support::Process child({"/proc/self/exe", "--gtest_filter=SequencerPanelTest.ReadBack"},
                                {{"ZETA_SEQUENCER_SETTINGS", std::getenv("XDG_CONFIG_HOME")}}, log);
    EXPECT_EQ(child.wait(std::chrono::seconds(60)), 0) << "the new process did not read the plan back; see " << log;
}

// The second launch: started by the test above with the first one's settings.
TEST_F(SequencerPanelTest, ReadBack) {
    if (!std::getenv("ZETA_SEQUENCER_SETTINGS"))
        GTEST_SKIP() << "runs only as the second launch of PlanTypedByHandComesBackInANewProcess";
    SequencerController controller;
    SequencerPanel panel(controller);
    controller.awakeFromNib();
    for (int n = 1; n <= SequencerView::kRows; ++n)
        EXPECT_EQ(panel.row(n), plannedRow(n)) << "row " << n;
    EXPECT_EQ(panel.repeatCombo->currentText(), "3");
    EXPECT_EQ(panel.statusImage->property("statusImageName").toString().toStdString(), zeta::platform::kStatusNone);
}

TEST_F(SequencerPanelTest, APanelThatWentIsNoLongerTheControllersView) {
    if (std::getenv("ZETA_SEQUENCER_SETTINGS")) GTEST_SKIP() << "runs in the first process only";
    SequencerController controller;
    std::make_unique<SequencerPanel>(controller).reset();
    controller.awakeFromNib(); // reaches no destroyed panel
    controller.save();
    SequencerPanel again(controller);
    controller.awakeFromNib();
    EXPECT_EQ(again.statusImage->property("statusImageName").toString().toStdString(), zeta::platform::kStatusNone);
}

} // namespace
