#include <gtest/gtest.h>

#include "alert/Alert.h"
#include "alert/App.h"
#include "alert/Sound.h"
#include "fakes/FakeMailServer.h"
#include "fakes/FakeSettingsHost.h"
#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"
#include "mail/Mail.h"
#include "settings/Settings.h"
#include "tools/Command.h"
#include "util/Currency.h"
#include "util/Numbers.h"
#include "util/Secret.h"
#include "util/Util.h"

#include <sys/stat.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quorvane;
using fakes::ReadBytes;
using fakes::WriteBytes;
namespace fs = std::filesystem;

namespace {

const std::string Data = QUORVANE_TEST_DATA "/settings/";

// Shows each password value as "{clear text}" when it opens under the program's pass phrase, so that
// files with freshly encrypted passwords can be compared with a baseline.
std::string OpenPasswords(const std::string& text) {
    std::string out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        for (const char* key : {"SMTP_PASSWORD=", "POP_PASSWORD="}) {
            if (line.starts_with(key)) {
                const std::string value = line.substr(std::strlen(key), line.size() - std::strlen(key) - 1);
                try {
                    line = key + ("{" + DecryptSecret(value, "Rk4wPz7N") + "}\r");
                } catch (const SecretError&) {
                }
            }
        }
        out += line + "\n";
    }
    return out;
}

class RecordingBoxes : public MessageBoxes {
public:
    std::vector<std::string> infos;
    void Error(const std::string&) override {}
    void Info(const std::string& text) override { infos.push_back(text); }
};

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        BasicData = {};
        Alerts = {};
        Sounds.clear();
        Apps.clear();
        SetSMTP({});
        SetPOP({});
        SetMailAccount({});
        InstallMessageBoxes(&boxes);
    }
    void TearDown() override { InstallMessageBoxes(nullptr); }
    std::string Temp(const std::string& name) const { return (folder.path() / name).string(); }
    std::string LoadText(const std::string& text) {
        WriteBytes(Temp("in.ini"), text);
        LoadData(host, Temp("in.ini"));
        return Temp("in.ini");
    }
    std::string SavedText() {
        SaveData(host, Temp("out.ini"));
        return ReadBytes(Temp("out.ini"));
    }

    FakeSettingsHost host;
    RecordingBoxes boxes;
    fakes::TempFolder folder{"quorvane-settings"};
};

} // namespace

TEST_F(SettingsFile, MissingFileGivesEveryDefault) {
    LoadData(host, Temp("missing.ini"));
    EXPECT_EQ(host.left, (1024 - 640) / 2);
    EXPECT_EQ(host.top, (768 - 480) / 2);
    EXPECT_FALSE(BasicData.Mute);
    EXPECT_FALSE(BasicData.MonitorOn);
    EXPECT_EQ(BasicData.Interval, 5);
    EXPECT_EQ(GetSMTP().Port, 25);
    EXPECT_EQ(GetPOP().Port, 110);
    EXPECT_EQ(GetSMTP().AuthType, SmtpAuth::None);
    for (const TQuote& q : host.quotes) {
        EXPECT_EQ(q.Title, "未設定");
        EXPECT_FALSE(q.Enable);
    }
    for (const TAlertConfig& a : Alerts) {
        EXPECT_TRUE(a.ALEnable && a.AH_ON && a.AL_ON);
        EXPECT_FALSE(a.MAIL_H_SW || a.MAIL_L_SW || a.APP_H_SW || a.APP_L_SW);
    }
    EXPECT_TRUE(Sounds.empty() && Apps.empty());
    EXPECT_EQ(OpenPasswords(SavedText()), ReadBytes(Data + "defaults.expected.ini"));
}

