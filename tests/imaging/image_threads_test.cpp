// Frames are decoded on bus threads and shown on the main thread; the plate solver renders
// on a worker. Run under ThreadSanitizer these find unguarded sharing.

#include "imaging/image.h"
#include "test_decoders.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

TEST(ImageThreads, RenderingWhileTheStretchChangesElsewhere) {
    registerDecoders();
    std::vector<std::uint16_t> samples(64 * 48);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>(i * 13);
    auto image = std::make_shared<Image>(rawFrame("RAW2", 64, 48, bytes16(samples)), ".raw");
    std::atomic<bool> stop = false;
    std::thread solver([&] {
        while (!stop) {
            auto picture = image->image();
            ASSERT_TRUE(picture);
            // What was handed out does not change under the reader.
            const auto rep = picture->firstBitmapImageRep();
            const std::uint8_t first = rep->bitmapData()[3 * 10];
            for (int i = 0; i < 50; ++i)
                ASSERT_EQ(rep->bitmapData()[3 * 10], first);
            (void)image->pixel(5, 5);
            (void)image->hfd(image->sampleWindow(20, 20)->pixels, 20, 20);
        }
    });
    for (int i = 0; i < 300; ++i) {
        image->setBlackPoint(i * 10);
        image->setWhitePoint(65535 - i * 10);
        auto picture = image->image();
        ASSERT_TRUE(picture);
        (void)image->fwhm(0, 100, image->sampleWindow(20, 20)->pixels, i, 20);
    }
    stop = true;
    solver.join();
}

TEST(ImageThreads, FramesDecodeOnSeveralThreadsAtOnce) {
    registerDecoders();
    const auto fits =
        zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits");
    const auto jpeg = zeta::platform::Data::contentsOfFile(ZETA_SOURCE_DIR "/tests/data/imaging/exif.jpg");
    std::vector<std::thread> threads;
    std::atomic<int> decoded = 0;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                if (Image(fits, ".fits").width() == 96) ++decoded;
                if (Image(jpeg, ".jpeg").width() == 64) ++decoded;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(decoded, 80);
}
