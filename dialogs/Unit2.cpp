// Unit2: the settings dialog — pairs, interval and rate service, sounds, mail servers and addresses,
// programs, and the test mail.
#include "dialogs/Unit2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QUrl>

#include <algorithm>
#include <stdexcept>

#include "alert/App.h"
#include "alert/Sound.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "app/toolkit/SpinEdit.h"
#include "util/Currency.h"
#include "service/CurrencyConvertor.h"
#include "service/WebService.h"
#include "settings/MailPasswords.h"
#include "util/Util.h"

namespace quorvane {

QuoteTable ConfigQuotes;
TSMTP ConfigSMTP;
TPOP ConfigPOP;
TMailAccount ConfigAccount;

namespace {

// The steps of the test mail as message boxes.
class StepBoxes : public MailProgress {
public:
    void Step(const std::string& text) override { ShowInfo(text); }
    void Failed(const std::string& text) override { ShowError(text); }
};

constexpr int DialogWidth = 457;
constexpr int DialogHeight = 425;
constexpr int IntervalMin = 1;
constexpr int IntervalMax = 3600;
// "全て" is every file; the pattern that says so is ours.
constexpr const char* SoundFilter = "サウンドファイル (.wav .mp3 .midi .mid)|*.wav;*.mp3;*.midi;*.mid|全て|*";
constexpr const char* AppFilter = "実行ファイル (exe com bat jar)|*.exe;*.com;*.bat;*jar|全て|*";

std::string Str(const QLineEdit* field) {
    return field->text().toStdString();
}

QGroupBox* Group(QWidget* parent, const char* name, const char* title, QRect geometry) {
    auto* g = new QGroupBox(U(title), parent);
    g->setObjectName(QString::fromLatin1(name));
    g->setGeometry(geometry);
    return g;
}

enum class LabelAt { Left, Above };

// A field with its label, the label's buddy; the label is named after the field with "Label" added.
QLineEdit* Field(QWidget* parent, const char* name, const char* label, QRect geometry, LabelAt at) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    auto* l = new QLabel(U(label), parent);
    l->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    l->setBuddy(edit);
    l->adjustSize();
    if (at == LabelAt::Above)
        l->move(geometry.left(), geometry.top() - l->height() - 2);
    else
        l->move(geometry.left() - l->width() - 4, geometry.top() + (geometry.height() - l->height()) / 2);
    return edit;
}

// "暗号化" with its label above; the index is the SMTP_SECURITY / POP_SECURITY value.
QComboBox* SecurityChoice(QWidget* parent, const char* name, QPoint at, const char* hint) {
    auto* choice = new QComboBox(parent);
    choice->setObjectName(QString::fromLatin1(name));
    choice->addItems({U("なし"), U("STARTTLS"), U("SSL/TLS")});
    choice->setGeometry(at.x(), at.y(), 73, 20);
    choice->setToolTip(U(hint));
    auto* l = new QLabel(U("暗号化"), parent);
    l->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    l->setBuddy(choice);
    l->adjustSize();
    l->move(at.x(), at.y() - l->height() - 2);
    return choice;
}

// A field and its label are enabled together.
void EnableField(QLineEdit* field, bool on) {
    field->setEnabled(on);
    if (auto* label =
            field->parentWidget()->findChild<QLabel*>(field->objectName() + QStringLiteral("Label")))
        label->setEnabled(on);
}

// The row of the selected line; -1 when no line is selected.
int SelectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

// Selects a line without it counting as the user's click; a row past the end leaves nothing selected.
void SelectRow(QListWidget* list, int row) {
    const QSignalBlocker quiet(list);
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    } else {
        list->clearSelection();
        list->setCurrentRow(-1);
    }
}

// A port field's number: a whole number from 1 to 65535, or the refusal with the field's text.
int PortOf(const QLineEdit* field) {
    bool ok = false;
    const int port = field->text().trimmed().toInt(&ok, 10);
    if (!ok)
        throw std::invalid_argument("'" + Str(field) + "' は整数ではありません");
    if (port < 1 || port > 65535)
        throw std::invalid_argument("ポート番号は1から65535の範囲で指定してください。");
    return port;
}

// Only the form is checked: whether the service answers shows at the next fetch.
bool LooksLikeServiceAddress(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

} // namespace

TForm2::TForm2(MainWindowLink* mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(U("Quorvane 設定"));
    setModal(false);
    UseCaptionOnFrame(this);
    BuildControls();
    KeepEnterForFields(this);
    FormCreate();
    FitPairCombos();
}

TForm2::~TForm2() = default;

