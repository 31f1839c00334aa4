// Unit3: the alarm settings dialog — one slot's alarm type, limits and actions, with a picture of them.
#include "dialogs/Unit3.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "app/toolkit/Controls.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "app/toolkit/Picture.h"
#include "app/toolkit/SpinEdit.h"
#include "settings/IniFile.h"
#include "util/Numbers.h"
#include "util/Util.h"

namespace quorvane {

TForm3* Form3 = nullptr;

namespace {

constexpr int PictureWidth = 441;
constexpr int PictureHeight = 169;
constexpr int Xm = PictureWidth / 2;
constexpr int Yb = PictureHeight - 5;
constexpr int PlotHeight = PictureHeight - 10;
constexpr int YU = (2 * PlotHeight) / 10 + 5;
constexpr int YL = (8 * PlotHeight) / 10 + 5;
constexpr int LabelX = Xm + 5;

const QColor Band(204, 51, 51);
const QColor Blue(0, 0, 255);

void Select(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

template <class Entries> void FillList(QComboBox* list, const Entries& entries) {
    list->clear();
    list->addItem(U("なし"));
    for (const auto& e : entries)
        list->addItem(Qs(e.Name));
}

template <class Entries> bool SameEntries(const Entries& a, const Entries& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.Name == y.Name && x.Path == y.Path; });
}

// A 1-based reference into `before` as a reference to the same entry in `after`; 0 when it is gone.
template <class Entries> int FollowEntry(int ref, const Entries& before, const Entries& after) {
    if (ref < 1 || ref > static_cast<int>(before.size()))
        return ref <= 0 ? ref : 0;
    const auto& entry = before[static_cast<std::size_t>(ref - 1)];
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i].Name == entry.Name && after[i].Path == entry.Path)
            return static_cast<int>(i) + 1;
    return 0;
}

