// Settings: reading every setting from the settings file at start-up and writing it back at the end.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "alert/Alert.h"
#include "alert/App.h"
#include "alert/Sound.h"
#include "mail/Mail.h"
#include "settings/IniFile.h"
#include "util/MailAccount.h"
#include "util/Quotes.h"

namespace quorvane {

// What the settings need from the main window. The main window implements it; tools and tests use
// fixed geometry.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    virtual int WindowLeft() const = 0;
    virtual int WindowTop() const = 0;
    virtual int WindowWidth() const = 0;
    virtual int WindowHeight() const = 0;
    virtual void MoveWindow(int left, int top) = 0;
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    // Takes a whole slot table into Quotes (and the monitor's copy, and the titles).
    virtual void SetQuotes(const QuoteTable& table) = 0;
    virtual QuoteTable Quotes() const = 0;
};

// Stands in for the main window where there is none (quorvanectl): a window of fixed size on a screen of
// fixed size, 640 x 480 on 1024 x 768 unless told otherwise.
class FixedSettingsHost : public SettingsHost {
public:
    FixedSettingsHost(int windowWidth = 640, int windowHeight = 480, int screenWidth = 1024,
                      int screenHeight = 768);
    int WindowLeft() const override { return left_; }
    int WindowTop() const override { return top_; }
    int WindowWidth() const override { return windowWidth_; }
    int WindowHeight() const override { return windowHeight_; }
    void MoveWindow(int left, int top) override;
    int ScreenWidth() const override { return screenWidth_; }
    int ScreenHeight() const override { return screenHeight_; }
    void SetQuotes(const QuoteTable& table) override { quotes_ = table; }
    QuoteTable Quotes() const override { return quotes_; }

private:
    int windowWidth_, windowHeight_, screenWidth_, screenHeight_;
    int left_ = 0;
    int top_ = 0;
    QuoteTable quotes_;
};

// Everything the settings file holds, as one value.
struct Settings {
    std::optional<std::int32_t> Left, Top; // LOCATE_X and LOCATE_Y, when the file has them
    bool Mute = false;
    bool MonitorOn = false;
    std::int32_t Interval = 5;
    std::string ServiceURL;
    bool Notify = true;
    std::string RateSource = "auto";
    TSMTP Smtp;
    TPOP Pop;
    // PASSWORD_STORE: the passwords are in the desktop's keyring and the file's fields are empty.
    bool MailPasswordsInKeyring = false;
    TMailAccount Account;
    QuoteTable Quotes;
    std::array<TAlertConfig, SlotCount> Alerts;
    TASounds Sounds;
    TApps Apps;
};

// A save that failed at a stage; what() is the message the user sees ("...STEP=n").
class SettingsSaveError : public std::runtime_error {
public:
    explicit SettingsSaveError(int step);
    int Step() const { return step_; }

private:
    int step_;
};

// How a password is protected for the file; it throws when it cannot.
using PasswordSealer = std::function<std::string(const std::string& clearText)>;

// The settings in a file's bytes, every missing key at its default. Touches no program state. Throws
// std::runtime_error only when a line needs CP932 and the system has no converter.
Settings LoadSettings(std::string_view bytes);
Settings ReadSettings(const IniFile& ini);

// The bytes of a settings file holding settings, the passwords protected by seal (by default with the
// program's pass phrase). Touches no program state. A password that cannot be protected is never written
// in clear: the save throws SettingsSaveError with the stage of that password.
std::string SaveSettings(const Settings& settings, const PasswordSealer& seal = {});

// The program's settings as they are now: BasicData, the window position, the mail settings, host's
// slot table, Alerts and the registries.
Settings CurrentSettings(const SettingsHost& host);
// Makes settings the program's: the one place a load writes the program state. The window is kept on
// the screen (centred when the position is missing), slots are handed to the host one by one, the
// alarm states stay, and the registries are appended to.
void ApplySettings(const Settings& settings, SettingsHost& host);

// quorvane.ini beside the executable; when that folder is not writable, or the program is installed
// (PREFIX/bin with PREFIX/share/quorvane), $XDG_CONFIG_HOME/quorvane/quorvane.ini (default
// ~/.config/quorvane/), the folder created as needed.
std::string SettingsPath();
// The executable's path with its extension replaced by ".ini".
std::string IniPathBeside(const std::string& executable);

// Reads the file at path into BasicData, the window position, the mail settings, Quotes (through
// host.SetQuotes after every slot), Alerts and the sound and program registries (appended to). A missing
// file gives every default. Throws SettingsFileError when the file exists but cannot be read.
void LoadData(SettingsHost& host, const std::string& path);
// The same from a file's content already read (IniFile::ParseBytes), as the tools and tests use it.
void LoadData(SettingsHost& host, const IniFile& ini);

// Replaces the file at path with the current program state, the mail passwords protected. The old file
// stays intact on any failure: then ShowInfo tells the stage ("STEP=n") and the error is rethrown.
void SaveData(const SettingsHost& host, const std::string& path);

// The content SaveData writes, with the passwords protected or masked ("********"; empty stays empty).
enum class PasswordForm { Protected, Masked };
IniFile SettingsContent(const SettingsHost& host, PasswordForm passwords);

} // namespace quorvane
