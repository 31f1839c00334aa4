#include "settings/IniFile.h"
#include "util/Text.h"

#include "settings/TextEncoding.h"
#include "util/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace quorvane {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Splits on CR LF, CR and LF alike.
template <class Fn> void ForEachLine(std::string_view text, Fn&& fn) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            fn(text.substr(start));
            return;
        }
        fn(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
}

std::string SingleLine(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

std::string SystemReason(int error) {
    return std::strerror(error);
}

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int error) {
    throw SettingsFileError(std::string(what) + ": " + path + ": " + SystemReason(error));
}

constexpr std::size_t MaxFileSize = 16u << 20;

std::string ReadWholeFile(const std::string& path, bool& missing) {
    FileBytes file = ReadFileBounded(path, MaxFileSize);
    missing = file.error == ENOENT;
    if (file.error != 0 && !missing)
        ThrowFileError("設定ファイルを読み込めません", path, file.error);
    return std::move(file.bytes);
}

} // namespace

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    bool hex = false;
    if (!text.empty() && text.front() == '$') {
        hex = true;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (char c : text) {
        const int digit = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (hex) {
        auto bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> ParseReal(std::string_view text) {
    std::string s(text);
    const std::string_view localPoint = std::localeconv()->decimal_point;
    if (!localPoint.empty() && localPoint != "." && s.find('.') == std::string::npos) {
        const std::size_t at = s.find(localPoint);
        if (at != std::string::npos)
            s = s.substr(0, at).append(".").append(s, at + localPoint.size());
    }
    std::string_view digits = s;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-')
        digits.remove_prefix(1);
    if (digits.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string FormatReal(double value) {
    if (!std::isfinite(value) || value == 0)
        return "0";
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string_view sci(buffer, static_cast<std::size_t>(result.ptr - buffer)); // "-d.dddddddddddddde+XX"
    const bool negative = sci.front() == '-';
    if (negative)
        sci.remove_prefix(1);
    const std::size_t e = sci.find('e');
    std::string digits;
    digits += sci[0];
    digits += sci.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());

    std::string out = negative ? "-" : "";
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        } else {
            const auto whole = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= whole)
                out += digits + std::string(whole - digits.size(), '0');
            else
                out.append(digits, 0, whole).append(".").append(digits, whole);
        }
    } else {
        out += digits.front();
        if (digits.size() > 1)
            out.append(".").append(digits, 1);
        out.append("E").append(std::to_string(exponent));
    }
    return out;
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    Section* current = nullptr;
    ForEachLine(text, [&](std::string_view raw) {
        const std::string_view line = TrimControls(raw);
        if (line.empty() || line.front() == ';')
            return;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            const std::string_view name = TrimControls(line.substr(1, line.size() - 2));
            current = ini.FindSection(name);
            if (!current)
                current = &ini.sections_.emplace_back(Section{std::string(name), {}});
            return;
        }
        const std::size_t eq = line.find('=');
        if (!current || eq == std::string_view::npos)
            return;
        current->entries.push_back(
            Entry{std::string(TrimControls(line.substr(0, eq))), std::string(TrimControls(line.substr(eq + 1)))});
    });
    return ini;
}

IniFile IniFile::Load(const std::string& path) {
    bool missing = false;
    std::string text = ReadWholeFile(path, missing);
    if (missing)
        return {};
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    if (!IsValidUtf8(text))
        text = Cp932ToUtf8(text);
    return Parse(text);
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
    for (Section& s : sections_)
        if (EqualsIgnoringAsciiCase(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
    return const_cast<IniFile*>(this)->FindSection(name);
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    if (const Section* s = FindSection(section))
        for (const Entry& e : s->entries)
            if (EqualsIgnoringAsciiCase(e.key, key))
                return e.value;
    return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string& fallback) const {
    return Find(section, key).value_or(fallback);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
    const auto text = Find(section, key);
    return text ? ParseInteger(*text).value_or(fallback) : fallback;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    const auto text = Find(section, key);
    const auto value = text ? ParseInteger(*text) : std::nullopt;
    return value ? *value != 0 : fallback;
}

double IniFile::ReadReal(std::string_view section, std::string_view key, double fallback) const {
    const auto text = Find(section, key);
    return text ? ParseReal(*text).value_or(fallback) : fallback;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = FindSection(section);
    if (!s)
        s = &sections_.emplace_back(Section{std::string(section), {}});
    for (Entry& e : s->entries)
        if (EqualsIgnoringAsciiCase(e.key, key)) {
            e.value = SingleLine(value);
            return;
        }
    s->entries.push_back(Entry{std::string(key), SingleLine(value)});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::WriteReal(std::string_view section, std::string_view key, double value) {
    WriteString(section, key, FormatReal(value));
}

std::string IniFile::Text() const {
    std::string out;
    for (const Section& s : sections_) {
        out += "[" + s.name + "]\r\n";
        for (const Entry& e : s.entries)
            out += e.key + "=" + e.value + "\r\n";
        out += "\r\n";
    }
    return out;
}

void IniFile::Save(const std::string& path) const {
    ReplaceFile(path, Text());
}

namespace {

// A symbolic link stays in place; the file it points to is replaced.
std::filesystem::path ResolveTarget(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            return resolved;
    }
    return path;
}

void WriteAll(int fd, std::string_view content, const std::string& path) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowFileError("設定ファイルを書き込めません", path, errno);
        content.remove_prefix(static_cast<std::size_t>(n));
    }
}

void SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get()); // the rename is done; a folder that cannot be synced is no reason to fail
}

} // namespace

void ReplaceFile(const std::string& path, std::string_view content) {
    const std::filesystem::path target = ResolveTarget(path);
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
        ThrowFileError("設定ファイルを書き込めません", path, errno);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string hidden(1, '.');
    hidden.append(target.filename().string()).append(".XXXXXX");
    std::string temp = (folder / hidden).string();

    FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0)
        ThrowFileError("設定ファイルを書き込めません", path, errno);
    try {
        if (::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0)
            ThrowFileError("設定ファイルを書き込めません", path, errno);
        WriteAll(fd.get(), content, path);
        if (::fsync(fd.get()) != 0 || fd.close() != 0)
            ThrowFileError("設定ファイルを書き込めません", path, errno);
        if (::rename(temp.c_str(), target.c_str()) != 0)
            ThrowFileError("設定ファイルを書き込めません", path, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    SyncFolder(folder);
}

} // namespace quorvane
