// Unit1: the main window — slot groups and rate board, the program's start and its end.
#include "app/Unit1.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTime>
#include <QTimer>

#include <chrono>
#include <cstdio>

#include "alert/Alert.h"
#include "app/toolkit/DialogLinks.h"
#include "app/InstanceLock.h"
#include "app/LocalService.h"
#include "app/RateAge.h"
#include "app/Unit4.h"
#include "app/Unit7.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "mail/Mail.h"
#include "service/WebService.h"
#include "settings/Settings.h"
#include "util/Util.h"

namespace quorvane {

QuoteTable Quotes;
TForm1* Form1 = nullptr;

namespace {

const QString NotFetched = QStringLiteral("---------");

bool HasRealFrame(const QWidget* w) {
    return w->isVisible() && w->frameGeometry() != w->geometry();
}

QString Name(const char* prefix, int n) {
    return QString::fromLatin1(prefix) + QString::number(n);
}

// The locale's time of day with seconds: its short time format, seconds added where it has none. The
// column has room for a 24-hour time only, so a 12-hour format gives way to one.
QString TimeOfDayText(const QTime& time) {
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('a'), Qt::CaseInsensitive))
        format = QStringLiteral("H:mm:ss");
    if (!format.contains(QLatin1String("ss"))) {
        const qsizetype at = format.indexOf(QLatin1String("mm"));
        if (at >= 0)
            format.insert(at + 2, QLatin1String(":ss"));
    }
    return locale.toString(time, format);
}

// A control keeps its designed size unless its text needs more room; then it grows to the right.
void FitWidth(QAbstractButton* w) {
    // A push button's size hint carries the style's minimum width, which the design does not follow.
    const int needed = qobject_cast<QPushButton*>(w) ? w->fontMetrics().horizontalAdvance(w->text()) + 12
                                                     : w->sizeHint().width();
    if (needed > w->width())
        w->resize(needed, w->height());
}

QPushButton* ToolbarButton(QWidget* parent, const char* name, const char* text, const char* hint,
                           QRect geometry) {
    auto* b = MakeButton(parent, name, text, hint, geometry);
    FitWidth(b);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

TLabel* MakeHeading(QWidget* parent, const char* name, const char* text, const char* hint, int left) {
    auto* l = new TLabel(parent, QString::fromLatin1(name));
    l->SetText(U(text));
    if (*hint)
        l->setToolTip(U(hint));
    l->PlaceLeft(left, 40);
    return l;
}

// The main window as the settings file sees it.
class Form1Settings : public SettingsHost {
public:
    explicit Form1Settings(TForm1& form) : form_(form) {}
    int WindowLeft() const override { return form_.Left(); }
    int WindowTop() const override { return form_.Top(); }
    int WindowWidth() const override { return form_.OuterWidth(); }
    int WindowHeight() const override { return form_.OuterHeight(); }
    void MoveWindow(int left, int top) override {
        form_.SetLeft(left);
        form_.SetTop(top);
    }
    int ScreenWidth() const override { return TForm1::ScreenWidth(); }
    int ScreenHeight() const override { return TForm1::ScreenHeight(); }
    void SetQuotes(const QuoteTable& table) override { form_.SetQuotes(table); }
    QuoteTable Quotes() const override { return quorvane::Quotes; }

private:
    TForm1& form_;
};

} // namespace

