#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QTest>

#include "AppFixture.h"
#include "fakes/RateServiceFake.h"
#include "alert/AlarmLog.h"
#include "alert/Notification.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/Notifications.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

// The notification service of a desktop, as far as the program uses it: each Notify is recorded.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received; // "summary | body"

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        received << summary + QStringLiteral(" | ") + body;
        return static_cast<uint>(received.size());
    }
    QString GetServerInformation(QString& vendor, QString& version, QString& protocolVersion) {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        protocolVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }
};

// A session bus of the test's own, with the fake service on one connection and the program's notifier
// on another, as a desktop would have them.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                      QStringLiteral("--print-address")});
        if (!daemon_.waitForStarted(10000))
            return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(ServiceName);
        QDBusConnection::disconnectFromBus(ClientName);
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000))
            daemon_.kill();
    }
    bool Running() const { return !address_.isEmpty(); }
    QDBusConnection Service() const { return QDBusConnection::connectToBus(address_, ServiceName); }
    QDBusConnection Client() const { return QDBusConnection::connectToBus(address_, ClientName); }

private:
    static inline const QString ServiceName = QStringLiteral("quorvane-test-service");
    static inline const QString ClientName = QStringLiteral("quorvane-test-client");
    QProcess daemon_;
    QString address_;
};

class NotificationTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(service.Running());
        OpenAlarmLog(dir.filePath(QStringLiteral("alarms.log")).toStdString());
    }
    void TearDown() override {
        InstallNotifier(nullptr);
        OpenAlarmLog({});
        AppTest::TearDown();
    }
    // USD/JPY in slot 1 with its upper alarm at 110.
    void Start() {
        WriteSettings("[System]\r\nSERVICE_URL=" + service.DescriptionAddress() +
                      "\r\n\r\n[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\nAH=110\r\nAL=0\r\n\r\n");
        form1 = std::make_unique<TForm1>(SettingsPath());
        form4 = std::make_unique<TForm4>();
    }
    void Cycle(double rate) {
        service.SetRate("USD/JPY", rate);
        form1->GetRate();
    }
    QColor UpperLamp() const {
        return FindControl<TShape>(form1.get(), QStringLiteral("SP_U1"))->BrushColor();
    }

    RateServiceFake service;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm4> form4;
};

TEST_F(NotificationTest, OneNotifyAtOnAndOneAtOffNoneWhileItLastsNorWithTheOutputOff) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Running()) << "dbus-daemon did not start";
    FakeNotifications fake;
    QDBusConnection serviceSide = bus.Service();
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                           QDBusConnection::ExportAllSlots));
    QtNotifier notifier(bus.Client());
    InstallNotifier(&notifier);
    Start();

    Cycle(110.25);
    Cycle(111);
    Cycle(109);
    Alerts[0].AH_ON = false;
    Cycle(112);
    // Calls from one connection arrive in order: once the marker is there, nothing else is on its way.
    EXPECT_EQ(notifier.Notify("marker", ""), "");
    QTRY_VERIFY_WITH_TIMEOUT(!fake.received.isEmpty() && fake.received.last() == QStringLiteral("marker | "),
                             10000);
    EXPECT_EQ(fake.received, (QStringList{QString::fromUtf8("USD/JPY 上限警報 ON | 110.2500"),
                                          QString::fromUtf8("USD/JPY 上限警報 OFF | 109.0000"),
                                          QStringLiteral("marker | ")}));

    BasicData.Notify = false;
    Alerts[0].AH_ON = true;
    Cycle(108);
    Cycle(113);
    EXPECT_EQ(notifier.Notify("marker 2", ""), "");
    QTRY_VERIFY_WITH_TIMEOUT(fake.received.last() == QStringLiteral("marker 2 | "), 10000);
    EXPECT_EQ(fake.received.size(), 4) << "switched off in the settings: no notification";
}

TEST_F(NotificationTest, WithoutASessionBusTheCycleGoesOnAndTheLogSaysWhy) {
    QtNotifier notifier(QDBusConnection::connectToBus(
        dir.filePath(QStringLiteral("no-bus")).prepend("unix:path="), QStringLiteral("quorvane-test-none")));
    InstallNotifier(&notifier);
    Start();
    Cycle(110.25);
    QDBusConnection::disconnectFromBus(QStringLiteral("quorvane-test-none"));
    EXPECT_EQ(UpperLamp(), ClRed);
    EXPECT_EQ(FindControl<TLabel>(form1.get(), QStringLiteral("LB_V1"))->text(), QStringLiteral("110.2500"));
    const auto lines = ReadAlarmLog(AlarmLogPath());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ParseAlarmLogLine(lines[0])->Notification, "unavailable no session bus");
}

} // namespace

#include "test_notifications.moc"
