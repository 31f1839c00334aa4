// Reading the ECB daily reference rates.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "rated/RateSet.h"

using namespace quorvane;
using namespace quorvane::rated;

namespace {

std::string Sample() {
    std::ifstream in(std::string(QUORVANE_TEST_DATA) + "/rated/eurofxref-daily.xml");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Document(const std::string& cubes) {
    return "<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
           "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\"><Cube>" +
           cubes + "</Cube></gesmes:Envelope>";
}

} // namespace

TEST(RatedRateSet, ReadsTheSampleAndMapsTryAndLeavesOutUnofferedCodes) {
    auto rates = ParseEcbRates(Sample());
    ASSERT_TRUE(rates) << rates.error().text;
    EXPECT_EQ(rates.value().date, "2022-07-08");
    EXPECT_EQ(rates.value().CoveredCount(), 30); // 29 offered codes and the euro
    EXPECT_EQ(rates.value().ignored, 2);         // BGN and RON
    EXPECT_EQ(rates.value().perEuro[USD], 1.0163);
    EXPECT_EQ(rates.value().perEuro[TRY_], 17.6026);
    EXPECT_EQ(rates.value().perEuro[EUR], 1.0);
    EXPECT_FALSE(rates.value().Covers(TRL));
    EXPECT_FALSE(rates.value().Covers(AFA));
    EXPECT_EQ(CrossRate(rates.value(), USD, JPY), 138.05 / 1.0163);
    EXPECT_EQ(CrossRate(rates.value(), EUR, GBP), 0.84585);
    EXPECT_EQ(CrossRate(rates.value(), GBP, EUR), 1 / 0.84585);
}

TEST(RatedRateSet, TakesTheNewestDayOfAHistoryAndIgnoresTheSourcesEuro) {
    auto rates = ParseEcbRates(Document("<Cube time='2024-01-03'><Cube currency='USD' rate='1.09'/>"
                                        "<Cube currency='EUR' rate='3'/></Cube>"
                                        "<Cube time='2024-01-02'><Cube currency='USD' rate='1.2'/>"
                                        "<Cube currency='JPY' rate='150'/></Cube>"));
    ASSERT_TRUE(rates) << rates.error().text;
    EXPECT_EQ(rates.value().date, "2024-01-03");
    EXPECT_EQ(rates.value().perEuro[USD], 1.09);
    EXPECT_FALSE(rates.value().Covers(JPY));
    EXPECT_EQ(rates.value().perEuro[EUR], 1.0);
}

TEST(RatedRateSet, RefusesDocumentsThatAreNotGoodRates) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "not well-formed"},
        {Sample().substr(0, Sample().size() / 2), "not well-formed"},
        {"<html><body>Service unavailable</body></html>", "no Cube"},
        {Document("<Cube time='2024-01-02'></Cube>"), "no rates"},
        {Document("<Cube time='2024-01-02'><Cube currency='USD'/></Cube>"), "USD has no rate"},
        {Document("<Cube time='2024-01-02'><Cube currency='USD' rate='1,09'/></Cube>"),
         "USD is not a positive"},
        {Document("<Cube time='2024-01-02'><Cube currency='USD' rate='0'/></Cube>"), "USD is not a positive"},
        {Document("<Cube time='2024-01-02'><Cube currency='JPY' rate='-150'/></Cube>"),
         "JPY is not a positive"},
        {Document("<Cube time='2024-01-02'><Cube currency='JPY' rate='nan'/></Cube>"),
         "JPY is not a positive"},
        {Document("<Cube time='2024-01-02'><Cube currency='JPY' rate='1e400'/></Cube>"),
         "JPY is not a positive"},
        {Document("<Cube time='2024-01-02'><Cube currency='JPY' rate=' 150'/></Cube>"),
         "JPY is not a positive"},
    };
    for (const auto& [text, says] : cases) {
        auto rates = ParseEcbRates(text);
        ASSERT_FALSE(rates) << text;
        EXPECT_NE(rates.error().text.find(says), std::string::npos) << rates.error().text;
    }
}

TEST(RatedRateSet, ExternalNamesAreExactAndTryTravelsWithoutItsUnderscore) {
    EXPECT_EQ(CurrencyFromExternalName("TRY"), TRY_);
    EXPECT_EQ(CurrencyFromExternalName("AFA"), AFA);
    EXPECT_EQ(CurrencyFromExternalName("ZWD"), ZWD);
    for (const char* code : {"TRY_", "usd", "", "US", "USDX", " USD"})
        EXPECT_EQ(CurrencyFromExternalName(code), -1) << code;
    for (int i = 0; i < CurrencyCount; ++i)
        EXPECT_EQ(CurrencyFromExternalName(CurrencyExternalName(static_cast<Currency>(i))), i);
}
