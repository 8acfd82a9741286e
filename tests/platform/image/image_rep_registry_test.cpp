#include "platform/image/image_rep.h"
#include "platform/image/picture.h"

#include <atomic>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

using zeta::platform::Data;
using zeta::platform::ImageRep;

namespace {

std::shared_ptr<zeta::platform::BitmapImageRep> onePixel(unsigned char value) {
    zeta::platform::BitmapLayout l;
    l.pixelsWide = l.pixelsHigh = 1;
    auto rep = zeta::platform::BitmapImageRep::withLayout(l);
    rep->bitmapData()[0] = value;
    return rep;
}

// Takes "CLAIM" and fails to decode it.
struct FailingDecoder {
    static bool canInitWithData(const Data& d) { return d.startsWith("CLAIM"); }
    static zeta::platform::ImageReps imageRepsWithData(const Data&, std::string* reason) {
        *reason = "CLAIM refused";
        return {};
    }
};
// Would decode "CLAIM" if asked.
struct LaterDecoder {
    static bool canInitWithData(const Data& d) { return d.startsWith("CLAIM") || d.startsWith("LATER"); }
    static zeta::platform::ImageReps imageRepsWithData(const Data&, std::string*) { return {onePixel(7)}; }
};
struct ThrowingDecoder {
    static bool canInitWithData(const Data& d) { return d.startsWith("THROW"); }
    static zeta::platform::ImageReps imageRepsWithData(const Data&, std::string*) { throw std::bad_alloc(); }
};

} // namespace

TEST(ImageRepRegistry, RegisteredClassesComeFirstInOrderThenBuiltIns) {
    ImageRep::registerImageRepClass<FailingDecoder>();
    ImageRep::registerImageRepClass<LaterDecoder>();
    ImageRep::registerImageRepClass<FailingDecoder>(); // keeps its first place
    auto classes = ImageRep::registeredImageRepClasses();
    ASSERT_EQ(classes.size(), 5u);
    EXPECT_EQ(classes[0].canInitWithData, &FailingDecoder::canInitWithData);
    EXPECT_EQ(classes[1].canInitWithData, &LaterDecoder::canInitWithData);
    EXPECT_EQ(classes[2].name, "JPEG");
    EXPECT_EQ(classes[3].name, "Camera raw");
    EXPECT_EQ(classes[4].name, "Qt");

    // The first class that takes the bytes decides, even when it cannot decode them.
    EXPECT_EQ(ImageRep::imageRepClassForData(Data("CLAIM", 5))->canInitWithData, &FailingDecoder::canInitWithData);
    EXPECT_EQ(zeta::platform::Picture::withData(Data("CLAIM", 5)), nullptr);
    auto later = zeta::platform::Picture::withData(Data("LATER", 5));
    ASSERT_TRUE(later);
    EXPECT_EQ(later->firstBitmapImageRep()->bitmapData()[0], 7);
    EXPECT_FALSE(ImageRep::imageRepClassForData(Data("nothing", 7)));
    EXPECT_FALSE(ImageRep::imageRepClassForData(Data()));

    ImageRep::unregisterImageRepClass<FailingDecoder>();
    EXPECT_TRUE(zeta::platform::Picture::withData(Data("CLAIM", 5)));
    ImageRep::unregisterImageRepClass<LaterDecoder>();
    EXPECT_EQ(ImageRep::registeredImageRepClasses().size(), 3u);
}

TEST(ImageRepRegistry, ADecoderThatThrowsDecodesNothing) {
    ImageRep::registerImageRepClass<ThrowingDecoder>();
    EXPECT_NO_THROW(EXPECT_EQ(zeta::platform::Picture::withData(Data("THROW", 5)), nullptr));
    ImageRep::unregisterImageRepClass<ThrowingDecoder>();
}

TEST(ImageRepRegistry, BytesThatGiveNoPictureSayWhy) {
    ImageRep::registerImageRepClass<FailingDecoder>();
    ImageRep::registerImageRepClass<ThrowingDecoder>();
    const struct {
        Data bytes;
        std::string reason;
    } cases[] = {
        {Data(), "no bytes"},
        {Data("nothing", 7), "no decoder takes these bytes"},
        {Data("CLAIM", 5), "CLAIM refused"}, // the decoder's own words
        {Data("THROW", 5), std::bad_alloc().what()},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_EQ(zeta::platform::Picture::withData(c.bytes, &reason), nullptr) << c.reason;
        EXPECT_EQ(reason, c.reason);
    }
    ImageRep::unregisterImageRepClass<ThrowingDecoder>();
    ImageRep::unregisterImageRepClass<FailingDecoder>();
    // A built-in decoder names its format.
    std::string reason;
    EXPECT_EQ(zeta::platform::Picture::withData(Data("\xFF\xD8\xFF\x00", 4), &reason), nullptr);
    EXPECT_TRUE(reason.starts_with("JPEG ")) << reason;
}

TEST(ImageRepRegistry, DecodingWhileClassesAreRegistered) {
    std::atomic<bool> stop = false;
    std::thread decoder([&] {
        while (!stop) {
            auto picture = zeta::platform::Picture::withData(Data("LATER", 5));
            if (picture) {
                ASSERT_EQ(picture->firstBitmapImageRep()->bitmapData()[0], 7);
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        ImageRep::registerImageRepClass<LaterDecoder>();
        ImageRep::unregisterImageRepClass<LaterDecoder>();
    }
    stop = true;
    decoder.join();
}
