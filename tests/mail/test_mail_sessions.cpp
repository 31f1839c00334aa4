#include "fakes/FakeMailServer.h"
#include "mail/Base64.h"
#include "mail/MailClients.h"
#include "mail/MailError.h"

#include <gtest/gtest.h>

#include <deque>

using namespace quorvane::mail;
using quorvane::testing::FakeMailServer;
using Lines = std::vector<std::string>;

namespace {

constexpr std::chrono::milliseconds kTimeout{5000};

SmtpClient Client(const FakeMailServer& server, bool authLogin = false,
                  std::chrono::milliseconds timeout = kTimeout) {
    return SmtpClient({"127.0.0.1", server.Port(), "user", "secret"}, authLogin, timeout, "client.test");
}

MailMessage Message(std::vector<std::string> recipients = {"to@example.org"}) {
    MailMessage m;
    m.Subject = "Quorvane TestMail";
    m.From = {"from@example.com", ""};
    for (auto& r : recipients)
        m.Recipients.push_back({r, ""});
    m.Body = {".dot"};
    return m;
}

const MessageWriter kWriter(MailLanguage::Other);

void SendOne(SmtpClient& client) {
    client.Connect();
    client.Send(Message(), kWriter);
    client.Disconnect();
}

TEST(ReplyReader, SingleAndMultiLineReplies) {
    const auto read = [](std::deque<std::string> lines) {
        return ReadReply([&] {
            if (lines.empty())
                throw MailError("no more lines");
            std::string line = lines.front();
            lines.pop_front();
            return line;
        });
    };
    Reply r = read({"250-first", "250-second", "250 last", "220 next reply"});
    EXPECT_EQ(r.TextCode, "250");
    EXPECT_EQ(r.Code, 250);
    EXPECT_EQ(r.Lines, (Lines{"first", "second", "last"}));
    EXPECT_EQ(r.Text(), "first\nsecond\nlast");

    r = read({"", "  ", "\t\x01", "  354 go ahead  "});
    EXPECT_EQ(r.Code, 354);
    EXPECT_EQ(r.Lines, Lines{"go ahead"});

    r = read({"250-a", "", "250-b", "250 c"});
    EXPECT_EQ(r.Lines, (Lines{"a", "b", "c"}));
    // The last line is found without regard to case; a short line also ends the reply.
    EXPECT_EQ(read({"25x-a", "25X b"}).Lines.size(), 2u);
    EXPECT_EQ(read({"250-a", "250", "250 never"}).Lines, (Lines{"a", ""}));

    EXPECT_EQ(read({"+OK ready"}).TextCode, "+OK");
    EXPECT_EQ(read({"+OK"}).TextCode, "+OK");
    EXPECT_EQ(read({"-ERR nope"}).TextCode, "-ERR");
    EXPECT_EQ(read({"-ERR nope"}).Code, 0);
    EXPECT_EQ(read({"hello there"}).Code, 0);
    EXPECT_THROW(read({"", ""}), MailError);
}

TEST(SmtpSession, FullDialogueAndTheMessage) {
    auto server = FakeMailServer::Smtp();
    server.Start();
    SmtpClient client = Client(server);
    SendOne(client);
    EXPECT_FALSE(client.Connected());
    const auto sessions = server.Sessions(1);
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].lines, (Lines{"EHLO client.test", "RSET", "MAIL FROM:<from@example.com>",
                                        "RCPT TO:<to@example.org>", "DATA", ".", "QUIT"}));
    const Lines& message = sessions[0].message;
    ASSERT_EQ(message.size(), 9u);
    EXPECT_EQ(message[0], "From: from@example.com");
    EXPECT_EQ(message[7], "");
    EXPECT_EQ(message[8], "..dot");
}

TEST(SmtpSession, EhloRefusedFallsBackToHeloWithoutAuth) {
    auto server = FakeMailServer::Smtp();
    server.On("EHLO", "500 what?\r\n");
    server.Start();
    SmtpClient client = Client(server, true);
    SendOne(client);
    EXPECT_EQ(server.Sessions(1)[0].lines,
              (Lines{"EHLO client.test", "HELO client.test", "RSET", "MAIL FROM:<from@example.com>",
                     "RCPT TO:<to@example.org>", "DATA", ".", "QUIT"}));
}

