#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AppFixture.h"
#include "fakes/ScopedEnv.h"
#include "app/InstanceLock.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "app/toolkit/Timer.h"

using namespace quorvane;
using namespace quorvane::test;

using ToolkitTest = AppTest;

TEST_F(ToolkitTest, TimerTicksRepeatedlyAndStopsWhenSwitchedOff) {
    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    timer.SetInterval(5);
    EXPECT_FALSE(timer.Enabled());
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0) << "a timer created off never ticks";
    timer.SetEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 5000);
    timer.SetEnabled(false);
    const int stopped = ticks;
    QTest::qWait(50);
    EXPECT_EQ(ticks, stopped);
}

TEST_F(ToolkitTest, TimerWithPeriodZeroNeverTicksUntilGivenAPeriod) {
    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    QTest::qWait(100);
    EXPECT_EQ(ticks, 0);
    timer.SetInterval(5);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 1, 5000);
}

TEST_F(ToolkitTest, TimerRestartsItsPeriodOnlyOnARealChange) {
    // Periods far longer than the test, and waits long enough that a restarted period stands out clearly
    // even on a slow machine.
    TTimer timer;
    timer.OnTimer = [] {};
    timer.SetInterval(100000);
    timer.SetEnabled(true);
    QTest::qWait(500);
    const int running = timer.RemainingTime();
    EXPECT_LE(running, 100000 - 500);

    timer.SetInterval(100000); // same period: the running period goes on
    timer.SetEnabled(true);    // already on: likewise
    EXPECT_LE(timer.RemainingTime(), running);

    timer.SetInterval(200000); // a different period starts afresh
    EXPECT_GT(timer.RemainingTime(), 200000 - 250);
    QTest::qWait(500);
    EXPECT_LE(timer.RemainingTime(), 200000 - 500);
    timer.SetEnabled(false);
    EXPECT_EQ(timer.RemainingTime(), -1);
    timer.SetEnabled(true); // off and on: a fresh full period
    EXPECT_GT(timer.RemainingTime(), 200000 - 250);
}

TEST_F(ToolkitTest, TimerNeverTicksInsideItsRunningHandler) {
    TTimer timer;
    int depth = 0, deepest = 0, ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        ++depth;
        deepest = std::max(deepest, depth);
        if (ticks == 1) {
            // A modal box in a handler runs a nested loop for a while; the timer keeps expiring meanwhile.
            QEventLoop loop;
            QTimer::singleShot(150, &loop, &QEventLoop::quit);
            loop.exec();
        }
        --depth;
    };
    timer.SetInterval(5);
    timer.SetEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 5000);
    EXPECT_EQ(deepest, 1);
}

TEST_F(ToolkitTest, ErrorInATimerHandlerIsShownAndTheTimerGoesOn) {
    TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        throw std::runtime_error("boom");
    };
    timer.SetInterval(5);
    timer.SetEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 2, 5000);
    ASSERT_FALSE(boxes.errors.empty());
    EXPECT_EQ(boxes.errors.front(), "boom");
}

TEST_F(ToolkitTest, CheckBoxRunsItsHandlerExactlyWhenItsStateChanges) {
    QWidget form;
    TCheckBox box(&form, QStringLiteral("CB_X"), QStringLiteral("x"));
    box.setGeometry(0, 0, 60, 17);
    std::vector<bool> calls;
    box.OnClick = [&](TCheckBox* sender) { calls.push_back(sender->isChecked()); };

    box.setChecked(true);
    box.setChecked(true);
    EXPECT_EQ(calls, (std::vector<bool>{true}));
    box.setChecked(false);
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));

    form.show();
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(calls, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(FindControl<TCheckBox>(&form, QStringLiteral("CB_X")), &box);
    EXPECT_EQ(FindControl<TCheckBox>(&form, QStringLiteral("CB_Y")), nullptr);
}

TEST_F(ToolkitTest, ErrorLeavingAnEventIsShownAndTheProgramGoesOn) {
    struct Thrower : QObject {
        int events = 0;
        bool event(QEvent* e) override {
            if (e->type() != QEvent::User)
                return QObject::event(e);
            if (++events == 1)
                throw std::runtime_error("@ Outside address");
            throw 42;
        }
    } thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTRY_COMPARE_WITH_TIMEOUT(thrower.events, 2, 5000);
    EXPECT_EQ(boxes.errors, (std::vector<std::string>{"@ Outside address", UnknownErrorText}));
}