QComboBox* MakeList(QWidget* parent, const char* name, const char* hint) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    if (*hint)
        list->setToolTip(U(hint));
    return list;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* text) {
    auto* box = new QCheckBox(U(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QWidget* buddy,
                  const char* hint = "") {
    auto* label = new QLabel(U(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    if (*hint)
        label->setToolTip(U(hint));
    return label;
}

} // namespace

std::string PlainRateText(const std::string& rate) {
    // FormatRate's form: an optional minus, grouped digits, the separator, four decimals.
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const std::string separator = UserSeparators().decimal;
    if (rate.size() < separator.size() + 5)
        return rate;
    const std::size_t fraction = rate.size() - 4;
    const std::size_t point = fraction - separator.size();
    if (!std::all_of(rate.begin() + static_cast<std::ptrdiff_t>(fraction), rate.end(), isDigit) ||
        rate.compare(point, separator.size(), separator) != 0)
        return rate;
    std::string whole;
    for (std::size_t i = 0; i < point; ++i) {
        if (isDigit(rate[i]) || (i == 0 && rate[i] == '-'))
            whole += rate[i];
    }
    if (whole.empty() || whole == "-")
        return rate;
    return whole + separator + rate.substr(fraction);
}

TForm3::TForm3(MainWindowLink* mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(U("Quorvane 警報設定"));
    setModal(false);
    Form3 = this;
    BuildControls();
    KeepEnterForFields(this);
    // Grown only as far as the fields need where the desktop's fonts do not leave room.
    setFixedSize(632, std::max(453, sizeHint().height()));
}

TForm3::~TForm3() {
    if (Form3 == this)
        Form3 = nullptr;
}

QLineEdit* TForm3::MakeNumberField(QWidget* parent, const char* name, const char* caption, QLabel** label) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->setInputMethodHints(Qt::ImhFormattedNumbersOnly | Qt::ImhNoPredictiveText);
    field->installEventFilter(this);
    *label = MakeLabel(parent, (std::string(name) + "Label").c_str(), caption, field);
    return field;
}

namespace {

// One side's group of actions: the three switches, then the sound and the two programs.
struct Side {
    const char *group, *caption, *output, *outputText, *mail, *app;
    const char *soundLabel, *sound, *soundHint, *onLabel, *on, *onHint, *offLabel, *off, *offHint;
};
const Side Sides[] = {
    {"GP_H", "上限動作", "CB_H", "上限警報出力", "CB_MAIL_H", "CB_APP_H", "Label4", "DD_SOUND_H",
     "レートが上限到達時に再生するサウンドを選択してください。", "Label3", "DD_APP_HON",
     "上限警報発生時に呼び出すアプリケーション。", "Label1", "DD_APP_HOFF",
     "上限警報が止まった時に呼び出すアプリケーション。"},
    {"GP_L", "下限動作", "CB_L", "下限警報出力", "CB_MAIL_L", "CB_APP_L", "Label5", "DD_SOUND_L",
     "レートが下限到達時に再生するサウンドを選択してください。", "Label6", "DD_APP_LON",
     "下限警報発生時に呼び出すアプリケーション。", "Label7", "DD_APP_LOFF",
     "下限警報が止まった時に呼び出すアプリケーション。"},
};

QGroupBox* BuildSide(QWidget* parent, const Side& s) {
    auto* group = new QGroupBox(U(s.caption), parent);
    group->setObjectName(QString::fromLatin1(s.group));
    auto* column = new QVBoxLayout(group);
    for (const auto& [name, text] : {std::pair{s.output, s.outputText}, std::pair{s.mail, "メール送信"},
                                     std::pair{s.app, "外部アプリ起動"}})
        column->addWidget(MakeCheck(group, name, text));
    auto* lists = new QFormLayout;
    for (const auto& [labelName, caption, name, hint] :
         {std::tuple{s.soundLabel, "サウンド", s.sound, s.soundHint},
          std::tuple{s.onLabel, "外部アプリ(ON)", s.on, s.onHint},
          std::tuple{s.offLabel, "外部アプリ(OFF)", s.off, s.offHint}}) {
        QComboBox* list = MakeList(group, name, hint);
        lists->addRow(MakeLabel(group, labelName, caption, list, hint), list);
    }
    column->addLayout(lists);
    column->addStretch(1);
    return group;
}

// The whole dialog fits its fixed client area only with the compact spacing of the desktop it was drawn for.
void Compact(QWidget* dialog) {
    for (QLayout* layout : dialog->findChildren<QLayout*>()) {
        layout->setSpacing(2);
        layout->setContentsMargins(qobject_cast<QGroupBox*>(layout->parentWidget()) ? QMargins(6, 0, 6, 3)
                                                                                    : QMargins(0, 0, 0, 0));
        if (auto* form = qobject_cast<QFormLayout*>(layout))
            form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    }
    dialog->layout()->setContentsMargins(3, 3, 3, 3);
    dialog->setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px;"
                       " padding-top: 12px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w))
            w->setFixedHeight(20);
        else if (qobject_cast<QCheckBox*>(w))
            w->setFixedHeight(18);
    }
}

} // namespace

void TForm3::BuildControls() {
    pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("TabControl1"));
    auto* page = new QWidget;
    pages->addTab(page, U("通貨ペア"));
    (new QVBoxLayout(this))->addWidget(pages);

    auto* GP_TYPE = new QGroupBox(U("警報設定"), page);
    GP_TYPE->setObjectName(QStringLiteral("GP_TYPE"));
    auto* typeLayout = new QHBoxLayout(GP_TYPE);
    typeLayout->addLayout(BuildLimits(GP_TYPE));
    for (const Side& side : Sides)
        typeLayout->addWidget(BuildSide(GP_TYPE, side), 1);
    FindControls();

    auto* lower = new QHBoxLayout;
    lower->addLayout(BuildPicture(page));
    lower->addLayout(BuildRatePanel(page), 1);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(GP_TYPE);
    pageLayout->addLayout(lower);
    Compact(this);
    pageLayout->setContentsMargins(6, 2, 6, 4);

    connect(typeChoice, &QComboBox::activated, this, [this] { RunGuarded([this] { DD_TYPEChange(); }); });
}

