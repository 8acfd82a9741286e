#include "platform/gui/named_image.h"

#include <gtest/gtest.h>

TEST(NamedImage, StatusLightsForEachStateAndUnknownNames) {
    EXPECT_EQ(zeta::platform::statusImageNameForState(0), "NSStatusNone");
    EXPECT_EQ(zeta::platform::statusImageNameForState(1), "NSStatusAvailable");
    EXPECT_EQ(zeta::platform::statusImageNameForState(2), "NSStatusPartiallyAvailable");
    EXPECT_EQ(zeta::platform::statusImageNameForState(3), "NSStatusUnavailable");
    EXPECT_EQ(zeta::platform::statusImageNameForState(7), "NSStatusNone");
    for (int state = 0; state < 4; ++state) {
        const QImage image = zeta::platform::namedImage(zeta::platform::statusImageNameForState(state), 16);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_GT(qAlpha(image.pixel(8, 8)), 0);
    }
    // The four lights differ from one another.
    EXPECT_NE(zeta::platform::namedImage("NSStatusAvailable").pixel(8, 8),
              zeta::platform::namedImage("NSStatusUnavailable").pixel(8, 8));
    EXPECT_TRUE(zeta::platform::namedImage("NoSuchImage").isNull());
}