TEST_F(SettingsFile, HandWrittenFileIsReadByTheRulesAndNormalisedAtSave) {
    LoadData(host, Data + "messy.ini");
    EXPECT_EQ(host.left, (1024 - 640) / 2); // 5000 is off the screen
    EXPECT_EQ(host.top, 0);                 // -20 is above it
    EXPECT_TRUE(BasicData.Mute && BasicData.MonitorOn);
    EXPECT_EQ(BasicData.Interval, 60);
    EXPECT_EQ(GetSMTP().Server, "smtp.example.com");
    EXPECT_EQ(GetSMTP().Port, 29);
    EXPECT_EQ(GetSMTP().UserID, "user=name");
    EXPECT_EQ(GetSMTP().Password, "clear pass");
    EXPECT_EQ(GetPOP().Port, 29);
    EXPECT_EQ(GetMailAccount().To, "me@example.com");
    const TQuote& q = host.quotes[3];
    EXPECT_EQ(q.Title, "USD/JPY");
    EXPECT_TRUE(q.Enable);
    EXPECT_EQ(Alerts[3].AH, 0);
    EXPECT_EQ(Alerts[3].AL, 0.00005);
    EXPECT_EQ(Alerts[3].APP_L_OFF, 10);
    EXPECT_EQ(Alerts[3].COOLDOWN, 30);
    EXPECT_EQ(Alerts[2].COOLDOWN, 0);
    EXPECT_FALSE(Alerts[3].ALEnable);
    ASSERT_EQ(Sounds.size(), 3u);
    EXPECT_EQ(Sounds[0].Name, "Bell");
    EXPECT_EQ(Sounds[2].Name, "");
    EXPECT_TRUE(Apps.empty()); // a negative count adds nothing

    EXPECT_EQ(OpenPasswords(SavedText()), ReadBytes(Data + "messy.expected.ini"));
    EXPECT_EQ(IniFile::Load(Temp("out.ini")).Find("Mail", "SMTP_PASSWORD")->find("clear"), std::string::npos);
}

TEST_F(SettingsFile, FullFileRoundTripsByteForByte) {
    LoadData(host, Data + "full.ini");
    EXPECT_EQ(GetSMTP().Password, "smtp秘密");
    EXPECT_EQ(GetPOP().Password, "pop pass");
    EXPECT_EQ(GetSMTP().Security, 1);
    EXPECT_EQ(GetPOP().Security, 2);
    EXPECT_EQ(BasicData.ServiceURL, "http://127.0.0.1:8080/CurrencyConvertor.asmx?wsdl");
    EXPECT_FALSE(BasicData.Notify);
    EXPECT_EQ(Alerts[0].COOLDOWN, 5);
    EXPECT_EQ(Alerts[4].COOLDOWN, 99999); // taken as it stands; the alarms count it as a day
    const std::string saved = SavedText();
    EXPECT_NE(saved, ReadBytes(Data + "full.ini")); // fresh nonces
    EXPECT_EQ(OpenPasswords(saved), OpenPasswords(ReadBytes(Data + "full.ini")));
}

TEST_F(SettingsFile, Cp932FileFromTheWindowsProgramComesThroughIntact) {
    LoadData(host, Data + "cp932.ini");
    ASSERT_EQ(Sounds.size(), 2u);
    EXPECT_EQ(Sounds[0].Name, "警報音（ソ表）");
    EXPECT_EQ(Sounds[0].Path, "C:\\サウンド\\表示.wav");
    EXPECT_EQ(GetMailAccount().From, "山田太郎 <yamada@example.jp>");
    EXPECT_EQ(OpenPasswords(SavedText()), ReadBytes(Data + "cp932.expected.ini"));
}

TEST_F(SettingsFile, EachSlotIsHandedOverAsSoonAsItIsRead) {
    Alerts[5].H_STATE = true;
    LoadText("[Currency0]\nFrom=EUR\nTo=USD\n[Currency5]\nFrom=GBP\nTo=JPY\nEnable=1\n");
    ASSERT_EQ(host.setQuotesCalls.size(), 8u);
    EXPECT_EQ(host.setQuotesCalls[0][0].Title, "EUR/USD");
    EXPECT_EQ(host.setQuotesCalls[4][5].Title, "未設定");
    EXPECT_EQ(host.setQuotesCalls[5][5].Title, "GBP/JPY");
    EXPECT_EQ(host.setQuotesCalls[5][5].FromCur, CurrencyFromCode("GBP"));
    EXPECT_EQ(host.setQuotesCalls[7], host.quotes);
    EXPECT_TRUE(Alerts[5].H_STATE); // alarm states are not stored, and a load leaves them alone
}

TEST_F(SettingsFile, WindowIsKeptOnTheScreen) {
    struct Case {
        int x, y, left, top;
    } cases[] = {{1024, 768, 1024, 768}, {1025, 769, 192, 144}, {-20, -1, 0, 0}, {100, 50, 100, 50}};
    for (const Case& c : cases) {
        LoadText("[System]\nLOCATE_X=" + std::to_string(c.x) + "\nLOCATE_Y=" + std::to_string(c.y) + "\n");
        EXPECT_EQ(host.left, c.left) << c.x;
        EXPECT_EQ(host.top, c.top) << c.y;
    }
}

