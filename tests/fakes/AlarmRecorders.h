// Recorders for what the alarm actions hand to the desktop (sound, shell, notifications) and to the mail
// delivery. Sound, shell and mail write into one ordered log so that tests can check the order of the
// actions.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "alert/Alert.h"
#include "alert/Notification.h"
#include "alert/Sound.h"
#include "util/Util.h"

namespace quorvane::testing {

struct ActionLog {
    std::vector<std::string> events;

    int Count(const std::string& prefix) const {
        int n = 0;
        for (const std::string& e : events)
            n += e.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
};

class SoundRecorder final : public SoundPlayer {
public:
    explicit SoundRecorder(ActionLog& log) : log_(log) {}
    void Play(const std::string& path) override { log_.events.push_back("sound " + path); }

private:
    ActionLog& log_;
};

class ShellRecorder final : public Shell {
public:
    struct Call {
        std::string target;
        std::string parameters;
    };
    explicit ShellRecorder(ActionLog& log) : log_(log) {}
    void Open(const std::string& target, const std::string& parameters) override {
        calls.push_back({target, parameters});
        log_.events.push_back("open " + target);
    }
    std::vector<Call> calls;

private:
    ActionLog& log_;
};

// Stands in for the mail delivery. Set failure to make the send throw it; set accept to false to make it
// fail with reason; set hold to keep each outcome until Finish is called.
class MailRecorder {
public:
    struct Call {
        std::string subject, from, to, body;
    };
    explicit MailRecorder(ActionLog& log) : log_(log) {}

    AlertMailer Mailer() {
        return {[this] { return account; },
                [this](const std::string& subject, const std::string& from, const std::string& to,
                       const std::string& body, AlertMailDone done) {
                    calls.push_back({subject, from, to, body});
                    log_.events.push_back("mail " + subject);
                    if (!failure.empty())
                        throw std::runtime_error(failure);
                    if (hold)
                        held.push_back(std::move(done));
                    else
                        done(accept, accept ? std::string() : reason);
                }};
    }
    // Tells the held mails' outcomes, oldest first.
    void Finish() {
        for (AlertMailDone& done : std::exchange(held, {}))
            done(accept, accept ? std::string() : reason);
    }

    TMailAccount account{"alarm@example.jp", "trader@example.jp", "", ""};
    std::string failure;
    bool accept = true;
    std::string reason;
    bool hold = false;
    std::vector<Call> calls;
    std::vector<AlertMailDone> held;

private:
    ActionLog& log_;
};

// Stands in for the desktop's notification service; unavailable makes every notification fail with it.
// Keeps its own list, apart from the action log.
class NotificationRecorder final : public Notifier {
public:
    std::string Notify(const std::string& summary, const std::string& body) override {
        shown.push_back(summary + " | " + body);
        return unavailable;
    }
    std::vector<std::string> shown;
    std::string unavailable;
};

} // namespace quorvane::testing
