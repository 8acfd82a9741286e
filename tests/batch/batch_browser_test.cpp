// The browser: what the buttons and the table show, and what the browsing actions load.

#include "batch_test_support.h"
#include "imaging/image.h"

namespace {

class BatchBrowserTest : public BatchTest {
protected:
    void SetUp() override {
        BatchTest::SetUp();
        controller->setImageHandler([this](std::shared_ptr<Image> image) { shown.push_back(std::move(image)); });
        controller->setPreviewInProgress([this] { return preview; });
    }
    // Three saved FITS frames of the simulator's 96 x 64 file.
    void saveThree() {
        const auto fits =
            zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits");
        ASSERT_FALSE(fits.empty());
        controller->open();
        for (int i = 0; i < 3; ++i)
            save(fits, ".fits");
        settle();
        ASSERT_EQ(controller->images().size(), 3u);
    }

    std::vector<std::shared_ptr<Image>> shown;
    bool preview = false;
};

TEST_F(BatchBrowserTest, StartsEmptyAndDisabled) {
    controller->updateGUI();
    EXPECT_FALSE(view.previous);
    EXPECT_FALSE(view.reveal);
    EXPECT_FALSE(view.next);
    EXPECT_EQ(view.selected, -1);
}

TEST_F(BatchBrowserTest, ThreeSavedFilesGiveTheButtonStates) {
    saveThree();
    EXPECT_EQ(controller->current(), 2);
    EXPECT_EQ(view.selected, 2);
    EXPECT_TRUE(view.previous);
    EXPECT_TRUE(view.reveal);
    EXPECT_FALSE(view.next);
    EXPECT_EQ(controller->numberOfRows(), 3u);
    EXPECT_EQ(controller->objectValue(1), "IMG_002.fits");

    controller->nextAction(); // at the last entry: nothing
    EXPECT_TRUE(shown.empty());
    controller->previousAction();
    EXPECT_EQ(controller->current(), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->width(), 96);
    EXPECT_EQ(shown[0]->height(), 64);
    EXPECT_TRUE(view.previous && view.next && view.reveal);
    controller->previousAction();
    EXPECT_EQ(controller->current(), 0);
    EXPECT_FALSE(view.previous);
    EXPECT_TRUE(view.next);
    controller->previousAction(); // at 0: nothing
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(controller->current(), 0);

    preview = true;
    controller->updateGUI();
    EXPECT_FALSE(view.previous || view.reveal || view.next);
}

TEST_F(BatchBrowserTest, TableRowsLoadAndReveal) {
    saveThree();
    controller->tableLoadAction(std::nullopt);
    EXPECT_TRUE(shown.empty());
    controller->tableLoadAction(0);
    EXPECT_EQ(controller->current(), 0);
    EXPECT_EQ(view.selected, 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->format(), ".fits");

    controller->tableShowInFinderAction(1);
    controller->showInFinderAction();
    const std::string root = folder.string();
    ASSERT_EQ(view.revealed.size(), 2u);
    EXPECT_EQ(view.revealed[0], std::make_pair((folder / "IMG_002.fits").string(), root));
    EXPECT_EQ(view.revealed[1], std::make_pair((folder / "IMG_001.fits").string(), root));

    controller->setFolder(std::nullopt);
    controller->showInFinderAction();
    controller->tableShowInFinderAction(1);
    EXPECT_EQ(view.revealed.size(), 2u);
}

TEST_F(BatchBrowserTest, TheOpenPanelLoadsAnyFileAndKeepsTheList) {
    saveThree();
    const auto other = dir.path() / "elsewhere";
    std::filesystem::copy_file(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits", other);
    view.answer = other.string();
    controller->loadAction();
    EXPECT_EQ(view.prompt, "Select image");
    EXPECT_EQ(view.panelFolder, folder.string());
    ASSERT_EQ(shown.size(), 1u);
    // No "." in the name: the format is the whole path, and the bytes decide.
    EXPECT_EQ(shown[0]->format(), "." + other.string());
    EXPECT_EQ(shown[0]->width(), 96);
    EXPECT_EQ(controller->images().size(), 3u);
    EXPECT_EQ(controller->current(), 2);

    view.answer.reset();
    controller->loadAction();
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(BatchBrowserTest, AFileThatCannotBeReadIsLogged) {
    saveThree();
    std::filesystem::remove(folder / "IMG_001.fits");
    const int reloads = view.reloads;
    controller->tableLoadAction(0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(linesWith("Failed to load image to " + (folder / "IMG_001.fits").string()), 1);
    EXPECT_GT(view.reloads, reloads);
}

TEST_F(BatchBrowserTest, TheNextRunEmptiesTheList) {
    saveThree();
    controller->open();
    EXPECT_TRUE(controller->images().empty());
    EXPECT_EQ(controller->current(), -1);
    EXPECT_FALSE(view.previous || view.reveal || view.next);
}

TEST_F(BatchBrowserTest, AFrameOfTheLastRunSavedLateIsNotListedInTheNext) {
    controller->open();
    save(bytesOf("late"), ".fits"); // its refresh is still queued
    EXPECT_TRUE(controller->images().empty()) << "the list changes on the main queue only";
    controller->open();
    settle();
    EXPECT_TRUE(controller->images().empty());
    EXPECT_EQ(fileText(folder / "IMG_001.fits"), "late");
}

} // namespace