TEST(SmtpSession, HeloRefusedFailsTheConnect) {
    auto server = FakeMailServer::Smtp();
    server.On("EHLO", "500 what?\r\n");
    server.On("HELO", "501 no\r\n");
    server.Start();
    SmtpClient client = Client(server, true);
    EXPECT_THROW(client.Connect(), MailError);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.Sessions(1)[0].lines.back(), "QUIT");
}

class SmtpAuthList : public ::testing::TestWithParam<const char*> {};

TEST_P(SmtpAuthList, LoginAmongOtherMechanismsEnablesAuthLogin) {
    auto server = FakeMailServer::Smtp();
    server.On("EHLO", GetParam());
    server.On("AUTH LOGIN", "334 VXNlcm5hbWU6\r\n");
    server.On(Base64Encode("user"), "334 UGFzc3dvcmQ6\r\n");
    server.On(Base64Encode("secret"), "235 welcome\r\n");
    server.Start();
    SmtpClient client = Client(server, true);
    client.Connect();
    EXPECT_EQ(std::count(client.AuthMechanisms().begin(), client.AuthMechanisms().end(), "LOGIN"), 1);
    client.Send(Message(), kWriter);
    EXPECT_TRUE(client.Authenticated());
    client.Disconnect();
    EXPECT_FALSE(client.Authenticated());
    EXPECT_EQ(server.Sessions(1)[0].lines,
              (Lines{"EHLO client.test", "RSET", "AUTH LOGIN", "dXNlcg==", "c2VjcmV0",
                     "MAIL FROM:<from@example.com>", "RCPT TO:<to@example.org>", "DATA", ".", "QUIT"}));
}

INSTANTIATE_TEST_SUITE_P(Forms, SmtpAuthList,
                         ::testing::Values("250-fake\r\n250-AUTH=LOGIN PLAIN\r\n250 SIZE 100\r\n",
                                           "250-fake\r\n250-auth plain login cram-md5\r\n250 HELP\r\n",
                                           "250-fake\r\n250-AUTH PLAIN\r\n250-AUTH=LOGIN\r\n250 OK\r\n"));

TEST(SmtpSession, NoAuthWhenLoginIsNotOfferedOrNotConfigured) {
    auto server = FakeMailServer::Smtp();
    server.On("EHLO", "250-fake\r\n250 AUTH PLAIN CRAM-MD5\r\n");
    server.Start();
    SmtpClient configured = Client(server, true);
    SendOne(configured);
    EXPECT_EQ(configured.AuthMechanisms(), (Lines{"PLAIN", "CRAM-MD5"}));
    server.On("EHLO", "250-fake\r\n250 AUTH LOGIN\r\n");
    SmtpClient notConfigured = Client(server, false);
    SendOne(notConfigured);
    for (const auto& session : server.Sessions(2))
        EXPECT_EQ(session.lines[2], "MAIL FROM:<from@example.com>");
}

TEST(SmtpSession, RefusedAuthFailsBeforeTheEnvelope) {
    auto server = FakeMailServer::Smtp();
    server.On("EHLO", "250 AUTH LOGIN\r\n");
    server.On("AUTH LOGIN", "334 VXNlcm5hbWU6\r\n");
    server.On(Base64Encode("user"), "334 UGFzc3dvcmQ6\r\n");
    server.On(Base64Encode("secret"), "535 authentication failed\r\n");
    server.Start();
    SmtpClient client = Client(server, true);
    client.Connect();
    try {
        client.Send(Message(), kWriter);
        ADD_FAILURE() << "no error";
    } catch (const MailError& e) {
        EXPECT_STREQ(e.what(), "authentication failed");
    }
    EXPECT_FALSE(client.Authenticated());
    client.Disconnect();
    EXPECT_EQ(server.Sessions(1)[0].lines.back(), "QUIT");
    EXPECT_EQ(server.Sessions(1)[0].lines.size(), 6u);
}

TEST(SmtpSession, Greeting554FailsAndQuits) {
    auto server = FakeMailServer::Smtp();
    server.SetGreeting("554 go away\r\n");
    server.Start();
    SmtpClient client = Client(server);
    EXPECT_THROW(client.Connect(), MailError);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.Sessions(1)[0].lines, Lines{"QUIT"});
}

