#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLocale>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <fstream>
#include <iterator>
#include <tuple>

#include "app/AlarmMails.h"
#include "app/AppFixture.h"
#include "app/LocalService.h"
#include "fakes/RateServiceFake.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/SpinEdit.h"
#include "dialogs/Unit2.h"
#include "fakes/FakeMailServer.h"
#include "fakes/ScopedEnv.h"
#include "fakes/SilentListener.h"
#include "mail/Mail.h"
#include "service/WebService.h"
#include "util/Currency.h"

using namespace quorvane;
using namespace quorvane::test;
using quorvane::testing::FakeMailServer;
using quorvane::testing::ScopedEnv;

namespace {

using Texts = std::vector<std::string>;

const Texts SmtpSteps = {"SMTP 接続します。", "メールを送信します。", "メール送信完了。SMTP切断します。"};

class SettingsDialogTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        SetMailTimeout(std::chrono::milliseconds(3000));
    }
    void TearDown() override {
        form2.reset();
        form1.reset();
        SetMailTimeout(std::chrono::seconds(30));
        AppTest::TearDown();
    }
    void Start(const std::string& settings) {
        WriteSettings(settings);
        form1 = std::make_unique<TForm1>(SettingsPath());
        form2 = std::make_unique<TForm2>(form1.get());
        form1->SetDialogs(form2.get(), nullptr, nullptr);
    }
    void Open() { form1->ShowConfig(0); }

    template <class T = QWidget> T* Get(const char* name) const {
        T* w = FindControl<T>(form2.get(), QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox* Combo(int k) const {
        return FindControl<QComboBox>(form2.get(), QStringLiteral("ComboBox%1").arg(k));
    }
    void Type(const char* field, const std::string& text) const {
        Get<QLineEdit>(field)->setText(QString::fromStdString(text));
    }
    void Click(const char* button) const { QTest::mouseClick(Get<QPushButton>(button), Qt::LeftButton); }
    void Choose(int k, const char* code) const {
        Combo(k)->setCurrentIndex(Combo(k)->findText(QString::fromLatin1(code)));
    }
    void ChooseAuth(int index) const {
        auto* auth = Get<QComboBox>("DD_AUTH");
        auth->setCurrentIndex(index);
        emit auth->activated(index);
    }
    // The mail fields pointed at a server on loopback.
    void MailTo(int port) const {
        Type("LE_SMTP_NAME", "127.0.0.1");
        Type("LE_SMTP_PORT", std::to_string(port));
        Type("LE_FROM", "alarm@example.com");
        Type("LE_TO", "me@example.org");
    }

    LocalRateService builtIn; // outlives the windows that may start it
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};

const char* const TwoSlots = "[System]\r\nINTERVAL=5\r\n\r\n"
                             "[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\n\r\n"
                             "[Currency1]\r\nFrom=usd\r\nTo=XXX\r\nEnable=1\r\n\r\n";

} // namespace

TEST_F(SettingsDialogTest, CombosMatchCodesInAnyCaseAndASaveKeepsACodeNotListed) {
    Start(TwoSlots);
    Open();
    ASSERT_TRUE(form2->isVisible());
    EXPECT_EQ(Combo(1)->currentText(), "USD");
    EXPECT_EQ(Combo(2)->currentText(), "JPY");
    EXPECT_EQ(Combo(3)->currentText(), "USD") << "lower-case usd is the listed USD";
    EXPECT_EQ(Combo(4)->currentIndex(), -1) << "XXX is not listed";
    EXPECT_EQ(Combo(16)->count(), 150);
    EXPECT_EQ(Combo(16)->findText(QStringLiteral("TRY_")), -1);

    // A save without a choice for the unknown code keeps the slot's pair instead of dropping it.
    Click("BT_SAVE");
    EXPECT_EQ((std::pair{Quotes[1].From, Quotes[1].To}), (std::pair{std::string("USD"), std::string("XXX")}));

    // What the user chose for a code not listed survives a cancel; a listed code is shown again.
    Open();
    Choose(3, "EUR");
    Choose(4, "GBP");
    Choose(1, "GBP");
    Click("BT_CANCEL");
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(Quotes[0].Title, "USD/JPY") << "cancel applies nothing";
    Open();
    EXPECT_EQ(Combo(1)->currentText(), "USD") << "a listed code is shown again";
    EXPECT_EQ(Combo(3)->currentText(), "USD");
    EXPECT_EQ(Combo(4)->currentText(), "GBP");
    Click("BT_SAVE");
    EXPECT_EQ(Quotes[1].Title, "USD/GBP");
}

