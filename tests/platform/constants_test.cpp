#include "platform/constants.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(Sexagesimal, ParsesFieldsSeparatedByAnyOfTheFourCharacters) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"12:30:45", 12.5125},
        {"-12:30", -12.5},
        {"-0:30", -0.5},
        {"12 30", 12.5},
        {"5*15'30", 5 + 30.0 / 3600 + 15.0 / 60},
        {"12.5", 12.5},
        {"12::30", 12 + 30.0 / 3600},
        {"12:30:45:99", 12.5125},
        {"", 0},
        {"abc", 0},
        {"-0", 0},
        {":30", 0.5},
        {"1e1:6", 10.1},
        {"+3:x:36", 3.01},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(parseSexagesimal(c.text), c.value, 1e-9) << c.text;
    }
    EXPECT_TRUE(std::signbit(parseSexagesimal("-0:00")));
}

TEST(Sexagesimal, FormatsWithTwoDigitMinutesAndSecondsAndCarriesRoundedSeconds) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {12.5125, "12:30:45"},
        {-12.5, "-12:30:00"},
        {-0.5, "-0:30:00"},
        {0, "0:00:00"},
        {1.0 / 3, "0:20:00"},
        {12 + 30.0 / 60 + 59.9995 / 3600, "12:31:00"},
        {12 + 59.0 / 60 + 59.9995 / 3600, "13:00:00"},
        {-(1 + 59.0 / 60 + 59.6 / 3600), "-2:00:00"},
        {359.999999, "360:00:00"},
        {1.0 / 60 * 5 + 1.0 / 3600 * 7, "0:05:07"},
        // Halves go to the even second, as "%02.0f" shows them.
        {22.5 / 3600, "0:00:22"},
        {23.5 / 3600, "0:00:24"},
        {0.5 / 3600, "0:00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatSexagesimal(c.value, ":", ":"), c.text) << c.value;
    }
    EXPECT_EQ(formatSexagesimal(12.5125, "h", "m"), "12h30m45");
    EXPECT_EQ(formatSexagesimal(NAN, ":", ":"), "NaN");
}

TEST(Sexagesimal, FormattedTextParsesBackToTheSameSecond) {
    for (double v = -90; v <= 90; v += 0.123456) {
        EXPECT_NEAR(parseSexagesimal(formatSexagesimal(v, ":", ":")), v, 0.5 / 3600 + 1e-9) << v;
    }
}

TEST(ModuleConstants, NameVersionAndFahrenheitSetpoints) {
    EXPECT_EQ(applicationNameFromIdentifier("a.b.Name"), "Name");
    EXPECT_EQ(applicationNameFromIdentifier("Plain"), "Plain");
    EXPECT_EQ(APP_NAME(), "Zeta");
    EXPECT_FALSE(APP_VERSION().empty());
    EXPECT_FALSE(APP_BUILD().empty());
    // The Fahrenheit list is the Celsius list converted entry by entry.
    ASSERT_EQ(CELSIUS_SETPOINTS().size(), FAHRENHEIT_SETPOINTS().size());
    for (size_t i = 1; i < CELSIUS_SETPOINTS().size(); ++i) {
        EXPECT_EQ(std::stoi(FAHRENHEIT_SETPOINTS()[i]), std::stoi(CELSIUS_SETPOINTS()[i]) * 9 / 5 + 32);
    }
}

// The system locale is read once, at the first call, and by Qt once per process: fixed
// before main so that the separators are known.
const bool fixedLocale = [] {
    return ::setenv("LC_ALL", "en_US.UTF-8", 1) == 0;
}();

TEST(ModuleConstants, FormatIntegerGroupsDigits) {
    ASSERT_TRUE(fixedLocale);
    EXPECT_EQ(formatInteger(1234567), "1,234,567");
    EXPECT_EQ(formatInteger(-1234), "-1,234");
    EXPECT_EQ(formatInteger(999), "999");
    EXPECT_EQ(formatInteger(0), "0");
}
