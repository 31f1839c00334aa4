#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "alert/AlarmFixture.h"
#include "alert/AlarmLog.h"
#include "fakes/FakeMailServer.h"
#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"
#include "mail/Mail.h"
#include "tools/Command.h"

using namespace quorvane;
using quorvane::fakes::TempFolder;
using quorvane::testing::AlarmTest;
using quorvane::testing::FakeMailServer;
using quorvane::testing::ScopedEnv;

namespace {

class AlarmLogTest : public AlarmTest {
protected:
    void SetUp() override {
        AlarmTest::SetUp();
        OpenAlarmLog(Path());
    }
    void TearDown() override {
        OpenAlarmLog({});
        AlarmTest::TearDown();
    }
    std::string Path() const { return (folder.path() / "state" / "quorvane" / "alarms.log").string(); }
    std::vector<AlarmLogEntry> Entries() const {
        std::vector<AlarmLogEntry> entries;
        for (const std::string& line : ReadAlarmLog(Path())) {
            const auto entry = ParseAlarmLogLine(line);
            EXPECT_TRUE(entry) << line;
            if (entry)
                entries.push_back(*entry);
        }
        return entries;
    }

    ScopedEnv locale{"LC_ALL", "C"};
    TempFolder folder{"quorvane-alarm-log"};
};

TEST_F(AlarmLogTest, AMailRefusedAtRcptIsLoggedWithTheServersReply) {
    auto smtp = FakeMailServer::Smtp();
    smtp.On("RCPT TO:", "550 5.1.1 <trader@example.jp>: no such user\r\n");
    SetMailTimeout(std::chrono::milliseconds(3000));
    CreateMailClients(TSMTP{smtp.Start(), "127.0.0.1", "", ""}, TPOP{});
    SetMailAccount({"alarm@example.jp", "trader@example.jp", "", ""});
    InstallAlertMailer(
        {GetMailAccount, [](const std::string& subject, const std::string& from, const std::string& to,
                            const std::string& body, AlertMailDone done) {
             const MailResult result = SendMail(CurrentMailSettings(), subject, from, to, body, nullptr);
             done(result.delivered, result.Describe());
         }});

    TAlertConfig cfg = DefaultAlertConfig();
    cfg.AH = 160;
    cfg.AL = 0;
    cfg.MAIL_H_SW = true;
    Alerts[0] = cfg;
    for (double rate : {159.5, 160.0, 161.25, 150.0})
        CheckAlert(0, true, false, rate, "USD/JPY");
    SetMailTimeout(std::chrono::seconds(30));

    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 2u) << "the ON and the OFF, nothing while the alarm lasts";
    EXPECT_EQ(entries[0].Slot, 1);
    EXPECT_EQ(entries[0].Pair, "USD/JPY");
    EXPECT_TRUE(entries[0].Upper);
    EXPECT_TRUE(entries[0].On);
    EXPECT_EQ(entries[0].Rate, 160.0);
    EXPECT_EQ(entries[0].Mail, "failed SMTP: RCPT TO 550: 5.1.1 <trader@example.jp>: no such user");
    EXPECT_FALSE(entries[1].On);
    EXPECT_EQ(entries[1].Rate, 150.0);
    EXPECT_EQ(entries[1].Mail, entries[0].Mail) << "the OFF mail meets the same refusal";
    EXPECT_TRUE(ParseAlarmLogTime(entries[0].Time)) << entries[0].Time;
}

// A mail handed on is still out when the cycle ends: its transition's line waits for the outcome.
TEST_F(AlarmLogTest, ATransitionIsLoggedWhenItsMailsOutcomeIsKnown) {
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.AH = 150;
    cfg.MAIL_H_SW = true;
    Alerts[0] = cfg;
    mail.hold = true;
    mail.accept = false;
    mail.reason = "SMTP: timed out";
    CheckAlert(0, true, false, 151, "USD/JPY");
    CheckAlert(0, true, false, 140, "USD/JPY");
    EXPECT_TRUE(Entries().empty());
    ASSERT_EQ(mail.held.size(), 2u);
    mail.Finish();
    const auto e = Entries();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_TRUE(e[0].On);
    EXPECT_EQ(e[0].Mail, "failed SMTP: timed out");
    EXPECT_FALSE(e[1].On);
    EXPECT_EQ(e[1].Rate, 140.0);
    EXPECT_EQ(e[1].Program, "off") << "the rest of the line as the cycle left it";
}

