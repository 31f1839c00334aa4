#include <stdexcept>
#include <string>
#include <vector>

#include "alert/AlarmFixture.h"
#include "fakes/ScopedEnv.h"

using namespace quorvane;
using quorvane::testing::AlarmTest;
using quorvane::testing::ScopedEnv;

namespace {

// Subjects carry the rate with the user's separators; these tests speak for a Japanese desktop.
class AlertActionTest : public AlarmTest {
protected:
    ScopedEnv locale{"LC_ALL", "ja_JP.UTF-8"};
};

TEST_F(AlertActionTest, LowerAlarmMailCarriesTitleTagAndRateToTheAccount) {
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.AL = 160.0;
    cfg.AH = 1e9;
    cfg.MAIL_L_SW = true;
    Alerts[3] = cfg;
    EXPECT_TRUE(CheckAlert(3, false, false, 160.0, "EUR/JPY"));

    ASSERT_EQ(mail.calls.size(), 1u);
    const auto& call = mail.calls[0];
    EXPECT_EQ(call.subject, "Quorvane EUR/JPY L ON: 160.0000");
    EXPECT_EQ(call.from, "alarm@example.jp");
    EXPECT_EQ(call.to, "trader@example.jp");
    EXPECT_EQ(call.body, "");
}

TEST_F(AlertActionTest, SubjectTagsOfBothSidesAndBothDirections) {
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.MAIL_H_SW = cfg.MAIL_L_SW = true;
    Alerts[0] = cfg;
    SendAlertMail(0, true, false, true, 110.25, "USD/JPY");
    SendAlertMail(0, false, true, true, 110.25, "USD/JPY");
    SendAlertMail(0, true, false, false, 1234.5, "USD/KRW");
    SendAlertMail(0, false, true, false, 1234.5, "USD/KRW");
    ASSERT_EQ(mail.calls.size(), 4u);
    EXPECT_EQ(mail.calls[0].subject, "Quorvane USD/JPY H ON: 110.2500");
    EXPECT_EQ(mail.calls[1].subject, "Quorvane USD/JPY H OFF: 110.2500");
    EXPECT_EQ(mail.calls[2].subject, "Quorvane USD/KRW L ON: 1,234.5000");
    EXPECT_EQ(mail.calls[3].subject, "Quorvane USD/KRW L OFF 1,234.5000");
}

TEST_F(AlertActionTest, SubjectRateFollowsTheUsersLocale) {
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.MAIL_L_SW = true;
    Alerts[0] = cfg;
    ScopedEnv german("LC_ALL", "de_DE.UTF-8");
    SendAlertMail(0, false, true, false, 1234.5, "EUR/KRW");
    ASSERT_EQ(mail.calls.size(), 1u);
    EXPECT_EQ(mail.calls[0].subject, "Quorvane EUR/KRW L OFF 1.234,5000");
}

TEST_F(AlertActionTest, MailGoesOnlyOnAChangeAndOnlyWithTheSidesSwitch) {
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.MAIL_H_SW = true;
    cfg.MAIL_L_SW = false;
    Alerts[1] = cfg;
    SendAlertMail(1, true, true, true, 1.0, "A/B");
    SendAlertMail(1, false, false, true, 1.0, "A/B");
    SendAlertMail(1, true, false, false, 1.0, "A/B");
    SendAlertMail(1, false, true, false, 1.0, "A/B");
    EXPECT_TRUE(mail.calls.empty());
    SendAlertMail(1, true, false, true, 1.0, "A/B");
    EXPECT_EQ(mail.calls.size(), 1u);
}

TEST_F(AlertActionTest, WithoutAnInstalledMailerNoMailIsSentAndTheCycleGoesOn) {
    InstallAlertMailer({});
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.MAIL_H_SW = true;
    Alerts[0] = cfg;
    EXPECT_TRUE(CheckAlert(0, true, false, 1.0, "A/B"));
    EXPECT_TRUE(Alerts[0].H_STATE);
    EXPECT_TRUE(mail.calls.empty());
}

// An address SendMail cannot read makes it throw; the alarm must count that as a failed mail and
// let the program start, the state be stored and the lower side be evaluated as usual.
TEST_F(AlertActionTest, UnreadableAddressDoesNotStopTheCycle) {
    AddApp("notify", "/usr/local/bin/notify");
    mail.failure = "@ Outside address";
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.AH = 100.0;
    cfg.AL = 120.0;
    cfg.MAIL_H_SW = cfg.MAIL_L_SW = true;
    cfg.APP_H_SW = true;
    cfg.APP_H_ON = 1;
    Alerts[4] = cfg;

    bool upper = false, lower = false;
    EXPECT_NO_THROW(upper = CheckAlert(4, true, false, 110.0, "GBP/JPY"));
    EXPECT_NO_THROW(lower = CheckAlert(4, false, false, 110.0, "GBP/JPY"));
    EXPECT_TRUE(upper);
    EXPECT_TRUE(lower);
    EXPECT_TRUE(Alerts[4].H_STATE);
    EXPECT_TRUE(Alerts[4].L_STATE);
    EXPECT_EQ(mail.calls.size(), 2u);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].target, "/usr/local/bin/notify");

    // The failed ON mail is not sent again while the state holds.
    EXPECT_NO_THROW(CheckAlert(4, true, false, 110.0, "GBP/JPY"));
    EXPECT_EQ(mail.calls.size(), 2u);
}

