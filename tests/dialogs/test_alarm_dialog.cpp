#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <map>

#include "app/AppFixture.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/Picture.h"
#include "app/toolkit/SpinEdit.h"
#include "dialogs/Unit3.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

TAlertConfig Record(int type, double ah, double al, double base, double dh, double dl) {
    TAlertConfig r = DefaultAlertConfig();
    r.ALTYPE = static_cast<AlarmType>(type);
    r.AH = ah;
    r.AL = al;
    r.BASE = base;
    r.DH = dh;
    r.DL = dl;
    return r;
}

class AlarmDialogTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Open(SettingsPath());
    }
    void Open(const std::string& settings) {
        dialog.reset();
        form.reset(); // one main window at a time holds the instance lock
        form = std::make_unique<TForm1>(settings);
        form->SetQuotes(Table({{0, "USD/JPY"}, {2, "EUR/USD"}, {3, "EUR/JPY"}}));
        dialog = std::make_unique<TForm3>(form.get());
        form->SetDialogs(nullptr, dialog.get(), nullptr);
    }
    void ShowFor(int slot, bool alEnable = true, const std::string& rate = "0.0000") {
        dialog->SetValue(slot, Quotes[slot].Title, alEnable, rate);
        dialog->ShowModeless();
    }
    template <class T = QLineEdit> T* Get(const char* name) const {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string Text(const char* name) const { return Get(name)->text().toStdString(); }
    void Type(const char* name, const char* text) const { Get(name)->setText(QString::fromUtf8(text)); }
    // Types into the field through the keyboard of the active dialog. The offscreen platform keeps a
    // hidden window as its focus window, so showing the dialog again activates nothing by itself, and
    // focus changes in an inactive window send no focus events.
    void KeyIn(const char* name, const char* text) const {
        QApplication::setActiveWindow(dialog.get());
        ASSERT_TRUE(dialog->isActiveWindow());
        QLineEdit* field = Get(name);
        field->setFocus();
        ASSERT_TRUE(field->hasFocus()) << name;
        field->clear();
        QTest::keyClicks(field, QString::fromUtf8(text));
    }
    void Click(const char* name) const { QTest::mouseClick(Get<QPushButton>(name), Qt::LeftButton); }
    const TImage& Picture() const { return *Get<TImage>("Image1"); }

    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm3> dialog;
};

// The first rows of the text blocks right of the plot, where only the labels are drawn.
std::vector<int> LabelTops(const QImage& picture) {
    std::vector<int> tops;
    bool inBlock = false;
    for (int y = 0; y < picture.height(); ++y) {
        bool dark = false;
        for (int x = 226; x < picture.width() && !dark; ++x)
            dark = qGray(picture.pixel(x, y)) < 160;
        if (dark && !inBlock)
            tops.push_back(y);
        inBlock = dark;
    }
    return tops;
}

} // namespace