TEST_F(AlarmLogTest, EachActionSaysWhatBecameOfIt) {
    AddSound("gone", (folder.path() / "gone.wav").string());
    AddApp("gone", (folder.path() / "gone.sh").string());
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.AH = 150;
    cfg.AL = 100;
    cfg.SOUND_H = 1;
    cfg.APP_H_SW = true;
    cfg.APP_H_ON = 1;
    cfg.MAIL_H_SW = true;
    mail.accept = false;
    mail.reason = "connect: 127.0.0.1:25: Connection refused";
    notifier.unavailable = "no session bus";
    Alerts[2] = cfg;

    CheckAlert(2, true, false, 151, "EUR/JPY"); // ON: sound file and program gone, mail refused
    CheckAlert(2, true, true, 140, "EUR/JPY");  // OFF: no program chosen for it
    BasicData.Notify = false;
    CheckAlert(2, true, true, 152, "EUR/JPY"); // ON, muted, notifications switched off
    BasicData.Notify = true;
    Alerts[2].AH_ON = false;
    CheckAlert(2, true, false, 140, "EUR/JPY"); // OFF with the side's output off
    CheckAlert(2, false, false, 90, "EUR/JPY"); // the lower side, output on, nothing chosen

    const auto e = Entries();
    ASSERT_EQ(e.size(), 5u);
    const std::string gone = (folder.path() / "gone").string();
    EXPECT_EQ(e[0].Sound, "missing " + gone + ".wav");
    EXPECT_EQ(e[0].Mail, "failed connect: 127.0.0.1:25: Connection refused");
    EXPECT_EQ(e[0].Program, "not-found " + gone + ".sh");
    EXPECT_EQ(e[0].Notification, "unavailable no session bus");
    EXPECT_EQ(e[1].Sound, "-");
    EXPECT_EQ(e[1].Program, "none");
    EXPECT_EQ(e[2].Sound, "muted");
    EXPECT_EQ(e[2].Notification, "off");
    EXPECT_EQ(e[3].Sound + e[3].Mail + e[3].Program + e[3].Notification,
              "output-offoutput-offoutput-offoutput-off");
    EXPECT_FALSE(e[4].Upper);
    EXPECT_EQ(e[4].Sound, "none");
    EXPECT_EQ(e[4].Mail, "off");
    EXPECT_EQ(e[4].Program, "off");
    // Notifications go at the same moments as the mails: both ONs and OFFs with the output on.
    EXPECT_EQ(notifier.shown,
              (std::vector<std::string>{"EUR/JPY 上限警報 ON | 151.0000", "EUR/JPY 上限警報 OFF | 140.0000",
                                        "EUR/JPY 下限警報 ON | 90.0000"}));
}

// Local time is Japan's for one test.
class JapanTime {
public:
    JapanTime() { tzset(); }
    ~JapanTime() {
        zone_.reset();
        tzset();
    }

private:
    std::optional<ScopedEnv> zone_{std::in_place, "TZ", "JST-9"};
};

TEST_F(AlarmLogTest, HeldActionsSayUntilWhenAndTheCommandShowsWhyNothingWasSent) {
    JapanTime japan;
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.AH = 150;
    cfg.AL = 0;
    cfg.MAIL_H_SW = true;
    cfg.COOLDOWN = 5;
    Alerts[1] = cfg;
    const AlarmTime t0 = std::chrono::system_clock::from_time_t(1796810400); // 2026-12-09 19:00 in Japan
    for (const auto& [second, rate] :
         {std::pair{0, 151.0}, {60, 149.0}, {120, 151.0}, {180, 149.0}, {240, 151.0}, {330, 151.5}})
        CheckAlert(1, true, false, rate, "USD/JPY", t0 + std::chrono::seconds(second));

    const auto e = Entries();
    ASSERT_EQ(e.size(), 6u);
    const std::string held = "held (cool-down until 19:05)";
    for (std::size_t i : {0u, 1u, 5u})
        EXPECT_EQ(e[i].Mail, "sent") << i;
    for (std::size_t i : {2u, 3u, 4u}) {
        EXPECT_EQ(e[i].Mail + e[i].Program + e[i].Notification, held + held + held) << i;
        EXPECT_EQ(e[i].On, i != 3) << i;
    }
    EXPECT_TRUE(e[5].On) << "the held ON, sent when the cool-down ended";
    EXPECT_EQ(e[5].Time, "2026-12-09T19:05:30+09:00");
    EXPECT_EQ(mail.calls.back().subject, "Quorvane USD/JPY H ON: 151.5000");

    std::ostringstream out, err;
    ASSERT_EQ(ctl::RunAlarmsCommand({"--log", Path(), "--tail", "3"}, out, err), ctl::ExitSuccess);
    EXPECT_NE(out.str().find("2026-12-09T19:03:00+09:00  slot 2  USD/JPY  H OFF  149.0000  sound=-  mail=" +
                             held + "  program=" + held + "  notification=" + held + "\n"),
              std::string::npos)
        << out.str();
}

