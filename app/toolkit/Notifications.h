// Desktop notifications through the freedesktop notification service on the D-Bus session bus.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include "alert/Notification.h"

namespace quorvane {

// Sends Notify calls without waiting for their replies: the replies only keep track of whether a
// notification service is there, so that the alarm log can say so. Without a bus or a service the
// notifications are dropped.
class QtNotifier : public QObject, public Notifier {
public:
    // The desktop's session bus.
    QtNotifier();
    // Another bus (a private one in tests).
    explicit QtNotifier(const QDBusConnection& bus);
    std::string Notify(const std::string& summary, const std::string& body) override;

private:
    enum class Service { Unknown, Present, Absent };
    void Watch();
    void Expect(const QDBusMessage& call);

    QDBusConnection bus_;
    Service service_ = Service::Unknown;
};

} // namespace quorvane