TEST_F(SettingsDialogTest, SaveAppliesEverythingKeepsEnableClicksMadeMeanwhileAndWritesTheFile) {
    RateServiceFake service;
    ASSERT_TRUE(service.Running());
    service.SetRate("USD/JPY", 150);
    Start(TwoSlots);
    TForm4 form4;
    Open();
    form1->SetEnable(1, false); // a click in the pair dialog while this dialog is open
    Choose(5, "USD");
    Choose(6, "JPY");
    Get<TSpinEdit>("SE_TIMER")->SetText(QStringLiteral("90"));
    MailTo(587);
    ChooseAuth(2);
    EXPECT_FALSE(Get("LE_SMTP_ID")->isEnabled());
    Type("LE_SMTP_ID", "taro"); // disabled, still taken over
    Type("LE_POP_NAME", "pop.example.com");
    Type("LE_POP_PORT", "110");
    Type("LE_SERVICE_URL", service.DescriptionAddress());
    Get<QComboBox>("DD_SMTP_SECURITY")->setCurrentIndex(1);
    Get<QComboBox>("DD_POP_SECURITY")->setCurrentIndex(2);
    Get<QCheckBox>("CB_NOTIFY")->setChecked(false);
    Click("BT_SAVE");

    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(Quotes[2].Title, "USD/JPY");
    EXPECT_EQ(Quotes[2].FromCur, USD);
    EXPECT_EQ(FindControl<TLabel>(form1.get(), QStringLiteral("LB_N3"))->text(), " USD/JPY");
    EXPECT_FALSE(Quotes[1].Enable) << "the pair dialog's click made while this dialog was open stays";
    EXPECT_EQ(form1->MonitorQuotes(), Quotes);
    EXPECT_EQ(BasicData.Interval, 90);
    EXPECT_FALSE(BasicData.Notify);
    EXPECT_EQ(BasicData.ServiceURL, service.DescriptionAddress());
    form1->GetRate();
    EXPECT_EQ(service.Requests(), Texts{"USD/JPY"}) << "the next fetch asks the service named";
    const TSMTP smtp = GetSMTP();
    EXPECT_EQ((std::tuple{smtp.Server, smtp.Port, smtp.UserID, smtp.AuthType}),
              (std::tuple{std::string("127.0.0.1"), 587, std::string("taro"), SmtpAuth::PopBeforeSmtp}));
    EXPECT_EQ(GetPOP().Server, "pop.example.com");
    EXPECT_EQ((std::pair{smtp.Security, GetPOP().Security}), (std::pair{1, 2}));
    EXPECT_EQ(GetMailAccount().To, "me@example.org");

    const std::string file = ReadSettings();
    for (const char* line : {"INTERVAL=90\r\n", "SMTP_SERVER=127.0.0.1\r\n", "SMTP_AUTHTYPE=2\r\n",
                             "[Currency2]\r\nFrom=USD\r\nTo=JPY\r\n", "POP_SERVER=pop.example.com\r\n",
                             "SMTP_SECURITY=1\r\n", "POP_SECURITY=2\r\n", "NOTIFY=0\r\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line;
    EXPECT_TRUE(boxes.errors.empty() && boxes.infos.empty());
}

TEST_F(SettingsDialogTest, AMistypedServiceIsRefusedAtSaveAndAnEmptiedOneMeansTheBuiltInServicesPort) {
    RateServiceFake local; // already answering on the built-in service's port
    ASSERT_TRUE(local.Running());
    local.SetRate("USD/JPY", 150);
    const ScopedEnv port("QUORVANE_SERVICE_PORT", std::to_string(local.Port()));
    Start(TwoSlots);
    form1->SetLocalService(&builtIn);
    TForm4 form4;
    BasicData.ServiceURL = "http://127.0.0.1:1/CurrencyConvertor.asmx?wsdl";
    UseServiceDescription(BasicData.ServiceURL);
    Open();
    for (const char* typo : {"htp://127.0.0.1/x", "127.0.0.1:8080/x", "http://", "http://a b/"}) {
        boxes.errors.clear();
        Type("LE_SERVICE_URL", typo);
        Click("BT_SAVE");
        EXPECT_EQ(boxes.errors.size(), 1u) << typo;
        EXPECT_TRUE(form2->isVisible()) << typo;
        EXPECT_EQ(form2->focusWidget(), Get("LE_SERVICE_URL")) << typo;
    }
    EXPECT_EQ(BasicData.ServiceURL, "http://127.0.0.1:1/CurrencyConvertor.asmx?wsdl");
    Type("LE_SERVICE_URL", "");
    Click("BT_SAVE");
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(BasicData.ServiceURL, "");
    form1->GetRate();
    EXPECT_EQ(local.Requests(), Texts{"USD/JPY"}) << "the next fetch asks the built-in service's port";
    EXPECT_FALSE(builtIn.Running()) << "none is started where one answers";
}

// Nothing answering on the built-in service's port: an emptied address starts the service (the stand-in
// beside the test program), and a change of source starts it again with the new one.
TEST_F(SettingsDialogTest, AnEmptiedServiceStartsTheBuiltInOneAndANewSourceRestartsIt) {
    int free = 0;
    {
        const fakes::SilentListener taken;
        free = taken.Port();
    }
    ASSERT_GT(free, 0);
    const std::string record = dir.filePath(QStringLiteral("starts")).toStdString();
    const ScopedEnv port("QUORVANE_SERVICE_PORT", std::to_string(free));
    const ScopedEnv starts("QUORVANE_TEST_RATED_RECORD", record);
    const ScopedEnv state("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toStdString());
    Start("[System]\r\nSERVICE_URL=http://127.0.0.1:1/CurrencyConvertor.asmx?wsdl\r\n\r\n");
    form1->SetLocalService(&builtIn);
    Open();
    Type("LE_SERVICE_URL", "");
    Click("BT_SAVE");
    ASSERT_TRUE(builtIn.Running()) << builtIn.Failure();
    EXPECT_TRUE(LocalPortAnswers(free));

    Open();
    Get<QComboBox>("DD_RATE_SOURCE")->setCurrentIndex(1);
    Click("BT_SAVE");
    EXPECT_EQ(BasicData.RateSource, "ecb");
    EXPECT_TRUE(builtIn.Running()) << builtIn.Failure();
    std::ifstream in(record);
    const std::string listen = "--listen 127.0.0.1:" + std::to_string(free);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              listen + " --source auto\n" + listen + " --source ecb\n");
}

// The source is the built-in service's to choose: another service's address disables the choice, with
// the hint why, and the choice is kept.
TEST_F(SettingsDialogTest, TheRateSourceIsChosenForTheBuiltInServiceOnly) {
    const std::string pairs = std::string(TwoSlots).substr(std::string_view(TwoSlots).find("[Currency0]"));
    Start("[System]\r\nSERVICE_URL=http://192.0.2.1/rates.asmx?wsdl\r\nRATE_SOURCE=ecb\r\n\r\n" + pairs);
    Open();
    auto* choice = Get<QComboBox>("DD_RATE_SOURCE");
    auto* hint = Get<QLabel>("LB_RATE_SOURCE_HINT");
    EXPECT_EQ(choice->currentIndex(), 1);
    EXPECT_FALSE(choice->isEnabled());
    EXPECT_FALSE(hint->isHidden());

    Type("LE_SERVICE_URL", "");
    EXPECT_TRUE(choice->isEnabled());
    EXPECT_TRUE(hint->isHidden());
    choice->setCurrentIndex(0);
    Click("BT_SAVE");
    EXPECT_EQ(BasicData.RateSource, "auto");
    EXPECT_NE(ReadSettings().find("SERVICE_URL=\r\nNOTIFY=1\r\nRATE_SOURCE=auto\r\n"), std::string::npos);
}

TEST_F(SettingsDialogTest, IntervalFieldTakesOnlyNumberKeysAndIsBoundedWhenLeft) {
    Start(TwoSlots);
    Open();
    auto* field = Get<TSpinEdit>("SE_TIMER");
    form2->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form2.get()));
    const struct {
        const char* typed; // through the keyboard
        const char* pasted;
        int stored;
    } cases[] = {{"0", nullptr, 1},    {nullptr, "abc", 1}, {"5000", nullptr, 3600},
                 {"1a2", nullptr, 12}, {"7.5", nullptr, 1}, {"-3", nullptr, 1}};
    for (const auto& c : cases) {
        field->SetText(c.pasted ? QString::fromLatin1(c.pasted) : QString());
        field->setFocus();
        // The keys take the locale's decimal point; a fraction is still no whole number.
        if (c.typed)
            QTest::keyClicks(field, QString::fromLatin1(c.typed).replace(u'.', QLocale().decimalPoint()));
        Get("LE_SERVICE_URL")->setFocus(); // leaving the field
        ASSERT_FALSE(field->hasFocus());
        EXPECT_EQ(field->Text(), QString::number(c.stored)) << (c.typed ? c.typed : c.pasted);
    }
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(field->Value(), 2);
    field->SetText(QStringLiteral("5000"));
    Click("BT_SAVE");
    EXPECT_EQ(BasicData.Interval, 3600) << "saved within the bounds even without leaving the field";
}