TForm1::TForm1(const std::string& settingsPath, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      settingsPath_(settingsPath), monitor_(std::make_unique<Monitor>(rateClient_, alarmActions_, [] {
          return std::chrono::system_clock::now();
      })) {
    setObjectName(QStringLiteral("Form1"));
    Form1 = this;
    BuildControls();
    FormCreate();
}

TForm1::~TForm1() {
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::BuildControls() {
    ShowNormalTitle();
    setFixedSize(ClientWidth, BaseHeight - DesignFrameHeight);

    monitorCheck = new TCheckBox(this, QStringLiteral("CB_START"), U("監視中"));
    monitorCheck->setToolTip(U("参考レートの監視を開始または終了します。"));
    monitorCheck->setGeometry(8, 8, 65, 17);
    FitWidth(monitorCheck);
    monitorCheck->OnClick = [this](TCheckBox*) { CB_STARTClick(); };

    connect(ToolbarButton(this, "BT_RELOAD", "更新", "参考レートを更新します。", {80, 8, 41, 25}),
            &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_RELOADClick(); }); });
    connect(ToolbarButton(this, "BT_PAIR", "ペア選択", "表示する通貨ペアの選択ダイアログを表示します。",
                          {128, 8, 65, 25}),
            &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_PAIRClick(); }); });
    connect(ToolbarButton(this, "BT_CONFIG", "設定", "各種設定ダイアログを表示します。", {200, 8, 49, 25}),
            &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_CONFIGClick(); }); });

    muteCheck = new TCheckBox(this, QStringLiteral("CB_MUTE"), U("警報音ミュート"));
    muteCheck->setToolTip(U("警報サウンドのミュート"));
    muteCheck->setGeometry(256, 8, 97, 17);
    FitWidth(muteCheck);
    muteCheck->OnClick = [this](TCheckBox*) { CB_MUTEClick(); };

    lamp = new TShape(this, QStringLiteral("Shape1"), TShape::Kind::Circle);
    lamp->setToolTip(U("通信インジケータ"));
    lamp->setGeometry(384, 8, 17, 17);

    MakeHeading(this, "Label29", "通貨/時間", "時間とは受信した時点での時間です。", 8);
    MakeHeading(this, "Label3", "参考レート", "", 88);
    MakeHeading(this, "Label21", "変動量", "前回取得の値からの変動量です。", 224);
    MakeHeading(this, "Label8", "前回の値", "前回取得した参考レートです。", 296);
    MakeHeading(this, "Label10", "警報出力", "警報", 352);

    for (int n = 1; n <= SlotCount; ++n)
        BuildSlotGroup(n);

    contextMenu = new QMenu(this);
    contextMenu->setObjectName(QStringLiteral("PopupMenu1"));
    helpAction = contextMenu->addAction(U("ヘルプ..(&H)"));
    helpAction->setObjectName(QStringLiteral("N1"));
    settingsAction = contextMenu->addAction(U("設定..(&C)"));
    settingsAction->setObjectName(QStringLiteral("C1"));
    connect(helpAction, &QAction::triggered, this, [this] { RunGuarded([this] { N1Click(); }); });
    connect(settingsAction, &QAction::triggered, this, [this] { RunGuarded([this] { C1Click(); }); });
    chartAction = contextMenu->addAction(U("チャート"));
    chartAction->setObjectName(QStringLiteral("G1"));
    connect(chartAction, &QAction::triggered, this, [this] { RunGuarded([this] { ShowChart(menuSlot_); }); });
}

void TForm1::BuildSlotGroup(int n) {
    auto* group = new QGroupBox(this);
    group->setObjectName(Name("GP_", n));
    group->setGeometry(8, GroupTop, 393, n == SlotCount ? 42 : 41);
    group->setVisible(false);

    auto* title = new TLabel(group, Name("LB_N", n));
    title->PlaceLeft(5, 10);
    (new TLabel(group, Name("LB_T", n)))->PlaceRight(55, 23, 0);

    auto* rate = new TLabel(group, Name("LB_V", n));
    rate->setFont(ProgramFont(24));
    rate->SetText(NotFetched);
    rate->PlaceRight(80 + 108, 10, 108);
    rate->move(rate->x(), 10 - (rate->height() - 24) / 2);
    rate->KeepRightOf(title);
    rate->OnDblClick = [this, n](TLabel*) { ShowChart(n - 1); };

    MakeRateAgeBadge(group, n);

    auto* change = new TLabel(group, Name("LB_D", n));
    change->SetText(NotFetched);
    change->PlaceRight(216 + 54, 21, 54);
    auto* before = new TLabel(group, Name("LB_B", n));
    before->SetText(NotFetched);
    before->PlaceRight(288 + 54, 21, 54);

    for (const char* prefix : {"SP_U", "SP_L"}) {
        auto* shape = new TShape(group, Name(prefix, n), TShape::Kind::RoundSquare);
        shape->setGeometry(352, prefix[3] == 'U' ? 8 : 24, 15, 15);
        shape->setCursor(Qt::PointingHandCursor);
        shape->setToolTip(U("上／下限値の設定"));
        shape->OnMouseDown = [this](TShape* s) { SP_MouseDown(s); };
    }

    auto* alarm = new TCheckBox(group, Name("CB_A", n));
    alarm->setGeometry(368, 13, 17, 17);
    alarm->OnClick = [this](TCheckBox* box) { CB_AClick(box); };
}