void TForm2::BuildControls() {
    setFixedSize(DialogWidth, DialogHeight);
    PC_1 = new QTabWidget(this);
    PC_1->setObjectName(QStringLiteral("PC_1"));
    PC_1->setGeometry(1, 1, 455, 382);
    PC_1->addTab(BuildWatchTab(), U("監視"));
    PC_1->addTab(BuildSoundTab(), U("サウンド"));
    PC_1->addTab(BuildMailServerTab(), U("メールサーバ"));
    PC_1->addTab(BuildMailAccountTab(), U("メールアカウント"));
    PC_1->addTab(BuildAppTab(), U("外部アプリ"));

    auto* lower = new QWidget(this);
    lower->setObjectName(QStringLiteral("Panel2"));
    lower->setGeometry(0, DialogHeight - 41, DialogWidth, 41);
    connect(MakeButton(lower, "BT_SAVE", "保存して閉じる", "", {104, 8, 89, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_SAVEClick(); }); });
    connect(MakeButton(lower, "BT_CANCEL", "キャンセル", "", {264, 8, 89, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_CANCELClick(); }); });
}

QWidget* TForm2::BuildWatchTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("TS_WATCH"));
    auto* pairs = Group(tab, "GP_CURRENCY", "通貨ペア", {8, 8, 337, 185});
    for (int n = 1; n <= SlotCount; ++n) {
        const int column = n <= 4 ? 8 : 176;
        const int top = 16 + 40 * ((n - 1) % 4);
        auto* g = new QGroupBox(QStringLiteral(" %1 ").arg(n), pairs);
        g->setObjectName(QStringLiteral("GP_C%1").arg(n));
        g->setGeometry(column, top, 145, 41);
        for (int k : {2 * n - 1, 2 * n}) {
            auto* combo = new QComboBox(g);
            combo->setObjectName(QStringLiteral("ComboBox%1").arg(k));
            combo->setGeometry(k % 2 ? 8 : 72, 16, 49, 20);
        }
        auto* slash = new QLabel(QStringLiteral("/"), g);
        slash->setObjectName(QStringLiteral("Slash%1").arg(n));
        slash->adjustSize();
        slash->move(59, 16 + (20 - slash->height()) / 2);
    }

    auto* timer = Group(tab, "GP_TIMER", "監視間隔", {8, 200, 337, 65});
    SE_TIMER = new TSpinEdit(timer, QStringLiteral("SE_TIMER"), IntervalMin, IntervalMax);
    SE_TIMER->setGeometry(8, 16, 121, 21);
    SE_TIMER->setToolTip(U("通貨ペアの参考レートを取得する間隔　1～3600秒"));
    SE_TIMER->setAccessibleName(U("監視間隔"));
    CB_NOTIFY = new QCheckBox(U("デスクトップ通知"), timer);
    CB_NOTIFY->setObjectName(QStringLiteral("CB_NOTIFY"));
    CB_NOTIFY->move(152, 18);
    CB_NOTIFY->adjustSize();
    CB_NOTIFY->setToolTip(U("警報が ON または OFF になったとき、デスクトップに通知を出します"));

    LE_SERVICE_URL = Field(tab, "LE_SERVICE_URL", "レートサービス", {8, 292, 433, 20}, LabelAt::Above);
    LE_SERVICE_URL->setPlaceholderText(QString::fromUtf8(
        ServiceDescriptionAddress.data(), static_cast<qsizetype>(ServiceDescriptionAddress.size())));
    LE_SERVICE_URL->setToolTip(
        U("レートサービスの説明 (WSDL) のアドレス。空欄のときは内蔵のローカルサービスを使います。"));

    DD_RATE_SOURCE = new QComboBox(tab);
    DD_RATE_SOURCE->setObjectName(QStringLiteral("DD_RATE_SOURCE"));
    DD_RATE_SOURCE->addItems({U("自動（リアルタイム、ECBで補完）"), U("ECB参照レート（日次）")});
    DD_RATE_SOURCE->setAccessibleName(U("レート取得元"));
    DD_RATE_SOURCE->setToolTip(U("内蔵のローカルサービスがレートを取得する先"));
    auto* sourceLabel = new QLabel(U("レート取得元"), tab);
    sourceLabel->setObjectName(QStringLiteral("DD_RATE_SOURCELabel"));
    sourceLabel->setBuddy(DD_RATE_SOURCE);
    sourceLabel->adjustSize();
    sourceLabel->move(8, 322 + (20 - sourceLabel->height()) / 2);
    DD_RATE_SOURCE->setGeometry(sourceLabel->geometry().right() + 6, 322, 220, 20);
    LB_RATE_SOURCE_HINT = new QLabel(U("別のサービスを使用中"), tab);
    LB_RATE_SOURCE_HINT->setObjectName(QStringLiteral("LB_RATE_SOURCE_HINT"));
    LB_RATE_SOURCE_HINT->setToolTip(
        U("レートサービスに別のサービスを指定しているため、取得元はそのサービスが決めます。"));
    LB_RATE_SOURCE_HINT->adjustSize();
    LB_RATE_SOURCE_HINT->move(DD_RATE_SOURCE->geometry().right() + 8,
                              322 + (20 - LB_RATE_SOURCE_HINT->height()) / 2);
    connect(LE_SERVICE_URL, &QLineEdit::textChanged, this, [this] { UpdateRateSourceChoice(); });
    return tab;
}

