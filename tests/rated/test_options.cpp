// The command line of quorvane-rated.
#include <gtest/gtest.h>

#include <filesystem>

#include "rated/Options.h"
#include "service/CurrencyConvertor.h"

using namespace quorvane;
using namespace quorvane::rated;

TEST(RatedOptions, DefaultsAndEveryOption) {
    auto defaults = ParseOptions({});
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults.value().host, "127.0.0.1");
    EXPECT_EQ(defaults.value().port, DefaultServicePort);
    EXPECT_EQ(defaults.value().feed.refresh, std::chrono::seconds(3600));
    EXPECT_FALSE(defaults.value().feed.simulate);
    EXPECT_TRUE(defaults.value().feed.source.empty());

    auto all = ParseOptions({"--listen", "[::1]:0", "--rates", "https://example.org/r.xml", "--refresh", "60",
                             "--simulate", "--walk-start", "18446744073709551615"});
    ASSERT_TRUE(all) << all.error().text;
    EXPECT_EQ(all.value().host, "::1");
    EXPECT_EQ(all.value().port, 0);
    EXPECT_EQ(all.value().feed.source, "https://example.org/r.xml");
    EXPECT_EQ(all.value().feed.refresh, std::chrono::seconds(60));
    EXPECT_TRUE(all.value().feed.simulate);
    EXPECT_EQ(all.value().feed.walkStart, 18446744073709551615ULL);

    auto help = ParseOptions({"--help"});
    ASSERT_TRUE(help);
    EXPECT_TRUE(help.value().help);
}

TEST(RatedOptions, RefusesBadValuesWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--listen", "127.0.0.1"}, {"--listen", "127.0.0.1:65536"},
        {"--listen", "::1:80"},    {"--listen", "[::1:80"},
        {"--listen", "host:http"}, {"--listen", ":80"},
        {"--refresh", "-1"},       {"--refresh", "1h"},
        {"--walk-start", "x"},     {"--rates"},
        {"--rates", ""},           {"--verbose"},
        {"--source", "nasdaq"},    {"--intraday-refresh", "0"},
    };
    for (const auto& args : bad) {
        auto options = ParseOptions(args);
        EXPECT_FALSE(options) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        if (!options) {
            EXPECT_FALSE(options.error().text.empty());
        }
    }
}

// The intraday source unless the ECB alone is chosen, never under a simulation; alone with coinbase.
TEST(RatedOptions, TheSourceChoiceGivesTheFeedItsIntradaySource) {
    struct Case {
        std::vector<std::string> args;
        bool intraday;
        bool alone;
    };
    const Case cases[] = {
        {{}, true, false},
        {{"--source", "coinbase", "--intraday-refresh", "5"}, true, true},
        {{"--source", "ecb"}, false, false},
        {{"--simulate"}, false, false},
    };
    for (const Case& c : cases) {
        auto options = ParseOptions(c.args);
        ASSERT_TRUE(options) << options.error().text;
        FeedOptions& feed = options.value().feed;
        UseIntradaySource(feed, options.value().source);
        EXPECT_EQ(feed.intraday, c.intraday ? IntradayAddress() : "") << c.args.size();
        EXPECT_EQ(feed.intradayOnly, c.alone) << c.args.size();
    }
}

TEST(RatedOptions, FindsTheShippedRatesFile) {
    const std::string found = DefaultRatesFile("/nonexistent/bin/quorvane-rated");
    EXPECT_TRUE(std::filesystem::is_regular_file(found)) << found;
    EXPECT_EQ(std::filesystem::path(found).filename(), "eurofxref-daily.xml");
}