QLayout* TForm3::BuildLimits(QWidget* group) {
    typeChoice = MakeList(group, "DD_TYPE", "");
    typeChoice->addItems({U("上下限"), U("偏差上下限")});
    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(MakeLabel(group, "Label2", "警報タイプ", typeChoice));
    typeRow->addWidget(typeChoice, 1);

    const char* coolDownHint =
        "警報 ON でメール・通知・外部アプリを実行した後この分数の間、同じ側の次の ON と"
        "その OFF ではそれらを実行しません（0 で毎回実行）。";
    cooldownEdit = new TSpinEdit(group, QStringLiteral("SE_COOLDOWN"), 0, MaxCoolDownMinutes);
    cooldownEdit->setToolTip(U(coolDownHint));
    cooldownEdit->setAccessibleName(U("再通知間隔（分）"));
    cooldownEdit->setFixedHeight(20);
    auto* coolDownRow = new QHBoxLayout;
    coolDownRow->addWidget(MakeLabel(group, "Label8", "再通知間隔（分）", cooldownEdit, coolDownHint));
    coolDownRow->addWidget(cooldownEdit, 1);

    QLabel* label = nullptr;
    auto* GP_ABS = new QGroupBox(U("絶対値設定"), group);
    GP_ABS->setObjectName(QStringLiteral("GP_ABS"));
    auto* absForm = new QFormLayout(GP_ABS);
    upperField = MakeNumberField(GP_ABS, "LE_H", "上限値", &label);
    absForm->addRow(label, upperField);
    lowerField = MakeNumberField(GP_ABS, "LE_L", "下限値", &label);
    absForm->addRow(label, lowerField);

    auto* GP_REL = new QGroupBox(U("偏差設定"), group);
    GP_REL->setObjectName(QStringLiteral("GP_REL"));
    auto* relForm = new QFormLayout(GP_REL);
    deviationUpperField = MakeNumberField(GP_REL, "LE_DH", "上限偏差値(+)", &label);
    relForm->addRow(label, deviationUpperField);
    baseField = MakeNumberField(GP_REL, "LE_BASE", "基準値", &label);
    relForm->addRow(label, baseField);
    deviationLowerField = MakeNumberField(GP_REL, "LE_DL", "下限偏差値(-)", &label);
    relForm->addRow(label, deviationLowerField);

    auto* limits = new QVBoxLayout;
    limits->addLayout(typeRow);
    limits->addLayout(coolDownRow);
    limits->addWidget(GP_ABS);
    limits->addWidget(GP_REL);
    limits->addStretch(1);
    return limits;
}

void TForm3::FindControls() {
    const auto find = [this]<class T>(T*& member, const char* name) {
        member = findChild<T*>(QString::fromLatin1(name));
    };
    find(upperCheck, "CB_H");
    find(upperMailCheck, "CB_MAIL_H");
    find(upperAppCheck, "CB_APP_H");
    find(upperSoundChoice, "DD_SOUND_H");
    find(upperOnAppChoice, "DD_APP_HON");
    find(upperOffAppChoice, "DD_APP_HOFF");
    find(lowerCheck, "CB_L");
    find(lowerMailCheck, "CB_MAIL_L");
    find(lowerAppCheck, "CB_APP_L");
    find(lowerSoundChoice, "DD_SOUND_L");
    find(lowerOnAppChoice, "DD_APP_LON");
    find(lowerOffAppChoice, "DD_APP_LOFF");
}

QLayout* TForm3::BuildPicture(QWidget* page) {
    auto* LB_C1 = new QLabel(U("警報設定状況"), page);
    LB_C1->setObjectName(QStringLiteral("LB_C1"));
    picture = new TImage(page, QStringLiteral("Image1"), {PictureWidth, PictureHeight});
    picture->setAccessibleName(LB_C1->text());
    LB_C1->setBuddy(picture);
    auto* graph = new QVBoxLayout;
    graph->addWidget(LB_C1);
    graph->addWidget(picture);
    return graph;
}

QLayout* TForm3::BuildRatePanel(QWidget* page) {
    auto* GP_VAL = new QGroupBox(U("現在のレート"), page);
    GP_VAL->setObjectName(QStringLiteral("GP_VAL"));
    rateLabel = new QLabel(GP_VAL);
    rateLabel->setObjectName(QStringLiteral("LB_V1"));
    rateLabel->setFont(ProgramFont(24));
    rateLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* rateColumn = new QVBoxLayout(GP_VAL);
    rateColumn->addWidget(rateLabel);
    for (const auto& [name, text, target] :
         {std::tuple{"BT_CH", "上限へコピー", upperField}, std::tuple{"BT_CL", "下限へコピー", lowerField},
          std::tuple{"BT_CB", "基準へコピー", baseField}}) {
        QPushButton* b = MakeButton(GP_VAL, name, text);
        connect(b, &QPushButton::clicked, this,
                [this, field = target] { RunGuarded([&] { CopyRate(field); }); });
        rateColumn->addWidget(b);
    }

    QPushButton* BT_OK = MakeButton(page, "BT_OK", "設定");
    QPushButton* BT_CANCEL = MakeButton(page, "BT_CANCEL", "キャンセル");
    // Cancel discards the fields as they are, so a click on it does not take the focus (and validate).
    BT_CANCEL->setFocusPolicy(Qt::TabFocus);
    connect(BT_OK, &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_OKClick(); }); });
    connect(BT_CANCEL, &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_CANCELClick(); }); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BT_OK);
    buttons->addWidget(BT_CANCEL);

    auto* right = new QVBoxLayout;
    right->addWidget(GP_VAL);
    right->addStretch(1);
    right->addLayout(buttons);
    return right;
}