TEST(SmtpSession, Rset502IsIgnored) {
    auto server = FakeMailServer::Smtp();
    server.On("RSET", "502 not implemented\r\n");
    server.Start();
    SmtpClient client = Client(server);
    EXPECT_NO_THROW(SendOne(client));
    EXPECT_EQ(server.Sessions(1)[0].lines.size(), 7u);
}

TEST(SmtpSession, Rcpt251IsAcceptedAnd550FailsBeforeData) {
    auto server = FakeMailServer::Smtp();
    server.On("RCPT TO:<forward@", "251 will forward\r\n");
    server.On("RCPT TO:<nobody@", "550 no such user\r\n");
    server.Start();
    SmtpClient client = Client(server);
    client.Connect();
    client.Send(Message({"forward@example.org", "to@example.org"}), kWriter);
    EXPECT_THROW(
        client.Send(Message({"forward@example.org", "nobody@example.org", "to@example.org"}), kWriter),
        MailError);
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
    const Lines lines = server.Sessions(1)[0].lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "DATA"), 1);
    EXPECT_EQ(lines.back(), "QUIT");
    EXPECT_EQ(lines[lines.size() - 2], "RCPT TO:<nobody@example.org>");
}

TEST(SmtpSession, ConnectRefusedWhileStillConnected) {
    auto server = FakeMailServer::Smtp();
    server.Start();
    SmtpClient client = Client(server);
    client.Connect();
    try {
        client.Connect();
        ADD_FAILURE() << "second connect accepted";
    } catch (const MailError& e) {
        EXPECT_STREQ(e.what(), "already connected");
    }
    client.Disconnect();
}

TEST(SmtpSession, ReplyLinesUpTo16384Characters) {
    auto server = FakeMailServer::Smtp();
    server.SetGreeting("220 " + std::string(16380, 'x') + "\r\n");
    server.Start();
    SmtpClient fits = Client(server);
    EXPECT_NO_THROW(fits.Connect());
    fits.Disconnect();

    server.SetGreeting("220 " + std::string(19996, 'x') + "\r\n");
    SmtpClient tooLong = Client(server);
    EXPECT_THROW(tooLong.Connect(), MailError);
    EXPECT_FALSE(tooLong.Connected());
    EXPECT_EQ(server.Sessions(2)[1].lines, Lines{"QUIT"});
}

TEST(SmtpSession, SilentServerTimesOut) {
    auto server = FakeMailServer::Smtp();
    server.SetGreeting("");
    server.Start();
    SmtpClient client = Client(server, false, std::chrono::milliseconds(200));
    EXPECT_THROW(client.Connect(), MailError);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.Sessions(1)[0].lines, Lines{"QUIT"});

    // Silent after the message: the final reply never comes.
    server.SetGreeting("220 hello\r\n");
    server.On(".", "");
    SmtpClient late = Client(server, false, std::chrono::milliseconds(200));
    late.Connect();
    EXPECT_THROW(late.Send(Message(), kWriter), MailError);
    late.Disconnect();
}

TEST(SmtpSession, RefusedConnectionAndBadPortFail) {
    SmtpClient refused({"127.0.0.1", 1, "", ""}, false, kTimeout, "client.test");
    EXPECT_THROW(refused.Connect(), MailError);
    SmtpClient badPort({"127.0.0.1", 70000, "", ""}, false, kTimeout, "client.test");
    EXPECT_THROW(badPort.Connect(), MailError);
}

TEST(SmtpSession, HostNamesAndIpv6) {
    auto server = FakeMailServer::Smtp();
    server.Start();
    SmtpClient byName({"localhost", server.Port(), "", ""}, false, kTimeout, "client.test");
    EXPECT_NO_THROW(SendOne(byName));

    auto server6 = FakeMailServer::Smtp();
    if (!server6.StartIpv6())
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    SmtpClient byAddress({"::1", server6.Port(), "", ""}, false, kTimeout, "client.test");
    EXPECT_NO_THROW(SendOne(byAddress));
    EXPECT_EQ(server6.Sessions(1)[0].lines.back(), "QUIT");
}

