#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "fakes/RateServiceFake.h"
#include "app/LocalService.h"

using namespace quorvane::test;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

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
    // Settings without SERVICE_URL: the built-in service on a port of the test's own.
    void UseLocalService(int port) {
        QProcessEnvironment env = process.processEnvironment();
        env.insert(QStringLiteral("QUORVANE_SERVICE_PORT"), QString::number(port));
        env.insert(QStringLiteral("QUORVANE_ECB_URL"), QStringLiteral("http://127.0.0.1:1/eurofxref-daily.xml"));
        env.insert(QStringLiteral("QUORVANE_INTRADAY_URL"), QStringLiteral("http://127.0.0.1:1/exchange-rates"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
        process.setProcessEnvironment(env);
        std::ofstream out(SettingsPath(), std::ios::binary);
        out << "[System]\r\nEnable=1\r\nINTERVAL=1\r\n\r\n[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\n\r\n";
    }
    std::string ServiceLog() const {
        return ReadAll(dir.filePath(QStringLiteral("state/quorvane/quorvane-rated.log")).toStdString());
    }
    void Stop() {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 0);
    }
    std::string SettingsPath() const { return dir.filePath(QStringLiteral("quorvane.ini")).toStdString(); }
    std::string Settings() const { return ReadAll(SettingsPath()); }

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

TEST(Program, StartsTheLocalServiceWhenNoneAnswersAndStopsItAtItsEnd) {
    ProgramRun run;
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUORVANE_RATED_PATH), run.dir.filePath(QStringLiteral("quorvane-rated"))));
    const int port = FreePort();
    ASSERT_GT(port, 0);
    run.UseLocalService(port);
    run.process.start(run.program, {});
    ASSERT_TRUE(run.process.waitForStarted(10000));

    // The shipped rates, as the live source is unreachable and nothing is cached yet.
    QTRY_VERIFY_WITH_TIMEOUT(run.ServiceLog().find("USD/JPY 135.8") != std::string::npos, 30000);
    EXPECT_TRUE(quorvane::LocalPortAnswers(port));
    run.Stop();
    EXPECT_FALSE(quorvane::LocalPortAnswers(port)) << "the service outlived the program";
    EXPECT_NE(run.ServiceLog().find("quorvane-rated stopped"), std::string::npos) << run.ServiceLog();
}

TEST(Program, UsesALocalServiceThatAlreadyAnswersAndStartsNone) {
    RateServiceFake service;
    ASSERT_TRUE(service.Running());
    service.SetRate("USD/JPY", 110.25);
    ProgramRun run;
    // A stand-in for the service beside the program, which leaves a mark if it is ever started.
    const QString standIn = run.dir.filePath(QStringLiteral("quorvane-rated"));
    {
        std::ofstream out(standIn.toStdString());
        out << "#!/bin/sh\ntouch \"$0.started\"\n";
    }
    QFile::setPermissions(standIn, QFile::ReadOwner | QFile::ExeOwner);
    run.UseLocalService(service.Port());
    run.process.start(run.program, {});
    ASSERT_TRUE(run.process.waitForStarted(10000));

    QTRY_VERIFY_WITH_TIMEOUT(!service.Requests().empty(), 30000);
    run.Stop();
    EXPECT_TRUE(service.Running());
    EXPECT_FALSE(QFile::exists(standIn + QStringLiteral(".started")));
}
