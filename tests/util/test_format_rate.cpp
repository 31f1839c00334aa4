#include <cmath>
#include <limits>
#include <locale.h>
#include <string>

#include <gtest/gtest.h>

#include "fakes/ScopedEnv.h"
#include "util/Util.h"

using namespace quorvane;
using quorvane::testing::ScopedEnv;

namespace {

std::string Fmt(double v) {
    return FormatRate(v, ',', '.');
}

TEST(FormatRate, FourDecimalsAndThousandsGroups) {
    EXPECT_EQ(Fmt(110.5), "110.5000");
    EXPECT_EQ(Fmt(110.25), "110.2500");
    EXPECT_EQ(Fmt(1234.5), "1,234.5000");
    EXPECT_EQ(Fmt(999.0), "999.0000");
    EXPECT_EQ(Fmt(1000.0), "1,000.0000");
    EXPECT_EQ(Fmt(123456.0), "123,456.0000");
    EXPECT_EQ(Fmt(1234567.891), "1,234,567.8910");
    EXPECT_EQ(Fmt(0.0), "0.0000");
    EXPECT_EQ(Fmt(0.0083), "0.0083");
    EXPECT_EQ(Fmt(160.0), "160.0000");
}

TEST(FormatRate, NegativeValuesAndNoNegativeZero) {
    EXPECT_EQ(Fmt(-0.12), "-0.1200");
    EXPECT_EQ(Fmt(-0.05), "-0.0500");
    EXPECT_EQ(Fmt(-1234.5), "-1,234.5000");
    EXPECT_EQ(Fmt(-0.0), "0.0000");
    EXPECT_EQ(Fmt(-0.00004), "0.0000");
    EXPECT_EQ(Fmt(-1e-300), "0.0000");
}

// Rounding works on the number as its 15 significant digits read, half away from zero, so a value
// typed as 1.00005 shows as 1.0001 although its binary form lies just below.
TEST(FormatRate, RoundsHalfAwayFromZeroOnFifteenDigits) {
    EXPECT_EQ(Fmt(0.00005), "0.0001");
    EXPECT_EQ(Fmt(-0.00005), "-0.0001");
    EXPECT_EQ(Fmt(1.00005), "1.0001");
    EXPECT_EQ(Fmt(110.12345), "110.1235");
    EXPECT_EQ(Fmt(110.12344), "110.1234");
    EXPECT_EQ(Fmt(0.99995), "1.0000");
    EXPECT_EQ(Fmt(999.99995), "1,000.0000");
    EXPECT_EQ(Fmt(-99999.99999), "-100,000.0000");
}

TEST(FormatRate, AtMostFifteenSignificantDigits) {
    EXPECT_EQ(Fmt(12345678901.2345), "12,345,678,901.2345");
    EXPECT_EQ(Fmt(123456789012.3456), "123,456,789,012.3460");
    EXPECT_EQ(Fmt(1234567890123456.0), "1,234,567,890,123,460.0000");
    EXPECT_EQ(Fmt(1e20), "100,000,000,000,000,000,000.0000");
    EXPECT_EQ(Fmt(std::numeric_limits<double>::max()).size(), 309u + 102u + 5u);
}

TEST(FormatRate, NonFiniteValues) {
    EXPECT_EQ(Fmt(std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(Fmt(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(Fmt(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(FormatRate, SeparatorsOfAnyLength) {
    EXPECT_EQ(FormatRate(1234567.5, '.', ','), "1.234.567,5000");
    EXPECT_EQ(FormatRate(1234567.5, "\u202f", ","), "1\u202f234\u202f567,5000");
    EXPECT_EQ(FormatRate(-1234.5, "", "."), "-1234.5000");
    EXPECT_EQ(FormatRate(-1234.5, "'", "."), "-1'234.5000");
}

// The locale wrapper reads the user's locale from the environment; the locales come from scripts/setup.
void ExpectLocaleInstalled(const char* name) {
    locale_t loc = newlocale(LC_NUMERIC_MASK, name, locale_t(0));
    ASSERT_NE(loc, locale_t(0)) << name << " is not installed; scripts/setup generates it";
    freelocale(loc);
}

TEST(FormatRateLocale, UsesTheSeparatorsOfTheUsersLocale) {
    ExpectLocaleInstalled("de_DE.UTF-8");
    ExpectLocaleInstalled("ja_JP.UTF-8");
    {
        ScopedEnv env("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(FormatRate(1234.5), "1.234,5000");
        EXPECT_EQ(FormatRate(-0.12), "-0,1200");
    }
    {
        ScopedEnv env("LC_ALL", "ja_JP.UTF-8");
        EXPECT_EQ(FormatRate(1234.5), "1,234.5000");
        EXPECT_EQ(FormatRate(110.25), "110.2500");
    }
    {
        ScopedEnv env("LC_ALL", "C");
        EXPECT_EQ(FormatRate(1234.5), "1234.5000");
    }
}

TEST(FormatRateLocale, NumericCategoryAndLangAreHonouredAndAnUnknownLocaleFallsBackToC) {
    ExpectLocaleInstalled("de_DE.UTF-8");
    ScopedEnv noAll("LC_ALL", "");
    {
        ScopedEnv lang("LANG", "ja_JP.UTF-8");
        ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8");
        EXPECT_EQ(FormatRate(1234.5), "1.234,5000");
    }
    {
        ScopedEnv lang("LANG", "de_DE.UTF-8");
        ScopedEnv numeric("LC_NUMERIC", "");
        EXPECT_EQ(FormatRate(1234.5), "1.234,5000");
    }
    {
        ScopedEnv lang("LANG", "xx_NOWHERE.UTF-8");
        ScopedEnv numeric("LC_NUMERIC", "");
        EXPECT_EQ(FormatRate(1234.5), "1234.5000");
    }
}

// The program's own setlocale (the window toolkit sets one, others may reset LC_NUMERIC to "C" for
// number parsing) must not change what the user sees.
TEST(FormatRateLocale, IndependentOfTheProcessLocale) {
    ExpectLocaleInstalled("de_DE.UTF-8");
    ScopedEnv env("LC_ALL", "ja_JP.UTF-8");
    ASSERT_NE(setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(FormatRate(1234.5), "1,234.5000");
    setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(FormatRate(1234.5), "1,234.5000");
}

} // namespace