// The registry tabs: the list groups are 6 pixels shorter than designed and the edit groups 6 higher, so
// that the edit groups fit the page below the tab bar of any style.
QWidget* TForm2::BuildSoundTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("TS_SOUND"));
    auto* add = Group(tab, "GP_SOUNDADD", "警報サウンド登録", {8, 8, 433, 81});
    LE_SPATH = Field(add, "LE_SPATH", "フルパス", {64, 24, 289, 20}, LabelAt::Left);
    LE_STITLE = Field(add, "LE_STITLE", "タイトル", {64, 48, 289, 20}, LabelAt::Left);
    connect(MakeButton(add, "BT_FIND", "参照", "", {368, 16, 51, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_FINDClick(); }); });
    BT_ADD = MakeButton(add, "BT_ADD", "追加", "", {368, 48, 51, 25});
    BT_ADD->setEnabled(false);
    connect(BT_ADD, &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_ADDClick(); }); });
    for (QLineEdit* field : {LE_SPATH, LE_STITLE})
        connect(field, &QLineEdit::textChanged, this, [this] { LE_SPATHChange(); });

    auto* list = Group(tab, "GP_SOUNDLIST", "警報サウンド一覧", {8, 96, 433, 163});
    LBOX_SOUND = new QListWidget(list);
    LBOX_SOUND->setObjectName(QStringLiteral("LBOX_SOUND"));
    LBOX_SOUND->setGeometry(8, 16, 345, 139);
    LBOX_SOUND->setAccessibleName(U("警報サウンド一覧"));
    connect(LBOX_SOUND, &QListWidget::itemSelectionChanged, this,
            [this] { RunGuarded([this] { LBOX_SOUNDClick(); }); });
    connect(MakeButton(list, "BT_DEL", "削除", "", {368, 16, 51, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_DELClick(); }); });

    auto* edit = Group(tab, "GP_SOUND_EDIT", "警報サウンド一覧", {8, 266, 433, 79});
    LE_SPATH_E = Field(edit, "LE_SPATH_E", "フルパス", {56, 24, 297, 20}, LabelAt::Left);
    LE_STITLE_E = Field(edit, "LE_STITLE_E", "タイトル", {56, 48, 297, 20}, LabelAt::Left);
    connect(MakeButton(edit, "BT_SOUND_UPDATE", "更新", "", {368, 22, 51, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_SOUND_UPDATEClick(); }); });
    return tab;
}

QWidget* TForm2::BuildAppTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("TS_APP"));
    auto* add = Group(tab, "GP_APP_ADD", "アプリ登録", {8, 8, 433, 81});
    LE_APATH = Field(add, "LE_APATH", "フルパス", {64, 24, 289, 20}, LabelAt::Left);
    LE_ATITLE = Field(add, "LE_ATITLE", "タイトル", {64, 48, 289, 20}, LabelAt::Left);
    connect(MakeButton(add, "BT_A_FIND", "参照", "", {368, 16, 51, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_A_FINDClick(); }); });
    BT_A_ADD = MakeButton(add, "BT_A_ADD", "追加", "", {368, 48, 51, 25});
    BT_A_ADD->setEnabled(false);
    connect(BT_A_ADD, &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_A_ADDClick(); }); });
    for (QLineEdit* field : {LE_APATH, LE_ATITLE})
        connect(field, &QLineEdit::textChanged, this, [this] { LE_APATHChange(); });

    auto* list = Group(tab, "GP_APPLIST", "登録済アプリケーション一覧", {8, 96, 433, 163});
    LBOX_APP = new QListWidget(list);
    LBOX_APP->setObjectName(QStringLiteral("LBOX_APP"));
    LBOX_APP->setGeometry(8, 16, 345, 139);
    LBOX_APP->setAccessibleName(U("登録済アプリケーション一覧"));
    connect(LBOX_APP, &QListWidget::itemSelectionChanged, this,
            [this] { RunGuarded([this] { LBOX_APPClick(); }); });
    connect(MakeButton(list, "BT_A_DEL", "削除", "", {368, 16, 51, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_A_DELClick(); }); });

    auto* edit = Group(tab, "GP_APP_EDIT", "登録済アプリケーション情報編集", {8, 266, 433, 81});
    LE_APATH_E = Field(edit, "LE_APATH_E", "フルパス", {56, 24, 297, 20}, LabelAt::Left);
    LE_ATITLE_E = Field(edit, "LE_ATITLE_E", "タイトル", {56, 48, 297, 20}, LabelAt::Left);
    connect(MakeButton(edit, "BT_APP_UPDATE", "更新", "", {368, 22, 51, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_APP_UPDATEClick(); }); });
    return tab;
}

