// Alarm mails go on a worker thread: the window keeps running while a mail server keeps it waiting.
#include <gtest/gtest.h>

#include <QTest>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alert/AlarmLog.h"
#include "app/AlarmMails.h"
#include "app/AppFixture.h"
#include "app/EventLoopWatch.h"
#include "app/toolkit/Controls.h"
#include "fakes/FakeMailServer.h"
#include "fakes/RateServiceFake.h"
#include "fakes/SilentListener.h"
#include "mail/Mail.h"
#include "service/WebService.h"

using namespace quorvane;
using namespace quorvane::test;
using quorvane::testing::FakeMailServer;

namespace {

using namespace std::chrono_literals;

class AlarmMailTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        OpenAlarmLog(dir.filePath(QStringLiteral("alarms.log")).toStdString());
        SetMailAccount({"alarm@example.com", "me@example.org", "", ""});
        Alerts[0].AH = 100;
        Alerts[0].MAIL_H_SW = true;
    }
    void TearDown() override {
        form4.reset();
        form1.reset();
        RateService.reset();
        OpenAlarmLog({});
        SetMailTimeout(30s);
        CreateMailClients(TSMTP{}, TPOP{});
        AppTest::TearDown();
    }
    std::vector<AlarmLogEntry> Logged() const {
        std::vector<AlarmLogEntry> entries;
        for (const std::string& line : ReadAlarmLog(AlarmLogPath()))
            if (auto entry = ParseAlarmLogLine(line))
                entries.push_back(*entry);
        return entries;
    }
    static void MailsTo(int port) {
        CreateMailClients(TSMTP{port, "127.0.0.1", "", "", SmtpAuth::None}, TPOP{});
    }

    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm4> form4;
};

TEST_F(AlarmMailTest, AServerThatNeverAnswersHoldsNeitherTheWindowNorTheNextCycle) {
    fakes::SilentListener silent;
    RateServiceFake service;
    ASSERT_TRUE(service.Running());
    service.SetRate("USD/JPY", 150);
    SetMailTimeout(1500ms);
    WriteSettings(
        "[System]\r\nINTERVAL=60\r\nSERVICE_URL=" + service.DescriptionAddress() +
        "\r\n\r\n[Mail]\r\nSMTP_SERVER=127.0.0.1\r\nSMTP_PORT=" + std::to_string(silent.Port()) +
        "\r\nFrom=alarm@example.com\r\nTo=me@example.org\r\n\r\n"
        "[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\nALEnable=1\r\nAH=100\r\nMAIL_H_SW=1\r\n\r\n");
    form1 = std::make_unique<TForm1>(SettingsPath());
    form4 = std::make_unique<TForm4>();
    AlarmMails mails;
    EventLoopWatch watch;
    FindControl<TCheckBox>(form1.get(), QStringLiteral("CB_START"))->click(); // the ON, with its mail
    service.SetRate("USD/JPY", 90);
    form4->Timer1Timer(); // the OFF, with its mail, while the first still waits
    EXPECT_EQ(service.Requests().size(), 2u);

    QTRY_COMPARE_WITH_TIMEOUT(Logged().size(), std::size_t{2}, 20000);
    EXPECT_LT(watch.Longest(), 500ms);
    const auto entries = Logged();
    EXPECT_TRUE(entries[0].On);
    EXPECT_FALSE(entries[1].On);
    for (const AlarmLogEntry& e : entries)
        EXPECT_TRUE(e.Mail.starts_with("failed SMTP")) << e.Mail;
}

TEST_F(AlarmMailTest, TheEndLogsAMailStillWaitingAsNotSent) {
    fakes::SilentListener silent;
    MailsTo(silent.Port()); // with the usual 30 s time-out
    AlarmMails mails(200ms);
    CheckAlert(0, true, false, 150, "USD/JPY");
    CheckAlert(0, true, false, 90, "USD/JPY");
    mails.Finish();
    const auto entries = Logged();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Mail, "failed " + NotSentResult().Describe());
    EXPECT_EQ(entries[1].Mail, entries[0].Mail);
}

TEST_F(AlarmMailTest, ASaveWhileAMailWaitsSendsItToTheServerOfItsTime) {
    auto before = FakeMailServer::Smtp();
    auto after = FakeMailServer::Smtp();
    MailsTo(before.Start());
    AlarmMails mails;
    {
        const MailQueuePause pause(&mails.Queue());
        CheckAlert(0, true, false, 150, "USD/JPY");
        SetSMTP(TSMTP{after.Start(), "127.0.0.1", "", "", SmtpAuth::None}); // as the settings dialog saves
        InitMail();
    }
    QTRY_COMPARE_WITH_TIMEOUT(Logged().size(), std::size_t{1}, 10000);
    EXPECT_EQ(Logged()[0].Mail, "sent");
    EXPECT_EQ(before.Sessions(1).size(), 1u);
    after.Stop();
    EXPECT_TRUE(after.Sessions(0).empty());
    SetSMTP({});
}

} // namespace
