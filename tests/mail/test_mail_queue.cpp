#include "fakes/FakeMailServer.h"
#include "fakes/SilentListener.h"
#include "mail/MailQueue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

using namespace quorvane;
using quorvane::testing::FakeMailServer;

namespace {

MailSettings To(int port, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    return {TSMTP{port, "127.0.0.1", "", "", SmtpAuth::None}, TPOP{}, timeout};
}

OutgoingMail Mail(const std::string& subject) {
    return {subject, "alarm@example.com", "me@example.org", ""};
}

// The outcomes, in the order heard, from whichever thread tells them.
class Outcomes {
public:
    MailQueue::Done Listener(std::string name) {
        return [this, name](const MailResult& result) {
            std::lock_guard lock(mutex_);
            heard_.push_back(name + " " + (result ? "sent" : result.Describe()));
            changed_.notify_all();
        };
    }
    std::vector<std::string> Wait(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return heard_.size() >= count; });
        return heard_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> heard_;
};

using Texts = std::vector<std::string>;

TEST(MailQueueTest, MailsGoOneAfterAnotherInTheOrderQueued) {
    auto smtp = FakeMailServer::Smtp();
    const int port = smtp.Start();
    Outcomes outcomes;
    MailQueue queue;
    for (const char* subject : {"first", "second", "third"})
        queue.Push(To(port), Mail(subject), outcomes.Listener(subject));
    EXPECT_EQ(outcomes.Wait(3), (Texts{"first sent", "second sent", "third sent"}));
    const auto sessions = smtp.Sessions(3);
    ASSERT_EQ(sessions.size(), 3u);
    EXPECT_EQ(sessions[0].message[1], "Subject: first");
    EXPECT_EQ(sessions[1].message[1], "Subject: second");
    EXPECT_EQ(sessions[2].message[1], "Subject: third");
}

TEST(MailQueueTest, WhilePausedAMailQueuedEarlierGoesAfterTheForegroundOne) {
    auto smtp = FakeMailServer::Smtp();
    const int port = smtp.Start();
    Outcomes outcomes;
    MailQueue queue;
    {
        const MailQueuePause pause(&queue);
        queue.Push(To(port), Mail("alarm"), outcomes.Listener("alarm"));
        EXPECT_TRUE(SendMail(To(port), "test", "alarm@example.com", "me@example.org", "", nullptr));
    }
    EXPECT_EQ(outcomes.Wait(1), Texts{"alarm sent"});
    const auto sessions = smtp.Sessions(2);
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].message[1], "Subject: test");
    EXPECT_EQ(sessions[1].message[1], "Subject: alarm");
}

// A server that never answers must not hold the end for its time-out; every mail is accounted for.
TEST(MailQueueTest, StopReportsEveryMailNotSentWithoutWaitingForTheServer) {
    fakes::SilentListener silent;
    ASSERT_NE(silent.Port(), 0);
    const auto serverTimeout = std::chrono::seconds(60);
    Outcomes outcomes;
    MailQueue queue;
    queue.Push(To(silent.Port(), serverTimeout), Mail("under way"), outcomes.Listener("under way"));
    queue.Push(To(silent.Port(), serverTimeout), Mail("queued"), outcomes.Listener("queued"));
    const auto began = std::chrono::steady_clock::now();
    queue.Stop(std::chrono::milliseconds(200));
    EXPECT_LT(std::chrono::steady_clock::now() - began, serverTimeout);
    const std::string notSent = NotSentResult().Describe();
    EXPECT_EQ(outcomes.Wait(2), (Texts{"under way " + notSent, "queued " + notSent}))
        << "both told before Stop returned";
    queue.Push(To(silent.Port()), Mail("late"), outcomes.Listener("late"));
    EXPECT_EQ(outcomes.Wait(3).back(), "late " + notSent);
}

} // namespace