// Each group keeps its right column free below the port field (x 208, 65 wide; the SMTP group's rows
// at 104 and 144, the POP group's at 72 and 112): room for a further labelled choice per server.
QWidget* TForm2::BuildMailServerTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("TS_MAIL_SERVER"));
    auto* smtp = Group(tab, "GP_SMTP", "送信(SMTP)メールサーバ", {8, 8, 289, 177});
    LE_SMTP_NAME = Field(smtp, "LE_SMTP_NAME", "サーバ名", {16, 32, 177, 20}, LabelAt::Above);
    LE_SMTP_PORT = Field(smtp, "LE_SMTP_PORT", "ポート番号", {208, 32, 65, 20}, LabelAt::Above);
    LE_SMTP_PORT->setToolTip(U("一般的な値は 25 または 587"));
    auto* authLabel = new QLabel(U("認証"), smtp);
    authLabel->setObjectName(QStringLiteral("Label14"));
    authLabel->adjustSize();
    authLabel->move(16, 64 + (20 - authLabel->height()) / 2);
    DD_AUTH = new QComboBox(smtp);
    DD_AUTH->setObjectName(QStringLiteral("DD_AUTH"));
    DD_AUTH->setGeometry(48, 64, 145, 20);
    DD_AUTH->addItems({U("なし"), U("SMTP Auth"), U("POP Before SMTP")});
    authLabel->setBuddy(DD_AUTH);
    connect(DD_AUTH, &QComboBox::activated, this, [this](int index) { SetMailConfigUI(index); });
    LE_SMTP_ID = Field(smtp, "LE_SMTP_ID", "ユーザID", {16, 104, 177, 20}, LabelAt::Above);
    LE_SMTP_PASS = Field(smtp, "LE_SMTP_PASS", "パスワード", {16, 144, 177, 20}, LabelAt::Above);
    LE_SMTP_PASS->setEchoMode(QLineEdit::Password);
    DD_SMTP_SECURITY = SecurityChoice(smtp, "DD_SMTP_SECURITY", {208, 104},
                                      "STARTTLS: ふつうはポート 587、SSL/TLS: ふつうはポート 465");

    auto* pop = Group(tab, "GP_POP", "受信(POP)メールサーバ", {8, 192, 289, 145});
    LE_POP_NAME = Field(pop, "LE_POP_NAME", "サーバ名", {16, 32, 177, 20}, LabelAt::Above);
    LE_POP_PORT = Field(pop, "LE_POP_PORT", "ポート番号", {208, 32, 65, 20}, LabelAt::Above);
    LE_POP_PORT->setToolTip(U("一般的な値は 110"));
    LE_POP_ID = Field(pop, "LE_POP_ID", "ユーザID", {16, 72, 177, 20}, LabelAt::Above);
    LE_POP_PASS = Field(pop, "LE_POP_PASS", "パスワード", {16, 112, 177, 20}, LabelAt::Above);
    LE_POP_PASS->setEchoMode(QLineEdit::Password);
    DD_POP_SECURITY = SecurityChoice(pop, "DD_POP_SECURITY", {208, 72},
                                     "STARTTLS: ふつうはポート 110、SSL/TLS: ふつうはポート 995");
    // Beside the groups, where a wrapped line has room; shown only when no keyring answers.
    auto* store = new QLabel(U("パスワードは設定ファイルに保存されます（キーリングが使えません）"), tab);
    store->setObjectName(QStringLiteral("LB_PASSWORD_STORE"));
    store->setAccessibleName(store->text());
    store->setWordWrap(true);
    store->setGeometry(305, 16, 140, 80);
    store->hide();
    return tab;
}

