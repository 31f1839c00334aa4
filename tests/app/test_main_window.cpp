#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
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

namespace {

std::string NameOf(const QWidget* w) {
    return w->objectName().toStdString();
}

// The room a control's text needs: a check box's or button's size hint, a label's text in its font.
bool TextFits(const QWidget* w) {
    if (const auto* box = qobject_cast<const QCheckBox*>(w))
        return w->width() >= box->sizeHint().width();
    if (const auto* button = qobject_cast<const QPushButton*>(w))
        return w->width() > button->fontMetrics().horizontalAdvance(button->text());
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->wordWrap() || label->text().isEmpty())
            return true;
        const QFontMetrics metrics = label->fontMetrics();
        return label->contentsRect().width() >= metrics.horizontalAdvance(label->text()) &&
               label->contentsRect().height() >= metrics.height();
    }
    return true;
}

// The box around the pixels a control paints, in its container's coordinates; empty when it paints none.
QRect InkRect(QWidget* w) {
    const QImage image = w->grab().toImage();
    const QRgb background = w->palette().color(QPalette::Window).rgb();
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                ink |= QRect(x, y, 1, 1);
    return ink.translated(w->pos());
}

// What a user would see as broken in one container: a control cut off by its container, a text cut off
// by its control, two controls drawn over each other. Groups are checked inside as well.
void ExpectTidy(QWidget* container) {
    std::vector<QWidget*> shown;
    for (QObject* o : container->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow() || !w->isVisible())
            continue;
        shown.push_back(w);
        EXPECT_TRUE(container->rect().contains(w->geometry()))
            << NameOf(w) << " lies outside " << NameOf(container);
        EXPECT_TRUE(TextFits(w)) << NameOf(w) << "'s text is cut off";
        if (qobject_cast<QGroupBox*>(w))
            ExpectTidy(w);
    }
    std::vector<QRect> ink;
    for (QWidget* w : shown)
        ink.push_back(InkRect(w));
    for (std::size_t i = 0; i < shown.size(); ++i)
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(ink[i].intersects(ink[j]))
                << NameOf(shown[i]) << " is drawn over " << NameOf(shown[j]);
}

// Pixels of the grabbed window inside a control that differ from the window's background.
int InkIn(const QImage& shot, const QWidget* window, const QWidget* control) {
    const QRect area(control->mapTo(window, QPoint(0, 0)), control->size());
    const QRgb background = window->palette().color(QPalette::Window).rgb();
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink += shot.pixel(x, y) != background;
    return ink;
}

} // namespace

TEST_F(MainWindowTest, WhatTheUserSeesFitsInTheWindowWithoutOverlapsAndShowsTheRates) {
    Create();
    form->SetQuotes(Table({{0, "USD/JPY"}, {1, "EUR/USD"}, {5, "GBP/JPY"}}));
    form->SetViews();
    form->show();
    form->SetRate(0, 110.25);
    form->SetRate(0, 110.30);
    form->SetRate(1, 12345.6789); // a wide rate grows its label to the left
    form->SetRate(5, 0.0001);
    ExpectTidy(form.get());

    const QImage shot = form->grab().toImage();
    ASSERT_EQ(shot.size(), form->size() * shot.devicePixelRatio());
    for (const char* name : {"LB_V1", "LB_V2", "LB_V6", "LB_D1", "LB_N1"})
        EXPECT_GT(InkIn(shot, form.get(), FindControl<QWidget>(form.get(), QString::fromLatin1(name))), 0)
            << name << " is blank in the window";
}

TEST_F(MainWindowTest, SlotGroupsCarryTheirControlsInOneRowEach) {
    Create();
    for (int n = 1; n <= SlotCount; ++n) {
        QGroupBox* g = Group(n);
        ASSERT_NE(g, nullptr) << n;
        EXPECT_TRUE(g->title().isEmpty());
        auto child = [&](const char* prefix) {
            return g->findChild<QWidget*>(QStringLiteral("%1%2").arg(prefix).arg(n));
        };
        for (const char* prefix : {"LB_N", "LB_T", "LB_V", "LB_D", "LB_B", "SP_U", "SP_L", "CB_A"})
            ASSERT_NE(child(prefix), nullptr) << prefix << n;
        // The columns under their headings, left to right: rate, change, last rate, indicators, switch.
        const char* columns[] = {"LB_V", "LB_D", "LB_B", "SP_U", "CB_A"};
        for (std::size_t i = 1; i < std::size(columns); ++i)
            EXPECT_LT(child(columns[i - 1])->geometry().right(), child(columns[i])->x()) << columns[i] << n;
        EXPECT_LT(child("SP_U")->geometry().bottom(), child("SP_L")->y()) << "the upper indicator on top";
        EXPECT_EQ(child("SP_U")->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(child("SP_L")->toolTip(), QString::fromUtf8("上／下限値の設定"));
        EXPECT_GT(child("LB_V")->fontInfo().pixelSize(), child("LB_D")->fontInfo().pixelSize())
            << "the rate is the largest text";
    }
}

TEST_F(MainWindowTest, ShownGroupsStackWithoutGapsAndSetTheWindowHeight) {
    Create();
    form->SetQuotes(Table({{0, "USD/JPY"}, {3, "EUR/JPY"}, {6, "EUR/USD"}}));
    form->SetViews();
    form->show();
    EXPECT_EQ(form->height(), form->Height() - DesignFrameHeight);
    // Shown groups follow one another in slot order, each right below the one before, all in the window.
    auto expectStacked = [&] {
        const QGroupBox* above = nullptr;
        for (int n = 1; n <= SlotCount; ++n) {
            const QGroupBox* g = Group(n);
            if (!g->isVisible())
                continue;
            if (above) {
                EXPECT_EQ(g->y(), above->y() + GroupPitch) << n << " does not follow the group above";
            }
            EXPECT_LE(g->geometry().bottom(), form->height()) << n << " lies outside the window";
            above = g;
        }
    };
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(Group(n)->isVisible(), n == 1 || n == 4 || n == 7) << n;
    expectStacked();

    const int threeShown = form->Height();
    form->SetEnable(3, false);
    EXPECT_EQ(form->Height(), threeShown - GroupPitch) << "one group less, one row lower";
    expectStacked();
    EXPECT_FALSE(form->MonitorQuotes()[3].Enable) << "the monitor's copy follows at once";

    for (int slot = 0; slot < 8; ++slot)
        form->SetEnable(slot, false);
    const int noneShown = form->Height();
    EXPECT_GT(noneShown - DesignFrameHeight, FindControl<QWidget>(form.get(), QStringLiteral("Label29"))->y())
        << "the headings stay in the window";
    for (int slot = 0; slot < 8; ++slot)
        form->SetEnable(slot, true);
    EXPECT_EQ(form->Height(), noneShown + 8 * GroupPitch);
    expectStacked();
    ExpectTidy(form.get());
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
