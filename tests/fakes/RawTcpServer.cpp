#include "fakes/RawTcpServer.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvane::fakes {

namespace {

constexpr int PollMilliseconds = 20;
constexpr int ReadMilliseconds = 5000;

// Reads the request head and as much body as its Content-Length announces, within a bounded time.
void ReadRequest(int client) {
    std::string request;
    char buffer[4096];
    std::size_t needed = std::string::npos;
    for (int waited = 0; waited < ReadMilliseconds; waited += PollMilliseconds) {
        if (needed != std::string::npos && request.size() >= needed)
            return;
        pollfd fd{client, POLLIN, 0};
        if (poll(&fd, 1, PollMilliseconds) <= 0)
            continue;
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(n));
        const auto headEnd = request.find("\r\n\r\n");
        if (needed == std::string::npos && headEnd != std::string::npos) {
            std::size_t length = 0;
            for (auto at = request.find("\r\n"); at < headEnd; at = request.find("\r\n", at + 2))
                if (strncasecmp(request.c_str() + at + 2, "Content-Length:", 15) == 0)
                    length = std::strtoul(request.c_str() + at + 17, nullptr, 10);
            needed = headEnd + 4 + length;
        }
    }
}

} // namespace

RawTcpServer::RawTcpServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener_ >= 0)
            close(listener_);
        throw std::runtime_error("the raw test server cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    // Listening already: connections queue up even before the thread accepts them.
    thread_ = std::thread([this] { Serve(); });
}

RawTcpServer::~RawTcpServer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
}

std::string RawTcpServer::Url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

void RawTcpServer::AddReply(std::string bytes) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(bytes));
}

void RawTcpServer::Serve() {
    while (!stopping_) {
        pollfd fd{listener_, POLLIN, 0};
        if (poll(&fd, 1, PollMilliseconds) <= 0)
            continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            continue;
        ++connections_;
        Answer(client);
        close(client);
    }
}

void RawTcpServer::Answer(int client) {
    std::string reply;
    {
        std::lock_guard lock(mutex_);
        if (replies_.empty())
            return;
        reply = std::move(replies_.front());
        replies_.pop_front();
    }
    ReadRequest(client);
    for (std::size_t sent = 0; sent < reply.size();) {
        const ssize_t n = send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace quorvane::fakes
