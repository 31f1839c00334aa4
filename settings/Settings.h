// Settings: reading every setting from the settings file at start-up and writing it back at the end.
#pragma once

#include <string>

#include "settings/IniFile.h"
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

// quorvane.ini beside the executable; when that folder is not writable,
// $XDG_CONFIG_HOME/quorvane/quorvane.ini (default ~/.config/quorvane/), the folder created as needed.
std::string SettingsPath();
// The executable's path with its extension replaced by ".ini".
std::string IniPathBeside(const std::string& executable);

// Reads the file at path into BasicData, the window position, the mail settings, Quotes (through
// host.SetQuotes after every slot), Alerts and the sound and program registries (appended to). A missing
// file gives every default. Throws SettingsFileError when the file exists but cannot be read.
void LoadData(SettingsHost& host, const std::string& path);

// Replaces the file at path with the current program state, the mail passwords protected. The old file
// stays intact on any failure: then ShowInfo tells the stage ("STEP=n") and the error is rethrown.
void SaveData(const SettingsHost& host, const std::string& path);

// The content SaveData writes, with the passwords protected or masked ("********"; empty stays empty).
enum class PasswordForm { Protected, Masked };
IniFile SettingsContent(const SettingsHost& host, PasswordForm passwords);

} // namespace quorvane
