// quorvanectl alarms [--since TIME] [--pair PAIR] [--tail N] [--raw] [--log FILE]: the alarm log.
#include <charconv>
#include <deque>

#include "alert/AlarmLog.h"
#include "tools/Command.h"
#include "util/Text.h"
#include "util/Util.h"

namespace quorvane::ctl {

namespace {

const char* AlarmsHelp =
    "usage: quorvanectl alarms [--since TIME] [--pair PAIR] [--tail N] [--raw] [--log FILE]\n"
    "\n"
    "Prints Quorvane's alarm log, oldest first: every ON and OFF of a slot's upper (H) or lower (L)\n"
    "alarm with its rate, and what the sound, the mail, the program and the desktop notification did.\n"
    "\"held (cool-down until HH:MM)\": the slot's cool-down kept that mail, program and notification back.\n"
    "\n"
    "  --since TIME  only events at or after TIME: 2026-12-09, 2026-12-09T18:30 or 2026-12-09 18:30:05,\n"
    "                local time unless an offset (+09:00, Z) follows\n"
    "  --pair PAIR   only the events of PAIR, such as USD/JPY (any letter case)\n"
    "  --tail N      only the last N events (after the other choices)\n"
    "  --raw         the lines as the log holds them (tab-separated fields)\n"
    "  --log FILE    another log (default $XDG_STATE_HOME/quorvane/alarms.log,\n"
    "                ~/.local/state/quorvane/alarms.log); FILE.1, its older part, is read first\n"
    "  --help        this text\n"
    "\n"
    "Exit status 0, also when nothing was logged; 2 with the reason on standard error for bad options.\n";

struct AlarmsArguments {
    std::string log;
    std::optional<std::int64_t> since;
    std::string pair;
    std::optional<std::size_t> tail;
    bool raw = false;
    bool help = false;
};

// Reads the arguments; returns an error text, empty when they are usable.
std::string Parse(const std::vector<std::string>& args, AlarmsArguments& parsed) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--since" || arg == "--pair" || arg == "--tail" || arg == "--log";
        if (takesValue && i + 1 >= args.size())
            return arg + " needs a value";
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (arg == "--raw") {
            parsed.raw = true;
        } else if (arg == "--since") {
            parsed.since = ParseAlarmLogTime(args[++i]);
            if (!parsed.since)
                return "--since: \"" + args[i] + "\" is not a time like 2026-12-09T18:30";
        } else if (arg == "--pair") {
            parsed.pair = args[++i];
        } else if (arg == "--tail") {
            const std::string& n = args[++i];
            std::size_t value = 0;
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), value);
            if (ec != std::errc() || end != n.data() + n.size())
                return "--tail needs a number of events";
            parsed.tail = value;
        } else if (arg == "--log") {
            parsed.log = args[++i];
        } else {
            return "unknown argument " + arg;
        }
    }
    return {};
}

std::string Readable(const AlarmLogEntry& e) {
    return e.Time + "  slot " + std::to_string(e.Slot) + "  " + e.Pair + "  " + (e.Upper ? "H " : "L ") +
           (e.On ? "ON " : "OFF") + "  " + FormatRate(e.Rate, "", ".") + "  sound=" + e.Sound +
           "  mail=" + e.Mail + "  program=" + e.Program + "  notification=" + e.Notification;
}

} // namespace

int RunAlarmsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    AlarmsArguments parsed;
    const std::string usage = Parse(args, parsed);
    if (const auto ended = UsageEnds("alarms", usage, parsed.help, AlarmsHelp, out, err))
        return *ended;
    const std::string path = parsed.log.empty() ? DefaultAlarmLogPath() : parsed.log;
    const std::vector<std::string> lines = ReadAlarmLog(path);
    if (lines.empty())
        err << "quorvanectl alarms: no alarms logged in " << path << '\n';
    std::deque<std::string> shown;
    std::size_t unreadable = 0;
    for (const std::string& line : lines) {
        const auto entry = ParseAlarmLogLine(line);
        if (!entry) {
            ++unreadable;
            continue;
        }
        if (!parsed.pair.empty() && !EqualsIgnoringAsciiCase(entry->Pair, parsed.pair))
            continue;
        if (parsed.since) {
            const auto at = ParseAlarmLogTime(entry->Time);
            if (!at || *at < *parsed.since)
                continue;
        }
        shown.push_back(parsed.raw ? line : Readable(*entry));
        if (parsed.tail && shown.size() > *parsed.tail)
            shown.pop_front();
    }
    for (const std::string& line : shown)
        out << line << '\n';
    if (unreadable > 0)
        err << "quorvanectl alarms: " << unreadable << " unreadable line(s) of " << path << " left out\n";
    return ExitSuccess;
}

} // namespace quorvane::ctl