QWidget* TForm2::BuildMailAccountTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("TS_MAIL_ACCOUNT"));
    auto* account = Group(tab, "GP_ACCOUNT", "アカウント", {8, 8, 409, 113});
    LE_FROM = Field(account, "LE_FROM", "送信元メールアドレス (From)", {16, 40, 177, 20}, LabelAt::Above);
    LE_TO = Field(account, "LE_TO", "受信メールアドレス (To)", {216, 40, 177, 20}, LabelAt::Above);
    LE_CC = Field(account, "LE_CC", "カーボンコピー (CC)", {16, 80, 177, 20}, LabelAt::Above);
    LE_BCC = Field(account, "LE_BCC", "カーボンコピー (BCC)", {216, 80, 177, 20}, LabelAt::Above);
    // Kept and saved, never put into a mail: not shown.
    for (QLineEdit* hidden : {LE_CC, LE_BCC}) {
        hidden->hide();
        account->findChild<QLabel*>(hidden->objectName() + QStringLiteral("Label"))->hide();
    }
    auto* test = Group(tab, "GB_TEST", "送信テスト", {8, 136, 137, 49});
    connect(MakeButton(test, "BT_SENDMAIL", "テストメールを送信", "", {8, 16, 121, 25}), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BT_SENDMAILClick(); }); });
    return tab;
}

void TForm2::FormCreate() {
    QComboBox* first = Combo(1);
    first->clear();
    Combo(2)->clear();
    for (int ordinal = 0; ordinal < CurrencyCount; ++ordinal) {
        const std::string_view name = CurrencyNames[static_cast<std::size_t>(ordinal)];
        if (name == "TRY_")
            break;
        first->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())), ordinal);
    }
    for (int k = 1; k <= 2 * SlotCount; ++k) {
        QComboBox* combo = Combo(k);
        if (combo != first) {
            combo->clear();
            for (int i = 0; i < first->count(); ++i)
                combo->addItem(first->itemText(i), first->itemData(i));
        }
        combo->setCurrentIndex(-1);
    }
}

// The designed 49 pixels cut codes off in wider styles: the combo boxes take the width their codes need
// and the pair groups grow with them.
void TForm2::FitPairCombos() {
    const int width = std::max(49, Combo(1)->sizeHint().width());
    for (int n = 1; n <= SlotCount; ++n) {
        QComboBox* from = Combo(2 * n - 1);
        QComboBox* to = Combo(2 * n);
        auto* slash = findChild<QLabel*>(QStringLiteral("Slash%1").arg(n));
        from->setGeometry(8, 16, width, 20);
        slash->move(from->geometry().right() + 3, slash->y());
        to->setGeometry(std::max(72, slash->geometry().right() + 3), 16, width, 20);
        auto* group = qobject_cast<QWidget*>(from->parent());
        group->resize(std::max(145, to->geometry().right() + 9), group->height());
    }
}

QComboBox* TForm2::Combo(int number) const {
    return findChild<QComboBox*>(QStringLiteral("ComboBox%1").arg(number));
}

void TForm2::SetQuotes(const QuoteTable& table) {
    ConfigQuotes = table;
}

void TForm2::ShowPage(int page) {
    PC_1->setCurrentIndex(page);
    ShowModeless(this);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // restored from the task bar, not opened
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
    }
    RunGuarded([this] { FormShow(); });
}

void TForm2::FormShow() {
    for (int n = 1; n <= SlotCount; ++n) {
        SetFromItemIndex(n - 1, Combo(2 * n - 1));
        SetToItemIndex(n - 1, Combo(2 * n));
    }
    SE_TIMER->SetValue(BasicData.Interval);
    LE_SERVICE_URL->setText(Qs(BasicData.ServiceURL));
    CB_NOTIFY->setChecked(BasicData.Notify);
    DD_RATE_SOURCE->setCurrentIndex(BasicData.RateSource == "ecb" ? 1 : 0);
    UpdateRateSourceChoice();
    ReadMailInfo();
    ShowPasswordStore();
    SetMailConfigUI(DD_AUTH->currentIndex());
    UpdateSoundList();
    UpdateAppList();
}

// The keyring's state as the program's load and save found it.
void TForm2::ShowPasswordStore() {
    findChild<QLabel*>(QStringLiteral("LB_PASSWORD_STORE"))->setVisible(KeyringUnavailable());
    const MailPasswordState loaded = LoadedMailPasswords();
    const QString missing = U("キーリングにありません");
    LE_SMTP_PASS->setPlaceholderText(loaded.smtpMissing ? missing : QString());
    LE_POP_PASS->setPlaceholderText(loaded.popMissing ? missing : QString());
}

void TForm2::reject() {
    BT_CANCELClick(); // Escape and the title bar's close button cancel
}

