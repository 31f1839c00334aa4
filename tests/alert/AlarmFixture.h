// A clean alarm table and registries with the recorders installed, for one test.
#pragma once

#include <gtest/gtest.h>

#include "alert/Alert.h"
#include "alert/App.h"
#include "alert/Sound.h"
#include "fakes/AlarmRecorders.h"
#include "util/Util.h"

namespace quorvane::testing {

class AlarmTest : public ::testing::Test {
protected:
    void SetUp() override {
        Alerts = {};
        Sounds.clear();
        Apps.clear();
        InstallSoundPlayer(&sound);
        InstallShell(&shell);
        InstallAlertMailer(mail.Mailer());
        InstallNotifier(&notifier);
    }
    void TearDown() override {
        InstallSoundPlayer(nullptr);
        InstallShell(nullptr);
        InstallAlertMailer({});
        InstallNotifier(nullptr);
        Alerts = {};
        Sounds.clear();
        Apps.clear();
    }

    // A record that acts on both sides: every switch on, sound and programs registered.
    static TAlertConfig ActingConfig(std::int32_t type, double ah, double al) {
        TAlertConfig c = DefaultAlertConfig();
        c.ALTYPE = static_cast<AlarmType>(type);
        c.AH = ah;
        c.AL = al;
        c.MAIL_H_SW = c.MAIL_L_SW = true;
        c.APP_H_SW = c.APP_L_SW = true;
        c.SOUND_H = 1;
        c.SOUND_L = 2;
        c.APP_H_ON = 1;
        c.APP_H_OFF = 2;
        c.APP_L_ON = 3;
        c.APP_L_OFF = 4;
        return c;
    }
    static void RegisterEverything() {
        AddSound("high", "/snd/high.wav");
        AddSound("low", "/snd/low.wav");
        AddApp("h-on", "/bin/h-on");
        AddApp("h-off", "/bin/h-off");
        AddApp("l-on", "/bin/l-on");
        AddApp("l-off", "/bin/l-off");
    }

    ActionLog log;
    SoundRecorder sound{log};
    ShellRecorder shell{log};
    MailRecorder mail{log};
    NotificationRecorder notifier;
};

} // namespace quorvane::testing
