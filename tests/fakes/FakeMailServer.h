// A scripted SMTP or POP3 server on 127.0.0.1 with a port of the system's choice, for client tests.
// Each received line is answered by the first rule whose prefix it starts with; every line is kept
// so that tests can compare the whole dialogue. Stopped and joined by its destructor.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quorvane::testing {

class FakeMailServer {
public:
    struct Rule {
        std::string prefix; // matched against the start of the received line
        std::string reply;  // sent as it stands (CR LF included); empty: no answer at all
        bool once = false;  // the rule is used up after its first match
        bool reset = false; // after the reply the connection is reset (RST), ending the session
        std::chrono::milliseconds delay{0}; // before the reply
    };

    struct Session {
        std::vector<std::string> lines;   // commands, in order (message lines are kept apart)
        std::vector<std::string> message; // lines between DATA and "."
    };

    static FakeMailServer Smtp() {
        FakeMailServer server("220 fake.example ESMTP ready\r\n");
        server.rules_ = {{"EHLO", "250-fake.example\r\n250 8BITMIME\r\n"},
                         {"HELO", "250 fake.example\r\n"},
                         {"RSET", "250 reset\r\n"},
                         {"MAIL FROM:", "250 sender ok\r\n"},
                         {"RCPT TO:", "250 recipient ok\r\n"},
                         {"DATA", "354 go ahead\r\n"},
                         {".", "250 queued\r\n"},
                         {"QUIT", "221 bye\r\n"}};
        return server;
    }

    static FakeMailServer Pop3() {
        FakeMailServer server("+OK fake POP3 ready\r\n");
        server.rules_ = {{"USER", "+OK user\r\n"}, {"PASS", "+OK logged in\r\n"}, {"QUIT", "+OK bye\r\n"}};
        return server;
    }

    FakeMailServer(FakeMailServer&& other) noexcept
        : greeting_(std::move(other.greeting_)), rules_(std::move(other.rules_)),
          drip_(std::move(other.drip_)) {}

    ~FakeMailServer() { Stop(); }

    void SetGreeting(std::string greeting) {
        std::lock_guard lock(mutex_);
        greeting_ = std::move(greeting);
    }
    // Rules added later take precedence over the defaults.
    void On(std::string prefix, std::string reply, bool once = false) {
        std::lock_guard lock(mutex_);
        rules_.insert(rules_.begin(), Rule{std::move(prefix), std::move(reply), once});
    }

    // Every line starting with prefix is answered after the delay.
    void OnSlowly(std::string prefix, std::string reply, std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex_);
        rules_.insert(rules_.begin(), Rule{std::move(prefix), std::move(reply), false, false, delay});
    }
    // After the reply to a line starting with prefix, the connection is reset.
    void ResetAfter(std::string prefix, std::string reply) {
        std::lock_guard lock(mutex_);
        rules_.insert(rules_.begin(), Rule{std::move(prefix), std::move(reply), false, true});
    }
    // Instead of the greeting: `line` every `every`, `count` times (or until the client is gone).
    void DripGreeting(std::string line, int count, std::chrono::milliseconds every) {
        std::lock_guard lock(mutex_);
        drip_ = {std::move(line), count, every};
    }

    // Listens on 127.0.0.1; throws when it cannot.
    int Start() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (!Listen(AF_INET, reinterpret_cast<sockaddr*>(&address), sizeof address))
            throw std::runtime_error("fake mail server: cannot listen");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
        return port_;
    }

    // Listens on ::1; false when the machine has no IPv6 loopback.
    bool StartIpv6() {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        if (!Listen(AF_INET6, reinterpret_cast<sockaddr*>(&address), sizeof address))
            return false;
        port_ = ntohs(address.sin6_port);
        thread_ = std::thread([this] { Serve(); });
        return true;
    }

    int Port() const { return port_; }

    // Waits (bounded) until `count` sessions have ended, then returns all of them.
    std::vector<Session> Sessions(std::size_t count = 1) {
        std::unique_lock lock(mutex_);
        ended_.wait_for(lock, std::chrono::seconds(10), [&] { return finished_ >= count; });
        return sessions_;
    }

    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
        listener_ = -1;
    }

private:
    explicit FakeMailServer(std::string greeting) : greeting_(std::move(greeting)) {}

    bool Listen(int family, sockaddr* address, socklen_t length) {
        listener_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return listener_ >= 0 && ::bind(listener_, address, length) == 0 && ::listen(listener_, 8) == 0 &&
               ::getsockname(listener_, address, &length) == 0;
    }

    static bool WaitReadable(int fd, const std::atomic<bool>& stop) {
        for (int i = 0; i < 400 && !stop; ++i) { // at most about 20 s per wait
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                return true;
        }
        return false;
    }

    static void SendText(int fd, const std::string& text) {
        std::size_t at = 0;
        while (at < text.size()) {
            const ssize_t sent = ::send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
            if (sent <= 0)
                return;
            at += static_cast<std::size_t>(sent);
        }
    }

    Rule Answer(const std::string& line) {
        for (auto it = rules_.begin(); it != rules_.end(); ++it) {
            if (line.compare(0, it->prefix.size(), it->prefix) == 0) {
                Rule rule = *it;
                if (it->once)
                    rules_.erase(it);
                return rule;
            }
        }
        return {"", "500 unknown command\r\n"};
    }

    static void Reset(int fd) {
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }

    // False when the client went away before the drip ended.
    bool Drip(int fd) {
        for (int i = 0; i < drip_.count && !stop_; ++i) {
            if (::send(fd, drip_.line.data(), drip_.line.size(), MSG_NOSIGNAL) <= 0)
                return false;
            std::this_thread::sleep_for(drip_.every);
        }
        return true;
    }

    void Serve() {
        while (!stop_) {
            if (!WaitReadable(listener_, stop_))
                continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            {
                std::lock_guard lock(mutex_);
                sessions_.emplace_back();
            }
            RunSession(fd);
            ::close(fd);
            std::lock_guard lock(mutex_);
            ++finished_;
            ended_.notify_all();
        }
    }

    void RunSession(int fd) {
        std::string greeting;
        {
            std::lock_guard lock(mutex_);
            greeting = greeting_;
        }
        if (drip_.count > 0 && !Drip(fd))
            return;
        SendText(fd, greeting);
        std::string buffer;
        bool inData = false;
        while (WaitReadable(fd, stop_)) {
            char chunk[4096];
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                return;
            buffer.append(chunk, static_cast<std::size_t>(got));
            for (std::size_t end; (end = buffer.find("\r\n")) != std::string::npos;) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                Rule rule;
                {
                    std::lock_guard lock(mutex_);
                    Session& session = sessions_.back();
                    if (inData && line != ".") {
                        session.message.push_back(line);
                        continue;
                    }
                    session.lines.push_back(line);
                    rule = Answer(line);
                    inData = line == "DATA" && rule.reply.compare(0, 3, "354") == 0;
                }
                std::this_thread::sleep_for(rule.delay);
                SendText(fd, rule.reply);
                if (rule.reset) {
                    Reset(fd);
                    return;
                }
            }
        }
    }

    struct DripSettings {
        std::string line;
        int count = 0;
        std::chrono::milliseconds every{0};
    };

    std::string greeting_;
    std::vector<Rule> rules_;
    DripSettings drip_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ended_;
    std::vector<Session> sessions_;
    std::size_t finished_ = 0;
};

} // namespace quorvane::testing