void TForm1::FormCreate() {
    lock_ = std::make_unique<InstanceLock>();
    if (lock_->HeldElsewhere()) {
        refused_ = true;
        ShowError("「Quorvane」は同時に２つ以上起動できません。");
        return;
    }
    firstActivation = true;
    if (settingsPath_.empty())
        settingsPath_ = SettingsPath();
    try {
        LoadData();
    } catch (const std::exception& error) {
        // Going on would save defaults over the user's file at the close: say why, and end.
        refused_ = true;
        const bool named = dynamic_cast<const SettingsFileError*>(&error) != nullptr;
        ShowError(named ? error.what()
                        : "設定ファイルを読み込めません: " + settingsPath_ + " (" + error.what() + ")");
        return;
    }
    InitMail();
    SetAlertSwitch();
    SetTitles();
    SetViews();
    BasicData.Mute = false;
    for (int n = 1; n <= SlotCount; ++n)
        if (auto* box = FindControl<TCheckBox>(this, Name("CB_A", n)))
            box->setToolTip(U("警報出力のON/OFF"));
}

void TForm1::FormActivate() {
    if (!firstActivation)
        return;
    SetLeft((ScreenWidth() - OuterWidth()) / 2);
    SetTop((ScreenHeight() - OuterHeight()) / 2);
    firstActivation = false;
    if (splash_) {
        splash_->SetVersion("105");
        splash_->exec();
    }
    // An end request during the splash has saved the settings; nothing may run after that save.
    if (closing_)
        return;
    if (BasicData.MonitorOn)
        monitorCheck->setChecked(true);
}

bool TForm1::event(QEvent* e) {
    // Without a window manager a window may never become active; its first showing counts as well.
    if ((e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) && firstActivation && !refused_ &&
        !activationQueued_) {
        activationQueued_ = true;
        // Run after the event has been handled, so that the splash's own loop starts from a settled window.
        QTimer::singleShot(0, this, [this] { RunGuarded([this] { FormActivate(); }); });
    }
    return QWidget::event(e);
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (refused_) {
        // Nothing was loaded, so nothing is saved: the user's file stays as it is.
        e->accept();
        emit Closed();
        return;
    }
    bool saved = false;
    RunGuarded([&] {
        SaveData();
        saved = true;
    });
    if (!saved) {
        // The settings could not be written (the error has been shown): stay open so that nothing is lost.
        e->ignore();
        return;
    }
    // No cycle may fetch or send mail between this save and the program's end.
    closing_ = true;
    if (Form4)
        Form4->StopMonitor();
    e->accept();
    emit Closed();
}

void TForm1::contextMenuEvent(QContextMenuEvent* e) {
    // The chart item belongs to the slot under the pointer.
    menuSlot_ = -1;
    for (QWidget* w = childAt(e->pos()); w && w != this; w = w->parentWidget())
        if (w->objectName().startsWith(QStringLiteral("GP_")))
            menuSlot_ = w->objectName().mid(3).toInt() - 1;
    chartAction->setVisible(menuSlot_ >= 0 && menuSlot_ < SlotCount);
    contextMenu->popup(e->globalPos());
    e->accept();
}

void TForm1::ShowChart(int slot) {
    if (chart_ && slot >= 0 && slot < SlotCount)
        chart_->ShowSlot(slot);
}

void TForm1::SetQuotes(const QuoteTable& table) {
    Quotes = table;
    MonitorQuotes() = Quotes;
    SetTitles();
}

void TForm1::SetEnable(int slot, bool value) {
    Quotes.at(slot).Enable = value;
    SetViews();
    MonitorQuotes() = Quotes;
}

void TForm1::SetTitles() {
    for (int n = 1; n <= SlotCount; ++n)
        SetLabel(Name("LB_N", n), QStringLiteral(" ") + Qs(Quotes[n - 1].Title), ClBlack);
}

