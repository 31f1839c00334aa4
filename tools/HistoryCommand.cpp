// quorvanectl history FROM TO [--since TIME] [--until TIME] [--csv] [--file PATH]: the stored rates.
#include <charconv>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>

#include "alert/AlarmLog.h"
#include "history/HistoryStore.h"
#include "tools/Command.h"

namespace quorvane::ctl {

namespace {

const char* HistoryHelp =
    "usage: quorvanectl history FROM TO [--since TIME] [--until TIME] [--csv] [--file PATH]\n"
    "\n"
    "Prints the stored rates of the pair FROM/TO, oldest first: local time, rate, source\n"
    "(service: a monitor cycle's answer, intraday, ecb-daily: the ECB's reference rate of a day).\n"
    "\n"
    "  --since TIME  only rates at or after TIME: 2026-12-09, 2026-12-09T18:30 or 2026-12-09 18:30:05,\n"
    "                local time unless an offset such as +09:00 follows\n"
    "  --until TIME  only rates at or before TIME; a date alone takes in the whole day\n"
    "  --csv         comma-separated with the heading time,rate,source, for a spreadsheet\n"
    "  --file PATH   another history file (default $XDG_DATA_HOME/quorvane/history.sqlite,\n"
    "                ~/.local/share/quorvane/history.sqlite)\n"
    "  --help        this text\n"
    "\n"
    "Exit status 0, also when nothing is stored; 1 when the file cannot be read; 2 for wrong arguments.\n";

struct HistoryArguments {
    std::vector<std::string> codes;
    std::int64_t since = std::numeric_limits<std::int64_t>::min();
    std::int64_t until = std::numeric_limits<std::int64_t>::max();
    std::string file;
    bool csv = false;
    bool help = false;
};

std::optional<std::int64_t> ParseBound(const std::string& text, bool end) {
    auto at = ParseAlarmLogTime(text);
    if (at && end && text.size() == 10) // a date alone: to its last second
        *at += 86399;
    return at;
}

std::string Parse(const std::vector<std::string>& args, HistoryArguments& parsed) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--since" || arg == "--until" || arg == "--file";
        if (takesValue && i + 1 >= args.size())
            return arg + " needs a value";
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (arg == "--csv") {
            parsed.csv = true;
        } else if (arg == "--file") {
            parsed.file = args[++i];
        } else if (arg == "--since" || arg == "--until") {
            const auto at = ParseBound(args[++i], arg == "--until");
            if (!at)
                return arg + ": \"" + args[i] + "\" is not a time like 2026-12-09T18:30";
            (arg == "--since" ? parsed.since : parsed.until) = *at;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            parsed.codes.push_back(arg);
        }
    }
    if (!parsed.help && parsed.codes.size() != 2)
        return "expected two currency codes, FROM and TO";
    return {};
}

std::string LocalTime(std::int64_t at) {
    const std::time_t t = static_cast<std::time_t>(at);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string RateText(double rate) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, rate);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

} // namespace

int RunHistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    HistoryArguments parsed;
    const std::string usage = Parse(args, parsed);
    if (const auto ended = UsageEnds("history", usage, parsed.help, HistoryHelp, out, err))
        return *ended;
    const auto pair = ReadPair("history", parsed.codes, err);
    if (!pair)
        return ExitFailure;
    const std::string path = parsed.file.empty() ? history::DefaultHistoryPath() : parsed.file;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        err << "quorvanectl history: no history at " << path << '\n';
        return ExitFailure;
    }
    std::string problem;
    history::StoreOptions options;
    options.readOnly = true;
    const history::HistoryStore store(
        path, [&](const std::string& line) { problem = line; }, options);
    if (!store.IsOpen()) {
        err << "quorvanectl history: " << problem << '\n';
        return ExitFailure;
    }
    if (parsed.csv)
        out << "time,rate,source\n";
    const auto [from, to] = *pair;
    for (const history::RatePoint& point : store.Read(from, to, parsed.since, parsed.until)) {
        const char* separator = parsed.csv ? "," : "  ";
        out << LocalTime(point.at) << separator << RateText(point.rate) << separator
            << history::SourceName(point.source) << '\n';
    }
    return ExitSuccess;
}

} // namespace quorvane::ctl