TEST_F(SettingsFile, PasswordsFallBackToTheStoredText) {
    const std::string otherPhrase = EncryptSecret("x", "another phrase");
    LoadText("[Mail]\nSMTP_PASSWORD=" + EncryptSecret("", "Rk4wPz7N") + "\nPOP_PASSWORD=" + otherPhrase +
             "\n");
    EXPECT_EQ(GetSMTP().Password, "");
    EXPECT_EQ(GetPOP().Password, otherPhrase);
    LoadText("[Mail]\nSMTP_PASSWORD=\nPOP_PASSWORD=" + EncryptSecret("日本語のパスワード", "Rk4wPz7N") +
             "\n");
    EXPECT_EQ(GetSMTP().Password, "");
    EXPECT_EQ(GetPOP().Password, "日本語のパスワード");
}

TEST_F(SettingsFile, RegistriesKeepTheirOrderAndAnAbsurdCountIsBounded) {
    for (int k = 1; k <= 10; ++k)
        AddSound("s" + std::to_string(k), "/p" + std::to_string(k));
    const std::string saved = SavedText();
    EXPECT_NE(saved.find("Name9=s9\r\nPath9=/p9\r\nName10=s10\r\nPath10=/p10\r\n\r\n[Application]"),
              std::string::npos);

    Sounds.clear();
    LoadText("[Sound]\nCount=2147483647\n");
    EXPECT_EQ(Sounds.size(), 1000u);
}

TEST_F(SettingsFile, RealsUnderACommaLocale) {
    // The user's locale as the environment names it; the process locale stays "C".
    const quorvane::testing::ScopedEnv german("LC_ALL", "de_DE.UTF-8");
    ASSERT_EQ(UserSeparators().decimal, ",") << "run scripts/setup for the locales";
    LoadText("[Currency0]\nAH=1,5\nAL=110.25\nBASE=0,00005\n");
    const std::string saved = SavedText();
    EXPECT_EQ(Alerts[0].AH, 1.5);
    EXPECT_EQ(Alerts[0].AL, 110.25);
    EXPECT_NE(saved.find("AH=1.5\r\nAL=110.25\r\nBASE=5E-5\r\n"), std::string::npos);
}