TEST_F(AlarmLogTest, RotationKeepsTheLogBoundedAndTheNewestLast) {
    constexpr std::uintmax_t Limit = 2000;
    OpenAlarmLog(Path(), Limit);
    AlarmLogEntry entry{
        "2026-12-09T18:00:00+09:00", 1, "USD/JPY", true, true, 0, "played", "sent", "off", "sent"};
    for (int i = 1; i <= 300; ++i) {
        entry.Rate = i;
        entry.On = i % 2 == 1;
        WriteAlarmLog(entry);
        ASSERT_LE(std::filesystem::file_size(Path()), Limit);
    }
    EXPECT_LE(std::filesystem::file_size(Path() + ".1"), Limit);
    const std::vector<std::string> lines = ReadAlarmLog(Path());
    ASSERT_GT(lines.size(), 20u);
    for (std::size_t i = 0; i < lines.size(); ++i) // consecutive, ending with the last one written
        EXPECT_EQ(ParseAlarmLogLine(lines[i])->Rate, 300.0 - (lines.size() - 1 - i)) << lines[i];
}

TEST_F(AlarmLogTest, HostileTextsStayInsideTheirFieldAndALogThatCannotBeWrittenStopsNothing) {
    AlarmLogEntry entry{"2026-12-09T18:00:00+09:00", 8, "A\tB\nC", false, false, 1.5, "-", "", "", ""};
    entry.Mail = "failed DATA: 554 " + std::string(20000, 'x') + "\r\n\tinjected";
    const std::string line = FormatAlarmLogLine(entry);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_LT(line.size(), 1000u);
    const auto back = ParseAlarmLogLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Pair, "A B C");
    EXPECT_EQ(back->Slot, 8);

    fakes::WriteBytes(folder.path() / "file", "");
    OpenAlarmLog((folder.path() / "file" / "alarms.log").string()); // a folder that cannot be made
    Alerts[0] = DefaultAlertConfig();
    Alerts[0].MAIL_H_SW = true;
    EXPECT_TRUE(CheckAlert(0, true, false, 1, "USD/JPY"));
    EXPECT_EQ(mail.calls.size(), 1u);
    EXPECT_TRUE(Alerts[0].H_STATE);
}

TEST_F(AlarmLogTest, CommandChoosesBySinceAndPairAndTails) {
    const char* times[] = {"2026-12-09T09:00:00+09:00", "2026-12-09T10:00:00+09:00", "2026-12-09T02:00:00Z",
                           "2026-12-09T11:30:00+09:00"};
    const char* pairs[] = {"USD/JPY", "EUR/JPY", "USD/JPY", "USD/JPY"};
    for (int i = 0; i < 4; ++i)
        WriteAlarmLog({times[i], 1, pairs[i], true, true, 100.0 + i, "played", "sent", "off", "sent"});
    fakes::WriteBytes(Path() + ".1", "not a log line\n");

    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--log", Path(), "--raw"});
        std::ostringstream out, err;
        EXPECT_EQ(ctl::RunAlarmsCommand(args, out, err), ctl::ExitSuccess) << err.str();
        std::vector<double> rates;
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);)
            rates.push_back(ParseAlarmLogLine(line)->Rate);
        return rates;
    };
    using Rates = std::vector<double>;
    EXPECT_EQ(run({}), (Rates{100, 101, 102, 103}));
    EXPECT_EQ(run({"--pair", "usd/jpy"}), (Rates{100, 102, 103}));
    EXPECT_EQ(run({"--since", "2026-12-09T01:00Z"}), (Rates{101, 102, 103})) << "10:00+09:00 is 01:00Z";
    EXPECT_EQ(run({"--pair", "USD/JPY", "--tail", "2"}), (Rates{102, 103}));
    EXPECT_EQ(run({"--since", "2026-12-09T02:00:01Z", "--tail", "5"}), (Rates{103}));

    std::ostringstream out, err;
    EXPECT_EQ(ctl::RunAlarmsCommand({"--since", "yesterday"}, out, err), ctl::ExitUsage);
    EXPECT_EQ(ctl::RunAlarmsCommand({"--tail", "-3"}, out, err), ctl::ExitUsage);
}

} // namespace