void TForm3::SetValue(int slot, const std::string& title, bool alEnable, const std::string& rate) {
    slot_ = std::clamp(slot, 0, SlotCount - 1);
    alEnable_ = alEnable;
    pages->setTabText(0, Qs(title));
    rateLabel->setText(Qs(rate));
    const TAlertConfig& r = Alerts[static_cast<std::size_t>(slot_)];
    upperCheck->setChecked(r.AH_ON);
    lowerCheck->setChecked(r.AL_ON);
    upperMailCheck->setChecked(r.MAIL_H_SW);
    lowerMailCheck->setChecked(r.MAIL_L_SW);
    upperAppCheck->setChecked(r.APP_H_SW);
    lowerAppCheck->setChecked(r.APP_L_SW);
    upperField->setText(Qs(FieldText(r.AH)));
    lowerField->setText(Qs(FieldText(r.AL)));
    Select(typeChoice, static_cast<int>(r.ALTYPE));
    cooldownEdit->SetValue(r.COOLDOWN);
    Select(upperOnAppChoice, r.APP_H_ON);
    Select(upperOffAppChoice, r.APP_H_OFF);
    Select(lowerOnAppChoice, r.APP_L_ON);
    Select(lowerOffAppChoice, r.APP_L_OFF);
    deviationUpperField->setText(Qs(FieldText(r.DH)));
    deviationLowerField->setText(Qs(FieldText(r.DL)));
    baseField->setText(Qs(FieldText(r.BASE)));
    SetAlertType(typeChoice->currentIndex());
    // Already on screen, it would otherwise keep the previous slot's sounds and picture.
    if (isVisible())
        FormShow();
}

void TForm3::ShowModeless() {
    quorvane::ShowModeless(this);
}

bool TForm3::ShowsSlot(int slot) const {
    return isVisible() && slot == slot_;
}

void TForm3::ShowRate(const std::string& rate) {
    rateLabel->setText(Qs(rate));
}

void TForm3::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2,
             area.y() + (area.height() - frameGeometry().height()) / 2);
    }
    RunGuarded([this] { FormShow(); });
}

bool TForm3::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && isVisible())
        FollowRegistries();
    return QDialog::event(e);
}

void TForm3::FormShow() {
    UpdateSoundList();
    UpdateAppList();
    const TAlertConfig& r = Alerts[static_cast<std::size_t>(slot_)];
    DrawGraph(static_cast<int>(r.ALTYPE), r.AH, r.AL, r.BASE, r.DH, r.DL);
}

void TForm3::UpdateSoundList() {
    const TAlertConfig& r = Alerts[static_cast<std::size_t>(slot_)];
    shownSounds_ = Sounds;
    FillList(upperSoundChoice, shownSounds_);
    FillList(lowerSoundChoice, shownSounds_);
    Select(upperSoundChoice, r.SOUND_H);
    Select(lowerSoundChoice, r.SOUND_L);
}

void TForm3::UpdateAppList() {
    const TAlertConfig& r = Alerts[static_cast<std::size_t>(slot_)];
    shownApps_ = Apps;
    for (QComboBox* list : {upperOnAppChoice, upperOffAppChoice, lowerOnAppChoice, lowerOffAppChoice})
        FillList(list, shownApps_);
    Select(upperOnAppChoice, r.APP_H_ON);
    Select(lowerOnAppChoice, r.APP_L_ON);
    Select(upperOffAppChoice, r.APP_H_OFF);
    Select(lowerOffAppChoice, r.APP_L_OFF);
}

