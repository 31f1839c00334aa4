#include "fakes/FakeMailServer.h"
#include "mail/Base64.h"
#include "mail/Charset.h"
#include "mail/Mail.h"
#include "fakes/MailTestSupport.h"
#include "tools/TestMailCommand.h"
#include "util/Util.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

using namespace quorvane;
using quorvane::testing::ErrorBox;
using quorvane::testing::FakeMailServer;
using quorvane::testing::InfoBox;
using quorvane::testing::RecordedBox;
using quorvane::testing::RecordingBoxes;
using Boxes = std::vector<RecordedBox>;
using Lines = std::vector<std::string>;

namespace {

const Boxes kSmtpSuccess = {InfoBox("SMTP 接続します。"), InfoBox("メールを送信します。"),
                            InfoBox("メール送信完了。SMTP切断します。")};
const Boxes kPopSuccess = {InfoBox("POP 接続します。"), InfoBox("POP 接続完了。"),
                           InfoBox("POP 切断します。"), InfoBox("POP 切断完了。")};

// The steps as message boxes, as the settings dialog's test mail shows them.
struct BoxSteps : MailProgress {
    void Step(const std::string& text) override { ShowInfo(text); }
    void Failed(const std::string& text) override { ShowError(text); }
};

bool Send(const std::string& subject, const std::string& from, const std::string& to, const std::string& body,
          bool boxes) {
    BoxSteps steps;
    return SendMail(subject, from, to, body, boxes ? &steps : nullptr).delivered;
}

class SendMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LC_ALL", "C", 1);
        SetMailTimeout(std::chrono::milliseconds(3000));
    }
    void TearDown() override { SetMailTimeout(std::chrono::seconds(30)); }

    static void Build(int smtpPort, int authType, int popPort = 0) {
        CreateMailClients(TSMTP{smtpPort, "127.0.0.1", "user", "secret", static_cast<SmtpAuth>(authType)},
                          TPOP{popPort, "127.0.0.1", "taro", "pw"});
    }

    static int ClosedPort() {
        auto server = FakeMailServer::Smtp();
        return server.Start(); // closed again when `server` goes
    }

    RecordingBoxes boxes_;
};

TEST_F(SendMailTest, TestMailShowsEveryStep) {
    auto smtp = FakeMailServer::Smtp();
    Build(smtp.Start(), 0);
    EXPECT_TRUE(Send("Quorvane TestMail", "from@example.com", "to@example.org", "", true));
    EXPECT_EQ(boxes_.boxes, kSmtpSuccess);
    const auto session = smtp.Sessions(1)[0];
    EXPECT_EQ(session.lines.back(), "QUIT");
    EXPECT_EQ(session.message.size(), 8u); // seven headers, the empty line, no body
}

TEST_F(SendMailTest, PopBeforeSmtpLogsInFirst) {
    auto smtp = FakeMailServer::Smtp();
    auto pop = FakeMailServer::Pop3();
    Build(smtp.Start(), 2, pop.Start());
    EXPECT_TRUE(Send("s", "from@example.com", "to@example.org", "", true));
    Boxes expected = kPopSuccess;
    expected.insert(expected.end(), kSmtpSuccess.begin(), kSmtpSuccess.end());
    EXPECT_EQ(boxes_.boxes, expected);
    EXPECT_EQ(pop.Sessions(1)[0].lines, (Lines{"USER taro", "PASS pw", "QUIT"}));
    EXPECT_EQ(smtp.Sessions(1).size(), 1u);
}

TEST_F(SendMailTest, FailedPopLogInMeansNoSmtpAtAll) {
    auto smtp = FakeMailServer::Smtp();
    Build(smtp.Start(), 2, ClosedPort());
    EXPECT_FALSE(Send("s", "from@example.com", "to@example.org", "", true));
    EXPECT_EQ(boxes_.boxes, (Boxes{InfoBox("POP 接続します。"), ErrorBox("POP 接続エラー。"),
                                   InfoBox("POP 切断します。"), InfoBox("POP 切断完了。")}));

    auto pop = FakeMailServer::Pop3();
    pop.On("PASS", "-ERR denied\r\n");
    Build(smtp.Port(), 2, pop.Start());
    boxes_.boxes.clear();
    EXPECT_FALSE(Send("s", "from@example.com", "to@example.org", "", false));
    EXPECT_TRUE(boxes_.boxes.empty());
    EXPECT_EQ(pop.Sessions(1)[0].lines.back(), "QUIT");
    smtp.Stop();
    EXPECT_TRUE(smtp.Sessions(0).empty());
}

