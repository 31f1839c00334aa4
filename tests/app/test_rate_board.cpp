#include <gtest/gtest.h>

#include <QFile>
#include <QTest>

#include "AppFixture.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/DialogLinks.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

struct FakeAlarmDialog : AlarmDialogLink {
    int slot = -1, shows = 0;
    std::string title, rate;
    bool alEnable = false;
    std::vector<std::string> shownRates;
    void SetValue(int s, const std::string& t, bool enable, const std::string& r) override {
        slot = s;
        title = t;
        alEnable = enable;
        rate = r;
    }
    void ShowModeless() override { ++shows; }
    bool ShowsSlot(int s) const override { return shows > 0 && s == slot; }
    void ShowRate(const std::string& r) override { shownRates.push_back(r); }
};

class RateBoardTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        form = std::make_unique<TForm1>(SettingsPath());
        form->SetQuotes(Table({{0, "USD/JPY"}, {2, "EUR/USD"}, {3, "EUR/JPY"}, {4, "GBP/JPY"}}));
    }
    TLabel* Label(const char* name) const {
        return FindControl<TLabel>(form.get(), QString::fromLatin1(name));
    }
    TShape* Shape(const char* name) const {
        return FindControl<TShape>(form.get(), QString::fromLatin1(name));
    }
    std::string Text(const char* name) const { return Label(name)->text().toStdString(); }
    QColor Colour(const char* name) const { return Label(name)->FontColor(); }

    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(RateBoardTest, FirstRiseSameAndFallAreShownInTheirColours) {
    EXPECT_EQ(Text("LB_V1"), "---------");
    EXPECT_EQ(Text("LB_D1"), "---------");
    EXPECT_EQ(Text("LB_B1"), "---------");
    EXPECT_EQ(Text("LB_T1"), "");

    form->SetRate(0, 110.25);
    EXPECT_EQ(Text("LB_B1"), "0.0000");
    EXPECT_EQ(Colour("LB_B1"), ClBlack);
    EXPECT_EQ(Text("LB_V1"), "110.2500");
    EXPECT_EQ(Colour("LB_V1"), ClGreen);
    EXPECT_EQ(Text("LB_D1"), "110.2500");
    EXPECT_EQ(Colour("LB_D1"), ClGreen);
    EXPECT_FALSE(Label("LB_T1")->text().isEmpty());
    EXPECT_TRUE(Label("LB_T1")->text().contains(QLatin1Char(':')));
    EXPECT_GE(Label("LB_T1")->x(), 0) << "the time is cut off at the left";

    form->SetRate(0, 110.25);
    EXPECT_EQ(Text("LB_D1"), "0.0000");
    EXPECT_EQ(Colour("LB_D1"), ClBlack);
    EXPECT_EQ(Colour("LB_V1"), ClBlack);

    form->SetRate(0, 110.20);
    EXPECT_EQ(Text("LB_D1"), "-0.0500");
    EXPECT_EQ(Colour("LB_D1"), ClRed);
    EXPECT_EQ(Text("LB_V1"), "110.2000");
    EXPECT_EQ(Colour("LB_V1"), ClRed);
    EXPECT_EQ(Text("LB_B1"), "110.2500");
    EXPECT_EQ(Colour("LB_B1"), ClBlack);

    EXPECT_EQ(Text("LB_V3"), "---------") << "another slot's labels stay";
}

TEST_F(RateBoardTest, ALongRateIsNeverCutOff) {
    TLabel* v = Label("LB_V3");
    const int right = v->geometry().right();
    form->SetRate(2, 12345.6789);
    EXPECT_EQ(v->text(), QStringLiteral("12,345.6789"));
    EXPECT_GE(v->width(), v->sizeHint().width());
    EXPECT_EQ(v->geometry().right(), right) << "the right edge stays put";
}

