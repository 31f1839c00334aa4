// Unit5: the pair display dialog — which slots the main window shows and monitors.
#include "dialogs/Unit5.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "app/toolkit/Controls.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "util/Util.h"

namespace quorvane {

bool SettingUp = false;

namespace {

QString BoxName(int n) {
    return QStringLiteral("CB_E%1").arg(n);
}

} // namespace

const QuoteTable& TForm5::Slots() const {
    static const QuoteTable none{};
    return mainWindow_ ? mainWindow_->SlotTable() : none;
}

TForm5::TForm5(MainWindowLink* mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(U("Quorvane 表示通貨設定"));
    setModal(false);
    setFixedSize(225, 169);
    UseCaptionOnFrame(this);

    auto* group = new QGroupBox(U("表示通貨ペア"), this);
    group->setObjectName(QStringLiteral("GB_ENABLE"));
    group->setGeometry(9, 9, 113, 153);
    group->setToolTip(U("表示する通貨ペアを選択できます。"));
    for (int n = 1; n <= SlotCount; ++n) {
        auto* box = new TCheckBox(group, BoxName(n), U("未設定"));
        box->setGeometry(8, 17 + 16 * (n - 1), 100, 20);
        box->setToolTip(U("監視のON/OFF"));
        box->OnClick = [this](TCheckBox* sender) { CB_EClick(sender); };
    }

    auto* edit = MakeButton(this, "BT_EDIT", "通貨設定", "通貨ペアの設定をします", {136, 16, 75, 25});
    edit->setAutoDefault(false);
    connect(edit, &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_EDITClick(); }); });
    auto* ok = MakeButton(this, "BT_OK", "閉じる", "", {136, 138, 75, 25});
    ok->setDefault(true); // Enter closes
    connect(ok, &QPushButton::clicked, this, [this] { RunGuarded([this] { BT_OKClick(); }); });
}

void TForm5::ShowModeless() {
    quorvane::ShowModeless(this);
}

void TForm5::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
    }
    RunGuarded([this] { FormShow(); });
}

void TForm5::FormShow() {
    SettingUp = true;
    struct Done {
        ~Done() { SettingUp = false; }
    } done;
    SetTitles();
}

void TForm5::SetTitles() {
    for (int n = 1; n <= SlotCount; ++n) {
        SetLabel(BoxName(n), QStringLiteral(" ") + Qs(Slots()[n - 1].Title), ClBlack);
        SetCheck(BoxName(n), Slots()[n - 1].Enable);
    }
}

void TForm5::SetLabel(const QString& name, const QString& text, const QColor& colour) {
    if (auto* box = findChild<QAbstractButton*>(name)) {
        QPalette p = box->palette();
        p.setColor(QPalette::WindowText, colour);
        p.setColor(QPalette::ButtonText, colour);
        box->setPalette(p);
        box->setText(text);
    }
}

void TForm5::SetCheck(const QString& name, bool value) {
    if (auto* box = findChild<TCheckBox*>(name))
        box->setChecked(value);
}

void TForm5::CB_EClick(TCheckBox* sender) {
    const bool checked = sender->isChecked();
    const int count = EnabledCount(Slots());
    if (!SettingUp && count == 1 && !checked) {
        ShowError("全部のチェックを外すことは出来ません。");
        sender->setChecked(true); // runs this handler again, which re-applies the slot's Enable
        return;
    }
    int slot = 0;
    for (int n = 1; n <= SlotCount; ++n)
        if (sender->objectName() == BoxName(n))
            slot = n - 1;
    if (!mainWindow_)
        return;
    mainWindow_->SetEnable(slot, checked);
    if (!SettingUp)
        mainWindow_->SaveSettingsNow();
}

void TForm5::BT_EDITClick() {
    if (mainWindow_)
        mainWindow_->ShowConfig(0);
}

void TForm5::BT_OKClick() {
    hide();
}

} // namespace quorvane
