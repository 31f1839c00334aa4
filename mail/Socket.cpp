#include "mail/Socket.h"

#include "mail/MailError.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace quorvane::mail {

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

int PollOne(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, static_cast<int>(timeout.count()));
    } while (r < 0 && errno == EINTR);
    return r;
}

std::string SystemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// One non-blocking connect attempt; the socket stays non-blocking for the bounded reads and writes.
int ConnectOne(const addrinfo& address, std::chrono::milliseconds timeout, std::string& error) {
    const int fd =
        ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol);
    if (fd < 0) {
        error = SystemError("socket", errno);
        return -1;
    }
    // Commands are whole lines followed by a wait for the reply: no reason to hold them back.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return fd;
    if (errno != EINPROGRESS) {
        error = SystemError("connect", errno);
        ::close(fd);
        return -1;
    }
    const int ready = PollOne(fd, POLLOUT, timeout);
    int soError = 0;
    socklen_t length = sizeof soError;
    if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError == 0)
        return fd;
    error = ready == 0 ? "connect: timed out" : SystemError("connect", soError ? soError : errno);
    ::close(fd);
    return -1;
}

} // namespace

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

TcpSocket TcpSocket::Connect(const std::string& host, int port, std::chrono::milliseconds timeout) {
    if (port <= 0 || port > 65535)
        throw MailError("invalid port " + std::to_string(port));
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (status != 0)
        throw MailError("cannot resolve " + host + ": " + ::gai_strerror(status));
    std::unique_ptr<addrinfo, AddrInfoFree> addresses(found);
    std::string error = "no address";
    for (const addrinfo* a = addresses.get(); a; a = a->ai_next) {
        const int fd = ConnectOne(*a, timeout, error);
        if (fd >= 0)
            return TcpSocket(fd);
    }
    throw MailError(host + ":" + std::to_string(port) + ": " + error);
}

void TcpSocket::SendAll(std::string_view data, std::chrono::milliseconds timeout) {
    if (fd_ < 0)
        throw MailError("not connected");
    while (!data.empty()) {
        const ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent >= 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw MailError(SystemError("send", errno));
        if (PollOne(fd_, POLLOUT, timeout) == 0)
            throw MailError("send: timed out");
    }
}

std::size_t TcpSocket::Receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout) {
    if (fd_ < 0)
        throw MailError("not connected");
    while (true) {
        const ssize_t got = ::recv(fd_, buffer, size, 0);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw MailError(SystemError("recv", errno));
        const int ready = PollOne(fd_, POLLIN, timeout);
        if (ready == 0)
            throw MailError("no answer from the server (timed out)");
        if (ready < 0)
            throw MailError(SystemError("poll", errno));
    }
}

void TcpSocket::Close() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

std::string TcpSocket::LocalAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes = address.ss_family == AF_INET6
                            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr)
                            : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&address)->sin_addr);
    if (!::inet_ntop(address.ss_family, bytes, text, sizeof text))
        return {};
    return text;
}

std::string LocalHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

std::string FullyQualifiedHostName() {
    const std::string name = LocalHostName();
    if (name.find('.') != std::string::npos)
        return name;
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0)
        return {};
    std::unique_ptr<addrinfo, AddrInfoFree> info(found);
    const std::string canonical = info->ai_canonname ? info->ai_canonname : "";
    if (canonical.find('.') == std::string::npos || canonical.starts_with("localhost"))
        return {};
    return canonical;
}

std::string GreetingName(const std::string& fullyQualified, const std::string& localAddress) {
    if (!fullyQualified.empty())
        return fullyQualified;
    if (localAddress.empty())
        return LocalHostName();
    if (localAddress.find(':') != std::string::npos)
        return "[IPv6:" + localAddress + "]";
    return "[" + localAddress + "]";
}

} // namespace quorvane::mail
