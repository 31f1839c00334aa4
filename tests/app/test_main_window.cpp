#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "AppFixture.h"
#include "app/InstanceLock.h"
#include "app/Unit7.h"
#include "app/toolkit/Controls.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

class MainWindowTest : public AppTest {
protected:
    QGroupBox* Group(int n) const {
        return FindControl<QGroupBox>(form.get(), QStringLiteral("GP_%1").arg(n));
    }
    void Create() { form = std::make_unique<TForm1>(SettingsPath()); }
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(MainWindowTest, FixedControlsSitWhereTheyBelongWithTheirTextsAndHints) {
    Create();
    struct Expected {
        const char* name;
        QRect geometry;
        const char* text;
        const char* hint;
    };
    const Expected fixed[] = {
        {"CB_START", {8, 8, 65, 17}, "監視中", "参考レートの監視を開始または終了します。"},
        {"BT_RELOAD", {80, 8, 41, 25}, "更新", "参考レートを更新します。"},
        {"BT_PAIR", {128, 8, 65, 25}, "ペア選択", "表示する通貨ペアの選択ダイアログを表示します。"},
        {"BT_CONFIG", {200, 8, 49, 25}, "設定", "各種設定ダイアログを表示します。"},
        {"CB_MUTE", {256, 8, 97, 17}, "警報音ミュート", "警報サウンドのミュート"},
        {"Shape1", {384, 8, 17, 17}, "", "通信インジケータ"},
    };
    for (const Expected& e : fixed) {
        auto* w = FindControl<QWidget>(form.get(), QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr) << e.name;
        // A control grows to the right where the installed font needs more room than the design gave.
        EXPECT_EQ(w->pos(), e.geometry.topLeft()) << e.name;
        EXPECT_EQ(w->height(), e.geometry.height()) << e.name;
        EXPECT_GE(w->width(), e.geometry.width()) << e.name;
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            EXPECT_GE(w->width(), box->sizeHint().width()) << e.name << " is cut off";
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            EXPECT_GT(w->width(), button->fontMetrics().horizontalAdvance(button->text()))
                << e.name << " is cut off";
        }
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(e.hint)) << e.name;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text(), QString::fromUtf8(e.text)) << e.name;
        }
    }
    for (std::size_t i = 1; i < std::size(fixed); ++i) {
        const QRect left =
            FindControl<QWidget>(form.get(), QString::fromLatin1(fixed[i - 1].name))->geometry();
        const QRect right = FindControl<QWidget>(form.get(), QString::fromLatin1(fixed[i].name))->geometry();
        EXPECT_LT(left.right(), right.left()) << fixed[i - 1].name << " overlaps " << fixed[i].name;
    }
    const Expected headings[] = {
        {"Label29", {8, 40, 0, 0}, "通貨/時間", "時間とは受信した時点での時間です。"},
        {"Label3", {88, 40, 0, 0}, "参考レート", ""},
        {"Label21", {224, 40, 0, 0}, "変動量", "前回取得の値からの変動量です。"},
        {"Label8", {296, 40, 0, 0}, "前回の値", "前回取得した参考レートです。"},
        {"Label10", {352, 40, 0, 0}, "警報出力", "警報"},
    };
    for (const Expected& e : headings) {
        auto* l = FindControl<TLabel>(form.get(), QString::fromLatin1(e.name));
        ASSERT_NE(l, nullptr) << e.name;
        EXPECT_EQ(l->pos(), e.geometry.topLeft()) << e.name;
        EXPECT_EQ(l->text(), QString::fromUtf8(e.text));
        EXPECT_EQ(l->toolTip(), QString::fromUtf8(e.hint));
        EXPECT_GE(l->width(), l->sizeHint().width()) << e.name << " is cut off";
    }
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_EQ(form->width(), 409);

    auto* menu = form->findChild<QMenu*>(QStringLiteral("PopupMenu1"));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 3); // help, settings, and the chart of the slot under the pointer
    EXPECT_EQ(menu->actions()[0]->objectName(), QStringLiteral("N1"));
    EXPECT_EQ(menu->actions()[0]->text(), QString::fromUtf8("ヘルプ..(&H)"));
    EXPECT_EQ(menu->actions()[1]->objectName(), QStringLiteral("C1"));
    EXPECT_EQ(menu->actions()[1]->text(), QString::fromUtf8("設定..(&C)"));
    EXPECT_EQ(menu->actions()[2]->text(), QString::fromUtf8("チャート"));
}