TEST_F(SettingsDialogTest, AuthenticationChoiceEnablesItsFieldsAndAnUnknownOneChangesNothing) {
    Start(std::string(TwoSlots) + "[Mail]\r\nSMTP_AUTHTYPE=7\r\n\r\n");
    Open();
    auto* auth = Get<QComboBox>("DD_AUTH");
    EXPECT_EQ(auth->currentIndex(), -1);
    const struct {
        int choice;
        bool smtp, pop;
    } rules[] = {{1, true, false}, {2, false, true}, {0, false, false}};
    for (const auto& r : rules) {
        ChooseAuth(r.choice);
        for (const char* f : {"LE_SMTP_ID", "LE_SMTP_PASS"})
            EXPECT_EQ(Get(f)->isEnabled(), r.smtp) << f << " with " << r.choice;
        for (const char* f : {"LE_POP_NAME", "LE_POP_PORT", "LE_POP_ID", "LE_POP_PASS", "DD_POP_SECURITY"})
            EXPECT_EQ(Get(f)->isEnabled(), r.pop) << f << " with " << r.choice;
        EXPECT_TRUE(Get("LE_SMTP_NAME")->isEnabled() && Get("LE_SMTP_PORT")->isEnabled() &&
                    Get("DD_SMTP_SECURITY")->isEnabled());
    }
    ChooseAuth(1);
    Click("BT_CANCEL");
    Open(); // AuthType 7 again: nothing selected, the enabling left as it was
    EXPECT_EQ(auth->currentIndex(), -1);
    EXPECT_TRUE(Get("LE_SMTP_ID")->isEnabled());
    Click("BT_SAVE");
    EXPECT_EQ(GetSMTP().AuthType, static_cast<SmtpAuth>(-1));
}

