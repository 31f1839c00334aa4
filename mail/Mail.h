// Mail: the mail settings, the SMTP and POP3 clients built from them, and the one send operation.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "util/MailAccount.h"

namespace quorvane {

struct TSMTP {
    std::int32_t Port = 0;
    std::string Server;
    std::string UserID;
    std::string Password;
    std::int32_t AuthType = 0; // 0 none, 1 AUTH LOGIN, 2 POP before SMTP
};

struct TPOP {
    std::int32_t Port = 0;
    std::string Server;
    std::string UserID;
    std::string Password;
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

// Composes one plain-text message and delivers it with the clients in use. Blocks for the whole
// dialogue (every connect and read is bounded). True when the server accepted the message.
// Throws std::runtime_error("@ Outside address") for an address text it cannot read.
bool SendMail(const std::string& subject, const std::string& from, const std::string& to,
              const std::string& body, bool showProgress);

// Why the last SendMail returned false: the failed step and the server's reply, or the error where no
// reply came ("RCPT TO: 550 no such user", "connect: cannot resolve ..."). Empty after a sent mail.
std::string LastMailFailure();

} // namespace quorvane
