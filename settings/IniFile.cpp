#include "settings/IniFile.h"
#include "util/Text.h"

#include "settings/TextEncoding.h"
#include "util/FileRead.h"

#include <cerrno>
#include <cstring>

namespace quorvane {

namespace {

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
                current = &ini.AddSection(name);
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

IniFile IniFile::ParseBytes(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    if (IsValidUtf8(bytes))
        return Parse(bytes);
    // Runs of lines that are not UTF-8 are converted at once; CP932 keeps CR and LF as they are.
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 2);
    std::size_t runStart = std::string_view::npos;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(start, end - start);
        if (IsValidUtf8(line)) {
            if (runStart != std::string_view::npos)
                text += Cp932ToUtf8(bytes.substr(runStart, start - runStart));
            runStart = std::string_view::npos;
            text += line;
        } else if (runStart == std::string_view::npos) {
            runStart = start;
        }
        start = end;
    }
    if (runStart != std::string_view::npos)
        text += Cp932ToUtf8(bytes.substr(runStart));
    return Parse(text);
}

IniFile IniFile::Load(const std::string& path) {
    bool missing = false;
    const std::string bytes = ReadWholeFile(path, missing);
    if (missing)
        return {};
    return ParseBytes(bytes);
}

namespace {

std::string LowerName(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

} // namespace

IniFile::Section* IniFile::FindSection(std::string_view name) {
    const auto it = sectionIndex_.find(LowerName(name));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section& IniFile::AddSection(std::string_view name) {
    sectionIndex_.emplace(LowerName(name), sections_.size());
    return sections_.emplace_back(Section{std::string(name), {}});
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
        s = &AddSection(section);
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

void ReplaceFile(const std::string& path, std::string_view content) {
    if (const int error = ReplaceFileBytes(path, content); error != 0)
        ThrowFileError("設定ファイルを書き込めません", path, error);
}

} // namespace quorvane
