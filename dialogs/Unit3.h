// Unit3: the alarm settings dialog — one slot's alarm type, limits and actions, with a picture of them.
#pragma once

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

#include "alert/Alert.h"
#include "alert/App.h"
#include "alert/Sound.h"
#include "app/toolkit/DialogLinks.h"
#include "util/Numbers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace quorvane {

class TImage;
class TSpinEdit;

// A rate as FormatRate shows it ("1,234.5000") as a number field takes it ("1234.5000"); text of
// another form is returned unchanged.
std::string PlainRateText(const std::string& rate);

class TForm3 : public QDialog, public AlarmDialogLink {
    Q_OBJECT
public:
    // mainWindow: what the dialog needs of the main window; none in tests that do without it.
    explicit TForm3(MainWindowLink* mainWindow = nullptr, QWidget* parent = nullptr);
    ~TForm3() override;

    // AlarmDialogLink: what the main window asks of it.
    void SetValue(int slot, const std::string& title, bool alEnable, const std::string& rate) override;
    void ShowModeless() override;
    bool ShowsSlot(int slot) const override;
    void ShowRate(const std::string& rate) override;

    int Slot() const { return slot_; }

    void SetAlertType(int type);
    void UpdateGraph();
    void DrawGraph(int type, double ah, double al, double base, double dh, double dl);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    QLayout* BuildLimits(QWidget* group);
    void FindControls();
    QLayout* BuildPicture(QWidget* page);
    QLayout* BuildRatePanel(QWidget* page);
    QLineEdit* MakeNumberField(QWidget* parent, const char* name, const char* caption, QLabel** label);
    void FormShow();
    void UpdateSoundList();
    void UpdateAppList();
    // After the registries changed while the lists were shown: the lists rebuilt, each selection kept on
    // the entry it named (なし when that entry is gone).
    void FollowRegistries();

    void DD_TYPEChange();
    void Validate(QLineEdit* field);
    bool CheckField(const QLineEdit* field); // shows why it fails
    void LE_H_Validate();
    void LE_L_Validate();
    void BT_OKClick();
    void BT_CANCELClick();
    void CopyRate(QLineEdit* field);

    void DrawBase(bool deviation, double a, double b, double c);
    void DrawABSHigh();
    void DrawABSLow();
    void Label(int y, const std::string& text);

    double Number(const QLineEdit* field) const; // throws the conversion error

    int slot_ = 0;
    bool alEnable_ = true;
    bool validating_ = false;
    TASounds shownSounds_;
    TApps shownApps_;

    QTabWidget* pages = nullptr;
    QComboBox* typeChoice = nullptr;
    TSpinEdit* cooldownEdit = nullptr;
    QLineEdit* upperField = nullptr;
    QLineEdit* lowerField = nullptr;
    QLineEdit* deviationUpperField = nullptr;
    QLineEdit* baseField = nullptr;
    QLineEdit* deviationLowerField = nullptr;
    QCheckBox* upperCheck = nullptr;
    QCheckBox* upperMailCheck = nullptr;
    QCheckBox* upperAppCheck = nullptr;
    QComboBox* upperSoundChoice = nullptr;
    QComboBox* upperOnAppChoice = nullptr;
    QComboBox* upperOffAppChoice = nullptr;
    QCheckBox* lowerCheck = nullptr;
    QCheckBox* lowerMailCheck = nullptr;
    QCheckBox* lowerAppCheck = nullptr;
    QComboBox* lowerSoundChoice = nullptr;
    QComboBox* lowerOnAppChoice = nullptr;
    QComboBox* lowerOffAppChoice = nullptr;
    TImage* picture = nullptr;
    QLabel* rateLabel = nullptr;
    MainWindowLink* mainWindow_ = nullptr;
};

extern TForm3* Form3;

} // namespace quorvane
