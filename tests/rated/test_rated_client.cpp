// Quorvane's own rate client and quorvanectl against the running service.
#include <filesystem>
#include <fstream>
#include <regex>

#include "fakes/FakeHttpServer.h"
#include "fakes/RatedService.h"
#include "fakes/RunProgram.h"
#include "service/RateInfo.h"
#include "service/WebService.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

// Aims the program's one proxy at a service for the length of a test.
class ClientOf {
public:
    explicit ClientOf(const RatedService& service, const std::string& host = "127.0.0.1") {
        RateService.reset();
        ready_ = InitRateService("http://" + host + ":" + std::to_string(service.Port()) +
                                 "/CurrencyConvertor.asmx?wsdl");
    }
    ~ClientOf() {
        RateService.reset();
    }
    bool Ready() const { return ready_; }

private:
    bool ready_ = false;
};

std::vector<Currency> Covered(const rated::RateFeed& feed) {
    std::vector<Currency> covered;
    for (int i = 0; i < CurrencyCount; ++i)
        if (feed.Current()->Covers(static_cast<Currency>(i)))
            covered.push_back(static_cast<Currency>(i));
    return covered;
}

// quorvanectl's exit status and everything it wrote.
std::pair<int, std::string> Quorvanectl(const std::string& arguments) {
    return fakes::RunProgram(std::string(QUORVANECTL_PATH) + " " + arguments + " 2>&1");
}

} // namespace

TEST(RatedWithClient, EveryCoveredPairArrivesAsTheDoubleTheServiceComputed) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    ClientOf client(service, "localhost");
    ASSERT_TRUE(client.Ready());
    const auto covered = Covered(service.Feed());
    ASSERT_EQ(covered.size(), 30u);
    for (Currency from : covered) {
        for (Currency to : covered) {
            const auto expected = service.Feed().Rate(from, to);
            ASSERT_TRUE(expected);
            EXPECT_EQ(GetConversionRate(from, to), expected.value())
                << CurrencyExternalName(from) << "/" << CurrencyExternalName(to);
        }
    }
    // The client reached the service through the name it used for the description.
    EXPECT_EQ(service.log.Count("description for http://localhost:" + std::to_string(service.Port())), 1u);
    EXPECT_EQ(service.log.Count(" fault "), 0u);
}

TEST(RatedWithClient, AnUncoveredCodeGivesZeroAndQuorvanectlShowsTheFault) {
    RatedService service;
    ASSERT_TRUE(service.Ready());
    ClientOf client(service);
    ASSERT_TRUE(client.Ready());
    EXPECT_EQ(GetConversionRate(USD, AFA), 0.0);
    EXPECT_EQ(GetConversionRate(XAU, JPY), 0.0);
    EXPECT_GT(GetConversionRate(TRY_, JPY), 0.0);

    const std::string wsdl =
        "--wsdl http://127.0.0.1:" + std::to_string(service.Port()) + "/CurrencyConvertor.asmx?wsdl";
    const auto [status, out] = Quorvanectl("rate USD AFA " + wsdl);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("No reference rate for AFA in the rates of 2022-07-08"), std::string::npos) << out;
    const auto [okStatus, okOut] = Quorvanectl("rate GBP USD " + wsdl);
    EXPECT_EQ(okStatus, 0) << okOut;
    EXPECT_EQ(std::stod(okOut), service.Feed().Rate(GBP, USD).value()) << okOut;
}

TEST(RatedWithClient, ABadRatesFileLeavesTheClientWithTheLastGoodRates) {
    const auto path =
        std::filesystem::temp_directory_path() / ("rated-client-" + std::to_string(::getpid()) + ".xml");
    std::filesystem::copy_file(SampleRatesFile(), path, std::filesystem::copy_options::overwrite_existing);
    RatedService service(Feed(path.string()));
    ASSERT_TRUE(service.Ready());
    ClientOf client(service);
    ASSERT_TRUE(client.Ready());
    const double before = GetConversionRate(USD, JPY);
    EXPECT_EQ(before, 138.05 / 1.0163);

    std::ofstream(path, std::ios::trunc) << "<gesmes:Envelope>cut off";
    EXPECT_FALSE(service.Feed().Load());
    EXPECT_EQ(GetConversionRate(USD, JPY), before);
    std::filesystem::remove(path);
}

