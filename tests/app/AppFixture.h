// Common ground of the window tests: fresh program state, recorders for the desktop, a settings folder.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "alert/Alert.h"
#include "alert/App.h"
#include "alert/Sound.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "util/Util.h"

namespace quorvane::test {

struct RecordingBoxes : MessageBoxes {
    std::vector<std::string> errors, infos;
    void Error(const std::string& text) override { errors.push_back(text); }
    void Info(const std::string& text) override { infos.push_back(text); }
};

struct RecordingSounds : SoundPlayer {
    std::vector<std::string> played;
    std::function<void()> onPlay;
    void Play(const std::string& path) override {
        played.push_back(path);
        if (onPlay)
            onPlay();
    }
};

struct RecordingShell : Shell {
    std::vector<std::string> opened;
    void Open(const std::string& target, const std::string&) override { opened.push_back(target); }
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Quotes = {};
        BasicData = {};
        for (auto& a : Alerts)
            a = DefaultAlertConfig();
        Sounds.clear();
        Apps.clear();
        InstallMessageBoxes(&boxes);
        InstallSoundPlayer(&sounds);
        InstallShell(&shell);
    }
    void TearDown() override {
        InstallShell(nullptr);
        InstallSoundPlayer(nullptr);
        InstallMessageBoxes(nullptr);
    }

    std::string SettingsPath() const { return dir.filePath(QStringLiteral("quorvane.ini")).toStdString(); }
    void WriteSettings(const std::string& text) const {
        std::ofstream out(SettingsPath(), std::ios::binary);
        out << text;
    }
    std::string ReadSettings() const {
        std::ifstream in(SettingsPath(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    QTemporaryDir dir;
    RecordingBoxes boxes;
    RecordingSounds sounds;
    RecordingShell shell;
};

// A slot table with the given pairs ("USD/JPY") shown in the given slots.
inline QuoteTable Table(std::initializer_list<std::pair<int, const char*>> shown) {
    QuoteTable t;
    for (const auto& [slot, pair] : shown) {
        const std::string text = pair;
        const auto slash = text.find('/');
        SetPair(t[slot], text.substr(0, slash), slash == std::string::npos ? "" : text.substr(slash + 1));
        t[slot].Enable = true;
    }
    return t;
}

} // namespace quorvane::test
