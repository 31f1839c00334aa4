// Small text helpers with the rules in their names. ASCII only: the protocols and file formats that use
// them are defined in ASCII, and the user's locale must not change how a keyword compares.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Blank sets for TrimBlanks.
inline constexpr std::string_view SpaceTabCrLf = " \t\r\n"; // XML, HTTP and INI white space
inline constexpr std::string_view SpaceTab = " \t";        // white space inside a mail header line

constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// text without the leading and trailing characters that appear in blanks.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = SpaceTabCrLf);
// text without leading and trailing control characters, spaces and DEL (bytes up to 0x20, and 0x7F).
std::string_view TrimControls(std::string_view text);

// True for an address that begins with "http://" or "https://", in any case.
bool IsHttpAddress(std::string_view address);

// The shortest decimal text that reads back as exactly value ("0.0067", "1e-07"), with "." whatever the
// locale; "nan", "inf" and "-inf" for the values that have no digits.
std::string ShortestNumberText(double value);

} // namespace quorvane
