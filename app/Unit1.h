// Unit1: the main window — slot groups and rate board, the program's start and its end.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/toolkit/DialogLinks.h"
#include "monitor/Monitor.h"
#include "util/Quotes.h"

class QMenu;
class QAction;

namespace quorvane {

class ChartDialogLink;
class InstanceLock;
class TCheckBox;
class LocalRateService;
class TForm7;
class TShape;

// The master slot table; changed only through TForm1::SetQuotes and TForm1::SetEnable.
extern QuoteTable Quotes;

inline constexpr int ClientWidth = 409;
inline constexpr int GroupTop = 55;
inline constexpr int GroupPitch = 41;
inline constexpr int BaseHeight = 85; // outer height with no slot shown
// The frame the layout was drawn for (title bar and borders); the client area is the outer size less this.
inline constexpr int DesignFrameWidth = 6;
inline constexpr int DesignFrameHeight = 25;

class TForm1 : public QWidget, public MainWindowLink {
    Q_OBJECT
public:
    // Builds the controls and runs FormCreate. When another instance runs, or the settings file exists but
    // cannot be read (the error has been shown), Refused() is true, nothing has been loaded and closing
    // writes nothing.
    // settingsPath: the settings file; empty means the program's own (SettingsPath).
    explicit TForm1(const std::string& settingsPath = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    bool Refused() const { return refused_; }

    // The monitor core: the monitor's copy of the slots, the rate histories and the cycle.
    Monitor& MonitorCore() { return *monitor_; }
    QuoteTable& MonitorQuotes() { return monitor_->Quotes(); }
    RateHistories& Histories() { return monitor_->Histories(); }

    const QuoteTable& SlotTable() const override { return Quotes; }
    void SetQuotes(const QuoteTable& table) override;
    void SetEnable(int slot, bool value) override;
    void SetTitles();
    void SetViews();
    void SetGroupVisible(const QString& name, bool visible, int position);
    void SetAlertSwitch();

    // The rate board.
    void SetLabel(const QString& name, const QString& text, const QColor& colour);
    void SetRate(int slot, double rate);
    // Draws what a cycle did to one slot.
    void ShowUpdate(const SlotUpdate& update);
    // Marks each shown rate older than its source's normal age at now (Unix seconds; 0: the clock's) and
    // puts its source and as-of time on its tooltip.
    void ShowAges(std::int64_t now = 0);
    void SetAH(int slot, bool on);
    void SetAL(int slot, bool on);
    void SetALERT(const QString& name, bool on);

    void GetRate();
    void LED_ON();
    void LED_OFF();
    void ShowErrorTitle(const std::string& text);
    void ShowNormalTitle();
    // The reason of the last failed fetch on the title's and the lamp's tooltips, written to stderr when it
    // changes; empty after a cycle that succeeded.
    void ShowFailureReason(const std::string& reason);
    void ShowConfig(int page) override;
    void TOGGLE_MUTE();

    // The outer height as laid out: 85 plus 41 per shown slot, for the frame the layout was drawn for.
    int Height() const { return height_; }
    // Outer geometry in screen pixels, as the settings file keeps it.
    int Left() const;
    int Top() const;
    int OuterWidth() const;
    int OuterHeight() const;
    void SetLeft(int left);
    void SetTop(int top);
    static int ScreenWidth();
    static int ScreenHeight();

    void LoadData();
    void SaveData();
    // Writes the whole settings file now, atomically, as the close does. On failure the STEP message has
    // been shown, the old file is intact and the program state stays as it is; returns false.
    bool SaveSettingsNow() override;
    void UseService(const std::string& address) override;
    void CancelCycle() override;
    void UseRateSource(const std::string& source) override;
    // The built-in service started at launch; emptying the address later may start it. None in tests.
    void SetLocalService(LocalRateService* service) { localService_ = service; }
    const std::string& SettingsFile() const { return settingsPath_; }

    void SetDialogs(ConfigDialogLink* config, AlarmDialogLink* alarm, PairDialogLink* pair);
    void SetChart(ChartDialogLink* chart) { chart_ = chart; }
    void SetSplash(TForm7* splash) { splash_ = splash; }

    // The first activation: centre, splash, and monitoring back on when it was on at the last close.
    void FormActivate();

signals:
    // The window has closed with its settings saved; the program ends.
    void Closed();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    void BuildSlotGroup(int n);
    void FormCreate();
    void RepaintNow();
    int SlotOfSender(const QObject* sender, const char* prefix) const;
    int SlotOfShape(const QObject* sender) const;

    void CB_STARTClick();
    void BT_RELOADClick();
    void BT_PAIRClick();
    void BT_CONFIGClick();
    void CB_MUTEClick();
    void CB_AClick(TCheckBox* sender);
    void SP_MouseDown(TShape* sender);
    void N1Click();
    void C1Click();
    void ShowChart(int slot);

    std::string settingsPath_;
    ServiceRateClient rateClient_;
    CheckAlertActions alarmActions_;
    std::unique_ptr<Monitor> monitor_;
    std::unique_ptr<InstanceLock> lock_;
    bool refused_ = false;
    bool closing_ = false; // the settings have been saved at the close
    std::string failureReason_;
    bool firstActivation = true;
    bool activationQueued_ = false;
    int height_ = BaseHeight;
    QMenu* contextMenu = nullptr;
    QAction* helpAction = nullptr;
    QAction* settingsAction = nullptr;
    TShape* lamp = nullptr;
    TCheckBox* monitorCheck = nullptr;
    TCheckBox* muteCheck = nullptr;
    QAction* chartAction = nullptr; // the chart of the slot under the pointer
    int menuSlot_ = -1;
    ConfigDialogLink* config_ = nullptr;
    AlarmDialogLink* alarm_ = nullptr;
    PairDialogLink* pair_ = nullptr;
    ChartDialogLink* chart_ = nullptr;
    TForm7* splash_ = nullptr;
    LocalRateService* localService_ = nullptr;
};

extern TForm1* Form1;

// The help page beside the program (or in its shared data folder), as a path for ShellOpen.
std::string HelpPagePath();

} // namespace quorvane
