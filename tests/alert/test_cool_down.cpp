#include <string>
#include <vector>

#include "alert/AlarmFixture.h"

using namespace quorvane;
using quorvane::testing::AlarmTest;

namespace {

constexpr int Slot = 4;
const std::string Title = "USD/JPY";
constexpr double On = 151.0, Off = 149.0; // the upper limit is 150

struct Step {
    int second; // after the first rate
    double rate;
    const char* acted;    // "ON": ON mail, notification and program ran; "OFF" likewise; "" none of them
    bool rewrite = false; // the dialog writes the record (states and cool-downs empty) before this rate
    bool output = true;   // the side's output switch at this rate
};

struct Case {
    const char* what;
    std::int32_t minutes;
    std::vector<Step> steps;
};

class CoolDownTest : public AlarmTest {
protected:
    void SetUp() override {
        AlarmTest::SetUp();
        RegisterEverything();
    }

    // What the mail, the notification and the program did since the last call, as one word when they
    // agree (all three for an ON, or for an OFF, or none), otherwise each of them.
    std::string Acted() {
        std::vector<std::string> done;
        for (std::size_t i = seenLog_; i < log.events.size(); ++i)
            if (!log.events[i].starts_with("sound"))
                done.push_back(log.events[i]);
        for (std::size_t i = seenShown_; i < notifier.shown.size(); ++i)
            done.push_back("notify " + notifier.shown[i]);
        seenLog_ = log.events.size();
        seenShown_ = notifier.shown.size();
        if (done.empty())
            return "";
        for (const std::string state : {"ON", "OFF"}) {
            const std::string app = state == "ON" ? "open /bin/h-on" : "open /bin/h-off";
            if (done.size() == 3 && done[0].starts_with("mail Quorvane USD/JPY H " + state + ":") &&
                done[1] == app && done[2].starts_with("notify USD/JPY 上限警報 " + state + " |"))
                return state;
        }
        std::string all;
        for (const std::string& d : done)
            all += "[" + d + "]";
        return all;
    }

private:
    std::size_t seenLog_ = 0, seenShown_ = 0;
};

const AlarmTime Start = std::chrono::system_clock::from_time_t(1765350000);

TEST_F(CoolDownTest, ActionsOfASideAreHeldBackAndReleasedAsTheCoolDownRuns) {
    const std::vector<Case> cases = {
        {"no cool-down: every change acts, as always",
         0,
         {{0, On, "ON"}, {1, Off, "OFF"}, {2, On, "ON"}, {3, On, ""}, {4, Off, "OFF"}, {5, On, "ON"}}},
        {"an ON within the cool-down is held, and so is its OFF",
         5,
         {{0, On, "ON"}, {60, Off, "OFF"}, {120, On, ""}, {180, Off, ""}, {240, On, ""}, {270, Off, ""}}},
        {"still on at the end after a held ON: released once, its OFF sent, a new cool-down begun",
         5,
         {{0, On, "ON"},
          {60, Off, "OFF"},
          {120, On, ""},
          {299, On, ""},
          {300, On, "ON"},
          {310, On, ""},
          {360, Off, "OFF"},
          {420, On, ""},
          {600, On, "ON"}}},
        {"an OFF after the end still answers the held ON; the next ON acts",
         5,
         {{0, On, "ON"},
          {60, Off, "OFF"},
          {120, On, ""},
          {400, Off, ""},
          {401, On, "ON"},
          {402, Off, "OFF"}}},
        {"on through the whole cool-down without a held ON: nothing more",
         5,
         {{0, On, "ON"}, {100, On, ""}, {300, On, ""}, {900, On, ""}, {901, Off, "OFF"}}},
        {"the dialog's record neither clears nor restarts the cool-down",
         5,
         {{0, On, "ON"}, {60, Off, "OFF"}, {120, On, "", true}, {200, Off, "", true}, {300, On, "ON", true}}},
        {"an ON held while the output was switched off is not released later",
         5,
         {{0, On, "ON"}, {60, Off, "OFF"}, {120, On, ""}, {200, On, "", false, false}, {300, On, ""}}},
        {"a clock set back before the last ON ends the cool-down",
         5,
         {{0, On, "ON"}, {60, Off, "OFF"}, {-3600, On, "ON"}}},
        {"a file's huge value lasts a day",
         99999,
         {{0, On, "ON"}, {60, Off, "OFF"}, {86399, On, ""}, {86400, On, "ON"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TAlertConfig record = ActingConfig(0, 150.0, 100.0);
        record.COOLDOWN = c.minutes;
        Alerts = {};
        Alerts[Slot] = record;
        Acted();
        for (const Step& s : c.steps) {
            SCOPED_TRACE("at " + std::to_string(s.second) + " s, rate " + std::to_string(s.rate));
            if (s.rewrite)
                SetAlertConfig(Slot, record);
            Alerts[Slot].AH_ON = s.output;
            const int sounds = log.Count("sound");
            const bool hit = s.rate >= 150.0 && s.output;
            // The indicator and the sound take no notice of the cool-down.
            EXPECT_EQ(CheckAlert(Slot, true, false, s.rate, Title, Start + std::chrono::seconds(s.second)),
                      hit);
            EXPECT_EQ(log.Count("sound") - sounds, hit ? 1 : 0);
            EXPECT_EQ(Acted(), s.acted);
        }
    }
}

TEST_F(CoolDownTest, EachSideHasItsOwnCoolDown) {
    TAlertConfig record = ActingConfig(0, 100.0, 120.0); // crossed limits: both sides on between them
    record.COOLDOWN = 5;
    Alerts[Slot] = record;
    CheckAlert(Slot, true, false, 110.0, Title, Start);
    CheckAlert(Slot, true, false, 90.0, Title, Start + std::chrono::seconds(10));
    CheckAlert(Slot, true, false, 110.0, Title, Start + std::chrono::seconds(20)); // upper ON held
    EXPECT_EQ(mail.calls.size(), 2u);
    CheckAlert(Slot, false, false, 110.0, Title, Start + std::chrono::seconds(20)); // lower ON acts
    ASSERT_EQ(mail.calls.size(), 3u);
    EXPECT_EQ(mail.calls.back().subject, "Quorvane USD/JPY L ON: 110.0000");
}

} // namespace
