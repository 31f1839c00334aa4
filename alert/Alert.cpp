#include "alert/Alert.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <utility>

#include "alert/AlarmLog.h"
#include "alert/App.h"
#include "alert/DeviationLimit.h"
#include "alert/Notification.h"
#include "alert/Sound.h"
#include "util/Util.h"

namespace quorvane {

std::array<TAlertConfig, SlotCount> Alerts{};

namespace {

AlertMailer g_mailer;

bool ValidSlot(int slot) {
    return slot >= 0 && slot < SlotCount;
}

bool LimitReached(const TAlertConfig& r, bool upper, double rate) {
    switch (r.ALTYPE) {
    case AlarmType::Absolute:
        return upper ? rate >= r.AH : rate <= r.AL;
    case AlarmType::Deviation:
        return ReachesDeviationLimit(rate, r.BASE, upper ? r.DH : r.DL, upper);
    default:
        return false;
    }
}

// Whether a sound or program path names a file that is there; an address ("https://...") is the shell's.
bool LocalFileMissing(const std::string& path) {
    if (path.find("://") != std::string::npos)
        return false;
    std::error_code ec;
    return !std::filesystem::exists(path, ec);
}

// The log line of one transition: written when both the cycle that raised it and its mail are done.
struct PendingLine {
    AlarmLogEntry entry;
    bool wanted = false;
    int waiting = 1; // the cycle; one more while a mail is out

