// Mail: the stored mail settings, the two clients built from them, and SendMail.
#include "mail/Mail.h"

#include "mail/AddressList.h"
#include "mail/MailClients.h"
#include "mail/MailError.h"
#include "util/Util.h"

#include <memory>

namespace quorvane {

namespace {

using mail::MailError;

TSMTP g_smtp;
TPOP g_pop;
TMailAccount g_account;

std::chrono::milliseconds g_timeout = mail::kDefaultMailTimeout;
// The clients in use and how they were built: a test mail builds them from the dialog's copy of the
// settings, so the stored settings need not be what they were built from.
struct Clients {
    std::unique_ptr<mail::SmtpClient> smtp;
    std::unique_ptr<mail::Pop3Client> pop;
    bool popBeforeSmtp = false;
};
Clients g_clients;
std::string g_lastFailure;

constexpr std::int32_t kAuthLogin = 1;
constexpr std::int32_t kPopBeforeSmtp = 2;

void Info(bool show, const char* text) {
    if (show)
        ShowInfo(text);
}

void Error(bool show, const char* text) {
    if (show)
        ShowError(text);
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

void NoteFailure(const mail::StepTrace& trace, const MailError& error) {
    g_lastFailure = trace.Step + ": " + (trace.ServerReply.empty() ? error.what() : trace.ServerReply);
}

void EnsureClients() {
    if (!g_clients.smtp || !g_clients.pop)
        CreateMailClients(TSMTP{}, TPOP{});
}

bool PopBeforeSMTP(bool showProgress) {
    bool result = false;
    Info(showProgress, "POP 接続します。");
    try {
        g_clients.pop->Connect();
        Info(showProgress, "POP 接続完了。");
        result = true;
    } catch (const MailError& e) {
        NoteFailure(g_clients.pop->Trace(), e);
        Error(showProgress, "POP 接続エラー。");
    }
    Info(showProgress, "POP 切断します。");
    g_clients.pop->Disconnect();
    Info(showProgress, "POP 切断完了。");
    return result;
}

bool SendBySMTP(const mail::MailMessage& message, bool showProgress) {
    static constexpr const char* kStepErrors[] = {"SMTP 接続中にエラー発生。", "メール送信中にエラー発生。",
                                                  "SMTP 切断中にエラー発生。"};
    int step = 0;
    try {
        Info(showProgress, "SMTP 接続します。");
        g_clients.smtp->Connect();
        step = 1;
        Info(showProgress, "メールを送信します。");
        g_clients.smtp->Send(message, mail::MessageWriter(mail::CurrentMailLanguage()));
        step = 2;
        Info(showProgress, "メール送信完了。SMTP切断します。");
        g_clients.smtp->Disconnect();
        return true;
    } catch (const MailError& e) {
        NoteFailure(g_clients.smtp->Trace(), e);
        // A connection left open would refuse every later send through this client.
        try {
            g_clients.smtp->Disconnect();
        } catch (const MailError&) {
            // already reporting a failure
        }
        Error(showProgress, kStepErrors[step]);
        return false;
    }
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
    g_clients.smtp = std::make_unique<mail::SmtpClient>(
        mail::ServerSettings{smtp.Server, smtp.Port, smtp.UserID, smtp.Password}, smtp.AuthType == kAuthLogin,
        g_timeout);
    g_clients.pop = std::make_unique<mail::Pop3Client>(
        mail::ServerSettings{pop.Server, pop.Port, pop.UserID, pop.Password}, g_timeout);
    g_clients.popBeforeSmtp = smtp.AuthType == kPopBeforeSmtp;
}

bool SendMail(const std::string& subject, const std::string& from, const std::string& to,
              const std::string& body, bool showProgress) {
    g_lastFailure.clear();
    mail::MailMessage message;
    message.Subject = subject;
    message.Recipients = mail::ParseAddressList(to);
    message.From = mail::ParseMailbox(from);
    message.Body = SplitLines(body);
    EnsureClients();
    if (g_clients.popBeforeSmtp && !PopBeforeSMTP(showProgress))
        return false;
    return SendBySMTP(message, showProgress);
}

std::string LastMailFailure() {
    return g_lastFailure;
}

} // namespace quorvane
