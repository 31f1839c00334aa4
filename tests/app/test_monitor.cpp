#include <gtest/gtest.h>

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "AppFixture.h"
#include "fakes/RateServiceFake.h"
#include "app/Unit7.h"
#include "app/toolkit/Controls.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

using Pairs = std::vector<std::string>;

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
    void Start(const std::string& system, const std::string& sections) {
        WriteSettings("[System]\r\nSERVICE_URL=" + service.DescriptionAddress() + "\r\n" + system + "\r\n" +
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
    EXPECT_EQ(service.Requests(), (Pairs{"USD/JPY", "EUR/USD", "EUR/JPY"}));
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
    form1->GetRate();
    EXPECT_EQ(service.Requests(), (Pairs{"USD/JPY"}));
    EXPECT_EQ(form1->windowTitle(), QString::fromUtf8("Quorvane 通信エラー"));
    EXPECT_EQ(Lamp(), ClLime);
    EXPECT_EQ(Text(QStringLiteral("LB_V3")), "---------");

    // The next cycle starts from the normal title and the first slot again.
    service.SetRate("USD/JPY", 111);
    service.ClearRequests();
    form1->GetRate();
    EXPECT_EQ(service.Requests(), (Pairs{"USD/JPY", "EUR/USD"}));
    EXPECT_EQ(form1->windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_EQ(Lamp(), ClWhite);
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
    EXPECT_EQ(Histories[0].Next, 1);
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
    EXPECT_EQ(service.Requests(), (Pairs{"USD/JPY", "EUR/JPY"}));
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
    EXPECT_EQ(service.Requests(), (Pairs{"USD/JPY", "EUR/JPY"}));
    EXPECT_EQ(Text(QStringLiteral("LB_V2")), "160.5000");
}
