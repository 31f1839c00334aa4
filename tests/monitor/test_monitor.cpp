#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "monitor/Monitor.h"

using namespace quorvane;
using namespace std::chrono_literals;

namespace {

using Time = std::chrono::system_clock::time_point;

// Answers each cycle with the results it was given and keeps the pairs asked for.
struct ScriptedRates : RateClient {
    std::vector<ServiceResult<double>> next;
    std::vector<std::vector<CurrencyPair>> asked;
    ServiceResult<std::vector<RateInfo>> nextInfo = std::vector<RateInfo>{};
    int infoAsked = 0;
    std::vector<ServiceResult<double>> ConversionRates(const std::vector<CurrencyPair>& pairs) override {
        asked.push_back(pairs);
        return next;
    }
    ServiceResult<std::vector<RateInfo>> RateInfos(const std::vector<CurrencyPair>&) override {
        ++infoAsked;
        return nextInfo;
    }
};

// Records each evaluation with what the monitor had stored and shown by then.
struct RecordingAlarms : AlarmActions {
    struct Call {
        int slot;
        bool upper;
        double rate;
        std::string title;
        double latest; // the slot's latest stored rate at the time
        int shown;     // updates handed to the window so far
        AlarmTime time;
    };
    const Monitor* monitor = nullptr;
    const int* shown = nullptr;
    std::vector<Call> calls;
    double above = 100; // the upper side is on above this
    bool Check(int slot, bool upper, double rate, const std::string& title, AlarmTime now) override {
        calls.push_back(
            {slot, upper, rate, title, LatestRate(monitor->Histories()[slot]), shown ? *shown : 0, now});
        return upper && rate > above;
    }
};

class MonitorCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        alarms.monitor = &monitor;
        alarms.shown = &shownCount;
    }
    void Watch(int slot, const char* from, const char* to, bool enable = true) {
        TQuote& q = monitor.Quotes()[slot];
        q.Enable = enable;
        q.From = from;
        q.To = to;
        q.FromCur = CurrencyFromCode(from);
        q.ToCur = CurrencyFromCode(to);
        q.Title = q.From + "/" + q.To;
    }
    std::vector<SlotUpdate> Cycle(std::vector<ServiceResult<double>> results) {
        rates.next = std::move(results);
        return monitor.RunCycle([this](const SlotUpdate&) { ++shownCount; });
    }

    ScriptedRates rates;
    RecordingAlarms alarms;
    Time now = Time{} + 1000h;
    int shownCount = 0;
    Monitor monitor{rates, alarms, [this] { return now; }};
};

} // namespace

TEST(RateHistoryTest, RingKeepsThreeRatesAndAResetClearsOnlyTheStart) {
    RateHistories h{};
    for (double r : {1, 2, 3})
        PushRate(h[0], r);
    EXPECT_EQ(PreviousRate(h[0]), 3);
    PushRate(h[0], 4);
    EXPECT_EQ(h[0].Last, 0);
    EXPECT_EQ(h[0].Next, 1);
    EXPECT_EQ(PreviousRate(h[0]), 4);
    EXPECT_EQ(LatestRate(h[0]), 4);

    ScriptedRates rates;
    RecordingAlarms alarms;
    Monitor monitor(rates, alarms, [] { return Time{}; });
    monitor.Histories() = h;
    // Two rates, then off and on: the previous value is the second rate.
    PushRate(monitor.Histories()[1], 10);
    PushRate(monitor.Histories()[1], 20);
    monitor.ResetHistories();
    EXPECT_EQ(PreviousRate(monitor.Histories()[1]), 20);
    EXPECT_EQ(LatestRate(monitor.Histories()[1]), 0);
    // Four rates, then off and on: the last one sat at position 0, which the reset cleared.
    EXPECT_EQ(PreviousRate(monitor.Histories()[0]), 0);
    EXPECT_EQ(monitor.Histories()[0].Rates[1], 2);
}

TEST_F(MonitorCoreTest, ACycleAsksForTheCompleteEnabledSlotsInSlotOrder) {
    Watch(6, "EUR", "JPY");
    Watch(0, "USD", "JPY");
    Watch(3, "GBP", "JPY", false);
    Watch(2, "EUR", "USD");
    monitor.Quotes()[4] = monitor.Quotes()[2];
    monitor.Quotes()[4].To.clear(); // enabled, no target currency: skipped without error

    const auto updates = Cycle({110.25, 1.0825, 160.5});
    ASSERT_EQ(rates.asked.size(), 1u) << "one request for the whole cycle";
    std::vector<std::pair<Currency, Currency>> asked;
    for (const CurrencyPair& pair : rates.asked[0])
        asked.emplace_back(pair.from, pair.to);
    EXPECT_EQ(asked, (std::vector<std::pair<Currency, Currency>>{{USD, JPY}, {EUR, USD}, {EUR, JPY}}));
    ASSERT_EQ(updates.size(), 3u);
    EXPECT_EQ(updates[1].slot, 2);
    EXPECT_EQ(updates[1].rate, 1.0825);
    EXPECT_EQ(updates[2].slot, 6);
    EXPECT_EQ(updates[2].time, now);

    monitor.Quotes() = {};
    EXPECT_TRUE(Cycle({}).empty());
    EXPECT_EQ(rates.asked.size(), 1u) << "nothing monitored, nothing asked";
}

