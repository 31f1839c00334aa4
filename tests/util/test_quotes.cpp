#include <gtest/gtest.h>

#include "util/Currency.h"
#include "util/Quotes.h"

using namespace quorvane;

TEST(CurrencyFromCode, MatchesNamesIgnoringAsciiCase) {
    EXPECT_EQ(CurrencyFromCode("USD"), 138);
    EXPECT_EQ(CurrencyFromCode("usd"), 138);
    EXPECT_EQ(CurrencyFromCode("Usd"), 138);
    EXPECT_EQ(CurrencyFromCode("GBP"), 16);
    EXPECT_EQ(CurrencyFromCode("EUR"), 42);
    EXPECT_EQ(CurrencyFromCode("JPY"), 61);
    EXPECT_EQ(CurrencyFromCode("try_"), 150);
}

TEST(CurrencyFromCode, RejectsEmptyPartialAndExternalNames) {
    for (const char* code : {"", "US", "USDX", "TRY", " USD"})
        EXPECT_EQ(CurrencyFromCode(code), -1) << code;
}

TEST(Currency, EveryNameMapsBackToItsOrdinal) {
    for (int i = 0; i < CurrencyCount; ++i)
        EXPECT_EQ(CurrencyFromCode(CurrencyNames[i]), i);
    EXPECT_EQ(CurrencyExternalName(TRY_), "TRY");
    EXPECT_EQ(CurrencyExternalName(USD), "USD");
}

TEST(Quotes, TitleAndOrdinalsFollowTheCodes) {
    EXPECT_EQ(PairTitle("USD", "JPY"), "USD/JPY");
    EXPECT_EQ(PairTitle("", "JPY"), "未設定");
    EXPECT_EQ(PairTitle("USD", ""), "未設定");
    EXPECT_EQ(PairTitle("ABC", "JPY"), "ABC/JPY");

    TQuote q;
    SetPair(q, "usd", "XYZ");
    EXPECT_EQ(q.FromCur, USD);
    EXPECT_EQ(q.ToCur, 255);
    EXPECT_EQ(q.Title, "usd/XYZ");
}

TEST(Quotes, TablesCopyByValue) {
    QuoteTable a{};
    SetPair(a[2], "EUR", "USD");
    a[2].Enable = true;
    QuoteTable b = a;
    b[2].Enable = false;
    EXPECT_TRUE(a[2].Enable);
    EXPECT_EQ(EnabledCount(a), 1);
    EXPECT_EQ(EnabledCount(b), 0);
}
