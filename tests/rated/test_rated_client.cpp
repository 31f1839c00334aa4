// Quorvane's own rate client and quorvanectl against the running service.
#include <filesystem>
#include <fstream>

#include "fakes/RatedService.h"
#include "fakes/RunProgram.h"
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