TEST(RatedWithClient, TheSimulatedWalkReachesTheClientPositiveAndMoving) {
    std::atomic<std::int64_t> step{0};
    RatedService service(SimulatedFeed(11, [&] { return step.load(); }));
    ASSERT_TRUE(service.Ready());
    ClientOf client(service);
    ASSERT_TRUE(client.Ready());
    double previous = GetConversionRate(EUR, JPY);
    EXPECT_EQ(previous, 138.05);
    int moves = 0;
    for (std::int64_t s = 1; s <= 50; ++s) {
        step = s * 60;
        const double rate = GetConversionRate(EUR, JPY);
        EXPECT_GT(rate, 0.0);
        EXPECT_EQ(rate, service.Feed().Rate(EUR, JPY).value());
        moves += rate != previous;
        previous = rate;
    }
    EXPECT_EQ(moves, 50);
}

// Each rate's source and as-of time reach the client and quorvanectl beside the SOAP exchange, and follow
// the intraday rates as they are read again in the background.
TEST(RatedWithClient, SourceAndAsOfTimeReachTheClientAndQuorvanectl) {
    fakes::FakeHttpServer intraday;
    std::atomic<int> served{0};
    intraday.Respond("GET", "/rates", [&](const fakes::RecordedRequest&) {
        fakes::FakeResponse response;
        response.contentType = "application/json";
        response.body = R"({"data":{"currency":"EUR","rates":{"JPY":")" + std::to_string(160 + served++) +
                        R"(","USD":"1.08"}}})";
        return response;
    });
    rated::FeedOptions options = Feed(SampleRatesFile());
    options.intraday = intraday.Url("/rates");
    options.intradayRefresh = std::chrono::seconds(1);
    RatedService service(options);
    ASSERT_TRUE(service.Ready());
    ASSERT_TRUE(service.Feed().LoadIntraday());
    ClientOf client(service);
    ASSERT_TRUE(client.Ready());
    const std::string endpoint =
        "http://127.0.0.1:" + std::to_string(service.Port()) + "/CurrencyConvertor.asmx";

    const std::vector<CurrencyPair> pairs = {{USD, JPY}, {EUR, GBP}, {USD, AFA}};
    auto info = GetRateInfo(pairs, endpoint + "?wsdl");
    ASSERT_TRUE(info) << Describe(info.error());
    EXPECT_EQ(info.value()[0].rate, GetConversionRate(USD, JPY));
    EXPECT_EQ(info.value()[0].rate, 160 / 1.08);
    EXPECT_EQ(info.value()[0].source, "coinbase");
    EXPECT_EQ(info.value()[0].asOf, service.Feed().Quote(USD, JPY).value().asOf);
    EXPECT_EQ(info.value()[1].rate, 0.84585);
    EXPECT_EQ(info.value()[1].source, "ecb");
    EXPECT_EQ(info.value()[1].asOf, rated::EcbPublicationTime("2022-07-08"));
    EXPECT_NE(info.value()[2].error.find("No reference rate for AFA"), std::string::npos);

    const std::string wsdl = "--wsdl " + endpoint + "?wsdl";
    auto [status, out] = Quorvanectl("rate EUR GBP " + wsdl);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "0.84585 (ecb, as of 2022-07-08 15:00:00 UTC)\n");
    std::tie(status, out) = Quorvanectl("rate EUR JPY " + wsdl);
    EXPECT_TRUE(
        std::regex_match(out, std::regex(R"(16\d \(coinbase, as of \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC\)\n)")))
        << out;

    service.Feed().StartRefreshing();
    double moved = info.value()[0].rate;
    for (int i = 0; i < 100 && moved == info.value()[0].rate; ++i) { // bounded: a read comes every second
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto again = GetRateInfo({{USD, JPY}}, endpoint);
        moved = again ? again.value()[0].rate : moved;
    }
    service.Feed().StopRefreshing();
    EXPECT_GT(moved, info.value()[0].rate);

    // Answers that are not for the pairs asked are refused, not misread.
    const std::string malformed[] = {
        R"({"rates":[{"from":"USD","to":"JPY","rate":150,"source":"ecb","asOf":1}]})",
        R"({"rates":[{"from":"EUR","to":"JPY","rate":150,"source":"ecb","asOf":1},{"from":"USD","to":"AFA","error":"x"}]})",
        R"({"rates":[{"from":"USD","to":"JPY","rate":-150,"source":"ecb","asOf":1},{"from":"USD","to":"AFA","error":"x"}]})",
        R"({"rates":[{"from":"USD","to":"JPY","rate":150,"source":"ecb"},{"from":"USD","to":"AFA","error":"x"}]})",
    };
    for (const std::string& answer : malformed)
        EXPECT_FALSE(ReadRateInfo(answer, {{USD, JPY}, {USD, AFA}})) << answer;
}