TEST_F(RateBoardTest, IndicatorsFollowTheAlarmOnlyWhereTheSideIsSwitchedOn) {
    TAlertConfig& a = Alerts[0];
    a.ALEnable = true;
    a.ALTYPE = AlarmType::Absolute;
    a.AH = 100;
    a.AL = 50;
    a.AH_ON = false;
    a.AL_ON = true;
    form->SetRate(0, 110);
    EXPECT_TRUE(Alerts[0].H_STATE) << "the state is recorded";
    EXPECT_EQ(Shape("SP_U1")->BrushColor(), ClWhite);
    EXPECT_EQ(Shape("SP_L1")->BrushColor(), ClWhite);

    a.AH_ON = true;
    form->SetRate(0, 111);
    EXPECT_EQ(Shape("SP_U1")->BrushColor(), ClRed);
    form->SetRate(0, 40);
    EXPECT_EQ(Shape("SP_U1")->BrushColor(), ClWhite);
    EXPECT_EQ(Shape("SP_L1")->BrushColor(), ClRed);
}

TEST_F(RateBoardTest, AlarmActionsRunBeforeTheRateIsStoredOrShown) {
    const QString wav = dir.filePath(QStringLiteral("up.wav"));
    QFile file(wav);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("RIFF");
    file.close();
    AddSound("up", wav.toStdString());
    TAlertConfig& a = Alerts[0];
    a.ALEnable = true;
    a.AH = 100;
    a.AL = 0;
    a.SOUND_H = 1;

    form->SetRate(0, 90);
    std::string shownDuringAlarm;
    double latestDuringAlarm = -1;
    sounds.onPlay = [&] {
        shownDuringAlarm = Text("LB_V1");
        latestDuringAlarm = LatestRate(form->Histories()[0]);
    };
    form->SetRate(0, 105);
    ASSERT_EQ(sounds.played.size(), 1u);
    EXPECT_EQ(shownDuringAlarm, "90.0000");
    EXPECT_EQ(latestDuringAlarm, 90);
    EXPECT_EQ(Text("LB_V1"), "105.0000");

    BasicData.Mute = true;
    form->SetRate(0, 106);
    EXPECT_EQ(sounds.played.size(), 1u) << "muted";
}

TEST_F(RateBoardTest, AlarmSwitchesAndIndicatorsOpenTheirSlot) {
    FakeAlarmDialog dialog;
    form->SetDialogs(nullptr, &dialog, nullptr);
    form->show();
    Alerts[4].ALEnable = false;

    QTest::mouseClick(Shape("SP_L5"), Qt::RightButton);
    EXPECT_EQ(dialog.shows, 1);
    EXPECT_EQ(dialog.slot, 4);
    EXPECT_EQ(dialog.title, "GBP/JPY");
    EXPECT_FALSE(dialog.alEnable);
    EXPECT_EQ(dialog.rate, "0.0000");

    form->SetRate(0, 150.5);
    QTest::mouseClick(Shape("SP_U1"), Qt::LeftButton);
    EXPECT_EQ(dialog.slot, 0);
    EXPECT_EQ(dialog.rate, "150.5000");

    // The open dialog follows its own slot's rate only.
    QTest::mouseClick(Shape("SP_U4"), Qt::LeftButton);
    form->SetRate(2, 1.08);
    EXPECT_TRUE(dialog.shownRates.empty());
    form->SetRate(3, 160.125);
    EXPECT_EQ(dialog.shownRates, (std::vector<std::string>{"160.1250"}));
}

TEST_F(RateBoardTest, AlarmOutputSwitchesWriteTheirSlotAndFollowTheRecords) {
    form->show();
    auto* box = FindControl<TCheckBox>(form.get(), QStringLiteral("CB_A3"));
    ASSERT_NE(box, nullptr);
    Alerts[2].ALEnable = false;
    form->SetAlertSwitch();
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(Alerts[2].ALEnable);
    EXPECT_EQ(Alerts[1].ALEnable, FindControl<TCheckBox>(form.get(), QStringLiteral("CB_A2"))->isChecked());
    box->click();
    EXPECT_FALSE(Alerts[2].ALEnable);
    EXPECT_EQ(box->toolTip(), QString::fromUtf8("警報出力のON/OFF"));
}