void TForm3::FollowRegistries() {
    if (!SameEntries(shownSounds_, Sounds)) {
        for (QComboBox* list : {upperSoundChoice, lowerSoundChoice}) {
            const int ref = FollowEntry(list->currentIndex(), shownSounds_, Sounds);
            FillList(list, Sounds);
            Select(list, ref);
        }
        shownSounds_ = Sounds;
    }
    if (!SameEntries(shownApps_, Apps)) {
        for (QComboBox* list : {upperOnAppChoice, upperOffAppChoice, lowerOnAppChoice, lowerOffAppChoice}) {
            const int ref = FollowEntry(list->currentIndex(), shownApps_, Apps);
            FillList(list, Apps);
            Select(list, ref);
        }
        shownApps_ = Apps;
    }
}

void TForm3::SetAlertType(int type) {
    if (type != 0 && type != 1)
        return;
    for (QLineEdit* field : {upperField, lowerField})
        field->setEnabled(type == 0);
    for (QLineEdit* field : {deviationUpperField, baseField, deviationLowerField})
        field->setEnabled(type == 1);
}

void TForm3::DD_TYPEChange() {
    SetAlertType(typeChoice->currentIndex());
    UpdateGraph();
}

bool TForm3::eventFilter(QObject* watched, QEvent* e) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (field && !validating_) {
        if (e->type() == QEvent::FocusOut) {
            // A message box or a menu taking the focus for a moment is not leaving the field.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                RunGuarded([&] { Validate(field); });
        } else if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                RunGuarded([&] { Validate(field); });
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TForm3::Validate(QLineEdit* field) {
    validating_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{validating_};
    const TAlertConfig& r = Alerts[static_cast<std::size_t>(slot_)];
    const double stored = field == upperField            ? r.AH
                          : field == lowerField          ? r.AL
                          : field == baseField           ? r.BASE
                          : field == deviationUpperField ? r.DH
                                                         : r.DL;
    if (!CheckField(field))
        field->setText(Qs(FieldText(stored)));
    if (field == upperField)
        LE_H_Validate();
    else if (field == lowerField)
        LE_L_Validate();
    UpdateGraph();
}

bool TForm3::CheckField(const QLineEdit* field) {
    const std::string text = field->text().toStdString();
    const std::optional<double> value = ParseFieldText(text); // an emptied field is no number either
    if (!value) {
        ShowError("数値ではありません。");
        return false;
    }
    if (*value < 0) {
        ShowError("0以下の値は設定はできません。");
        return false;
    }
    return true;
}

void TForm3::LE_H_Validate() {
    if (!upperField->text().isEmpty() && Number(upperField) < Number(lowerField)) {
        ShowError("上限＜下限は設定できません。下限＝上限に設定します。");
        lowerField->setText(upperField->text());
    }
}

void TForm3::LE_L_Validate() {
    if (!lowerField->text().isEmpty() && Number(upperField) < Number(lowerField)) {
        ShowError("下限＞上限は設定できません。上限＝下限に設定します。");
        upperField->setText(lowerField->text());
    }
}

double TForm3::Number(const QLineEdit* field) const {
    const std::string text = field->text().toStdString();
    if (const std::optional<double> value = ParseFieldText(text))
        return *value;
    throw std::runtime_error("'" + text + "' は浮動小数点数ではありません.");
}

void TForm3::CopyRate(QLineEdit* field) {
    field->setText(Qs(PlainRateText(rateLabel->text().toStdString())));
}

void TForm3::BT_OKClick() {
    // Selections made before the registries changed still name the entries the user saw.
    FollowRegistries();
    TAlertConfig c = Alerts[static_cast<std::size_t>(slot_)];
    // ALEnable stays as the record has it: the main window's box may have switched it while this was open.
    c.AH = Number(upperField);
    c.AL = Number(lowerField);
    c.DH = Number(deviationUpperField);
    c.DL = Number(deviationLowerField);
    c.BASE = Number(baseField);
    c.AH_ON = upperCheck->isChecked();
    c.AL_ON = lowerCheck->isChecked();
    c.ALTYPE = static_cast<AlarmType>(typeChoice->currentIndex());
    c.COOLDOWN = cooldownEdit->Value();
    c.SOUND_H = upperSoundChoice->currentIndex();
    c.SOUND_L = lowerSoundChoice->currentIndex();
    c.APP_H_ON = upperOnAppChoice->currentIndex();
    c.APP_H_OFF = upperOffAppChoice->currentIndex();
    c.APP_L_ON = lowerOnAppChoice->currentIndex();
    c.APP_L_OFF = lowerOffAppChoice->currentIndex();
    c.MAIL_H_SW = upperMailCheck->isChecked();
    c.MAIL_L_SW = lowerMailCheck->isChecked();
    c.APP_H_SW = upperAppCheck->isChecked();
    c.APP_L_SW = lowerAppCheck->isChecked();
    if (c.AL > c.AH) {
        ShowError("エラー：下限が上限を上回っています。");
        return;
    }
    SetAlertConfig(slot_, c);
    hide();
    // The alarm is in force either way; a failed write has shown its stage and is tried again at close.
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
}

void TForm3::BT_CANCELClick() {
    hide();
}

void TForm3::UpdateGraph() {
    const double ah = Number(upperField);
    const double al = Number(lowerField);
    const double dh = Number(deviationUpperField);
    const double dl = Number(deviationLowerField);
    const double base = Number(baseField);
    DrawGraph(typeChoice->currentIndex(), ah, al, base, dh, dl);
}

void TForm3::DrawGraph(int type, double ah, double al, double base, double dh, double dl) {
    if (type == 0)
        DrawBase(false, ah, al, 0);
    else if (type == 1)
        DrawBase(true, base, dh, dl);
    else
        return;
    DrawABSHigh();
    DrawABSLow();
}

void TForm3::Label(int y, const std::string& text) {
    picture->TextOut({LabelX, y}, Qs(text));
}

// Absolute: a upper, b lower. Deviation: a base, b upper deviation, c lower deviation.
void TForm3::DrawBase(bool deviation, double a, double b, double c) {
    picture->Clear();
    picture->Line({5, Yb}, {Xm, Yb}, ClBlack);
    picture->Line({Xm, Yb}, {Xm, 5}, ClBlack);
    if (!deviation) {
        if (a == b)
            return;
        picture->FillRect(5, YL, Xm, Yb, Band);
        picture->Line({5, YL}, {Xm, YL}, Blue);
        Label(YL, FormatRate(b) + " （下限）");
        picture->FillRect(5, 5, Xm, YU, Band);
        picture->Line({5, YU}, {Xm, YU}, ClRed);
        Label(YU, FormatRate(a) + " （上限）");
        return;
    }
    const double s = a, u = b, l = c;
    int baseY = Yb / 2;
    if (l != 0 && u != 0) {
        const double offset = u / (l + u) * PlotHeight * 6 / 10;
        // Negative deviations from a hand-edited file can put the line anywhere, or nowhere.
        baseY = std::isfinite(offset) ? static_cast<int>(std::nearbyint(std::clamp(offset, -1e4, 1e4))) + YU
                                      : Yb / 2;
    }
    picture->Line({5, baseY}, {Xm, baseY}, ClLime);
    Label(baseY, FormatRate(s) + " （基準）");
    if (u > 0) {
        picture->FillRect(5, 5, Xm, YU, Band);
        picture->Line({5, YU}, {Xm, YU}, ClRed);
        Label(YU, FormatRate(s + u) + " （偏差上限 " + FormatRate(u) + " ）");
    }
    if (l > 0) {
        picture->FillRect(5, YL, Xm, Yb, Band);
        picture->Line({5, YL}, {Xm, YL}, Blue);
        Label(YL, FormatRate(s - l) + " （偏差下限 " + FormatRate(-l) + " ）");
    }
}

namespace {
std::vector<QPoint> Curve(std::initializer_list<int> m) {
    constexpr int dx = (PictureWidth / 2) / 10;
    constexpr int dy = PictureHeight / 10;
    std::vector<QPoint> points;
    int k = 0;
    for (int y : m)
        points.emplace_back(5 + k++ * dx, y * dy);
    return points;
}
} // namespace

void TForm3::DrawABSHigh() {
    picture->Polyline(Curve({10, 9, 10, 9, 8, 6, 6, 5, 4, 4, 3}), ClRed);
}

void TForm3::DrawABSLow() {
    picture->Polyline(Curve({1, 2, 2, 2, 3, 4, 4, 6, 8, 8, 9}), Blue);
}

} // namespace quorvane
