// A loopback TCP server that answers each connection with fixed bytes, for responses that no
// well-behaved HTTP library would send (cut-off bodies, connections closed mid-answer).
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace quorvane::fakes {

class RawTcpServer {
public:
    RawTcpServer(); // binds 127.0.0.1 on a free port and accepts in its own thread
    ~RawTcpServer();
    RawTcpServer(const RawTcpServer&) = delete;
    RawTcpServer& operator=(const RawTcpServer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& target) const;

    // Each accepted connection takes the next reply: after reading the request head (and a body as
    // long as its Content-Length), the bytes are written and the connection is closed. Connections
    // without a reply are closed at once.
    void AddReply(std::string bytes);
    int Connections() const { return connections_; }

private:
    void Serve();
    void Answer(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::deque<std::string> replies_;
    std::thread thread_;
};

} // namespace quorvane::fakes
