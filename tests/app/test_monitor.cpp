#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <regex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "AppFixture.h"
#include "EventLoopWatch.h"
#include "fakes/SilentListener.h"
#include "fakes/RateServiceFake.h"
#include "fakes/RatedService.h"
#include "app/ProgramHistory.h"
#include "app/Unit7.h"
#include "app/toolkit/Controls.h"
#include "service/HttpTransport.h"
#include "service/WebService.h"

using namespace quorvane;
using namespace quorvane::test;
using namespace std::chrono_literals;

namespace {

using Pairs = std::vector<std::string>;

// The requests of a cycle travel together, so the service sees them in any order.
Pairs Sorted(Pairs pairs) {
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

const char* const EightPairs[SlotCount][2] = {{"USD", "JPY"}, {"EUR", "JPY"}, {"EUR", "USD"}, {"GBP", "JPY"},
                                              {"AUD", "JPY"}, {"CHF", "JPY"}, {"GBP", "USD"}, {"EUR", "GBP"}};
const double EightRates[SlotCount] = {110.25, 160.5, 1.0825, 190.75, 95.5, 120.125, 1.25, 0.875};

std::string PairOf(int slot) {
    return std::string(EightPairs[slot][0]) + "/" + EightPairs[slot][1];
}

// A loopback port that nobody listens on: bound for a moment, then let go.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

class MonitorTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(service.Running());
        service.SetRate("USD/JPY", 110.25);
        service.SetRate("EUR/JPY", 160.5);
        service.SetRate("EUR/USD", 1.0825);
        service.SetRate("GBP/JPY", 190.75);
    }
    // The program's start as far as the monitor goes: settings, main window, monitor window.
    void TearDown() override {
        RateService.reset(); // connections kept alive go before the service stops
        AppTest::TearDown();
    }
    void Start(const std::string& system, const std::string& sections) { Start(service, system, sections); }
    void Start(const RateServiceFake& rates, const std::string& system, const std::string& sections) {
        WriteSettings("[System]\r\nSERVICE_URL=" + rates.DescriptionAddress() + "\r\n" + system + "\r\n" +
                      sections);
        form1 = std::make_unique<TForm1>(SettingsPath());
        form4 = std::make_unique<TForm4>();
    }
    static std::string Slot(int n, const char* from, const char* to, bool enable = true) {
        return "[Currency" + std::to_string(n) + "]\r\nFrom=" + from + "\r\nTo=" + to +
               "\r\nEnable=" + (enable ? "1" : "0") + "\r\n\r\n";
    }
    std::string Text(const QString& name) const {
        return FindControl<TLabel>(form1.get(), name)->text().toStdString();
    }
    TCheckBox* StartBox() const { return FindControl<TCheckBox>(form1.get(), QStringLiteral("CB_START")); }
    QColor Lamp() const { return FindControl<TShape>(form1.get(), QStringLiteral("Shape1"))->BrushColor(); }
    // Slot 0 plays the sound "up" once its rate is above 100.
    void SoundAbove100() {
        const QString wav = dir.filePath(QStringLiteral("up.wav"));
        QFile file(wav);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        AddSound("up", wav.toStdString());
        Alerts[0].ALEnable = true;
        Alerts[0].AH = 100;
        Alerts[0].SOUND_H = 1;
    }

    // All eight slots shown, each with a pair of its own that the service knows.
    static std::string EightSlots(RateServiceFake& rates, double factor = 1) {
        std::string sections;
        for (int slot = 0; slot < SlotCount; ++slot) {
            rates.SetRate(PairOf(slot), EightRates[slot] * factor);
            sections += Slot(slot, EightPairs[slot][0], EightPairs[slot][1]);
        }
        return sections;
    }
    std::vector<std::string> Shown() const {
        std::vector<std::string> texts;
        for (int n = 1; n <= SlotCount; ++n)
            texts.push_back(Text(QStringLiteral("LB_V%1").arg(n)));
        return texts;
    }

