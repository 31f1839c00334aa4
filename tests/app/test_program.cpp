#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fstream>
#include <sstream>

#include "fakes/RateServiceFake.h"

using namespace quorvane::test;

namespace {

// The real program, copied into a folder of its own so that its settings file sits beside it there.
class ProgramRun {
public:
    ProgramRun() {
        program = dir.filePath(QStringLiteral("quorvane"));
        QFile::copy(QStringLiteral(QUORVANE_APP_PATH), program);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
        // A desktop without a session bus: notifications have nowhere to go.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + dir.filePath("no-bus"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    ~ProgramRun() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    std::string SettingsPath() const { return dir.filePath(QStringLiteral("quorvane.ini")).toStdString(); }
    std::string Settings() const {
        std::ifstream in(SettingsPath(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    QTemporaryDir dir;
    QString program;
    QProcess process;
};

} // namespace

TEST(Program, StartsMonitoringAsSavedAndSavesItsSettingsWhenAskedToEnd) {
    RateServiceFake service;
    ASSERT_TRUE(service.Running());
    service.SetRate("USD/JPY", 110.25);
    ProgramRun run;
    {
        std::ofstream out(run.SettingsPath(), std::ios::binary);
        out << "[System]\r\nEnable=1\r\nINTERVAL=1\r\nMUTE=1\r\nSERVICE_URL=" << service.DescriptionAddress()
            << "\r\n\r\n[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\n\r\n";
    }
    run.process.start(run.program, {});
    ASSERT_TRUE(run.process.waitForStarted(10000));

    // After the splash, monitoring comes back on by itself and the timer keeps fetching.
    QTRY_VERIFY_WITH_TIMEOUT(service.Requests().size() >= 2, 30000);
    EXPECT_EQ(service.Requests().front(), "USD/JPY");

    ::kill(static_cast<pid_t>(run.process.processId()), SIGTERM);
    ASSERT_TRUE(run.process.waitForFinished(20000));
    EXPECT_EQ(run.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.process.exitCode(), 0);
    const std::string saved = run.Settings();
    EXPECT_NE(saved.find("[System]\r\nLOCATE_X="), std::string::npos) << saved;
    EXPECT_NE(saved.find("MUTE=0\r\nEnable=1\r\nINTERVAL=1\r\n"), std::string::npos)
        << "mute starts off, monitoring stays on: " << saved;

    // The default upper limit 0 is reached by the first rate: its ON is in the log, with the reason
    // there was no notification.
    std::ifstream log(run.dir.filePath(QStringLiteral("state/quorvane/alarms.log")).toStdString());
    std::string first;
    ASSERT_TRUE(std::getline(log, first));
    EXPECT_NE(first.find("\t1\tUSD/JPY\tH\tON\t110.25\t"), std::string::npos) << first;
    EXPECT_NE(first.find("\tunavailable no session bus"), std::string::npos) << first;
}
