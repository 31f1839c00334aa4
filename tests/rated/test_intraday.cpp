// The intraday rates laid over the ECB set: fall-back, return and the guard against absurd answers.
#include <chrono>

#include "fakes/FakeHttpServer.h"
#include "fakes/RatedService.h"

using namespace quorvane;
using namespace quorvane::test;
using rated::RateOrigin;

namespace {

constexpr const char* Path = "/v2/exchange-rates";

fakes::FakeResponse Json(std::string body, int status = 200) {
    fakes::FakeResponse response;
    response.status = status;
    response.contentType = "application/json";
    response.body = std::move(body);
    return response;
}

fakes::FakeResponse Answer(const std::string& usd, const std::string& jpy) {
    return Json(R"({"data":{"currency":"EUR","rates":{"USD":")" + usd + R"(","JPY":")" + jpy +
                R"(","BTC":"0.0000231"}}})");
}

rated::FeedOptions IntradayFeed(const fakes::FakeHttpServer& server) {
    rated::FeedOptions options = Feed(SampleRatesFile());
    options.intraday = server.Url(Path);
    options.intradayLimits.total = std::chrono::milliseconds(300);
    return options;
}

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TEST(RatedIntraday, ServesIntradayRatesFallsBackToTheEcbSetOnceAndReturns) {
    fakes::FakeResponse hang;
    hang.stall = true;
    const std::pair<const char*, fakes::FakeResponse> failures[] = {
        {"status 503", Json("{}", 503)},
        {"hang past the time-out", hang},
        {"garbage", Json("<html>maintenance")},
        {"nothing usable", Json(R"({"data":{"currency":"EUR","rates":{"BTC":"0.0000231"}}})")},
        {"another base", Json(R"({"data":{"currency":"USD","rates":{"JPY":"150"}}})")},
    };
    const std::int64_t ecbTime = rated::EcbPublicationTime("2022-07-08");
    for (const auto& [name, failure] : failures) {
        SCOPED_TRACE(name);
        fakes::FakeHttpServer server;
        server.Script("GET", Path, {Answer("1.10", "165"), failure, failure});
        server.Serve("GET", Path, Answer("1.12", "166"));
        LogCollector log;
        rated::RateFeed feed(IntradayFeed(server), log.Sink());
        ASSERT_TRUE(feed.Load());
        const std::int64_t before = Now();
        ASSERT_TRUE(feed.LoadIntraday());
        auto quote = feed.Quote(USD, JPY).value();
        EXPECT_EQ(quote.rate, 165 / 1.10);
        EXPECT_EQ(quote.origin, RateOrigin::Coinbase);
        EXPECT_TRUE(quote.asOf >= before && quote.asOf <= Now()) << quote.asOf;
        // GBP is not in the intraday answer: the ECB's, with its time, and a pair with it is as old.
        quote = feed.Quote(EUR, GBP).value();
        EXPECT_EQ(quote.rate, 0.84585);
        EXPECT_EQ(quote.origin, RateOrigin::Ecb);
        EXPECT_EQ(quote.asOf, ecbTime);
        EXPECT_EQ(feed.Quote(USD, GBP).value().asOf, ecbTime);

        EXPECT_FALSE(feed.LoadIntraday());
        EXPECT_FALSE(feed.LoadIntraday());
        quote = feed.Quote(USD, JPY).value();
        EXPECT_EQ(quote.rate, 138.05 / 1.0163);
        EXPECT_EQ(quote.origin, RateOrigin::Ecb);
        EXPECT_EQ(log.Count("source: ECB reference rates of 2022-07-08"), 1u);

        ASSERT_TRUE(feed.LoadIntraday());
        EXPECT_EQ(feed.Rate(USD, JPY).value(), 166 / 1.12);
        EXPECT_EQ(log.Count("source: intraday rates"), 2u);
    }
}

// After 1.10 for USD: a rate that is not a positive number or is more than half away is dropped (USD then
// comes from the ECB set) and logged once; the other rates of the answer are kept.
TEST(RatedIntraday, DropsRatesThatAreNotPositiveOrMoveMoreThanHalf) {
    const std::pair<const char*, bool> cases[] = {
        {"1.60", true},  {"0.56", true},   {"1.70", false}, {"0.50", false}, {"0", false},
        {"-1.1", false}, {"1e999", false}, {"inf", false},  {"nan", false},  {"", false},
    };
    for (const auto& [usd, kept] : cases) {
        SCOPED_TRACE(usd);
        fakes::FakeHttpServer server;
        server.Script("GET", Path, {Answer("1.10", "165"), Answer(usd, "166"), Answer(usd, "166")});
        LogCollector log;
        rated::RateFeed feed(IntradayFeed(server), log.Sink());
        ASSERT_TRUE(feed.Load());
        ASSERT_TRUE(feed.LoadIntraday());
        ASSERT_TRUE(feed.LoadIntraday());
        ASSERT_TRUE(feed.LoadIntraday()); // a rate that stays out is logged once
        const auto quote = feed.Quote(EUR, USD).value();
        EXPECT_EQ(quote.origin, kept ? RateOrigin::Coinbase : RateOrigin::Ecb);
        EXPECT_EQ(quote.rate, kept ? std::stod(usd) : 1.0163);
        EXPECT_EQ(log.Count("warning: intraday rate of USD dropped"), kept ? 0u : 1u);
        EXPECT_EQ(feed.Rate(EUR, JPY).value(), 166);
    }
}
