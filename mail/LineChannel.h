// Lines over a TCP connection and the replies of SMTP and POP3 servers read from them.
#pragma once

#include "mail/Socket.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane::mail {

constexpr std::size_t kMaxReplyLine = 16384;
// All the waiting of one connection together is bounded by this many time-outs.
constexpr int kSessionTimeouts = 4;

class TlsSession;
struct Reply;

// Writes lines with CR LF and reads lines up to LF, in clear or inside TLS. Every connect, handshake,
// write and reply is bounded by the time-out, and all the waiting of one connection by
// kSessionTimeouts time-outs, so that a server dripping bytes cannot hold it.
class LineChannel {
public:
    explicit LineChannel(std::chrono::milliseconds timeout);
    ~LineChannel();

    bool IsOpen() const { return socket_.IsOpen(); }
    // Throws MailError when already open or when the connection fails.
    void Open(const std::string& host, int port);
    // The TLS handshake with the host given to Open (RFC 8314 from the first byte, or after
    // STARTTLS / STLS). From this call on the channel never sends in clear again, even when the
    // handshake fails. Throws MailError with the reason (certificate error, time-out, ...), also
    // when the server sent bytes ahead of the handshake (they would be taken as protected).
    void StartTls();
    bool Secure() const { return tlsRequested_; }
    void Close();

    // Refuses (MailError) a line that itself holds CR or LF: no text may add lines of its own.
    void WriteLine(std::string_view line);
    // Several lines in one write, each refused like WriteLine before anything is sent.
    void WriteLines(const std::vector<std::string>& lines);
    // Throws MailError on time-out, a closed connection, or a line over 16384 characters.
    std::string ReadLine();
    // One reply (see the free ReadReply), bounded as a whole by one time-out.
    Reply ReadReply();
    // The numeric address of this end of the connection.
    std::string LocalAddress() const { return socket_.LocalAddress(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point Bound(Clock::time_point deadline) const;
    std::string ReadLineBefore(Clock::time_point deadline);
    void Send(std::string_view wire);

    TcpSocket socket_;
    std::unique_ptr<TlsSession> tls_;
    bool tlsRequested_ = false;
    std::string host_;
    std::string buffer_;
    std::chrono::milliseconds timeout_;
    Clock::duration waited_{};
};

struct Reply {
    std::string TextCode;           // "250", "+OK", "-ERR"
    int Code = 0;                   // TextCode as a number, 0 when it is none
    std::vector<std::string> Lines; // each line from its fifth character on
    std::string Text() const;       // the lines joined with line breaks
};

// Reads one reply: empty lines before it are skipped; "250-" lines continue it up to the "250 "
// line. Throws MailError (from the source, or for a reply of more lines than any server sends).
Reply ReadReply(const std::function<std::string()>& nextLine);

} // namespace quorvane::mail
