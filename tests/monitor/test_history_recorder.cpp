#include <gtest/gtest.h>

#include "fakes/TestFiles.h"
#include "history/Fill.h"
#include "monitor/HistoryRecorder.h"
#include "monitor/Monitor.h"

using namespace quorvane;
using namespace std::chrono_literals;
using history::HistoryStore;
using history::PointSource;
using history::RatePoint;

namespace {

using Time = std::chrono::system_clock::time_point;

struct ScriptedRates : RateClient {
    std::vector<ServiceResult<double>> next;
    std::vector<ServiceResult<double>> ConversionRates(const std::vector<CurrencyPair>&) override {
        return next;
    }
};

struct NoAlarms : AlarmActions {
    bool Check(int, bool, double, const std::string&, AlarmTime) override { return false; }
};

class RecorderTest : public ::testing::Test {
protected:
    void Watch(int slot, const char* from, const char* to) {
        TQuote& q = monitor.Quotes()[slot];
        q.Enable = true;
        SetPair(q, from, to);
    }
    std::vector<SlotUpdate> Cycle(std::vector<ServiceResult<double>> results) {
        rates.next = std::move(results);
        return monitor.RunCycle();
    }
    std::int64_t Seconds() const {
        return std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    }

    fakes::TempFolder folder{"recorder"};
    std::vector<std::string> logged;
    ScriptedRates rates;
    NoAlarms alarms;
    Time now = Time{} + 490'000h;
    Monitor monitor{rates, alarms, [this] { return now; }};
};

TEST_F(RecorderTest, ACyclesShownRatesLandInTheStoreAtTheirAsOfTimeWhenKnown) {
    HistoryStore store((folder.path() / "h.sqlite").string(), {}, {}, Seconds());
    HistoryRecorder recorder(store, [this](const std::string& line) { logged.push_back(line); });
    monitor.SetRecorder(&recorder);
    Watch(0, "USD", "JPY");
    Watch(2, "EUR", "USD");
    Watch(5, "GBP", "JPY");
    const std::int64_t eurAsOf = Seconds() - 40;
    recorder.SetOrigin([&](const CurrencyPair& pair) -> std::optional<RateOrigin> {
        if (pair.from == EUR)
            return RateOrigin{eurAsOf, PointSource::Intraday};
        return std::nullopt; // unknown: the time it was received
    });

    // GBP/JPY fails: not stored. The same EUR as-of time next cycle is not stored again.
    Cycle({150.5, 1.08, MakeError(ServiceErrorKind::Network, "down")});
    now += 10s;
    Cycle({150.6, 1.08, 190.0});

    const auto usd = store.Read(USD, JPY, 0, Seconds());
    ASSERT_EQ(usd.size(), 2u);
    EXPECT_EQ(usd[0], (RatePoint{USD, JPY, Seconds() - 10, 150.5, PointSource::Service}));
    EXPECT_EQ(usd[1].rate, 150.6);
    EXPECT_EQ(store.Read(EUR, USD, 0, Seconds()),
              (std::vector<RatePoint>{{EUR, USD, eurAsOf, 1.08, PointSource::Intraday}}));
    EXPECT_EQ(store.Read(GBP, JPY, 0, Seconds()).size(), 1u);
    EXPECT_TRUE(logged.empty());
}

TEST_F(RecorderTest, AFailedWriteIsLoggedOnceAndTheCycleGoesOn) {
    history::StoreOptions small;
    small.maxFileBytes = 64 * 1024;
    HistoryStore store((folder.path() / "h.sqlite").string(), {}, small, Seconds());
    // Fill the file to its ceiling: batches, then single points, until even one more point does not fit.
    std::int64_t at = Seconds() - 200'000;
    const auto fill = [&](int count) {
        std::vector<RatePoint> points;
        for (int i = 0; i < count; ++i)
            points.push_back({USD, JPY, at++, 150, PointSource::Service});
        return bool(store.Append(points));
    };
    for (int i = 0; i < 100 && fill(500);)
        ++i;
    for (int i = 0; i < 1000 && fill(1);)
        ++i;
    ASSERT_FALSE(fill(1));
    ASSERT_LT(at, Seconds());
    HistoryRecorder recorder(store, [this](const std::string& line) { logged.push_back(line); });
    monitor.SetRecorder(&recorder);
    Watch(0, "USD", "JPY");
    for (double rate : {150.5, 150.7}) {
        const auto updates = Cycle({rate});
        ASSERT_EQ(updates.size(), 1u);
        EXPECT_EQ(updates[0].outcome, SlotOutcome::Shown);
        EXPECT_EQ(updates[0].rate, rate);
        now += 10s;
    }
    EXPECT_EQ(LatestRate(monitor.Histories()[0]), 150.7);
    ASSERT_EQ(logged.size(), 1u) << "once while the failure lasts";
    EXPECT_NE(logged[0].find("h.sqlite"), std::string::npos) << logged[0];
    EXPECT_TRUE(recorder.Failing());
}

TEST(DailyFill, TheDaysBeforeTheFirstPointAreAddedOnceAsEcbDaily) {
    fakes::TempFolder folder("fill");
    const std::int64_t now = 1'780'000'000;
    HistoryStore store((folder.path() / "h.sqlite").string(), {}, {}, now);
    HistoryRecorder recorder(store, {});
    const RatePoint own{USD, JPY, now - 3 * 86400, 150, PointSource::Service};
    ASSERT_TRUE(store.Append(std::vector{own}));
    EXPECT_TRUE(recorder.WantsFill(USD, JPY, now));

    const std::vector<DailyRate> daily = {
        {"2026-05-01", 140}, {"not a date", 1}, {"2026-05-20", 141}, {"2026-05-27", 142}};
    // 2026-05-27 comes after the pair's own first point (05-25) and is not filled in.
    EXPECT_EQ(recorder.Fill(USD, JPY, daily, now), 2);
    const std::vector<RatePoint> expected = {
        {USD, JPY, *history::EcbDayTime("2026-05-01"), 140, PointSource::EcbDaily},
        {USD, JPY, *history::EcbDayTime("2026-05-20"), 141, PointSource::EcbDaily},
        own};
    EXPECT_EQ(store.Read(USD, JPY, 0, now), expected);
    EXPECT_EQ(recorder.Fill(USD, JPY, daily, now), 0) << "nothing before the new first point";
}

} // namespace
