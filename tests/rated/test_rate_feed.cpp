// Reading, refreshing and simulating the rates the service answers with.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "fakes/RatedService.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

std::string RatesDocument(const std::string& usd, const std::string& jpy) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
           "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\"><Cube><Cube time='2024-01-02'>"
           "<Cube currency='USD' rate='" +
           usd + "'/><Cube currency='JPY' rate='" + jpy +
           "'/>"
           "</Cube></Cube></gesmes:Envelope>\n";
}

class TempFile {
public:
    TempFile()
        : path_(std::filesystem::temp_directory_path() /
                ("rated-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++) + ".xml")) {}
    ~TempFile() { std::filesystem::remove(path_); }
    void Write(const std::string& text) const {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    }
    std::string Path() const { return path_.string(); }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

double Rate(const rated::RateFeed& feed, Currency from, Currency to) {
    auto rate = feed.Rate(from, to);
    return rate ? rate.value() : -1;
}

} // namespace

TEST(RatedFeed, AFailedReadKeepsTheLastGoodSet) {
    TempFile file;
    file.Write(RatesDocument("1.25", "150"));
    LogCollector log;
    rated::RateFeed feed(Feed(file.Path()), log.Sink());
    ASSERT_TRUE(feed.Load());
    EXPECT_EQ(Rate(feed, USD, JPY), 150 / 1.25);

    file.Write(RatesDocument("1.5", "160"));
    ASSERT_TRUE(feed.Load());
    EXPECT_EQ(Rate(feed, USD, JPY), 160 / 1.5);

    const std::vector<std::string> bad = {
        "",
        "<not xml",
        RatesDocument("1.6", "-3"),
        RatesDocument("abc", "170"),
        RatesDocument("1.6", "1e999"),
        RatesDocument("1.6", "170").substr(0, 200),
        "<gesmes:Envelope xmlns:gesmes=\"x\"/>",
    };
    for (const auto& text : bad) {
        file.Write(text);
        EXPECT_FALSE(feed.Load()) << text;
        EXPECT_EQ(Rate(feed, USD, JPY), 160 / 1.5) << text;
    }
    std::filesystem::remove(file.Path());
    EXPECT_FALSE(feed.Load());
    EXPECT_EQ(Rate(feed, USD, JPY), 160 / 1.5);
    EXPECT_EQ(log.Count("warning: "), bad.size() + 1);
    EXPECT_EQ(log.Count("keeping the rates of 2024-01-02"), bad.size() + 1);
}

TEST(RatedFeed, RefreshesInTheBackgroundAndTheServiceFollows) {
    TempFile file;
    file.Write(RatesDocument("1.25", "150"));
    RatedService service(Feed(file.Path(), 1));
    ASSERT_TRUE(service.Ready());
    service.Feed().StartRefreshing();
    auto served = [&] {
        auto res = service.Post(ConversionRequest("USD", "JPY"));
        return res ? XPathDoc(res->body).One("//tns:ConversionRateResult") : std::string();
    };
    const std::string before = served();
    ASSERT_EQ(std::stod(before), 150 / 1.25);

    file.Write(RatesDocument("2", "150"));
    std::string after = before;
    for (int i = 0; i < 100 && after == before; ++i) { // bounded: refresh comes every second
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        after = served();
    }
    EXPECT_EQ(std::stod(after), 75.0);
    service.Feed().StopRefreshing();
}

TEST(RatedFeed, ReadsFromAnHttpSourceAndKeepsRatesWhenItFails) {
    httplib::Server source;
    std::atomic<int> mode{0};
    source.Get("/eurofxref-daily.xml", [&](const httplib::Request&, httplib::Response& res) {
        if (mode == 0)
            res.set_content(RatesDocument("1.1", "140"), "text/xml");
        else if (mode == 1)
            res.status = 404;
        else
            res.set_content("<html>maintenance</html>", "text/html");
    });
    const int port = source.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread thread([&] { source.listen_after_bind(); });
    struct Stop {
        httplib::Server& server;
        std::thread& thread;
        ~Stop() {
            // stop() only takes once the listener runs; it gives up waiting after five seconds.
            for (int i = 0; i < 5000 && !server.is_running(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            server.stop();
            thread.join();
        }
    } stop{source, thread};

    LogCollector log;
    rated::RateFeed feed(Feed("http://127.0.0.1:" + std::to_string(port) + "/eurofxref-daily.xml"),
                         log.Sink());
    ASSERT_TRUE(feed.Load()) << (log.Lines().empty() ? "" : log.Lines().back());
    EXPECT_EQ(Rate(feed, USD, JPY), 140 / 1.1);
    mode = 1;
    auto notFound = feed.Load();
    ASSERT_FALSE(notFound);
    EXPECT_NE(notFound.error().text.find("404"), std::string::npos) << notFound.error().text;
    mode = 2;
    EXPECT_FALSE(feed.Load());
    EXPECT_EQ(Rate(feed, USD, JPY), 140 / 1.1);

    rated::RateFeed unreachable(Feed("http://127.0.0.1:1/rates.xml"), log.Sink());
    EXPECT_FALSE(unreachable.Load());
    EXPECT_EQ(unreachable.Rate(USD, JPY).error().text, "No reference rate for USD");
}

TEST(RatedFeed, SimulatedRatesStayPositiveMoveAndRepeatWithTheSeed) {
    std::atomic<std::int64_t> step{0};
    auto options = [&](std::uint64_t start) { return SimulatedFeed(start, [&] { return step.load(); }); };
    LogCollector log;
    rated::RateFeed feed(options(7), log.Sink()), same(options(7), log.Sink()), other(options(8), log.Sink());
    ASSERT_TRUE(feed.Load() && same.Load() && other.Load());
    const double start = Rate(feed, USD, JPY);
    EXPECT_EQ(start, 138.05 / 1.0163); // the walk starts at the source's rates

    double previous = start, low = start, high = start;
    int moves = 0;
    for (std::int64_t s = 1; s <= 20000; ++s) {
        step = s;
        const double rate = Rate(feed, USD, JPY);
        ASSERT_GT(rate, 0.0) << "step " << s;
        ASSERT_TRUE(std::isfinite(rate));
        // One step moves each of the two euro rates by at most 4 basis points.
        ASSERT_LE(std::abs(std::log(rate / previous)), 2 * rated::RandomWalk::StepSize + 1e-12)
            << "step " << s;
        moves += rate != previous;
        low = std::min(low, rate);
        high = std::max(high, rate);
        previous = rate;
        if (s % 5000 == 0) {
            EXPECT_EQ(Rate(same, USD, JPY), rate);
            EXPECT_NE(Rate(other, USD, JPY), rate);
            EXPECT_EQ(Rate(feed, EUR, EUR), 1.0);
            EXPECT_EQ(Rate(feed, JPY, JPY), 1.0);
        }
    }
    EXPECT_GT(moves, 19000);
    EXPECT_GT(high / low, 1.005); // it wanders, not just jitters
    EXPECT_LT(high / low, 2.0);

    // Far ahead it is still positive, and asking for an earlier moment again gives the same rate.
    step = 3 * 86400;
    EXPECT_FALSE(feed.Rate(XAU, USD)); // the walk gives no rate to what the source does not cover
    EXPECT_GT(Rate(feed, GBP, USD), 0.0);
    step = 20000;
    EXPECT_EQ(Rate(feed, USD, JPY), previous);
}