TEST_F(AlarmDialogTest, PictureShowsTheStoredLimitsWithTheirLabelsOnTheirLines) {
    const QColor band(204, 51, 51), blue(0, 0, 255), white(255, 255, 255);
    struct Point {
        int x, y;
        QColor colour;
    };
    struct Case {
        const char* what;
        TAlertConfig record;
        std::vector<std::string> labels;
        std::vector<int> labelLines;
        std::vector<Point> points;
    };
    const Case cases[] = {
        {"absolute 120 and 100",
         Record(0, 120, 100, 0, 0, 0),
         {"100.0000 （下限）", "120.0000 （上限）"},
         {36, 132},
         {{100, 36, ClRed},
          {100, 132, blue},
          {100, 20, band},
          {100, 150, band},
          {100, 84, white},
          {220, 100, ClBlack},
          {100, 164, ClBlack}}},
        {"base 110 and 5 either side",
         Record(1, 0, 0, 110, 5, 5),
         {"110.0000 （基準）", "115.0000 （偏差上限 5.0000 ）", "105.0000 （偏差下限 -5.0000 ）"},
         {36, 84, 132},
         {{100, 84, ClLime}, {100, 36, ClRed}, {100, 132, blue}, {100, 150, band}}},
        {"no lower deviation",
         Record(1, 0, 0, 110, 5, 0),
         {"110.0000 （基準）", "115.0000 （偏差上限 5.0000 ）"},
         {36, 82},
         {{100, 82, ClLime}, {100, 36, ClRed}, {100, 132, white}, {100, 150, white}}},
        {"every default: equal limits",
         DefaultAlertConfig(),
         {},
         {},
         {{100, 36, white}, {100, 150, white}, {220, 100, ClBlack}, {115, 64, blue}, {115, 96, ClRed}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Alerts[0] = c.record;
        dialog->hide();
        ShowFor(0);
        std::vector<std::string> labels;
        for (const QString& t : Picture().Texts())
            labels.push_back(t.toStdString());
        EXPECT_EQ(labels, c.labels);
        for (const Point& p : c.points)
            EXPECT_EQ(Picture().Picture().pixelColor(p.x, p.y), p.colour) << p.x << "," << p.y;
        const std::vector<int> tops = LabelTops(Picture().Picture());
        ASSERT_EQ(tops.size(), c.labelLines.size());
        const int lineHeight = QFontMetrics(Picture().font()).height();
        for (std::size_t i = 0; i < tops.size(); ++i) {
            EXPECT_GE(tops[i], c.labelLines[i]);
            EXPECT_LT(tops[i], c.labelLines[i] + lineHeight / 2);
        }
    }
}

TEST_F(AlarmDialogTest, FieldsAreCheckedOnLeavingAndOnEnterAndPutTheStoredValueBack) {
    struct Case {
        const char* field;
        const char* typed;
        bool enter; // else the field is left
        std::vector<std::string> errors;
        std::map<std::string, std::string> after;
    };
    const Case cases[] = {
        {"LE_H", "abc", true, {"数値ではありません。"}, {{"LE_H", "120"}}},
        {"LE_H", "1,000", false, {"数値ではありません。"}, {{"LE_H", "120"}}},
        {"LE_DL", "-1", false, {"0以下の値は設定はできません。"}, {{"LE_DL", "2.5"}}},
        {"LE_DL", "0", false, {}, {{"LE_DL", "0"}}},
        {"LE_BASE", " 1e2 ", true, {}, {{"LE_BASE", " 1e2 "}}},
        {"LE_H", "90", false, {"上限＜下限は設定できません。下限＝上限に設定します。"}, {{"LE_L", "90"}}},
        {"LE_L", "130", true, {"下限＞上限は設定できません。上限＝下限に設定します。"}, {{"LE_H", "130"}}},
        {"LE_L", "120", false, {}, {{"LE_H", "120"}, {"LE_L", "120"}}},
        // An emptied field is refused by its own check, not later by the picture's reading of it.
        {"LE_DH", "", false, {"数値ではありません。"}, {{"LE_DH", "5"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " <- " + c.typed);
        // Only the fields of the stored type are enabled and take the focus.
        const bool limits = std::string(c.field) == "LE_H" || std::string(c.field) == "LE_L";
        Alerts[0] = Record(limits ? 0 : 1, 120, 100, 110, 5, 2.5);
        dialog->hide();
        ShowFor(0);
        boxes.errors.clear();
        KeyIn(c.field, c.typed);
        if (c.enter) {
            QTest::keyClick(Get(c.field), Qt::Key_Return);
        } else {
            QTest::keyClick(Get(c.field), Qt::Key_Tab);
            QCoreApplication::processEvents();
            EXPECT_FALSE(Get(c.field)->hasFocus());
        }
        EXPECT_EQ(boxes.errors, c.errors);
        for (const auto& [name, text] : c.after)
            EXPECT_EQ(Text(name.c_str()), text) << name;
        EXPECT_TRUE(dialog->isVisible());
    }
}

TEST_F(AlarmDialogTest, TypeChoiceSwitchesTheFieldsAndRedrawsFromTheirTexts) {
    Alerts[0] = Record(0, 120, 100, 110, 5, 5);
    ShowFor(0);
    EXPECT_TRUE(Get("LE_H")->isEnabled());
    EXPECT_FALSE(Get("LE_BASE")->isEnabled());
    Type("LE_BASE", "200");
    auto* type = Get<QComboBox>("DD_TYPE");
    type->setCurrentIndex(1);
    emit type->activated(1);
    EXPECT_FALSE(Get("LE_H")->isEnabled());
    EXPECT_FALSE(Get("LE_L")->isEnabled());
    EXPECT_TRUE(Get("LE_DH")->isEnabled() && Get("LE_BASE")->isEnabled() && Get("LE_DL")->isEnabled());
    ASSERT_FALSE(Picture().Texts().isEmpty());
    EXPECT_EQ(Picture().Texts().front().toStdString(), "200.0000 （基準）");
}

TEST_F(AlarmDialogTest, OkRefusesCrossingOrUnreadableLimitsAndWritesNothing) {
    struct Case {
        int type;
        const char* field;
        const char* text;
        std::string error;
    };
    const Case cases[] = {
        {0, "LE_L", "101", "エラー：下限が上限を上回っています。"},
        {1, "LE_L", "101", "エラー：下限が上限を上回っています。"},
        {1, "LE_H", "", "'' は浮動小数点数ではありません."},
        {0, "LE_BASE", "1,234.5000", "'1,234.5000' は浮動小数点数ではありません."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " <- " + c.text);
        Alerts[0] = Record(c.type, 100, 90, 0, 0, 0);
        const TAlertConfig stored = Alerts[0];
        dialog->hide();
        ShowFor(0);
        boxes.errors.clear();
        Type(c.field, c.text); // typed but never validated
        Click("BT_OK");
        EXPECT_EQ(boxes.errors, std::vector<std::string>{c.error});
        EXPECT_EQ(Alerts[0], stored);
        EXPECT_TRUE(dialog->isVisible());
        QTest::keyClick(Get(c.field), Qt::Key_Escape); // Esc cancels what was typed
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(Alerts[0], stored);
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(SettingsPath())));
    }
}

TEST_F(AlarmDialogTest, OkWritesTheFieldsAsShownKeepsTheStatesAndTheOutputSwitchAndSavesTheFile) {
    AddSound("チャイム", "/s/chime.wav");
    AddSound("ブザー", "/s/buzzer.wav");
    AddApp("記録", "/bin/true");
    Alerts[0] = Record(1, 100, 90, 0, 0, 0);
    Alerts[0].H_STATE = true;
    Alerts[0].COOLDOWN = 30;
    ShowFor(0, false, "1,234.5000");
    auto* coolDown = Get<TSpinEdit>("SE_COOLDOWN");
    EXPECT_EQ(coolDown->Value(), 30);
    coolDown->SetText(QStringLiteral("15"));
    // The main window's alarm output box is switched on while the dialog is open.
    auto* output = FindControl<TCheckBox>(form.get(), QStringLiteral("CB_A1"));
    output->setChecked(false);
    output->setChecked(true);
    Click("BT_CH"); // the copied rate reads back although it is shown grouped
    Type("LE_L", "1200");
    Type("LE_DH", "1.5");
    Get<QComboBox>("DD_TYPE")->setCurrentIndex(0);
    Get<QComboBox>("DD_SOUND_H")->setCurrentIndex(2);
    Get<QComboBox>("DD_APP_LOFF")->setCurrentIndex(1);
    Get<QCheckBox>("CB_L")->setChecked(false);
    Get<QCheckBox>("CB_MAIL_H")->setChecked(true);
    Click("BT_OK");

    ASSERT_TRUE(boxes.errors.empty()) << boxes.errors.front();
    TAlertConfig expected = Record(0, 1234.5, 1200, 0, 1.5, 0);
    expected.ALEnable = true; // the box's switch made while open, not the state handed in
    expected.AL_ON = false;
    expected.MAIL_H_SW = true;
    expected.SOUND_H = 2;
    expected.APP_L_OFF = 1;
    expected.H_STATE = true;
    expected.COOLDOWN = 15;
    EXPECT_EQ(Alerts[0], expected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(output->isChecked());
    const std::string file = ReadSettings();
    const std::size_t section = file.find("[Currency0]\r\n");
    ASSERT_NE(section, std::string::npos) << file;
    const std::string slot0 = file.substr(section, file.find("\r\n\r\n", section) + 2 - section);
    for (const char* line : {"AL_ON=0", "MAIL_H_SW=1", "AH=1234.5", "AL=1200", "DH=1.5", "SOUND_H=2",
                             "ALTYPE=0", "APP_L_OFF=1", "ALEnable=1", "COOLDOWN=15"})
        EXPECT_NE(slot0.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line << "\n"
                                                                                      << slot0;
    EXPECT_TRUE(boxes.infos.empty());
}

TEST_F(AlarmDialogTest, AFailedSaveAtOkTellsTheStageAndKeepsTheRecord) {
    Open(dir.filePath(QStringLiteral("missing/quorvane.ini")).toStdString());
    Alerts[0] = Record(0, 100, 90, 0, 0, 0);
    ShowFor(0);
    Type("LE_H", "150");
    Click("BT_OK");
    EXPECT_EQ(boxes.infos, std::vector<std::string>{"設定の保存中にエラーが発生しました。STEP=7"});
    EXPECT_EQ(Alerts[0].AH, 150);
}

TEST_F(AlarmDialogTest, IndicatorOpensItsSlotAndTheRateLabelFollowsOnlyThatSlot) {
    Alerts[3] = Record(0, 200, 100, 0, 0, 0);
    form->show();
    form->SetRate(3, 150.25);
    QTest::mouseClick(FindControl<TShape>(form.get(), QStringLiteral("SP_L4")), Qt::RightButton);
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(Get<QTabWidget>("TabControl1")->tabText(0).toStdString(), "EUR/JPY");
    EXPECT_EQ(Text("LE_H"), "200");
    const auto rate = [&] { return Get<QLabel>("LB_V1")->text().toStdString(); };
    EXPECT_EQ(rate(), "150.2500");

    form->SetRate(2, 1.08);
    EXPECT_EQ(rate(), "150.2500");
    form->SetRate(3, 1234.5);
    EXPECT_EQ(rate(), "1,234.5000");
    dialog->hide();
    form->SetRate(3, 140);
    EXPECT_EQ(rate(), "1,234.5000") << "a hidden dialog follows no rate";
}

TEST_F(AlarmDialogTest, ListsFollowTheRegistriesWhileOpen) {
    AddSound("A", "/a.wav");
    AddSound("B", "/b.wav");
    Alerts[0].SOUND_H = 2;
    Alerts[2].SOUND_H = 1;
    ShowFor(0);
    // Another slot while visible: its own selections, not the previous slot's.
    ShowFor(2);
    EXPECT_EQ(Get<QComboBox>("DD_SOUND_H")->currentIndex(), 1);

    ShowFor(0);
    ASSERT_EQ(Get<QComboBox>("DD_SOUND_H")->currentText().toStdString(), "B");
    DeleteSound(0); // the settings dialog removes A meanwhile
    AddSound("C", "/c.wav");
    Click("BT_OK");
    EXPECT_EQ(Alerts[0].SOUND_H, 1) << "B is now the first sound";
    EXPECT_EQ(Get<QComboBox>("DD_SOUND_H")->count(), 3);
}

TEST(FieldText, NumbersGoOutAndComeBackInTheFieldForm) {
    EXPECT_EQ(FieldText(110.25), "110.25");
    EXPECT_EQ(FieldText(0), "0");
    EXPECT_EQ(FieldText(0.00005), "5E-5");
    for (const char* bad : {"", " ", "1,5", "1.2.3", "0x10", "inf", "nan", "1e999", "++1", "1 2"})
        EXPECT_FALSE(ParseFieldText(bad).has_value()) << bad;
    EXPECT_EQ(ParseFieldText(" +1.5E2\t"), 150);
    EXPECT_EQ(ParseFieldText("-.5"), -0.5);
    EXPECT_EQ(PlainRateText("1,234,567.5000"), "1234567.5000");
    EXPECT_EQ(PlainRateText("-1,234.5000"), "-1234.5000");
    EXPECT_EQ(PlainRateText("---------"), "---------");
}
