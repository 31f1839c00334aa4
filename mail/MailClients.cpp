#include "mail/MailClients.h"
#include "util/Text.h"

#include "mail/Base64.h"
#include "mail/MailError.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace quorvane::mail {

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        c = UpperAscii(c);
    return text;
}

void RequireKnownSecurity(int security) {
    if (security != kSecurityNone && security != kSecurityStartTls && security != kSecurityTls)
        throw MailError("unknown connection security " + std::to_string(security) +
                        ": not connecting in clear");
}

bool NamesStartTls(const Reply& ehlo) {
    for (const std::string& line : ehlo.Lines) {
        if (EqualsIgnoringAsciiCase(std::string_view(line).substr(0, line.find(' ')), "STARTTLS"))
            return true;
    }
    return false;
}

// Worked out once: the name lookup may be slow, and the answer does not change while we run.
const std::string& SystemGreetingName() {
    static const std::string name = FullyQualifiedHostName();
    return name;
}

} // namespace

SmtpClient::SmtpClient(ServerSettings server, bool authLogin, std::chrono::milliseconds timeout,
                       std::string localName)
    : server_(std::move(server)), authLogin_(authLogin), localName_(std::move(localName)), channel_(timeout) {
}

namespace {

// The command's name for a failure report; the lines that carry credentials are only "AUTH".
std::string CommandName(std::string_view line) {
    static constexpr std::string_view kNames[] = {"EHLO", "HELO", "STARTTLS", "AUTH LOGIN", "AUTH PLAIN",
                                                  "MAIL FROM", "RCPT TO", "DATA", "RSET", "QUIT"};
    for (std::string_view name : kNames)
        if (line.starts_with(name) && !line.starts_with("AUTH PLAIN "))
            return std::string(name);
    return "AUTH";
}

} // namespace

Reply SmtpClient::Command(std::string_view line, std::initializer_list<int> expected) {
    channel_.WriteLine(line);
    Reply reply = channel_.ReadReply();
    if (expected.size() > 0 && std::find(expected.begin(), expected.end(), reply.Code) == expected.end())
        throw MailError(reply.Text(), CommandName(line) + " " + reply.TextCode);
    return reply;
}

std::vector<std::string> ReadAuthMechanisms(const Reply& ehlo) {
    std::vector<std::string> mechanisms;
    for (const std::string& line : ehlo.Lines) {
        if (!StartsWithIgnoringAsciiCase(line, "AUTH ") && !StartsWithIgnoringAsciiCase(line, "AUTH="))
            continue;
        std::string names = Upper(line.substr(5));
        std::replace(names.begin(), names.end(), '=', ' ');
        std::istringstream words(names);
        for (std::string word; words >> word;) {
            if (std::find(mechanisms.begin(), mechanisms.end(), word) == mechanisms.end())
                mechanisms.push_back(word);
        }
    }
    return mechanisms;
}

bool SmtpClient::Offers(std::string_view mechanism) const {
    return std::find(mechanisms_.begin(), mechanisms_.end(), mechanism) != mechanisms_.end();
}

// EHLO, and HELO when EHLO is refused, except where TLS is still to come: HELO cannot start it.
void SmtpClient::Greet() {
    mechanisms_.clear();
    const std::string name =
        localName_.empty() ? GreetingName(SystemGreetingName(), channel_.LocalAddress()) : localName_;
    const Reply ehlo = Command("EHLO " + name);
    greetedWithEhlo_ = ehlo.Code == 250;
    const bool tlsToCome = server_.Security == kSecurityStartTls && !channel_.Secure();
    if (greetedWithEhlo_ && tlsToCome && !NamesStartTls(ehlo))
        throw MailError("the server does not offer STARTTLS");
    if (greetedWithEhlo_)
        mechanisms_ = ReadAuthMechanisms(ehlo);
    else if (tlsToCome)
        throw MailError("the server refused EHLO, so it cannot start TLS: " + ehlo.Text());
    else
        Command("HELO " + name, {250});
}

