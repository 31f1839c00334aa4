// The SMTP client (RFC 5321 with AUTH LOGIN of RFC 4954, STARTTLS of RFC 3207) and the POP3 log-in
// client (RFC 1939, STLS of RFC 2595), in clear or over TLS. Every step that fails throws MailError.
#pragma once

#include "mail/LineChannel.h"
#include "mail/MailMessage.h"

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

namespace quorvane::mail {

constexpr std::chrono::milliseconds kDefaultMailTimeout{30000};

// How a connection is protected; the numbers are those of the settings file.
constexpr int kSecurityNone = 0;     // plain TCP
constexpr int kSecurityStartTls = 1; // STARTTLS (SMTP) or STLS (POP3) before anything secret
constexpr int kSecurityTls = 2;      // TLS from the first byte (RFC 8314)

struct ServerSettings {
    std::string Host;
    int Port = 0;
    std::string UserID;
    std::string Password;
    int Security = kSecurityNone; // any other value fails the connect before anything is sent
};

class SmtpClient {
public:
    // An empty localName: the name is worked out at each connect (GreetingName).
    SmtpClient(ServerSettings server, bool authLogin, std::chrono::milliseconds timeout,
               std::string localName = {});

    // Greeting (220) and EHLO, or HELO when EHLO is refused. With STARTTLS: EHLO must offer it,
    // then STARTTLS (220), the handshake and EHLO again, whose reply alone names the AUTH
    // mechanisms. A failure disconnects; once TLS was asked for, nothing more is sent in clear.
    void Connect();
    // RSET, authentication when due, MAIL FROM, RCPT TO, DATA, the message and ".". Inside TLS the
    // authentication is AUTH LOGIN, else AUTH PLAIN, else the send fails. A failure leaves the
    // connection open; the caller disconnects.
    void Send(const MailMessage& message, const MessageWriter& writer);
    // QUIT without waiting for its reply, then close. Throws when QUIT could not be written (the
    // connection is closed all the same).
    void Disconnect();

    bool Connected() const { return channel_.IsOpen(); }
    const std::vector<std::string>& AuthMechanisms() const { return mechanisms_; }
    bool Authenticated() const { return authenticated_; }

private:
    Reply Command(std::string_view line, std::initializer_list<int> expected = {});
    void Greet();
    void Authenticate();
    bool Offers(std::string_view mechanism) const;
    void AddMechanisms(const Reply& ehlo);

    ServerSettings server_;
    bool authLogin_;
    std::string localName_;
    LineChannel channel_;
    std::vector<std::string> mechanisms_;
    bool authenticated_ = false;
    bool greetedWithEhlo_ = false;
};

class Pop3Client {
public:
    Pop3Client(ServerSettings server, std::chrono::milliseconds timeout);

    // Greeting, (STLS and the handshake,) USER and PASS; each must be answered "+OK". A failure
    // disconnects.
    void Connect();
    // QUIT if connected (no reply read), then close.
    void Disconnect();
    bool Connected() const { return channel_.IsOpen(); }

private:
    void ExpectOk();

    ServerSettings server_;
    LineChannel channel_;
};

} // namespace quorvane::mail
