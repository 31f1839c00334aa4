// MailQueue: mails sent one after another by a worker thread, so that whoever queues them never waits on
// a mail server.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "mail/Mail.h"

namespace quorvane {

struct OutgoingMail {
    std::string subject, from, to, body;
};

class MailQueue {
public:
    // Called once per mail with its outcome: on the worker thread after the send, or on the thread
    // that calls Stop for a mail that did not go. It must not wait on the queue.
    using Done = std::function<void(const MailResult&)>;
    using Sender = std::function<MailResult(const MailSettings&, const OutgoingMail&)>;

    // Without a sender, each mail goes by SendMail with the settings given to it.
    explicit MailQueue(Sender sender = nullptr);
    // Stop with no time left: what is still queued is reported as not sent.
    ~MailQueue();
    MailQueue(const MailQueue&) = delete;
    MailQueue& operator=(const MailQueue&) = delete;

    // Queues mail, to be sent with settings (a copy taken now), after every mail queued before it.
    // After Stop, done hears at once that it was not sent.
    void Push(MailSettings settings, OutgoingMail mail, Done done);

    // While paused (as often as resumed), no further mail is begun; the one under way goes on.
    void Pause();
    void Resume();

    // Gives the queued mails up to bound to go (paused or not), then reports each one still queued or under
    // way as failed at step "Queue", and returns. A send still under way then ends on its own time-out,
    // its outcome unheard.
    void Stop(std::chrono::milliseconds bound);

private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread worker_;
};

// Pauses queue (when given) for its lifetime.
class MailQueuePause {
public:
    explicit MailQueuePause(MailQueue* queue) : queue_(queue) {
        if (queue_)
            queue_->Pause();
    }
    ~MailQueuePause() {
        if (queue_)
            queue_->Resume();
    }
    MailQueuePause(const MailQueuePause&) = delete;
    MailQueuePause& operator=(const MailQueuePause&) = delete;

private:
    MailQueue* queue_;
};

// The result a mail that the end of the program left unsent is reported with.
MailResult NotSentResult();

} // namespace quorvane
