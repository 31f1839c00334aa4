// Mail: the stored mail settings, the two clients built from them, and SendMail.
#include "mail/Mail.h"

#include "mail/AddressList.h"
#include "mail/MailClients.h"
#include "mail/MailError.h"

#include <functional>
#include <iostream>
#include <memory>

namespace quorvane {

namespace {

using mail::MailError;

TSMTP g_smtp;
TPOP g_pop;
TMailAccount g_account;

std::chrono::milliseconds g_timeout = mail::kDefaultMailTimeout;
// The clients in use and how they were built: a test mail builds them from the dialog's copy of the
// settings, so the stored settings need not be what they were built from. Shared, so that a session
// keeps its own clients even when they are rebuilt while one of its boxes is open.
struct Clients {
    std::shared_ptr<mail::SmtpClient> smtp;
    std::shared_ptr<mail::Pop3Client> pop;
    bool popBeforeSmtp = false;
    MailSettings settings; // what they were built from
};
Clients g_clients;

bool g_sessionActive = false;
std::function<void()> g_sessionEnded;

// Marks one send as the session in progress; its end tells whoever waits for it.
class SessionMark {
public:
    SessionMark() { g_sessionActive = true; }
    ~SessionMark() {
        g_sessionActive = false;
        try {
            if (g_sessionEnded)
                g_sessionEnded();
        } catch (...) {
            // the mail's own result matters more than a listener's failure
        }
    }
    SessionMark(const SessionMark&) = delete;
    SessionMark& operator=(const SessionMark&) = delete;
};

void Info(MailProgress* progress, const char* text) {
    if (progress)
        progress->Step(text);
}

void Error(MailProgress* progress, const char* text) {
    if (progress)
        progress->Failed(text);
}

MailResult Failure(std::string step, std::string reason) {
    return {false, std::move(step), std::move(reason)};
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (start == text.size())
            break;
    }
    return lines;
}

Clients BuildClients(const TSMTP& smtp, const TPOP& pop, std::chrono::milliseconds timeout) {
    Clients clients;
    clients.smtp = std::make_shared<mail::SmtpClient>(
        mail::ServerSettings{smtp.Server, smtp.Port, smtp.UserID, smtp.Password, smtp.Security},
        smtp.AuthType == SmtpAuth::Login, timeout);
    clients.pop = std::make_shared<mail::Pop3Client>(
        mail::ServerSettings{pop.Server, pop.Port, pop.UserID, pop.Password, pop.Security}, timeout);
    clients.popBeforeSmtp = smtp.AuthType == SmtpAuth::PopBeforeSmtp;
    clients.settings = {smtp, pop, timeout};
    return clients;
}

// The message, or the failure at step "Address" for an address text it cannot read.
MailResult Compose(const std::string& subject, const std::string& from, const std::string& to,
                   const std::string& body, mail::MailMessage& message) {
    message.Subject = subject;
    try {
        message.Recipients = mail::ParseAddressList(to);
        message.From = mail::ParseMailbox(from);
    } catch (const std::exception& e) {
        return Failure("Address", e.what());
    }
    message.Body = SplitLines(body);
    return {true, {}, {}};
}

void EnsureClients() {
    if (!g_clients.smtp || !g_clients.pop)
        CreateMailClients(TSMTP{}, TPOP{});
}

MailResult PopBeforeSMTP(mail::Pop3Client& client, MailProgress* progress) {
    MailResult result{true, {}, {}};
    Info(progress, "POP 接続します。");
    try {
        client.Connect();
        Info(progress, "POP 接続完了。");
    } catch (const MailError& e) {
        result = Failure("POP", e.what());
        Error(progress, "POP 接続エラー。");
    }
    Info(progress, "POP 切断します。");
    client.Disconnect();
    Info(progress, "POP 切断完了。");
    return result;
}

MailResult SendBySMTP(mail::SmtpClient& client, const mail::MailMessage& message, MailProgress* progress) {
    static constexpr const char* kStepErrors[] = {"SMTP 接続中にエラー発生。", "メール送信中にエラー発生。"};
    int step = 0;
    try {
        Info(progress, "SMTP 接続します。");
        client.Connect();
        step = 1;
        Info(progress, "メールを送信します。");
        client.Send(message, mail::MessageWriter(mail::CurrentMailLanguage()));
    } catch (const MailError& e) {
        MailResult failure = Failure(e.Step().empty() ? "SMTP" : "SMTP: " + e.Step(), e.what());
        // A connection left open would refuse every later send through this client.
        try {
            client.Disconnect();
        } catch (const MailError&) {
            // already reporting a failure
        }
        Error(progress, kStepErrors[step]);
        return failure;
    }
    // The server has taken the message: reporting a failure now would make the user send it twice.
    Info(progress, "メール送信完了。SMTP切断します。");
    try {
        client.Disconnect();
    } catch (const MailError& e) {
        std::cerr << "SMTP: the message was sent, but disconnecting failed: " << e.what() << std::endl;
    }
    return {true, {}, {}};
}

MailResult Deliver(const Clients& clients, const mail::MailMessage& message, MailProgress* progress) {
    if (clients.popBeforeSmtp) {
        MailResult pop = PopBeforeSMTP(*clients.pop, progress);
        if (!pop)
            return pop;
    }
    return SendBySMTP(*clients.smtp, message, progress);
}

} // namespace

void SetSMTP(const TSMTP& smtp) {
    g_smtp = smtp;
}
void SetPOP(const TPOP& pop) {
    g_pop = pop;
}
void SetMailAccount(const TMailAccount& account) {
    g_account = account;
}
TSMTP GetSMTP() {
    return g_smtp;
}
TPOP GetPOP() {
    return g_pop;
}
TMailAccount GetMailAccount() {
    return g_account;
}

void SetMailTimeout(std::chrono::milliseconds timeout) {
    g_timeout = timeout;
}

void InitMail() {
    CreateMailClients(g_smtp, g_pop);
}

void CreateMailClients(const TSMTP& smtp, const TPOP& pop) {
    g_clients = BuildClients(smtp, pop, g_timeout);
}

MailSettings CurrentMailSettings() {
    if (!g_clients.smtp)
        return {TSMTP{}, TPOP{}, g_timeout}; // what the first send would build
    return g_clients.settings;
}

std::string MailResult::Describe() const {
    if (delivered)
        return {};
    return step + ": " + reason;
}

MailResult SendMail(const std::string& subject, const std::string& from, const std::string& to,
                    const std::string& body, MailProgress* progress) {
    mail::MailMessage message;
    if (MailResult composed = Compose(subject, from, to, body, message); !composed)
        return composed;
    // A send inside another one's session (reached through a step of that session) would reuse its
    // connection; the session in progress is left alone.
    if (g_sessionActive)
        return Failure("Busy", "another mail is being sent");
    EnsureClients();
    const Clients clients = g_clients;
    SessionMark session;
    return Deliver(clients, message, progress);
}

MailResult SendMail(const MailSettings& settings, const std::string& subject, const std::string& from,
                    const std::string& to, const std::string& body, MailProgress* progress) {
    mail::MailMessage message;
    if (MailResult composed = Compose(subject, from, to, body, message); !composed)
        return composed;
    return Deliver(BuildClients(settings.smtp, settings.pop, settings.timeout), message, progress);
}

bool MailSessionActive() {
    return g_sessionActive;
}

void SetMailSessionEndedHandler(std::function<void()> handler) {
    g_sessionEnded = std::move(handler);
}

} // namespace quorvane