TEST_F(AlertActionTest, ARefusedMailLeavesTheStateStoredAndIsNotRetried) {
    mail.accept = false;
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.MAIL_H_SW = true;
    Alerts[0] = cfg;
    EXPECT_TRUE(CheckAlert(0, true, false, 1.0, "A/B"));
    EXPECT_TRUE(CheckAlert(0, true, false, 1.0, "A/B"));
    EXPECT_TRUE(Alerts[0].H_STATE);
    EXPECT_EQ(mail.calls.size(), 1u);
}

TEST_F(AlertActionTest, ProgramOfEachTransitionIsOpenedWithoutParameters) {
    for (const char* p : {"/opt/a", "/opt/b", "/opt/c", "/opt/d"})
        AddApp(p + 5, p);
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.APP_H_SW = cfg.APP_L_SW = true;
    cfg.APP_H_ON = 4;
    cfg.APP_H_OFF = 3;
    cfg.APP_L_ON = 2;
    cfg.APP_L_OFF = 1;
    Alerts[7] = cfg;
    RunAlertApp(7, true, false, true);
    RunAlertApp(7, false, true, true);
    RunAlertApp(7, true, false, false);
    RunAlertApp(7, false, true, false);
    RunAlertApp(7, true, true, true); // no change: nothing
    ASSERT_EQ(shell.calls.size(), 4u);
    EXPECT_EQ(shell.calls[0].target, "/opt/d");
    EXPECT_EQ(shell.calls[1].target, "/opt/c");
    EXPECT_EQ(shell.calls[2].target, "/opt/b");
    EXPECT_EQ(shell.calls[3].target, "/opt/a");
    for (const auto& call : shell.calls)
        EXPECT_EQ(call.parameters, "");
}

TEST_F(AlertActionTest, NoProgramWithoutSwitchOrReference) {
    AddApp("one", "/opt/one");
    AddApp("two", "/opt/two");
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.APP_H_SW = true;
    cfg.APP_H_OFF = 0;
    cfg.APP_L_SW = false;
    cfg.APP_L_ON = 1;
    Alerts[0] = cfg;
    RunAlertApp(0, false, true, true);
    RunAlertApp(0, true, false, false);
    EXPECT_TRUE(shell.calls.empty());

    Alerts[0].APP_H_OFF = 2;
    RunAlertApp(0, false, true, true);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].target, "/opt/two");

    Alerts[0].APP_H_OFF = 3; // outside the registry
    RunAlertApp(0, false, true, true);
    EXPECT_EQ(shell.calls.size(), 1u);
}

} // namespace
