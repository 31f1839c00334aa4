#include "alert/Notification.h"

namespace quorvane {

namespace {
Notifier* g_notifier = nullptr;
}

void InstallNotifier(Notifier* notifier) {
    g_notifier = notifier;
}

std::string ShowNotification(const std::string& summary, const std::string& body) {
    if (!g_notifier)
        return "no notifier";
    return g_notifier->Notify(summary, body);
}

} // namespace quorvane
