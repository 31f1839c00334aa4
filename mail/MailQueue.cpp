#include "mail/MailQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvane {

struct MailQueue::State {
    struct Item {
        MailSettings settings;
        OutgoingMail mail;
        Done done;
    };

    explicit State(Sender s) : sender(std::move(s)) {}

    Sender sender;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> queued;
    Done current; // the outcome listener of the mail under way; taken by whoever reports it
    bool busy = false;
    int paused = 0;
    bool stopping = false;
    // Held while an outcome is handed over, so that Stop does not return in the middle of one.
    std::mutex delivering;

    void Run() {
        std::unique_lock lock(mutex);
        while (true) {
            changed.wait(lock, [this] { return stopping || (!queued.empty() && paused == 0); });
            if (queued.empty())
                return; // stopping with nothing left
            Item item = std::move(queued.front());
            queued.pop_front();
            current = std::move(item.done);
            busy = true;
            lock.unlock();
            MailResult result;
            try {
                result = sender(item.settings, item.mail);
            } catch (const std::exception& e) {
                result = {false, "Queue", e.what()};
            } catch (...) {
                result = {false, "Queue", "the send failed"};
            }
            {
                std::lock_guard handing(delivering);
                Done done;
                {
                    std::lock_guard guard(mutex);
                    done = std::move(current);
                    current = nullptr;
                }
                if (done)
                    done(result);
            }
            lock.lock();
            busy = false;
            changed.notify_all();
        }
    }
};

MailResult NotSentResult() {
    return {false, "Queue", "not sent before the program ended"};
}

MailQueue::MailQueue(Sender sender) : state_(std::make_shared<State>(std::move(sender))) {
    if (!state_->sender)
        state_->sender = [](const MailSettings& settings, const OutgoingMail& mail) {
            return SendMail(settings, mail.subject, mail.from, mail.to, mail.body, nullptr);
        };
    // The thread keeps the state alive: a send still under way at Stop may outlast this object.
    worker_ = std::thread([state = state_] { state->Run(); });
}

MailQueue::~MailQueue() {
    Stop(std::chrono::milliseconds(0));
}

void MailQueue::Push(MailSettings settings, OutgoingMail mail, Done done) {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->stopping) {
            state_->queued.push_back({std::move(settings), std::move(mail), std::move(done)});
            state_->changed.notify_all();
            return;
        }
    }
    if (done)
        done(NotSentResult());
}

void MailQueue::Pause() {
    std::lock_guard lock(state_->mutex);
    ++state_->paused;
}

void MailQueue::Resume() {
    std::lock_guard lock(state_->mutex);
    if (state_->paused > 0 && --state_->paused == 0)
        state_->changed.notify_all();
}

void MailQueue::Stop(std::chrono::milliseconds bound) {
    std::vector<Done> unsent;
    bool underWay = false;
    {
        std::unique_lock lock(state_->mutex);
        state_->stopping = true;
        state_->changed.notify_all();
        state_->changed.wait_for(lock, bound, [this] { return state_->queued.empty() && !state_->busy; });
        // In the order of the mails: the one under way, then those behind it.
        if (state_->current)
            unsent.push_back(std::move(state_->current));
        state_->current = nullptr;
        for (State::Item& item : state_->queued)
            unsent.push_back(std::move(item.done));
        state_->queued.clear();
        underWay = state_->busy;
        state_->changed.notify_all(); // the worker sees the empty queue and ends
    }
    // An outcome being handed over right now is heard before this returns.
    { std::lock_guard handing(state_->delivering); }
    if (worker_.joinable()) {
        // An idle worker ends at once; one waiting on a silent server is left to its own time-out.
        if (underWay)
            worker_.detach();
        else
            worker_.join();
    }
    for (Done& done : unsent)
        if (done)
            done(NotSentResult());
}

} // namespace quorvane
