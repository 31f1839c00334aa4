#include "app/toolkit/Notifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QVariantMap>

namespace quorvane {

namespace {
const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
const QString ObjectPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int ReplyTimeoutMs = 10000;

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(ServiceName, ObjectPath, ServiceName, method);
}
} // namespace

QtNotifier::QtNotifier() : bus_(QDBusConnection::sessionBus()) {
    Watch();
}

QtNotifier::QtNotifier(const QDBusConnection& bus) : bus_(bus) {
    Watch();
}

void QtNotifier::Watch() {
    if (!bus_.isConnected())
        return;
    auto* watcher =
        new QDBusServiceWatcher(ServiceName, bus_, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { service_ = Service::Present; });
    // Asked once at start, so that a desktop without the service is known before the first alarm.
    Expect(Call(QStringLiteral("GetServerInformation")));
}

// The answer comes later through the event loop; only its kind is kept.
void QtNotifier::Expect(const QDBusMessage& call) {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, ReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        if (!w->isError())
            service_ = Service::Present;
        else if (w->error().type() == QDBusError::ServiceUnknown)
            service_ = Service::Absent;
        w->deleteLater();
    });
}

std::string QtNotifier::Notify(const std::string& summary, const std::string& body) {
    if (!bus_.isConnected())
        return "no session bus";
    if (service_ == Service::Absent)
        return "no notification service";
    QDBusMessage call = Call(QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    call << QStringLiteral("Quorvane") << 0u << QString() << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList() << hints << -1;
    Expect(call);
    return {};
}

} // namespace quorvane