TEST(SmtpSession, LineBreaksInAddressesNeverReachTheServer) {
    auto server = FakeMailServer::Smtp();
    server.Start();
    SmtpClient client = Client(server);
    client.Connect();
    MailMessage m = Message({"to@example.org>\r\nRCPT TO:<evil@example.net"});
    EXPECT_THROW(client.Send(m, kWriter), MailError);
    m = Message();
    m.From.Address = "from@example.com>\r\nDATA";
    EXPECT_THROW(client.Send(m, kWriter), MailError);
    client.Disconnect();
    const auto sessions = server.Sessions(1);
    for (const std::string& line : sessions[0].lines) {
        EXPECT_EQ(line.find("evil"), std::string::npos);
        EXPECT_NE(line, "DATA");
    }
}

// Once STARTTLS is asked for, nothing but EHLO, STARTTLS and QUIT goes out in clear, and after a
// 220 to STARTTLS nothing at all unless the handshake succeeded.
TEST(SmtpStartTls, NeverGoesOnInClear) {
    const struct {
        const char* ehlo;
        const char* starttls; // nullptr: no rule
        Lines sent;           // the start of what the server received
        bool exact;           // ... or all of it
        const char* reason;
    } cases[] = {
        {"250-fake\r\n250 AUTH LOGIN\r\n", nullptr, {"EHLO client.test", "QUIT"}, true, "STARTTLS"},
        {"500 what?\r\n", nullptr, {"EHLO client.test", "QUIT"}, true, "EHLO"},
        {"250-fake\r\n250 starttls\r\n",
         "454 not now\r\n",
         {"EHLO client.test", "STARTTLS", "QUIT"},
         true,
         "not now"},
        {"250 STARTTLS\r\n", "220 go\r\n250 injected\r\n", {"EHLO client.test", "STARTTLS"}, true, "before"},
        // A server that says 220 but speaks no TLS: the ClientHello may arrive as junk lines.
        {"250 STARTTLS\r\n", "220 go\r\n", {"EHLO client.test", "STARTTLS"}, false, "TLS handshake"},
    };
    for (const auto& c : cases) {
        auto server = FakeMailServer::Smtp();
        server.On("EHLO", c.ehlo);
        if (c.starttls)
            server.On("STARTTLS", c.starttls);
        server.Start();
        SmtpClient client({"127.0.0.1", server.Port(), "user", "secret", kSecurityStartTls}, true,
                          std::chrono::milliseconds(1000), "client.test");
        try {
            client.Connect();
            ADD_FAILURE() << "connected: " << c.ehlo;
        } catch (const MailError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_FALSE(client.Connected());
        const Lines sent = server.Sessions(1)[0].lines;
        if (c.exact)
            EXPECT_EQ(sent, c.sent);
        else
            EXPECT_TRUE(std::equal(c.sent.begin(), c.sent.end(), sent.begin())) << sent[0];
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "QUIT"),
                  std::count(c.sent.begin(), c.sent.end(), "QUIT"));
    }
}

// TLS from the first byte against a server that answers in clear, or not at all: the handshake
// fails within the time-out, and not a byte of the dialogue is sent in clear.
TEST(SmtpTls, HandshakeWithAPlainOrSilentServerFails) {
    for (const char* greeting : {"220 fake.example ESMTP ready\r\n", ""}) {
        auto server = FakeMailServer::Smtp();
        server.SetGreeting(greeting);
        server.Start();
        SmtpClient client({"127.0.0.1", server.Port(), "user", "secret", kSecurityTls}, true,
                          std::chrono::milliseconds(500), "client.test");
        try {
            client.Connect();
            ADD_FAILURE() << "connected";
        } catch (const MailError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("TLS handshake")) << e.what();
        }
        const Lines sent = server.Sessions(1)[0].lines;
        for (const std::string& line : sent)
            EXPECT_EQ(line.find("QUIT"), std::string::npos);
    }
}

TEST(MailSecurity, UnknownSettingConnectsNothing) {
    auto server = FakeMailServer::Smtp();
    server.Start();
    SmtpClient smtp({"127.0.0.1", server.Port(), "", "", 3}, false, kTimeout, "client.test");
    EXPECT_THROW(smtp.Connect(), MailError);
    Pop3Client pop({"127.0.0.1", server.Port(), "taro", "pw", -1}, kTimeout);
    EXPECT_THROW(pop.Connect(), MailError);
    SmtpClient plain({"127.0.0.1", server.Port(), "", ""}, false, kTimeout, "client.test");
    SendOne(plain);
    EXPECT_EQ(server.Sessions(1).size(), 1u); // only the plain client's connection
}

