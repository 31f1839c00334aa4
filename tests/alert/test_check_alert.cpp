#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "alert/AlarmFixture.h"
#include "alert/DeviationLimit.h"

using namespace quorvane;
using quorvane::testing::AlarmTest;

namespace {

constexpr int Slot = 2;
const std::string Title = "USD/JPY";

using CheckAlertTest = AlarmTest;

TEST(AlertConfig, DefaultsSwitchTheAlarmAndBothSidesOnAndNothingElse) {
    const TAlertConfig d = DefaultAlertConfig();
    EXPECT_TRUE(d.ALEnable);
    EXPECT_TRUE(d.AH_ON);
    EXPECT_TRUE(d.AL_ON);
    TAlertConfig rest = d;
    rest.ALEnable = rest.AH_ON = rest.AL_ON = false;
    EXPECT_EQ(rest, TAlertConfig{});
}

// One call per row of the case table, for each side: what is played, mailed, started, stored, returned.
TEST_F(CheckAlertTest, EveryCaseOfOneCallOnEitherSide) {
    struct Case {
        bool enable, sideOn, hit, old;
        bool sound;
        const char* transition; // "ON", "OFF" or ""
        bool stored, result;
    };
    const std::vector<Case> cases = {
        {false, true, true, true, false, "", false, false},
        {false, true, false, false, false, "", false, false},
        {true, false, true, false, false, "", true, false},
        {true, false, false, true, false, "", false, false},
        {true, true, true, false, true, "ON", true, true},
        {true, true, true, true, true, "", true, true},
        {true, true, false, true, false, "OFF", false, false},
        {true, true, false, false, false, "", false, false},
    };
    for (bool upper : {true, false}) {
        const std::string side = upper ? "H" : "L";
        for (const Case& c : cases) {
            SCOPED_TRACE(side + " enable=" + std::to_string(c.enable) +
                         " sideOn=" + std::to_string(c.sideOn) + " hit=" + std::to_string(c.hit) +
                         " old=" + std::to_string(c.old));
            Alerts = {};
            Sounds.clear();
            Apps.clear();
            RegisterEverything();
            log.events.clear();
            TAlertConfig cfg = ActingConfig(0, 150.0, 100.0);
            cfg.ALEnable = c.enable;
            (upper ? cfg.AH_ON : cfg.AL_ON) = c.sideOn;
            cfg.H_STATE = cfg.L_STATE = c.old;
            Alerts[Slot] = cfg;
            const double rate = c.hit ? (upper ? 151.0 : 99.0) : 120.0;

            EXPECT_EQ(CheckAlert(Slot, upper, false, rate, Title), c.result);

            std::vector<std::string> expected;
            if (c.sound)
                expected.push_back(std::string("sound /snd/") + (upper ? "high" : "low") + ".wav");
            const std::string t = c.transition;
            if (!t.empty()) {
                expected.push_back("mail Quorvane USD/JPY " + side + " " + t);
                expected.push_back("open /bin/" + std::string(upper ? "h-" : "l-") +
                                   (t == "ON" ? "on" : "off"));
            }
            ASSERT_EQ(log.events.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i)
                EXPECT_EQ(log.events[i].rfind(expected[i], 0), 0u) << log.events[i] << " vs " << expected[i];
            EXPECT_EQ(upper ? Alerts[Slot].H_STATE : Alerts[Slot].L_STATE, c.stored);
            EXPECT_EQ(upper ? Alerts[Slot].L_STATE : Alerts[Slot].H_STATE, c.old) << "other side touched";
        }
    }
}

TEST_F(CheckAlertTest, AbsoluteLimitsIncludeEquality) {
    Alerts[Slot] = ActingConfig(0, 110.25, 109.5);
    EXPECT_TRUE(CheckAlert(Slot, true, false, 110.25, Title));
    EXPECT_TRUE(CheckAlert(Slot, false, false, 109.5, Title));
    EXPECT_FALSE(CheckAlert(Slot, true, false, std::nextafter(110.25, 0.0), Title));
    EXPECT_FALSE(CheckAlert(Slot, false, false, std::nextafter(109.5, 200.0), Title));
    EXPECT_FALSE(Alerts[Slot].H_STATE);
    EXPECT_FALSE(Alerts[Slot].L_STATE);
}

TEST_F(CheckAlertTest, DefaultRecordLightsTheUpperSideForEveryPositiveRate) {
    Alerts[Slot] = DefaultAlertConfig();
    for (double rate : {0.0001, 1.0, 110.25}) {
        EXPECT_TRUE(CheckAlert(Slot, true, false, rate, Title)) << rate;
        EXPECT_FALSE(CheckAlert(Slot, false, false, rate, Title)) << rate;
    }
    EXPECT_TRUE(Alerts[Slot].H_STATE);
    EXPECT_FALSE(Alerts[Slot].L_STATE);
}

TEST_F(CheckAlertTest, CrossedLimitsPutBothSidesOnBetweenThem) {
    Alerts[Slot] = ActingConfig(0, 100.0, 120.0); // lower limit above the upper one, as a file may hold
    EXPECT_TRUE(CheckAlert(Slot, true, false, 110.0, Title));
    EXPECT_TRUE(CheckAlert(Slot, false, false, 110.0, Title));
}

TEST_F(CheckAlertTest, DeviationLimitsIncludeEqualityAndZeroDeviationsMeetAtTheBase) {
    TAlertConfig cfg = ActingConfig(1, 0, 0);
    cfg.BASE = 110.5;
    cfg.DH = 0.0;
    cfg.DL = 0.0;
    Alerts[Slot] = cfg;
    EXPECT_TRUE(CheckAlert(Slot, true, false, 110.5, Title));
    EXPECT_TRUE(CheckAlert(Slot, false, false, 110.5, Title));

    cfg.DH = 0.5;
    cfg.DL = 0.25;
    Alerts[Slot] = cfg;
    EXPECT_TRUE(CheckAlert(Slot, true, false, 111.0, Title));
    EXPECT_FALSE(CheckAlert(Slot, true, false, 110.75, Title));
    EXPECT_TRUE(CheckAlert(Slot, false, false, 110.25, Title));
    EXPECT_FALSE(CheckAlert(Slot, false, false, 110.5, Title));
}

// 100 + 0.10 and 100 - 0.10 round in double to exactly the doubles of 100.1 and 99.9, but the exact
// limits lie beyond those rates; the limit is formed without that rounding.
TEST_F(CheckAlertTest, DeviationLimitIsNotRoundedToDoubleBeforeTheComparison) {
    TAlertConfig cfg = ActingConfig(1, 0, 0);
    cfg.BASE = 100.0;
    cfg.DH = 0.10;
    cfg.DL = 0.10;
    Alerts[Slot] = cfg;

    volatile double base = cfg.BASE, dh = cfg.DH, dl = cfg.DL;
    const double upperInDouble = base + dh, lowerInDouble = base - dl;
    ASSERT_TRUE(100.1 >= upperInDouble) << "a double limit would alarm at 100.1";
    ASSERT_TRUE(99.9 <= lowerInDouble) << "a double limit would alarm at 99.9";

    EXPECT_FALSE(CheckAlert(Slot, true, false, 100.1, Title));
    EXPECT_FALSE(CheckAlert(Slot, false, false, 99.9, Title));
    EXPECT_TRUE(CheckAlert(Slot, true, false, std::nextafter(100.1, 200.0), Title));
    EXPECT_TRUE(CheckAlert(Slot, false, false, std::nextafter(99.9, 0.0), Title));
}

TEST_F(CheckAlertTest, OtherTypesNeverAlarmAndEndAnAlarmThatWasOn) {
    RegisterEverything();
    for (std::int32_t type : {2, -1, 1000}) {
        TAlertConfig cfg = ActingConfig(type, 0.0, 1e9); // limits every rate would meet under type 0
        cfg.BASE = 100.0;
        Alerts[Slot] = cfg;
        for (double rate : {0.0001, 100.0, 1e6}) {
            EXPECT_FALSE(CheckAlert(Slot, true, false, rate, Title)) << type;
            EXPECT_FALSE(CheckAlert(Slot, false, false, rate, Title)) << type;
        }
        EXPECT_FALSE(Alerts[Slot].H_STATE);
        EXPECT_FALSE(Alerts[Slot].L_STATE);
    }
    EXPECT_TRUE(log.events.empty());
}

TEST_F(CheckAlertTest, MuteSilencesTheSoundOnly) {
    RegisterEverything();
    Alerts[Slot] = ActingConfig(0, 150.0, 100.0);
    EXPECT_TRUE(CheckAlert(Slot, true, true, 151.0, Title));
    EXPECT_TRUE(CheckAlert(Slot, true, true, 152.0, Title));
    EXPECT_FALSE(CheckAlert(Slot, true, true, 120.0, Title));
    EXPECT_EQ(log.Count("sound"), 0);
    EXPECT_EQ(log.Count("mail Quorvane USD/JPY H ON:"), 1);
    EXPECT_EQ(log.Count("mail Quorvane USD/JPY H OFF:"), 1);
    EXPECT_EQ(log.Count("open /bin/h-on"), 1);
    EXPECT_EQ(log.Count("open /bin/h-off"), 1);
}

TEST_F(CheckAlertTest, SoundRepeatsWhileOnButMailAndProgramGoOncePerTransition) {
    RegisterEverything();
    Alerts[Slot] = ActingConfig(0, 150.0, 100.0);
    for (double rate : {150.0, 151.0, 150.5})
        EXPECT_TRUE(CheckAlert(Slot, true, false, rate, Title));
    EXPECT_EQ(log.Count("sound /snd/high.wav"), 3);
    EXPECT_EQ(log.Count("mail"), 1);
    EXPECT_EQ(log.Count("open"), 1);

    for (double rate : {149.0, 148.0})
        EXPECT_FALSE(CheckAlert(Slot, true, false, rate, Title));
    EXPECT_EQ(log.Count("sound"), 3);
    EXPECT_EQ(log.Count("mail Quorvane USD/JPY H OFF:"), 1);
    EXPECT_EQ(log.Count("open /bin/h-off"), 1);
    EXPECT_EQ(log.events.size(), 7u);
}

TEST_F(CheckAlertTest, UpperSideActsBeforeLowerSideForTheSameRate) {
    RegisterEverything();
    Alerts[Slot] = ActingConfig(0, 100.0, 120.0);
    CheckAlert(Slot, true, false, 110.0, Title);
    CheckAlert(Slot, false, false, 110.0, Title);
    ASSERT_EQ(log.events.size(), 6u);
    EXPECT_EQ(log.events[0], "sound /snd/high.wav");
    EXPECT_EQ(log.events[1].rfind("mail Quorvane USD/JPY H ON:", 0), 0u);
    EXPECT_EQ(log.events[2], "open /bin/h-on");
    EXPECT_EQ(log.events[3], "sound /snd/low.wav");
    EXPECT_EQ(log.events[4].rfind("mail Quorvane USD/JPY L ON:", 0), 0u);
    EXPECT_EQ(log.events[5], "open /bin/l-on");
}

TEST_F(CheckAlertTest, SwitchedOffSideStillFollowsTheRateAndActsOnNothing) {
    RegisterEverything();
    TAlertConfig cfg = ActingConfig(0, 150.0, 100.0);
    cfg.AH_ON = false;
    Alerts[Slot] = cfg;
    EXPECT_FALSE(CheckAlert(Slot, true, false, 151.0, Title));
    EXPECT_TRUE(Alerts[Slot].H_STATE);
    EXPECT_TRUE(log.events.empty());

    // Switched on while already on: the sound plays, but nothing changed, so no ON mail or program.
    Alerts[Slot].AH_ON = true;
    EXPECT_TRUE(CheckAlert(Slot, true, false, 151.0, Title));
    EXPECT_EQ(log.events, std::vector<std::string>{"sound /snd/high.wav"});
}

TEST_F(CheckAlertTest, AlarmSwitchOffDropsTheStateSilentlyAndOnAgainGivesAFreshTransition) {
    RegisterEverything();
    Alerts[Slot] = ActingConfig(0, 150.0, 100.0);
    EXPECT_TRUE(CheckAlert(Slot, true, false, 151.0, Title));
    log.events.clear();

    Alerts[Slot].ALEnable = false;
    EXPECT_FALSE(CheckAlert(Slot, true, false, 151.0, Title));
    EXPECT_FALSE(Alerts[Slot].H_STATE);
    EXPECT_TRUE(log.events.empty());

    Alerts[Slot].ALEnable = true;
    EXPECT_TRUE(CheckAlert(Slot, true, false, 151.0, Title));
    EXPECT_EQ(log.Count("mail Quorvane USD/JPY H ON:"), 1);
    EXPECT_EQ(log.Count("open /bin/h-on"), 1);
}

TEST_F(CheckAlertTest, RewritingTheRecordKeepsTheStatesSoNoActionRepeats) {
    RegisterEverything();
    const TAlertConfig cfg = ActingConfig(0, 150.0, 100.0);
    SetAlertConfig(Slot, cfg);
    EXPECT_TRUE(CheckAlert(Slot, true, false, 151.0, Title));
    EXPECT_TRUE(CheckAlert(Slot, false, false, 99.0, Title));

    TAlertConfig edited = cfg; // as the dialog builds it: both states false
    edited.AH = 140.0;
    SetAlertConfig(Slot, edited);
    EXPECT_EQ(Alerts[Slot].AH, 140.0);
    EXPECT_TRUE(Alerts[Slot].H_STATE);
    EXPECT_TRUE(Alerts[Slot].L_STATE);
    log.events.clear();
    EXPECT_TRUE(CheckAlert(Slot, true, false, 151.0, Title));
    EXPECT_TRUE(CheckAlert(Slot, false, false, 99.0, Title));
    EXPECT_EQ(log.events, (std::vector<std::string>{"sound /snd/high.wav", "sound /snd/low.wav"}));
}

TEST_F(CheckAlertTest, EachSidePlaysItsOwnSoundAndAMissingSoundPlaysNothing) {
    RegisterEverything();
    TAlertConfig cfg = ActingConfig(0, 100.0, 120.0);
    cfg.SOUND_H = 2;
    cfg.SOUND_L = 1;
    Alerts[Slot] = cfg;
    CheckAlert(Slot, true, false, 110.0, Title);
    CheckAlert(Slot, false, false, 110.0, Title);
    EXPECT_EQ(log.Count("sound /snd/low.wav"), 1);
    EXPECT_EQ(log.Count("sound /snd/high.wav"), 1);
    EXPECT_EQ(log.events.front(), "sound /snd/low.wav");

    for (std::int32_t ref : {0, 3, -1}) {
        Alerts[Slot].SOUND_H = ref;
        log.events.clear();
        EXPECT_TRUE(CheckAlert(Slot, true, false, 110.0, Title)) << ref;
        EXPECT_EQ(log.Count("sound"), 0) << ref;
    }
}

TEST_F(CheckAlertTest, SlotOutsideTheTableIsIgnored) {
    RegisterEverything();
    for (auto& r : Alerts)
        r = ActingConfig(0, 0.0, 1e9);
    EXPECT_FALSE(CheckAlert(SlotCount, true, false, 1.0, Title));
    EXPECT_FALSE(CheckAlert(-1, false, false, 1.0, Title));
    SetAlertConfig(SlotCount, TAlertConfig{});
    for (const auto& r : Alerts)
        EXPECT_EQ(r, ActingConfig(0, 0.0, 1e9));
    EXPECT_TRUE(log.events.empty());
}

} // namespace