TEST_F(MainWindowTest, SlotGroupsCarryTheirControls) {
    Create();
    for (int n = 1; n <= SlotCount; ++n) {
        QGroupBox* g = Group(n);
        ASSERT_NE(g, nullptr) << n;
        EXPECT_EQ(g->x(), 8);
        EXPECT_EQ(g->width(), 393);
        EXPECT_EQ(g->height(), n == 8 ? 42 : 41);
        EXPECT_TRUE(g->title().isEmpty());
        auto child = [&](const char* prefix) {
            return g->findChild<QWidget*>(QStringLiteral("%1%2").arg(prefix).arg(n));
        };
        for (const char* prefix : {"LB_N", "LB_T", "LB_V", "LB_D", "LB_B", "SP_U", "SP_L", "CB_A"})
            EXPECT_NE(child(prefix), nullptr) << prefix << n;
        EXPECT_EQ(child("SP_U")->geometry(), QRect(352, 8, 15, 15));
        EXPECT_EQ(child("SP_L")->geometry(), QRect(352, 24, 15, 15));
        EXPECT_EQ(child("SP_U")->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(child("SP_L")->toolTip(), QString::fromUtf8("上／下限値の設定"));
        EXPECT_EQ(child("CB_A")->pos(), QPoint(368, 13));
        EXPECT_EQ(child("LB_V")->geometry().right() + 1, 80 + 108);
        EXPECT_EQ(child("LB_D")->geometry().right() + 1, 216 + 54);
        EXPECT_EQ(child("LB_B")->geometry().right() + 1, 288 + 54);
        EXPECT_EQ(child("LB_V")->font().pixelSize(), 24);
    }
}

TEST_F(MainWindowTest, ShownGroupsStackWithoutGapsAndSetTheWindowHeight) {
    Create();
    form->SetQuotes(Table({{0, "USD/JPY"}, {3, "EUR/JPY"}, {6, "EUR/USD"}}));
    form->SetViews();
    form->show();
    EXPECT_EQ(form->Height(), 208);
    EXPECT_EQ(form->height(), 208 - DesignFrameHeight);
    const int tops[] = {0, 55, 0, 0, 96, 0, 0, 137, 0};
    for (int n = 1; n <= 8; ++n) {
        const bool shown = n == 1 || n == 4 || n == 7;
        EXPECT_EQ(Group(n)->isVisible(), shown) << n;
        if (shown) {
            EXPECT_EQ(Group(n)->y(), tops[n]) << n;
            EXPECT_LE(Group(n)->geometry().bottom(), form->height()) << n << " lies outside the window";
        }
    }

    form->SetEnable(3, false);
    EXPECT_EQ(form->Height(), 167);
    EXPECT_EQ(Group(7)->y(), 96);
    EXPECT_FALSE(form->MonitorQuotes()[3].Enable) << "the monitor's copy follows at once";

    for (int slot = 0; slot < 8; ++slot)
        form->SetEnable(slot, false);
    EXPECT_EQ(form->Height(), 85);
    for (int slot = 0; slot < 8; ++slot)
        form->SetEnable(slot, true);
    EXPECT_EQ(form->Height(), 413);
    EXPECT_EQ(Group(8)->y(), 55 + 41 * 7);
}

TEST_F(MainWindowTest, SettingsAreLoadedAtCreationWithMuteAlwaysOff) {
    WriteSettings("[System]\r\nMUTE=1\r\nEnable=0\r\nINTERVAL=42\r\n\r\n"
                  "[Currency1]\r\nFrom=EUR\r\nTo=USD\r\nEnable=1\r\nALEnable=0\r\n\r\n"
                  "[Currency5]\r\nFrom=USD\r\nTo=\r\nEnable=1\r\n\r\n");
    Create();
    EXPECT_FALSE(form->Refused());
    EXPECT_EQ(BasicData.Interval, 42);
    EXPECT_FALSE(BasicData.Mute);
    auto* mute = FindControl<TCheckBox>(form.get(), QStringLiteral("CB_MUTE"));
    EXPECT_FALSE(mute->isChecked());
    EXPECT_EQ(FindControl<TLabel>(form.get(), QStringLiteral("LB_N2"))->text(), QStringLiteral(" EUR/USD"));
    EXPECT_EQ(FindControl<TLabel>(form.get(), QStringLiteral("LB_N6"))->text(), QString::fromUtf8(" 未設定"));
    EXPECT_EQ(form->MonitorQuotes()[1].From, "EUR");
    EXPECT_FALSE(FindControl<TCheckBox>(form.get(), QStringLiteral("CB_A2"))->isChecked());
    EXPECT_TRUE(FindControl<TCheckBox>(form.get(), QStringLiteral("CB_A1"))->isChecked());
    EXPECT_EQ(form->Height(), 85 + 2 * 41);

    form->show();
    mute->click();
    EXPECT_TRUE(BasicData.Mute);
    mute->click();
    EXPECT_FALSE(BasicData.Mute);
}

TEST_F(MainWindowTest, ASecondInstanceIsRefusedWithoutTouchingTheSettings) {
    const std::string original = "[System]\r\nINTERVAL=42\r\nMUTE=1\r\n\r\n";
    WriteSettings(original);
    InstanceLock running;
    ASSERT_FALSE(running.HeldElsewhere());
    BasicData.Interval = 7;

    Create();
    EXPECT_TRUE(form->Refused());
    EXPECT_EQ(boxes.errors, (std::vector<std::string>{"「Quorvane」は同時に２つ以上起動できません。"}));
    EXPECT_EQ(BasicData.Interval, 7) << "the settings were read";
    form.reset();
    EXPECT_EQ(ReadSettings(), original) << "the settings were written";
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeReadIsNamedAndNeverOverwritten) {
    // A folder where the file should be, and a file over the size limit.
    const std::string path = SettingsPath();
    const auto check = [&](const char* what) {
        Create();
        EXPECT_TRUE(form->Refused()) << what;
        ASSERT_EQ(boxes.errors.size(), 1u) << what;
        EXPECT_NE(boxes.errors[0].find(path), std::string::npos) << boxes.errors[0];
        EXPECT_TRUE(form->close()) << what;
        form.reset();
        boxes.errors.clear();
    };
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path)));
    check("folder");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).isDir());

    ASSERT_TRUE(QDir().rmdir(QString::fromStdString(path)));
    const std::string large = "[System]\r\nINTERVAL=42\r\n;" + std::string(16u << 20, 'x');
    WriteSettings(large);
    check("too large");
    EXPECT_EQ(ReadSettings(), large) << "the user's file was overwritten";
}

