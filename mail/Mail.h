// Mail: the mail settings, the SMTP and POP3 clients built from them, and the one send operation.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "util/MailAccount.h"

namespace quorvane {

// How the SMTP server is logged into, numbered as in the settings file; any other number: no login.
enum class SmtpAuth : std::int32_t { None = 0, Login = 1, PopBeforeSmtp = 2 };

struct TSMTP {
    std::int32_t Port = 0;
    std::string Server;
    std::string UserID;
    std::string Password;
    SmtpAuth AuthType = SmtpAuth::None;
    std::int32_t Security = 0; // 0 none, 1 STARTTLS, 2 TLS from the first byte
};

struct TPOP {
    std::int32_t Port = 0;
    std::string Server;
    std::string UserID;
    std::string Password;
    std::int32_t Security = 0; // 0 none, 1 STLS, 2 TLS from the first byte (POP3S)
};

void SetSMTP(const TSMTP& smtp);
void SetPOP(const TPOP& pop);
void SetMailAccount(const TMailAccount& account);
TSMTP GetSMTP();
TPOP GetPOP();
TMailAccount GetMailAccount();

// The bound of every connect, write and read of clients built from now on (30 s unless set).
void SetMailTimeout(std::chrono::milliseconds timeout);

// Builds the clients from the stored settings. Connects nothing.
void InitMail();
void CreateMailClients(const TSMTP& smtp, const TPOP& pop);

// The outcome of one send: delivered, or the step that failed and why.
struct MailResult {
    bool delivered = false;
    std::string step;   // "POP", "SMTP", "SMTP: RCPT TO" ..., "Address", "Busy"
    std::string reason; // the server's reply, the TLS error, or what is wrong with an address
    explicit operator bool() const { return delivered; }
    // "SMTP: RCPT TO: 550 no such user"; empty when delivered.
    std::string Describe() const;
};

// Hears the steps of a send as they happen; the window layer shows them to the user.
class MailProgress {
public:
    virtual ~MailProgress() = default;
    virtual void Step(const std::string& text) = 0;   // "SMTP 接続します。"
    virtual void Failed(const std::string& text) = 0; // "SMTP 接続中にエラー発生。"
};

// Everything one send needs, copied when a mail is queued, so that a later build of the clients applies to
// later mails only.
struct MailSettings {
    TSMTP smtp;
    TPOP pop;
    std::chrono::milliseconds timeout{30000};
};
// What the clients in use were built from (InitMail, or the test mail's CreateMailClients), with the
// time-out they were built with.
MailSettings CurrentMailSettings();

// Composes one plain-text message and delivers it with the clients in use, telling progress (when given)
// each step. Blocks for the whole dialogue (every connect and read is bounded). Never throws: an address
// text it cannot read fails at step "Address" before anything is sent; called while another send is in
// progress (from inside one of its steps), it sends nothing and fails at step "Busy". A failing
// disconnect after the server accepted the message is only noted on stderr.
MailResult SendMail(const std::string& subject, const std::string& from, const std::string& to,
                    const std::string& body, MailProgress* progress);
// The same with clients of its own built from settings: touches no shared state, so it may run on any
// thread, beside a send of the window's thread. Not a session in the sense of MailSessionActive.
MailResult SendMail(const MailSettings& settings, const std::string& subject, const std::string& from,
                    const std::string& to, const std::string& body, MailProgress* progress);

// True while a send is in progress; its step boxes let other events in meanwhile.
bool MailSessionActive();
// Runs handler at the end of every send (nothing: no handler). One handler; a new one replaces it.
void SetMailSessionEndedHandler(std::function<void()> handler);

} // namespace quorvane
