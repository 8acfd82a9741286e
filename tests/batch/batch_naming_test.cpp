// How frames and videos are named: the template rules, the numbering, and what a name can't hold.

#include "batch_test_support.h"

#include <csignal>
#include <sys/resource.h>

namespace {

struct NamingCase {
    const char* title;
    std::string nameTemplate;
    zeta::batch::NameParts parts;
    bool temperatureOn;
    std::string extension;
    std::vector<std::string> expected; // two frames saved
};

TEST_F(BatchTest, FramesAreNamedByTheTemplateRules) {
    const std::vector<NamingCase> cases = {
        {"all four parts",
         "IMG",
         {"Red", "RAW 16", 0.5, "-10"},
         true,
         ".fits",
         {"IMG_Red_RAW_16_0.5000s_-10_001.fits", "IMG_Red_RAW_16_0.5000s_-10_002.fits"}},
        {"temperature off by default",
         "IMG",
         {"Red", "RAW 16", 0.5, "-10"},
         false,
         ".fits",
         {"IMG_Red_RAW_16_0.5000s_001.fits", "IMG_Red_RAW_16_0.5000s_002.fits"}},
        {"one second",
         "IMG",
         {std::nullopt, std::nullopt, 1.0, std::nullopt},
         false,
         ".fits",
         {"IMG_1s_001.fits", "IMG_1s_002.fits"}},
        {"thirty seconds",
         "IMG",
         {std::nullopt, std::nullopt, 30.0, std::nullopt},
         false,
         ".nef",
         {"IMG_30s_001.nef", "IMG_30s_002.nef"}},
        {"quarter second",
         "IMG",
         {std::nullopt, std::nullopt, 0.25, std::nullopt},
         false,
         ".fits",
         {"IMG_0.2500s_001.fits", "IMG_0.2500s_002.fits"}},
        {"mode blanks",
         "IMG",
         {std::nullopt, "Mode 1 RAW", std::nullopt, std::nullopt},
         false,
         ".fits",
         {"IMG_Mode_1_RAW_001.fits", "IMG_Mode_1_RAW_002.fits"}},
        {"empty template", "", {}, false, ".fits", {"_001.fits", "_002.fits"}},
        {"no parts, as the capture engine saves", "IMG", {}, false, ".nef", {"IMG_001.nef", "IMG_002.nef"}},
        {"slashes in every part",
         "a/b",
         {"R/G", "x/y", std::nullopt, "1/2"},
         true,
         ".fi/ts",
         {"a_b_R_G_x_y_1_2_001.fi_ts", "a_b_R_G_x_y_1_2_002.fi_ts"}},
        {"control characters",
         "a\nb",
         {"\t", std::nullopt, std::nullopt, std::nullopt},
         false,
         ".fits",
         {"a_b___001.fits", "a_b___002.fits"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        controller->setEncodeTemperature(c.temperatureOn);
        controller->setNameTemplate(c.nameTemplate);
        controller->open();
        for (int i = 0; i < 2; ++i)
            controller->saveFrame(bytesOf("frame" + std::to_string(i)), c.parts.filter, c.parts.mode, c.parts.duration,
                                  c.parts.temperature, c.extension);
        settle();
        EXPECT_EQ(filesInFolder(), c.expected);
        ASSERT_EQ(controller->images().size(), 2u);
        EXPECT_EQ(controller->images()[0], (folder / c.expected[0]).string());
        EXPECT_EQ(fileText(folder / c.expected[1]), "frame1");
    }
}

TEST_F(BatchTest, SettingsSwitchThePartsOff) {
    controller->setEncodeFilter(false);
    controller->setEncodeMode(false);
    controller->setEncodeDuration(false);
    controller->setEncodeTemperature(true);
    controller->open();
    controller->saveFrame(bytesOf("x"), "Red", "RAW 16", 0.5, "-10", ".fits");
    settle();
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"IMG_-10_001.fits"});
}

TEST_F(BatchTest, DurationsIgnoreTheLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(zeta::batch::durationPart(0.5), "_0.5000s");
    EXPECT_EQ(zeta::batch::durationPart(2.5), "_2s");
    if (previous) std::setlocale(LC_NUMERIC, "C");
}

TEST_F(BatchTest, ExistingFilesAndFoldersAreNeverOverwritten) {
    { std::ofstream(folder / "IMG_001.fits") << "keep me"; }
    std::filesystem::create_directory(folder / "IMG_002.fits");
    std::filesystem::create_symlink(folder / "nowhere", folder / "IMG_003.fits");
    controller->open();
    save(bytesOf("new"), ".fits");
    settle();
    EXPECT_EQ(fileText(folder / "IMG_001.fits"), "keep me");
    EXPECT_FALSE(std::filesystem::exists(folder / "nowhere"));
    EXPECT_EQ(fileText(folder / "IMG_004.fits"), "new");
    EXPECT_EQ(controller->current(), 0);
    // A number freed again is taken again.
    std::filesystem::remove(folder / "IMG_001.fits");
    save(bytesOf("again"), ".fits");
    settle();
    EXPECT_EQ(fileText(folder / "IMG_001.fits"), "again");
}

TEST_F(BatchTest, AllNumbersTakenIsLoggedForEachDroppedFrame) {
    for (int n = 1; n <= 999; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%03d.nef", n);
        std::ofstream(folder / name) << n;
    }
    std::vector<int> failures;
    controller->setRunFailedHandler([&] { failures.push_back(1); });
    controller->open();
    save(bytesOf("a"), ".nef");
    save(bytesOf("b"), ".nef");
    save(bytesOf("c"), ".fits"); // another name still has room
    settle();
    EXPECT_EQ(linesWith("IMG_001.nef to " + (folder / "IMG").string() + "_999.nef all exist"), 2);
    EXPECT_EQ(controller->index(), 3);
    EXPECT_EQ(controller->images(), std::vector<std::string>{(folder / "IMG_001.fits").string()});
    EXPECT_TRUE(failures.empty());
    EXPECT_FALSE(controller->runFailed());
}

TEST_F(BatchTest, WithoutFolderOrTemplateNothingIsStoredButFramesCount) {
    controller->setFolder(std::nullopt);
    controller->open();
    save(bytesOf("a"), ".fits");
    controller->setFolder(folder.string());
    controller->setNameTemplate(std::nullopt);
    save(bytesOf("b"), ".fits");
    settle();
    EXPECT_EQ(controller->index(), 2);
    EXPECT_TRUE(filesInFolder().empty());
    EXPECT_TRUE(logLines().empty());
    EXPECT_TRUE(controller->images().empty());
}

TEST_F(BatchTest, AnUnwritableFolderEndsTheRunWithOneLine) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    int failures = 0;
    runWithoutFileOverride([&] { makeController(); }); // the frames are written on its thread
    controller->setRunFailedHandler([&] {
        ++failures;
        controller->close(); // the capture engine ends the run from the handler
    });
    controller->open();
    for (int i = 0; i < 5; ++i)
        save(bytesOf("frame"), ".fits");
    settle();
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(controller->runFailed());
    EXPECT_EQ(controller->index(), 5);
    const auto found = logLines();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], "Failed to save image to " + (folder / "IMG_001.fits").string() + ": Permission denied");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_TRUE(filesInFolder().empty());
    EXPECT_TRUE(controller->images().empty());
    // The next run starts afresh.
    controller->open();
    save(bytesOf("frame"), ".fits");
    settle();
    EXPECT_FALSE(controller->runFailed());
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"IMG_001.fits"});
}

TEST_F(BatchTest, AFullDiskLeavesNoPartialFile) {
    // A file size limit stands in for a full disk: the write stops part way.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    int failures = 0;
    controller->setRunFailedHandler([&] { ++failures; });
    controller->open();
    save(zeta::platform::Data(std::vector<std::uint8_t>(256 * 1024, 7)), ".fits");
    save(zeta::platform::Data(std::vector<std::uint8_t>(10, 7)), ".fits");
    controller->flush(); // written under the limit
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    settle();
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(linesWith("Failed to save image to " + (folder / "IMG_001.fits").string() + ": File too large"), 1);
    EXPECT_EQ(logLines().size(), 1u);
    EXPECT_TRUE(filesInFolder().empty());
}

} // namespace