void TForm1::SetViews() {
    int k = 0;
    for (int n = 1; n <= SlotCount; ++n) {
        SetGroupVisible(Name("GP_", n), Quotes[n - 1].Enable, k);
        if (Quotes[n - 1].Enable)
            ++k;
    }
    height_ = BaseHeight + GroupPitch * k;
    setFixedSize(ClientWidth, height_ - DesignFrameHeight);
}

void TForm1::SetGroupVisible(const QString& name, bool visible, int position) {
    if (auto* group = FindControl<QGroupBox>(this, name)) {
        group->setVisible(visible);
        group->move(group->x(), GroupTop + GroupPitch * position);
    }
}

void TForm1::SetAlertSwitch() {
    for (int n = 1; n <= SlotCount; ++n)
        if (auto* box = FindControl<TCheckBox>(this, Name("CB_A", n)))
            box->setChecked(Alerts[n - 1].ALEnable);
}

void TForm1::SetLabel(const QString& name, const QString& text, const QColor& colour) {
    if (auto* label = FindControl<TLabel>(this, name)) {
        label->SetFontColor(colour);
        label->SetText(text);
    }
}

void TForm1::SetRate(int slot, double rate) {
    ShowUpdate(monitor_->SetRate(slot, rate));
}

void TForm1::ShowUpdate(const SlotUpdate& update) {
    if (update.outcome != SlotOutcome::Shown)
        return;
    const int slot = update.slot;
    const int n = slot + 1;
    SetLabel(Name("LB_B", n), Qs(FormatRate(update.previous)), ClBlack);
    SetAH(slot, update.upper);
    SetAL(slot, update.lower);
    const QColor colour = update.change > 0 ? ClGreen : update.change < 0 ? ClRed : ClBlack;
    SetLabel(Name("LB_V", n), Qs(FormatRate(update.rate)), colour);
    if (alarm_ && alarm_->ShowsSlot(slot))
        alarm_->ShowRate(FormatRate(LatestRate(Histories().at(slot))));
    SetLabel(Name("LB_D", n), Qs(FormatRate(update.change)), colour);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(update.time.time_since_epoch());
    SetLabel(Name("LB_T", n), TimeOfDayText(QDateTime::fromMSecsSinceEpoch(ms.count()).time()), ClBlack);
}

void TForm1::ShowAges(std::int64_t now) {
    if (now == 0)
        now = std::chrono::duration_cast<std::chrono::seconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    for (int n = 1; n <= SlotCount; ++n)
        ShowRateAge(FindControl<TLabel>(this, Name("LB_V", n)), FindControl<QWidget>(this, Name("LB_S", n)),
                    monitor_->Age(n - 1, now));
}

void TForm1::SetAH(int slot, bool on) {
    SetALERT(Name("SP_U", slot + 1), Alerts[slot].AH_ON ? on : false);
}

void TForm1::SetAL(int slot, bool on) {
    SetALERT(Name("SP_L", slot + 1), Alerts[slot].AL_ON ? on : false);
}

void TForm1::SetALERT(const QString& name, bool on) {
    if (auto* shape = FindControl<TShape>(this, name))
        shape->SetBrushColor(on ? ClRed : ClWhite);
}

void TForm1::GetRate() {
    MonitorQuotes() = Quotes;
    if (Form4)
        Form4->RunCycle();
}

void TForm1::RepaintNow() {
    // Paint what is pending at once, so that the lamp shows before the cycle waits.
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(this, &request);
}

void TForm1::LED_ON() {
    lamp->SetBrushColor(ClLime);
    RepaintNow();
}

void TForm1::LED_OFF() {
    lamp->SetBrushColor(ClWhite);
    RepaintNow();
}

void TForm1::ShowErrorTitle(const std::string& text) {
    setWindowTitle(QStringLiteral("Quorvane ") + Qs(text));
}

void TForm1::ShowNormalTitle() {
    setWindowTitle(QStringLiteral("Quorvane"));
}

void TForm1::ShowFailureReason(const std::string& reason) {
    const QString hint = U("通信インジケータ");
    setToolTip(Qs(reason));
    lamp->setToolTip(reason.empty() ? hint : hint + QLatin1Char('\n') + Qs(reason));
    if (reason == failureReason_)
        return;
    failureReason_ = reason;
    if (!reason.empty())
        std::fprintf(stderr, "quorvane: 通信エラー: %s\n", reason.c_str());
}