TEST_F(SettingsDialogTest, ABadPortAppliesNothingAndTheTestMailSendsNothing) {
    Start(TwoSlots);
    const std::string before = ReadSettings();
    auto server = FakeMailServer::Smtp();
    const int port = server.Start();
    Open();
    Choose(1, "EUR");
    Get<TSpinEdit>("SE_TIMER")->SetText(QStringLiteral("60"));
    ChooseAuth(2); // the POP port is in use
    const std::string range = "ポート番号は1から65535の範囲で指定してください。";
    const std::pair<const char*, std::string> bads[] = {
        {"25x", "'25x' は整数ではありません"}, {"", "'' は整数ではありません"}, {"70000", range}, {"0", range}};
    for (const auto& [bad, message] : bads) {
        boxes.errors.clear();
        MailTo(port);
        Type("LE_POP_PORT", bad);
        Click("BT_SAVE");
        EXPECT_EQ(boxes.errors, Texts{message});
        EXPECT_TRUE(form2->isVisible());
        EXPECT_EQ(form2->focusWidget(), Get("LE_POP_PORT"))
            << (form2->focusWidget() ? form2->focusWidget()->objectName().toStdString() : "none");
        EXPECT_EQ(Get<QTabWidget>("PC_1")->currentWidget(), Get("TS_MAIL_SERVER"));

        boxes.errors.clear();
        Click("BT_SENDMAIL");
        EXPECT_EQ(boxes.errors.size(), 1u);
        EXPECT_TRUE(boxes.infos.empty()) << "no step of a send";
    }
    EXPECT_EQ(Quotes[0].Title, "USD/JPY");
    EXPECT_EQ(BasicData.Interval, 5);
    EXPECT_EQ(GetSMTP().Server, "");
    EXPECT_EQ(ReadSettings(), before);
    server.Stop();
    EXPECT_TRUE(server.Sessions(0).empty());

    // Without POP before SMTP the bad POP port is not used: it blocks nothing, and its field goes back off.
    boxes.errors.clear();
    ChooseAuth(0);
    EXPECT_FALSE(Get("LE_POP_PORT")->isEnabled());
    Click("BT_SAVE");
    EXPECT_TRUE(boxes.errors.empty());
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(Quotes[0].Title, "EUR/JPY");
}