    void Settle() {
        if (--waiting == 0 && wanted)
            WriteAlarmLog(entry);
    }
};

// A removed entry's references become 0, those behind it follow their entry one place forward.
void FixRef(std::int32_t& ref, int removedRef) {
    if (ref == removedRef)
        ref = 0;
    else if (ref > removedRef)
        --ref;
}

} // namespace

TAlertConfig DefaultAlertConfig() {
    TAlertConfig c;
    c.ALEnable = true;
    c.AH_ON = true;
    c.AL_ON = true;
    return c;
}

void SetAlertConfig(int slot, const TAlertConfig& config) {
    if (!ValidSlot(slot))
        return;
    // The slot keeps its states: pressing OK on an unchanged alarm that is on must not fire its ON
    // mail and program a second time at the next rate.
    TAlertConfig& r = Alerts[slot];
    const bool h = r.H_STATE, l = r.L_STATE;
    const TCoolDown hCool = r.H_COOL, lCool = r.L_COOL; // nor may it restart a cool-down
    r = config;
    r.H_STATE = h;
    r.L_STATE = l;
    r.H_COOL = hCool;
    r.L_COOL = lCool;
}

bool CheckAlert(int slot, bool upper, bool mute, double rate, const std::string& title, AlarmTime now) {
    if (!ValidSlot(slot))
        return false;
    TAlertConfig& r = Alerts[slot];
    const bool old = upper ? r.H_STATE : r.L_STATE;
    TCoolDown& cool = upper ? r.H_COOL : r.L_COOL;
    bool hit = false;
    bool sideOn = false;
    CoolDownStep step = CoolDownStep::Act;
    auto line = std::make_shared<PendingLine>();
    AlarmLogEntry& done = line->entry;
    done.Sound = done.Mail = done.Program = done.Notification = "output-off";
    if (r.ALEnable) {
        sideOn = upper ? r.AH_ON : r.AL_ON;
        hit = LimitReached(r, upper, rate);
    }
    if (sideOn) {
        done.Sound = !hit ? "-" : mute ? "muted" : PlayAlertSound(slot, upper);
        step = StepCoolDown(cool, r.COOLDOWN, hit, old, now);
        // A release runs the ON actions that the cool-down held back, as if the side turned on now.
        const bool was = step == CoolDownStep::Release ? false : old;
        if (step == CoolDownStep::Hold) {
            done.Mail = done.Program = done.Notification = HeldActionText(CoolDownEnd(cool, r.COOLDOWN, now));
        } else {
            if (hit != was)
                done.Notification = NotifyAlarm(hit, upper, rate, title);
            ++line->waiting;
            SendAlertMail(slot, hit, was, upper, rate, title, [line](const std::string& outcome) {
                line->entry.Mail = outcome;
                line->Settle();
            });
            done.Program = RunAlertApp(slot, hit, was, upper);
        }
    } else {
        cool.Held = false; // an ON the output did not act on is not owed to anyone later
    }
    (upper ? r.H_STATE : r.L_STATE) = hit;
    line->wanted = hit != old || step == CoolDownStep::Release;
    done.Time = AlarmLogTime(now);
    done.Slot = slot + 1;
    done.Pair = title;
    done.Upper = upper;
    done.On = hit;
    done.Rate = rate;
    line->Settle();
    return sideOn && hit; // sideOn is only set while ALEnable is on
}

bool CheckAlert(int slot, bool upper, bool mute, double rate, const std::string& title) {
    return CheckAlert(slot, upper, mute, rate, title, std::chrono::system_clock::now());
}

void FixSoundRefs(int position) {
    if (position < 0)
        return;
    for (TAlertConfig& r : Alerts) {
        FixRef(r.SOUND_H, position + 1);
        FixRef(r.SOUND_L, position + 1);
    }
}

void FixAppRefs(int position) {
    if (position < 0)
        return;
    for (TAlertConfig& r : Alerts) {
        FixRef(r.APP_H_ON, position + 1);
        FixRef(r.APP_H_OFF, position + 1);
        FixRef(r.APP_L_ON, position + 1);
        FixRef(r.APP_L_OFF, position + 1);
    }
}

void InstallAlertMailer(AlertMailer mailer) {
    g_mailer = std::move(mailer);
}

std::string PlayAlertSound(int slot, bool upper) {
    if (!ValidSlot(slot))
        return "none";
    const TAlertConfig& r = Alerts[slot];
    const std::string path = SoundPath(upper ? r.SOUND_H : r.SOUND_L);
    if (path.empty())
        return "none";
    PlaySoundFile(path);
    return LocalFileMissing(path) ? "missing " + path : "played";
}

void SendAlertMail(int slot, bool newState, bool oldState, bool upper, double rate, const std::string& title,
                   std::function<void(const std::string&)> outcome) {
    // Told once, whichever way the mail ends.
    auto tell = [once = std::make_shared<std::function<void(const std::string&)>>(std::move(outcome))](
                    const std::string& text) {
        if (*once)
            std::exchange(*once, nullptr)(text);
    };
    if (newState == oldState || !ValidSlot(slot))
        return tell({});
    const TAlertConfig& r = Alerts[slot];
    if (!(upper ? r.MAIL_H_SW : r.MAIL_L_SW))
        return tell("off");
    const char* tag = upper ? (newState ? " H ON:" : " H OFF:") : (newState ? " L ON:" : " L OFF");
    const std::string subject = "Quorvane " + title + tag + " " + FormatRate(rate);
    if (!g_mailer.account || !g_mailer.send)
        return tell("not-set-up");
    // A mail that fails, even by throwing, must not stop the monitor cycle that raised the alarm.
    try {
        const TMailAccount account = g_mailer.account();
        g_mailer.send(subject, account.From, account.To, std::string(),
                      [tell](bool sent, const std::string& why) {
                          tell(sent ? "sent" : why.empty() ? "failed" : "failed " + why);
                      });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane: alarm mail \"%s\" not sent: %s\n", subject.c_str(), e.what());
        tell(std::string("failed ") + e.what());
    } catch (...) {
        std::fprintf(stderr, "quorvane: alarm mail \"%s\" not sent\n", subject.c_str());
        tell("failed");
    }
}

std::string RunAlertApp(int slot, bool newState, bool oldState, bool upper) {
    if (newState == oldState || !ValidSlot(slot))
        return {};
    const TAlertConfig& r = Alerts[slot];
    if (!(upper ? r.APP_H_SW : r.APP_L_SW))
        return "off";
    const std::int32_t ref =
        upper ? (newState ? r.APP_H_ON : r.APP_H_OFF) : (newState ? r.APP_L_ON : r.APP_L_OFF);
    const std::string path = AppPath(ref);
    if (path.empty())
        return "none";
    ShellOpen(path, std::string());
    return (LocalFileMissing(path) ? "not-found " : "started ") + path;
}

std::string NotifyAlarm(bool newState, bool upper, double rate, const std::string& title) {
    if (!BasicData.Notify)
        return "off";
    const std::string summary = title + (upper ? " 上限警報 " : " 下限警報 ") + (newState ? "ON" : "OFF");
    const std::string why = ShowNotification(summary, FormatRate(rate));
    return why.empty() ? "sent" : "unavailable " + why;
}

} // namespace quorvane
