// AlarmMails: the program's delivery of alarm mails, on a worker thread, with their outcomes brought back
// to the window's thread, where the alarm log line of each is written.
#pragma once

#include <QObject>

#include <chrono>

#include "mail/MailQueue.h"

namespace quorvane {

class AlarmMails {
public:
    // How long the queued mails get at the end of the program.
    static constexpr std::chrono::milliseconds DefaultEndBound{10000};

    // Installs itself as the alarm path's mailer. Each mail goes with the mail settings, account and
    // time-out as they are when its alarm is raised.
    explicit AlarmMails(std::chrono::milliseconds endBound = DefaultEndBound,
                        MailQueue::Sender sender = nullptr);
    // Finish, then the alarm path has no mailer.
    ~AlarmMails();
    AlarmMails(const AlarmMails&) = delete;
    AlarmMails& operator=(const AlarmMails&) = delete;

    MailQueue& Queue() { return queue_; }

    // The end of the program: the queued mails get up to the end bound to go, the rest are told (and so
    // logged) as not sent; every outcome is heard before this returns. Later alarm mails are dropped.
    void Finish();

private:
    std::chrono::milliseconds endBound_;
    QObject receiver_; // outcomes are delivered through its thread's event loop
    MailQueue queue_;
    bool finished_ = false;
};

} // namespace quorvane
