// The SMTP client (RFC 5321 with AUTH LOGIN of RFC 4954) and the POP3 log-in client (RFC 1939).
// Plain TCP. Every step that fails throws MailError.
#pragma once

#include "mail/LineChannel.h"
#include "mail/MailMessage.h"

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

namespace quorvane::mail {

constexpr std::chrono::milliseconds kDefaultMailTimeout{30000};

// Where a session stands, so that a failure can say which step broke and what the server answered.
struct StepTrace {
    std::string Step;        // "connect", "greeting", "EHLO", "RCPT TO", "USER", ...
    std::string ServerReply; // the reply of that step, code first ("550 no such user"); empty: none came
    void Begin(std::string step) {
        Step = std::move(step);
        ServerReply.clear();
    }
    void Record(const Reply& reply);
};

struct ServerSettings {
    std::string Host;
    int Port = 0;
    std::string UserID;
    std::string Password;
};

class SmtpClient {
public:
    SmtpClient(ServerSettings server, bool authLogin, std::chrono::milliseconds timeout,
               std::string localName = LocalHostName());

    // Greeting (220) and EHLO, or HELO when EHLO is refused. A failure disconnects.
    void Connect();
    // RSET, AUTH LOGIN when due, MAIL FROM, RCPT TO, DATA, the message and ".". A failure leaves
    // the connection open; the caller disconnects.
    void Send(const MailMessage& message, const MessageWriter& writer);
    // QUIT without waiting for its reply, then close. Throws when QUIT could not be written (the
    // connection is closed all the same).
    void Disconnect();

    bool Connected() const { return channel_.IsOpen(); }
    const std::vector<std::string>& AuthMechanisms() const { return mechanisms_; }
    bool Authenticated() const { return authenticated_; }
    // The step of the last Connect, Send or Disconnect ("RCPT TO", ...) and the reply read in it, if any.
    const StepTrace& Trace() const { return trace_; }

private:
    Reply Command(std::string_view step, std::string_view line, std::initializer_list<int> expected = {});
    Reply Read();
    void Authenticate();
    void AddMechanisms(const Reply& ehlo);

    ServerSettings server_;
    bool authLogin_;
    std::string localName_;
    LineChannel channel_;
    std::vector<std::string> mechanisms_;
    bool authenticated_ = false;
    StepTrace trace_;
};

class Pop3Client {
public:
    Pop3Client(ServerSettings server, std::chrono::milliseconds timeout);

    // Greeting, USER and PASS; each must be answered "+OK". A failure disconnects.
    void Connect();
    // QUIT if connected (no reply read), then close.
    void Disconnect();
    bool Connected() const { return channel_.IsOpen(); }
    const StepTrace& Trace() const { return trace_; }

private:
    void ExpectOk();

    ServerSettings server_;
    LineChannel channel_;
    StepTrace trace_;
};

} // namespace quorvane::mail
