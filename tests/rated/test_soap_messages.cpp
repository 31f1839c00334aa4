// The service's SOAP messages as bytes: requests read, answers and faults written.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>

#include "fakes/RatedService.h"
#include "rated/SoapMessages.h"

using namespace quorvane;
using namespace quorvane::rated;

TEST(RatedMessages, ReadsTheRequestsOfDifferentWritersAlike) {
    const std::string env = "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"";
    const std::vector<std::string> requests = {
        test::ConversionRequest("USD", "JPY"),
        // Prefixed operation, a header without demands, comments and blanks around the codes.
        "<soap:Envelope " + env +
            "><soap:Header><Trace xmlns=\"urn:t\">1</Trace></soap:Header><soap:Body>"
            "<!-- call --><q:ConversionRate xmlns:q=\"http://www.webserviceX.NET/\"><q:FromCurrency>\n USD\t"
            "</q:FromCurrency><q:ToCurrency>JPY</q:ToCurrency></q:ConversionRate></soap:Body></"
            "soap:Envelope>",
        // A byte order mark, a declared encoding and a code in a CDATA section.
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope " + env +
            "><soap:Body>"
            "<ConversionRate xmlns=\"http://www.webserviceX.NET/\"><ToCurrency>JPY</ToCurrency>"
            "<FromCurrency><![CDATA[USD]]></FromCurrency></ConversionRate></soap:Body></soap:Envelope>",
    };
    for (const auto& text : requests) {
        auto request = ReadConversionRequest(text);
        ASSERT_TRUE(request) << request.error().text << "\n" << text;
        EXPECT_EQ(request.value().from, USD);
        EXPECT_EQ(request.value().to, JPY);
    }
    auto turkish = ReadConversionRequest(test::ConversionRequest("TRY", "EUR"));
    ASSERT_TRUE(turkish);
    EXPECT_EQ(turkish.value().from, TRY_);
}

TEST(RatedMessages, RateTextReadsBackAsTheSameDoubleWithADot) {
    std::mt19937_64 random(5);
    std::vector<double> values = {
        1.0,    0.1, 135.83587523369084, 1e-9, 123456789.125, 5e-324, std::numeric_limits<double>::max(),
        1 / 3.0};
    for (int i = 0; i < 5000; ++i)
        values.push_back(std::exp(std::uniform_real_distribution<double>(-30, 30)(random)));
    for (double value : values) {
        const std::string text = RateText(value);
        EXPECT_EQ(text.find(','), std::string::npos) << text;
        double back = 0;
        auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_TRUE(ec == std::errc() && ptr == text.data() + text.size()) << text;
        EXPECT_EQ(back, value) << text;
    }
    EXPECT_EQ(RateText(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(RateText(std::nan("")), "NaN");
}

TEST(RatedMessages, ResponseAndFaultAreSoapEnvelopesWithEscapedText) {
    test::XPathDoc response(WriteConversionResponse(0.0072443682));
    EXPECT_EQ(response.One("/soap:Envelope/soap:Body/tns:ConversionRateResponse/tns:ConversionRateResult"),
              "0.0072443682");

    test::XPathDoc fault(WriteFault({"Client", "Unknown currency code '<&\"\x01>'"}));
    ASSERT_TRUE(fault.Valid());
    EXPECT_EQ(fault.One("/soap:Envelope/soap:Body/soap:Fault/faultcode"), "soap:Client");
    EXPECT_EQ(fault.One("/soap:Envelope/soap:Body/soap:Fault/faultstring"), "Unknown currency code '<&\"?>'");
}

TEST(RatedMessages, EchoedCodesAreCutShortOnACharacterBoundary) {
    // 31 ASCII letters, then a three-byte character across the cut.
    const std::string code = std::string(31, 'A') + "\xE5\x86\x86" + std::string(40, 'B');
    auto request = ReadConversionRequest(test::ConversionRequest(code, "JPY"));
    ASSERT_FALSE(request);
    const std::string& text = request.error().text;
    EXPECT_NE(text.find("'" + std::string(31, 'A') + "...'"), std::string::npos) << text;
    EXPECT_TRUE(test::XPathDoc(WriteFault(request.error())).Valid());
}
