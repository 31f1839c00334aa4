// The mail passwords against GNOME Keyring on a private session bus: the program's load and save with the
// QtKeychain store, and quorvanectl's secret-tool store on the same entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "app/toolkit/Keyring.h"
#include "fakes/FakeMailServer.h"
#include "fakes/FakeSettingsHost.h"
#include "fakes/SecretServiceSession.h"
#include "fakes/TestFiles.h"
#include "mail/Base64.h"
#include "mail/Mail.h"
#include "settings/MailPasswords.h"
#include "settings/Settings.h"
#include "tools/SecretTool.h"
#include "tools/TestMailCommand.h"
#include "util/Secret.h"

using namespace quorvane;
using quorvane::testing::FakeMailServer;
using quorvane::testing::SecretServiceSession;

namespace {

// Generous: the first call opens the keyring's session, slow on a loaded machine.
constexpr std::chrono::seconds Bound{20};

// One keyring for the whole process: the Secret Service client keeps its first bus.
SecretServiceSession& Session() {
    static SecretServiceSession session;
    return session;
}

std::string MailSection(const std::string& user, const std::string& smtpPassword, const std::string& store,
                        int port = 587) {
    return "[Mail]\r\nSMTP_SERVER=127.0.0.1\r\nSMTP_PORT=" + std::to_string(port) +
           "\r\nSMTP_USER_ID=" + user + "\r\nSMTP_PASSWORD=" + smtpPassword +
           "\r\nSMTP_AUTHTYPE=1\r\nPOP_SERVER=pop.example.jp\r\nPOP_PORT=995\r\nPOP_USER_ID=" + user +
           "\r\nPOP_PASSWORD=\r\nPASSWORD_STORE=" + store +
           "\r\nFrom=alarm@example.jp\r\nTo=taro@example.jp\r\n";
}

bool Holds(const std::string& text, const std::string& line) {
    return text.find(line + "\r\n") != std::string::npos;
}

class RealKeyring : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Session().Failure().empty())
            GTEST_SKIP() << "no Secret Service to test against: " << Session().Failure();
        SetSMTP({});
        SetPOP({});
    }
    void TearDown() override { SetPasswordStore(nullptr); }

    std::string Path() const { return (folder.path() / "quorvane.ini").string(); }
    // The program's start: a fresh store object, as after a restart, installed and the file loaded.
    void Start(const std::string& text) {
        keyring = std::make_unique<Keyring>(Bound);
        SetPasswordStore(keyring.get());
        fakes::WriteBytes(Path(), text);
        SetSMTP({});
        SetPOP({});
        LoadData(host, Path());
    }
    std::string Save() {
        SaveData(host, Path());
        return fakes::ReadBytes(Path());
    }

    std::unique_ptr<Keyring> keyring;
    SecretToolStore secretTool{Bound};
    FakeSettingsHost host;
    fakes::TempFolder folder{"quorvane-real-keyring"};
};

