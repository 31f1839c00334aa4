#include <string>

#include "alert/AlarmFixture.h"

using namespace quorvane;
using quorvane::testing::AlarmTest;

namespace {

using RegistryTest = AlarmTest;

TEST_F(RegistryTest, PathIsEmptyForEveryReferenceOutsideTheList) {
    EXPECT_EQ(SoundCount(), 0);
    EXPECT_EQ(SoundPath(1), "");
    EXPECT_EQ(AppPath(1), "");
    AddSound("chime", "/snd/chime.wav");
    AddSound("bell", "/snd/bell.wav");
    AddApp("mailer", "/usr/bin/mailer");
    EXPECT_EQ(SoundCount(), 2);
    EXPECT_EQ(AppCount(), 1);
    EXPECT_EQ(SoundPath(1), "/snd/chime.wav");
    EXPECT_EQ(SoundPath(2), "/snd/bell.wav");
    EXPECT_EQ(AppPath(1), "/usr/bin/mailer");
    for (int ref : {0, -1, 3, 1 << 30})
        EXPECT_EQ(SoundPath(ref), "") << ref;
    for (int ref : {0, -1, 2})
        EXPECT_EQ(AppPath(ref), "") << ref;
}

TEST_F(RegistryTest, RemovingAnEntryFixesEveryReferenceToItAndBehindIt) {
    AddSound("A", "/a.wav");
    AddSound("B", "/b.wav");
    AddSound("C", "/c.wav");
    Alerts[0].SOUND_H = 2;
    Alerts[0].SOUND_L = 3;
    Alerts[1].SOUND_H = 1;
    Alerts[7].SOUND_L = 2;

    DeleteSound(1);

    ASSERT_EQ(SoundCount(), 2);
    EXPECT_EQ(Sounds[0].Name, "A");
    EXPECT_EQ(Sounds[1].Name, "C");
    EXPECT_EQ(Alerts[0].SOUND_H, 0);
    EXPECT_EQ(Alerts[0].SOUND_L, 2);
    EXPECT_EQ(SoundPath(Alerts[0].SOUND_L), "/c.wav");
    EXPECT_EQ(Alerts[1].SOUND_H, 1);
    EXPECT_EQ(Alerts[7].SOUND_L, 0);
}

TEST_F(RegistryTest, RemovingTheOnlyEntryLeavesAnEmptyListAndNoReferences) {
    AddApp("only", "/bin/only");
    for (auto& r : Alerts)
        r.APP_H_ON = r.APP_H_OFF = r.APP_L_ON = r.APP_L_OFF = 1;
    DeleteApp(0);
    EXPECT_EQ(AppCount(), 0);
    EXPECT_EQ(AppPath(1), "");
    for (const auto& r : Alerts)
        EXPECT_EQ(r, TAlertConfig{});
}

TEST_F(RegistryTest, ProgramRemovalFixesTheFourProgramReferencesAndNoSoundReference) {
    for (const char* n : {"p1", "p2", "p3"})
        AddApp(n, std::string("/bin/") + n);
    for (const char* n : {"s1", "s2", "s3"})
        AddSound(n, std::string("/snd/") + n);
    for (auto& r : Alerts) {
        r.APP_H_ON = 1;
        r.APP_H_OFF = 2;
        r.APP_L_ON = 3;
        r.APP_L_OFF = 3;
        r.SOUND_H = 2;
        r.SOUND_L = 3;
    }
    DeleteApp(0);
    for (const auto& r : Alerts) {
        EXPECT_EQ(r.APP_H_ON, 0);
        EXPECT_EQ(r.APP_H_OFF, 1);
        EXPECT_EQ(r.APP_L_ON, 2);
        EXPECT_EQ(r.APP_L_OFF, 2);
        EXPECT_EQ(r.SOUND_H, 2);
        EXPECT_EQ(r.SOUND_L, 3);
    }
    DeleteSound(2);
    for (const auto& r : Alerts) {
        EXPECT_EQ(r.SOUND_H, 2);
        EXPECT_EQ(r.SOUND_L, 0);
        EXPECT_EQ(r.APP_L_OFF, 2);
    }
}

TEST_F(RegistryTest, AddingAndUpdatingKeepEveryReference) {
    AddSound("same", "/first.wav");
    AddSound("same", "/second.wav");
    Alerts[2].SOUND_H = 2;
    Alerts[2].SOUND_L = 1;
    AddSound("third", "/third.wav");
    UpdateSound(1, "renamed", "/renamed.wav");
    EXPECT_EQ(Alerts[2].SOUND_H, 2);
    EXPECT_EQ(Alerts[2].SOUND_L, 1);
    EXPECT_EQ(SoundPath(2), "/renamed.wav");
    EXPECT_EQ(Sounds[1].Name, "renamed");
    EXPECT_EQ(SoundPath(1), "/first.wav");

    AddApp("x", "/x");
    UpdateApp(0, "y", "/y");
    EXPECT_EQ(Apps[0].Name, "y");
    EXPECT_EQ(AppPath(1), "/y");
}

TEST_F(RegistryTest, PositionsOutsideTheListChangeNothing) {
    AddSound("a", "/a.wav");
    AddApp("p", "/p");
    Alerts[0].SOUND_H = 1;
    Alerts[0].APP_L_OFF = 1;
    for (int position : {-1, 1, 5}) {
        DeleteSound(position);
        DeleteApp(position);
        UpdateSound(position, "z", "/z");
        UpdateApp(position, "z", "/z");
    }
    FixSoundRefs(-1);
    FixAppRefs(-1);
    EXPECT_EQ(SoundCount(), 1);
    EXPECT_EQ(AppCount(), 1);
    EXPECT_EQ(SoundPath(1), "/a.wav");
    EXPECT_EQ(AppPath(1), "/p");
    EXPECT_EQ(Alerts[0].SOUND_H, 1);
    EXPECT_EQ(Alerts[0].APP_L_OFF, 1);
}

// After a removal the alarm plays the entry that moved into the reference's place, never a stale one.
TEST_F(RegistryTest, AlarmPlaysTheEntryItsReferenceFollowed) {
    AddSound("A", "/a.wav");
    AddSound("B", "/b.wav");
    AddSound("C", "/c.wav");
    TAlertConfig cfg = DefaultAlertConfig();
    cfg.SOUND_H = 3;
    Alerts[5] = cfg;
    DeleteSound(0);
    EXPECT_TRUE(CheckAlert(5, true, false, 1.0, "X/Y"));
    EXPECT_EQ(log.events, std::vector<std::string>{"sound /c.wav"});
}

} // namespace
