// Util: shared state and small services used across the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

struct TBasicData {
    bool Mute = false;
    std::int32_t Interval = 0; // seconds between monitor cycles
    bool MonitorOn = false;
    std::string ServiceURL; // rate service description address from the settings; empty: the default
    bool Notify = true;     // desktop notifications at alarm transitions
    std::string RateSource = "auto"; // the built-in service's source: "ecb", or anything else for automatic
};
extern TBasicData BasicData;

// The desktop side of message boxes. The windows install theirs at start-up; tests install recorders.
// Without one, messages go to standard error.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void Error(const std::string& text) = 0; // modal, caption "エラー"
    virtual void Info(const std::string& text) = 0;  // modal, caption "情報"
};
void InstallMessageBoxes(MessageBoxes* boxes);

// Modal message boxes with one OK button; return when the user has closed them.
void ShowError(const std::string& text);
void ShowInfo(const std::string& text);

// Opening a file, program or web address the way the desktop does. Tests install recorders.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void Open(const std::string& target, const std::string& parameters) = 0;
};
void InstallShell(Shell* shell); // nullptr restores the real desktop shell

// Starts target (an executable directly, anything else through the desktop's opener); never waits,
// never reports: a missing file or opener is dropped silently. A non-empty parameters text is split
// at blanks into the program's arguments; documents and web addresses take none.
void ShellOpen(const std::string& target, const std::string& parameters);

// A number with exactly four decimals and thousands grouping: FormatRate(1234.5, ',', '.') is "1,234.5000".
// The number is first taken to 15 significant digits, then rounded half away from zero to four
// decimals; a result that rounds to zero carries no minus sign.
std::string FormatRate(double value, char thousands, char decimal);
// The same for separators of several bytes (UTF-8, as some locales have); empty thousands: no grouping.
std::string FormatRate(double value, std::string_view thousands, std::string_view decimal);
// The same with the separators of the user's locale (LC_ALL, LC_NUMERIC, LANG), read from the
// environment on every call and independent of setlocale; the C locale's when that names none.
std::string FormatRate(double value);

} // namespace quorvane
