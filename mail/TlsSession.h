// TLS over a connected TcpSocket (OpenSSL), verified as a browser does: TLS 1.2 or newer, the
// system's trusted certificates, the host name checked against the certificate, SNI sent.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace quorvane::mail {

class TcpSocket;

class TlsSession {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // Runs the client handshake on the socket's connection until the deadline. Throws MailError with
    // the reason (the certificate error when verification fails, a time-out, a broken handshake).
    // The session only borrows the socket, which must outlive it.
    static std::unique_ptr<TlsSession> Handshake(TcpSocket& socket, const std::string& host,
                                                 Deadline deadline);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Same contracts as TcpSocket::SendAll and TcpSocket::Receive, with a deadline.
    void SendAll(std::string_view data, Deadline deadline);
    std::size_t Receive(char* buffer, std::size_t size, Deadline deadline);
    // Sends close_notify without waiting for the peer's.
    void Shutdown();

private:
    struct Handles;
    explicit TlsSession(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles_;
};

} // namespace quorvane::mail
