#include "alert/AlarmLog.h"

#include "util/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace quorvane {

namespace {

constexpr std::size_t FieldCount = 10;
// A server may answer with a reply of many kilobytes; a line of the log stays readable.
constexpr std::size_t MaxFieldBytes = 400;
constexpr std::size_t MaxReadLine = 64 * 1024;
// The program's own files stay near their limit; any other file named to the reader must not fill memory.
constexpr std::size_t MaxReadFile = 64 * 1024 * 1024;

std::string g_path;
std::uintmax_t g_limit = DefaultAlarmLogLimit;
bool g_reported = false;

// Control characters would break the line into fields or lines of its own.
std::string Field(std::string_view text) {
    std::string out;
    out.reserve(std::min(text.size(), MaxFieldBytes));
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7f ? ' ' : c;
    }
    if (out.size() > MaxFieldBytes) {
        std::size_t cut = MaxFieldBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 sequence
        out.resize(cut);
        out += "...";
    }
    return out;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

template <class T> std::optional<T> Number(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string LocalTimeText(std::chrono::system_clock::time_point time, const char* format) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[40];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, format, &local));
}

void ReportOnce(const std::string& what) {
    if (g_reported)
        return;
    g_reported = true;
    std::fprintf(stderr, "quorvane: alarm log %s: %s\n", g_path.c_str(), what.c_str());
}

void RotateIfFull(std::size_t adding) {
    struct stat st {};
    if (::stat(g_path.c_str(), &st) != 0 || st.st_size == 0)
        return;
    if (static_cast<std::uintmax_t>(st.st_size) + adding <= g_limit)
        return;
    const std::string older = g_path + ".1";
    if (::rename(g_path.c_str(), older.c_str()) != 0)
        ReportOnce("cannot rotate");
}

void AppendLines(std::ifstream& in, std::vector<std::string>& lines) {
    std::string line;
    bool overlong = false;
    char c;
    for (std::size_t read = 0; read < MaxReadFile && in.get(c); ++read) {
        if (c == '\n') {
            if (!overlong)
                lines.push_back(line);
            line.clear();
            overlong = false;
        } else if (line.size() < MaxReadLine) {
            line += c;
        } else {
            overlong = true;
        }
    }
    if (!line.empty() && !overlong)
        lines.push_back(line);
}

} // namespace

std::string DefaultAlarmLogPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "state";
    else
        base = std::filesystem::temp_directory_path();
    return (base / "quorvane" / "alarms.log").string();
}

void OpenAlarmLog(const std::string& path, std::uintmax_t limit) {
    g_path = path;
    g_limit = limit;
    g_reported = false;
}

std::string AlarmLogPath() {
    return g_path;
}

std::string AlarmLogTime() {
    return AlarmLogTime(std::chrono::system_clock::now());
}

std::string AlarmLogTime(std::chrono::system_clock::time_point time) {
    std::string text = LocalTimeText(time, "%Y-%m-%dT%H:%M:%S%z");
    if (text.size() == 24)
        text.insert(22, ":"); // +0900 as +09:00
    return text;
}

std::string HeldActionText(std::chrono::system_clock::time_point until) {
    return "held (cool-down until " + LocalTimeText(until, "%H:%M") + ")";
}

std::string FormatAlarmLogLine(const AlarmLogEntry& e) {
    const std::string fields[FieldCount] = {
        Field(e.Time),    std::to_string(e.Slot), Field(e.Pair), e.Upper ? "H" : "L", e.On ? "ON" : "OFF",
        ShortestNumberText(e.Rate), Field(e.Sound),         Field(e.Mail), Field(e.Program),    Field(e.Notification)};
    std::string line;
    for (const std::string& f : fields) {
        if (!line.empty())
            line += '\t';
        line += f;
    }
    return line;
}

std::optional<AlarmLogEntry> ParseAlarmLogLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::vector<std::string_view> f = SplitTabs(line);
    if (f.size() != FieldCount)
        return std::nullopt;
    const auto slot = Number<int>(f[1]);
    const auto rate = Number<double>(f[5]);
    if (!slot || !rate || (f[3] != "H" && f[3] != "L") || (f[4] != "ON" && f[4] != "OFF"))
        return std::nullopt;
    return AlarmLogEntry{std::string(f[0]), *slot,
                         std::string(f[2]), f[3] == "H",
                         f[4] == "ON",      *rate,
                         std::string(f[6]), std::string(f[7]),
                         std::string(f[8]), std::string(f[9])};
}

std::optional<std::int64_t> ParseAlarmLogTime(std::string_view text) {
    // YYYY-MM-DD, optionally followed by T or a blank and HH:MM, :SS, and +HH:MM, -HH:MM or Z.
    auto digits = [&](std::size_t at, std::size_t n) -> std::optional<int> {
        if (at + n > text.size())
            return std::nullopt;
        return Number<int>(text.substr(at, n));
    };
    std::tm t{};
    const auto year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    t.tm_year = *year - 1900;
    t.tm_mon = *month - 1;
    t.tm_mday = *day;
    std::size_t at = 10;
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        const auto hour = digits(at + 1, 2), minute = digits(at + 4, 2);
        if (!hour || !minute || text[at + 3] != ':')
            return std::nullopt;
        t.tm_hour = *hour;
        t.tm_min = *minute;
        at += 6;
        if (at < text.size() && text[at] == ':') {
            const auto second = digits(at + 1, 2);
            if (!second)
                return std::nullopt;
            t.tm_sec = *second;
            at += 3;
        }
    }
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 || t.tm_min > 59 ||
        t.tm_sec > 60)
        return std::nullopt;
    if (at == text.size()) {
        t.tm_isdst = -1;
        const std::time_t local = std::mktime(&t);
        return local == static_cast<std::time_t>(-1) ? std::nullopt : std::optional<std::int64_t>(local);
    }
    int offset = 0;
    if (text.substr(at) != "Z") {
        const auto hours = digits(at + 1, 2), minutes = digits(at + 4, 2);
        if ((text[at] != '+' && text[at] != '-') || !hours || !minutes || text[at + 3] != ':' ||
            at + 6 != text.size())
            return std::nullopt;
        offset = (*hours * 60 + *minutes) * 60 * (text[at] == '-' ? -1 : 1);
    }
    return static_cast<std::int64_t>(timegm(&t)) - offset;
}

void WriteAlarmLog(const AlarmLogEntry& entry) {
    if (g_path.empty())
        return;
    const std::string line = FormatAlarmLogLine(entry) + '\n';
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(g_path).parent_path(), ec);
    RotateIfFull(line.size());
    const int fd = ::open(g_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        ReportOnce("cannot open for writing");
        return;
    }
    // One write of the whole line: a reader never sees half an event.
    const ssize_t written = ::write(fd, line.data(), line.size());
    if (written != static_cast<ssize_t>(line.size()))
        ReportOnce("cannot write");
    ::close(fd);
}

std::vector<std::string> ReadAlarmLog(const std::string& path) {
    std::vector<std::string> lines;
    for (const std::string& file : {path + ".1", path}) {
        std::ifstream in(file, std::ios::binary);
        if (in)
            AppendLines(in, lines);
    }
    return lines;
}

} // namespace quorvane