TEST_F(MainWindowTest, ClosingWritesTheSettingsAndEndsTheProgram) {
    Create();
    form->SetQuotes(Table({{1, "USD/JPY"}}));
    BasicData.Interval = 30;
    BasicData.MonitorOn = true;
    form->show();
    QSignalSpy closed(form.get(), &TForm1::Closed);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(closed.count(), 1);
    const std::string text = ReadSettings();
    EXPECT_NE(text.find("INTERVAL=30\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[System]\r\nLOCATE_X="), std::string::npos) << text;
    EXPECT_NE(text.find("[Currency1]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Enable=1\r\nINTERVAL"), std::string::npos) << "monitoring state kept";
}

TEST_F(MainWindowTest, TitleLampAndMenuDoWhatTheySay) {
    Create();
    form->ShowErrorTitle("通信エラー");
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Quorvane 通信エラー"));
    form->ShowNormalTitle();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Quorvane"));

    auto* lamp = FindControl<TShape>(form.get(), QStringLiteral("Shape1"));
    EXPECT_EQ(lamp->BrushColor(), ClWhite);
    form->LED_ON();
    EXPECT_EQ(lamp->BrushColor(), ClLime);
    form->LED_OFF();
    EXPECT_EQ(lamp->BrushColor(), ClWhite);

    // A right click anywhere, here on a slot's label, opens the window's menu.
    form->SetQuotes(Table({{0, "USD/JPY"}}));
    form->SetViews();
    form->show();
    auto* menu = form->findChild<QMenu*>(QStringLiteral("PopupMenu1"));
    auto* label = FindControl<TLabel>(form.get(), QStringLiteral("LB_N1"));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(label, &click);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();

    form->findChild<QAction*>(QStringLiteral("N1"))->trigger();
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(shell.opened[0])).isFile()) << shell.opened[0];
    EXPECT_TRUE(shell.opened[0].ends_with("help/index.html"));

    // Without their dialogs these do nothing, and say nothing.
    form->findChild<QAction*>(QStringLiteral("C1"))->trigger();
    FindControl<QPushButton>(form.get(), QStringLiteral("BT_PAIR"))->click();
    FindControl<QPushButton>(form.get(), QStringLiteral("BT_CONFIG"))->click();
    EXPECT_TRUE(boxes.errors.empty());
}

