// AlarmLog: one line per alarm transition and what its actions did, for the user and for tools.
//
// The file is plain UTF-8 text, one event per line ended by LF, ten fields separated by tabs:
//
//   time  slot  pair  side  state  rate  sound  mail  program  notification
//
//   time          local time with its offset, 2026-12-09T18:40:12+09:00
//   slot          1 to 8, as the main window numbers the slots
//   pair          the slot's pair title, USD/JPY
//   side          H (upper limit) or L (lower limit)
//   state         ON or OFF: the state the side went into
//   rate          the rate that caused it, as a decimal number with a full stop (160.25)
//   sound         played | muted | none (no sound chosen) | missing PATH | - (an OFF has no sound)
//   mail          sent | failed REASON (the mail module's: "SMTP: no such user") | off (mail switch off)
//                 | not-set-up
//   program       started PATH | not-found PATH | none (no program chosen) | off (program switch off)
//   notification  sent | off (turned off in the settings) | unavailable REASON
//
// A transition whose notification, mail and program the slot's cool-down held back has "held (cool-down
// until HH:MM)" in those three fields, HH:MM the local time the cool-down ends. When it ends with the side
// still on after a held ON, the ON actions run then and are logged as one more ON at that time.
// While the side's alarm output is off, the four action fields are "output-off". Tabs, line breaks and
// other control characters inside a field are written as blanks. When the file would grow past its
// limit it is renamed to the same name with ".1" (replacing an older one) and a new file is begun.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct AlarmLogEntry {
    std::string Time;
    int Slot = 0; // 1..8
    std::string Pair;
    bool Upper = true;
    bool On = true;
    double Rate = 0;
    std::string Sound, Mail, Program, Notification;
};

inline constexpr std::uintmax_t DefaultAlarmLogLimit = 1024 * 1024;

// $XDG_STATE_HOME/quorvane/alarms.log, ~/.local/state/quorvane/alarms.log when that is not set.
std::string DefaultAlarmLogPath();

// From now on, transitions are appended to the file at path (its folder is made when missing), which
// is kept below limit bytes by rotation. An empty path: nothing is logged (the state at start).
void OpenAlarmLog(const std::string& path, std::uintmax_t limit = DefaultAlarmLogLimit);
std::string AlarmLogPath();

// Appends the entry as one line and hands it to the system at once. A failure to write is reported
// once on standard error and otherwise ignored.
void WriteAlarmLog(const AlarmLogEntry& entry);

// The current local time, or the time given, in the form of the time field.
std::string AlarmLogTime();
std::string AlarmLogTime(std::chrono::system_clock::time_point time);

// What an action field says of an action held back by a cool-down that ends at until.
std::string HeldActionText(std::chrono::system_clock::time_point until);

std::string FormatAlarmLogLine(const AlarmLogEntry& entry); // without the line end
// The entry of one line; nothing when the line does not have the ten fields or a readable slot and rate.
std::optional<AlarmLogEntry> ParseAlarmLogLine(std::string_view line);

// Seconds since the epoch of a time field (an offset, when present, is honoured; without one the time
// is local); nothing when the text is not such a time.
std::optional<std::int64_t> ParseAlarmLogTime(std::string_view text);

// The lines of the log at path, oldest first: those of the rotated file, then those of the current one.
// Missing files give no lines; of each file at most the first 64 MiB are read, lines over 64 KiB left out.
std::vector<std::string> ReadAlarmLog(const std::string& path);

} // namespace quorvane