// A password typed in the dialog and one in today's protected file form both go to the keyring at the
// save, leave the file empty, and come back after a restart; quorvanectl's store finds the same entry.
TEST_F(RealKeyring, SavedPasswordLeavesTheFileAndComesBackAfterARestart) {
    struct Case {
        const char* what;
        std::string user, fileForm, typed, expected;
    };
    const Case cases[] = {
        {"typed in the dialog", "hanako", "", "日本語のパス🔑 word", "日本語のパス🔑 word"},
        {"today's protected form", "jiro", EncryptSecret("s3cret", "Rk4wPz7N"), "", "s3cret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(MailSection(c.user, c.fileForm, "file"));
        if (!c.typed.empty()) {
            TSMTP smtp = GetSMTP();
            smtp.Password = c.typed;
            SetSMTP(smtp);
        }
        const std::string saved = Save();
        EXPECT_TRUE(Holds(saved, "SMTP_PASSWORD=")) << saved;
        EXPECT_TRUE(Holds(saved, "POP_PASSWORD=")) << saved;
        EXPECT_TRUE(Holds(saved, "PASSWORD_STORE=keyring")) << saved;

        const SecretRead held = secretTool.Read(SmtpPasswordKey(GetSMTP()));
        EXPECT_EQ(held.answer, SecretAnswer::Found);
        EXPECT_EQ(held.secret, c.expected);
        EXPECT_EQ(secretTool.Read(PopPasswordKey(GetPOP())).answer, SecretAnswer::Missing)
            << "an empty password keeps no entry";

        Start(saved);
        EXPECT_EQ(GetSMTP().Password, c.expected);
        EXPECT_FALSE(LoadedMailPasswords().smtpMissing);
        EXPECT_FALSE(LoadedMailPasswords().keyringUnavailable);
    }
}

// An entry quorvanectl wrote is read by the program; a missing one leaves the field empty and flagged.
TEST_F(RealKeyring, MissingEntryLeavesTheFieldEmptyAndFlagged) {
    TPOP pop;
    pop.Server = "pop.example.jp";
    pop.Port = 995;
    pop.UserID = "saburo";
    ASSERT_TRUE(secretTool.Write(PopPasswordKey(pop), "pop-pass"));
    Start(MailSection("saburo", "", "keyring"));
    EXPECT_EQ(GetSMTP().Password, "");
    EXPECT_TRUE(LoadedMailPasswords().smtpMissing);
    EXPECT_EQ(GetPOP().Password, "pop-pass");
    EXPECT_FALSE(LoadedMailPasswords().popMissing);
    EXPECT_FALSE(LoadedMailPasswords().keyringUnavailable);
}

// Each store reads, replaces and removes what the other wrote: the program and quorvanectl share entries.
TEST_F(RealKeyring, BothStoresShareTheEntries) {
    Keyring qt{Bound};
    struct Case {
        const char* what;
        PasswordStore& writer;
        PasswordStore& other;
    };
    const Case cases[] = {{"written by the program", qt, secretTool},
                          {"written by quorvanectl", secretTool, qt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string key = PasswordKey("smtp", c.what, "mail.example.jp", 587);
        ASSERT_TRUE(c.writer.Write(key, "first"));
        ASSERT_TRUE(c.other.Write(key, "second ü"));
        for (PasswordStore* reader : {&c.writer, &c.other}) {
            const SecretRead read = reader->Read(key);
            EXPECT_EQ(read.answer, SecretAnswer::Found);
            EXPECT_EQ(read.secret, "second ü") << "one entry, replaced, not two";
        }
        EXPECT_TRUE(c.other.Remove(key));
        EXPECT_EQ(c.writer.Read(key).answer, SecretAnswer::Missing);
        EXPECT_EQ(c.other.Read(key).answer, SecretAnswer::Missing);
        EXPECT_TRUE(c.other.Remove(key)) << "removing a missing entry succeeds";
    }
}

// quorvanectl test-mail --settings FILE logs in with the password the program saved in the keyring.
TEST_F(RealKeyring, TestMailCommandLogsInWithTheKeyringPassword) {
    auto smtp = FakeMailServer::Smtp();
    smtp.On("EHLO", "250-fake\r\n250 AUTH LOGIN\r\n");
    smtp.On("AUTH LOGIN", "334 VXNlcm5hbWU6\r\n");
    smtp.On(mail::Base64Encode("shiro"), "334 UGFzc3dvcmQ6\r\n");
    smtp.On(mail::Base64Encode("kagi-no-pass"), "235 ok\r\n");
    const int port = smtp.Start();
    Start(MailSection("shiro", "", "file", port));
    TSMTP typed = GetSMTP();
    typed.Password = "kagi-no-pass";
    SetSMTP(typed);
    ASSERT_TRUE(Holds(Save(), "PASSWORD_STORE=keyring"));
    SetPasswordStore(nullptr);
    SetSMTP({});

    std::string args[] = {"test-mail", "--settings", Path(), "--timeout", "20"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data()};
    std::ostringstream out, err;
    EXPECT_EQ(RunTestMail(5, argv, out, err), 0) << out.str() << err.str();
    const auto lines = smtp.Sessions(1)[0].lines;
    const auto auth = std::find(lines.begin(), lines.end(), "AUTH LOGIN");
    ASSERT_GE(std::distance(auth, lines.end()), 3) << "no AUTH LOGIN with its user and password";
    EXPECT_EQ(auth[2], mail::Base64Encode("kagi-no-pass"));
}

} // namespace