namespace {

// The sound and the program tab are built alike; each case names one tab's controls and registry.
template <class List> Texts NamesOf(const List& list) {
    Texts names;
    for (const auto& entry : list)
        names.push_back(entry.Name);
    return names;
}

struct RegistryTab {
    const char *path, *title, *add, *list, *del, *titleE, *update;
    Texts (*names)();
    void (*append)(const std::string& name, const std::string& path);
    std::int32_t TAlertConfig::*first; // two of the alarm fields that refer to this registry
    std::int32_t TAlertConfig::*second;
    const char* countLine; // the section's first line as written
};

const RegistryTab Tabs[] = {
    {"LE_SPATH", "LE_STITLE", "BT_ADD", "LBOX_SOUND", "BT_DEL", "LE_STITLE_E", "BT_SOUND_UPDATE",
     [] { return NamesOf(Sounds); }, AddSound, &TAlertConfig::SOUND_H, &TAlertConfig::SOUND_L,
     "[Sound]\r\nCount="},
    {"LE_APATH", "LE_ATITLE", "BT_A_ADD", "LBOX_APP", "BT_A_DEL", "LE_ATITLE_E", "BT_APP_UPDATE",
     [] { return NamesOf(Apps); }, AddApp, &TAlertConfig::APP_H_ON, &TAlertConfig::APP_L_OFF,
     "[Application]\r\nCount="},
};

} // namespace

