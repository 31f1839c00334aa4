// Unit2: the settings dialog — pairs, interval and rate service, sounds, mail servers and addresses,
// programs, and the test mail.
#pragma once

#include <QDialog>

#include "app/toolkit/DialogLinks.h"
#include "mail/Mail.h"
#include "mail/MailQueue.h"
#include "util/Quotes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace quorvane {

class TSpinEdit;

// The dialog's own working copies: the slots of the moment of opening and the mail settings as last
// taken from the fields.
extern QuoteTable ConfigQuotes;
extern TSMTP ConfigSMTP;
extern TPOP ConfigPOP;
extern TMailAccount ConfigAccount;

class TForm2 : public QDialog, public ConfigDialogLink {
    Q_OBJECT
public:
    // Runs FormCreate; the dialog stays hidden until ShowPage.
    // mainWindow: what the dialog needs of the main window; none in tests that do without it.
    explicit TForm2(MainWindowLink* mainWindow = nullptr, QWidget* parent = nullptr);
    ~TForm2() override;

    // ConfigDialogLink
    void SetQuotes(const QuoteTable& table) override;
    void ShowPage(int page) override;

    void SetFromItemIndex(int slot, QComboBox* combo);
    void SetToItemIndex(int slot, QComboBox* combo);
    void SetPair(int slot, const std::string& fromText, const std::string& toText);
    void ReadMailInfo();
    void ShowPasswordStore();
    // Throws std::invalid_argument with "'text' は整数ではありません" for a port that is no whole number
    // from 1 to 65535; the working copies are then left as they were.
    void WriteMailInfo();
    void SetMailConfigUI(int authType);
    // The source choice is the built-in service's; another service's address disables it.
    void UpdateRateSourceChoice();
    void EnableSMTP(bool on);
    void EnablePOP(bool on);
    void UpdateSoundList();
    void UpdateAppList();
    // The queue of alarm mails, which waits while the test mail runs (none: nothing waits).
    void SetAlarmMailQueue(MailQueue* queue) { alarmMails_ = queue; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void BuildControls();
    QWidget* BuildWatchTab();
    QWidget* BuildSoundTab();
    QWidget* BuildMailServerTab();
    QWidget* BuildMailAccountTab();
    QWidget* BuildAppTab();
    void FormCreate();
    void FitPairCombos();
    void FormShow();
    QComboBox* Combo(int number) const;
    // The port fields' check; on a bad one the refusal is shown and the field focused.
    bool PortsAreValid();
    bool ServiceIsValid();
    bool PopPortInUse() const;

    void BT_SAVEClick();
    void BT_CANCELClick();
    void BT_SENDMAILClick();
    void BT_FINDClick();
    void BT_A_FINDClick();
    void LE_SPATHChange();
    void LE_APATHChange();
    void BT_ADDClick();
    void BT_A_ADDClick();
    void BT_DELClick();
    void BT_A_DELClick();
    void LBOX_SOUNDClick();
    void LBOX_APPClick();
    void BT_SOUND_UPDATEClick();
    void BT_APP_UPDATEClick();

    bool centred_ = false;
    QTabWidget* PC_1 = nullptr;
    TSpinEdit* SE_TIMER = nullptr;
    QLineEdit* LE_SERVICE_URL = nullptr;
    QComboBox* DD_AUTH = nullptr;
    QComboBox* DD_SMTP_SECURITY = nullptr;
    QCheckBox* CB_NOTIFY = nullptr;
    QComboBox* DD_RATE_SOURCE = nullptr; // index 0 automatic, 1 ECB only
    QLabel* LB_RATE_SOURCE_HINT = nullptr;
    QComboBox* DD_POP_SECURITY = nullptr;
    QLineEdit *LE_SMTP_NAME = nullptr, *LE_SMTP_PORT = nullptr, *LE_SMTP_ID = nullptr,
              *LE_SMTP_PASS = nullptr;
    QLineEdit *LE_POP_NAME = nullptr, *LE_POP_PORT = nullptr, *LE_POP_ID = nullptr, *LE_POP_PASS = nullptr;
    QLineEdit *LE_FROM = nullptr, *LE_TO = nullptr, *LE_CC = nullptr, *LE_BCC = nullptr;
    QLineEdit *LE_SPATH = nullptr, *LE_STITLE = nullptr, *LE_SPATH_E = nullptr, *LE_STITLE_E = nullptr;
    QLineEdit *LE_APATH = nullptr, *LE_ATITLE = nullptr, *LE_APATH_E = nullptr, *LE_ATITLE_E = nullptr;
    QPushButton *BT_ADD = nullptr, *BT_A_ADD = nullptr;
    QListWidget *LBOX_SOUND = nullptr, *LBOX_APP = nullptr;
    MainWindowLink* mainWindow_ = nullptr;
    MailQueue* alarmMails_ = nullptr;
};

} // namespace quorvane