TEST_F(ToolkitTest, MessageBoxesHaveTheirCaptionIconAndOneOkButton) {
    QtMessageBoxes real;
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        qsizetype buttons = 0;
        QString button;
    };
    auto checkAndClose = [](Seen& seen) {
        QTimer::singleShot(0, [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = {box->windowTitle(), box->text(), box->icon(), box->buttons().size(),
                    box->buttons().value(0) ? box->buttons().value(0)->text() : QString()};
            box->accept();
        });
    };
    Seen error, info;
    checkAndClose(error);
    real.Error("保存できません");
    checkAndClose(info);
    real.Info("送信しました");

    EXPECT_EQ(error.title, QString::fromUtf8("エラー"));
    EXPECT_EQ(error.text, QString::fromUtf8("保存できません"));
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    EXPECT_EQ(error.buttons, 1);
    EXPECT_EQ(error.button, QStringLiteral("OK"));
    EXPECT_EQ(info.title, QString::fromUtf8("情報"));
    EXPECT_EQ(info.icon, QMessageBox::Information);
    EXPECT_EQ(info.buttons, 1);
}

TEST_F(ToolkitTest, SoundPlayerIgnoresMissingFiles) {
    QtSoundPlayer player;
    player.Play("");
    player.Play(dir.filePath(QStringLiteral("missing.wav")).toStdString());
    EXPECT_TRUE(boxes.errors.empty());
}

TEST_F(ToolkitTest, ProgramFontHasEveryGlyphTheWindowsShow) {
    const QString family = ProgramFontFamily();
    ASSERT_FALSE(family.isEmpty()) << "no Japanese UI font installed";
    const QFontMetrics metrics(ProgramFont(12));
    const QString texts = QString::fromUtf8(
        "監視中更新ペア選択設定警報音ミュート通貨/時間参考レート変動量前回の値警報出力ヘルプ..(&H)設定..(&C)"
        "未設定通信エラー「Quorvane」は同時に２つ以上起動できません。エラー情報上／下限値の設定ON/OFF"
        "0123456789.,-: 為替参考レート監視Version");
    for (const QChar c : texts)
        EXPECT_TRUE(metrics.inFont(c)) << family.toStdString() << " lacks U+" << std::hex << int(c.unicode());
}

TEST(FileDialogFilter, TurnsPairsOfDescriptionAndPatternsIntoQtEntries) {
    EXPECT_EQ(FileDialogFilter(QString::fromUtf8("音声ファイル|*.wav;*.mp3|すべて|*.*")),
              QString::fromUtf8("音声ファイル (*.wav *.mp3);;すべて (*.*)"));
    EXPECT_EQ(FileDialogFilter(QStringLiteral("Programs|*")), QStringLiteral("Programs (*)"));
    EXPECT_EQ(FileDialogFilter(QStringLiteral("Wave (*.wav)|*.wav")), QStringLiteral("Wave (*.wav)"));
    EXPECT_EQ(FileDialogFilter(QStringLiteral("dangling")), QString())
        << "a description without patterns is dropped";
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstIsGone) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("lock")).toStdString();
    auto first = std::make_unique<InstanceLock>(path);
    EXPECT_FALSE(first->HeldElsewhere());
    EXPECT_TRUE(InstanceLock(path).HeldElsewhere());
    first.reset();
    EXPECT_FALSE(InstanceLock(path).HeldElsewhere());
}

TEST(InstanceLock, AKilledHolderReleasesTheLock) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("lock")).toStdString();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock held(path);
        const char c = held.HeldElsewhere() ? 'n' : 'y';
        (void)!::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    EXPECT_TRUE(InstanceLock(path).HeldElsewhere());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(InstanceLock(path).HeldElsewhere());
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(InstanceLock, LivesOnlyInAFolderNoOtherUserCanWrite) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    const std::string shared = base + "/shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0); // as /tmp is
    // A runtime folder that others may write is as bad as none; the cache folder is made private.
    quorvane::testing::ScopedEnv runtime("XDG_RUNTIME_DIR", shared);
    quorvane::testing::ScopedEnv cache("XDG_CACHE_HOME", base + "/cache/home");
    const std::string path = InstanceLock::DefaultPath();
    EXPECT_EQ(path, base + "/cache/home/quorvane/" + InstanceName + ".lock");
    struct stat st {};
    ASSERT_EQ(::stat((base + "/cache/home/quorvane").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(InstanceLock(path).HeldElsewhere());

    // A cache folder that others may write is not used either: no lock rather than one anyone can take.
    quorvane::testing::ScopedEnv sharedCache("XDG_CACHE_HOME", shared);
    ASSERT_EQ(::mkdir((shared + "/quorvane").c_str(), 0777), 0);
    ASSERT_EQ(::chmod((shared + "/quorvane").c_str(), 0777), 0);
    EXPECT_EQ(InstanceLock::DefaultPath(), "");
    EXPECT_FALSE(InstanceLock("").HeldElsewhere());
}