TEST_F(SettingsDialogTest, RegistryTabsAddUpdateAndDeleteWithTheirSelectionAndReferenceRules) {
    Start(TwoSlots);
    for (const RegistryTab& tab : Tabs) {
        SCOPED_TRACE(tab.list);
        Sounds.clear();
        Apps.clear();
        for (const char* name : {"A", "B", "C"})
            tab.append(name, std::string("/x/") + name);
        const auto refs = [&tab](int slot) {
            return std::pair{Alerts[slot].*tab.first, Alerts[slot].*tab.second};
        };
        Alerts[0].*tab.first = 2;  // B
        Alerts[0].*tab.second = 3; // C
        Alerts[1].*tab.first = 1;  // A
        Open();
        auto* list = Get<QListWidget>(tab.list);
        ASSERT_EQ(list->count(), 3);

        // "追加" comes on with both texts and stays on when the title is cleared again.
        auto* add = Get<QPushButton>(tab.add);
        QTest::keyClicks(Get(tab.path), QStringLiteral("/p/new"));
        EXPECT_FALSE(add->isEnabled());
        QTest::keyClicks(Get(tab.title), QStringLiteral("N"));
        EXPECT_TRUE(add->isEnabled());
        Type(tab.title, "");
        EXPECT_TRUE(add->isEnabled());
        Click(tab.add);
        EXPECT_EQ(tab.names(), (Texts{"A", "B", "C", ""}));
        EXPECT_FALSE(add->isEnabled());
        EXPECT_TRUE(Get<QLineEdit>(tab.path)->text().isEmpty());
        EXPECT_NE(ReadSettings().find(std::string(tab.countLine) + "4"), std::string::npos)
            << "written at once";

        // A click fills the edit fields; "更新" keeps the line selected and every reference in place.
        list->setCurrentRow(1);
        EXPECT_EQ(Get<QLineEdit>(tab.titleE)->text(), "B");
        Type(tab.titleE, "B2");
        Click(tab.update);
        EXPECT_EQ(tab.names()[1], "B2");
        EXPECT_EQ(list->selectedItems().value(0), list->item(1));
        EXPECT_EQ(refs(0), std::pair(2, 3));

        // Deleting a middle line selects the one that moved up and fixes the references.
        Click(tab.del);
        EXPECT_EQ(tab.names(), (Texts{"A", "C", ""}));
        EXPECT_EQ(list->count(), 3);
        EXPECT_EQ(list->selectedItems().value(0), list->item(1));
        EXPECT_EQ(Get<QLineEdit>(tab.titleE)->text(), "C") << "the edit fields show the line selected";
        EXPECT_EQ(refs(0), std::pair(0, 2));
        EXPECT_EQ(refs(1), std::pair(1, 0));
        // Deleting the last line leaves nothing selected; with nothing selected, both buttons do nothing.
        list->setCurrentRow(2);
        Click(tab.del);
        EXPECT_TRUE(list->selectedItems().isEmpty());
        EXPECT_TRUE(Get<QLineEdit>(tab.titleE)->text().isEmpty());
        EXPECT_FALSE(Get(tab.update)->isEnabled());
        Click(tab.del);
        Click(tab.update);
        EXPECT_EQ(tab.names(), (Texts{"A", "C"}));
        EXPECT_NE(ReadSettings().find(std::string(tab.countLine) + "2\r\n"), std::string::npos);
        Click("BT_CANCEL");
        list->setCurrentRow(0);
        Open();
        EXPECT_TRUE(list->selectedItems().isEmpty());
        EXPECT_TRUE(Get<QLineEdit>(tab.titleE)->text().isEmpty()) << "nothing selected after reopening";
        Click("BT_CANCEL");
    }
}

TEST_F(SettingsDialogTest, TestMailUsesTheFieldsUnsavedAndItsClientsStayForAlarmMails) {
    Start(TwoSlots);
    auto server = FakeMailServer::Smtp();
    const int port = server.Start();
    Open();
    MailTo(port);
    Click("BT_SENDMAIL");
    Texts expected = SmtpSteps;
    expected.push_back("メールを送信できました。");
    EXPECT_EQ(boxes.infos, expected);
    EXPECT_TRUE(boxes.errors.empty());
    EXPECT_EQ(GetSMTP().Server, "") << "not stored";
    Click("BT_CANCEL");
    EXPECT_TRUE(SendMail(CurrentMailSettings(), "alarm", "alarm@example.com", "me@example.org", "", nullptr));
    const auto sessions = server.Sessions(2);
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].message[1], "Subject: Quorvane TestMail");

    // A server that is not there: the step that failed, then the final error box.
    server.Stop();
    boxes.infos.clear();
    Open();
    Click("BT_SENDMAIL");
    EXPECT_EQ(boxes.infos, Texts{"SMTP 接続します。"});
    EXPECT_EQ(boxes.errors, (Texts{"SMTP 接続中にエラー発生。", "メールが送信できませんでした。"}));
}

