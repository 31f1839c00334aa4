#include <gtest/gtest.h>

#include "fakes/FakePasswordStore.h"
#include "fakes/FakeSettingsHost.h"
#include "fakes/TestFiles.h"
#include "mail/Mail.h"
#include "settings/MailPasswords.h"
#include "settings/Settings.h"
#include "util/Secret.h"

using namespace quorvane;
using fakes::ReadBytes;
using fakes::WriteBytes;

namespace {

const std::string SmtpKey = "smtp://taro@mail.example.jp:587";
const std::string PopKey = "pop3://taro@pop.example.jp:995";

std::string MailSection(const std::string& smtpPassword, const std::string& store) {
    return "[Mail]\r\nSMTP_SERVER=mail.example.jp\r\nSMTP_PORT=587\r\nSMTP_USER_ID=taro\r\nSMTP_PASSWORD=" +
           smtpPassword +
           "\r\nPOP_SERVER=pop.example.jp\r\nPOP_PORT=995\r\nPOP_USER_ID=taro\r\nPOP_PASSWORD=\r\n"
           "PASSWORD_STORE=" +
           store + "\r\n";
}

bool Holds(const std::string& text, const std::string& line) {
    return text.find(line + "\r\n") != std::string::npos;
}

class MailPasswords : public ::testing::Test {
protected:
    void SetUp() override {
        SetSMTP({});
        SetPOP({});
        SetPasswordStore(&store);
    }
    void TearDown() override { SetPasswordStore(nullptr); }
    std::string Path() const { return (folder.path() / "quorvane.ini").string(); }
    void Load(const std::string& text) {
        WriteBytes(Path(), text);
        SetSMTP({});
        SetPOP({});
        LoadData(host, Path());
    }
    std::string Save() {
        SaveData(host, Path());
        return ReadBytes(Path());
    }

    FakePasswordStore store;
    FakeSettingsHost host;
    fakes::TempFolder folder{"quorvane-mail-passwords"};
};

} // namespace

// Today's file form moves into the keyring at the next save and comes back from it after a restart.
TEST_F(MailPasswords, ProtectedPasswordMovesToKeyringAndComesBack) {
    Load(MailSection(EncryptSecret("s3cret", "Rk4wPz7N"), "file"));
    ASSERT_EQ(GetSMTP().Password, "s3cret");

    const std::string saved = Save();
    EXPECT_TRUE(Holds(saved, "SMTP_PASSWORD=")) << saved;
    EXPECT_TRUE(Holds(saved, "POP_PASSWORD=")) << saved;
    EXPECT_TRUE(Holds(saved, "PASSWORD_STORE=keyring")) << saved;
    EXPECT_EQ(store.entries[SmtpKey], "s3cret");
    EXPECT_FALSE(store.entries.contains(PopKey)) << "an empty password keeps no entry";

    Load(saved);
    EXPECT_EQ(GetSMTP().Password, "s3cret");
    EXPECT_FALSE(LoadedMailPasswords().smtpMissing);
    EXPECT_TRUE(LoadedMailPasswords().popMissing);
}

TEST_F(MailPasswords, MissingEntryLeavesFieldEmptyAndFlagged) {
    store.entries[PopKey] = "pop-pass";
    Load(MailSection("", "keyring"));
    EXPECT_EQ(GetSMTP().Password, "");
    EXPECT_TRUE(LoadedMailPasswords().smtpMissing);
    EXPECT_EQ(GetPOP().Password, "pop-pass");
    EXPECT_FALSE(LoadedMailPasswords().popMissing);
}

// A POP account that was never set up has no password to miss.
TEST_F(MailPasswords, AnAccountNeverSetUpIsNotFlagged) {
    std::string text = MailSection("", "keyring");
    for (const std::string line : {"POP_SERVER=pop.example.jp\r\n", "POP_USER_ID=taro\r\n"})
        text.erase(text.find(line), line.size());
    Load(text);
    EXPECT_TRUE(LoadedMailPasswords().smtpMissing);
    EXPECT_FALSE(LoadedMailPasswords().popMissing);
}

// Without a keyring the password stays protected in the file, never in clear and never lost.
TEST_F(MailPasswords, NoKeyringKeepsTheFileForm) {
    store.answers = false;
    Load(MailSection("", "file"));
    TSMTP smtp = GetSMTP();
    smtp.Password = "typed";
    SetSMTP(smtp);

    const std::string saved = Save();
    EXPECT_TRUE(Holds(saved, "PASSWORD_STORE=file")) << saved;
    EXPECT_EQ(saved.find("typed"), std::string::npos) << saved;
    EXPECT_TRUE(KeyringUnavailable());
    Load(saved);
    EXPECT_EQ(GetSMTP().Password, "typed");
}

// A keyring that did not answer at start still holds the passwords: a later save must not remove them,
// even when it answers by then.
TEST_F(MailPasswords, UnreadKeyringEntriesSurviveASave) {
    store.entries[SmtpKey] = "kept";
    store.answers = false;
    Load(MailSection("", "keyring"));
    EXPECT_TRUE(LoadedMailPasswords().keyringUnavailable);
    EXPECT_FALSE(LoadedMailPasswords().smtpMissing);

    store.answers = true;
    const std::string saved = Save();
    EXPECT_TRUE(Holds(saved, "PASSWORD_STORE=keyring")) << saved;
    EXPECT_EQ(store.entries[SmtpKey], "kept");
}

// The value's load and save stay pure: only the program's own load and save reach the keyring.
TEST_F(MailPasswords, TheSettingsValueKeepsTheFormWithoutTouchingTheKeyring) {
    store.entries[SmtpKey] = "kept";
    quorvane::Settings settings = LoadSettings(MailSection("", "keyring"));
    EXPECT_TRUE(settings.MailPasswordsInKeyring);
    EXPECT_EQ(settings.Smtp.Password, "");

    settings.Smtp.Password = "typed";
    const std::string saved = SaveSettings(settings);
    EXPECT_TRUE(Holds(saved, "SMTP_PASSWORD=")) << saved;
    EXPECT_TRUE(Holds(saved, "PASSWORD_STORE=keyring")) << saved;
    EXPECT_EQ(store.calls, 0);
    EXPECT_EQ(store.entries[SmtpKey], "kept");
}

// quorvanectl's masked view tells where the passwords are and changes nothing there.
TEST_F(MailPasswords, MaskedContentShowsKeyringHeldPasswordsWithoutSavingThem) {
    store.entries[SmtpKey] = "kept";
    Load(MailSection("", "keyring"));
    const int calls = store.calls;
    const std::string shown = SettingsContent(host, PasswordForm::Masked).Text();
    EXPECT_TRUE(Holds(shown, "SMTP_PASSWORD=********")) << shown;
    EXPECT_TRUE(Holds(shown, "PASSWORD_STORE=keyring")) << shown;
    EXPECT_EQ(store.calls, calls);
}
