#include "app/AlarmMails.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

#include "alert/Alert.h"

namespace quorvane {

AlarmMails::AlarmMails(std::chrono::milliseconds endBound, MailQueue::Sender sender)
    : endBound_(endBound), queue_(std::move(sender)) {
    InstallAlertMailer(
        {GetMailAccount, [this](const std::string& subject, const std::string& from, const std::string& to,
                                const std::string& body, AlertMailDone done) {
             auto back = [this, done = std::move(done)](const MailResult& result) {
                 // The worker's outcome is told on the window's thread.
                 QMetaObject::invokeMethod(
                     &receiver_, [done, result] { done(result.delivered, result.Describe()); },
                     Qt::QueuedConnection);
             };
             queue_.Push(CurrentMailSettings(), {subject, from, to, body}, std::move(back));
         }});
}

AlarmMails::~AlarmMails() {
    Finish();
}

void AlarmMails::Finish() {
    if (finished_)
        return;
    finished_ = true;
    InstallAlertMailer({});
    queue_.Stop(endBound_);
    // Stop has handed over every outcome; the loop may no longer run to deliver them.
    QCoreApplication::sendPostedEvents(&receiver_, QEvent::MetaCall);
}

} // namespace quorvane
