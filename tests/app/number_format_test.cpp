// Number items as their devices format them, and what a device's format text may not do.

#include "app/number_format.h"

#include <gtest/gtest.h>

using zeta::app::formatNumber;
using zeta::app::parseNumber;
using zeta::app::safeNumberFormat;

TEST(NumberFormat, OnlyOneFloatingConversionOfTheDeviceIsUsed) {
    struct Case {
        const char* format;
        const char* used;
    };
    const Case cases[] = {
        {"%g", "%g"},         {"%10.4f", "%10.4f"}, {"%-+ #08.3e", "%-+ #08.3e"},
        {"%6.2lf", "%6.2lf"}, {"%.3G s", "%.3G s"}, {"100%% %f", "100%% %f"},
        {"%s%s%s%n", "%g"},   {"%d", "%g"},         {"%f%f", "%g"},
        {"%*f", "%g"},        {"%Lf", "%g"},        {"%.*f", "%g"},
        {"%999f", "%g"},      {"%.100f", "%g"},     {"", "%g"},
        {"text", "%g"},       {"%", "%g"},          {"%5", "%g"},
        {"%p", "%g"},         {"%1$f", "%g"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(safeNumberFormat(c.format), c.used) << c.format;
    }
}

TEST(NumberFormat, ShowsValuesSafelyAndSexagesimally) {
    EXPECT_EQ(formatNumber("%s%s%s%n", 1.5), "1.5");
    EXPECT_EQ(formatNumber("%g", 1.5), "1.5");
    EXPECT_EQ(formatNumber("%10.4f", 2.0), "    2.0000");
    EXPECT_EQ(formatNumber("%10.6m", 12.5), "12:30:00");
    EXPECT_EQ(formatNumber("%010.6m", 12.7583333333), "12:45:30");
    // The longest output a valid format allows is not cut.
    EXPECT_EQ(formatNumber("%.99f", 1e300).size(), 301u + 100u);
}

TEST(NumberFormat, ReadsTypedText) {
    EXPECT_NEAR(parseNumber("%10.6m", "12:45:30"), 12.0 + 45.0 / 60 + 30.0 / 3600, 1e-9);
    EXPECT_EQ(parseNumber("%g", "abc"), 0);
    EXPECT_EQ(parseNumber("%g", ""), 0);
    EXPECT_EQ(parseNumber("%g", " 2.5 s"), 2.5);
}

TEST(NumberFormat, RefusesTypedTextThatIsNotANumber) {
    struct Case {
        const char* format;
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"%g", "2", 2.0},
        {"%g", " 2.5 ", 2.5},
        {"%g", "-1e3", -1000.0},
        {"%g", "abc", std::nullopt},
        {"%g", "", std::nullopt},
        {"%g", "2.5 s", std::nullopt},
        {"%g", "0x10", std::nullopt},
        {"%g", "inf", std::nullopt},
        {"%g", "nan", std::nullopt},
        {"%g", "1e999", std::nullopt},
        {"%10.6m", "12:45:30", 12.0 + 45.0 / 60 + 30.0 / 3600},
        {"%10.6m", "-0:30", -0.5},
        {"%10.6m", "12::30", 12.0 + 30.0 / 3600},
        {"%10.6m", "12.5", 12.5},
        {"%10.6m", "12:3x", std::nullopt},
        {"%10.6m", "ab:cd", std::nullopt},
        {"%10.6m", "1:2:3:4", std::nullopt},
        {"%10.6m", " ", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto value = zeta::app::readNumber(c.format, c.text);
        ASSERT_EQ(value.has_value(), c.value.has_value()) << c.format << " '" << c.text << "'";
        if (value) {
            EXPECT_NEAR(*value, *c.value, 1e-9) << c.text;
        }
    }
}