void SmtpClient::Connect() {
    RequireKnownSecurity(server_.Security);
    channel_.Open(server_.Host, server_.Port);
    try {
        if (server_.Security == kSecurityTls)
            channel_.StartTls();
        const Reply greeting = channel_.ReadReply();
        if (greeting.Code != 220)
            throw MailError(greeting.Text());
        Greet();
        if (server_.Security == kSecurityStartTls) {
            Command("STARTTLS", {220});
            channel_.StartTls();
            Greet(); // servers commonly name AUTH only inside TLS
        }
    } catch (...) {
        try {
            Disconnect();
        } catch (const MailError&) {
            // the connect failure is the one to report
        }
        throw;
    }
}

void SmtpClient::Authenticate() {
    if (!channel_.Secure()) {
        // In clear, as always: AUTH LOGIN when offered, else on without authentication.
        if (!Offers("LOGIN"))
            return;
    } else if (!Offers("LOGIN")) {
        if (!Offers("PLAIN"))
            throw MailError("the server offers neither AUTH LOGIN nor AUTH PLAIN");
        // RFC 4616: no authorization identity, the user name, the password.
        Command("AUTH PLAIN " + Base64Encode(std::string(1, '\0') + server_.UserID + '\0' + server_.Password),
                {235});
        authenticated_ = true;
        return;
    }
    Command("AUTH LOGIN", {334});
    Command(Base64Encode(server_.UserID), {334});
    Command(Base64Encode(server_.Password), {235});
    authenticated_ = true;
}

void SmtpClient::Send(const MailMessage& message, const MessageWriter& writer) {
    Command("RSET");
    if (authLogin_ && !authenticated_)
        Authenticate();
    Command("MAIL FROM:<" + message.From.Address + ">", {250});
    for (const MailAddress& recipient : message.Recipients)
        Command("RCPT TO:<" + recipient.Address + ">", {250, 251});
    // The lines are made before DATA so that a message that cannot be written is never half sent.
    std::vector<std::string> lines = writer.WireLines(message);
    lines.emplace_back(".");
    Command("DATA", {354});
    channel_.WriteLines(lines);
    const Reply accepted = channel_.ReadReply();
    if (accepted.Code != 250)
        throw MailError(accepted.Text(), "end of data " + accepted.TextCode);
}

void SmtpClient::Disconnect() {
    authenticated_ = false;
    if (!channel_.IsOpen())
        return;
    try {
        channel_.WriteLine("QUIT");
    } catch (const MailError&) {
        channel_.Close();
        throw;
    }
    channel_.Close();
}

Pop3Client::Pop3Client(ServerSettings server, std::chrono::milliseconds timeout)
    : server_(std::move(server)), channel_(timeout) {}

void Pop3Client::ExpectOk() {
    const Reply reply = channel_.ReadReply();
    const std::string code = Upper(reply.TextCode);
    if (code == "+OK")
        return;
    if (code == "-ERR")
        throw MailError(reply.Text());
    throw MailError("unrecognised POP3 reply: " + reply.TextCode);
}

void Pop3Client::Connect() {
    RequireKnownSecurity(server_.Security);
    channel_.Open(server_.Host, server_.Port);
    try {
        if (server_.Security == kSecurityTls)
            channel_.StartTls();
        ExpectOk();
        if (server_.Security == kSecurityStartTls) {
            channel_.WriteLine("STLS");
            ExpectOk();
            channel_.StartTls();
        }
        channel_.WriteLine("USER " + server_.UserID);
        ExpectOk();
        channel_.WriteLine("PASS " + server_.Password);
        ExpectOk();
    } catch (...) {
        Disconnect();
        throw;
    }
}

void Pop3Client::Disconnect() {
    if (!channel_.IsOpen())
        return;
    try {
        channel_.WriteLine("QUIT");
    } catch (const MailError&) {
        // closing is all that matters here
    }
    channel_.Close();
}

} // namespace quorvane::mail