TEST_F(MainWindowTest, FirstActivationCentresShowsTheSplashOnceAndStaysOffWhenSavedOff) {
    Create();
    TForm7 splash;
    splash.Timer1->SetInterval(20);
    form->SetSplash(&splash);
    form->move(3, 4);
    form->show();
    int splashShown = 0;
    QObject::connect(&splash, &QDialog::finished, [&] { ++splashShown; });
    form->FormActivate();
    EXPECT_EQ(splashShown, 1);
    EXPECT_EQ(splash.VersionText(), QStringLiteral("Version 1.05"));
    EXPECT_EQ(form->Left(), (TForm1::ScreenWidth() - form->OuterWidth()) / 2);
    EXPECT_EQ(form->Top(), (TForm1::ScreenHeight() - form->OuterHeight()) / 2);
    EXPECT_FALSE(FindControl<TCheckBox>(form.get(), QStringLiteral("CB_START"))->isChecked());

    form->move(3, 4);
    form->FormActivate();
    EXPECT_EQ(splashShown, 1);
    EXPECT_EQ(form->pos(), QPoint(3, 4)) << "centred only the first time";
}

TEST(Splash, PictureIsOurOwnSizeWithTheVersionDrawnIn) {
    TForm7 splash;
    EXPECT_EQ(splash.Picture().size(), QSize(280, 168));
    const QImage plain = splash.Picture().toImage();
    splash.SetVersion(QStringLiteral("105"));
    EXPECT_EQ(splash.VersionText(), QStringLiteral("Version 1.05"));
    const QImage drawn = splash.Picture().toImage();
    ASSERT_EQ(drawn.size(), QSize(280, 168));
    // The text sits in the bottom right corner and nowhere else.
    int changedInCorner = 0, changedElsewhere = 0;
    for (int y = 0; y < 168; ++y)
        for (int x = 0; x < 280; ++x)
            if (plain.pixel(x, y) != drawn.pixel(x, y))
                ++((x >= 150 && x < 260 && y >= 130 && y < 163) ? changedInCorner : changedElsewhere);
    EXPECT_GT(changedInCorner, 50);
    EXPECT_EQ(changedElsewhere, 0);
}

TEST(Splash, ATickWhileItIsBeingShownStillEndsIt) {
    // Under load a tick can come while exec is still showing the window, before the window's own loop runs.
    struct EarlyTick : TForm7 {
        void showEvent(QShowEvent* event) override {
            TForm7::showEvent(event);
            Timer1Timer();
        }
    } splash;
    splash.Timer1->SetInterval(20);
    constexpr int Stuck = 99;
    QTimer::singleShot(5000, &splash, [&splash] {
        splash.show();
        splash.done(Stuck);
    });
    EXPECT_EQ(splash.exec(), QDialog::Rejected);
}
