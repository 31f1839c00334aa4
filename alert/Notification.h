// Notification: the desktop's notification service as the alarms see it.
#pragma once

#include <string>

namespace quorvane {

// Shows a short notification. The windows install one that speaks to the desktop's notification
// service; tests install recorders.
class Notifier {
public:
    virtual ~Notifier() = default;
    // Hands the notification over and returns at once, without waiting for the desktop to answer.
    // Returns an empty text when it was handed over, otherwise why not ("no session bus").
    virtual std::string Notify(const std::string& summary, const std::string& body) = 0;
};
void InstallNotifier(Notifier* notifier); // nullptr: notifications are dropped

// Hands the notification to the installed notifier; the reason it was not shown, empty when it was
// handed over.
std::string ShowNotification(const std::string& summary, const std::string& body);

} // namespace quorvane
