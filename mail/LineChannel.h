// Lines over a TCP connection and the replies of SMTP and POP3 servers read from them.
#pragma once

#include "mail/Socket.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quorvane::mail {

constexpr std::size_t kMaxReplyLine = 16384;

// Writes lines with CR LF and reads lines up to LF, every wait bounded by the time-out.
class LineChannel {
public:
    explicit LineChannel(std::chrono::milliseconds timeout) : timeout_(timeout) {}

    bool IsOpen() const { return socket_.IsOpen(); }
    // Throws MailError when already open or when the connection fails.
    void Open(const std::string& host, int port);
    void Close();

    // Refuses (MailError) a line that itself holds CR or LF: no text may add lines of its own.
    void WriteLine(std::string_view line);
    // Several lines in one write, each refused like WriteLine before anything is sent.
    void WriteLines(const std::vector<std::string>& lines);
    // Throws MailError on time-out, a closed connection, or a line over 16384 characters.
    std::string ReadLine();

private:
    TcpSocket socket_;
    std::string buffer_;
    std::chrono::milliseconds timeout_;
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
