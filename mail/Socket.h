// A TCP connection with bounded waits: the lowest layer of the SMTP and POP3 clients.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quorvane::mail {

class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves host (names and IPv4/IPv6 literals) and connects to the first address that answers
    // within the time-out. Throws MailError.
    static TcpSocket Connect(const std::string& host, int port, std::chrono::milliseconds timeout);

    bool IsOpen() const { return fd_ >= 0; }
    int NativeHandle() const { return fd_; }
    // The numeric address of this end of the connection ("127.0.0.1", "::1"); empty when unknown.
    std::string LocalAddress() const;
    // Sends every byte or throws MailError (time-out, broken connection).
    void SendAll(std::string_view data, std::chrono::milliseconds timeout);
    // Waits up to the time-out for data; returns the count read, 0 when the peer closed.
    // Throws MailError on time-out or error.
    std::size_t Receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout);
    void Close();

private:
    explicit TcpSocket(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// The host name the system reports, "localhost" when it reports none.
std::string LocalHostName();
// The system's fully qualified name for this host (a name with a dot), empty when it knows none.
std::string FullyQualifiedHostName();
// The name for EHLO and HELO (RFC 5321 4.1.4): the fully qualified name when there is one, else the
// address literal of the connection's local end ("[127.0.0.1]", "[IPv6:::1]").
std::string GreetingName(const std::string& fullyQualified, const std::string& localAddress);

} // namespace quorvane::mail