// The exact comparison that serves machines without the 80-bit format must give the answers the 80-bit
// limit gives here, next to the rounded sum where the two roundings part.
TEST(DeviationLimit, ExactComparisonAgreesWithTheExtendedLimit) {
    const double cases[][2] = {{100.0, 0.10}, {110.0, 5.0}, {0.0067, 0.0001}, {1.0537, 1e-9},
                               {151.2345678901234, 0.3}, {1e-300, 1e-310}, {-5.0, 0.25}, {3.0, 7.0}};
    for (const auto& [base, deviation] : cases) {
        for (bool upper : {true, false}) {
            const double rounded = upper ? base + deviation : base - deviation;
            double rate = rounded;
            for (int i = 0; i < 3; ++i)
                rate = std::nextafter(rate, -INFINITY);
            for (int step = 0; step < 7; ++step, rate = std::nextafter(rate, INFINITY)) {
                EXPECT_EQ(ReachesExactDeviationLimit(rate, base, deviation, upper),
                          ReachesDeviationLimit(rate, base, deviation, upper))
                    << base << (upper ? " + " : " - ") << deviation << " at " << rate;
            }
        }
    }
    EXPECT_FALSE(ReachesExactDeviationLimit(100.1, 100.0, 0.10, true));
    EXPECT_FALSE(ReachesExactDeviationLimit(99.9, 100.0, 0.10, false));
}
