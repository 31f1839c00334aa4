#include <gtest/gtest.h>

#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "app/AppFixture.h"
#include "app/toolkit/Controls.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit5.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

class PairDialogTest : public AppTest {
protected:
    void TearDown() override {
        form5.reset();
        form2.reset();
        form1.reset();
        AppTest::TearDown();
    }
    void Start(const std::string& settings) {
        WriteSettings(settings);
        form1 = std::make_unique<TForm1>(SettingsPath());
        form2 = std::make_unique<TForm2>(form1.get());
        form5 = std::make_unique<TForm5>(form1.get());
        form1->SetDialogs(form2.get(), nullptr, form5.get());
    }
    TCheckBox* Box(int n) const {
        return FindControl<TCheckBox>(form5.get(), QStringLiteral("CB_E%1").arg(n));
    }
    void Open() const {
        QTest::mouseClick(FindControl<QPushButton>(form1.get(), QStringLiteral("BT_PAIR")), Qt::LeftButton);
    }

    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm5> form5;
};

const char* const TwoShown = "[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\n\r\n"
                             "[Currency1]\r\nFrom=EUR\r\nTo=JPY\r\nEnable=1\r\n\r\n";

} // namespace

TEST_F(PairDialogTest, ClicksShowAndHideSlotsAtOnceButTheLastChosenOneStays) {
    Start(TwoShown);
    Open();
    ASSERT_TRUE(form5->isVisible());
    EXPECT_EQ(Box(1)->text(), " USD/JPY");
    EXPECT_EQ(Box(3)->text(), " 未設定");
    EXPECT_TRUE(Box(1)->isChecked() && Box(2)->isChecked() && !Box(3)->isChecked());
    EXPECT_TRUE(Quotes[0].Enable && Quotes[1].Enable && !Quotes[2].Enable) << "opening changes nothing";
    EXPECT_TRUE(boxes.errors.empty());

    QTest::mouseClick(Box(1), Qt::LeftButton);
    EXPECT_FALSE(Quotes[0].Enable);
    EXPECT_FALSE(FindControl<QGroupBox>(form1.get(), QStringLiteral("GP_1"))->isVisibleTo(form1.get()));
    EXPECT_NE(ReadSettings().find("[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=0\r\n"), std::string::npos)
        << "written at once";

    QTest::mouseClick(Box(2), Qt::LeftButton);
    EXPECT_EQ(boxes.errors, std::vector<std::string>{"全部のチェックを外すことは出来ません。"});
    EXPECT_TRUE(Box(2)->isChecked());
    EXPECT_TRUE(Quotes[1].Enable);
    EXPECT_EQ(EnabledCount(Quotes), 1);

    // A slot without a pair can be chosen, and is then shown.
    QTest::mouseClick(Box(3), Qt::LeftButton);
    EXPECT_TRUE(Quotes[2].Enable);
    EXPECT_EQ(form1->Height(), BaseHeight + 2 * GroupPitch);
}

TEST_F(PairDialogTest, WithNoSlotChosenTheFirstCheckedOneCannotBeCleared) {
    Start("[Currency4]\r\nFrom=GBP\r\nTo=JPY\r\nEnable=0\r\n\r\n");
    Open();
    for (int n = 1; n <= SlotCount; ++n)
        EXPECT_FALSE(Box(n)->isChecked()) << n;
    QTest::mouseClick(Box(5), Qt::LeftButton);
    EXPECT_TRUE(Quotes[4].Enable);
    QTest::mouseClick(Box(5), Qt::LeftButton);
    EXPECT_EQ(boxes.errors.size(), 1u);
    EXPECT_TRUE(Quotes[4].Enable);
}

TEST_F(PairDialogTest, CurrencySettingsOpenOnTheirFirstTabAndNewTitlesShowAtTheNextOpening) {
    Start(TwoShown);
    Open();
    auto* tabs = FindControl<QTabWidget>(form2.get(), QStringLiteral("PC_1"));
    tabs->setCurrentWidget(FindControl<QWidget>(form2.get(), QStringLiteral("TS_MAIL_SERVER"))); // left there
    QTest::mouseClick(FindControl<QPushButton>(form5.get(), QStringLiteral("BT_EDIT")), Qt::LeftButton);
    ASSERT_TRUE(form2->isVisible());
    EXPECT_TRUE(form5->isVisible());
    EXPECT_EQ(tabs->currentWidget()->objectName(), "TS_WATCH");

    QuoteTable changed = Quotes;
    SetPair(changed[0], "GBP", "USD");
    form1->SetQuotes(changed); // as a save in the settings dialog does
    EXPECT_EQ(Box(1)->text(), " USD/JPY") << "the captions of the moment of showing";
    QTest::mouseClick(FindControl<QPushButton>(form5.get(), QStringLiteral("BT_OK")), Qt::LeftButton);
    EXPECT_FALSE(form5->isVisible());
    Open();
    EXPECT_EQ(Box(1)->text(), " GBP/USD");
}
