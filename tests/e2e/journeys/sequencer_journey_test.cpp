// A user's plan in the sequencer run on a simulated camera: typed into the rows, executed,
// aborted, and refused when it cannot run.

#include "journey_app.h"
#include "journey_camera.h"
#include "journey_user.h"
#include "support/temp_dir.h"

#include <QVariant>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

using journey::JourneyApp;
using journey::JourneyUser;

namespace {

constexpr auto kOk = "NSStatusAvailable";
constexpr auto kAlert = "NSStatusUnavailable";

// The files of the folder, oldest first (names break ties).
std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::directory_entry> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) entries.push_back(entry);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return std::pair(a.last_write_time(), a.path()) < std::pair(b.last_write_time(), b.path());
    });
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.path().filename().string());
    return names;
}

// The camera window with the camera chosen and connected, and the capture folder chosen.
JourneyUser cameraWithFolder(const std::string& title, const std::filesystem::path& folder) {
    const JourneyUser camera = journey::chooseCamera(title);
    JourneyUser::chooseFolderInNextDialog(folder.string());
    camera.click("Folder");
    return camera;
}

struct Row {
    int number;
    std::string exposure, interval, count, name;
};

// The sequencer window, with the rows typed in and ticked, and the repeat count.
JourneyUser planned(const std::vector<Row>& rows, const std::string& repeat) {
    JourneyUser::menu({"Window", "Sequencer"});
    const JourneyUser sequencer = JourneyUser().within("Sequencer");
    for (const Row& row : rows) {
        const std::string n = " row " + std::to_string(row.number);
        // A plan stored by an earlier launch may have the row ticked already.
        if (!sequencer.button("Use" + n)->isChecked()) sequencer.click("Use" + n);
        sequencer.type("Exposure" + n, row.exposure);
        if (!row.interval.empty()) sequencer.type("Interval" + n, row.interval);
        sequencer.type("Count" + n, row.count);
        sequencer.type("Name" + n, row.name);
    }
    sequencer.type("Repeat", repeat);
    return sequencer;
}

std::string light(const JourneyUser& sequencer, const std::string& name) {
    return sequencer.box(name)->property("statusImageName").toString().toStdString();
}

// The execute button reads "Abort" while a sequence runs.
bool running(const JourneyUser& sequencer) {
    return sequencer.sees("Abort");
}

} // namespace

TEST(JourneySequencer, TwoRowsTwiceWriteTenFilesInOrderWithTheFocuserLocked) {
    const test_support::TempDir folder("zeta-journey-sequence");
    JourneyApp app;
    const JourneyUser camera = cameraWithFolder("Simulated Camera", folder.path());
    const JourneyUser focuser = JourneyUser().within("Focuser");
    ASSERT_TRUE(focuser.enabled("Focuser"));
    const JourneyUser sequencer = planned({{1, "0.1", "", "2", "L"}, {3, "0.1", "", "3", "R"}}, "2");

    sequencer.click("Execute");
    JourneyUser::waitUntil([&] { return !focuser.enabled("Focuser"); }, "the focuser window to lock");
    bool focuserLocked = true, captureRefused = true;
    JourneyUser::waitUntil(
        [&] {
            if (!running(sequencer)) return true;
            focuserLocked = focuserLocked && !focuser.enabled("Focuser");
            captureRefused = captureRefused && !camera.button("Capture")->isEnabled();
            return false;
        },
        "the sequence's end", std::chrono::seconds(120));

    EXPECT_EQ(sequencer.text("Sequence status text"), "Sequence done");
    EXPECT_EQ(filesIn(folder.path()),
              (std::vector<std::string>{"L_001.jpeg", "L_002.jpeg", "R_001.jpeg", "R_002.jpeg", "R_003.jpeg",
                                        "L_003.jpeg", "L_004.jpeg", "R_004.jpeg", "R_005.jpeg", "R_006.jpeg"}));
    EXPECT_EQ(light(sequencer, "Status row 1"), kOk);
    EXPECT_EQ(light(sequencer, "Status row 2"), "NSStatusNone");
    EXPECT_EQ(light(sequencer, "Status row 3"), kOk);
    EXPECT_EQ(light(sequencer, "Sequence status"), kOk);
    EXPECT_TRUE(focuserLocked);
    EXPECT_TRUE(captureRefused);
    EXPECT_TRUE(focuser.enabled("Focuser"));
    EXPECT_TRUE(camera.button("Capture")->isEnabled());
}

TEST(JourneySequencer, AbortDuringRowThreeStopsTheRunAndWritesNothingMore) {
    const test_support::TempDir folder("zeta-journey-abort");
    JourneyApp app;
    cameraWithFolder("Simulated Camera", folder.path());
    // Row 3 waits between its frames, so that Abort finds it under way.
    const JourneyUser sequencer = planned({{1, "0.1", "", "2", "L"}, {3, "0.1", "2", "3", "R"}}, "2");

    sequencer.click("Execute");
    JourneyUser::waitUntil([&] { return filesIn(folder.path()).size() >= 3; }, "row 3's first frame");
    const std::size_t atAbort = filesIn(folder.path()).size();
    sequencer.click("Abort");
    JourneyUser::waitUntil([&] { return !running(sequencer); }, "the sequence's end");
    const std::vector<std::string> written = filesIn(folder.path());
    JourneyUser::idle(std::chrono::seconds(2)); // another frame would be on its way by now

    EXPECT_EQ(filesIn(folder.path()), written);
    EXPECT_LE(written.size(), atAbort + 1) << "more than the exposure under way was written";
    EXPECT_EQ(std::count(written.begin(), written.end(), "L_003.jpeg"), 0);
    EXPECT_EQ(sequencer.text("Sequence status text"), "Aborted at row 3 'R'");
    EXPECT_EQ(light(sequencer, "Status row 1"), kOk);
    EXPECT_EQ(light(sequencer, "Status row 3"), kAlert);
    JourneyUser::waitUntil([] { return JourneyUser::logged("Sequence aborted at row 3 'R'"); }, "the abort in the log");
}

TEST(JourneySequencer, APlanThatCannotRunSaysWhyAndSendsNothing) {
    const test_support::TempDir folder("zeta-journey-refused");
    {
        JourneyApp app("");
        const JourneyUser sequencer = planned({{1, "0.1", "", "2", "L"}}, "1");
        sequencer.click("Execute");
        EXPECT_EQ(sequencer.text("Sequence status text"), "No camera is selected in the camera window");
        EXPECT_EQ(light(sequencer, "Sequence status"), kAlert);
        EXPECT_FALSE(running(sequencer));
        JourneyUser::waitUntil(
            [] { return JourneyUser::logged("Sequence not started: No camera is selected in the camera window"); },
            "the refusal in the log");
    }
    JourneyApp app;
    const JourneyUser camera = cameraWithFolder("Simulated Camera", folder.path());
    // The plan typed before is back; its count now has letters in it.
    JourneyUser::menu({"Window", "Sequencer"});
    const JourneyUser sequencer = JourneyUser().within("Sequencer");
    EXPECT_EQ(sequencer.text("Name row 1"), "L");
    sequencer.type("Count row 1", "2x");
    sequencer.click("Execute");
    EXPECT_EQ(sequencer.text("Sequence status text"), "Row 1: the frame count must be a whole number, 1 or more");
    EXPECT_FALSE(running(sequencer));
    JourneyUser::idle(std::chrono::seconds(1));
    EXPECT_TRUE(filesIn(folder.path()).empty());
    EXPECT_EQ(camera.text("Frames taken"), "--/--");
    EXPECT_TRUE(camera.button("Capture")->isEnabled());
}
