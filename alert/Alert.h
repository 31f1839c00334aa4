// Alert: per-slot alarm records, their evaluation and the alarm actions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "alert/CoolDown.h"
#include "util/MailAccount.h"
#include "util/Quotes.h"

namespace quorvane {

// How a slot's limits are given, numbered as in the settings file; any other number never alarms.
enum class AlarmType : std::int32_t { Absolute = 0, Deviation = 1, Never = 2 };

// One slot's alarm settings and states. Field order and names follow the settings keys.
struct TAlertConfig {
    bool ALEnable = false;
    double AH = 0, AL = 0, BASE = 0, DH = 0, DL = 0;
    bool AH_ON = false, AL_ON = false;
    bool MAIL_H_SW = false, MAIL_L_SW = false;
    bool APP_H_SW = false, APP_L_SW = false;
    AlarmType ALTYPE = AlarmType::Absolute; // absolute limits, or base and deviation
    std::int32_t SOUND_H = 0, SOUND_L = 0;  // 1-based positions in Sounds, 0 none
    std::int32_t APP_H_ON = 0, APP_H_OFF = 0, APP_L_ON = 0, APP_L_OFF = 0; // 1-based positions in Apps
    std::int32_t COOLDOWN = 0; // minutes after a side's ON actions during which its actions are held back
    bool H_STATE = false, L_STATE = false; // not stored
    TCoolDown H_COOL, L_COOL;              // not stored

    bool operator==(const TAlertConfig&) const = default;
};

// The record a settings load starts from when a key is missing.
TAlertConfig DefaultAlertConfig();

extern std::array<TAlertConfig, SlotCount> Alerts;

// Replaces the slot's record by config, except the two alarm states and cool-downs, which the slot keeps.
void SetAlertConfig(int slot, const TAlertConfig& config);

// Evaluates one side of a slot against rate, runs that side's actions, stores the side's state and
// returns whether its indicator is to be lit. A change of state is written to the alarm log with what
// the actions did, once the outcome of its mail is known; on a change with the side's output on, a desktop
// notification is shown first (unless BasicData.Notify is off), ahead of the mail, which may take as long as
// the mail server does. With the slot's COOLDOWN set, the notification, mail and program of a transition may
// be held back or released later (CoolDown.h); the indicator and the sound are not affected. now is the time
// of the rate; the form without it takes the system clock.
bool CheckAlert(int slot, bool upper, bool mute, double rate, const std::string& title, AlarmTime now);
bool CheckAlert(int slot, bool upper, bool mute, double rate, const std::string& title);

// After the registry entry at 0-based position was removed: every reference to it becomes 0, every
// reference behind it moves one place forward, in all eight records.
void FixSoundRefs(int position);
void FixAppRefs(int position);

// The mail delivery as the alarm path sees it, so that the alarms do not link the mail module. The
// program installs a queue that sends on a worker thread; tests install recorders. send hands one message
// on and returns; done is to be called once, on the thread that raised the alarm, with whether it was
// delivered and, when not, why ("SMTP: RCPT TO 550: ..."), either before send returns or later. While
// account or send is missing, alarm mails are dropped. An exception thrown by send counts as a failed mail.
using AlertMailDone = std::function<void(bool sent, const std::string& why)>;
struct AlertMailer {
    std::function<TMailAccount()> account;
    std::function<void(const std::string& subject, const std::string& from, const std::string& to,
                       const std::string& body, AlertMailDone done)>
        send;
};
void InstallAlertMailer(AlertMailer mailer);

// The three actions of one side of a slot. Each reads the slot's record as it is now and shows the user
// nothing: a missing sound, program or mail server leaves no trace on the screen. Each tells what it
// did in the words of the alarm log ("played", "failed SMTP: no such user", "off"); the mail and the
// program tell an empty text when the state did not change. The mail tells it to outcome, once, when it
// is known, which for a mail handed on is after SendAlertMail has returned.
std::string PlayAlertSound(int slot, bool upper);
void SendAlertMail(int slot, bool newState, bool oldState, bool upper, double rate, const std::string& title,
                   std::function<void(const std::string&)> outcome = {});
std::string RunAlertApp(int slot, bool newState, bool oldState, bool upper);

// The desktop notification of a transition: summary "USD/JPY 上限警報 ON", body the rate as the mail
// subject shows it. Returns what became of it in the words of the alarm log ("sent", "off", ...).
std::string NotifyAlarm(bool newState, bool upper, double rate, const std::string& title);

} // namespace quorvane