void TForm2::SetFromItemIndex(int slot, QComboBox* combo) {
    const int index =
        combo->findText(Qs(ConfigQuotes.at(slot).From), Qt::MatchFixedString); // any case
    if (index >= 0)
        combo->setCurrentIndex(index);
}

void TForm2::SetToItemIndex(int slot, QComboBox* combo) {
    const int index =
        combo->findText(Qs(ConfigQuotes.at(slot).To), Qt::MatchFixedString); // any case
    if (index >= 0)
        combo->setCurrentIndex(index);
}

void TForm2::SetPair(int slot, const std::string& fromText, const std::string& toText) {
    quorvane::SetPair(ConfigQuotes.at(slot), fromText, toText); // Enable stays
}

void TForm2::ReadMailInfo() {
    const TSMTP smtp = GetSMTP();
    const TPOP pop = GetPOP();
    const TMailAccount account = GetMailAccount();
    LE_SMTP_NAME->setText(Qs(smtp.Server));
    LE_SMTP_PORT->setText(QString::number(smtp.Port));
    LE_SMTP_ID->setText(Qs(smtp.UserID));
    LE_SMTP_PASS->setText(Qs(smtp.Password));
    const int auth = static_cast<int>(smtp.AuthType);
    DD_AUTH->setCurrentIndex(auth >= 0 && auth < DD_AUTH->count() ? auth : -1);
    // A value the list does not have shows as no choice and is saved as -1, which never sends in clear.
    const auto choose = [](QComboBox* box, int value) {
        box->setCurrentIndex(value >= 0 && value < box->count() ? value : -1);
    };
    choose(DD_SMTP_SECURITY, smtp.Security);
    choose(DD_POP_SECURITY, pop.Security);
    LE_POP_NAME->setText(Qs(pop.Server));
    LE_POP_PORT->setText(QString::number(pop.Port));
    LE_POP_ID->setText(Qs(pop.UserID));
    LE_POP_PASS->setText(Qs(pop.Password));
    LE_FROM->setText(Qs(account.From));
    LE_TO->setText(Qs(account.To));
    LE_CC->setText(Qs(account.CC));
    LE_BCC->setText(Qs(account.BCC));
}

void TForm2::WriteMailInfo() {
    // Both ports are read first, so that a bad one leaves all three copies as they were.
    const int smtpPort = PortOf(LE_SMTP_PORT);
    int popPort = GetPOP().Port; // kept when the POP port is not in use and not a port
    try {
        popPort = PortOf(LE_POP_PORT);
    } catch (const std::invalid_argument&) {
        if (PopPortInUse())
            throw;
    }
    ConfigSMTP.Server = Str(LE_SMTP_NAME);
    ConfigSMTP.Port = smtpPort;
    ConfigSMTP.UserID = Str(LE_SMTP_ID);
    ConfigSMTP.Password = Str(LE_SMTP_PASS);
    ConfigSMTP.AuthType = static_cast<SmtpAuth>(DD_AUTH->currentIndex());
    ConfigSMTP.Security = DD_SMTP_SECURITY->currentIndex();
    ConfigPOP.Security = DD_POP_SECURITY->currentIndex();
    ConfigPOP.Server = Str(LE_POP_NAME);
    ConfigPOP.Port = popPort;
    ConfigPOP.UserID = Str(LE_POP_ID);
    ConfigPOP.Password = Str(LE_POP_PASS);
    ConfigAccount.From = Str(LE_FROM);
    ConfigAccount.To = Str(LE_TO);
    ConfigAccount.CC = Str(LE_CC);
    ConfigAccount.BCC = Str(LE_BCC);
}

// Only POP before SMTP uses the POP server.
bool TForm2::PopPortInUse() const {
    return DD_AUTH->currentIndex() == 2;
}

bool TForm2::PortsAreValid() {
    for (QLineEdit* field : {LE_SMTP_PORT, LE_POP_PORT}) {
        if (field == LE_POP_PORT && !PopPortInUse())
            continue;
        try {
            PortOf(field);
        } catch (const std::invalid_argument& e) {
            ShowError(e.what());
            PC_1->setCurrentWidget(findChild<QWidget*>(QStringLiteral("TS_MAIL_SERVER")));
            field->setFocus();
            field->selectAll();
            return false;
        }
    }
    return true;
}

void TForm2::SetMailConfigUI(int authType) {
    switch (authType) {
    case 0:
        EnableSMTP(false);
        EnablePOP(false);
        break;
    case 1:
        EnableSMTP(true);
        EnablePOP(false);
        break;
    case 2:
        EnableSMTP(false);
        EnablePOP(true);
        break;
    default:
        break; // nothing selected: as it was
    }
}