// A server trickling continuation lines, each well within the time-out, is bound by one time-out
// for the whole reply.
TEST(SmtpSession, ATricklingReplyIsBoundAsAWhole) {
    auto server = FakeMailServer::Smtp();
    server.DripGreeting("220-still here\r\n", 200, std::chrono::milliseconds(50));
    server.Start();
    SmtpClient client = Client(server, false, std::chrono::milliseconds(500));
    EXPECT_THROW(client.Connect(), MailError);
    EXPECT_FALSE(client.Connected());
}

// Replies that each come well within the time-out still cannot hold one connection for longer
// than a few time-outs together.
TEST(SmtpSession, ASlowServerIsBoundForTheWholeSession) {
    auto server = FakeMailServer::Smtp();
    server.OnSlowly("RCPT TO:", "250 ok\r\n", std::chrono::milliseconds(150));
    server.Start();
    SmtpClient client = Client(server, false, std::chrono::milliseconds(400));
    client.Connect();
    std::vector<std::string> many(20, "to@example.org"); // 20 x 150 ms, more than 4 x 400 ms
    EXPECT_THROW(client.Send(Message(many), kWriter), MailError);
    client.Disconnect();
}

TEST(SmtpSession, EhloNamesTheFullHostNameOrTheLocalAddress) {
    auto server = FakeMailServer::Smtp();
    server.Start();
    SmtpClient client({"127.0.0.1", server.Port(), "", ""}, false, kTimeout);
    SendOne(client);
    const std::string fqdn = FullyQualifiedHostName();
    EXPECT_EQ(server.Sessions(1)[0].lines[0], "EHLO " + (fqdn.empty() ? "[127.0.0.1]" : fqdn));
    EXPECT_EQ(GreetingName("", "::1"), "[IPv6:::1]");
}

TEST(Pop3Session, LogInAndOut) {
    auto server = FakeMailServer::Pop3();
    server.Start();
    Pop3Client client({"127.0.0.1", server.Port(), "taro", "pa ss"}, kTimeout);
    client.Connect();
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.Sessions(1)[0].lines, (Lines{"USER taro", "PASS pa ss", "QUIT"}));
}

TEST(Pop3Session, ErrToPassAndUnknownGreetingFailTheConnect) {
    auto server = FakeMailServer::Pop3();
    server.On("PASS", "-ERR invalid password\r\n", true);
    server.Start();
    Pop3Client client({"127.0.0.1", server.Port(), "taro", "wrong"}, kTimeout);
    try {
        client.Connect();
        ADD_FAILURE() << "no error";
    } catch (const MailError& e) {
        EXPECT_STREQ(e.what(), " invalid password"); // the text from the fifth character on
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.Sessions(1)[0].lines, (Lines{"USER taro", "PASS wrong", "QUIT"}));

    server.SetGreeting("* POP3 ready\r\n");
    EXPECT_THROW(client.Connect(), MailError);
    EXPECT_EQ(server.Sessions(2)[1].lines, Lines{"QUIT"});

    server.SetGreeting("+ok lower case is fine\r\n");
    EXPECT_NO_THROW(client.Connect());
    client.Disconnect();

    server.SetGreeting("");
    Pop3Client silent({"127.0.0.1", server.Port(), "taro", "pw"}, std::chrono::milliseconds(200));
    EXPECT_THROW(silent.Connect(), MailError);
    EXPECT_FALSE(silent.Connected());
}

TEST(Pop3Session, RefusedStlsSendsNoUserName) {
    auto server = FakeMailServer::Pop3();
    server.On("STLS", "-ERR not here\r\n");
    server.Start();
    Pop3Client client({"127.0.0.1", server.Port(), "taro", "pw", kSecurityStartTls}, kTimeout);
    EXPECT_THROW(client.Connect(), MailError);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(server.Sessions(1)[0].lines, (Lines{"STLS", "QUIT"}));
}

} // namespace