    RateServiceFake service;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm4> form4;
};

} // namespace

TEST_F(MonitorTest, SwitchingOnFetchesEveryShownSlotInOrderAndSkipsIncompleteOnes) {
    Start("INTERVAL=60\r\n", Slot(0, "USD", "JPY") + Slot(2, "EUR", "USD") + Slot(3, "GBP", "JPY", false) +
                                 Slot(4, "EUR", "") + Slot(6, "EUR", "JPY"));
    form1->show();
    StartBox()->click();
    EXPECT_EQ(Sorted(service.Requests()), Sorted({"USD/JPY", "EUR/USD", "EUR/JPY"}));
    EXPECT_TRUE(BasicData.MonitorOn);
    EXPECT_TRUE(form4->Timer1->Enabled());
    EXPECT_EQ(form4->Timer1->Interval(), 60000);
    EXPECT_EQ(Text(QStringLiteral("LB_V1")), "110.2500");
    EXPECT_EQ(Text(QStringLiteral("LB_V3")), "1.0825");
    EXPECT_EQ(Text(QStringLiteral("LB_V7")), "160.5000");
    EXPECT_EQ(Text(QStringLiteral("LB_V5")), "---------");
    EXPECT_EQ(form1->windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_EQ(Lamp(), ClWhite);

    StartBox()->click();
    EXPECT_FALSE(form4->Timer1->Enabled());
    EXPECT_FALSE(BasicData.MonitorOn);
    EXPECT_EQ(service.Requests().size(), 3u) << "switching off fetches nothing";
    EXPECT_EQ(Text(QStringLiteral("LB_V1")), "110.2500") << "the displays stay";
}

TEST_F(MonitorTest, AFailedFetchEndsTheCycleWithTheLampLitAndTheErrorTitle) {
    Start("INTERVAL=60\r\n", Slot(0, "USD", "JPY") + Slot(2, "EUR", "USD"));
    service.Fail("USD/JPY");
    testing::internal::CaptureStderr();
    form1->GetRate();
    form1->GetRate();
    const std::string log = testing::internal::GetCapturedStderr();
    // The reason the service gave reaches the tooltips, and the log once while it stays the same.
    const QString lampTip = FindControl<TShape>(form1.get(), QStringLiteral("Shape1"))->toolTip();
    EXPECT_TRUE(lampTip.contains(QStringLiteral("no rate"))) << lampTip.toStdString();
    EXPECT_TRUE(form1->toolTip().contains(QStringLiteral("no rate"))) << form1->toolTip().toStdString();
    EXPECT_NE(log.find("no rate"), std::string::npos) << log;
    EXPECT_EQ(log.find("no rate"), log.rfind("no rate")) << log;
    // Slot 2 was asked for together with slot 0; its answer is dropped unseen.
    EXPECT_EQ(Sorted(service.Requests()), Sorted({"USD/JPY", "EUR/USD", "USD/JPY", "EUR/USD"}));
    EXPECT_EQ(form1->windowTitle(), QString::fromUtf8("Quorvane 通信エラー"));
    EXPECT_EQ(Lamp(), ClLime);
    EXPECT_EQ(Text(QStringLiteral("LB_V3")), "---------");

    // The next cycle starts from the normal title and the first slot again.
    service.SetRate("USD/JPY", 111);
    service.ClearRequests();
    form1->GetRate();
    EXPECT_EQ(Sorted(service.Requests()), Sorted({"USD/JPY", "EUR/USD"}));
    EXPECT_EQ(form1->windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_EQ(Lamp(), ClWhite);
    EXPECT_TRUE(form1->toolTip().isEmpty());
    EXPECT_EQ(FindControl<TShape>(form1.get(), QStringLiteral("Shape1"))->toolTip(),
              QString::fromUtf8("通信インジケータ"));
}

TEST_F(MonitorTest, AServiceThatIsNotThereFailsTheFirstSlotOnly) {
    WriteSettings("[System]\r\nSERVICE_URL=http://127.0.0.1:" + std::to_string(ClosedPort()) +
                  "/CurrencyConvertor.asmx?wsdl\r\n\r\n" + Slot(1, "USD", "JPY") + Slot(5, "EUR", "JPY"));
    form1 = std::make_unique<TForm1>(SettingsPath());
    form4 = std::make_unique<TForm4>();
    form1->GetRate();
    EXPECT_EQ(form1->windowTitle(), QString::fromUtf8("Quorvane 通信エラー"));
    EXPECT_EQ(Text(QStringLiteral("LB_V2")), "---------");
}

TEST_F(MonitorTest, ARefreshNeitherResetsHistoriesNorTouchesTheTimer) {
    Start("INTERVAL=60\r\n", Slot(0, "USD", "JPY"));
    form1->GetRate();
    service.SetRate("USD/JPY", 110.5);
    form1->GetRate();
    EXPECT_EQ(Text(QStringLiteral("LB_B1")), "110.2500");
    EXPECT_EQ(Text(QStringLiteral("LB_D1")), "0.2500");
    EXPECT_FALSE(form4->Timer1->Enabled());

    // Off and on again: the histories restart, so the previous value is the last one before the reset.
    form1->show();
    StartBox()->click();
    EXPECT_EQ(Text(QStringLiteral("LB_B1")), "110.5000");
    EXPECT_EQ(form1->Histories()[0].Next, 1);
}

TEST_F(MonitorTest, ANewIntervalTakesEffectAtTheNextTick) {
    Start("INTERVAL=60\r\n", Slot(0, "USD", "JPY"));
    form1->show();
    StartBox()->click();
    EXPECT_EQ(form4->Timer1->Interval(), 60000);
    const int remaining = form4->Timer1->RemainingTime();

    BasicData.Interval = 10; // what the settings dialog does
    EXPECT_EQ(form4->Timer1->Interval(), 60000);
    EXPECT_LE(form4->Timer1->RemainingTime(), remaining) << "the running period is not restarted";

    service.ClearRequests();
    form4->Timer1Timer();
    EXPECT_EQ(service.Requests(), (Pairs{"USD/JPY"}));
    EXPECT_EQ(form4->Timer1->Interval(), 10000);
    EXPECT_TRUE(form4->Timer1->Enabled());
    EXPECT_GT(form4->Timer1->RemainingTime(), 5000);
}

TEST_F(MonitorTest, TicksRunCyclesUntilSwitchedOff) {
    Start("INTERVAL=1\r\n", Slot(0, "USD", "JPY"));
    form1->show();
    StartBox()->click();
    QTRY_VERIFY_WITH_TIMEOUT(service.Requests().size() >= 3, 20000);
    StartBox()->click();
    const auto fetched = service.Requests().size();
    QTest::qWait(1300);
    EXPECT_EQ(service.Requests().size(), fetched);
}

TEST_F(MonitorTest, IntervalZeroFetchesOnlyAtSwitchOnAndRefresh) {
    Start("INTERVAL=0\r\n", Slot(0, "USD", "JPY"));
    form1->show();
    StartBox()->click();
    EXPECT_TRUE(form4->Timer1->Enabled());
    EXPECT_EQ(service.Requests().size(), 1u);
    QTest::qWait(300);
    EXPECT_EQ(service.Requests().size(), 1u);
    form1->GetRate();
    EXPECT_EQ(service.Requests().size(), 2u);
}

TEST_F(MonitorTest, HugeOrNegativeIntervalsNeitherOverflowNorTick) {
    EXPECT_EQ(MonitorPeriod(3600), 3600000);
    EXPECT_EQ(MonitorPeriod(0), 0);
    EXPECT_EQ(MonitorPeriod(-5), 0);
    EXPECT_EQ(MonitorPeriod(2147484), 2147483647);
    EXPECT_EQ(MonitorPeriod(2147483647), 2147483647);
}

TEST_F(MonitorTest, MonitoringSavedOnComesBackOnAtTheFirstActivation) {
    Start("Enable=1\r\nINTERVAL=60\r\n", Slot(0, "USD", "JPY") + Slot(1, "EUR", "JPY"));
    EXPECT_TRUE(service.Requests().empty()) << "nothing is fetched before the window is active";
    TForm7 splash;
    splash.Timer1->SetInterval(20);
    form1->SetSplash(&splash);
    form1->show();
    form1->FormActivate();
    EXPECT_TRUE(StartBox()->isChecked());
    EXPECT_TRUE(form4->Timer1->Enabled());
    EXPECT_EQ(Sorted(service.Requests()), Sorted({"USD/JPY", "EUR/JPY"}));
    EXPECT_EQ(Text(QStringLiteral("LB_V2")), "160.5000");
}

TEST_F(MonitorTest, AnAlarmActionThatFailsLeavesTheTimerRunning) {
    Start("INTERVAL=60\r\n", Slot(0, "USD", "JPY"));
    ASSERT_NO_FATAL_FAILURE(SoundAbove100());
    form1->show();
    StartBox()->click();
    ASSERT_EQ(sounds.played.size(), 1u);

    sounds.onPlay = [] { throw std::runtime_error("device gone"); };
    bool caught = false;
    try {
        form4->Timer1Timer();
    } catch (const std::runtime_error&) {
        caught = true;
    }
    EXPECT_TRUE(form4->Timer1->Enabled()) << (caught ? "thrown through the tick" : "caught on the way");
    EXPECT_TRUE(StartBox()->isChecked());
}

TEST_F(MonitorTest, ACycleNeverStartsInsideAnother) {
    // An alarm action that lets events in (a message box) must not let a refresh start a second cycle.
    Start("INTERVAL=60\r\n", Slot(0, "USD", "JPY") + Slot(1, "EUR", "JPY"));
    ASSERT_NO_FATAL_FAILURE(SoundAbove100());
    int nested = 0;
    sounds.onPlay = [&] {
        ++nested;
        form1->GetRate();
    };
    form1->GetRate();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(Sorted(service.Requests()), Sorted({"USD/JPY", "EUR/JPY"}));
    EXPECT_EQ(Text(QStringLiteral("LB_V2")), "160.5000");
}

TEST_F(MonitorTest, AnEndRequestDuringTheSplashStartsNothingAndTheCloseStopsTheTimer) {
    Start("Enable=1\r\nINTERVAL=1", Slot(0, "USD", "JPY"));
    TForm7 splash;
    splash.Timer1->SetInterval(60000);
    form1->SetSplash(&splash);
    form1->show();
    // As SIGTERM does: the window closes while the splash shows, and the program's end ends its loop.
    QObject::connect(form1.get(), &TForm1::Closed, &splash, &QDialog::reject, Qt::QueuedConnection);
    QTimer::singleShot(0, form1.get(), [this] { form1->close(); });
    form1->FormActivate();
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_FALSE(StartBox()->isChecked());
    EXPECT_FALSE(form4->Timer1->Enabled());
    EXPECT_NE(ReadSettings().find("Enable=1\r\nINTERVAL=1\r\n"), std::string::npos) << "monitoring stays on";

    // Closed while monitoring: no tick may fetch between the save and the end.
    form1.reset();
    form1 = std::make_unique<TForm1>(SettingsPath());
    form1->show();
    StartBox()->click();
    ASSERT_TRUE(form4->Timer1->Enabled());
    EXPECT_TRUE(form1->close());
    EXPECT_FALSE(form4->Timer1->Enabled());
}

TEST_F(MonitorTest, AnswersArrivingInReverseAreShownAndAlarmedInSlotOrder) {
    Start("INTERVAL=60\r\n", EightSlots(service));
    std::vector<std::string> files;
    for (int slot = 0; slot < SlotCount; ++slot) {
        files.push_back(dir.filePath(QStringLiteral("s%1.wav").arg(slot)).toStdString());
        std::ofstream(files.back()).put('\0');
        AddSound("s" + std::to_string(slot), files.back());
        Alerts[slot].ALEnable = true;
        Alerts[slot].AH = 0.5;
        Alerts[slot].SOUND_H = slot + 1;
    }
    // How many slots showed their rate when each alarm sounded.
    std::vector<long> shownAtAlarm;
    sounds.onPlay = [&] {
        const auto shown = Shown();
        shownAtAlarm.push_back(std::count_if(shown.begin(), shown.end(),
                                             [](const std::string& text) { return text != "---------"; }));
    };
    // The service answers slot 7 first, then 6, and so on.
    std::mutex mutex;
    std::condition_variable turn;
    std::vector<int> answered;
    bool together = true;
    service.BeforeAnswer([&](const std::string& pair) {
        int slot = 0;
        while (slot < SlotCount && PairOf(slot) != pair)
            ++slot;
        std::unique_lock lock(mutex);
        const auto mine = [&] { return static_cast<int>(answered.size()) == SlotCount - 1 - slot; };
        if (!turn.wait_for(lock, 5s, mine))
            together = false;
        answered.push_back(slot);
        turn.notify_all();
    });

    form1->GetRate();
    service.BeforeAnswer(nullptr);
    EXPECT_TRUE(together) << "the eight requests were not in flight together";
    EXPECT_EQ(answered, (std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(sounds.played, files);
    EXPECT_EQ(shownAtAlarm, (std::vector<long>{0, 1, 2, 3, 4, 5, 6, 7}));
    for (int slot = 0; slot < SlotCount; ++slot)
        EXPECT_EQ(Shown()[slot], FormatRate(EightRates[slot])) << "slot " << slot;
    EXPECT_EQ(Lamp(), ClWhite);
}

TEST_F(MonitorTest, AFailureAtSlot3ShowsSlots0To2AndLeavesTheLaterOnesAsTheyWere) {
    Start("INTERVAL=60\r\n", EightSlots(service));
    for (int slot = 0; slot < SlotCount; ++slot)
        Alerts[slot].AH = EightRates[slot] * 1.5;
    form1->GetRate();
    const auto before = Shown();
    ASSERT_EQ(before[7], FormatRate(EightRates[7]));
    ASSERT_FALSE(Alerts[7].H_STATE);

    // The next answers would put every slot in alarm; slot 3 fails.
    EightSlots(service, 2);
    service.Fail(PairOf(3));
    service.ClearRequests();
    form1->GetRate();

    EXPECT_EQ(service.Requests().size(), 8u);
    const auto after = Shown();
    for (int slot = 0; slot < SlotCount; ++slot) {
        const bool shown = slot < 3;
        EXPECT_EQ(after[slot], shown ? FormatRate(EightRates[slot] * 2) : before[slot]) << "slot " << slot;
        EXPECT_EQ(Alerts[slot].H_STATE, shown) << "slot " << slot;
        EXPECT_EQ(FindControl<TShape>(form1.get(), QStringLiteral("SP_U%1").arg(slot + 1))->BrushColor(),
                  shown ? ClRed : ClWhite)
            << "slot " << slot;
        EXPECT_EQ(form1->Histories()[slot].Next, shown ? 2 : 1) << "slot " << slot;
    }
    EXPECT_EQ(form1->windowTitle(), QString::fromUtf8("Quorvane 通信エラー"));
    EXPECT_EQ(Lamp(), ClLime);
}

TEST_F(MonitorTest, ASilentServiceHoldsACycleForOneTimeOutNotOneEach) {
    Start("INTERVAL=60\r\n", EightSlots(service));
    constexpr auto timeout = 500ms;
    RateService = CreateCurrencyConvertorProxy(
        true, service.DescriptionAddress(), std::make_shared<HttpTransport>(HttpTimeouts{timeout, timeout}));
    service.Silence();
    const auto began = std::chrono::steady_clock::now();
    form1->GetRate();
    const auto took = std::chrono::steady_clock::now() - began;

    EXPECT_EQ(service.Requests().size(), 8u);
    EXPECT_GE(took, timeout);
    EXPECT_LT(took, 4 * timeout) << "one time-out after another would take " << (8 * timeout).count()
                                 << " ms";
    EXPECT_EQ(form1->windowTitle(), QString::fromUtf8("Quorvane 通信エラー"));
    EXPECT_EQ(Lamp(), ClLime);
    EXPECT_EQ(Shown()[0], "---------");
}

// The description answers; the service it names, at another address, accepts and never answers. With our
// usual 30 s time-out the window goes on handling events, a refresh meanwhile sends nothing, and closing
// ends the wait at once with nothing applied.
TEST_F(MonitorTest, ASilentServiceElsewhereNeitherFreezesTheWindowNorHoldsItsClose) {
    fakes::SilentListener silent;
    ASSERT_NE(silent.Port(), 0);
    fakes::FakeHttpServer describer(fakes::FakeHttpServer::Connections::OneRequestEach);
    fakes::FakeResponse description;
    description.body = fakes::CurrencyConvertorDescription("http://127.0.0.1:" + std::to_string(silent.Port()) +
                                                           "/CurrencyConvertor.asmx");
    describer.Serve("GET", "/CurrencyConvertor.asmx", std::move(description));
    WriteSettings("[System]\r\nINTERVAL=60\r\nSERVICE_URL=" + describer.Url("/CurrencyConvertor.asmx?wsdl") +
                  "\r\n\r\n" + EightSlots(service));
    form1 = std::make_unique<TForm1>(SettingsPath());
    form4 = std::make_unique<TForm4>();
    form1->show();

    EventLoopWatch watch;
    bool refreshedInside = false;
    std::chrono::steady_clock::time_point closedAt;
    QTimer::singleShot(300ms, form1.get(), [&] {
        refreshedInside = form4->CycleRunning();
        form1->GetRate(); // "更新" while the cycle waits
    });
    QTimer::singleShot(600ms, form1.get(), [&] {
        closedAt = std::chrono::steady_clock::now();
        form1->close();
    });
    StartBox()->click();
    const auto ended = std::chrono::steady_clock::now();

    EXPECT_TRUE(refreshedInside);
    ASSERT_NE(closedAt, std::chrono::steady_clock::time_point{}) << "the window never got to the close";
    EXPECT_LT(ended - closedAt, 1s);
    EXPECT_LT(watch.Longest(), 1s) << "the event loop stood still";
    EXPECT_GT(watch.Ticks(), 10);
    EXPECT_EQ(Shown()[0], "---------") << "nothing is applied";
    EXPECT_NE(form1->windowTitle(), QString::fromUtf8("Quorvane 通信エラー"));
    EXPECT_FALSE(form4->Timer1->Enabled());
    EXPECT_FALSE(form4->CycleRunning());
}

TEST_F(MonitorTest, EachSlotKeepsItsConnectionFromCycleToCycle) {
    RateServiceFake kept(fakes::FakeHttpServer::Connections::KeepAlive);
    Start(kept, "INTERVAL=60\r\n", EightSlots(kept));
    struct LetGo {
        ~LetGo() { RateService.reset(); } // before the service stops, or it waits for them
    } letGo;
    for (int cycle = 0; cycle < 3; ++cycle)
        form1->GetRate();
    ASSERT_EQ(form1->windowTitle(), QStringLiteral("Quorvane"));
    // A single pair, as quorvanectl asks, goes on one of the same connections.
    EXPECT_DOUBLE_EQ(GetConversionRate(USD, JPY), EightRates[0]);
    EXPECT_EQ(kept.Requests().size(), 25u);
    EXPECT_EQ(kept.Connections(), 8u);
}

// Each rate shows where it came from and when; an old one is marked, in its change colour, until a fresh one
// comes; a service that cannot tell shows neither.
TEST_F(MonitorTest, EachRateCarriesItsSourceAndTimeAndAnOldOneIsMarkedUntilAFreshOneComes) {
    fakes::FakeHttpServer intraday;
    intraday.Respond("GET", "/rates", [](const fakes::RecordedRequest&) {
        return fakes::FakeResponse{200, "application/json",
                                   R"({"data":{"currency":"EUR","rates":{"JPY":"160.5","USD":"1.08"}}})", {}, false};
    });
    rated::FeedOptions options = Feed(SampleRatesFile());
    options.intraday = intraday.Url("/rates");
    RatedService rated(options);
    ASSERT_TRUE(rated.Ready());
    ASSERT_TRUE(rated.Feed().LoadIntraday());
    const std::string address =
        "http://127.0.0.1:" + std::to_string(rated.Port()) + "/CurrencyConvertor.asmx?wsdl";
    WriteSettings("[System]\r\nSERVICE_URL=" + address + "\r\nINTERVAL=60\r\n\r\n" + Slot(0, "EUR", "JPY") +
                  Slot(1, "EUR", "GBP"));
    form1 = std::make_unique<TForm1>(SettingsPath());
    form4 = std::make_unique<TForm4>();
    auto history = std::make_unique<ProgramHistory>(
        form1->MonitorCore(), dir.filePath(QStringLiteral("h.sqlite")).toStdString(), "");
    const auto rate = [this](int n) { return FindControl<TLabel>(form1.get(), QStringLiteral("LB_V%1").arg(n)); };
    const auto marked = [this, &rate](int n) {
        const QWidget* badge = form1->findChild<QWidget*>(QStringLiteral("LB_S%1").arg(n));
        EXPECT_EQ(badge && !badge->isHidden(), rate(n)->font().italic()) << "slot " << n;
        return badge && !badge->isHidden();
    };

    form1->GetRate();
    ASSERT_EQ(Shown()[0], FormatRate(160.5));
    const std::string live = rate(1)->toolTip().toStdString();
    EXPECT_TRUE(std::regex_match(live, std::regex(R"(リアルタイム（Coinbase）\d{4}-\d\d-\d\d \d\d:\d\d:\d\d 時点)")))
        << live;
    EXPECT_FALSE(marked(1));
    EXPECT_EQ(rate(2)->toolTip().toStdString(),
              "ECB参照レート 2022-07-08 16:00 CET 時点\n取得元の通常の更新より古いレートです");
    EXPECT_TRUE(marked(2));
    // Each rate is kept at the time it holds for, with its source: the ECB's is years before its receipt.
    for (const auto& [to, source] :
         {std::pair{JPY, history::PointSource::Intraday}, std::pair{GBP, history::PointSource::EcbDaily}}) {
        const auto stored = history->Store().Read(EUR, to, INT64_MIN, INT64_MAX);
        ASSERT_EQ(stored.size(), 1u) << to;
        EXPECT_EQ(stored[0].at, rated.Feed().Quote(EUR, to).value().asOf) << to;
        EXPECT_EQ(stored[0].source, source) << to;
    }

    // Ten minutes on, the live rate is old; its colour still tells its change.
    const QColor colour = rate(1)->FontColor();
    form1->ShowAges(rated.Feed().Quote(EUR, JPY).value().asOf + 600);
    EXPECT_TRUE(marked(1));
    EXPECT_EQ(rate(1)->FontColor(), colour);
    form1->GetRate();
    EXPECT_FALSE(marked(1)) << "a fresh rate takes the mark away";

    // The same slots at a service without the answer: no source, no mark.
    history.reset();
    form4.reset();
    form1.reset();
    RateService.reset();
    service.SetRate("EUR/GBP", 0.85);
    Start("INTERVAL=60\r\n", Slot(0, "EUR", "JPY") + Slot(1, "EUR", "GBP"));
    form1->GetRate();
    ASSERT_EQ(Shown()[1], FormatRate(0.85));
    EXPECT_TRUE(rate(2)->toolTip().isEmpty());
    EXPECT_FALSE(marked(2));
}
