// IniFile: the in-memory copy of an INI-form settings file, with its reading and writing rules.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/Numbers.h"

namespace quorvane {

// Reading or writing a settings file failed; the text names the path and the system's reason.
class SettingsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class IniFile {
public:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    // Parses UTF-8 text. Never fails: what does not fit the rules is skipped.
    static IniFile Parse(std::string_view text);
    // Parses the bytes of a settings file: a UTF-8 byte order mark is dropped, each line that is valid
    // UTF-8 is read as UTF-8 and every other line as CP932, so one stray byte spoils one line only.
    // Throws std::runtime_error when a line needs CP932 and the system has no converter.
    static IniFile ParseBytes(std::string_view bytes);
    // A missing file gives an empty copy; otherwise ParseBytes of its content. Throws
    // SettingsFileError when the file exists but cannot be read.
    static IniFile Load(const std::string& path);

    // The trimmed value, or nothing when the section or key is missing. Names ignore ASCII case.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    std::string ReadString(std::string_view section, std::string_view key, const std::string& fallback) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const;
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
    double ReadReal(std::string_view section, std::string_view key, double fallback) const;

    // Sets a value, appending the section and key at the end when they are new. Line breaks in a value
    // become blanks so a value can never start a line of its own.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void WriteReal(std::string_view section, std::string_view key, double value);

    void Clear() {
        sections_.clear();
        sectionIndex_.clear();
    }
    const std::vector<Section>& Sections() const { return sections_; }

    // The file text: UTF-8, CR LF, one empty line after every section.
    std::string Text() const;
    // Replaces the file at path with Text() atomically (see ReplaceFile).
    void Save(const std::string& path) const;

private:
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;
    Section& AddSection(std::string_view name);

    std::vector<Section> sections_;
    // Section names in ASCII lower case to their place in sections_: a file of many sections loads in
    // time that grows with its size, not with its square.
    std::unordered_map<std::string, std::size_t> sectionIndex_;
};

// Writes content to a new file beside path (mode 0600), flushes it to disk and renames it over path.
// On any failure the old file is left as it was and SettingsFileError is thrown. An existing file that
// the user may not write is not replaced either.
void ReplaceFile(const std::string& path, std::string_view content);

} // namespace quorvane