TEST_F(SettingsFile, SavedFileIsForItsOwnerOnly) {
    SavedText();
    struct stat st {};
    ASSERT_EQ(::stat(Temp("out.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsFile, FailedSaveShowsItsStepAndLeavesTheOldFile) {
    const std::string old = ReadBytes(Data + "messy.ini");
    WriteBytes(Temp("out.ini"), old);

    host.failOnQuotes = true;
    EXPECT_THROW(SaveData(host, Temp("out.ini")), std::runtime_error);
    host.failOnQuotes = false;

    {
        fakes::FileSizeLimit limit(100); // the save needs well over a kilobyte
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(SaveData(host, Temp("out.ini")), SettingsFileError);
    }

    EXPECT_THROW(SaveData(host, Temp("out.ini") + "/below-a-file.ini"), SettingsFileError);

    EXPECT_EQ(ReadBytes(Temp("out.ini")), old);
    EXPECT_EQ(boxes.infos, (std::vector<std::string>{"設定の保存中にエラーが発生しました。STEP=5",
                                                     "設定の保存中にエラーが発生しました。STEP=7",
                                                     "設定の保存中にエラーが発生しました。STEP=7"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsFile, UnreadableFileIsAnErrorOfTheLoad) {
    fs::create_directory(Temp("folder.ini"));
    EXPECT_THROW(LoadData(host, Temp("folder.ini")), SettingsFileError);
}

TEST_F(SettingsFile, CommandShowsMaskedSettingsAndNormalizesLikeTheSave) {
    std::ostringstream out, err;
    ASSERT_EQ(ctl::RunSettingsCommand({"show", Data + "messy.ini"}, out, err), 0) << err.str();
    const std::string shown = out.str();
    EXPECT_NE(shown.find("Mail.SMTP_PASSWORD=********\nMail.SMTP_AUTHTYPE=0\n"), std::string::npos);
    EXPECT_NE(shown.find("Mail.POP_PASSWORD=\n"), std::string::npos);
    EXPECT_NE(shown.find("Currency3.AL=5E-5\n"), std::string::npos);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 8 + 14 + 8 * 23 + 7 + 1);

    Sounds.clear();
    ASSERT_EQ(ctl::RunSettingsCommand({"normalize", Data + "messy.ini", Temp("norm.ini")}, out, err), 0)
        << err.str();
    EXPECT_EQ(OpenPasswords(ReadBytes(Temp("norm.ini"))), ReadBytes(Data + "messy.expected.ini"));

    EXPECT_EQ(ctl::RunSettingsCommand({"normalize", Data + "messy.ini"}, out, err), 2);
    EXPECT_EQ(ctl::RunSettingsCommand({"show", Temp("")}, out, err), 1);
    EXPECT_EQ(ctl::RunSettingsCommand({"show", Temp("none.ini")}, out, err), 1);
}

TEST(SettingsPath, IniFileSitsBesideTheProgram) {
    EXPECT_EQ(IniPathBeside("/opt/quorvane/bin/quorvane"), "/opt/quorvane/bin/quorvane.ini");
    EXPECT_EQ(IniPathBeside("/x.y/app.exe"), "/x.y/app.ini");
    EXPECT_EQ(IniPathBeside("/x.y/app"), "/x.y/app.ini");
    // The test's own folder is writable, so its file lies beside it.
    EXPECT_EQ(SettingsPath(), fs::read_symlink("/proc/self/exe").string() + ".ini");
}

TEST_F(SettingsFile, TestMailTakesItsServersFromASettingsFile) {
    auto smtp = quorvane::testing::FakeMailServer::Smtp();
    auto pop = quorvane::testing::FakeMailServer::Pop3();
    const int smtpPort = smtp.Start();
    LoadText("[Mail]\nSMTP_SERVER=127.0.0.1\nSMTP_PORT=" + std::to_string(smtpPort) +
             "\nSMTP_AUTHTYPE=2\nPOP_SERVER=127.0.0.1\nPOP_PORT=" + std::to_string(pop.Start()) +
             "\nPOP_USER_ID=taro\nPOP_PASSWORD=" + EncryptSecret("秘密 pw", "Rk4wPz7N") +
             "\nFrom=alarm@example.com\nTo=file@example.org\n");
    std::ostringstream out, err;
    // The option given with the file wins, wherever it stands.
    EXPECT_EQ(ctl::RunTestMailCommand({"--to", "me@example.org", "--settings", Temp("in.ini")}, out, err), 0);
    EXPECT_EQ(pop.Sessions(1)[0].lines, (std::vector<std::string>{"USER taro", "PASS 秘密 pw", "QUIT"}));
    const auto session = smtp.Sessions(1)[0];
    EXPECT_EQ(session.lines[2], "MAIL FROM:<alarm@example.com>");
    EXPECT_EQ(session.lines[3], "RCPT TO:<me@example.org>");

    EXPECT_EQ(ctl::RunTestMailCommand({"--settings", Temp("none.ini")}, out, err), 2);
    WriteBytes(Temp("no-server.ini"), "[Mail]\nSMTP_PORT=25\n");
    EXPECT_EQ(ctl::RunTestMailCommand({"--settings", Temp("no-server.ini")}, out, err), 2);
}

TEST_F(SettingsFile, AFileReadAsAValueSavesAsTheGoldenFileAndTouchesNoProgramState) {
    const struct {
        const char* file;
        const char* expected;
        int left, top; // where the window stands at the save
    } cases[] = {
        {"full.ini", "full.ini", 412, 300},
        {"messy.ini", "messy.expected.ini", 192, 0},
        {"cp932.ini", "cp932.expected.ini", 192, 144},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        quorvane::Settings settings = LoadSettings(ReadBytes(Data + c.file));
        EXPECT_EQ(BasicData.Interval, TBasicData{}.Interval);
        EXPECT_TRUE(Sounds.empty() && GetSMTP().Server.empty() && host.setQuotesCalls.empty());
        settings.Left = c.left;
        settings.Top = c.top;
        EXPECT_EQ(OpenPasswords(SaveSettings(settings)), OpenPasswords(ReadBytes(Data + c.expected)));
    }
}

TEST_F(SettingsFile, APasswordThatCannotBeProtectedFailsTheSaveAndIsNeverWrittenInClear) {
    quorvane::Settings settings = LoadSettings(ReadBytes(Data + "full.ini"));
    const struct {
        const char* refused; // the password the seal cannot protect
        int step;
    } cases[] = {{"smtp秘密", 2}, {"pop pass", 3}};
    for (const auto& c : cases) {
        const auto seal = [&](const std::string& clear) {
            if (clear == c.refused)
                throw SecretError("key derivation failed (out of memory)");
            return EncryptSecret(clear, "Rk4wPz7N");
        };
        try {
            const std::string bytes = SaveSettings(settings, seal);
            ADD_FAILURE() << "saved with " << c.refused
                          << " in clear: " << (bytes.find(c.refused) != std::string::npos);
        } catch (const SettingsSaveError& error) {
            EXPECT_EQ(error.Step(), c.step);
            EXPECT_EQ(std::string(error.what()),
                      "設定の保存中にエラーが発生しました。STEP=" + std::to_string(c.step));
        }
    }
}