void TForm2::EnableSMTP(bool on) {
    for (QLineEdit* field : {LE_SMTP_ID, LE_SMTP_PASS})
        EnableField(field, on);
}

void TForm2::EnablePOP(bool on) {
    for (QLineEdit* field : {LE_POP_NAME, LE_POP_PORT, LE_POP_ID, LE_POP_PASS})
        EnableField(field, on);
    DD_POP_SECURITY->setEnabled(on);
    if (auto* label = findChild<QLabel*>(QStringLiteral("DD_POP_SECURITYLabel")))
        label->setEnabled(on);
}

void TForm2::BT_SAVEClick() {
    // Checked before anything is applied: a bad port must not leave the pairs saved and the rest not.
    if (!PortsAreValid() || !ServiceIsValid())
        return;
    // A cycle waiting for the old settings' rates ends unapplied; the next tick uses the new ones.
    if (mainWindow_)
        mainWindow_->CancelCycle();
    for (int n = 1; n <= SlotCount; ++n) {
        // A code the list lacks shows as no choice; unless the user chose one, the slot keeps it.
        const TQuote& stored = ConfigQuotes.at(n - 1);
        const auto code = [](QComboBox* combo, const std::string& kept) {
            return combo->currentIndex() < 0 ? kept : combo->currentText().toStdString();
        };
        SetPair(n - 1, code(Combo(2 * n - 1), stored.From), code(Combo(2 * n), stored.To));
        // The pair dialog may have changed what is shown while this one was open.
        if (mainWindow_)
            ConfigQuotes.at(n - 1).Enable = mainWindow_->SlotTable().at(n - 1).Enable;
    }
    if (mainWindow_)
        mainWindow_->SetQuotes(ConfigQuotes);
    WriteMailInfo();
    BasicData.Interval = SE_TIMER->Value();
    BasicData.Notify = CB_NOTIFY->isChecked();
    SetSMTP(ConfigSMTP);
    SetPOP(ConfigPOP);
    SetMailAccount(ConfigAccount);
    InitMail();
    const std::string service = LE_SERVICE_URL->text().trimmed().toStdString();
    if (service != BasicData.ServiceURL) {
        BasicData.ServiceURL = service;
        // Empty means what it means at start-up; a failure shows at the next fetch, in the window's title.
        if (mainWindow_)
            mainWindow_->UseService(service);
    }
    const int stored = BasicData.RateSource == "ecb" ? 1 : 0;
    if (DD_RATE_SOURCE->isEnabled() && DD_RATE_SOURCE->currentIndex() != stored) {
        BasicData.RateSource = DD_RATE_SOURCE->currentIndex() == 1 ? "ecb" : "auto";
        if (mainWindow_)
            mainWindow_->UseRateSource(BasicData.RateSource);
    }
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
    hide();
}

bool TForm2::ServiceIsValid() {
    const QString text = LE_SERVICE_URL->text().trimmed();
    if (text.isEmpty() || LooksLikeServiceAddress(text))
        return true;
    ShowError("'" + text.toStdString() + "' はレートサービスのアドレスではありません");
    PC_1->setCurrentWidget(findChild<QWidget*>(QStringLiteral("TS_WATCH")));
    LE_SERVICE_URL->setFocus();
    LE_SERVICE_URL->selectAll();
    return false;
}

void TForm2::UpdateRateSourceChoice() {
    const bool builtIn = LE_SERVICE_URL->text().trimmed().isEmpty();
    DD_RATE_SOURCE->setEnabled(builtIn);
    if (auto* label = findChild<QLabel*>(QStringLiteral("DD_RATE_SOURCELabel")))
        label->setEnabled(builtIn);
    LB_RATE_SOURCE_HINT->setVisible(!builtIn);
}

void TForm2::BT_CANCELClick() {
    hide();
}

void TForm2::BT_SENDMAILClick() {
    if (!PortsAreValid())
        return;
    WriteMailInfo();
    CreateMailClients(ConfigSMTP, ConfigPOP);
    // Alarm mails queued meanwhile go after this one.
    const MailQueuePause pause(alarmMails_);
    StepBoxes steps;
    if (SendMail("Quorvane TestMail", ConfigAccount.From, ConfigAccount.To, "", &steps))
        ShowInfo("メールを送信できました。");
    else
        ShowError("メールが送信できませんでした。");
}

void TForm2::BT_FINDClick() {
    const std::string path = ChooseFile(this, SoundFilter);
    if (!path.empty())
        LE_SPATH->setText(Qs(path));
}