TEST_F(SendMailTest, FailuresByStep) {
    Build(ClosedPort(), 0);
    EXPECT_FALSE(Send("s", "from@example.com", "to@example.org", "", true));
    EXPECT_EQ(boxes_.boxes, (Boxes{InfoBox("SMTP 接続します。"), ErrorBox("SMTP 接続中にエラー発生。")}));

    boxes_.boxes.clear();
    EXPECT_FALSE(Send("s", "from@example.com", "to@example.org", "", false));
    EXPECT_TRUE(boxes_.boxes.empty());

    auto smtp = FakeMailServer::Smtp();
    smtp.On("RCPT TO:<nobody@", "550 no such user\r\n");
    Build(smtp.Start(), 0);
    boxes_.boxes.clear();
    EXPECT_FALSE(Send("s", "from@example.com", "to@example.org, nobody@example.org", "", true));
    EXPECT_EQ(boxes_.boxes, (Boxes{InfoBox("SMTP 接続します。"), InfoBox("メールを送信します。"),
                                   ErrorBox("メール送信中にエラー発生。")}));
    const Lines lines = smtp.Sessions(1)[0].lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "DATA"), 0);
    EXPECT_EQ(lines.back(), "QUIT");
}

// The result names the step and the reason; the steps go to the listener, never to a box.
TEST_F(SendMailTest, TheResultCarriesTheFailedStepAndTheListenerHearsEveryStep) {
    struct Heard : MailProgress {
        Lines steps;
        void Step(const std::string& text) override { steps.push_back(text); }
        void Failed(const std::string& text) override { steps.push_back("failed: " + text); }
    };
    auto smtp = FakeMailServer::Smtp();
    smtp.On("RCPT TO:<nobody@", "550 no such user\r\n");
    Build(smtp.Start(), 0);
    const struct {
        const char* to;
        const char* step;   // the start of the result's step
        const char* reason; // contained in the result's reason
        Lines heard;
    } cases[] = {
        {"nobody@example.org", "SMTP: RCPT TO", "no such user",
         {"SMTP 接続します。", "メールを送信します。", "failed: メール送信中にエラー発生。"}},
        {"Taro <t@example.org> extra@example.org", "Address", "@ Outside address", {}},
        {"to@example.org", "", "", {"SMTP 接続します。", "メールを送信します。", "メール送信完了。SMTP切断します。"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        Heard heard;
        MailResult result;
        EXPECT_NO_THROW(result = SendMail("s", "from@example.com", c.to, "", &heard));
        EXPECT_EQ(result.delivered, std::string(c.step).empty());
        EXPECT_TRUE(result.step.starts_with(c.step)) << result.step;
        EXPECT_NE(result.reason.find(c.reason), std::string::npos) << result.reason;
        EXPECT_EQ(heard.steps, c.heard);
    }
    EXPECT_TRUE(boxes_.boxes.empty());
    EXPECT_EQ(smtp.Sessions(2).size(), 2u) << "the unreadable address connected nowhere";
}

// Once "." is answered with 250 the mail is delivered; a disconnect that fails then must not make
// the user send it again.
TEST_F(SendMailTest, DeliveredMailIsASuccessEvenWhenQuitFails) {
    auto smtp = FakeMailServer::Smtp();
    smtp.ResetAfter(".", "250 queued\r\n");
    Build(smtp.Start(), 0);
    // While the box is up the server resets the connection, so that QUIT cannot be written.
    struct WaitingBoxes : RecordingBoxes {
        FakeMailServer* server;
        void Info(const std::string& text) override {
            RecordingBoxes::Info(text);
            if (text == "メール送信完了。SMTP切断します。")
                server->Sessions(1);
        }
    } waiting;
    waiting.server = &smtp;
    BoxSteps steps;
    const MailResult result = SendMail("s", "from@example.com", "to@example.org", "", &steps);
    EXPECT_TRUE(result);
    EXPECT_EQ(result.Describe(), "");
    EXPECT_EQ(waiting.boxes, kSmtpSuccess);
}

TEST_F(SendMailTest, ALaterSendWorksAfterAFailedOne) {
    auto smtp = FakeMailServer::Smtp();
    smtp.On("RCPT TO:", "452 try later\r\n", true);
    Build(smtp.Start(), 0);
    EXPECT_FALSE(Send("s", "from@example.com", "to@example.org", "", false));
    EXPECT_TRUE(Send("s", "from@example.com", "to@example.org", "", false));
    EXPECT_EQ(smtp.Sessions(2).size(), 2u);
}

// A converter that cannot be had fails the sending step like any mail error: the connection is closed,
// so the next send through the same client works.
TEST_F(SendMailTest, ACharsetFailureClosesTheConnection) {
    auto smtp = FakeMailServer::Smtp();
    Build(smtp.Start(), 0);
    mail::InstallCharsetBackend(
        [](const std::string& charset) -> std::unique_ptr<mail::CharsetConverter> {
            throw std::runtime_error("no converter for " + charset);
        });
    const bool sent = Send("s", "from@example.com", "to@example.org", "", true);
    mail::InstallCharsetBackend({});
    EXPECT_FALSE(sent);
    EXPECT_EQ(boxes_.boxes.back(), ErrorBox("メール送信中にエラー発生。"));
    EXPECT_EQ(smtp.Sessions(1)[0].lines.back(), "QUIT");
    EXPECT_TRUE(Send("s", "from@example.com", "to@example.org", "", false));
}

TEST_F(SendMailTest, EmptyToFailsInTheSendingStep) {
    auto smtp = FakeMailServer::Smtp();
    smtp.On("DATA", "503 no valid recipients\r\n");
    Build(smtp.Start(), 0);
    EXPECT_FALSE(Send("s", "from@example.com", "", "", true));
    EXPECT_EQ(boxes_.boxes.back(), ErrorBox("メール送信中にエラー発生。"));
    EXPECT_EQ(smtp.Sessions(1)[0].lines, (Lines{"EHLO " + smtp.Sessions(1)[0].lines[0].substr(5), "RSET",
                                                "MAIL FROM:<from@example.com>", "DATA", "QUIT"}));
}

TEST_F(SendMailTest, RecipientsAndNamesFromTheAddressTexts) {
    auto smtp = FakeMailServer::Smtp();
    Build(smtp.Start(), 0);
    EXPECT_TRUE(Send("s", "Alarm <from@example.com>", "a@example.org,, \"B, Bee\" <b@example.org>",
                     "line 1\r\n.\rline 3\n", false));
    const auto session = smtp.Sessions(1)[0];
    EXPECT_EQ(session.lines[2], "MAIL FROM:<from@example.com>");
    EXPECT_EQ(session.lines[3], "RCPT TO:<a@example.org>");
    EXPECT_EQ(session.lines[4], "RCPT TO:<b@example.org>");
    EXPECT_EQ(session.message[0], "From: \"Alarm\" <from@example.com>");
    EXPECT_EQ(session.message[2], "To: a@example.org, \"B, Bee\" <b@example.org>");
    EXPECT_EQ(Lines(session.message.end() - 3, session.message.end()), (Lines{"line 1", "..", "line 3"}));
}

TEST_F(SendMailTest, UnreadableAddressFailsBeforeAnyConnection) {
    auto smtp = FakeMailServer::Smtp();
    Build(smtp.Start(), 0);
    BoxSteps steps;
    const MailResult result =
        SendMail("s", "from@example.com", "Taro <t@example.org> extra@example.org", "", &steps);
    EXPECT_EQ(result.Describe(), "Address: @ Outside address");
    EXPECT_TRUE(boxes_.boxes.empty());
    smtp.Stop();
    EXPECT_TRUE(smtp.Sessions(0).empty());
}

TEST_F(SendMailTest, SmtpAuthLogin) {
    auto smtp = FakeMailServer::Smtp();
    smtp.On("EHLO", "250-fake\r\n250 AUTH LOGIN PLAIN\r\n");
    smtp.On("AUTH LOGIN", "334 VXNlcm5hbWU6\r\n");
    smtp.On(mail::Base64Encode("user"), "334 UGFzc3dvcmQ6\r\n");
    smtp.On(mail::Base64Encode("secret"), "235 ok\r\n");
    Build(smtp.Start(), 1);
    EXPECT_TRUE(Send("s", "from@example.com", "to@example.org", "", false));
    const Lines lines = smtp.Sessions(1)[0].lines;
    EXPECT_EQ(Lines(lines.begin() + 1, lines.begin() + 5),
              (Lines{"RSET", "AUTH LOGIN", "dXNlcg==", "c2VjcmV0"}));
}

TEST_F(SendMailTest, BuiltClientsStayUntilTheNextBuild) {
    auto stored = FakeMailServer::Smtp();
    auto dialog = FakeMailServer::Smtp();
    SetSMTP(TSMTP{stored.Start(), "127.0.0.1", "", ""});
    SetPOP(TPOP{110, "pop.example", "", ""});
    SetMailAccount(TMailAccount{"f@x", "t@y", "c@z", "b@w"});
    InitMail();
    Build(dialog.Start(), 0); // the settings dialog's test with unsaved values
    EXPECT_TRUE(Send("s", "f@x", "t@y", "", false));
    EXPECT_EQ(GetSMTP().Port, stored.Port());
    EXPECT_EQ(GetMailAccount().BCC, "b@w");
    EXPECT_EQ(GetPOP().Server, "pop.example");
    InitMail();
    EXPECT_TRUE(Send("s", "f@x", "t@y", "", false));
    EXPECT_EQ(dialog.Sessions(1).size(), 1u);
    EXPECT_EQ(stored.Sessions(1).size(), 1u);
}

} // namespace

namespace {

int RunWith(std::vector<std::string> args) {
    args.insert(args.begin(), "test-mail");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    std::ostringstream out, err;
    return RunTestMail(static_cast<int>(argv.size()), argv.data(), out, err);
}

TEST_F(SendMailTest, TestMailCommandReadsItsOptions) {
    auto smtp = FakeMailServer::Smtp();
    auto pop = FakeMailServer::Pop3();
    const std::string smtpAddress = "127.0.0.1:" + std::to_string(smtp.Start());
    const std::string popAddress = "127.0.0.1:" + std::to_string(pop.Start());
    EXPECT_EQ(RunWith({"--smtp", smtpAddress, "--auth", "pop", "--pop", popAddress, "--pop-user", "taro",
                       "--pop-password", "pw", "--from", "Alarm <a@example.com>", "--to", "b@example.org",
                       "--timeout", "5"}),
              0);
    EXPECT_EQ(pop.Sessions(1)[0].lines, (Lines{"USER taro", "PASS pw", "QUIT"}));
    const auto session = smtp.Sessions(1)[0];
    EXPECT_EQ(session.message[1], "Subject: Quorvane TestMail");
    EXPECT_EQ(session.lines[3], "RCPT TO:<b@example.org>");

    smtp.On("RCPT TO:", "550 no\r\n", true);
    EXPECT_EQ(RunWith({"--smtp", smtpAddress, "--from", "a@example.com", "--to", "b@example.org"}), 1);
    for (const auto& bad :
         std::vector<std::vector<std::string>>{{"--smtp", smtpAddress, "--auth", "cram"},
                                               {"--smtp", "127.0.0.1:port"},
                                               {"--smtp", "[::1"},
                                               {"--smtp", smtpAddress, "--to"},
                                               {"--smtp", smtpAddress, "--verbose", "1"},
                                               {"--smtp", smtpAddress, "--smtp-security", "ssl"},
                                               {"--from", "a@example.com"},
                                               {"--smtp", smtpAddress, "--timeout", "0"}})
        EXPECT_EQ(RunWith(bad), 2) << bad.back();
    EXPECT_EQ(smtp.Sessions(2).size(), 2u);
}

} // namespace
