// The mail passwords on a session bus with no Secret Service: nothing may be lost or written in clear.
#include <gtest/gtest.h>

#include "app/toolkit/Keyring.h"
#include "fakes/FakeSettingsHost.h"
#include "fakes/SecretServiceSession.h"
#include "fakes/TestFiles.h"
#include "mail/Mail.h"
#include "settings/MailPasswords.h"
#include "settings/Settings.h"
#include "tools/SecretTool.h"
#include "util/Secret.h"

using namespace quorvane;
using quorvane::testing::SecretServiceSession;

namespace {

const std::string Protected = EncryptSecret("s3cret", "Rk4wPz7N");

TEST(NoSecretService, ThePasswordStaysProtectedInTheFile) {
    SecretServiceSession bus(SecretServiceSession::Service::None);
    if (!bus.Failure().empty())
        GTEST_SKIP() << "no private session bus: " << bus.Failure();
    fakes::TempFolder folder("quorvane-no-keyring");
    const std::string path = (folder.path() / "quorvane.ini").string();
    fakes::WriteBytes(path, "[Mail]\r\nSMTP_SERVER=mail.example.jp\r\nSMTP_PORT=587\r\nSMTP_USER_ID=taro\r\n"
                            "SMTP_PASSWORD=" +
                                Protected + "\r\nPASSWORD_STORE=file\r\n");
    Keyring keyring{std::chrono::seconds(20)};
    SetPasswordStore(&keyring);
    FakeSettingsHost host;
    LoadData(host, path);
    ASSERT_EQ(GetSMTP().Password, "s3cret");
    SaveData(host, path);
    const std::string saved = fakes::ReadBytes(path);
    EXPECT_NE(saved.find("PASSWORD_STORE=file\r\n"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("s3cret"), std::string::npos) << saved;
    EXPECT_TRUE(KeyringUnavailable());

    SetSMTP({});
    LoadData(host, path);
    EXPECT_EQ(GetSMTP().Password, "s3cret");
    SetPasswordStore(nullptr);

    // quorvanectl must not take "no service" for "no entry".
    SecretToolStore secretTool{std::chrono::seconds(20)};
    EXPECT_EQ(secretTool.Read("smtp://taro@mail.example.jp:587").answer, SecretAnswer::Unavailable);
}

} // namespace
