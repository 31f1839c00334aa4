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

} // namespace

SmtpClient::SmtpClient(ServerSettings server, bool authLogin, std::chrono::milliseconds timeout,
                       std::string localName)
    : server_(std::move(server)), authLogin_(authLogin), localName_(std::move(localName)), channel_(timeout) {
}

void StepTrace::Record(const Reply& reply) {
    ServerReply = reply.TextCode;
    for (const std::string& line : reply.Lines) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos)
            ServerReply += ' ' + line.substr(start);
    }
}

Reply SmtpClient::Read() {
    Reply reply = ReadReply([this] { return channel_.ReadLine(); });
    trace_.Record(reply);
    return reply;
}

Reply SmtpClient::Command(std::string_view step, std::string_view line, std::initializer_list<int> expected) {
    trace_.Begin(std::string(step));
    channel_.WriteLine(line);
    Reply reply = Read();
    if (expected.size() > 0 && std::find(expected.begin(), expected.end(), reply.Code) == expected.end())
        throw MailError(reply.Text());
    return reply;
}

void SmtpClient::AddMechanisms(const Reply& ehlo) {
    for (const std::string& line : ehlo.Lines) {
        if (!StartsWithIgnoringAsciiCase(line, "AUTH ") && !StartsWithIgnoringAsciiCase(line, "AUTH="))
            continue;
        std::string names = Upper(line.substr(5));
        std::replace(names.begin(), names.end(), '=', ' ');
        std::istringstream words(names);
        for (std::string word; words >> word;) {
            if (std::find(mechanisms_.begin(), mechanisms_.end(), word) == mechanisms_.end())
                mechanisms_.push_back(word);
        }
    }
}

void SmtpClient::Connect() {
    trace_.Begin("connect");
    channel_.Open(server_.Host, server_.Port);
    try {
        trace_.Begin("greeting");
        const Reply greeting = Read();
        if (greeting.Code != 220)
            throw MailError(greeting.Text());
        mechanisms_.clear();
        const Reply ehlo = Command("EHLO", "EHLO " + localName_);
        if (ehlo.Code == 250)
            AddMechanisms(ehlo);
        else
            Command("HELO", "HELO " + localName_, {250});
    } catch (...) {
        const StepTrace failed = trace_; // the connect failure is the one to report
        try {
            Disconnect();
        } catch (const MailError&) {
        }
        trace_ = failed;
        throw;
    }
}

void SmtpClient::Authenticate() {
    Command("AUTH LOGIN", "AUTH LOGIN", {334});
    Command("AUTH LOGIN user name", Base64Encode(server_.UserID), {334});
    Command("AUTH LOGIN password", Base64Encode(server_.Password), {235});
    authenticated_ = true;
}

void SmtpClient::Send(const MailMessage& message, const MessageWriter& writer) {
    Command("RSET", "RSET");
    const bool offered = std::find(mechanisms_.begin(), mechanisms_.end(), "LOGIN") != mechanisms_.end();
    if (authLogin_ && offered && !authenticated_)
        Authenticate();
    Command("MAIL FROM", "MAIL FROM:<" + message.From.Address + ">", {250});
    for (const MailAddress& recipient : message.Recipients)
        Command("RCPT TO", "RCPT TO:<" + recipient.Address + ">", {250, 251});
    // The lines are made before DATA so that a message that cannot be written is never half sent.
    trace_.Begin("message");
    std::vector<std::string> lines = writer.WireLines(message);
    lines.emplace_back(".");
    Command("DATA", "DATA", {354});
    trace_.Begin("end of data");
    channel_.WriteLines(lines);
    const Reply accepted = Read();
    if (accepted.Code != 250)
        throw MailError(accepted.Text());
}

void SmtpClient::Disconnect() {
    authenticated_ = false;
    if (!channel_.IsOpen())
        return;
    trace_.Begin("QUIT");
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
    const Reply reply = ReadReply([this] { return channel_.ReadLine(); });
    trace_.Record(reply);
    const std::string code = Upper(reply.TextCode);
    if (code == "+OK")
        return;
    if (code == "-ERR")
        throw MailError(reply.Text());
    throw MailError("unrecognised POP3 reply: " + reply.TextCode);
}

void Pop3Client::Connect() {
    trace_.Begin("POP connect");
    channel_.Open(server_.Host, server_.Port);
    try {
        trace_.Begin("POP greeting");
        ExpectOk();
        trace_.Begin("POP USER");
        channel_.WriteLine("USER " + server_.UserID);
        ExpectOk();
        trace_.Begin("POP PASS");
        channel_.WriteLine("PASS " + server_.Password);
        ExpectOk();
    } catch (...) {
        Disconnect(); // leaves the trace at the failed step
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