void TForm2::BT_A_FINDClick() {
    const std::string path = ChooseFile(this, AppFilter);
    if (!path.empty())
        LE_APATH->setText(Qs(path));
}

void TForm2::LE_SPATHChange() {
    if (!LE_SPATH->text().isEmpty() && !LE_STITLE->text().isEmpty())
        BT_ADD->setEnabled(true);
}

void TForm2::LE_APATHChange() {
    if (!LE_APATH->text().isEmpty() && !LE_ATITLE->text().isEmpty())
        BT_A_ADD->setEnabled(true);
}

void TForm2::BT_ADDClick() {
    AddSound(Str(LE_STITLE), Str(LE_SPATH));
    LE_SPATH->clear();
    LE_STITLE->clear();
    BT_ADD->setEnabled(false);
    UpdateSoundList();
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
}

void TForm2::BT_A_ADDClick() {
    AddApp(Str(LE_ATITLE), Str(LE_APATH));
    LE_APATH->clear();
    LE_ATITLE->clear();
    BT_A_ADD->setEnabled(false);
    UpdateAppList();
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
}

void TForm2::UpdateSoundList() {
    const QSignalBlocker quiet(LBOX_SOUND);
    LBOX_SOUND->clear();
    for (const TASound& sound : Sounds)
        LBOX_SOUND->addItem(Qs(sound.Name));
    SelectRow(LBOX_SOUND, -1);
    LBOX_SOUNDClick();
}

void TForm2::UpdateAppList() {
    const QSignalBlocker quiet(LBOX_APP);
    LBOX_APP->clear();
    for (const TApp& app : Apps)
        LBOX_APP->addItem(Qs(app.Name));
    SelectRow(LBOX_APP, -1);
    LBOX_APPClick();
}

// The edit fields always show the selected line, and are empty with "更新" off when none is:
// otherwise "更新" would write a deleted entry over its neighbour.
void TForm2::LBOX_SOUNDClick() {
    const int p = SelectedRow(LBOX_SOUND);
    const bool any = p >= 0 && p < SoundCount();
    LE_STITLE_E->setText(any ? Qs(Sounds[static_cast<std::size_t>(p)].Name) : QString());
    LE_SPATH_E->setText(any ? Qs(Sounds[static_cast<std::size_t>(p)].Path) : QString());
    findChild<QPushButton*>(QStringLiteral("BT_SOUND_UPDATE"))->setEnabled(any);
}

void TForm2::LBOX_APPClick() {
    const int p = SelectedRow(LBOX_APP);
    const bool any = p >= 0 && p < AppCount();
    LE_ATITLE_E->setText(any ? Qs(Apps[static_cast<std::size_t>(p)].Name) : QString());
    LE_APATH_E->setText(any ? Qs(Apps[static_cast<std::size_t>(p)].Path) : QString());
    findChild<QPushButton*>(QStringLiteral("BT_APP_UPDATE"))->setEnabled(any);
}

void TForm2::BT_SOUND_UPDATEClick() {
    const int p = SelectedRow(LBOX_SOUND);
    if (p < 0 || p >= SoundCount())
        return;
    UpdateSound(p, Str(LE_STITLE_E), Str(LE_SPATH_E));
    UpdateSoundList();
    SelectRow(LBOX_SOUND, p);
    LBOX_SOUNDClick();
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
}

void TForm2::BT_APP_UPDATEClick() {
    const int p = SelectedRow(LBOX_APP);
    if (p < 0 || p >= AppCount())
        return;
    UpdateApp(p, Str(LE_ATITLE_E), Str(LE_APATH_E));
    UpdateAppList();
    SelectRow(LBOX_APP, p);
    LBOX_APPClick();
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
}

void TForm2::BT_DELClick() {
    const int p = SelectedRow(LBOX_SOUND);
    if (p < 0 || p >= SoundCount())
        return;
    DeleteSound(p);
    {
        const QSignalBlocker quiet(LBOX_SOUND);
        delete LBOX_SOUND->takeItem(p);
    }
    SelectRow(LBOX_SOUND, p);
    LBOX_SOUNDClick();
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
}

void TForm2::BT_A_DELClick() {
    const int p = SelectedRow(LBOX_APP);
    if (p < 0 || p >= AppCount())
        return;
    DeleteApp(p);
    {
        const QSignalBlocker quiet(LBOX_APP);
        delete LBOX_APP->takeItem(p);
    }
    SelectRow(LBOX_APP, p);
    LBOX_APPClick();
    if (mainWindow_)
        mainWindow_->SaveSettingsNow();
}

} // namespace quorvane
