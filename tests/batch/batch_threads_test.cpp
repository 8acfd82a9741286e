// Where the bus thread and the main thread meet: writers racing for the same names, and a
// run closed while its frames are being written.

#include "batch_test_support.h"
#include "video_test_support.h"

#include <atomic>
#include <set>

namespace {

TEST_F(BatchTest, RacingWritersNeverShareAFile) {
    BatchController other(defaults.get());
    other.setFolder(folder.string());
    other.setNameTemplate("IMG");
    controller->open();
    other.open();
    constexpr int kFrames = 40;
    auto run = [](BatchController& writer, char who) {
        for (int i = 0; i < kFrames; ++i)
            writer.saveFrame(bytesOf(std::string(1, who) + std::to_string(i)), std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt, ".jpeg");
    };
    std::thread a(run, std::ref(*controller), 'a');
    std::thread b(run, std::ref(other), 'b');
    a.join();
    b.join();
    other.flush();
    settle();

    std::set<std::string> contents;
    for (const auto& name : filesInFolder())
        contents.insert(fileText(folder / name));
    EXPECT_EQ(contents.size(), 2u * kFrames);
    EXPECT_EQ(filesInFolder().size(), 2u * kFrames);
    std::set<std::string> listed(controller->images().begin(), controller->images().end());
    for (const auto& path : other.images())
        EXPECT_TRUE(listed.insert(path).second) << path;
    EXPECT_EQ(listed.size(), 2u * kFrames);
    EXPECT_EQ(controller->images().size(), std::size_t(kFrames));
}

TEST_F(BatchTest, CloseWaitsForTheFrameBeingWritten) {
    controller->setOutputFormat("SER");
    controller->open();
    std::atomic<int> sent{0};
    std::thread bus([&] {
        for (int i = 0; i < 30; ++i) {
            save(rawFrame(1, 64, 48, unsigned(i)), ".raw");
            sent.fetch_add(1);
        }
    });
    while (sent.load() < 5)
        std::this_thread::yield();
    controller->close();
    controller->close();
    bus.join();
    settle();
    const auto ser = readSer(folder / "IMG_001.ser");
    ASSERT_TRUE(ser.valid);
    EXPECT_GE(ser.frameCount, 5u);
    EXPECT_EQ(ser.frames.size(), ser.frameCount);
    EXPECT_EQ(ser.trailingBytes, 0u);
    EXPECT_FALSE(controller->hasVideo());
}

// Frames still waiting to be written when the controller goes (the application quits in a
// run) are written first, in order; none is lost.
TEST_F(BatchTest, FramesWaitingWhenTheControllerGoesAreWritten) {
    controller->setOutputFormat("SER");
    controller->open();
    constexpr int kFrames = 12;
    for (int i = 0; i < kFrames; ++i)
        save(rawFrame(1, 640, 480, unsigned(i)), ".raw");
    controller.reset();
    dispatch::drainMainQueue();
    const auto ser = readSer(folder / "IMG_001.ser");
    ASSERT_TRUE(ser.valid);
    ASSERT_EQ(ser.frameCount, unsigned(kFrames));
    ASSERT_EQ(ser.frames.size(), std::size_t(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        const auto sent = rawFrame(1, 640, 480, unsigned(i));
        EXPECT_EQ(ser.frames[std::size_t(i)],
                  std::vector<std::uint8_t>(sent.bytes() + 12, sent.bytes() + sent.length()))
            << "frame " << i;
    }
}

} // namespace