TEST_F(MonitorCoreTest, AlarmsRunInSlotOrderBeforeTheRateIsStoredAndAfterTheSlotBeforeWasShown) {
    Watch(0, "USD", "JPY");
    Watch(1, "EUR", "JPY");
    Cycle({90.0, 150.0});
    alarms.calls.clear();
    shownCount = 0;
    now += 60s;

    const auto updates = Cycle({105.0, 160.5});
    ASSERT_EQ(alarms.calls.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& call = alarms.calls[i];
        EXPECT_EQ(call.slot, static_cast<int>(i / 2)) << i;
        EXPECT_EQ(call.upper, i % 2 == 0) << i;
        EXPECT_EQ(call.shown, static_cast<int>(i / 2)) << i;
        EXPECT_EQ(call.time, now) << i << ": the monitor's clock, not the system's";
    }
    EXPECT_EQ(alarms.calls[0].latest, 90) << "the rate is stored after its alarms";
    EXPECT_EQ(alarms.calls[2].title, "EUR/JPY");
    EXPECT_EQ(updates[0].previous, 90);
    EXPECT_EQ(updates[0].change, 15);
    EXPECT_TRUE(updates[0].upper);
    EXPECT_FALSE(updates[0].lower);
    EXPECT_EQ(updates[1].change, 10.5);
    EXPECT_EQ(updates[1].time, now);
}

TEST_F(MonitorCoreTest, TheFirstUnusableAnswerEndsTheCycleWithItsReason) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        std::vector<ServiceResult<double>> answers;
        std::string reason; // contained in the failed slot's reason
    } cases[] = {
        {{1.0, MakeError(ServiceErrorKind::Timeout, "no answer in 10 s"), 3.0}, "no answer in 10 s"},
        {{1.0, 0.0, 3.0}, "not a positive rate"},
        {{1.0, -2.0, 3.0}, "not a positive rate"},
        {{1.0, nan, 3.0}, "not a positive rate"},
        {{1.0, inf, 3.0}, "not a positive rate"},
        {{1.0}, "no answer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        monitor.Quotes() = {};
        monitor.Histories() = {};
        Watch(0, "USD", "JPY");
        Watch(3, "EUR", "JPY");
        Watch(5, "GBP", "JPY");
        alarms.calls.clear();

        const auto updates = Cycle(c.answers);
        ASSERT_EQ(updates.size(), 3u);
        EXPECT_EQ(updates[0].outcome, SlotOutcome::Shown);
        EXPECT_EQ(updates[1].outcome, SlotOutcome::Failed);
        EXPECT_NE(updates[1].reason.find(c.reason), std::string::npos) << updates[1].reason;
        EXPECT_EQ(updates[2].outcome, SlotOutcome::Dropped);
        EXPECT_EQ(alarms.calls.size(), 2u) << "only the slot before the failure is evaluated";
        EXPECT_EQ(monitor.Histories()[3].Next, 0);
        EXPECT_EQ(monitor.Histories()[5].Next, 0) << "an answer after the failure is dropped unseen";
    }
}

TEST_F(MonitorCoreTest, AShownRateKeepsItsSourceAndTimeUntilTheNextShownRateOfItsSlot) {
    Watch(0, "USD", "JPY");
    Watch(3, "EUR", "JPY");
    const std::int64_t t = 1'800'000'000;
    const CurrencyPair usdJpy{static_cast<Currency>(CurrencyFromCode("USD")), static_cast<Currency>(CurrencyFromCode("JPY"))};
    const CurrencyPair eurJpy{static_cast<Currency>(CurrencyFromCode("EUR")), static_cast<Currency>(CurrencyFromCode("JPY"))};
    const auto cycle = [this](std::vector<ServiceResult<double>> results) {
        const CycleRequest request = monitor.StartCycle();
        const RateInfoAnswer infos = monitor.FetchInfo(request, results);
        const auto updates = monitor.FinishCycle(request, results, {}, infos);
        monitor.ApplyInfo(request, updates, infos);
    };

    rates.nextInfo = std::vector<RateInfo>{{usdJpy, 150.0, "coinbase", t, ""},
                                           {eurJpy, 0, "", 0, "no rate for EUR"}};
    cycle({150.0, 160.0});
    EXPECT_EQ(rates.infoAsked, 1) << "one request for all the slots";
    SlotAge age = monitor.Age(0, t + 60);
    EXPECT_TRUE(age.known);
    EXPECT_EQ(age.source, "coinbase");
    EXPECT_EQ(age.asOf, t);
    EXPECT_FALSE(age.stale);
    EXPECT_TRUE(monitor.Age(0, t + 600).stale) << "an intraday rate is old after five minutes";
    EXPECT_FALSE(monitor.Age(3, t).known) << "an error for the pair is no source";

    // Nothing shown: nothing asked, and the rate on show keeps its time, growing old.
    cycle({MakeError(ServiceErrorKind::Timeout, "no answer")});
    EXPECT_EQ(rates.infoAsked, 1);
    EXPECT_TRUE(monitor.Age(0, t + 600).stale);

    // A service without the answer: a new rate is shown with no age rather than the last one's.
    rates.nextInfo = MakeError(ServiceErrorKind::HttpStatus, "HTTP status 404");
    cycle({151.0, 161.0});
    EXPECT_FALSE(monitor.Age(0, t + 600).known);

    rates.nextInfo = std::vector<RateInfo>{{usdJpy, 152.0, "ecb", t, ""}, {eurJpy, 162.0, "ecb", t, ""}};
    cycle({152.0, 162.0});
    EXPECT_TRUE(monitor.Age(3, t).known);
    Watch(3, "GBP", "JPY");
    EXPECT_FALSE(monitor.Age(3, t).known) << "the age of another pair's rate";
}