TEST_F(SettingsDialogTest, TestMailReachesTheRealSmtpServer) {
    QTemporaryDir received;
    QProcess sink;
    sink.start(QStringLiteral(QUORVANE_PYTHON),
               {QStringLiteral(QUORVANE_SMTP_SINK), QStringLiteral("--dir"), received.path()});
    ASSERT_TRUE(sink.waitForStarted(10000));
    while (!sink.canReadLine())
        ASSERT_TRUE(sink.waitForReadyRead(20000)) << "the sink printed no port";
    const QByteArray line = sink.readLine().trimmed();
    ASSERT_TRUE(line.startsWith("PORT ")) << line.toStdString();

    Start(TwoSlots);
    Open();
    MailTo(line.mid(5).toInt());
    Click("BT_SENDMAIL");
    sink.closeWriteChannel(); // the sink ends when its input closes
    ASSERT_TRUE(sink.waitForFinished(20000));
    EXPECT_EQ(boxes.infos.back(), "メールを送信できました。");
    QFile mail(QDir(received.path()).filePath(QStringLiteral("1.eml")));
    ASSERT_TRUE(mail.open(QIODevice::ReadOnly));
    const QByteArray text = mail.readAll();
    EXPECT_TRUE(text.contains("Subject: Quorvane TestMail")) << text.toStdString();
    EXPECT_TRUE(text.contains("To: me@example.org"));
}

TEST_F(SettingsDialogTest, AMonitorTickDuringTheTestMailWaitsUntilItsSessionHasEnded) {
    RateServiceFake service;
    ASSERT_TRUE(service.Running());
    service.SetRate("USD/JPY", 150);
    auto server = FakeMailServer::Smtp();
    const int port = server.Start();
    Start("[System]\r\nINTERVAL=60\r\nSERVICE_URL=" + service.DescriptionAddress() +
          "\r\n\r\n[Mail]\r\nSMTP_SERVER=127.0.0.1\r\nSMTP_PORT=" + std::to_string(port) +
          "\r\nFrom=alarm@example.com\r\nTo=me@example.org\r\n\r\n"
          "[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\nALEnable=1\r\nAH=100\r\nMAIL_H_SW=1\r\n\r\n");
    auto form4 = std::make_unique<TForm4>();
    AlarmMails mails;
    form2->SetAlarmMailQueue(&mails.Queue());
    FindControl<TCheckBox>(form1.get(), QStringLiteral("CB_START"))->click(); // on, with the first cycle
    ASSERT_EQ(server.Sessions(1).size(), 1u) << "the alarm mail of the first cycle";
    service.SetRate("USD/JPY", 90);
    form4->Timer1Timer(); // the alarm is off again: the next rise sends a mail
    ASSERT_EQ(server.Sessions(2).size(), 2u);
    service.SetRate("USD/JPY", 150);

    // The step box the user is looking at lets the monitor timer tick.
    struct TickingBoxes : MessageBoxes {
        RecordingBoxes& inner;
        TForm4& monitor;
        explicit TickingBoxes(RecordingBoxes& r, TForm4& m) : inner(r), monitor(m) {}
        void Error(const std::string& text) override { inner.Error(text); }
        void Info(const std::string& text) override {
            inner.Info(text);
            if (text == "メールを送信します。")
                monitor.Timer1->OnTimer();
        }
    } ticking(boxes, *form4);
    InstallMessageBoxes(&ticking);
    Open();
    Click("BT_SENDMAIL");
    InstallMessageBoxes(&boxes);
    Texts expected = SmtpSteps;
    expected.push_back("メールを送信できました。");
    EXPECT_EQ(boxes.infos, expected);
    EXPECT_TRUE(boxes.errors.empty());

    QTRY_COMPARE_WITH_TIMEOUT(service.Requests().size(), std::size_t{3}, 10000); // the waiting tick has run
    const auto sessions = server.Sessions(4);
    ASSERT_EQ(sessions.size(), 4u);
    EXPECT_EQ(sessions[2].message[1], "Subject: Quorvane TestMail");
    EXPECT_NE(sessions[3].message[1], "Subject: Quorvane TestMail") << "the alarm mail, after it";
    for (const auto& s : sessions)
        EXPECT_EQ(s.lines.back(), "QUIT");
    form2->SetAlarmMailQueue(nullptr);
    form4.reset();
}