void TForm1::ShowConfig(int page) {
    if (!config_)
        return;
    config_->SetQuotes(Quotes);
    config_->ShowPage(page);
}

void TForm1::TOGGLE_MUTE() {
    BasicData.Mute = !BasicData.Mute;
}

int TForm1::Left() const {
    return pos().x();
}
int TForm1::Top() const {
    return pos().y();
}

int TForm1::OuterWidth() const {
    return HasRealFrame(this) ? frameGeometry().width() : width() + DesignFrameWidth;
}

int TForm1::OuterHeight() const {
    return HasRealFrame(this) ? frameGeometry().height() : height() + DesignFrameHeight;
}

void TForm1::SetLeft(int left) {
    move(left, pos().y());
}
void TForm1::SetTop(int top) {
    move(pos().x(), top);
}

int TForm1::ScreenWidth() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

int TForm1::ScreenHeight() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

void TForm1::SetDialogs(ConfigDialogLink* config, AlarmDialogLink* alarm, PairDialogLink* pair) {
    config_ = config;
    alarm_ = alarm;
    pair_ = pair;
}

int TForm1::SlotOfSender(const QObject* sender, const char* prefix) const {
    for (int n = 1; n <= SlotCount; ++n)
        if (sender && sender->objectName() == Name(prefix, n))
            return n - 1;
    return -1;
}

int TForm1::SlotOfShape(const QObject* sender) const {
    const int upper = SlotOfSender(sender, "SP_U");
    if (upper >= 0)
        return upper;
    return std::max(0, SlotOfSender(sender, "SP_L"));
}

void TForm1::CB_STARTClick() {
    InitMail();
    if (!Form4)
        return;
    Form4->Timer1->SetInterval(MonitorPeriod(BasicData.Interval));
    MonitorQuotes() = Quotes;
    BasicData.MonitorOn = !Form4->MonitoringOn();
    Form4->ToggleMonitor();
}

void TForm1::BT_RELOADClick() {
    GetRate();
}

void TForm1::BT_PAIRClick() {
    if (pair_)
        pair_->ShowModeless();
}

void TForm1::BT_CONFIGClick() {
    ShowConfig(0);
}
void TForm1::C1Click() {
    ShowConfig(0);
}
void TForm1::CB_MUTEClick() {
    TOGGLE_MUTE();
}

void TForm1::CB_AClick(TCheckBox* sender) {
    const int slot = std::max(0, SlotOfSender(sender, "CB_A"));
    Alerts[slot].ALEnable = sender->isChecked();
}

void TForm1::SP_MouseDown(TShape* sender) {
    if (!alarm_)
        return;
    const int slot = SlotOfShape(sender);
    alarm_->SetValue(slot, Quotes[slot].Title, Alerts[slot].ALEnable,
                     FormatRate(LatestRate(Histories().at(slot))));
    alarm_->ShowModeless();
}

void TForm1::LoadData() {
    Form1Settings host(*this);
    quorvane::LoadData(host, settingsPath_);
}

void TForm1::SaveData() {
    Form1Settings host(*this);
    quorvane::SaveData(host, settingsPath_);
}

bool TForm1::SaveSettingsNow() {
    try {
        SaveData();
        return true;
    } catch (...) {
        return false; // SaveData has told the user which stage failed
    }
}

void TForm1::UseService(const std::string& address) {
    if (address.empty() && localService_)
        StartLocalServiceIfNeeded(*localService_, address, BasicData.RateSource);
    UseServiceDescription(address.empty() ? LocalServiceDescription() : address);
}

void TForm1::UseRateSource(const std::string& source) {
    RestartLocalService(source);
}

void TForm1::CancelCycle() {
    if (Form4)
        Form4->CancelCycle();
}

void TForm1::N1Click() {
    ShellOpen(HelpPagePath(), "");
}

std::string HelpPagePath() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {dir + QStringLiteral("/help/index.html"),
                                     dir + QStringLiteral("/../share/quorvane/help/index.html")}) {
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate).toStdString();
    }
    return QDir::cleanPath(dir + QStringLiteral("/help/index.html")).toStdString();
}

} // namespace quorvane
